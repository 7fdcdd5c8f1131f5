#include "bso/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_faults.h"
#include "temp_dir.h"
#include "test_files.h"

namespace {

// Reads every line, through a buffer of the caller's when bufferSize is not 0; "(error)" marks
// a failed read.
std::vector<std::string> Lines(const std::string &path, DWORD bufferSize = 0) {
    std::vector<std::string> lines;
    LineReader reader;
    if (!OpenLineReader(&reader, path.c_str())) {
        CloseLineReader(&reader);
        lines.push_back("(cannot open)");
        return lines;
    }
    std::vector<char> buffer(bufferSize);
    if (bufferSize) UseLineBuffer(&reader, buffer.data(), bufferSize);
    for (;;) {
        char *line;
        size_t length;
        int got = ReadLine(&reader, &line, &length);
        if (got == 0) break;
        if (got < 0) {
            lines.push_back("(error)");
            break;
        }
        EXPECT_EQ(line[length], '\0');
        lines.emplace_back(line, length);
    }
    CloseLineReader(&reader);
    return lines;
}

using LinesList = std::vector<std::string>;

TEST(ReadLine, LineEndsAndLastLine) {
    struct {
        const char *bytes;
        LinesList lines;
    } const rows[] = {
        {"", {}},
        {"A\r\nB\r\n", {"A", "B"}},
        {"A\nB\n", {"A", "B"}},
        {"A\r\nB", {"A", "B"}},
        {"\r\n\r\n", {"", ""}},
        {"\n", {""}},
        {"A\rB\r\n", {"A", "B"}},
        {"A\r\r\n", {"A", ""}},
        {" \t \r\n", {" \t "}},
        {"\r", {""}},
        {"A\rB\rC", {"A", "B", "C"}},
        {"A\n\rB\r", {"A", "", "B"}},
    };
    TempDir dir;
    for (const auto &row : rows) {
        dir.Write("F.FLO", row.bytes);
        // The reader's own chunk, and buffers so small that every line end straddles reads.
        for (DWORD buffer : {0u, 1u, 2u})
            EXPECT_EQ(Lines(dir.Win("F.FLO"), buffer), row.lines) << row.bytes << buffer;
    }
}

TEST(ReadLine, LinesOfAnyLengthStayWhole) {
    TempDir dir;
    std::string line300(300, 'a');
    std::string line70000(70000, 'b');
    // A CR LF that straddles the reader's chunks, and lines around every chunk boundary.
    std::string line4095(4095, 'c');
    std::string line4096(4096, 'd');
    dir.Write("F.FLO", line300 + "\r\n" + line4095 + "\r\n" + line70000 + "\n" + line4096 + "\r\n" +
                           line4095);
    for (DWORD buffer : {0u, 65536u})
        EXPECT_EQ(Lines(dir.Win("F.FLO"), buffer),
                  (LinesList{line300, line4095, line70000, line4096, line4095}));
    // The CR of a CR LF last in one chunk, its LF first in the next: one line end, not two.
    dir.Write("F.FLO", line4095 + "\r\nx\r" + line4095 + "\r\r\n");
    EXPECT_EQ(Lines(dir.Win("F.FLO")), (LinesList{line4095, "x", line4095, ""}));
}

TEST(ReadLine, MissingFileAndReadError) {
    TempDir dir;
    EXPECT_EQ(Lines(dir.Win("NONE.FLO")), LinesList{"(cannot open)"});
    dir.Write("F.FLO", std::string(10000, 'x') + "\r\nA\r\n");
    FileFaults faults;
    faults.FailAt(FileCall::Read, 2);
    EXPECT_EQ(Lines(dir.Win("F.FLO")), LinesList{"(error)"});
}

TEST(AppendLineToFile, CreatesAppendsAndClosesAnOpenLastLine) {
    TempDir dir;
    std::string path = dir.Win("F.FLO");
    EXPECT_EQ(AppendLineToFile(path.c_str(), "^D:\\A.ZIP"), WriteDone);
    EXPECT_EQ(dir.Read("F.FLO"), "^D:\\A.ZIP\r\n");
    EXPECT_EQ(AppendLineToFile(path.c_str(), "D:\\B.ZIP"), WriteDone);
    EXPECT_EQ(dir.Read("F.FLO"), "^D:\\A.ZIP\r\nD:\\B.ZIP\r\n");

    // A last line without its line end keeps its entry: the new line goes below it.
    dir.Write("G.FLO", "D:\\A.ZIP");
    EXPECT_EQ(AppendLineToFile(dir.Win("G.FLO").c_str(), "D:\\B.ZIP"), WriteDone);
    EXPECT_EQ(dir.Read("G.FLO"), "D:\\A.ZIP\r\nD:\\B.ZIP\r\n");
    dir.Write("H.FLO", "D:\\A.ZIP\n");
    EXPECT_EQ(AppendLineToFile(dir.Win("H.FLO").c_str(), ""), WriteDone);
    EXPECT_EQ(dir.Read("H.FLO"), "D:\\A.ZIP\n\n"); // the file's own line end
    dir.Write("I.FLO", "D:\\A.ZIP\nD:\\B.ZIP");
    EXPECT_EQ(AppendLineToFile(dir.Win("I.FLO").c_str(), "D:\\C.ZIP"), WriteDone);
    EXPECT_EQ(dir.Read("I.FLO"), "D:\\A.ZIP\nD:\\B.ZIP\nD:\\C.ZIP\n");

    std::string longLine(70000, 'L');
    EXPECT_EQ(AppendLineToFile(path.c_str(), longLine.c_str()), WriteDone);
    EXPECT_EQ(dir.Read("F.FLO"), "^D:\\A.ZIP\r\nD:\\B.ZIP\r\n" + longLine + "\r\n");
}

TEST(AppendLineToFile, RefusesWhatItCannotWriteAsOneLine) {
    TempDir dir;
    dir.Write("F.FLO", "A\r\n");
    EXPECT_EQ(AppendLineToFile(dir.Win("F.FLO").c_str(), "B\r\n~C"), WriteFailed);
    EXPECT_EQ(AppendLineToFile(dir.Win("F.FLO").c_str(), "B\nC"), WriteFailed);
    EXPECT_EQ(dir.Read("F.FLO"), "A\r\n");
    EXPECT_EQ(AppendLineToFile(dir.Win("NO\\F.FLO").c_str(), "B"), WriteFailed);
    EXPECT_FALSE(dir.Exists("NO"));
    dir.MakeDir("D.FLO");
    EXPECT_EQ(AppendLineToFile(dir.Win("D.FLO").c_str(), "B"), WriteFailed);
}

TEST(AppendLineToFile, EveryFailureIsReported) {
    const FileCall calls[] = {FileCall::Create, FileCall::Seek,       FileCall::Read,
                              FileCall::Write,  FileCall::ShortWrite, FileCall::Flush,
                              FileCall::Close};
    for (FileCall call : calls) {
        for (int n = 1;; ++n) {
            TempDir dir;
            dir.Write("F.FLO", "A");
            FileFaults faults;
            faults.FailAt(call, n);
            WriteOutcome result = AppendLineToFile(dir.Win("F.FLO").c_str(), "B");
            if (!faults.Triggered()) {
                EXPECT_EQ(result, WriteDone) << FileCallName(call);
                break;
            }
            EXPECT_EQ(result, WriteFailed) << FileCallName(call) << " " << n;
        }
    }
}

// A flow file that the mailer wrote in the other case gets the line; no second file appears.
TEST(AppendLineToFile, ExistingFileInTheOtherCaseIsAppendedTo) {
    TempDir dir;
    dir.Write("006400c8.clo", "D:\\A.ZIP\r\n");
    EXPECT_EQ(AppendLineToFile(dir.Win("006400C8.CLO").c_str(), "D:\\B.ZIP"), WriteDone);
    EXPECT_EQ(CreateFileIfMissing(dir.Win("006400C8.CLO").c_str()), WriteDone);
    EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"006400c8.clo"});
    EXPECT_EQ(dir.Read("006400c8.clo"), "D:\\A.ZIP\r\nD:\\B.ZIP\r\n");
}

TEST(CreateFileIfMissing, CreatesEmptyAndLeavesExistingFiles) {
    TempDir dir;
    EXPECT_EQ(CreateFileIfMissing(dir.Win("P.CLO").c_str()), WriteDone);
    EXPECT_EQ(dir.Read("P.CLO"), "");
    dir.Write("Q.CLO", "D:\\A.ZIP\r\n");
    EXPECT_EQ(CreateFileIfMissing(dir.Win("Q.CLO").c_str()), WriteDone);
    EXPECT_EQ(dir.Read("Q.CLO"), "D:\\A.ZIP\r\n");
    EXPECT_EQ(CreateFileIfMissing(dir.Win("NO\\R.CLO").c_str()), WriteFailed);
    EXPECT_FALSE(dir.Exists("NO"));
}

} // namespace
