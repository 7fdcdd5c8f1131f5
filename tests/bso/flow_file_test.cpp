#include "bso/flow_file.h"

#include <gtest/gtest.h>

#include <ctype.h>

#include <string.h>

#include <string>

#include "file_faults.h"
#include "shell/host.h"
#include "temp_dir.h"
#include "test_cmp_name.h"
#include "test_files.h"

namespace {

TEST(TrimLineEnd, StripsTheEndButNeverTheFirstCharacter) {
    struct {
        const char *line;
        const char *trimmed;
    } const rows[] = {
        {"D:\\A.ZIP\r\n", "D:\\A.ZIP"},
        {"D:\\A.ZIP \t \r\n", "D:\\A.ZIP"},
        {"D:\\A B.ZIP\n", "D:\\A B.ZIP"},
        {"   ", " "},
        {"", ""},
        {"\r\n", "\r"},
        {"\t", "\t"},
        {" a \n", " a"},
    };
    for (const auto &row : rows) {
        char line[64];
        snprintf(line, sizeof line, "%s", row.line);
        EXPECT_EQ(TrimLineEnd(line), line);
        EXPECT_STREQ(line, row.trimmed) << row.line;
    }
}

TEST(ParseFlowLine, DirectivesAndNames) {
    struct {
        const char *line;
        const char *name; // null: a skipped line
    } const rows[] = {
        {"^D:\\FILES\\A.ZIP\r\n", "D:\\FILES\\A.ZIP"},
        {"#D:\\FILES\\A.ZIP\r\n", "D:\\FILES\\A.ZIP"},
        {"~D:\\FILES\\A.ZIP\r\n", nullptr},
        {"~", nullptr},
        {"D:\\FILES\\A.ZIP", "D:\\FILES\\A.ZIP"},
        {"   \r\n", " "},
        {"", ""},
        {"^", ""},
        {"#  ", ""},
        {"^^D:\\A", "^D:\\A"},
    };
    for (const auto &row : rows) {
        char line[64];
        snprintf(line, sizeof line, "%s", row.line);
        const char *name = ParseFlowLine(line);
        if (row.name == nullptr) {
            EXPECT_EQ(name, nullptr) << row.line;
        } else {
            ASSERT_NE(name, nullptr) << row.line;
            EXPECT_STREQ(name, row.name) << row.line;
        }
    }
}

TEST(ReplaceExtension, ReplacesOrAppends) {
    struct {
        const char *name;
        const char *replaced;
    } const rows[] = {
        {"D:\\OUT\\006400C8.FLO", "D:\\OUT\\006400C8.TMP"},
        {"D:\\OUT.V2\\FILE", "D:\\OUT.V2\\FILE.TMP"},
        {"FILE", "FILE.TMP"},
        {"006400C8.CLO", "006400C8.TMP"},
        {"A.B.C", "A.B.TMP"},
        {"D:FILE", "D:FILE.TMP"},
        {"D:/OUT.V2/FILE", "D:/OUT.V2/FILE.TMP"},
        {"D:\\OUT\\", "D:\\OUT\\.TMP"},
        {".profile", ".TMP"},
        {"", ""},
    };
    for (const auto &row : rows) {
        char name[64];
        snprintf(name, sizeof name, "%s", row.name);
        EXPECT_EQ(ReplaceExtension(name, ".TMP"), name);
        EXPECT_STREQ(name, row.replaced) << row.name;
    }
}

PluginPanelItem Item(const std::string &name) {
    PluginPanelItem item;
    memset(&item, 0, sizeof item);
    snprintf(item.FindData.cFileName, sizeof item.FindData.cFileName, "%s", name.c_str());
    return item;
}

struct RemoveFlowLineTest : ::testing::Test {
    TempDir dir;
    UseTestCmpName cmpName;
    char removed[RemovedLineSize];

    int Remove(const std::string &flowFile, const std::string &name) {
        PluginPanelItem item = Item(name);
        memset(removed, '#', sizeof removed);
        return RemoveFlowLine(dir.Win(flowFile).c_str(), &item, removed);
    }
};

// Every line that names the file goes, as the file system compares names; the "~" line and
// every other line stay as they were, byte for byte, each with its own line end.
TEST_F(RemoveFlowLineTest, RemovesEveryLineNamingTheFileAndHandsBackTheLast) {
    dir.Write("006400C8.CLO", "D:\\FILES\\B.ZIP  \r\n"
                              "^D:\\FILES\\A.ZIP\r\n"
                              "~D:\\FILES\\OLD.ZIP\n"
                              "d:\\files\\c.zip\r\n"
                              "#d:\\files\\a.zip\r\n"
                              "D:\\FILES\\D.ZIP");
    EXPECT_EQ(Remove("006400C8.CLO", "D:\\FILES\\A.ZIP"), 1);
#ifdef _WIN32
    EXPECT_STREQ(removed, "#d:\\files\\a.zip");
    EXPECT_EQ(dir.Read("006400C8.CLO"), "D:\\FILES\\B.ZIP  \r\n~D:\\FILES\\OLD.ZIP\n"
                                        "d:\\files\\c.zip\r\nD:\\FILES\\D.ZIP");
#else
    // Another name on Linux, where whole paths compare exactly: d:\files\a.zip is not
    // D:\FILES\A.ZIP.
    EXPECT_STREQ(removed, "^D:\\FILES\\A.ZIP");
    EXPECT_EQ(dir.Read("006400C8.CLO"),
              "D:\\FILES\\B.ZIP  \r\n~D:\\FILES\\OLD.ZIP\n"
              "d:\\files\\c.zip\r\n#d:\\files\\a.zip\r\nD:\\FILES\\D.ZIP");
#endif
    EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"006400C8.CLO"});
}

// Wildcards and brackets are plain characters: a pattern line is no line of B.ZIP here (the
// commands ask before it goes), and it is the line of an item of its own text.
TEST_F(RemoveFlowLineTest, WildcardsAreLiteral) {
    const std::string lines = "D:\\FILES\\*.ZIP\r\nD:\\FILES\\Q?.ZIP\r\nD:\\FILES\\[AB].ZIP\r\n";
    dir.Write("006400C8.FLO", lines);
    for (const char *name : {"D:\\FILES\\B.ZIP", "D:\\FILES\\QA.ZIP", "D:\\FILES\\A.ZIP"}) {
        EXPECT_EQ(Remove("006400C8.FLO", name), 0) << name;
        EXPECT_EQ(dir.Read("006400C8.FLO"), lines) << name;
    }
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\FILES\\Q?.ZIP"), 1);
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\FILES\\[AB].ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\FILES\\*.ZIP\r\n");
}

// Without a line of the file nothing is written: blanks, "~" lines, line ends stay as they are.
TEST_F(RemoveFlowLineTest, NoMatchLeavesTheFileAlone) {
    const std::string bytes = "D:\\A.ZIP  \t\n~D:\\B.ZIP\r\n\r\n   \n^D:\\C D.ZIP \r\nD:\\E.ZIP";
    dir.Write("006400C8.HLO", bytes);
    EXPECT_EQ(Remove("006400C8.HLO", "D:\\B.ZIP"), 0);
    EXPECT_STREQ(removed, "");
    EXPECT_EQ(dir.Read("006400C8.HLO"), bytes);
}

// A name with trailing blanks is the file with them; stripped, it is the file the listing
// looked up, taken only when no line names the file exactly.
TEST_F(RemoveFlowLineTest, TrailingBlanksBelongToTheName) {
    dir.Write("006400C8.FLO", "D:\\TRAIL.ZIP \r\nD:\\TRAIL.ZIP\r\nD:\\A.ZIP\r\n");
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\TRAIL.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\TRAIL.ZIP \r\nD:\\A.ZIP\r\n");
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\A.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\TRAIL.ZIP \r\n");
    dir.Write("006400C8.FLO", "D:\\TRAIL.ZIP \r\nD:\\A.ZIP\r\n");
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\TRAIL.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\A.ZIP\r\n");
}

// A flow file left without a line that names a file is deleted, not left as a poll.
TEST_F(RemoveFlowLineTest, TheLastFileLineGoneDeletesTheFlowFile) {
    for (const char *rest : {"", "~D:\\OLD.ZIP\r\n", "\r\n  \r\n", "^\r\n~X\r\n"}) {
        dir.Write("006400C8.FLO", std::string("D:\\A.ZIP\r\n") + rest + "#D:\\A.ZIP\r\n");
        EXPECT_EQ(Remove("006400C8.FLO", "D:\\A.ZIP"), 1) << rest;
        EXPECT_STREQ(removed, "#D:\\A.ZIP");
        EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{}) << rest;
    }
}

TEST_F(RemoveFlowLineTest, EmptyAndMissingFlowFiles) {
    dir.Write("006400C8.CLO", "");
    EXPECT_EQ(Remove("006400C8.CLO", "D:\\A.ZIP"), 0);
    EXPECT_EQ(dir.Read("006400C8.CLO"), "");
    EXPECT_EQ(Remove("006400C8.ILO", "D:\\A.ZIP"), 0);
    EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"006400C8.CLO"});
}

// The temporary file is "<name>.TMP" beside the flow file, made exclusively: a name taken by
// an old file, a directory or a link is left alone and the next free one is used.
TEST_F(RemoveFlowLineTest, TemporaryFileBesideTheFlowFile) {
    dir.Write("006400C8.CLO", "D:\\A.ZIP\r\nD:\\B.ZIP\r\nD:\\C.ZIP\r\n");
    dir.Write("006400C8.TMP", std::string(5000, 'x'));
    EXPECT_EQ(Remove("006400C8.CLO", "D:\\A.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.CLO"), "D:\\B.ZIP\r\nD:\\C.ZIP\r\n");
    EXPECT_EQ(dir.Read("006400C8.TMP"), std::string(5000, 'x'));
    EXPECT_EQ(NamesIn(dir.Native().string()),
              (std::set<std::string>{"006400C8.CLO", "006400C8.TMP"}));

    dir.MakeDir("006400C8-1.TMP");
    EXPECT_EQ(Remove("006400C8.CLO", "D:\\B.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.CLO"), "D:\\C.ZIP\r\n");
    EXPECT_EQ(NamesIn(dir.Native().string()),
              (std::set<std::string>{"006400C8.CLO", "006400C8.TMP", "006400C8-1.TMP"}));
}

// A flow file that a Linux mailer wrote in lower case is rewritten in place, under its own
// name, when asked for in upper case.
TEST_F(RemoveFlowLineTest, LowerCaseFlowFileIsRewrittenInPlace) {
    dir.Write("Out/006400c8.flo", "D:\\A.ZIP\r\nD:\\B.ZIP\r\n");
    EXPECT_EQ(Remove("Out\\006400C8.FLO", "D:\\A.ZIP"), 1);
    EXPECT_EQ(NamesIn(dir.Native("Out").string()), std::set<std::string>{"006400c8.flo"});
    EXPECT_EQ(dir.Read("Out/006400c8.flo"), "D:\\B.ZIP\r\n");
}

TEST_F(RemoveFlowLineTest, LongLinesAreNeverSplitOrCut) {
    std::string line300 = "^D:\\" + std::string(296, 'a');
    std::string line70000 = "D:\\" + std::string(69997, 'b');
    dir.Write("006400C8.FLO", line300 + "\r\nD:\\A.ZIP\r\n" + line70000 + "\nD:\\C.ZIP\r\n");
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\A.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), line300 + "\r\n" + line70000 + "\nD:\\C.ZIP\r\n");
}

// A matching line longer than the buffer is removed whole; the copy is cut within the buffer.
TEST_F(RemoveFlowLineTest, LongMatchingLineIsRemovedWholeAndCopiedCut) {
    // The longest name a row holds (259 characters) behind its directive.
    for (size_t stars : {245u}) {
        std::string pattern = "^D:\\FILES\\" + std::string(stars, 'x') + "A.ZIP";
        dir.Write("006400C8.FLO", "D:\\B.ZIP\r\n" + pattern + "\r\nD:\\C.ZIP\r\n");
        char buffer[RemovedLineSize + 16];
        memset(buffer, '#', sizeof buffer);
        PluginPanelItem item = Item(pattern.substr(1));
        size_t whole = 0;
        EXPECT_EQ(RemoveFlowLineTo(dir.Win("006400C8.FLO").c_str(), &item, buffer, RemovedLineSize,
                                   &whole),
                  1);
        EXPECT_EQ(whole, pattern.size());
        EXPECT_EQ(std::string(buffer), pattern.substr(0, RemovedLineSize - 1));
        for (size_t i = RemovedLineSize; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#');
        EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\B.ZIP\r\nD:\\C.ZIP\r\n");
    }
}

TEST_F(RemoveFlowLineTest, StrayBytesOfALineAreKept) {
    std::string odd("D:\\X\0Y.ZIP\r\nD:\\A.ZIP\r\n", 22);
    dir.Write("006400C8.FLO", odd);
    EXPECT_EQ(Remove("006400C8.FLO", "D:\\A.ZIP"), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), std::string("D:\\X\0Y.ZIP\r\n", 12));
}

TEST_F(RemoveFlowLineTest, AFlowFilePathWithWildcardsIsRefused) {
    dir.Write("006400C8.FLO", "D:\\A.ZIP\n");
    EXPECT_EQ(Remove("*.FLO", "D:\\A.ZIP"), 0);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "D:\\A.ZIP\n");
}

// Every failure on the way leaves the flow file byte for byte as it was, no temporary file,
// result 0 and an empty removed line; past the last call the removal succeeds.
TEST_F(RemoveFlowLineTest, InjectedFaultsNeverChangeTheFlowFile) {
    std::string original = "^D:\\FILES\\A.ZIP\r\n~D:\\OLD\n";
    for (int i = 0; i < 200; ++i) original += "D:\\FILES\\FILE" + std::to_string(i) + ".ZIP  \n";
    original += "#D:\\FILES\\A.ZIP";
    const struct {
        FileCall call;
        const char *createPathSuffix;
    } faults[] = {
        {FileCall::Create, ".TMP"}, {FileCall::Create, ""},     {FileCall::Read, ""},
        {FileCall::Write, ""},      {FileCall::ShortWrite, ""}, {FileCall::Flush, ""},
        {FileCall::Close, ".TMP"},  {FileCall::Replace, ""},
    };
    for (const auto &fault : faults) {
        int failures = 0;
        for (int n = 1;; ++n) {
            dir.Write("006400C8.CLO", original);
            FileFaults injected;
            if (fault.call == FileCall::Close) {
                // Only the temporary file's close matters; the flow file's is not checked.
                injected.FailAt(FileCall::Close, 3);
            } else {
                injected.FailAt(fault.call, n, fault.createPathSuffix);
            }
            int result = Remove("006400C8.CLO", "D:\\FILES\\A.ZIP");
            if (!injected.Triggered()) {
                EXPECT_EQ(result, 1) << FileCallName(fault.call);
                EXPECT_STREQ(removed, "#D:\\FILES\\A.ZIP");
                break;
            }
            ++failures;
            EXPECT_EQ(result, 0) << FileCallName(fault.call) << " " << n;
            EXPECT_STREQ(removed, "") << FileCallName(fault.call) << " " << n;
            ASSERT_EQ(dir.Read("006400C8.CLO"), original) << FileCallName(fault.call) << " " << n;
            ASSERT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"006400C8.CLO"})
                << FileCallName(fault.call) << " " << n;
            if (fault.call == FileCall::Close) break;
        }
        EXPECT_GT(failures, 0) << FileCallName(fault.call);
    }
}

// The matcher decides which lines name the item: one that never matches takes nothing and
// leaves the flow file as it was; one blind to case takes a line in another case.
TEST_F(RemoveFlowLineTest, TheMatcherDecidesWhichLinesNameTheItem) {
    const std::string bytes = "C:\\FILES\\A.ZIP\r\nc:\\files\\b.zip\r\n";
    dir.Write("006400C8.FLO", bytes);
    PluginPanelItem item = Item("C:\\FILES\\B.ZIP");
    auto never = [](const char *, size_t, const char *, size_t) { return false; };
    auto caseBlind = [](const char *name, size_t length, const char *path, size_t pathLength) {
        if (length != pathLength) return false;
        for (size_t i = 0; i < length; ++i)
            if (toupper(static_cast<unsigned char>(name[i])) !=
                toupper(static_cast<unsigned char>(path[i])))
                return false;
        return true;
    };
    std::string flow = dir.Win("006400C8.FLO");
    EXPECT_EQ(RemoveFlowLines(flow.c_str(), &item, never, nullptr, nullptr), 0);
    EXPECT_EQ(dir.Read("006400C8.FLO"), bytes);
    EXPECT_EQ(RemoveFlowLines(flow.c_str(), &item, caseBlind, nullptr, nullptr), 1);
    EXPECT_EQ(dir.Read("006400C8.FLO"), "C:\\FILES\\A.ZIP\r\n");
}

} // namespace
