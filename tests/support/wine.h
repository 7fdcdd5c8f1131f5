// Whether the Windows build of a test runs under Wine rather than on Windows itself, for the
// few corners where Wine is known to differ from Windows (see the toolchain notes).
#ifndef BSOPANEL_TESTS_WINE_H
#define BSOPANEL_TESTS_WINE_H

bool RunningUnderWine();

#endif
