// The shared helpers: the cuts that keep whole characters, the formatter for translated texts,
// line ends and path joining.
#include "common/helpers.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

TEST(Helpers, FormatterTakesOnePlaceholderAndCutsBetweenCharacters) {
    struct Case {
        const char *what;
        std::string format;
        char placeholder;
        std::string argument;
        size_t size;
        std::string expected;
    } const cases[] = {
        {"plain", "Remove %s?", 's', "a.zip", 64, "Remove a.zip?"},
        {"a number", "%d files", 'd', "12", 64, "12 files"},
        {"only the first", "%s and %s", 's', "x", 64, "x and %s"},
        {"other conversions stay", "%n%x %s %%", 's', "y", 64, "%n%x y %"},
        {"cut", "abcdef%s", 's', "ghij", 8, "abcdefg"},
        {"empty buffer room", "abc", 's', "", 1, ""},
        // Count texts: 'n' gives the count to FormatCountText, which picks the plural form.
        {"one form of two", "%d try|%d tries", 'n', "1", 64, "1 try"},
        {"other form of two", "%d try|%d tries", 'n', "0", 64, "0 tries"},
        {"three forms: one", "%d a|%d b|%d c", 'n', "21", 64, "21 a"},
        {"three forms: few", "%d a|%d b|%d c", 'n', "34", 64, "34 b"},
        {"three forms: many", "%d a|%d b|%d c", 'n', "12", 64, "12 c"},
        {"three forms: many past 4", "%d a|%d b|%d c", 'n', "105", 64, "105 c"},
        {"a single form", "... and %d more", 'n', "1", 64, "... and 1 more"},
#ifndef _WIN32
        {"no half character", "ab%s", 's', "\xC3\xA0\xC3\xA1", 6, "ab\xC3\xA0"},
        {"three-byte character", "%s", 's', "a\xE2\x82\xAC", 4, "a"},
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        char buffer[72];
        memset(buffer, 'Z', sizeof(buffer));
        if (c.placeholder == 'n')
            FormatCountText(buffer, c.size, c.format.c_str(), std::stoull(c.argument));
        else
            FormatWithOneArgument(buffer, c.size, c.format.c_str(), c.placeholder,
                                  c.argument.c_str());
        EXPECT_EQ(std::string(buffer), c.expected);
        EXPECT_EQ(buffer[c.size], 'Z'); // nothing written past the buffer
    }
}

TEST(Helpers, FittingLengthAndLineEnds) {
    EXPECT_EQ(FittingLength("abc", 5), 3u);
    EXPECT_EQ(FittingLength("abcdef", 4), 4u);
#ifndef _WIN32
    EXPECT_EQ(FittingLength("ab\xC3\xA0", 3), 2u);
#endif
    const std::pair<std::string, size_t> lines[] = {{"name\r\n", 4}, {"name \t", 4}, {" ", 1},
                                                    {"\r\n", 1},     {"a b", 3},     {"", 0}};
    for (const auto &[line, length] : lines)
        EXPECT_EQ(TrimmedLineLength(line.c_str(), line.size()), length) << line;
}

TEST(Helpers, JoinPathAndExistence) {
    char buffer[8];
    EXPECT_TRUE(JoinPath(buffer, sizeof(buffer), "ab", "\\", "cd"));
    EXPECT_STREQ(buffer, "ab\\cd");
    EXPECT_FALSE(JoinPath(buffer, sizeof(buffer), "abcd", "\\", "efg"));
    TempDir dir;
    dir.Write("sub/File.txt", "x");
    WIN32_FIND_DATAA found;
    EXPECT_TRUE(FindFirstEntry(dir.Win("sub\\*.txt").c_str(), &found));
    EXPECT_STREQ(found.cFileName, "File.txt");
    EXPECT_TRUE(PathExists(dir.Win("sub").c_str()));
    EXPECT_FALSE(PathExists(dir.Win("sub\\gone.txt").c_str()));
}

} // namespace
