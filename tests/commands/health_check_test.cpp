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
    // The report dialog: its entries kept in *entries, the entry at Index picked for a fix
    // (-1: closed with Cancel, -2: with Esc).
    Expect Report(std::vector<std::string> *entries, int index) {
        Expect expect = Expect::Dialog("BSOHealth")
                            .Title(Text(MsgHealthTitle))
                            .Check([entries](const ShownBox &box) {
                                entries->clear();
                                for (size_t i = 0; i < box.itemTypes.size(); ++i)
                                    if (box.itemTypes[i] == DI_RADIOBUTTON)
                                        entries->push_back(box.texts[i]);
                                return std::string();
                            });
        if (index == -2) return expect.Esc();
        if (index < 0) return expect.PressText("Cancel");
        return expect.Radio(1 + index).PressText("Fix");
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
}

TEST_F(HealthCommand, TakesOutABadLineAfterAsking) {
    const std::string kept = tree.WriteAttached("kept.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {kept, "."});
    tree.Write("out/stray.txt", "x");
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    // The question declined: nothing changes, and the same report comes back.
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle))
                     .Contains(Text(MsgHealthTakeOutLine))
                     .Contains(".")
                     .PressText("Cancel"));
    front.Expect(Report(&entries, 0));
    front.Expect(Expect::Message(Text(MsgHealthTitle)).PressText("OK"));
    // The stray file has no safe fix: it is named.
    front.Expect(Report(&entries, 0));
    front.Expect(Warning(MsgHealthTitle, MsgHealthNoFix, tree.Line("out/stray.txt")));
    front.Expect(Report(&entries, -1));
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({kept}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthUnknownName), 0), 0u) << entries[0];
    // The entry names the file in the platform's own form: no drive on Linux.
    EXPECT_NE(entries[0].find(tree.Line("out/stray.txt").substr(0, 3)), std::string::npos)
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
