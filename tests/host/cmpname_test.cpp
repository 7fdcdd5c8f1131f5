// CmpName: the whole string against the pattern, case ignored, '*' any run, '?' one character.
#include "host_core.h"

#include <gtest/gtest.h>

namespace {

struct CmpNameCase {
    const char *pattern;
    const char *string;
    bool skipPath;
    bool matches;
};

class CmpNameTest : public ::testing::TestWithParam<CmpNameCase> {};

TEST_P(CmpNameTest, Matches) {
    const CmpNameCase &c = GetParam();
    EXPECT_EQ(standin::Host::CmpName(c.pattern, c.string, c.skipPath), c.matches)
        << "\"" << c.pattern << "\" against \"" << c.string << "\" skipPath " << c.skipPath;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CmpNameTest,
    ::testing::Values(
        CmpNameCase{"0001000A.FLO", "0001000a.flo", false, true}, // case ignored
        CmpNameCase{"0001000A.FLO", "0001000A.FL", false, false}, // whole string
        CmpNameCase{"0001000A.FL", "0001000A.FLO", false, false}, CmpNameCase{"*", "", false, true},
        CmpNameCase{"*", "anything.at.all", false, true}, CmpNameCase{"", "", false, true},
        CmpNameCase{"", "a", false, false},
        CmpNameCase{"?", "", false, false}, // '?' is exactly one
        CmpNameCase{"?", "a", false, true}, CmpNameCase{"??", "a", false, false},
        CmpNameCase{"*.?LO", "0001000A.CLO", false, true},
        CmpNameCase{"*.?LO", "0001000A.LO", false, false},
        CmpNameCase{"*.*", "NODOT", false, false}, // no special meaning for "*.*"
        CmpNameCase{"*.*", "a.", false, true}, CmpNameCase{"a*b*c", "aXXbYYc", false, true},
        CmpNameCase{"a*b*c", "aXXbYYcd", false, false},
        CmpNameCase{"a*b", "abab", false, true}, // back-tracking past a first partial match
        CmpNameCase{"*ab", "aab", false, true}, CmpNameCase{"**x", "x", false, true},
        CmpNameCase{"a*", "A", false, true},
        CmpNameCase{"readme.txt", "Z:\\dir\\README.TXT", true, true},
        CmpNameCase{"readme.txt", "Z:\\dir\\README.TXT", false, false},
        CmpNameCase{"Z:\\dir\\README.TXT", "Z:\\dir\\README.TXT", false, true},
        CmpNameCase{"*", "Z:\\dir\\", true, true}, // cut to nothing
        CmpNameCase{"?", "Z:\\dir\\", true, false},
        CmpNameCase{"dir", "dir", true, true}, // no backslash: nothing cut
        CmpNameCase{"b?d", "a\\b\\bad", true, true},
        CmpNameCase{"1:2/3.0", "1:2/3.0", true, true}, // link names: no backslash
        CmpNameCase{"1:2/3.0", "1:2/3.00", true, false}));

} // namespace
