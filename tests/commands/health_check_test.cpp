// The health check through the host (Shift+F7 at the root): the report as a list to pick from,
// each fix asked first and done under the link's flag, the report built again afterwards.
#include "command_test.h"

#include "commands/health_check.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using standin::Expect;
using standin::ShownBox;

class HealthCommand : public CommandTest {
protected:
    // The report dialog: its entries kept in *entries as the host draws them, the cursor moved
    // to the entry at Index and Enter pressed (-1: closed with Cancel, -2: with Esc).
    Expect Report(std::vector<std::string> *entries, int index) {
        Expect expect = Expect::Dialog("BSOHealth")
                            .Title(Text(MsgHealthTitle))
                            .Check([entries](const ShownBox &box) {
                                entries->clear();
                                for (size_t i = 0; i < box.itemTypes.size(); ++i)
                                    if (box.itemTypes[i] == DI_RADIOBUTTON)
                                        entries->push_back(box.drawnTexts[i]);
                                return std::string();
                            });
        if (index == -2) return expect.Esc();
        if (index < 0) return expect.PressText("Cancel");
        return expect.Cursor(1 + index).Default();
    }
    Expect Clean() {
        return Expect::Message(Text(MsgHealthTitle)).Warning(false).Contains(Text(MsgHealthClean));
    }
};

TEST_F(HealthCommand, AttachesAnOrphanBundleToTheLinkPicked) {
    tree.Write("out/0000fff0.we2", "orphan");
    tree.WriteFlowFile("out/006400C8.CLO", {});
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Dialog("BSOHealth")
                     .Title(Text(MsgHealthAttachTitle))
                     .Edit(HealthAttachAddress, "100/200")
                     .Press(HealthAttachOk));
    front.Expect(Clean().Press(0));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthOrphanBundle), 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find("6 "), std::string::npos) << entries[0]; // its size
    // The attach flavor's flow file (normal by default) sends it and deletes it afterwards.
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + tree.Line("out/0000fff0.we2")}));
    EXPECT_FALSE(Has("out/006400C8.BSY"));

    // Queued by a tosser while the address was typed (under another name of its folder): it is
    // not attached a second time, to another link.
    tree.Write("out/0000fff0.th1", "orphan");
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Dialog("BSOHealth")
                     .Title(Text(MsgHealthAttachTitle))
                     .Check([this](const ShownBox &) {
                         tree.WriteFlowFile("out/00640001.HLO",
                                            {"^" + tree.Win("files/../out/0000fff0.th1")});
                         return std::string();
                     })
                     .Edit(HealthAttachAddress, "100/300")
                     .Press(HealthAttachOk));
    front.Expect(Warning(MsgHealthAttachTitle, MsgHealthFixFailed, tree.Win("out/0000fff0.th1")));
    front.Expect(Clean().Press(0));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/0064012C.FLO"));
}

#ifndef _WIN32
// On Linux a line naming a file in another case sends nothing: the fix writes the file's own
// name, natively as an attach does.
TEST_F(HealthCommand, WritesTheFilesOwnNameIntoTheLine) {
    tree.WriteAttached("Report.Zip");
    const std::string line = "^" + tree.Win("FILES/REPORT.ZIP");
    tree.WriteFlowFile("out/006400C8.FLO", {tree.WriteAttached("kept.zip"), line});
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle))
                     .Contains(Text(MsgHealthExactNames))
                     .Contains(Text(MsgHealthFixCase))
                     .PressText("OK"));
    front.Expect(Clean().Press(0));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"),
              CrLf({tree.Win("files/kept.zip"), "^" + tree.Line("files/Report.Zip")}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthWrongCase), 0), 0u) << entries[0];
}
#endif

TEST_F(HealthCommand, TakesOutABadLineAfterAsking) {
    const std::string kept = tree.WriteAttached("kept.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {kept, "."});
    tree.Write("out/r&d.txt", "x");
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    // The fix follows the cursor: the stray file, the second entry, has no safe fix and is named.
    front.Expect(Report(&entries, 1));
    front.Expect(Warning(MsgHealthTitle, MsgHealthNoFix, tree.Line("out/r&d.txt")));
    // The question declined: nothing changes, and the same report comes back.
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle))
                     .Contains(Text(MsgHealthTakeOutLine))
                     .Contains(".")
                     .PressText("Cancel"));
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle)).PressText("OK"));
    front.Expect(Report(&entries, -1));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({kept}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthUnknownName), 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find("r&d.txt"), std::string::npos) << entries[0]; // '&' shown
    // The entry names the file in the platform's own form: no drive on Linux.
    EXPECT_NE(entries[0].find(tree.Line("out/r&d.txt").substr(0, 3)), std::string::npos)
        << entries[0];
}

TEST_F(HealthCommand, ABusyLinkIsAskedBeforeAFix) {
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + tree.Win("files/gone.zip")});
    tree.Write("out/006400C8.BSY", "");
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle)).PressText("OK"));
    front.Expect(BusyBox(MsgHealthTitle, "2:100/200.0", 1));
    front.Expect(Report(&entries, -2));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + tree.Win("files/gone.zip")}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthMissingFile), 0), 0u) << entries[0];
}

} // namespace
