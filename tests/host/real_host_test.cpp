// What the real host does that a plugin meets: GetPluginDirList walking the plugin, a failed
// listing, FE_CLOSE, FCTL_SETPANELDIR closing the panel at once, cut message lines.
#include "host_test_support.h"

#include <algorithm>
#include <cstring>
#include <functional>

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

// 66 columns in a box with buttons, 64 without; at most 22 items on a 24-row screen.
TEST_F(RealHostTest, LongMessageLinesAreCutAtTheBoxWidth) {
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
    EXPECT_EQ(box.texts[0], std::string(66, 'x'));
    EXPECT_GT(box.texts[1].size(), 66u);
    // A box without buttons answers 0 at once.
    EXPECT_EQ(info.Message(info.ModuleNumber, 0, nullptr, items, 2, 0), 0);
    EXPECT_EQ(front.BoxesOf(ShownBox::ProgressBox).back().texts[0], std::string(64, 'x'));
    EXPECT_EQ(front.Verify(), "");
    std::vector<const char *> many(23, "line");
    EXPECT_EQ(info.Message(info.ModuleNumber, 0, nullptr, many.data(), 23, 0), 0);
    ASSERT_EQ(host->Failures().size(), 1u);
    host->ClearFailures();
}

// The dialog's answer as the plugin gets it back: fields capped, Enter on a field closing with
// the default button, radio groups split by any other item, the cursor moving only the focus
// (the selection along only in the second group, a list with DIF_MOVESELECT), every item
// written back, Focus too.
struct DialogKindsCase {
    const char *name;
    std::function<void(Expect &)> answer;
    int result;
    const char *fixed, *field;
    int a, b, c, d; // the radio buttons' Selected
    int focus;      // the item whose Focus comes back set
};

class DialogKindsTest : public RealHostTest,
                        public ::testing::WithParamInterface<DialogKindsCase> {};

TEST_P(DialogKindsTest, AnswerWrittenBack) {
    const DialogKindsCase &c = GetParam();
    Open();
    Expect answer = Expect::Dialog("Kinds");
    c.answer(answer);
    front.Expect(answer);
    Run(ActionDialogKinds);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(state->dialogResult, c.result);
    const FarDialogItem *items = state->dialogItems;
    EXPECT_STREQ(items[1].Data, c.fixed);
    EXPECT_STREQ(items[2].Data, c.field);
    EXPECT_EQ((std::vector<int>{items[3].Selected, items[4].Selected, items[6].Selected,
                                items[7].Selected}),
              (std::vector<int>{c.a, c.b, c.c, c.d}));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(items[i].Y1, i ? i + 1 : 0);
        EXPECT_EQ(items[i].Focus, i == c.focus ? 1 : 0) << i;
    }
}

static void FillFields(FarDialogItem *items, int) {
    // A front end that takes any length: the host still hands back what its fields hold.
    std::memset(items[1].Data, '7', sizeof items[1].Data);
    std::memset(items[2].Data, 'x', sizeof items[2].Data);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DialogKindsTest,
    ::testing::Values(
        DialogKindsCase{"SecondGroupOnly", [](Expect &e) { e.Radio(7).Press(8); }, 8, "12345", "",
                        1, 0, 0, 1, 8},
        DialogKindsCase{"FirstGroupOnly", [](Expect &e) { e.Radio(4).Press(9); }, 9, "12345", "", 0,
                        1, 1, 0, 9},
        DialogKindsCase{"EnterOnAField", [](Expect &e) { e.Edit(2, "typed").EnterOn(2); }, 8,
                        "12345", "typed", 1, 0, 1, 0, 2},
        DialogKindsCase{"EnterOnARadio", [](Expect &e) { e.Radio(6).EnterOn(6); }, 8, "12345", "",
                        1, 0, 1, 0, 6},
        DialogKindsCase{"CursorMovesOnlyTheFocus", [](Expect &e) { e.Cursor(4).Default(); }, 8,
                        "12345", "", 1, 0, 1, 0, 4},
        DialogKindsCase{"CursorTakesTheListSelection", [](Expect &e) { e.Cursor(7).Default(); }, 8,
                        "12345", "", 1, 0, 0, 1, 7},
        DialogKindsCase{"EscapeKeepsTheInput", [](Expect &e) { e.Edit(2, "kept").Radio(4).Esc(); },
                        -1, "12345", "kept", 0, 1, 1, 0, 1}),
    [](const ::testing::TestParamInfo<DialogKindsCase> &info) { return info.param.name; });

TEST_F(RealHostTest, FieldsHoldWhatTheirLineEditorsHold) {
    Open();
    front.Expect(Expect::Dialog("Kinds").Then(FillFields).Press(8));
    Run(ActionDialogKinds);
    EXPECT_STREQ(state->dialogItems[1].Data, "77777"); // the fixed field's width
    EXPECT_EQ(std::string(state->dialogItems[2].Data), std::string(511, 'x'));
}

// The modal editor's four answers reach the plugin as they are; anything else is the front
// end's fault and reads as "could not open".
TEST_F(RealHostTest, EditorAnswersReachThePlugin) {
    Open();
    std::snprintf(state->editorFile, sizeof state->editorFile, "%s", work.Win("note.req").c_str());
    state->takeKey = VK_F7;
    state->keyAction = ActionEditor;
    for (int answer : {0, 1, 2, 3}) {
        front.ExpectEditor(nullptr, answer);
        host->PressKey(VK_F7);
        EXPECT_EQ(state->editorResult, answer);
    }
    EXPECT_TRUE(host->Failures().empty());
    front.ExpectEditor(nullptr, 4);
    host->PressKey(VK_F7);
    EXPECT_EQ(state->editorResult, 0);
    EXPECT_EQ(host->Failures().size(), 1u);
    host->ClearFailures();
}

// Hidden and system items only while the user shows them; the panel's filter only where the
// plugin asks for it, and with no filter set nothing is dropped.
struct ShownCase {
    const char *name;
    bool showHidden, useFilter, filterSet;
    Names shown;
};

class ShownItemsTest : public HostTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(ShownItemsTest, Listing) {
    const ShownCase &c = GetParam();
    standin::HostOptions options = Options();
    options.showHidden = c.showHidden;
    ASSERT_NO_FATAL_FAILURE(Load(options));
    AddEntry("", "plain.txt", FILE_ATTRIBUTE_ARCHIVE);
    AddEntry("", "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    AddEntry("", "system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    AddEntry("", "other.zip", FILE_ATTRIBUTE_ARCHIVE);
    state->openFlags = OPIF_ADDDOTS | (c.useFilter ? OPIF_USEFILTER : 0);
    if (c.filterSet)
        host->SetPanelFilter([](const FAR_FIND_DATA &data) {
            return std::strstr(data.cFileName, ".txt") != nullptr;
        });
    Panel &panel = Open();
    Names names = panel.Names();
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ(names, c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShownItemsTest,
    ::testing::Values(
        ShownCase{"HiddenOff", false, false, false, {"..", "other.zip", "plain.txt"}},
        ShownCase{"HiddenOn",
                  true,
                  false,
                  false,
                  {"..", "hidden.txt", "other.zip", "plain.txt", "system.txt"}},
        ShownCase{"FilterWithoutTheFlag", false, false, true, {"..", "other.zip", "plain.txt"}},
        ShownCase{"FlagWithoutAFilter", false, true, false, {"..", "other.zip", "plain.txt"}},
        ShownCase{"FlagAndFilter", false, true, true, {"..", "plain.txt"}},
        ShownCase{
            "FilterAndHidden", true, true, true, {"..", "hidden.txt", "plain.txt", "system.txt"}}),
    [](const ::testing::TestParamInfo<ShownCase> &info) { return info.param.name; });

// FMSG_ERRORTYPE puts the system's text for the last error above the lines; separators pass
// whole; a box with no buttons answers 0 at once.
TEST_F(RealHostTest, ErrorTypeMessagesAndSeparators) {
    Open();
    state->takeKey = VK_F7;
    state->keyAction = ActionMessageFlags;
    char expected[512];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       ERROR_FILE_NOT_FOUND, 0, expected, sizeof expected, nullptr);
    ASSERT_GT(length, 0u);
    std::string reason(expected, length);
    while (!reason.empty() && std::strchr("\r\n ", reason.back())) reason.pop_back();
    std::snprintf(state->messageLines, sizeof state->messageLines, "%s",
                  "Cannot open|\x01|Z:\\x.flo");
    state->messageButtons = 1;
    state->messageError = ERROR_FILE_NOT_FOUND;
    state->messageFlags = FMSG_WARNING | standin::kMessageErrorType;
    front.Expect(Expect::Message("Flags").Press(0));
    // On Linux each module keeps its own compat layer, and so its own last error: set the
    // host's too.
    SetLastError(ERROR_FILE_NOT_FOUND);
    host->PressKey(VK_F7);
    state->messageFlags = FMSG_WARNING;
    std::snprintf(state->messageLines, sizeof state->messageLines, "%s", "Plain|\x02");
    front.Expect(Expect::Message("Flags").Press(0));
    host->PressKey(VK_F7);
    std::vector<ShownBox> boxes = front.BoxesOf(ShownBox::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].texts, (Names{reason, "Cannot open", "\x01", "Z:\\x.flo"}));
    EXPECT_EQ(boxes[1].texts, (Names{"Plain", "\x02"}));
    // No buttons: 0 at once, the box left on the screen.
    state->messageButtons = 0;
    state->messageResult = -5;
    host->PressKey(VK_F7);
    EXPECT_EQ(state->messageResult, 0);
    EXPECT_EQ(front.BoxesOf(ShownBox::ProgressBox).size(), 1u);
    EXPECT_EQ(front.Verify(), "");
}

// A folder that is gone: the panel closes all the same, shows the folder it showed before, and
// the host's error box comes after the close.
TEST_F(RealHostTest, SetPanelDirToAGoneFolderShowsTheErrorAfterTheClose) {
    std::string gone = work.Win("gone");
    std::snprintf(state->closeDirectory, sizeof state->closeDirectory, "%s", gone.c_str());
    std::string before = host->Left().Directory();
    Open();
    int closesAtTheBox = -1;
    front.Expect(
        Expect::Message("Error").Warning().Contains(gone).Press(0).Check([&](const ShownBox &) {
            closesAtTheBox = state->closeCalls;
            return std::string();
        }));
    Run(ActionSetDir);
    EXPECT_FALSE(host->Left().IsPlugin());
    EXPECT_EQ(host->Left().Directory(), before);
    EXPECT_EQ(closesAtTheBox, 1);
    EXPECT_EQ(front.Verify(), "");
}

// F8 on a panel whose items are real names: the host asks its own question and deletes the
// files themselves (relative names from the current directory, the panel's), never the plugin.
struct RealDeleteCase {
    const char *name;
    DWORD flags;
    bool asked, confirm, selectBoth;
    bool firstGone, secondGone;
};

class RealDeleteTest : public RealHostTest, public ::testing::WithParamInterface<RealDeleteCase> {};

TEST_P(RealDeleteTest, F8) {
    const RealDeleteCase &c = GetParam();
    work.Write("real1.txt", "1");
    work.Write("real2.txt", "2");
    AddEntry("", "real1.txt", FILE_ATTRIBUTE_ARCHIVE, 1);
    AddEntry("", "real2.txt", FILE_ATTRIBUTE_ARCHIVE, 1);
    state->openFlags = OPIF_ADDDOTS | c.flags;
    Panel &panel = Open();
    ASSERT_TRUE(panel.SetCurrentByName("real1.txt"));
    if (c.selectBoth) {
        panel.Select("real1.txt");
        panel.Select("real2.txt");
    }
    if (c.asked)
        front.Expect(Expect::Message("Delete")
                         .Warning()
                         .Contains(c.selectBoth ? "2 items" : "real1.txt")
                         .PressText(c.confirm ? "Delete" : "Cancel"));
    int updates = panel.UpdateCount();
    host->PressKey(VK_F8);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(!work.Exists("real1.txt"), c.firstGone);
    EXPECT_EQ(!work.Exists("real2.txt"), c.secondGone);
    EXPECT_EQ(panel.UpdateCount() > updates, c.confirm);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealDeleteTest,
    ::testing::Values(RealDeleteCase{"NotRealNames", 0, false, false, false, false, false},
                      RealDeleteCase{"Current", OPIF_REALNAMES, true, true, false, true, false},
                      RealDeleteCase{"Cancelled", OPIF_REALNAMES, true, false, false, false, false},
                      RealDeleteCase{"Selected", OPIF_REALNAMES, true, true, true, true, true}),
    [](const ::testing::TestParamInfo<RealDeleteCase> &info) { return info.param.name; });

} // namespace
