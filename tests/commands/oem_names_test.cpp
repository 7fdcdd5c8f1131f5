// The real host sets the file functions to OEM text at start, while Windows mailers and
// tossers write flow files with the ANSI ones. A name outside ASCII written by an ANSI writer is
// attached (the line in ANSI), listed under its OEM name, moved to another flavor and removed;
// under Wine the code pages really differ, natively every text is UTF-8 and passes unchanged.
#include "command_test.h"

#include "commands/file_attach.h"
#include "commands/flavor_change.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

namespace {

using standin::Expect;
using standin::Side;

class OemNames : public CommandTest {
protected:
    OemNames() { options.rightDirectory = tree.Win("files"); }
};

// The name in ANSI (the flow file's text) and in OEM (the file functions', the host's).
static void NamesOutsideAscii(std::string &ansi, std::string &oem) {
#ifdef _WIN32
    // Cyrillic where the system's code pages have it, else an accented Latin letter.
    ansi = GetACP() == 1251 ? "\xEE\xF2\xF7\xE5\xF2.txt" : "\xE9t\xE9.txt";
    wchar_t wide[64];
    char converted[64];
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 64);
    WideCharToMultiByte(CP_OEMCP, 0, wide, units, converted, sizeof converted, nullptr, nullptr);
    oem = converted;
#else
    ansi = oem = "\xD0\xBE\xD1\x82\xD1\x87\xD0\xB5\xD1\x82.txt";
#endif
}

TEST_F(OemNames, AnAnsiNameIsAttachedListedMovedAndRemoved) {
    tree.MakeDir("files");
    ASSERT_TRUE(Open());
    EXPECT_FALSE(AreFileApisANSI());
    std::string ansi, oem;
    NamesOutsideAscii(ansi, oem);
    // Made by an ANSI writer, as a Windows tosser makes it.
    SetFileApisToANSI();
    const std::string ansiPath = WriteAnsiFile(ansi);
    SetFileApisToOEM();
    // The flow line names it natively, in the flow files' code page.
#ifdef _WIN32
    const std::string line = ansiPath;
#else
    const std::string line = tree.Native("files") + "/" + ansi;
#endif
    host->Right().Update();
    ASSERT_TRUE(host->Right().SetCurrentByName(oem))
        << ::testing::PrintToString(host->Right().Names());

    host->SetActive(Side::Right);
    front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Press(AttachOk));
    EXPECT_EQ(host->CopyToPluginPanel(false), 1);
    host->SetActive(Side::Left);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({line}));

    ASSERT_TRUE(Enter("2:100/200.0"));
    EXPECT_EQ(front.Verify(), ""); // found: no question about a missing file
    ASSERT_TRUE(SetCurrent(FileRow(oem)));
    front.Expect(Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 4).Press(FlavorOk));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({line}));
    EXPECT_FALSE(Has("out/006400C8.FLO"));

    ASSERT_TRUE(SetCurrent(FileRow(oem)));
    front.Expect(Expect::Message(Text(MsgRemoveTitle)).Press(0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/006400C8.HLO")); // its last line went: no poll left behind
    EXPECT_FALSE(Row(FileRow(oem)));
    // The file itself stays.
    SetFileApisToANSI();
    EXPECT_NE(GetFileAttributesA(ansiPath.c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileApisToOEM();
}

} // namespace
