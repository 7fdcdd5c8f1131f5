// The host's CmpName as the host interface describes it, for tests that run plugin code
// without a host: wildcard match of the whole string, "*" any run, "?" one character, case
// ignored; SkipPath compares only the part after the string's last backslash.
#ifndef BSOPANEL_TESTS_BSO_TEST_CMP_NAME_H
#define BSOPANEL_TESTS_BSO_TEST_CMP_NAME_H

#include "plugin_api.h"

int WINAPI TestCmpName(const char *Pattern, const char *String, int SkipPath);

// Installs TestCmpName in HostInfo for the lifetime of the object.
struct UseTestCmpName {
    UseTestCmpName();
    ~UseTestCmpName();
    FARAPICMPNAME Saved;
};

#endif
