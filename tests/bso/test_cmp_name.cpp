#include "test_cmp_name.h"

#include <ctype.h>
#include <string.h>

#include "shell/host.h"

static bool SameLetter(char a, char b) {
    return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
}

// Iterative, so that patterns with thousands of "*" do not recurse that deep.
static bool Match(const char *pattern, const char *string) {
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*string != '\0') {
        if (*pattern == '*') {
            star = ++pattern;
            resume = string;
        } else if (*pattern != '\0' && (*pattern == '?' || SameLetter(*pattern, *string))) {
            ++pattern;
            ++string;
        } else if (star != nullptr) {
            pattern = star;
            string = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

int WINAPI TestCmpName(const char *Pattern, const char *String, int SkipPath) {
    if (SkipPath) {
        const char *slash = strrchr(String, '\\');
        if (slash != nullptr) String = slash + 1;
    }
    return Match(Pattern, String) ? 1 : 0;
}

UseTestCmpName::UseTestCmpName() : Saved(HostInfo.CmpName) {
    HostInfo.CmpName = TestCmpName;
}
UseTestCmpName::~UseTestCmpName() {
    HostInfo.CmpName = Saved;
}
