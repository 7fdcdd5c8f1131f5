// The removal inside a link (F7): the question names what is removed, the busy box comes after
// it, the lines leave their flow files and the files themselves stay on disk untouched.
#include "command_test.h"

#include "commands/removal.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using standin::Expect;
using standin::ShownBox;

std::string Replace(std::string text, const std::string &placeholder, const std::string &value) {
    size_t at = text.find(placeholder);
    return at == std::string::npos ? text : text.replace(at, placeholder.size(), value);
}

class Removal : public CommandTest {
protected:
    Removal() {
        for (const char *name : {"a.zip", "b.zip", "c.zip", "d.zip", "e.zip"})
            files.push_back(tree.WriteAttached(name, std::string("contents of ") + name));
        tree.WriteFlowFile("out/006400C8.FLO",
                           {"^" + files[0], "#" + files[1], "~Z:\\done.zip", files[2]});
        tree.WriteFlowFile("out/006400C8.CLO", {files[3], "^" + files[4]});
    }
    // The question, answered with the button (-1: Esc); subject as it must read.
    Expect Question(const std::string &subject, int button) {
        Expect expect =
            Expect::Message(Text(MsgRemoveTitle))
                .Warning(false)
                .Check([this, subject](const ShownBox &box) -> std::string {
                    std::string full = Replace(Text(MsgRemoveQuestionFormat), "%s", subject);
                    if (box.texts.size() != 2 || box.texts[1] != Text(MsgGoOn))
                        return "lines differ";
                    // A line the host would cut keeps the file name, with the middle of its
                    // directory left out.
                    const std::string &line = box.texts[0];
                    if (line == full) return "";
                    std::string name = subject.substr(subject.find_last_of("\\/") + 1);
                    std::string tail = Replace(Text(MsgRemoveQuestionFormat), "%s", name);
                    tail = tail.substr(tail.find(name));
                    if (full.size() <= 65 || line.size() > 65 ||
                        line.compare(0, 10, full, 0, 10) != 0 ||
                        (line.find("...\\") == std::string::npos &&
                         line.find(".../") == std::string::npos) ||
                        line.size() < tail.size() ||
                        line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
                        return "lines: " + box.texts.at(0);
                    if (box.buttons != std::vector<std::string>{Text(MsgOk), Text(MsgCancel)})
                        return "buttons differ";
                    return "";
                });
        return button < 0 ? expect.Esc() : expect.Press(button);
    }
    std::string FlowBytes() { return Bytes("out/006400C8.FLO") + "|" + Bytes("out/006400C8.CLO"); }
    std::vector<std::string> files;
};

TEST_F(Removal, TheQuestionNamesWhatIsRemoved) {
    ASSERT_TRUE(OpenLink());
    const std::string before = FlowBytes();
    // Nothing selected: the file under the cursor.
    ASSERT_TRUE(SetCurrent(FileRow("c.zip")));
    front.Expect(Question(FileRow("c.zip"), 1));
    EXPECT_TRUE(Press(VK_F7));
    // One selected: that file, wherever the cursor is.
    ASSERT_TRUE(Select(FileRow("b.zip")));
    front.Expect(Question(FileRow("b.zip"), -1));
    EXPECT_TRUE(Press(VK_F7));
    // Five selected: the count.
    for (const char *name : {"a.zip", "c.zip", "d.zip", "e.zip"})
        ASSERT_TRUE(Select(FileRow(name)));
    front.Expect(Question(CountText(MsgRemoveCountFormat, 5), 1));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(FlowBytes(), before);
}

// On a busy link the user is asked twice: to remove, then whether to go on all the same.
TEST_F(Removal, TheBusyBoxComesAfterTheQuestion) {
    tree.Write("out/006400C8.BSY");
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    const std::string before = FlowBytes();
    for (int button : {1, -1}) {
        SCOPED_TRACE(button);
        front.ClearBoxes();
        front.Expect(Question(FileRow("a.zip"), 0));
        front.Expect(BusyBox(MsgWarning, "2:100/200.0", button));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(FlowBytes(), before);
    }
    front.Expect(Question(FileRow("a.zip"), 0));
    front.Expect(BusyBox(MsgWarning, "2:100/200.0", 0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"#" + files[1], "~Z:\\done.zip", files[2]}));
}

// The selected files leave their flow files, two of them from the same one; the files stay on
// disk with their size and date, and the emptied flow file goes (left, it would be a poll).
TEST_F(Removal, TheLinesGoTheFilesStay) {
    namespace fs = std::filesystem;
    std::vector<fs::file_time_type> times;
    for (const char *name : {"a.zip", "c.zip", "d.zip", "e.zip"})
        times.push_back(fs::last_write_time(tree.dir.Native(std::string("files/") + name)));
    ASSERT_TRUE(OpenLink());
    for (const char *name : {"a.zip", "c.zip", "d.zip", "e.zip"})
        ASSERT_TRUE(Select(FileRow(name)));
    front.Expect(Question(CountText(MsgRemoveCountFormat, 4), 0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"#" + files[1], "~Z:\\done.zip"}));
    EXPECT_FALSE(Has("out/006400C8.CLO"));
    int i = 0;
    for (const char *name : {"a.zip", "c.zip", "d.zip", "e.zip"}) {
        std::string relative = std::string("files/") + name;
        EXPECT_EQ(tree.Read(relative), std::string("contents of ") + name);
        EXPECT_EQ(fs::last_write_time(tree.dir.Native(relative)), times[i++]) << name;
    }
    // After the update: b.zip is left, and no poll.
    EXPECT_EQ(RowNames(), std::vector<std::string>{FileRow("b.zip")});
}

// Each row by its kind: a poll, the request file and the mailer's hold and tries files are
// deleted, a packet and the busy flag stay, with a word that names them whole.
TEST_F(Removal, EachRowByItsKind) {
    struct Case {
        const char *name;
        std::string contents;
        int warning; // -1: none, the file goes
    };
    const Case cases[] = {
        {"006400C8.OUT", "packet", MsgNetmailNotRemoved},
        {"006400C8.REQ", "FILES\r\n", -1},
        {"006400C8.HLO", "", -1},                  // a poll
        {"006400C8.ILO", "~Z:\\done.zip\r\n", -1}, // nothing left to send: a poll too
        {"006400C8.BSY", "", MsgBusyFlagNotRemoved},
        {"006400C8.HLD", "1893456000", -1},                       // a release
        {"006400C8.TRY", std::string("\0\0\1\0\5Error", 10), -1}, // a reset
    };
    const std::string base = tree.Win(MadeName("out/006400C8"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree.Write(MadeName(std::string("out/") + c.name), c.contents);
        ASSERT_TRUE(OpenLink());
        const std::string row = OutRow(OnDisk(std::string("out/") + c.name)->substr(4));
        ASSERT_TRUE(SetCurrent(row));
        front.Expect(Question(row, 0));
        const bool busy = std::string(c.name).find("BSY") != std::string::npos;
        if (busy) front.Expect(BusyBox(MsgWarning, "2:100/200.0", 0));
        if (c.warning >= 0)
            front.Expect(Warning(MsgWarning, c.warning, base + row.substr(row.size() - 4)));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(Has(std::string("out/") + c.name), c.warning >= 0);
        if (c.warning >= 0) {
            EXPECT_EQ(Bytes(std::string("out/") + c.name), c.contents);
            tree.Remove(*OnDisk(std::string("out/") + c.name));
        }
        Close();
    }
}

// A selection that mixes kinds: each row is handled by its own.
TEST_F(Removal, AMixedSelection) {
    tree.Write("out/006400C8.OUT", "packet");
    tree.Write("out/006400C8.REQ", "FILES\r\n");
    tree.Write("out/006400C8.HLO", "");
    ASSERT_TRUE(OpenLink());
    for (const std::string &row :
         {FileRow("d.zip"), OutRow("006400C8.OUT"), OutRow("006400C8.REQ"), OutRow("006400C8.HLO")})
        ASSERT_TRUE(Select(row)) << row;
    front.Expect(Question(CountText(MsgRemoveCountFormat, 4), 0));
    front.Expect(
        Warning(MsgWarning, MsgNetmailNotRemoved,
                tree.Win(MadeName("out/006400C8")) + OnDisk("out/006400C8.OUT")->substr(12)));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(),
              (std::vector<std::string>{*OnDisk("out/006400C8.CLO"), *OnDisk("out/006400C8.FLO"),
                                        *OnDisk("out/006400C8.OUT")}));
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({"^" + files[4]}));
}

// A missing file the user kept is a row of its own: F7 takes its line out on request, and the
// flow file, left naming nothing, goes rather than stay as a poll.
TEST_F(Removal, F7TakesOutTheLineOfAMissingFile) {
    tree.WriteFlowFile("out/006400C8.DLO", {"^Z:\\gone\\missing.zip"});
    front.Expect(Expect::Message().Press(0)); // keep the missing file's line
    ASSERT_TRUE(OpenLink());
#ifdef _WIN32
    const std::string row = "Z:\\GONE\\missing.zip";
#else
    const std::string row = "/gone/missing.zip";
#endif
    ASSERT_TRUE(SetCurrent(row));
    front.Expect(Question(row, 0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/006400C8.DLO"));
}

// A line that is gone from its flow file (the panel out of date) is reported with the flow
// file's path; F7 on the ".." item is passed over without a question.
TEST_F(Removal, ALineAlreadyGoneIsReported) {
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("a.zip")));
    ASSERT_TRUE(Select(FileRow("b.zip")));
    tree.WriteFlowFile(*OnDisk("out/006400C8.FLO"), {"#" + files[1]});
    front.Expect(Question(CountText(MsgRemoveCountFormat, 2), 0));
    front.Expect(
        Warning(MsgWarning, MsgLineNotRemoved, tree.Win(MadeName("out/006400C8")) + ".FLO"));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/006400C8.FLO"));

    // On ".." F7 asks nothing and does nothing.
    ASSERT_TRUE(Panel().SetCurrent(0));
    ASSERT_TRUE(Panel().IsDotsItem(0));
    // ".." under the cursor with nothing selected: the host gives no item, nothing is asked.
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({files[3], "^" + files[4]}));
}

// With ANSI file functions (not the real host's way, which sets them to OEM) the names are
// converted between the two: shown in OEM, looked for in ANSI.
TEST_F(Removal, ANameOutsideAsciiIsFoundInTheFlowFile) {
    options.ansiFileApis = true;
    std::string accented = WriteAnsiFile("\xE0-report.zip");
    tree.WriteFlowFile("out/006400C8.HLO", {"#" + accented, files[0]});
    ASSERT_TRUE(OpenLink());
#ifdef _WIN32
    const std::string shown = FileRow("\x85-report.zip"); // code page 437
#else
    const std::string shown = FileRow("\xE0-report.zip");
#endif
    ASSERT_TRUE(SetCurrent(shown));
    front.Expect(Question(shown, 0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({files[0]}));
}

// F8, the plugin's delete: the lines go first, then (second button) the file itself; a file
// that another flow file of the link, or of another link, still names stays, with a word;
// Cancel changes nothing.
TEST_F(Removal, F8TakesOutOrAlsoDeletes) {
    struct Case {
        const char *what;
        int button;
        bool namedTwice, otherLink, fileGone, warned;
    } const cases[] = {
        {"queue only", 0, false, false, false, false},
        {"also delete", 1, false, false, true, false},
        {"still named by another flow file", 1, true, false, false, true},
        {"queued for another link too", 1, false, true, false, true},
        {"cancel", 2, false, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        tree.WriteAttached("a.zip", "contents of a.zip");
        tree.WriteFlowFile("out/006400C8.FLO", {"^" + files[0], files[2]});
        tree.WriteFlowFile("out/006400C8.CLO", {c.namedTwice ? files[0] : files[3]});
        if (c.otherLink) tree.WriteFlowFile("out/0064012C.HLO", {"^" + files[0]});
        ASSERT_TRUE(OpenLink());
        ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
        front.Expect(Expect::Message(Text(MsgDeleteTitle)).Press(c.button));
        if (c.warned)
            front.Expect(Expect::Message(Text(MsgWarning)).Contains(Text(MsgDeleteFileFailed)));
        EXPECT_TRUE(Press(VK_F8));
        EXPECT_EQ(front.Verify(), "");
        // Named twice, one line went and the other still names the file that stayed.
        size_t named = FlowBytes().find(files[0]);
        EXPECT_EQ(named == std::string::npos, c.button != 2 && !c.namedTwice);
        EXPECT_EQ(Has("files/a.zip"), !c.fileGone);
        EXPECT_FALSE(Has("out/006400c8.bsy"));
        if (c.otherLink) std::filesystem::remove(tree.Native("out/0064012C.HLO"));
        Close();
    }
}

} // namespace
