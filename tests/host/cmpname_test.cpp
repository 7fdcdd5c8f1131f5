// CmpName as the real host reads a pattern: the whole string, case ignored, '*' any run, '?' one
// character, "[...]" a class, "*." and "*.*" and a closing dot with their own meaning.
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
        CmpNameCase{"*.*", "NODOT", false, true}, // "*.*" is everything
        CmpNameCase{"*.*", "a.", false, true}, CmpNameCase{"*.", "name", false, true},
        CmpNameCase{"*.", "name.txt", false, false}, // "*.": no extension
        CmpNameCase{"name.", "name", false, true},   // a closing dot matches the end
        CmpNameCase{"name.", "name.", false, true}, CmpNameCase{"name.", "names", false, false},
        // Brackets: a class, a range, one character taken literally; no ']' makes '[' plain.
        CmpNameCase{"report[1].txt", "report[1].txt", false, false},
        CmpNameCase{"report[1].txt", "report1.txt", false, true},
        CmpNameCase{"report[[]1].txt", "report[1].txt", false, true},
        CmpNameCase{"[a-c]x", "Bx", false, true}, CmpNameCase{"[a-c]x", "dx", false, false},
        CmpNameCase{"[xyz]", "y", false, true}, CmpNameCase{"[xyz]", "", false, false},
        CmpNameCase{"[abc", "[abc", false, true}, CmpNameCase{"*[0-9].zip", "a7.ZIP", false, true},
        CmpNameCase{"a*b*c", "aXXbYYc", false, true},
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
        // '/' and a drive's "X:" are cut too.
        CmpNameCase{"1:2/3.0", "1:2/3.0", true, false}, CmpNameCase{"3.0", "1:2/3.0", true, true},
        CmpNameCase{"1:2/3.0", "1:2/3.0", false, true}, CmpNameCase{"a.txt", "C:a.txt", true, true},
        CmpNameCase{"1:2/3.0", "1:2/3.00", true, false}));

} // namespace
