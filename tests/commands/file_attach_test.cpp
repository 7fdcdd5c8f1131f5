// Attaching files copied or moved onto the panel from the other one: the dialog's presets, the
// lines appended to the flow file (CR LF, "^" for delete-after-sending), the warnings for
// missing files and directories, and the busy link.
#include "command_test.h"

#include "commands/file_attach.h"
#include "shell/messages.h"

#include "wine.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using standin::Expect;
using standin::Side;

class FileAttach : public CommandTest {
protected:
    FileAttach() {
        tree.WriteAttached("a.zip");
        tree.WriteAttached("b.txt");
        a = tree.Line("files/a.zip");
        b = tree.Line("files/b.txt");
        tree.MakeDir("files/folder");
        options.rightDirectory = tree.Win("files");
    }
    Expect AttachDialog() { return Expect::Dialog("BSOAttach").Title(Text(MsgAttachTitle)); }
    // Selects the names in the file panel on the right and copies (or moves) them onto the
    // plugin panel; returns what PutFiles answered.
    int CopySelected(const std::vector<std::string> &names, bool move = false) {
        host->SetActive(Side::Right);
        for (const std::string &name : names) EXPECT_TRUE(host->Right().Select(name)) << name;
        int result = host->CopyToPluginPanel(move);
        host->SetActive(Side::Left);
        return result;
    }
    // PutFiles called as the host would, with items named as given, relative to the current
    // directory: the other (source) panel's folder.
    int PutFiles(const std::vector<std::string> &names, int move, int opMode) {
        SetCurrentDirectoryA(host->Right().Directory().c_str());
        std::vector<PluginPanelItem> items(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            std::memset(&items[i], 0, sizeof(items[i]));
            std::strncpy(items[i].FindData.cFileName, names[i].c_str(), MAX_PATH - 1);
        }
        return host->GetExports().PutFiles(Panel().Handle(), items.data(),
                                           static_cast<int>(items.size()), move, opMode);
    }
    std::string a, b;
};

TEST_F(FileAttach, DialogLayout) {
    ASSERT_TRUE(Open());
    const DWORD separator = DIF_SEPARATOR | DIF_BOXCOLOR;
    CheckLayout("BSOAttach", 46, 16,
                {
                    {DI_DOUBLEBOX, 3, 1, 42, 14, 0, 0, 0, 0, Text(MsgAttachTitle)},
                    {DI_TEXT, 5, 2, 0, 0, 0, 0, 0, 0, Text(MsgAttachAddress)},
                    {DI_EDIT, 5, 3, 40, 0, 1, 0, DIF_HISTORY, 0, ""},
                    {DI_TEXT, 5, 4, 0, 0, 0, 0, separator, 0, ""},
                    {DI_RADIOBUTTON, 5, 5, 40, 0, 0, 0, DIF_GROUP, 0, Text(MsgFlavorImmediate)},
                    {DI_RADIOBUTTON, 5, 6, 40, 0, 0, 0, 0, 0, Text(MsgFlavorCrash)},
                    {DI_RADIOBUTTON, 5, 7, 40, 0, 0, 0, 0, 0, Text(MsgFlavorDirect)},
                    {DI_RADIOBUTTON, 5, 8, 40, 0, 0, 1, 0, 0, Text(MsgFlavorNormal)},
                    {DI_RADIOBUTTON, 5, 9, 40, 0, 0, 0, 0, 0, Text(MsgFlavorHold)},
                    {DI_CHECKBOX, 5, 11, 40, 0, 0, 0, 0, 0, Text(MsgAttachDeleteAfterSending)},
                    {DI_TEXT, 5, 12, 0, 0, 0, 0, separator, 0, ""},
                    {DI_BUTTON, 0, 13, 0, 0, 0, 0, DIF_CENTERGROUP, 1, Text(MsgOk)},
                    {DI_BUTTON, 0, 13, 0, 0, 0, 0, DIF_CENTERGROUP, 0, Text(MsgCancel)},
                },
                [&] { EXPECT_EQ(CopySelected({"a.zip"}), 0); });
}

// Copying leaves the check box clear, moving sets it; whatever the user leaves there decides
// the "^". The configured flavor is preset.
TEST_F(FileAttach, CopyAndMoveAndTheDeleteAfterSendingBox) {
    struct Case {
        const char *name;
        bool move;
        std::optional<bool> userSets; // nullopt: left as preset
        std::string line;
    } cases[] = {
        {"copy", false, std::nullopt, a},
        {"move", true, std::nullopt, "^" + a},
        {"move, cleared", true, false, a},
        {"copy, set", false, true, "^" + a},
    };
    settings.attachFlavor = 1; // crash
    ASSERT_TRUE(Open());
    std::vector<std::string> lines;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Expect dialog = AttachDialog()
                            .ItemText(AttachAddress, "")
                            .Selected(AttachDeleteAfterSending, c.move ? 1 : 0)
                            .Selected(AttachFirstFlavor + 1, 1)
                            .Edit(AttachAddress, "100/200");
        if (c.userSets) dialog.SetCheck(AttachDeleteAfterSending, *c.userSets);
        front.Expect(dialog.Press(AttachOk));
        EXPECT_EQ(CopySelected({"a.zip"}, c.move), 1);
        EXPECT_EQ(front.Verify(), "");
        lines.push_back(c.line);
        EXPECT_EQ(Bytes("out/006400C8.CLO"), CrLf(lines));
        // The files themselves stay where they are.
        EXPECT_EQ(tree.Read("files/a.zip"), "x");
    }
    // The host updated the plugin panel after the copy: the link shows its crash flow file.
    std::optional<standin::ShownItem> row = Row("2:100/200.0");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns[FlowColumn], ".C...");
}

TEST_F(FileAttach, EachFlavorItsFlowFile) {
    const char *files[] = {"out/006400C8.ILO", "out/006400C8.CLO", "out/006400C8.DLO",
                           "out/006400C8.FLO", "out/006400C8.HLO"};
    ASSERT_TRUE(Open());
    for (int flavor = 0; flavor < 5; ++flavor) {
        SCOPED_TRACE(files[flavor]);
        front.Expect(AttachDialog()
                         .Selected(AttachFirstFlavor + 3, 1) // normal by default
                         .Edit(AttachAddress, "2:100/200")
                         .Radio(AttachFirstFlavor + flavor)
                         .Press(AttachOk));
        EXPECT_EQ(CopySelected({"b.txt"}), 1);
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(OnDisk(files[flavor]), MadeName(files[flavor]));
        EXPECT_EQ(Bytes(files[flavor]), CrLf({b}));
    }
}

TEST_F(FileAttach, HoldPresetWritesTheHoldFlowFile) {
    settings.attachFlavor = 4;
    ASSERT_TRUE(Open());
    front.Expect(
        AttachDialog().Selected(AttachFirstFlavor + 4, 1).Edit(AttachAddress, "100/200").Default());
    EXPECT_EQ(CopySelected({"a.zip"}), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({a}));
}

// Inside a link the link is offered; zone and point directories are made when missing.
TEST_F(FileAttach, InsideALinkTheLinkIsOffered) {
    tree.Write("out.003/006400C8.PNT/00000005.OUT");
    ASSERT_TRUE(OpenLink("3:100/200.5"));
    front.Expect(AttachDialog().ItemText(AttachAddress, "3:100/200.5").Default());
    EXPECT_EQ(CopySelected({"a.zip", "b.txt"}, true), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out.003/006400C8.PNT/00000005.FLO"), CrLf({"^" + a, "^" + b}));
    // The panel shows the attached files after the host's update.
    EXPECT_TRUE(Row(FileRow("a.zip")));
    EXPECT_TRUE(Row(FileRow("b.txt")));

    // A point of a zone with no directory yet.
    front.Expect(AttachDialog().Edit(AttachAddress, "4:1/2.3").Default());
    EXPECT_EQ(CopySelected({"a.zip"}), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out.004/00010002.PNT/00000003.FLO"), CrLf({a}));
}

// Silent operation: the address is fixed text; inside a link it names the link, at the root it
// is empty and so ends in the address warning.
TEST_F(FileAttach, SilentModeFixesTheAddress) {
    tree.Write("out/006400C8.OUT");
    ASSERT_TRUE(Open());
    front.Expect(AttachDialog()
                     .Check([](const standin::ShownBox &box) {
                         return box.itemTypes.at(AttachAddress) == DI_TEXT ? "" : "not fixed";
                     })
                     .ItemText(AttachAddress, "")
                     .Default());
    // The address cannot be changed there: refused once, the dialog does not come back.
    front.Expect(BadAddress(MsgWarning, ""));
    EXPECT_EQ(PutFiles({"a.zip"}, 0, OPM_SILENT), 0);
    EXPECT_EQ(front.Verify(), "");

    ASSERT_TRUE(Enter("2:100/200.0"));
    front.Expect(AttachDialog()
                     .Check([](const standin::ShownBox &box) {
                         return box.itemTypes.at(AttachAddress) == DI_TEXT ? "" : "not fixed";
                     })
                     .ItemText(AttachAddress, "2:100/200.0")
                     .Default());
    EXPECT_EQ(PutFiles({"a.zip"}, 0, OPM_SILENT), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

// Two files and a folder: two lines, one directory warning; a missing file its own warning;
// the same file twice two lines. The earlier lines of the flow file stay as they were, and a
// last line without its line end gets one before the new lines.
TEST_F(FileAttach, WarningsForFoldersAndMissingFilesTheRestGoesOn) {
    const std::string before = "#Z:\\old\\one.pkt\r\n~Z:\\old\\sent.zip\r\n^Z:\\old\\two.tic";
    tree.Write("out/006400C8.FLO", before);
    ASSERT_TRUE(Open());
    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/200").Default());
    front.Expect(Warning(MsgAttachTitle, MsgIsDirectory, tree.Line("files/folder")));
    EXPECT_EQ(CopySelected({"a.zip", "folder", "b.txt"}), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), before + "\r\n" + CrLf({a, b}));

    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/200").Default());
    front.Expect(Warning(MsgWarning, MsgFileNotFound, tree.Line("files/gone.zip")));
    EXPECT_EQ(PutFiles({"gone.zip", "a.zip", "a.zip"}, 0, 0), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), before + "\r\n" + CrLf({a, b, a, a}));
}

// The other panel showing a drive root, whose directory already ends in a backslash.
TEST_F(FileAttach, ADriveRootGetsNoSecondBackslash) {
    std::string win = tree.Win("files/a.zip");
    std::string root = win.substr(0, 3); // "Z:\" or "C:\"
    ASSERT_EQ(root.substr(1), ":\\");
    options.rightDirectory = root;
    ASSERT_TRUE(Open());
    ASSERT_EQ(host->Right().CurDir(), root);
    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/200").Default());
    EXPECT_EQ(PutFiles({win.substr(3)}, 0, 0), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

TEST_F(FileAttach, NothingIsWrittenWhenTheDialogOrTheAddressStops) {
    tree.Write("out/006400C8.BSY");
    ASSERT_TRUE(Open());
    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/201").Press(12));
    EXPECT_EQ(CopySelected({"a.zip"}), 0);
    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/201").Esc());
    EXPECT_EQ(CopySelected({"a.zip"}), 0);
    front.Expect(AttachDialog().Edit(AttachAddress, "2:100/x").Default());
    front.Expect(BadAddress(MsgWarning, "2:100/x"));
    front.Expect(AttachDialog().ItemText(AttachAddress, "2:100/x").Esc());
    EXPECT_EQ(CopySelected({"a.zip"}), 0);
    for (int button : {1, -1}) {
        front.Expect(AttachDialog().Edit(AttachAddress, "100/200").Default());
        front.Expect(BusyBox(MsgWarning, "2:100/200.0", button));
        EXPECT_EQ(CopySelected({"a.zip"}), 0);
    }
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), std::vector<std::string>{"out/006400C8.BSY"});
    // The source panel keeps its selection when nothing was attached.
    host->SetActive(Side::Right);
    EXPECT_EQ(host->Right().SelectedNames(), std::vector<std::string>{"a.zip"});
    host->SetActive(Side::Left);

    front.Expect(AttachDialog().Edit(AttachAddress, "100/200").Default());
    front.Expect(BusyBox(MsgWarning, "2:100/200.0", 0));
    EXPECT_EQ(CopySelected({}), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

} // namespace
