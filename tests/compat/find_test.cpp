// File search: DOS wildcards as Windows matches them, the find data, and the errors.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>

#include "helpers.h"
#include "temp_dir.h"
#include "wine.h"

namespace {

using Names = std::vector<std::string>;

// A folder like an outbound: 8.3 names, shorter and longer ones, one without an extension.
class Wildcards : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"1000A.OUT", "0001000A.OU", "0001000A.OUT", "0001000A.OUT.BAK",
                                 "0001000A.FLO", "ABC", "OUT.003", "OUT.A", "out.004"})
            dir.Write(name, "x");
        dir.MakeDir("SUB");
    }
    // The names found, "." and ".." left out (they have a test of their own).
    Names Find(const std::string &pattern) {
        SearchResult result = Search(dir.Win(pattern));
        Names names;
        for (const std::string &name : result.names)
            if (name != "." && name != "..") names.push_back(name);
        return names;
    }
    TempDir dir;
};

struct WildcardCase {
    const char *pattern;
    Names windows;    // what Windows finds
    Names wine_alike; // what Wine finds where it differs from Windows (see the toolchain notes)
};

TEST_F(Wildcards, FindWhatWindowsFinds) {
    const Names everything = {"0001000A.FLO", "0001000A.OU", "0001000A.OUT", "0001000A.OUT.BAK",
                              "1000A.OUT",    "ABC",         "OUT.003",      "OUT.A",
                              "SUB",          "out.004"};
    const WildcardCase cases[] = {
        {"*", everything, {}},
        {"*.*", everything, {}},
        {"*.OUT", {"0001000A.OUT", "1000A.OUT"}, {}},
        {"*.out", {"0001000A.OUT", "1000A.OUT"}, {}},
        {"0001000a.*", {"0001000A.FLO", "0001000A.OU", "0001000A.OUT", "0001000A.OUT.BAK"}, {}},
        {"0001000A.OUT.*", {"0001000A.OUT", "0001000A.OUT.BAK"}, {}},
        {"*.BAK", {"0001000A.OUT.BAK"}, {}},
        {"*OUT*",
         {"0001000A.OUT", "0001000A.OUT.BAK", "1000A.OUT", "OUT.003", "OUT.A", "out.004"},
         {}},
        // Names without an extension; Wine 8.0 matches "*." as "*" (not in the toolchain notes).
        {"*.", {"ABC", "SUB"}, everything},
        {"?BC", {"ABC"}, {}},
        {"a?c", {"ABC"}, {}},
        {"OUT.00?", {"OUT.003", "out.004"}, {}},
        {"abc", {"ABC"}, {}},
        {"0001000a.out", {"0001000A.OUT"}, {}},
        // "?" also matches nothing before a dot and at the end; Wine's never does, and it
        // matches 0001000A.OUT.BAK through its generated short name.
        {"????????.???",
         {"0001000A.FLO", "0001000A.OU", "0001000A.OUT", "1000A.OUT", "ABC", "OUT.003", "OUT.A",
          "SUB", "out.004"},
         {"0001000A.FLO", "0001000A.OUT", "0001000A.OUT.BAK"}},
        {"OUT.???", {"OUT.003", "OUT.A", "out.004"}, {"OUT.003", "out.004"}},
        {"???.?", {"ABC", "OUT.A", "SUB"}, {"OUT.A"}},
        {"0001000A.OU?", {"0001000A.OU", "0001000A.OUT"}, {"0001000A.OUT"}},
    };
    for (const WildcardCase &test : cases) {
        SCOPED_TRACE(test.pattern);
        Names found = Find(test.pattern);
        if (RunningUnderWine() && !test.wine_alike.empty() && found == test.wine_alike) continue;
        EXPECT_EQ(found, test.windows);
    }
}

TEST_F(Wildcards, NothingMatchingIsFileNotFound) {
    EXPECT_EQ(Search(dir.Win("*.PKT")).error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Search(dir.Win("NOSUCH")).error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Search(dir.Win("MISSING\\*")).error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Search(dir.Win("MISSING\\A.OUT")).error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Search(dir.Win("*")).error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    // A search once closed is no search (Wine may still read the freed one).
    WIN32_FIND_DATAA data;
    HANDLE closed = FindFirstFileA(dir.Win("*").c_str(), &data);
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    FindClose(closed);
    if (!RunningUnderWine()) {
        EXPECT_FALSE(FindNextFileA(closed, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST_F(Wildcards, DotEntriesAreReportedForPatternsThatMatchThem) {
    Names all = Search(dir.Win("SUB\\*")).names;
    EXPECT_EQ(all, (Names{".", ".."}));
    EXPECT_EQ(Search(dir.Win("SUB\\*.*")).names, (Names{".", ".."}));
    EXPECT_EQ(Search(dir.Win("SUB\\*.OUT")).error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Wildcards, DirectoriesAreSearchedWithoutRegardToCase) {
    dir.Write("SUB/Inner/0002000B.FLO", "y");
    EXPECT_EQ(Search(dir.Win("sub\\INNER\\*.flo")).names, (Names{"0002000B.FLO"}));
}

// The order NTFS lists in, "." and ".." first, then by upper-case bytes; asked of folders of a
// few names (fewer than the folder before, whose search the next takes up) and of many, names
// alike in their first twelve bytes and more.
TEST(FindOrder, DotsFirstThenUpperCaseBytes) {
    const char *forms[] = {"%08X.FLO", "%08x.pkt", "0001000A.OUT.%03d", "Long_name %d", "a[%d"};
    for (int count : {12, 3, 600}) {
        SCOPED_TRACE(count);
        TempDir dir;
        Names expected = {".", ".."}, names;
        for (int i = 0; i < count; ++i) {
            char name[32];
            snprintf(name, sizeof name, forms[i % 5], i * 7919 % count);
            dir.Write(name, "x");
            names.push_back(name);
        }
        auto upper = [](std::string name) {
            for (char &c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            return name;
        };
        std::sort(names.begin(), names.end(),
                  [&](const std::string &a, const std::string &b) { return upper(a) < upper(b); });
        expected.insert(expected.end(), names.begin(), names.end());
        Names found;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(dir.Win("*").c_str(), &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do found.push_back(data.cFileName);
        while (FindNextFileA(search, &data));
        FindClose(search);
        EXPECT_EQ(found, expected);
    }
}

// FILETIME ticks of a time_t.
uint64_t Ticks(time_t seconds) {
    return (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
}
uint64_t Ticks(const FILETIME &time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

TEST(FindData, DescribesFilesAndDirectories) {
    TempDir dir;
    time_t before = time(nullptr);
    dir.Write("A.TXT", "12345");
    dir.MakeDir("D");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(dir.Win("a.txt").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_STREQ(data.cFileName, "A.TXT");
    EXPECT_STREQ(data.cAlternateFileName, "");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    // Written a moment ago: allow for coarse file system clocks.
    EXPECT_GE(Ticks(data.ftLastWriteTime), Ticks(before - 5));
    EXPECT_LE(Ticks(data.ftLastWriteTime), Ticks(time(nullptr) + 5));

    search = FindFirstFileA(dir.Win("D").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(data.nFileSizeLow, 0u);
}

TEST(FindData, ReadOnlyFilesSaySo) {
    TempDir dir;
    dir.Write("R.TXT", "r");
    ASSERT_TRUE(SetFileAttributesA(dir.Win("R.TXT").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(dir.Win("r.txt").c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(dir.Win("R.TXT").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    // Windows refuses to write or delete it until the bit is gone. Wine leaves the check
    // for writing to the Unix permissions, which root passes.
    HANDLE writer = Open(dir.Win("R.TXT"), GENERIC_WRITE, OPEN_EXISTING);
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
        EXPECT_TRUE(RunningUnderWine()) << "a read-only file opened for writing";
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(DeleteFileA(dir.Win("R.TXT").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesA(dir.Win("R.TXT").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(dir.Win("R.TXT").c_str()));
}

} // namespace
