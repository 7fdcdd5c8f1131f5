// On a host that keeps the selection only when asked to (FCTL_UPDATEPANEL with a non-NULL
// parameter) and re-selects by exact name, every command, every attach from the file panel and
// every automatic refresh leaves the selection as it was, at the root and inside a link; and
// no listing walks the plugin through GetPluginDirList (no "preparing the list" box).
#include "command_test.h"

#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/poll.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using standin::EditorRequest;
using standin::Expect;
using standin::ShownBox;
using standin::Side;
using Names = std::vector<std::string>;

class KeptSelection : public CommandTest {
protected:
    KeptSelection() {
        for (const char *name : {"a.zip", "b.zip", "c.zip", "d.zip", "e.zip"})
            files.push_back(tree.WriteAttached(name));
        tree.WriteFlowFile("out/006400C8.FLO", {files[0], files[1], files[2]}); // 2:100/200.0
        tree.WriteFlowFile("out/00640001.CLO", {files[3]});                     // 2:100/1.0
        tree.Write("out/00640002.OUT", "packet");                               // 2:100/2.0
        settings.autoRefresh = 1;
        options.rightDirectory = tree.Win("files");
    }
    Names Selected() {
        Names names = Panel().SelectedNames();
        std::sort(names.begin(), names.end());
        return names;
    }
    // Attaches the file from the file panel on the right (F5, or F6 to move) to the address.
    void AttachFromFilePanel(const std::string &name, const std::string &address, bool move) {
        host->SetActive(Side::Right);
        host->Right().SelectAll(false);
        ASSERT_TRUE(host->Right().SetCurrentByName(name));
        front.Expect(Expect::Dialog(move ? "MoveFiles" : "CopyFiles")
                         .ItemText(2, Text(MsgPanelFormat) + ":")
                         .Default());
        front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, address).Press(AttachOk));
        host->PressKey(move ? VK_F6 : VK_F5);
        host->SetActive(Side::Left);
    }
    // The mailer (or anyone) changes the outbound; the next idle event comes 2 s after the
    // last listing.
    void RefreshAfter(const std::function<void()> &change) {
        change();
        int updates = Panel().UpdateCount();
        host->AdvanceClock(2000);
        host->Idle();
        EXPECT_EQ(Panel().UpdateCount(), updates + 1);
    }
    struct Step {
        const char *what;
        std::function<void()> run;
    };
    void RunSteps(const std::vector<Step> &steps, const Names &selected) {
        for (const Step &step : steps) {
            SCOPED_TRACE(step.what);
            step.run();
            EXPECT_EQ(front.Verify(), "");
            EXPECT_EQ(Selected(), selected);
        }
        EXPECT_EQ(host->DirListWalks(), 0);
        for (const ShownBox &box : front.BoxesOf(ShownBox::ProgressBox))
            EXPECT_FALSE(box.HasText("Preparing the list")) << box.Describe();
    }
    std::vector<std::string> files;
};

TEST_F(KeptSelection, AtTheRoot) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Select("2:100/1.0"));
    ASSERT_TRUE(Select("2:100/200.0"));
    ASSERT_TRUE(SetCurrent("2:100/2.0"));
    RunSteps(
        {
            {"F4, request written",
             [&] {
                 front.Expect(Expect::Dialog("BSOFREQ").Press(RequestOk));
                 front.ExpectEditor([](const EditorRequest &request) {
                     std::ofstream(request.nativePath, std::ios::binary) << "files.lst\r\n";
                 });
                 EXPECT_TRUE(Press(VK_F4));
             }},
            {"F7, poll written",
             [&] {
                 front.Expect(Expect::Dialog("BSOPoll").Edit(PollAddress, "100/3").Press(PollOk));
                 EXPECT_TRUE(Press(VK_F7));
             }},
            {"F7, cancelled",
             [&] {
                 front.Expect(Expect::Dialog("BSOPoll").Esc());
                 EXPECT_TRUE(Press(VK_F7));
             }},
            {"F5 from the file panel", [&] { AttachFromFilePanel("e.zip", "100/1", false); }},
            {"F6 from the file panel", [&] { AttachFromFilePanel("e.zip", "100/4", true); }},
            {"automatic refresh",
             [&] { RefreshAfter([&] { tree.Write("out/00640009.OUT", "packet"); }); }},
            {"Ctrl+R", [&] { host->PressKey('R', PKF_CONTROL); }},
        },
        {"2:100/1.0", "2:100/200.0"});
    EXPECT_TRUE(Row("2:100/3.0"));
    EXPECT_TRUE(Row("2:100/9.0"));
}

TEST_F(KeptSelection, InsideALink) {
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("a.zip")));
    ASSERT_TRUE(Select(FileRow("b.zip")));
    ASSERT_TRUE(SetCurrent(FileRow("c.zip")));
    auto flavor = [&](int flavor, unsigned controlState) {
        front.Expect(
            Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + flavor - 1).Press(FlavorOk));
        EXPECT_TRUE(Press(VK_F6, controlState));
    };
    RunSteps(
        {
            {"F6, the selection to crash", [&] { flavor(2, 0); }},
            {"Shift+F6, the current file to hold", [&] { flavor(5, PKF_SHIFT); }},
            {"F7, cancelled",
             [&] {
                 front.Expect(Expect::Message(Text(MsgRemoveTitle)).Esc());
                 EXPECT_TRUE(Press(VK_F7));
             }},
            {"Shift+F4, cancelled",
             [&] {
                 front.Expect(Expect::Dialog("BSOFREQ").Esc());
                 EXPECT_TRUE(Press(VK_F4, PKF_SHIFT));
             }},
            {"F5 from the file panel", [&] { AttachFromFilePanel("e.zip", "100/200", false); }},
            {"automatic refresh",
             [&] { RefreshAfter([&] { tree.WriteFlowFile("out/006400C8.DLO", {files[3]}); }); }},
        },
        {FileRow("a.zip"), FileRow("b.zip")});
    EXPECT_TRUE(Row(FileRow("e.zip")));
    EXPECT_TRUE(Row(FileRow("d.zip")));
    // What moved went where it was sent.
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({files[0], files[1]}));
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({files[2]}));
    // F7 on the selection takes those lines out: their rows go, and the selection with them.
    front.Expect(Expect::Message(Text(MsgRemoveTitle)).Press(0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Row(FileRow("a.zip")));
    EXPECT_TRUE(Selected().empty());
}

} // namespace
