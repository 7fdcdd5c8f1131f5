// The plugin panel: listing, "..", sorting, selection, the current item, folders, and what
// the host tells the plugin about its panels.
#include "host_test_support.h"

#include <chrono>
#include <functional>
#include <thread>

using standin::Panel;

namespace {

class PanelTest : public HostTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Load());
        // Not in name order on purpose.
        AddEntry("", "delta.txt", FILE_ATTRIBUTE_ARCHIVE, 40, "d", "4", 400);
        AddEntry("", "Alpha.txt", FILE_ATTRIBUTE_ARCHIVE, 30, "a", "1", 100);
        Folder("", "sub");
        AddEntry("", "charlie.log", FILE_ATTRIBUTE_ARCHIVE, 10, "c", "3", 300);
        AddEntry("", "bravo.txt", FILE_ATTRIBUTE_ARCHIVE, 20, "b", "2", 200);
        AddEntry("sub", "inner.txt", FILE_ATTRIBUTE_ARCHIVE, 5);
        Folder("sub", "deeper");
    }
    void TakeKey(int action) {
        state->takeKey = VK_F7;
        state->takeState = 0;
        state->keyAction = action;
    }
};

using Names = std::vector<std::string>;

TEST_F(PanelTest, OpeningListsSortedWithDotsAndFoldersFirst) {
    Panel &panel = Open();
    EXPECT_TRUE(panel.IsPlugin());
    EXPECT_EQ(panel.Names(),
              (Names{"..", "sub", "Alpha.txt", "bravo.txt", "charlie.log", "delta.txt"}));
    EXPECT_TRUE(panel.Item(0).isDots);
    EXPECT_EQ(panel.CurrentIndex(), 0);
    EXPECT_EQ(panel.UpdateCount(), 1);
    EXPECT_GE(panel.RedrawCount(), 1);
    standin::ShownItem alpha = panel.Item(2);
    EXPECT_EQ(alpha.size, 30u);
    EXPECT_EQ(alpha.columns, (Names{"a", "1"}));
    EXPECT_EQ(panel.Title(), " Test: ");
    EXPECT_EQ(panel.CurDir(), "");
    // What the plugin said about its panel, copied.
    EXPECT_EQ(panel.ViewMode(), 3); // StartPanelMode '3'
    EXPECT_EQ(panel.ViewColumnTypes(), "N,S,C0,C1");
    EXPECT_EQ(panel.ViewColumnWidths(), "0,8,2,2");
    const standin::OpenPluginInfoCopy &info = panel.Info();
    ASSERT_EQ(info.panelModes.size(), 10u);
    EXPECT_FALSE(info.panelModes[0].hasColumnTypes);
    EXPECT_EQ(info.panelModes[3].columnTitles.size(), 4u);
    EXPECT_EQ(info.panelModes[3].columnTitles[2], std::optional<std::string>("A"));
    EXPECT_EQ(info.keyBar[standin::KeyBarPlain][6], std::optional<std::string>("Poll"));
    EXPECT_EQ(info.keyBar[standin::KeyBarShift][3], std::optional<std::string>(""));
    EXPECT_EQ(info.keyBar[standin::KeyBarPlain][5], std::nullopt);
    panel.SetViewMode(2); // a mode the plugin leaves to the host
    EXPECT_EQ(panel.ViewColumnTypes(), "N,N");
}

TEST_F(PanelTest, NoDotsWithoutTheFlag) {
    state->openFlags = 0;
    Panel &panel = Open();
    EXPECT_EQ(panel.Names().front(), "sub");
    EXPECT_FALSE(panel.IsDotsItem(0));
}

struct SortCase {
    const char *name;
    int mode;
    bool reversed;
    bool pluginReverses;
    Names expected;
};

class SortTest : public PanelTest, public ::testing::WithParamInterface<SortCase> {};

TEST_P(SortTest, Orders) {
    const SortCase &c = GetParam();
    state->compareReversesNames = c.pluginReverses;
    Panel &panel = Open();
    panel.SetSort(c.mode, c.reversed);
    EXPECT_EQ(panel.Names(), c.expected);
    if (c.mode != SM_UNSORTED) {
        EXPECT_GT(state->compareCalls, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SortTest,
    ::testing::Values(
        SortCase{"NameByHost",
                 SM_NAME,
                 false,
                 false,
                 {"..", "sub", "Alpha.txt", "bravo.txt", "charlie.log", "delta.txt"}},
        SortCase{"NameReversed",
                 SM_NAME,
                 true,
                 false,
                 {"..", "sub", "delta.txt", "charlie.log", "bravo.txt", "Alpha.txt"}},
        // The plugin's Compare decides where it answers (byte order backwards: 'A' last).
        SortCase{"NameByPlugin",
                 SM_NAME,
                 false,
                 true,
                 {"..", "sub", "delta.txt", "charlie.log", "bravo.txt", "Alpha.txt"}},
        SortCase{"NameByPluginReversed",
                 SM_NAME,
                 true,
                 true,
                 {"..", "sub", "Alpha.txt", "bravo.txt", "charlie.log", "delta.txt"}},
        // -2 from the plugin: the host's rule for the mode; sizes and times largest and
        // newest first, as the real host sorts them.
        SortCase{"SizeByHost",
                 SM_SIZE,
                 false,
                 true,
                 {"..", "sub", "delta.txt", "Alpha.txt", "bravo.txt", "charlie.log"}},
        SortCase{"SizeByHostReversed",
                 SM_SIZE,
                 true,
                 true,
                 {"..", "sub", "charlie.log", "bravo.txt", "Alpha.txt", "delta.txt"}},
        SortCase{"ExtensionByHost",
                 SM_EXT,
                 false,
                 true,
                 {"..", "sub", "charlie.log", "Alpha.txt", "bravo.txt", "delta.txt"}},
        // Times and sizes: newest and largest first; reversed, oldest first.
        SortCase{"TimeByHost",
                 SM_MTIME,
                 false,
                 false,
                 {"..", "sub", "delta.txt", "charlie.log", "bravo.txt", "Alpha.txt"}},
        SortCase{"TimeByHostReversed",
                 SM_MTIME,
                 true,
                 false,
                 {"..", "sub", "Alpha.txt", "bravo.txt", "charlie.log", "delta.txt"}},
        SortCase{"Unsorted",
                 SM_UNSORTED,
                 false,
                 true,
                 {"..", "delta.txt", "Alpha.txt", "sub", "charlie.log", "bravo.txt"}}),
    [](const ::testing::TestParamInfo<SortCase> &info) { return info.param.name; });

// A plugin may list full paths: the host's rules read only the name after the last '\\' or
// '/', its extension included.
TEST_F(PanelTest, HostRulesSortByTheNamePartOfAPath) {
    state->entryCount = 0;
    AddEntry("", "a\\zulu.txt", FILE_ATTRIBUTE_ARCHIVE);
    AddEntry("", "z\\alpha.zip", FILE_ATTRIBUTE_ARCHIVE);
    AddEntry("", "m.dir/mike", FILE_ATTRIBUTE_ARCHIVE);
    Panel &panel = Open();
    panel.SetSort(SM_EXT);
    EXPECT_EQ(panel.Names(), (Names{"..", "m.dir/mike", "a\\zulu.txt", "z\\alpha.zip"}));
    panel.SetSort(SM_SIZE); // equal sizes: by name
    EXPECT_EQ(panel.Names(), (Names{"..", "z\\alpha.zip", "m.dir/mike", "a\\zulu.txt"}));
}

// The real host follows its file panels: a sent file that the mailer deletes, a file that comes
// in, a file that grows show within a few idle rounds, the selection and the cursor kept.
TEST_F(PanelTest, FilePanelFollowsItsFolder) {
    for (const char *name : {"keep.txt", "other.txt", "sent.lzh"})
        work.Write(std::string("files/") + name, "1");
    work.Write("sub/inside.txt", "2");
    Panel &right = host->Right();
    ASSERT_FALSE(right.IsPlugin());
    ASSERT_TRUE(right.ChangeDirectory(work.Win("files")));
    right.Select("keep.txt");
    right.SetCurrentByName("other.txt");
    auto idleUntil = [&](const std::function<bool()> &done) {
        for (int round = 0; round < 100 && !done(); ++round) {
            host->Idle();
            if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    };
    int updates = right.UpdateCount();
    host->Idle(3);
    EXPECT_EQ(right.UpdateCount(), updates) << "nothing changed, nothing listed again";
    std::filesystem::remove(work.Native("files/sent.lzh"));
    EXPECT_TRUE(idleUntil([&] { return right.IndexOf("sent.lzh") < 0; }));
    EXPECT_EQ(right.SelectedNames(), Names{"keep.txt"});
    EXPECT_EQ(right.CurrentName(), "other.txt");
    work.Write("files/arrived.pkt", "3");
    EXPECT_TRUE(idleUntil([&] { return right.IndexOf("arrived.pkt") >= 0; }));
    work.Write("files/keep.txt", "longer");
    EXPECT_TRUE(idleUntil([&] { return right.Item(right.IndexOf("keep.txt")).size == 6; }));
    // Another folder is followed instead of the first.
    ASSERT_TRUE(right.ChangeDirectory(work.Win("sub")));
    work.Write("sub/second.txt", "4");
    EXPECT_TRUE(idleUntil([&] { return right.IndexOf("second.txt") >= 0; }));
    host->Idle(3);
    updates = right.UpdateCount();
    work.Write("files/elsewhere.txt", "5");
    host->Idle(3);
    EXPECT_EQ(right.UpdateCount(), updates) << "the folder left is no longer followed";
}

// The selection is the host's: kept by exact name over Ctrl+R and FCTL_UPDATEPANEL with a
// non-NULL parameter, dropped by FCTL_UPDATEPANEL with NULL.
TEST_F(PanelTest, SelectionKeptOrDroppedAsTheRealHostDoes) {
    struct Case {
        const char *how;
        int action; // -1: Ctrl+R
        Names kept;
    };
    for (const Case &c : {Case{"Ctrl+R", -1, {"bravo.txt", "delta.txt"}},
                          Case{"update, non-NULL", ActionUpdateKeep, {"bravo.txt", "delta.txt"}},
                          Case{"update, NULL", ActionUpdate, {}}}) {
        SCOPED_TRACE(c.how);
        Panel &panel = Open();
        EXPECT_FALSE(panel.Select("..")); // never selected
        EXPECT_TRUE(panel.Select("bravo.txt"));
        panel.SetCurrentByName("delta.txt");
        EXPECT_FALSE(host->PressKey(VK_INSERT)); // the plugin does not take it; the host selects
        EXPECT_EQ(panel.SelectedNames(), (Names{"bravo.txt", "delta.txt"}));
        if (c.action < 0) {
            EXPECT_FALSE(host->PressKey('R', PKF_CONTROL));
        } else {
            TakeKey(c.action);
            EXPECT_TRUE(host->PressKey(VK_F7));
        }
        EXPECT_EQ(panel.SelectedNames(), c.kept);
        EXPECT_EQ(panel.UpdateCount(), 2);
        // The plugin was never asked for a list of its own panel.
        EXPECT_EQ(host->DirListWalks(), 0);
        host->ClosePanel();
        state->takeKey = 0;
    }
}

// PPIF_SELECTED from GetFindData selects nothing, but comes back in the items' Flags.
TEST_F(PanelTest, ThePluginsSelectedFlagSelectsNothing) {
    std::snprintf(state->flaggedName, sizeof state->flaggedName, "charlie.log");
    Panel &panel = Open();
    EXPECT_TRUE(panel.SelectedNames().empty());
    panel.SetCurrentByName("bravo.txt");
    TakeKey(ActionPanelInfo);
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(state->panelFlaggedNumber, 1);
    // Nothing selected: the current item stands for the selection.
    EXPECT_STREQ(state->panelSelected, "bravo.txt");
    EXPECT_EQ(state->panelSelectedNumber, 1);
    // ...unless it is "..".
    panel.SetCurrent(0);
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(state->panelSelectedNumber, 0);
}

TEST_F(PanelTest, ThePluginsArrayGoesBackAtOnce) {
    Panel &panel = Open();
    EXPECT_EQ(state->outstandingArrays, 0);
    EXPECT_TRUE(panel.Update());
    EXPECT_EQ(state->findDataCalls, 2);
    EXPECT_EQ(state->freeFindDataCalls, 2);
    EXPECT_EQ(state->outstandingArrays, 0);
    // The copies stay: names and custom columns.
    EXPECT_EQ(panel.Item(panel.IndexOf("Alpha.txt")).columns, (Names{"a", "1"}));
    host->ClosePanel();
    EXPECT_EQ(state->closeCalls, 1);
    EXPECT_EQ(state->closeEvents, 1); // FE_CLOSE first
    EXPECT_FALSE(host->Left().IsPlugin());
}

TEST_F(PanelTest, CurrentItemKeptByNameAcrossUpdates) {
    Panel &panel = Open();
    panel.SetCurrentByName("charlie.log");
    AddEntry("", "aardvark.txt", FILE_ATTRIBUTE_ARCHIVE); // sorts before it
    panel.Update();
    EXPECT_EQ(panel.CurrentName(), "charlie.log");
    // When the current item goes away the cursor stays where it was.
    int index = panel.CurrentIndex();
    std::snprintf(state->entries[3].name, sizeof state->entries[3].name, "zulu.log");
    panel.Update();
    EXPECT_EQ(panel.CurrentIndex(), index);
    EXPECT_EQ(panel.CurrentName(), "delta.txt");
}

TEST_F(PanelTest, EnteringFoldersAndComingBack) {
    Panel &panel = Open();
    panel.SetCurrentByName("sub");
    EXPECT_TRUE(panel.Enter());
    EXPECT_EQ(panel.CurDir(), "sub");
    EXPECT_EQ(panel.Names(), (Names{"..", "deeper", "inner.txt"}));
    EXPECT_EQ(panel.CurrentIndex(), 0);
    EXPECT_EQ(panel.Title(), " Test:sub ");
    // Enter on ".." comes back with the cursor on the folder.
    panel.SetCurrent(0);
    EXPECT_FALSE(host->PressKey(VK_RETURN));
    EXPECT_EQ(panel.CurDir(), "");
    EXPECT_EQ(panel.CurrentName(), "sub");
    EXPECT_STREQ(state->setDirectoryCalls, "sub=1|..=1");
    // A file is not entered.
    panel.SetCurrentByName("bravo.txt");
    EXPECT_FALSE(panel.Enter());
    // ".." where the plugin's CurDir is empty closes the plugin panel (FE_CLOSE first).
    panel.SetCurrent(0);
    EXPECT_TRUE(host->Left().Enter());
    EXPECT_STREQ(state->setDirectoryCalls, "sub=1|..=1");
    EXPECT_EQ(state->closeEvents, 1);
    EXPECT_EQ(state->closeCalls, 1);
    EXPECT_FALSE(host->Left().IsPlugin());
}

TEST_F(PanelTest, RefusedFolderLeavesThePanel) {
    std::snprintf(state->refuseDirectory, sizeof state->refuseDirectory, "sub");
    Panel &panel = Open();
    panel.SetCurrentByName("sub");
    Names before = panel.Names();
    panel.Select("bravo.txt");
    EXPECT_FALSE(panel.Enter());
    EXPECT_EQ(panel.Names(), before);
    EXPECT_EQ(panel.CurrentName(), "sub");
    // Listed again all the same, the selection cleared first.
    EXPECT_EQ(panel.UpdateCount(), 2);
    EXPECT_TRUE(panel.SelectedNames().empty());
}

TEST_F(PanelTest, PanelInfoForBothPanels) {
    folder.dir.Write("other/one.txt", "1");
    folder.dir.MakeDir("other/folder");
    host->Right().ChangeDirectory(folder.dir.Win("other"));
    Panel &panel = Open();
    panel.SetCurrentByName("charlie.log");
    panel.Select("Alpha.txt");
    panel.Select("delta.txt");
    TakeKey(ActionPanelInfo);
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(state->panelPlugin, 1);
    EXPECT_STREQ(state->panelNames, "..|sub|Alpha.txt|bravo.txt|charlie.log|delta.txt");
    EXPECT_EQ(state->panelItemsNumber, 6);
    EXPECT_EQ(state->panelCurrent, 4);
    EXPECT_STREQ(state->panelColumns, "c|3");
    EXPECT_STREQ(state->panelSelected, "Alpha.txt|delta.txt");
    EXPECT_EQ(state->panelSelectedNumber, 2);
    EXPECT_STREQ(state->panelCurDir, "");
    EXPECT_EQ(state->otherPlugin, 0);
    EXPECT_EQ(std::string(state->otherCurDir), folder.dir.Win("other"));
    EXPECT_STREQ(state->otherNames, "..|folder|one.txt");
}

TEST_F(PanelTest, OtherPanelUpdatedAndRedrawn) {
    Open();
    Panel &files = host->Right();
    int updates = files.UpdateCount(), redraws = files.RedrawCount();
    work.Write("appeared.txt", "");
    TakeKey(ActionOtherPanel);
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(files.UpdateCount(), updates + 1);
    EXPECT_EQ(files.RedrawCount(), redraws + 1);
    EXPECT_GE(files.IndexOf("appeared.txt"), 0);
}

TEST_F(PanelTest, DirListOfAnotherFolderIsEmpty) {
    Open();
    TakeKey(ActionOtherDirList);
    host->PressKey(VK_F7);
    EXPECT_EQ(state->dirListResult, 1);
    EXPECT_EQ(state->dirListCount, 0);
    EXPECT_EQ(host->OpenDirLists(), 0);
}

TEST_F(PanelTest, KeysGoToThePluginFirst) {
    Panel &panel = Open();
    TakeKey(ActionNone);
    panel.SetCurrentByName("sub");
    state->takeKey = VK_RETURN; // the plugin takes Enter: the host does not enter the folder
    EXPECT_TRUE(host->PressKey(VK_RETURN));
    EXPECT_EQ(panel.CurDir(), "");
    EXPECT_FALSE(host->PressKey(VK_RETURN, PKF_SHIFT)); // not taken with Shift
    EXPECT_EQ(state->keyCalls, 4); // each key first with PKF_PREPROCESS, which it declines
    // Ctrl+digit is the panel's own: the plugin hears only FE_CHANGEVIEWMODE.
    EXPECT_TRUE(host->PressKey('3', PKF_CONTROL));
    EXPECT_EQ(state->keyCalls, 4);
    EXPECT_EQ(state->viewModeEvents, 1);
    EXPECT_EQ(panel.ViewMode(), 3);
    EXPECT_FALSE(host->PressKey(VK_DOWN));
    EXPECT_EQ(panel.CurrentName(), "Alpha.txt");
    int updates = panel.UpdateCount();
    EXPECT_FALSE(host->PressKey('R', PKF_CONTROL)); // Ctrl+R lists again
    EXPECT_EQ(panel.UpdateCount(), updates + 1);
}

// Idle rounds come a second apart; a panel listed in the last 2 s gets no event.
TEST_F(PanelTest, IdleEventsOnlyTwoSecondsAfterAListing) {
    Panel &panel = Open();
    host->Idle(3);
    EXPECT_EQ(state->idleEvents, 1); // at 3 s
    host->Idle(2);
    EXPECT_EQ(state->idleEvents, 3);
    EXPECT_EQ(panel.UpdateCount(), 1);
    state->idleUpdates = 1;
    int redraws = panel.RedrawCount();
    host->Idle();
    EXPECT_EQ(state->idleEvents, 4);
    EXPECT_EQ(panel.UpdateCount(), 2);
    EXPECT_EQ(panel.RedrawCount(), redraws + 1);
    host->Idle(2); // the listing it asked for holds the next events back
    EXPECT_EQ(state->idleEvents, 4);
    host->Idle();
    EXPECT_EQ(state->idleEvents, 5);
    EXPECT_EQ(host->EventHolds().size(), 5u);
}

TEST_F(PanelTest, ClosingShowsTheDirectoryThePluginSet) {
    work.MakeDir("back");
    state->closeDirectory[0] = 0;
    std::snprintf(state->closeDirectory, sizeof state->closeDirectory, "%s",
                  work.Win("back").c_str());
    Open();
    host->ClosePanel();
    EXPECT_FALSE(host->Left().IsPlugin());
    EXPECT_EQ(host->Left().Directory(), work.Win("back"));
    EXPECT_EQ(host->Left().CurDir(), work.Win("back"));
}

TEST_F(PanelTest, CloseAskedByThePluginWaitsForItsCallToReturn) {
    work.MakeDir("after");
    Open();
    TakeKey(ActionClose);
    std::snprintf(state->closeDirectory, sizeof state->closeDirectory, "%s",
                  work.Win("after").c_str());
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(state->closeCalls, 1);
    EXPECT_EQ(state->outstandingArrays, 0);
    EXPECT_FALSE(host->Left().IsPlugin());
    EXPECT_EQ(host->Left().Directory(), work.Win("after"));
}

TEST_F(PanelTest, TwoPanelsEachWithItsOwnInstance) {
    Panel &left = Open();
    host->SetActive(standin::Side::Right);
    ASSERT_TRUE(host->OpenPanel());
    Panel &right = host->Right();
    EXPECT_NE(left.Handle(), right.Handle());
    EXPECT_EQ(state->openCalls, 2);
    right.SetCurrentByName("sub");
    right.Enter();
    EXPECT_EQ(right.CurDir(), "sub");
    EXPECT_EQ(left.CurDir(), "");
    host->ClosePanelOn(standin::Side::Left);
    EXPECT_TRUE(right.IsPlugin());
    EXPECT_EQ(host->PluginPanel(), &right);
}

TEST_F(PanelTest, FailedOpeningOpensNothing) {
    state->failOpen = 1;
    EXPECT_FALSE(host->OpenPanel());
    EXPECT_FALSE(host->Left().IsPlugin());
    EXPECT_EQ(state->findDataCalls, 0);
}

TEST_F(PanelTest, ContractViolationsAreRecorded) {
    Open();
    TakeKey(ActionBadCalls);
    front.Expect(standin::Expect::Message("Error").Contains("has no text for message 999."));
    host->PressKey(VK_F7);
    std::vector<std::string> failures = host->Failures();
    host->ClearFailures();
    ASSERT_EQ(failures.size(), 5u);
    EXPECT_NE(failures[0].find("message 999"), std::string::npos) << failures[0];
    EXPECT_NE(failures[1].find("plugin number 2"), std::string::npos) << failures[1];
    EXPECT_NE(failures[2].find("FreeDirList"), std::string::npos) << failures[2];
    EXPECT_NE(failures[3].find("no open plugin panel"), std::string::npos) << failures[3];
    EXPECT_NE(failures[4].find("RestoreScreen"), std::string::npos) << failures[4];
    EXPECT_EQ(host->OpenScreens(), 0);
}

} // namespace
