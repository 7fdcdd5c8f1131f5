// The built module loaded by the stand-in host: start-up, menus, panel instances and the
// configuration dialog, answered by a scripted front end.
#include "settings/config_dialog.h"
#include "shell/messages.h"

#include "registry_values.h"
#include "scripted_gtest.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string.h>

namespace {

using standin::Expect;
using standin::ShownBox;
using standin::Side;
using standin::StripHotKey;

class ThroughHost : public ::testing::Test {
protected:
    void TearDown() override {
        if (host) standin::ExpectNoHostFailures(*host);
        host.reset();
    }
    standin::HostOptions Options() {
        standin::HostOptions options = registry.Options();
        options.expectedMessages = MessageCount;
        return options;
    }
    void Load(standin::HostOptions options) {
        host.reset();
        host = std::make_unique<standin::Host>(front, options);
        ASSERT_TRUE(host->LoadPlugin(standin::BuiltPluginModule())) << host->LastError();
    }
    void Load() { Load(Options()); }
    std::string Text(int id) { return host->Message(id); }
    std::optional<DWORD> StoredNumber(const std::string &name) {
        auto value = ReadRawValue(key, name);
        if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
        DWORD number;
        memcpy(&number, value->data.data(), 4);
        return number;
    }
    std::optional<std::string> StoredText(const std::string &name) {
        auto value = ReadRawValue(key, name);
        if (!value || value->type != REG_SZ || value->data.empty() || value->data.back() != 0)
            return std::nullopt;
        return value->data.substr(0, value->data.size() - 1);
    }

    TempDir dir;
    standin::TestRegistry registry{dir.Win()};
    std::string key = registry.RootKey() + "\\KESTREL";
    standin::GtestFrontEnd front;
    std::unique_ptr<standin::Host> host;
};

TEST_F(ThroughHost, MenusOfAFirstRun) {
    Load();
    standin::PluginInfoCopy info = host->GetPluginInfo();
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.diskMenuStrings, std::vector<std::string>{Text(MsgDisksMenu)});
    EXPECT_EQ(info.diskMenuNumbers, std::vector<int>{3});
    EXPECT_EQ(info.pluginMenuStrings, std::vector<std::string>{Text(MsgPluginMenu)});
    EXPECT_EQ(info.pluginConfigStrings, std::vector<std::string>{Text(MsgPluginMenu)});
    EXPECT_EQ(info.commandPrefix, Text(MsgDisksMenu));
    EXPECT_FALSE(KeyExists(key));
}

TEST_F(ThroughHost, NoDisksMenuEntryWhenSwitchedOff) {
    WriteDwordValue(key, "AddToDisksMenu", 0);
    Load();
    standin::PluginInfoCopy info = host->GetPluginInfo();
    EXPECT_TRUE(info.diskMenuStrings.empty());
    EXPECT_EQ(info.pluginMenuStrings.size(), 1u);
    EXPECT_EQ(info.pluginConfigStrings.size(), 1u);
    EXPECT_EQ(info.commandPrefix, Text(MsgDisksMenu));
}

TEST_F(ThroughHost, ConfigureShowsNoDialogForOtherItems) {
    Load();
    EXPECT_EQ(host->Configure(1), 0);
    EXPECT_TRUE(front.Boxes().empty());
}

// What the dialog shows for the defaults of a first run; Esc writes nothing.
TEST_F(ThroughHost, ConfigurationDialogShowsTheSettings) {
    Load();
    front.Expect(Expect::Dialog("BSOCfg").Title(Text(MsgConfigTitle)).Esc());
    EXPECT_EQ(host->Configure(0), 0);
    EXPECT_EQ(front.Verify(), "");
    ASSERT_EQ(front.Boxes().size(), 1u);
    const ShownBox &box = front.Boxes()[0];
    EXPECT_EQ(box.width, 76);
    EXPECT_EQ(box.height, 24);
    ASSERT_EQ(box.texts.size(), static_cast<size_t>((ConfigOkItem() + 2)));
    EXPECT_EQ(box.texts[ConfigItem("DisksMenuDigit")], "3");
    EXPECT_EQ(box.texts[ConfigItem("LinksPanelMode")], "3");
    EXPECT_EQ(box.texts[ConfigItem("FilesPanelMode")], "3");
    EXPECT_EQ(box.texts[ConfigItem("PathToOutbound")], "");
    EXPECT_EQ(box.texts[ConfigItem("Address")], "2:9999/9999");
    EXPECT_EQ(box.itemSelected[ConfigItem("AddToDisksMenu")], 1);
    EXPECT_EQ(box.itemSelected[ConfigItem("NoChangePanelMode")], 0);
    EXPECT_EQ(box.itemSelected[ConfigItem("AutoRefresh")], 1);
    EXPECT_EQ(box.texts[ConfigItem("AgeMarkDays")], "7");
    EXPECT_EQ(box.texts[ConfigItem("StaleBusyHours")], "6");
    EXPECT_EQ(box.texts[ConfigItem("OldEmptyBundleDays")], "30");
    EXPECT_EQ(box.itemTypes[ConfigItem("OldEmptyBundleDays")], DI_EDIT);
    EXPECT_EQ(box.texts[ConfigItem("OldEmptyBundleDays") - 1], Text(MsgConfigOldEmptyDays));
    // Four poll flavors (no hold) and five attach flavors, one of each group on: normal.
    EXPECT_EQ(box.itemFlags[ConfigItem("PollFlavor")], static_cast<DWORD>(DIF_GROUP));
    EXPECT_EQ(box.itemFlags[ConfigItem("AttachFlavor")], static_cast<DWORD>(DIF_GROUP));
    EXPECT_EQ(box.itemTypes[ConfigItem("AttachFlavor") - 1], DI_TEXT);
    EXPECT_EQ(box.itemTypes[ConfigItem("AttachFlavor") + 5], DI_TEXT);
    // The poll group comes second: its hot keys are the attach group's, so it shows none.
    EXPECT_EQ(box.texts[ConfigItem("PollFlavor") + 3], StripHotKey(Text(MsgFlavorNormal)));
    EXPECT_EQ(box.texts[ConfigItem("AttachFlavor") + 4], Text(MsgFlavorHold));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(box.itemSelected[ConfigItem("PollFlavor") + i], i == 3 ? 1 : 0) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(box.itemSelected[ConfigItem("AttachFlavor") + i], i == 3 ? 1 : 0) << i;
    EXPECT_EQ(box.buttons, (std::vector<std::string>{Text(MsgOk), Text(MsgCancel)}));
    EXPECT_FALSE(KeyExists(key));
}

TEST_F(ThroughHost, AcceptingAnUnchangedDialogWritesEveryValueAndCreatesTheKey) {
    WriteDwordValue(registry.RootKey() + "\\Other", "Unrelated", 1); // the root exists, KESTREL not
    Load();
    front.Expect(Expect::Dialog("BSOCfg").Default());
    EXPECT_EQ(host->Configure(0), 1);
    const std::pair<const char *, DWORD> numbers[] = {
        {"AddToDisksMenu", 1}, {"DisksMenuDigit", 3},      {"LinksPanelMode", 3},
        {"FilesPanelMode", 3}, {"NoChangePanelMode", 0},   {"PollFlavor", 3},
        {"AttachFlavor", 3},   {"AutoRefresh", 1},         {"AgeMarkDays", 7},
        {"StaleBusyHours", 6}, {"OldEmptyBundleDays", 30}, {"FlowFileCodePage", 0}};
    for (const auto &[name, number] : numbers) EXPECT_EQ(StoredNumber(name), number) << name;
    EXPECT_EQ(StoredText("PathToOutbound"), "");
    EXPECT_EQ(StoredText("Address"), "2:9999/9999");
}

TEST_F(ThroughHost, CancelAndEscWriteNothingAndChangeNothing) {
    Load();
    for (bool esc : {false, true}) {
        Expect answer = Expect::Dialog("BSOCfg")
                            .SetCheck(ConfigItem("AddToDisksMenu"), false)
                            .Edit(ConfigItem("PathToOutbound"), "Z:\\elsewhere")
                            .Radio(ConfigItem("PollFlavor"));
        front.Expect(esc ? answer.Esc() : answer.Press(ConfigOkItem() + 1));
        EXPECT_EQ(host->Configure(0), 0);
        EXPECT_FALSE(KeyExists(key));
        EXPECT_EQ(host->GetPluginInfo().diskMenuStrings.size(), 1u);
    }
    // The next run starts from the settings as they were.
    front.Expect(Expect::Dialog("BSOCfg")
                     .ItemText(ConfigItem("PathToOutbound"), "")
                     .Selected(ConfigItem("PollFlavor") + 3, 1)
                     .Esc());
    host->Configure(0);
}

TEST_F(ThroughHost, AcceptedValuesAreTakenAsTheDialogRulesSay) {
    struct Case {
        const char *digit, *linksMode, *filesMode;
        int digitValue, linksValue, filesValue;
        const char *path, *storedPath;
        int pollButton, attachButton; // position in the group
    };
    // The digit fields are one character wide: the host takes no more than that.
    const Case cases[] = {
        {"7", "5", "x", 7, 5, 0, "Z:\\fido\\out\\\\", "Z:\\fido\\out\\", 2, 0},
        {"-", " ", "3", 0, 0, 3, "\\", "", 3, 1},
        {"", "0", "9", 0, 0, 9, "Z:\\fido\\out\\", "Z:\\fido\\out", 0, 4},
    };
    Load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        front.Expect(Expect::Dialog("BSOCfg")
                         .SetCheck(ConfigItem("AddToDisksMenu"), c.digitValue != 0)
                         .Edit(ConfigItem("DisksMenuDigit"), c.digit)
                         .Edit(ConfigItem("LinksPanelMode"), c.linksMode)
                         .Edit(ConfigItem("FilesPanelMode"), c.filesMode)
                         .SetCheck(ConfigItem("NoChangePanelMode"), true)
                         .SetCheck(ConfigItem("AutoRefresh"), false)
                         .Edit(ConfigItem("PathToOutbound"), c.path)
                         .Edit(ConfigItem("Address"), "5020/1000.5")
                         .Radio(ConfigItem("PollFlavor") + c.pollButton)
                         .Radio(ConfigItem("AttachFlavor") + c.attachButton)
                         .Edit(ConfigItem("OldEmptyBundleDays"), c.linksMode)
                         .Press(ConfigOkItem()));
        ASSERT_EQ(host->Configure(0), 1);
        EXPECT_EQ(StoredNumber("AddToDisksMenu"), c.digitValue != 0 ? 1u : 0u);
        EXPECT_EQ(StoredNumber("DisksMenuDigit"), static_cast<DWORD>(c.digitValue));
        EXPECT_EQ(StoredNumber("LinksPanelMode"), static_cast<DWORD>(c.linksValue));
        EXPECT_EQ(StoredNumber("FilesPanelMode"), static_cast<DWORD>(c.filesValue));
        EXPECT_EQ(StoredNumber("NoChangePanelMode"), 1u);
        EXPECT_EQ(StoredNumber("AutoRefresh"), 0u);
        EXPECT_EQ(StoredNumber("PollFlavor"), static_cast<DWORD>(c.pollButton));
        EXPECT_EQ(StoredNumber("AttachFlavor"), static_cast<DWORD>(c.attachButton));
        EXPECT_EQ(StoredText("PathToOutbound"), c.storedPath);
        EXPECT_EQ(StoredText("Address"), "5020/1000.5"); // as typed
        EXPECT_EQ(StoredNumber("OldEmptyBundleDays"), static_cast<DWORD>(c.linksValue));
        // The menus follow at the next call.
        standin::PluginInfoCopy info = host->GetPluginInfo();
        if (c.digitValue)
            EXPECT_EQ(info.diskMenuNumbers, std::vector<int>{c.digitValue});
        else
            EXPECT_TRUE(info.diskMenuStrings.empty());
    }
    // A zero digit shows as an empty field, the zero view mode as "0".
    front.Expect(Expect::Dialog("BSOCfg")
                     .ItemText(ConfigItem("DisksMenuDigit"), "")
                     .ItemText(ConfigItem("LinksPanelMode"), "0")
                     .Esc());
    host->Configure(0);
}

// Whatever the dialog accepts must read back at the next start: a stored text may take 255
// bytes with its zero, so longer input is cut to 254 characters.
TEST_F(ThroughHost, OverlongTextsAreCutSoThatTheyReadBack) {
    // (An address that long is no address: refused, see AnOwnAddressThatDoesNotParseIsRefused.)
    const std::string typedPath = "Z:\\" + std::string(300, 'p');
    Load();
    front.Expect(Expect::Dialog("BSOCfg")
                     .Edit(ConfigItem("PathToOutbound"), typedPath)
                     .Press(ConfigOkItem()));
    ASSERT_EQ(host->Configure(0), 1);
    EXPECT_EQ(StoredText("PathToOutbound"), typedPath.substr(0, 254));

    Load();
    front.Expect(Expect::Dialog("BSOCfg")
                     .ItemText(ConfigItem("PathToOutbound"), typedPath.substr(0, 254))
                     .Esc());
    host->Configure(0);
}

TEST_F(ThroughHost, PanelWithoutAnOutboundOpensEmptyAndCloses) {
    Load();
    const std::string before = host->Active().Directory();
    ASSERT_TRUE(host->OpenPanel()) << host->LastError();
    ASSERT_TRUE(host->Active().IsPlugin());
    int rows = 0;
    for (const standin::ShownItem &item : host->Active().Items())
        if (!item.isDots) ++rows;
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(host->Active().CurDir(), "");
    host->ClosePanel();
    EXPECT_FALSE(host->Active().IsPlugin());
    EXPECT_EQ(host->Active().Directory(), before);
}

TEST_F(ThroughHost, ClosingHandsOverTheDirectoryOfTheLaterOpening) {
    dir.MakeDir("left");
    dir.MakeDir("right");
    standin::HostOptions options = Options();
    options.leftDirectory = dir.Win("left");
    options.rightDirectory = dir.Win("right");
    Load(options);
    ASSERT_TRUE(host->OpenPanelOn(Side::Left)) << host->LastError();
    ASSERT_TRUE(host->OpenPanelOn(Side::Right)) << host->LastError();
    host->ClosePanelOn(Side::Left);
    EXPECT_EQ(host->Left().Directory(), dir.Win("right"));
    host->ClosePanelOn(Side::Right);
    EXPECT_EQ(host->Right().Directory(), dir.Win("right"));
}

TEST_F(ThroughHost, OpenedTheSameWayFromEveryPlace) {
    Load();
    for (int openFrom : {OPEN_DISKMENU, OPEN_PLUGINSMENU, OPEN_COMMANDLINE}) {
        static const char commandText[] = "anything at all";
        INT_PTR item = openFrom == OPEN_COMMANDLINE ? reinterpret_cast<INT_PTR>(commandText) : 0;
        ASSERT_TRUE(host->OpenPanel(openFrom, item)) << openFrom;
        EXPECT_EQ(host->Active().CurDir(), "");
        host->ClosePanel();
    }
}

// An own address that does not parse is refused: the box names the text and the address form,
// and the dialog comes back with every field as it was typed, until an address parses or the
// user gives up (then nothing is stored).
TEST_F(ThroughHost, AnOwnAddressThatDoesNotParseIsRefused) {
    Load();
    auto refusal = [&](const std::string &typed) {
        return Expect::Message(Text(MsgConfigTitle))
            .Warning()
            .Check([&, typed](const ShownBox &box) -> std::string {
                std::vector<std::string> lines = {Text(MsgBadAddress), typed, Text(MsgAddressForm)};
                return box.texts == lines ? "" : "lines differ";
            })
            .Press(0);
    };
    // A path typed in the wrong field, an empty one, numbers that would wrap, a bad point.
    for (const char *typed : {"Z:\\fido\\out", "", "2:5020/65536", "99999:1/1", "2:5020/1.x"}) {
        SCOPED_TRACE(typed);
        front.Expect(Expect::Dialog("BSOCfg")
                         .Edit(ConfigItem("Address"), typed)
                         .Edit(ConfigItem("PathToOutbound"), "Z:\\fido")
                         .Default());
        front.Expect(refusal(typed));
        front.Expect(Expect::Dialog("BSOCfg")
                         .ItemText(ConfigItem("Address"), typed)
                         .ItemText(ConfigItem("PathToOutbound"), "Z:\\fido")
                         .Esc());
        EXPECT_EQ(host->Configure(0), 0);
        EXPECT_EQ(front.Verify(), "");
        EXPECT_FALSE(KeyExists(key));
    }
    // Corrected in the dialog that came back: stored as typed.
    front.Expect(Expect::Dialog("BSOCfg").Edit(ConfigItem("Address"), "2:5020/65536").Default());
    front.Expect(refusal("2:5020/65536"));
    front.Expect(Expect::Dialog("BSOCfg").Edit(ConfigItem("Address"), "2:5020/65535.1").Default());
    EXPECT_EQ(host->Configure(0), 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(StoredText("Address"), "2:5020/65535.1");
}

// A stored own address that does not parse is named once, when the first panel opens, with
// the placeholder used instead; the next panel opens without the box.
TEST_F(ThroughHost, AStoredOwnAddressThatDoesNotParseIsReportedOnce) {
    WriteTextValue(key, "Address", "Z:\\fido\\out");
    WriteTextValue(key, "PathToOutbound", dir.Win());
    Load();
    front.Expect(Expect::Message(Text(MsgWarning))
                     .Warning()
                     .Check([&](const ShownBox &box) -> std::string {
                         std::vector<std::string> lines = {
                             Text(MsgOwnAddressInvalid), "Z:\\fido\\out",
                             Text(MsgDefaultAddressUsed), "2:9999/9999"};
                         return box.texts == lines ? "" : "lines differ";
                     })
                     .Press(0));
    ASSERT_TRUE(host->OpenPanel());
    EXPECT_EQ(front.Verify(), "");
    host->ClosePanel();
    ASSERT_TRUE(host->OpenPanel());
    EXPECT_EQ(front.Verify(), "");
    host->ClosePanel();
}

} // namespace
