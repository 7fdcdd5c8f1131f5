// The flavor change inside a link (F6: the selection or the current item; Shift+F6: the current
// item only): lines leave their flow file and go to the end of the chosen flavor's flow file,
// prefixes kept, every other line of the rewritten file as it was, and never a line lost.
#include "command_test.h"

#include "commands/flavor_change.h"

#include "commands/command_boxes.h"
#include "shell/box_text.h"
#include "shell/messages.h"

#include "wine.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using standin::Expect;

class FlavorChange : public CommandTest {
protected:
    FlavorChange() {
        a = tree.WriteAttached("a.zip");
        b = tree.WriteAttached("b.zip");
        c = tree.WriteAttached("c.zip");
        d = tree.WriteAttached("d.zip");
    }
    // The usual queue: four files, one done entry between them.
    void WriteQueue() {
        tree.WriteFlowFile("out/006400C8.FLO", {"^" + a, "#" + b, c, "~Z:\\done.zip", d});
    }
    Expect FlavorDialog() { return Expect::Dialog("BSOFlavor").Title(Text(MsgFlavorTitle)); }
    // Chooses the flavor (1 immediate ... 5 hold) with the key (F6 or Shift+F6).
    void Move(int flavor, unsigned controlState = 0) {
        front.Expect(FlavorDialog().Radio(FlavorFirstChoice + flavor - 1).Press(FlavorOk));
        EXPECT_TRUE(Press(VK_F6, controlState));
        EXPECT_EQ(front.Verify(), "");
    }
    // The source column of the row, in upper case ("" when the row is missing).
    std::string SourceOf(const std::string &row) {
        std::optional<standin::ShownItem> shown = Row(row);
        if (!shown) return "<no row>";
        std::string source = shown->columns.at(SourceColumn);
        for (char &ch : source) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        return source;
    }
    // The path the plugin names for a flow file of the link: its base path and the suffix.
    std::string FlowPath(const std::string &suffix) {
        return tree.Win(MadeName("out/006400C8")) + suffix;
    }
    std::string a, b, c, d;
};

TEST_F(FlavorChange, F6MovesTheSelectedFilesInPanelOrder) {
    WriteQueue();
    ASSERT_TRUE(OpenLink());
    for (const char *name : {"c.zip", "a.zip", "b.zip"}) ASSERT_TRUE(Select(FileRow(name)));
    ASSERT_TRUE(SetCurrent(FileRow("d.zip")));
    Move(2);
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"~Z:\\done.zip", d}));
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({"^" + a, "#" + b, c}));
    // The update shows the new flow file; the selection stays on the moved files.
    for (const char *name : {"a.zip", "b.zip", "c.zip"}) {
        EXPECT_EQ(SourceOf(FileRow(name)), ".CLO") << name;
        EXPECT_TRUE(Row(FileRow(name))->IsSelected()) << name;
    }
    EXPECT_EQ(SourceOf(FileRow("d.zip")), ".FLO");
}

TEST_F(FlavorChange, ShiftF6MovesOnlyTheCurrentFile) {
    WriteQueue();
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("a.zip")));
    ASSERT_TRUE(Select(FileRow("b.zip")));
    ASSERT_TRUE(SetCurrent(FileRow("c.zip")));
    Move(5, PKF_SHIFT);
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({c}));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + a, "#" + b, "~Z:\\done.zip", d}));
    EXPECT_EQ(OnDisk("out/006400C8.HLO"), MadeName("out/006400C8.HLO"));
}

TEST_F(FlavorChange, F6WithoutSelectionMovesTheCurrentFile) {
    WriteQueue();
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("b.zip")));
    Move(3);
    EXPECT_EQ(Bytes("out/006400C8.DLO"), CrLf({"#" + b}));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + a, c, "~Z:\\done.zip", d}));
}

// Moving to the flavor the file has: its line goes to the end of the same flow file.
TEST_F(FlavorChange, TheSameFlavorAppendsAtTheEndOfTheSameFile) {
    WriteQueue();
    tree.WriteFlowFile("out/006400C8.CLO", {"#" + b});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    front.Expect(FlavorDialog().Default()); // normal, the configured attach flavor
    EXPECT_TRUE(Press(VK_F6));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"#" + b, c, "~Z:\\done.zip", d, "^" + a}));
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({"#" + b}));
}

// A file listed twice loses both lines and both go to the new flow file, in their order; a
// flow file that loses its last line is deleted (left empty, it would be a poll).
TEST_F(FlavorChange, DuplicatesMoveTogether) {
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + a, "~Z:\\done.zip", "#" + a});
    tree.WriteFlowFile("out/006400C8.ILO", {b});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    Move(1, PKF_SHIFT);
    EXPECT_EQ(Bytes("out/006400C8.ILO"), CrLf({b, "^" + a, "#" + a}));
    EXPECT_FALSE(Has("out/006400C8.FLO"));
    EXPECT_FALSE(Row(OutRow("006400C8.FLO")));
}

// Packets, request files, busy flags and flow files that list nothing are rows without a
// source text: F6 leaves them alone without a message.
TEST_F(FlavorChange, RowsWithoutASourceTextAreLeftAlone) {
    WriteQueue();
    tree.Write("out/006400C8.OUT", "packet");
    tree.Write("out/006400C8.REQ", "FILES\r\n");
    tree.Write("out/006400C8.DLO", "");
    ASSERT_TRUE(OpenLink());
    for (const char *name : {"006400C8.OUT", "006400C8.REQ", "006400C8.DLO"})
        ASSERT_TRUE(Select(OutRow(name))) << name;
    Move(2);
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/006400C8.DLO", "out/006400C8.FLO",
                                                         "out/006400C8.OUT", "out/006400C8.REQ"}));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + a, "#" + b, c, "~Z:\\done.zip", d}));
    // The ".." item names no file: with nothing selected F6 and Shift+F6 on it open no dialog.
    ASSERT_TRUE(Panel().SetCurrent(0));
    ASSERT_TRUE(Panel().IsDotsItem(0));
    Panel().SelectAll(false);
    for (unsigned controlState : {0u, static_cast<unsigned>(PKF_SHIFT)}) {
        EXPECT_TRUE(Press(VK_F6, controlState));
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + a, "#" + b, c, "~Z:\\done.zip", d}));
}

// The new flow file cannot be written: the line stays in the old one, which is not even
// rewritten, and the user is told; the other selected files still move.
TEST_F(FlavorChange, AnUnwritableNewFlowFileLosesNoLine) {
    const std::string before = CrLf({"^" + a, "#" + b, c, "~Z:\\done.zip", d});
    struct Case {
        const char *name;
        std::function<void()> block, unblock;
    } cases[] = {
        {"a directory in its place", [&] { tree.MakeDir("out/006400C8.HLO"); },
         [&] { tree.Remove("out/006400C8.HLO"); }},
        // Wine leaves the write check of a read-only file to the Unix permissions, which
        // root passes: there this case cannot block anything.
        {"read-only",
         [&] {
             tree.Write("out/006400C8.HLO", "");
             SetFileAttributesA(tree.Win("out/006400C8.HLO").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         [&] {
             SetFileAttributesA(tree.Win("out/006400C8.HLO").c_str(), FILE_ATTRIBUTE_NORMAL);
             tree.Remove("out/006400C8.HLO");
         }},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        if (RunningUnderWine() && std::string(test.name) == "read-only") continue;
        tree.Write("out/006400C8.FLO", before);
        test.block();
        ASSERT_TRUE(OpenLink());
        ASSERT_TRUE(SetCurrent(FileRow("b.zip")));
        front.Expect(FlavorDialog().Radio(FlavorFirstChoice + 4).Press(FlavorOk));
        front.Expect(Warning(MsgWarning, MsgLineNotRemoved, FlowPath(".FLO")));
        EXPECT_TRUE(Press(VK_F6));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(Bytes("out/006400C8.FLO"), before);
        test.unblock();
        Close();
    }
}

TEST_F(FlavorChange, APanelOutOfDateWarnsOfTheMissingFlowFile) {
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + a, b});
    tree.WriteFlowFile("out/006400C8.CLO", {"#" + c});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("a.zip")));
    ASSERT_TRUE(Select(FileRow("c.zip")));
    tree.Remove(*OnDisk("out/006400C8.FLO"));
    front.Expect(FlavorDialog().Radio(FlavorFirstChoice).Press(FlavorOk));
    front.Expect(Warning(MsgWarning, MsgFileNotFound, FlowPath(".FLO")));
    EXPECT_TRUE(Press(VK_F6));
    EXPECT_EQ(front.Verify(), "");
    // The other file moved all the same.
    EXPECT_EQ(Bytes("out/006400C8.ILO"), CrLf({"#" + c}));
    EXPECT_FALSE(Has("out/006400C8.CLO"));
    EXPECT_FALSE(Has("out/006400C8.FLO"));
}

// The dialog opens on the configured attach flavor, chosen and focused.
TEST_F(FlavorChange, DialogLayoutAndPreset) {
    WriteQueue();
    settings.attachFlavor = 2;
    ASSERT_TRUE(OpenLink());
    // The dialog names the file under the cursor, shortened to fit its frame.
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    std::string format = Text(MsgFlavorSubjectFormat);
    char named[MAX_PATH];
    ShortenPath(named, sizeof(named), FileRow("a.zip").c_str(), 58 - format.size());
    std::string subject = format.replace(format.find("%s"), 2, named);
    const DWORD separator = DIF_SEPARATOR | DIF_BOXCOLOR;
    CheckLayout("BSOFlavor", 66, 12,
                {
                    {DI_DOUBLEBOX, 3, 1, 62, 10, 0, 0, 0, 0, Text(MsgFlavorTitle)},
                    {DI_RADIOBUTTON, 5, 3, 60, 0, 0, 0, DIF_GROUP, 0, Text(MsgFlavorImmediate)},
                    {DI_RADIOBUTTON, 5, 4, 60, 0, 0, 0, 0, 0, Text(MsgFlavorCrash)},
                    {DI_RADIOBUTTON, 5, 5, 60, 0, 1, 1, 0, 0, Text(MsgFlavorDirect)},
                    {DI_RADIOBUTTON, 5, 6, 60, 0, 0, 0, 0, 0, Text(MsgFlavorNormal)},
                    {DI_RADIOBUTTON, 5, 7, 60, 0, 0, 0, 0, 0, Text(MsgFlavorHold)},
                    {DI_TEXT, 5, 8, 0, 0, 0, 0, separator, 0, ""},
                    {DI_BUTTON, 0, 9, 0, 0, 0, 0, DIF_CENTERGROUP, 1, Text(MsgOk)},
                    {DI_BUTTON, 0, 9, 0, 0, 0, 0, DIF_CENTERGROUP, 0, Text(MsgCancel)},
                    {DI_TEXT, 5, 2, 60, 0, 0, 0, DIF_SHOWAMPERSAND, 0, subject},
                },
                [&] { EXPECT_TRUE(Press(VK_F6)); });
}

TEST_F(FlavorChange, ABusyLinkIsAskedAboutAfterTheDialog) {
    WriteQueue();
    tree.Write("out/006400C8.BSY");
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    for (int button : {1, -1}) {
        SCOPED_TRACE(button);
        front.Expect(FlavorDialog().Radio(FlavorFirstChoice + 1).Press(FlavorOk));
        front.Expect(BusyBox(MsgWarning, "2:100/200.0", button));
        EXPECT_TRUE(Press(VK_F6));
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_FALSE(Has("out/006400C8.CLO"));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({"^" + a, "#" + b, c, "~Z:\\done.zip", d}));
    front.Expect(FlavorDialog().Radio(FlavorFirstChoice + 1).Press(FlavorOk));
    front.Expect(BusyBox(MsgWarning, "2:100/200.0", 0));
    EXPECT_TRUE(Press(VK_F6));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({"^" + a}));
}

// A line longer than the flow file layer's usual line buffer moves whole.
TEST_F(FlavorChange, ALongLineMovesWhole) {
    std::string prefix = tree.Win("files") + "\\";
    ASSERT_LT(prefix.size(), 200u);
    std::string name(259 - prefix.size() - 4, 'n');
    std::string path = tree.WriteAttached(name + ".zip");
    ASSERT_EQ(path.size(), 259u);
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + path, a});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow(name + ".zip")));
    Move(2);
    EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf({"^" + path}));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

// The panel shows names in the OEM code page; the flow file holds the ANSI name.
// With ANSI file functions the names are converted: shown in OEM, looked for in ANSI.
TEST_F(FlavorChange, ANameOutsideAsciiIsFoundInTheFlowFile) {
    options.ansiFileApis = true;
    std::string accented = WriteAnsiFile("\xE0-report.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + accented, a});
    ASSERT_TRUE(OpenLink());
#ifdef _WIN32
    const std::string shown = "\x85-report.zip"; // code page 437
#else
    const std::string shown = "\xE0-report.zip";
#endif
    ASSERT_TRUE(SetCurrent(FileRow(shown)));
    Move(5);
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({"^" + accented}));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

} // namespace

namespace {

// Every flavor dialog reads its radio group alike: the first button on, Normal when none is
// on (the flavor change once fell back to Hold there); the preset from a setting out of range
// is Normal too.
TEST(FlavorButtons, ChoiceAndPresetFallBackToNormal) {
    FarDialogItem items[FlavorCount];
    memset(items, 0, sizeof(items));
    EXPECT_EQ(ChosenFlavor(items, FlavorCount), Normal);
    items[4].Selected = 1;
    EXPECT_EQ(ChosenFlavor(items, FlavorCount), Hold);
    items[1].Selected = 1;
    EXPECT_EQ(ChosenFlavor(items, FlavorCount), Crash);
    for (int setting : {-1, 4, 99}) {
        memset(items, 0, sizeof(items));
        PresetFlavorButton(items, 4, setting, true); // the poll's group: no hold
        for (int i = 0; i < FlavorCount; ++i) EXPECT_EQ(items[i].Selected, i == 3) << setting;
        EXPECT_EQ(items[3].Focus, 1);
    }
    memset(items, 0, sizeof(items));
    PresetFlavorButton(items, FlavorCount, 4, false);
    EXPECT_EQ(items[4].Selected, 1);
    EXPECT_EQ(items[4].Focus, 0);
}

} // namespace
