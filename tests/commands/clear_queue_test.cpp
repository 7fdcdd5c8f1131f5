// Clearing a link's queue (F8 at the root): the check boxes, the preview file by file, the
// busy flag, and what is left on disk: exactly what the preview said, nothing outside the
// link's queue touched, failures named while the rest goes on.
#include "command_test.h"

#include "commands/clear_queue.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

using standin::Expect;
using standin::ShownBox;

class ClearQueueTest : public CommandTest {
protected:
    ClearQueueTest() {
        caret = tree.WriteAttached("caret.zip", "caret");
        hash = tree.WriteAttached("hash.zip", "hash!");
        plain = tree.WriteAttached("plain.zip", "plain");
        caret2 = tree.WriteAttached("caret2.zip", "c2");
        other = tree.WriteAttached("other.zip", "other");
        shared = tree.WriteAttached("shared.zip", "shared");
        // The .tic of the "^" file for this link goes with it; one naming another file, or
        // for another link, stays.
        tree.Write("files/caret.tic", "Area NODELIST\r\nFile CARET.ZIP\r\nTo 2:100/200\r\n");
        tree.Write("files/other.tic", "Area NODELIST\r\nFile other.zip\r\nTo 2:100/200\r\n");
        tree.Write("files/caret1.tic", "Area NODELIST\r\nFile caret.zip\r\nTo 2:100/1\r\n");
        tree.WriteFlowFile("out/006400C8.FLO",
                           {"^" + caret, "#" + hash, plain, "~" + plain, "^", ".", "^" + shared});
        tree.WriteFlowFile("out/006400C8.CLO", {"^" + caret2});
        tree.Write("out/006400C8.CUT", "netmail");
        tree.Write("out/006400C8.REQ", "files\r\n");
        tree.Write("out/006400C8.HLD", "1700000000\r\n");
        tree.Write("out/006400C8.TRY", "x");
        // Not this link's queue: another node, a point of this node, a stray file.
        tree.WriteFlowFile("out/00640001.FLO", {"^" + other, "#" + shared});
        tree.WriteFlowFile("out/006400C8.PNT/00000001.FLO", {"^" + other});
        tree.Write("out/006400C8.PNT/00000001.CUT", "point netmail");
        tree.Write("out/006400C8.BAK", "not a queue file");
    }
    // F8 on the row, the check boxes set, and the preview answered with its button (its texts
    // kept in *preview).
    void Clear(const std::string &row, bool keepNetmail, bool keepCaret, const char *button,
               std::vector<std::string> *preview, int pages = 1) {
        ASSERT_TRUE(SetCurrent(row));
        Expect options = Expect::Dialog("BSOClear").Title(Text(MsgClearTitle));
        if (keepNetmail) options.SetCheck(ClearKeepNetmail);
        if (keepCaret) options.SetCheck(ClearKeepCaretFiles);
        front.Expect(options.Press(ClearOk));
        preview->clear();
        for (int page = 1; page <= pages; ++page)
            front.Expect(Expect::Dialog("BSOClear")
                             .Check([preview](const ShownBox &box) {
                                 preview->insert(preview->end(), box.texts.begin(),
                                                 box.texts.end());
                                 return std::string();
                             })
                             .PressText(page < pages ? "More" : button));
        EXPECT_TRUE(Press(VK_F8));
    }
    // The preview line of a file: its action and its name.
    static bool Shows(const std::vector<std::string> &preview, const std::string &action,
                      const std::string &name) {
        return std::any_of(preview.begin(), preview.end(), [&](const std::string &line) {
            return line.rfind(action, 0) == 0 && line.find(name) != std::string::npos;
        });
    }
    std::string caret, hash, plain, caret2, other, shared;
};

struct ClearCase {
    bool keepNetmail, keepCaret;
    int files;        // the total the preview gives
    unsigned staying; // of the bytes the link's Queued column shows, those that stay queued
};

TEST_F(ClearQueueTest, ClearsExactlyWhatThePreviewShows) {
    const ClearCase cases[] = {
        {false, false, 7, 0}, {true, false, 6, 7}, {false, true, 7, 0}, {true, true, 6, 7}};
    for (const ClearCase &c : cases) {
        SCOPED_TRACE("keep netmail " + std::to_string(c.keepNetmail) + ", keep ^ files " +
                     std::to_string(c.keepCaret));
        // Each case on the queue as the fixture made it.
        tree.WriteAttached("caret.zip", "caret");
        tree.WriteAttached("hash.zip", "hash!");
        tree.WriteAttached("caret2.zip", "c2");
        tree.Write("files/caret.tic", "Area NODELIST\r\nFile CARET.ZIP\r\nTo 2:100/200\r\n");
        tree.WriteFlowFile("out/006400C8.FLO",
                           {"^" + caret, "#" + hash, plain, "~" + plain, "^", ".", "^" + shared});
        tree.WriteFlowFile("out/006400C8.CLO", {"^" + caret2});
        tree.Write("out/006400C8.CUT", "netmail");
        tree.Write("out/006400C8.REQ", "files\r\n");
        tree.Write("out/006400C8.HLD", "1700000000\r\n");
        tree.Write("out/006400C8.TRY", "x");
        const std::vector<std::string> othersBefore = {Bytes("out/00640001.FLO"),
                                                       Bytes("out/006400C8.PNT/00000001.FLO"),
                                                       Bytes("out/006400C8.PNT/00000001.CUT"),
                                                       Bytes("out/006400C8.BAK"),
                                                       tree.Read("files/other.tic"),
                                                       tree.Read("files/caret1.tic"),
                                                       tree.Read("files/other.zip"),
                                                       tree.Read("files/shared.zip"),
                                                       tree.Read("files/plain.zip")};
        ASSERT_TRUE(Open());
        const uint64_t queued = Row("2:100/200.0")->size;
        std::vector<std::string> preview;
        Clear("2:100/200.0", c.keepNetmail, c.keepCaret, "Clear", &preview, c.keepCaret ? 1 : 2);
        EXPECT_EQ(front.Verify(), "");

        // The preview: every file with what happens to it, and the total.
        EXPECT_TRUE(Shows(preview, Text(MsgClearTruncate), "hash.zip"));
        EXPECT_TRUE(Shows(preview, Text(MsgClearLeave), "plain.zip"));
        EXPECT_TRUE(Shows(preview, Text(MsgClearDelete), "006400C8.FLO") ||
                    Shows(preview, Text(MsgClearDelete), "006400c8.flo"));
        const std::string caretAction = Text(c.keepCaret ? MsgClearLeave : MsgClearDelete);
        EXPECT_TRUE(Shows(preview, caretAction, "caret.zip"));
        EXPECT_EQ(Shows(preview, Text(MsgClearDelete), "caret.tic"), !c.keepCaret);
        const std::string mailAction = Text(c.keepNetmail ? MsgClearKeep : MsgClearDelete);
        EXPECT_TRUE(Shows(preview, mailAction, ".CUT") || Shows(preview, mailAction, ".cut"));
        // A file another link still needs is left, and the preview names that link.
        EXPECT_TRUE(Shows(preview, Text(MsgClearLeave), "shared.zip"));
        std::string why = Text(MsgClearWhyOtherLinkFormat);
        why.replace(why.find("%s"), 2, "2:100/1.0");
        EXPECT_EQ(std::find(preview.begin(), preview.end(), why) != preview.end(), !c.keepCaret);
        // The total counts as the Queued column does, and the rows add up to it.
        const std::string total = CountText(MsgClearTotalFormat, static_cast<unsigned>(c.files)) +
                                  ", " + CountText(MsgClearBytesFormat, queued - c.staying);
        EXPECT_NE(std::find(preview.begin(), preview.end(), total), preview.end())
            << ::testing::PrintToString(preview);
        unsigned long long sum = 0;
        for (const std::string &line : preview)
            if (std::regex_search(line, std::regex("^\\S+ +\\S+ +[0-9]")))
                sum += std::stoull(std::regex_replace(line.substr(56), std::regex("[^0-9]"), ""));
        EXPECT_EQ(sum, queued - c.staying);

        // What is left.
        EXPECT_EQ(tree.Exists("files/caret.zip"), c.keepCaret);
        EXPECT_EQ(tree.Exists("files/caret2.zip"), c.keepCaret);
        EXPECT_EQ(tree.Exists("files/caret.tic"), c.keepCaret);
        EXPECT_EQ(tree.Read("files/hash.zip"), "");
        EXPECT_EQ(Has("out/006400C8.CUT"), c.keepNetmail);
        EXPECT_EQ(Has("out/006400C8.HLD"), c.keepNetmail);
        EXPECT_EQ(Has("out/006400C8.TRY"), c.keepNetmail);
        for (const char *gone :
             {"out/006400C8.FLO", "out/006400C8.CLO", "out/006400C8.REQ", "out/006400C8.BSY"})
            EXPECT_FALSE(Has(gone)) << gone;
        const std::vector<std::string> othersAfter = {Bytes("out/00640001.FLO"),
                                                      Bytes("out/006400C8.PNT/00000001.FLO"),
                                                      Bytes("out/006400C8.PNT/00000001.CUT"),
                                                      Bytes("out/006400C8.BAK"),
                                                      tree.Read("files/other.tic"),
                                                      tree.Read("files/caret1.tic"),
                                                      tree.Read("files/other.zip"),
                                                      tree.Read("files/shared.zip"),
                                                      tree.Read("files/plain.zip")};
        EXPECT_EQ(othersAfter, othersBefore);
        // The row shows at once what is left.
        EXPECT_EQ(Row("2:100/200.0") ? Row("2:100/200.0")->size : 0, c.staying);
        Close();
    }
}

TEST_F(ClearQueueTest, CancelledPreviewChangesNothing) {
    ASSERT_TRUE(Open());
    const std::vector<std::string> before = OutboundNames();
    std::vector<std::string> preview;
    Clear("2:100/200.0", false, false, "Cancel", &preview);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), before);
    EXPECT_TRUE(tree.Exists("files/caret.zip"));
    EXPECT_EQ(tree.Read("files/hash.zip"), "hash!");
    // Esc on a preview of one page closes it too.
    front.Expect(Expect::Dialog("BSOClear").Press(ClearOk));
    front.Expect(Expect::Dialog("BSOClear").Esc());
    EXPECT_TRUE(Press(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), before);
}

// A file that cannot be deleted (a folder of its name): it is named, its flow file stays
// whole, and the other flow file is cleared all the same.
TEST_F(ClearQueueTest, AFailureIsNamedAndTheRestGoesOn) {
    tree.MakeDir("files/stuck.zip");
    const std::string stuck = tree.Win("files/stuck.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + caret, "^" + stuck});
    const std::string flow = Bytes("out/006400C8.FLO");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetCurrent("2:100/200.0"));
    front.Expect(Expect::Dialog("BSOClear").Press(ClearOk));
    front.Expect(Expect::Dialog("BSOClear").PressText("Clear"));
    front.Expect(Expect::Message(Text(MsgClearTitle))
                     .Warning()
                     .Check([this, stuck](const ShownBox &box) {
                         std::vector<std::string> lines = {Text(MsgClearFailed), ShownPath(stuck)};
                         return box.texts == lines
                                    ? std::string()
                                    : "lines: " + ::testing::PrintToString(box.texts);
                     })
                     .Press(0));
    EXPECT_TRUE(Press(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), flow);
    EXPECT_FALSE(tree.Exists("files/caret.zip"));
    // The flow file is as before, its file gone: the row shows the disk, not what was cached.
    EXPECT_EQ(Row("2:100/200.0")->size, 0u);
    EXPECT_FALSE(Has("out/006400C8.CLO"));
    EXPECT_FALSE(tree.Exists("files/caret2.zip"));
    // A queue is left: the hold and the tries stay with it.
    EXPECT_TRUE(Has("out/006400C8.HLD"));
    EXPECT_TRUE(Has("out/006400C8.TRY"));
}

TEST_F(ClearQueueTest, ABusyLinkIsAskedAbout) {
    tree.Write("out/006400C8.BSY", "binkd");
    ASSERT_TRUE(Open());
    const std::vector<std::string> before = OutboundNames();
    ASSERT_TRUE(SetCurrent("2:100/200.0"));
    front.Expect(Expect::Dialog("BSOClear").Press(ClearOk));
    front.Expect(BusyBox(MsgClearTitle, "2:100/200.0", 1));
    EXPECT_TRUE(Press(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), before);
    // Going on clears the queue; the mailer's flag stays.
    front.Expect(Expect::Dialog("BSOClear").Press(ClearOk));
    front.Expect(BusyBox(MsgClearTitle, "2:100/200.0", 0));
    front.Expect(Expect::Dialog("BSOClear").PressText("Clear"));
    EXPECT_TRUE(Press(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.BSY"), "binkd");
    EXPECT_FALSE(Has("out/006400C8.FLO"));
}

// Selected links are cleared together; the subject counts them. A long queue turns pages.
TEST_F(ClearQueueTest, SelectedLinksAndALongPreview) {
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i)
        lines.push_back(tree.WriteAttached("many" + std::to_string(i) + ".zip"));
    tree.WriteFlowFile("out/00640001.HLO", lines);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Select("2:100/200.0"));
    ASSERT_TRUE(Select("2:100/1.0"));
    std::string subject = CountText(MsgClearLinksFormat, 2);
    std::string question = Text(MsgClearQuestionFormat);
    question.replace(question.find("%s"), 2, subject);
    front.Expect(Expect::Dialog("BSOClear").ItemText(ClearSubject, question).Press(ClearOk));
    // Two pages of rows at most ClearPreviewRows each; More turns to the next.
    auto rows = [](const ShownBox &box) {
        return box.texts.size() <= static_cast<size_t>(ClearPreviewRows) + 7 ? std::string()
                                                                             : "too many rows";
    };
    front.Expect(Expect::Dialog("BSOClear").Check(rows).PressText("More"));
    front.Expect(Expect::Dialog("BSOClear").Check(rows).PressText("Clear"));
    EXPECT_TRUE(Press(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/00640001.FLO"));
    EXPECT_FALSE(Has("out/00640001.HLO"));
    EXPECT_FALSE(Has("out/006400C8.FLO"));
    EXPECT_TRUE(tree.Exists("files/many0.zip")); // plain lines: the files stay
    EXPECT_TRUE(Has("out/006400C8.PNT/00000001.FLO"));
}

} // namespace
