// The poll (F7 at the root): the address offered from the link under the cursor, the flavor
// preset from PollFlavor, and the empty flow file it leaves in the right directory.
#include "command_test.h"

#include "commands/poll.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <time.h>

namespace {

using standin::Expect;
using standin::ShownBox;

class Poll : public CommandTest {
protected:
    Expect PollDialog() { return Expect::Dialog("BSOPoll").Title(Text(MsgPollTitle)); }
    // Polls the typed address with the flavor button (4 immediate ... 7 normal).
    void PollFor(const std::string &typed, int flavorItem) {
        front.Expect(PollDialog().Edit(PollAddress, typed).Radio(flavorItem).Press(PollOk));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
    }
};

TEST_F(Poll, OffersTheLinkUnderTheCursor) {
    tree.Write("out/006400C8.CUT");                  // 2:100/200.0
    tree.Write("out.003/006400C8.PNT/00000005.OUT"); // 3:100/200.5
    ASSERT_TRUE(Open());
    for (const char *link : {"2:100/200.0", "3:100/200.5"}) {
        SCOPED_TRACE(link);
        ASSERT_TRUE(SetCurrent(link));
        front.Expect(PollDialog().ItemText(PollAddress, link).Esc());
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
    }
}

TEST_F(Poll, AnEmptyOutboundOffersNothing) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Rows().empty());
    front.Expect(PollDialog().ItemText(PollAddress, "").Esc());
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
}

// The dialog as it is shown: eleven items, the frame and the separators where they belong,
// four flavors without hold, the shared address history.
TEST_F(Poll, DialogLayout) {
    ASSERT_TRUE(Open());
    const DWORD separator = DIF_SEPARATOR | DIF_BOXCOLOR;
    CheckLayout("BSOPoll", 46, 13,
                {
                    {DI_DOUBLEBOX, 3, 1, 42, 11, 0, 0, 0, 0, Text(MsgPollTitle)},
                    {DI_TEXT, 5, 2, 0, 0, 0, 0, 0, 0, Text(MsgPollAddress)},
                    {DI_EDIT, 5, 3, 40, 0, 1, 0, DIF_HISTORY, 0, ""},
                    {DI_TEXT, 5, 4, 0, 0, 0, 0, separator, 0, ""},
                    {DI_RADIOBUTTON, 5, 5, 40, 0, 0, 0, DIF_GROUP, 0, Text(MsgFlavorImmediate)},
                    {DI_RADIOBUTTON, 5, 6, 40, 0, 0, 0, 0, 0, Text(MsgFlavorCrash)},
                    {DI_RADIOBUTTON, 5, 7, 40, 0, 0, 0, 0, 0, Text(MsgFlavorDirect)},
                    {DI_RADIOBUTTON, 5, 8, 40, 0, 0, 1, 0, 0, Text(MsgFlavorNormal)},
                    {DI_TEXT, 5, 9, 0, 0, 0, 0, separator, 0, ""},
                    {DI_BUTTON, 0, 10, 0, 0, 0, 0, DIF_CENTERGROUP, 1, Text(MsgOk)},
                    {DI_BUTTON, 0, 10, 0, 0, 0, 0, DIF_CENTERGROUP, 0, Text(MsgCancel)},
                },
                [&] { EXPECT_TRUE(Press(VK_F7)); });
}

// Each address lands in its zone's and point's own directory, made when missing; short forms
// are completed from the own address 2:5020/1000.
TEST_F(Poll, CreatesTheEmptyFlowFileWhereTheAddressLives) {
    struct Case {
        const char *typed;
        int flavorItem;
        const char *file;
    } cases[] = {
        {"2:100/200", 5, "out/006400C8.CLO"},
        {"100/200.0", 4, "out/006400C8.ILO"},
        {"3:100/200", 6, "out.003/006400C8.DLO"},
        {"100/200.5", 7, "out/006400C8.PNT/00000005.FLO"},
        {"4095:65534/1.65534", 5, "out.FFF/FFFE0001.PNT/0000FFFE.CLO"},
        {"200", 4, "out/139C00C8.ILO"},
        {".7", 6, "out/139C03E8.PNT/00000007.DLO"},
    };
    ASSERT_TRUE(Open());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        PollFor(c.typed, c.flavorItem);
        EXPECT_EQ(OnDisk(c.file), MadeName(c.file));
        EXPECT_EQ(Bytes(c.file), "");
    }
    // The new links show up after the update that followed each poll.
    EXPECT_EQ(RowNames().size(), 6u);
    std::optional<standin::ShownItem> row = Row("3:100/200.0");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns[FlowColumn], "..D..");
}

TEST_F(Poll, AnExistingFlowFileKeepsItsBytes) {
    // The last line without its line end, a done entry, a blank line: all stay as they are.
    const std::string bytes = "^Z:\\files\\a.zip\r\n~Z:\\files\\b.zip\r\n\r\n#Z:\\files\\c.zip";
    tree.Write("out/006400C8.CLO", bytes);
    // A held link is polled with a word that the mailer will not call it while held.
    tree.Write("out/006400c8.hld", std::to_string(time(nullptr) + 3600));
    ASSERT_TRUE(Open());
    front.Expect(PollDialog().Edit(PollAddress, "2:100/200").Radio(5).Press(PollOk));
    front.Expect(Warning(MsgPollTitle, MsgHeldLinkWarning, "2:100/200.0"));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.CLO"), bytes);
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/006400C8.CLO", "out/006400c8.hld"}));
}

TEST_F(Poll, PresetFlavorFromTheSettings) {
    const char *files[] = {"out/006400C8.ILO", "out/006400C8.CLO", "out/006400C8.DLO",
                           "out/006400C8.FLO"};
    for (int flavor = 0; flavor < 4; ++flavor) {
        SCOPED_TRACE(flavor);
        settings.pollFlavor = flavor;
        ASSERT_TRUE(Open());
        Expect dialog = PollDialog().Edit(PollAddress, "2:100/200").Default();
        for (int i = 0; i < 4; ++i) dialog.Selected(PollFirstFlavor + i, i == flavor ? 1 : 0);
        front.Expect(dialog);
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(OnDisk(files[flavor]), MadeName(files[flavor]));
        Close();
        tree.Remove("out");
        tree.MakeDir("out");
    }
}

TEST_F(Poll, AnInvalidAddressIsWarnedWithTheTypedText) {
    ASSERT_TRUE(Open());
    for (const char *typed : {"", "1:2", "2:100/", "abc", " 2:100/200", "2:100/65536"}) {
        SCOPED_TRACE(typed);
        front.Expect(PollDialog().Edit(PollAddress, typed).Press(PollOk));
        front.Expect(BadAddress(MsgPollTitle, typed));
        // The dialog comes back with the text as typed.
        front.Expect(PollDialog().ItemText(PollAddress, typed).Esc());
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_EQ(OutboundNames(), std::vector<std::string>{});
}

TEST_F(Poll, ABusyLinkIsPolledOnlyWhenTheUserGoesOn) {
    tree.Write("out.003/006400C8.PNT/00000005.BSY");
    ASSERT_TRUE(Open());
    // The box names the link's full address, whatever short form was typed.
    for (int button : {1, -1, 0}) {
        SCOPED_TRACE(button);
        front.Expect(PollDialog().Edit(PollAddress, "3:100/200.5").Radio(5).Press(PollOk));
        front.Expect(BusyBox(MsgPollTitle, "3:100/200.5", button));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(Has("out.003/006400C8.PNT/00000005.CLO"), button == 0);
    }
    // Another link is not asked about.
    PollFor("3:100/200.6", 5);
    EXPECT_TRUE(Has("out.003/006400C8.PNT/00000006.CLO"));
}

TEST_F(Poll, CancelWritesNothing) {
    tree.Write("out/006400C8.CUT");
    ASSERT_TRUE(Open());
    front.Expect(PollDialog().Edit(PollAddress, "2:100/201").Press(10));
    EXPECT_TRUE(Press(VK_F7));
    front.Expect(PollDialog().Edit(PollAddress, "2:100/201").Esc());
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/006400C8.CUT"}));
}

} // namespace
