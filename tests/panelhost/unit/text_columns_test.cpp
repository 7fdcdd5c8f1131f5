// Text on the character grid and the columns of the view modes.
#include "columns.h"
#include "text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

using namespace panelhost;

namespace {

std::string Utf8(const std::u32string &text) {
    return EncodeUtf8(text);
}

class UnicodeLocale : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_CTYPE, "C.UTF-8"); }
};

} // namespace

TEST(Text, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    struct Case {
        std::string bytes;
        std::u32string expected;
    } cases[] = {
        {"abc", U"abc"},
        {"\xD0\x90\xD0\xB1", U"Аб"},
        {"a\xFFz", U"a\uFFFDz"},                 // a byte that starts nothing
        {"\xC0\xAF", U"\uFFFD\uFFFD"},           // overlong '/'
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"}, // a surrogate
        {"\xE2\x82", U"\uFFFD\uFFFD"},           // cut short at the end
        {"\xF0\x9F\x98\x80", U"\U0001F600"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DecodeUtf8(c.bytes), c.expected) << c.bytes;
        if (c.expected.find(U'\uFFFD') == std::u32string::npos) {
            EXPECT_EQ(EncodeUtf8(c.expected), c.bytes);
        }
    }
}

TEST_F(UnicodeLocale, FitTextCutsPadsAndKeepsTails) {
    EXPECT_EQ(Utf8(FitText(std::string("report.txt"), 6, false, false, U'}')), "repor}");
    EXPECT_EQ(Utf8(FitText(std::string("2:5020/1000.1"), 8, false, true, U'{')), "{/1000.1");
    EXPECT_EQ(Utf8(FitText(std::string("ab"), 5)), "ab   ");
    EXPECT_EQ(Utf8(FitText(std::string("ab"), 5, true)), "   ab");
    EXPECT_EQ(Utf8(FitText(std::string("Имя"), 4)), "Имя ");
    EXPECT_EQ(FitText(std::string("abc"), 0), U"");
    // A wide character never straddles the edge.
    EXPECT_EQ(TextWidth(FitText(U"a\u4E2D\u6587", 4)), 4);
    EXPECT_EQ(FitText(U"a\u4E2D\u6587", 4), U"a\u4E2D ");
}

TEST(Text, WrapKeepsInnerBlanksAndCutsLongWords) {
    std::vector<std::u32string> lines = WrapText(U"F4   file request for the link", 12);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], U"F4   file");
    EXPECT_EQ(lines[1], U"request for");
    EXPECT_EQ(lines[2], U"the link");
    lines = WrapText(U"Z:\\very\\long\\path\\file.zip", 10);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], U"Z:\\very\\lo");
    EXPECT_EQ(lines[2], U"le.zip");
    EXPECT_EQ(WrapText(U"", 10), std::vector<std::u32string>{U""});
}

TEST(Text, HotKeyMarks) {
    struct Case {
        std::u32string label, text;
        int index;
        char32_t key;
    } cases[] = {
        {U"&Address to poll:", U"Address to poll:", 0, U'A'},
        {U"Delete files after &sending", U"Delete files after sending", 19, U's'},
        {U"Save && quit", U"Save & quit", -1, 0},
        {U"&Адрес", U"Адрес", 0, U'А'},
        {U"No mark", U"No mark", -1, 0},
        {U"Trailing&", U"Trailing&", -1, 0},
    };
    for (const Case &c : cases) {
        int index = -2;
        char32_t key = 1;
        EXPECT_EQ(StripHotKeyMark(c.label, &index, &key), c.text);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(key, c.key);
    }
    EXPECT_EQ(FoldCase(U'А'), U'а');
    EXPECT_EQ(FoldCase(U'Q'), U'q');
}

TEST(Columns, ParsesTheViewModesThePluginGives) {
    std::vector<Column> columns = ParseColumns("NR,SC,C0,C1,C2,C3,D,T", "0,8,1,1,5,5,0,0");
    ASSERT_EQ(columns.size(), 8u);
    EXPECT_EQ(columns[0].kind, ColumnKind::Name);
    EXPECT_TRUE(columns[0].Has('R'));
    EXPECT_EQ(columns[1].kind, ColumnKind::Size);
    EXPECT_TRUE(columns[1].Has('C'));
    EXPECT_EQ(columns[1].width, 8);
    EXPECT_EQ(columns[5].kind, ColumnKind::Custom);
    EXPECT_EQ(columns[5].custom, 3);
    EXPECT_EQ(columns[6].kind, ColumnKind::Date);
    EXPECT_EQ(columns[7].kind, ColumnKind::Time);
    // Widths missing from the list count as 0; an unknown type stays in its place.
    columns = ParseColumns("NO,X,C9", "12");
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_TRUE(columns[0].Has('O'));
    EXPECT_EQ(columns[1].kind, ColumnKind::Unknown);
    EXPECT_EQ(columns[2].width, 0);
    EXPECT_TRUE(ParseColumns("", "").empty());
}

TEST(Columns, StripesOfBriefModes) {
    struct Case {
        const char *types;
        int stripes;
    } cases[] = {{"N,N,N", 3},    {"N,N", 2}, {"N,S,N,S", 2}, {"N,S,D,T", 1},
                 {"NR,SC,C0", 1}, {"N", 1},   {"C0,C0", 2}};
    for (const Case &c : cases)
        EXPECT_EQ(StripeCount(ParseColumns(c.types, "")), c.stripes) << c.types;
}

// The page follows the cursor and scrolls back when the list shrank under it.
TEST(Columns, PageTopKeepsTheCursorAndScrollsBack) {
    struct Case {
        int top, current, count, rows, stripes, expected;
    } cases[] = {
        {0, 5, 100, 10, 1, 0},   {0, 15, 100, 10, 1, 6}, {50, 40, 100, 10, 1, 40},
        {90, 3, 4, 10, 1, 0},    {90, 12, 13, 10, 1, 3}, {0, 25, 100, 10, 3, 0},
        {0, 35, 100, 10, 3, 10}, {60, 5, 12, 10, 3, 0},  {0, 0, 0, 10, 1, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PageTop(c.top, c.current, c.count, c.rows, c.stripes), c.expected)
            << c.top << " " << c.current << " " << c.count << " " << c.stripes;
}

TEST(Columns, LayoutSharesTheRestAndDropsWhatDoesNotFit) {
    struct Case {
        const char *types, *widths;
        int width;
        std::vector<int> expected;
    } cases[] = {
        // Root mode 3 in half of an 80-column screen: the name takes what the others leave.
        {"NR,SC,C0,C1,C2,C3", "0,8,1,1,5,5", 38, {13, 8, 1, 1, 5, 5}},
        // Mode 5 on a full 100 columns: date 8 and time 5 although given 0.
        {"NR,SC,C0,C1,C2,C3,D,T", "0,8,1,1,5,5,0,0", 98, {58, 8, 1, 1, 5, 5, 8, 5}},
        // Too narrow: columns go from the right until the rest fit, the name keeping one.
        {"NR,SC,C0,C1,C2,C3", "0,8,1,1,5,5", 18, {5, 8, 1, 1, 0, 0}},
        // Root mode 6: in a half panel the flow flavors and the mailer's state are dropped;
        // full screen in 80 columns keeps every column, the mailer's state taking the rest.
        {"NR,C5,C6,C0,C1,C2,C3,C7", "13,7,6,1,1,5,5,0", 38, {13, 7, 6, 1, 1, 5, 0, 0}},
        {"NR,C5,C6,C0,C1,C2,C3,C7", "13,7,6,1,1,5,5,0", 78, {13, 7, 6, 1, 1, 5, 5, 33}},
        {"NR,SC,C0", "0,8,1", 8, {8, 0, 0}},
        // Two shared columns split the rest; the first gets the odd column.
        {"N,Z", "0,0", 21, {10, 10}},
        // Nothing shares: the last column takes the rest.
        {"N,S", "10,10", 30, {10, 19}},
    };
    for (const Case &c : cases) {
        std::vector<int> widths = LayoutColumns(ParseColumns(c.types, c.widths), c.width);
        EXPECT_EQ(widths, c.expected) << c.types << " in " << c.width;
        int used = -1;
        for (int w : widths)
            if (w > 0) used += w + 1;
        EXPECT_LE(used, c.width) << c.types;
    }
}

TEST(Columns, SizeCells) {
    struct Case {
        uint64_t size;
        bool folder, dots, group;
        int width;
        const char *expected;
    } cases[] = {
        {512, false, false, true, 8, "     512"},
        {4096, false, false, true, 8, "   4,096"},
        {1234567, false, false, true, 8, " 1234567"}, // grouped does not fit, plain does
        {123456789, false, false, true, 8, " 120564K"},
        {5, true, false, false, 8, "<Folder>"},
        {0, true, true, false, 8, "<  Up  >"},
        {3ULL << 40, false, false, false, 5, "3072G"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatSizeCell(c.size, c.folder, c.dots, c.width, c.group), c.expected) << c.size;
}

TEST(Columns, DateAndTimeOfAFileTime) {
    const char *previous = std::getenv("TZ");
    std::string saved = previous ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // 2024-05-12 10:30:00 UTC.
    uint64_t ticks = (1715509800ULL + 11644473600ULL) * 10000000ULL;
    FILETIME time = {static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    EXPECT_EQ(FormatDateCell(time), "12.05.24");
    EXPECT_EQ(FormatTimeCell(time), "10:30");
    FILETIME none = {0, 0};
    EXPECT_EQ(FormatDateCell(none), "");
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Columns, NamesWithoutTheirPath) {
    EXPECT_EQ(NameWithoutPath("Z:\\TMP\\FILES\\report.txt"), "report.txt");
    EXPECT_EQ(NameWithoutPath("/tmp/files/report.txt"), "report.txt");
    EXPECT_EQ(NameWithoutPath("2:5020/1.0"), "1.0"); // the host cuts after either separator
    EXPECT_EQ(NameWithoutPath("plain.txt"), "plain.txt");
}
