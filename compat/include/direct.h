// The C runtime's drive, directory and path helpers of the Windows CRT, for POSIX systems.
// On Windows these come from <direct.h>, <stdlib.h> and <string.h>.
#ifndef BSOPANEL_COMPAT_DIRECT_H
#define BSOPANEL_COMPAT_DIRECT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Current drive: 1 for A: ... 26 for Z:. On POSIX always 26 (Z:, which is "/").
int _getdrive(void);
// Current directory of a drive (0 = current drive) as "Z:\dir\sub"; null on failure.
char *_getdcwd(int drive, char *buffer, int maxlen);
// Splits "D:\dir\name.ext" into "D:", "\dir\", "name", ".ext"; any out-parameter may be null.
void _splitpath(const char *path, char *drive, char *dir, char *fname, char *ext);
// The reverse of _splitpath; adds ":" to a drive letter, "\" after dir and "." before ext.
void _makepath(char *path, const char *drive, const char *dir, const char *fname,
               const char *ext);
int _stricmp(const char *a, const char *b);
int _strnicmp(const char *a, const char *b, size_t n);
char *_strupr(char *s);
char *_strlwr(char *s);

#ifdef __cplusplus
}
#endif

#endif
