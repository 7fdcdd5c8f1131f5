// What the real host does that a plugin meets: GetPluginDirList walking the plugin, a failed
// listing, FE_CLOSE, FCTL_SETPANELDIR closing the panel at once, cut message lines.
#include "host_test_support.h"

#include <algorithm>
#include <cstring>

using standin::Expect;
using standin::Panel;
using standin::ShownBox;

namespace {

using Names = std::vector<std::string>;

class RealHostTest : public HostTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Load());
        AddEntry("", "top.txt", FILE_ATTRIBUTE_ARCHIVE, 1);
        Folder("", "sub");
        AddEntry("sub", "inner.txt", FILE_ATTRIBUTE_ARCHIVE, 5);
        Folder("sub", "deeper");
        AddEntry("sub\\deeper", "bottom.txt", FILE_ATTRIBUTE_ARCHIVE, 7);
    }
    void Run(int action) {
        state->takeKey = VK_F7;
        state->takeState = 0;
        state->keyAction = action;
        host->PressKey(VK_F7);
    }
    int PreparingBoxes() {
        int found = 0;
        for (const ShownBox &box : front.BoxesOf(ShownBox::ProgressBox))
            if (box.HasText("Preparing the list")) ++found;
        return found;
    }
};

// The host walks the plugin with OPM_FIND under its own box, names prefixed by the folder, and
// leaves the plugin where it was.
TEST_F(RealHostTest, DirListWalksThePluginFolders) {
    Panel &panel = Open();
    std::snprintf(state->dirListDir, sizeof state->dirListDir, "sub");
    state->findModes[0] = state->setDirectoryCalls[0] = 0;
    Run(ActionOtherDirList);
    EXPECT_EQ(state->dirListResult, 1);
    EXPECT_STREQ(state->dirListNames, "sub\\inner.txt|sub\\deeper|sub\\deeper\\bottom.txt");
    EXPECT_STREQ(state->setDirectoryCalls, "sub=1|deeper=1|..=1|..=1");
    EXPECT_STREQ(state->findModes, "2|2|2"); // sub, deeper, and once more after leaving
    EXPECT_EQ(panel.CurDir(), "");
    EXPECT_EQ(PreparingBoxes(), 1);
    EXPECT_EQ(front.ProgressBoxesOnScreen(), 0);
    EXPECT_EQ(host->OpenDirLists(), 0);
    EXPECT_EQ(state->outstandingArrays, 0);
    // "." and ".." are refused at once; a folder the plugin refuses gives no items.
    for (const char *dir : {".", ".."}) {
        std::snprintf(state->dirListDir, sizeof state->dirListDir, "%s", dir);
        Run(ActionOtherDirList);
        EXPECT_EQ(state->dirListResult, 0) << dir;
    }
    std::snprintf(state->dirListDir, sizeof state->dirListDir, "nowhere");
    Run(ActionOtherDirList);
    EXPECT_EQ(state->dirListResult, 1);
    EXPECT_EQ(state->dirListCount, 0);
    EXPECT_EQ(PreparingBoxes(), 2);
}

// A plugin that asks for its own list while it lists flashes the box on every listing.
TEST_F(RealHostTest, DirListFromGetFindDataDrawsTheBoxEachTime) {
    state->dirListInFindData = 1;
    Open();
    host->PressKey('R', PKF_CONTROL);
    EXPECT_EQ(host->DirListWalks(), 2);
    EXPECT_EQ(PreparingBoxes(), 2);
}

TEST_F(RealHostTest, FailedListingClosesThePanel) {
    work.MakeDir("files");
    Panel &panel = Open();
    state->failFindData = 1;
    host->PressKey('R', PKF_CONTROL);
    EXPECT_FALSE(panel.IsPlugin());
    EXPECT_EQ(state->closeCalls, 1);
    EXPECT_EQ(state->closeEvents, 1);
}

TEST_F(RealHostTest, CloseEventMayKeepThePanel) {
    Open();
    state->keepOnClose = 1;
    EXPECT_FALSE(host->ClosePanel());
    EXPECT_TRUE(host->Left().IsPlugin());
    EXPECT_EQ(state->closeEvents, 1);
    state->keepOnClose = 0;
    EXPECT_TRUE(host->ClosePanel());
    EXPECT_EQ(state->closeCalls, 1);
}

// FCTL_SETPANELDIR on the plugin's own panel closes it inside the call; the plugin's
// ClosePlugin sending the directory again makes the host close it a second time.
TEST_F(RealHostTest, SetPanelDirClosesThePanelAtOnce) {
    work.MakeDir("back");
    std::snprintf(state->closeDirectory, sizeof state->closeDirectory, "%s",
                  work.Win("back").c_str());
    Open();
    Run(ActionSetDir);
    EXPECT_FALSE(host->Left().IsPlugin());
    EXPECT_EQ(host->Left().Directory(), work.Win("back"));
    EXPECT_EQ(state->closeCalls, 1);
    EXPECT_EQ(state->reenteredCloses, 1);
    EXPECT_EQ(host->ReenteredCloses(), 1);
    EXPECT_EQ(state->closeEvents, 2);
}

TEST_F(RealHostTest, LongMessageLinesAreCutAtTheScreenWidthLessFifteen) {
    const PluginStartupInfo &info = host->StartupInfo();
    std::string longLine(100, 'x');
    const char *items[] = {"Title", longLine.c_str(),
                           "\x01 separator that is long enough to pass "
                           "the width of the screen less fifteen",
                           "Ok"};
    front.Expect(Expect::Message("Title").Press(0));
    EXPECT_EQ(info.Message(info.ModuleNumber, 0, nullptr, items, 4, 1), 0);
    ASSERT_EQ(front.BoxesOf(ShownBox::MessageBox).size(), 1u);
    const ShownBox box = front.BoxesOf(ShownBox::MessageBox)[0];
    EXPECT_EQ(box.texts[0], std::string(65, 'x'));
    EXPECT_GT(box.texts[1].size(), 65u);
    // A box without buttons answers 0 at once.
    EXPECT_EQ(info.Message(info.ModuleNumber, 0, nullptr, items, 2, 0), 0);
    EXPECT_EQ(front.Verify(), "");
}

} // namespace
