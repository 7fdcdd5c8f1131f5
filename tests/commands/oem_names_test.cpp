// The real host sets the file functions to OEM text at start: a name outside ASCII then comes
// from FindFirstFileA already as the host shows it, and goes back to the file functions as it
// is. Here a Cyrillic name in CP866 is attached, listed under its own name, moved to another
// flavor and removed; under Wine the file functions really translate, natively they pass bytes.
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

TEST_F(OemNames, ACp866NameIsAttachedListedMovedAndRemoved) {
    tree.MakeDir("files");
    ASSERT_TRUE(Open());
    EXPECT_FALSE(AreFileApisANSI());
    const std::string name = "\xAE\xE2\xE7\xA5\xE2.txt"; // "otchet" in Cyrillic, CP866
    // Made through the file functions in force: the name is OEM text for them.
    const std::string path = WriteAnsiFile(name);
    // The flow line names it natively: the same bytes, in the platform's form.
#ifdef _WIN32
    const std::string line = path;
#else
    const std::string line = tree.Native("files") + "/" + name;
#endif
    host->Right().Update();
    ASSERT_TRUE(host->Right().SetCurrentByName(name))
        << ::testing::PrintToString(host->Right().Names());

    host->SetActive(Side::Right);
    front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Press(AttachOk));
    EXPECT_EQ(host->CopyToPluginPanel(false), 1);
    host->SetActive(Side::Left);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({line}));

    ASSERT_TRUE(Enter("2:100/200.0"));
    ASSERT_TRUE(SetCurrent(FileRow(name)));
    front.Expect(Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 4).Press(FlavorOk));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out/006400C8.HLO"), CrLf({line}));
    EXPECT_EQ(Bytes("out/006400C8.FLO").find(name), std::string::npos);

    ASSERT_TRUE(SetCurrent(FileRow(name)));
    front.Expect(Expect::Message(Text(MsgRemoveTitle)).Press(0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/006400C8.HLO")); // its last line went: no poll left behind
    EXPECT_FALSE(Row(FileRow(name)));
    // The file itself stays.
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
