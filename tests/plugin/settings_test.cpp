// The settings store against a registry of the test's own.
#include "settings/settings.h"

#include "settings/config_dialog.h"

#include "registry_values.h"
#include "scripted_frontend.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSettingsKeyPath(registry.RootKey().c_str());
        ASSERT_NE(SettingsKeyPath[0], 0) << registry.RootKey();
        key = SettingsKeyPath;
        // Garbage everywhere, so that a field LoadSettings forgets shows.
        memset(&Settings, 0x5A, sizeof(Settings));
    }
    void TearDown() override { SettingsKeyPath[0] = 0; }

    TempDir dir;
    standin::TestRegistry registry{dir.Win()};
    std::string key;
};

TEST_F(SettingsStore, KeyPathIsTheRootKeyAndKestrel) {
    EXPECT_EQ(key, registry.RootKey() + "\\KESTREL");
}

TEST_F(SettingsStore, FirstRunGivesDefaultsAndCreatesNoKey) {
    LoadSettings();
    EXPECT_EQ(Settings.AddToDisksMenu, 1);
    EXPECT_EQ(Settings.AutoRefresh, 1);
    EXPECT_EQ(Settings.DisksMenuDigit, 3);
    EXPECT_EQ(Settings.LinksPanelMode, 3);
    EXPECT_EQ(Settings.FilesPanelMode, 3);
    EXPECT_EQ(Settings.NoChangePanelMode, 0);
    EXPECT_EQ(Settings.AttachFlavor, 3);
    EXPECT_EQ(Settings.PollFlavor, 3);
    EXPECT_STREQ(Settings.PathToOutbound, "");
    EXPECT_STREQ(Settings.Address, DefaultOwnAddress);
    EXPECT_STREQ(DefaultOwnAddress, "2:9999/9999");
    EXPECT_EQ(Settings.OldEmptyBundleDays, 30);
    EXPECT_FALSE(KeyExists(key));
}

TEST_F(SettingsStore, StoredValuesAreReadBackAsStored) {
    // Out-of-range numbers are taken as stored; only the flavors are brought into range.
    WriteDwordValue(key, "AddToDisksMenu", 0);
    WriteDwordValue(key, "AutoRefresh", 0);
    WriteDwordValue(key, "DisksMenuDigit", 42);
    WriteDwordValue(key, "LinksPanelMode", 5);
    WriteDwordValue(key, "FilesPanelMode", 0xFFFFFFFF);
    WriteDwordValue(key, "NoChangePanelMode", 7);
    WriteDwordValue(key, "AttachFlavor", 4);
    WriteDwordValue(key, "PollFlavor", 0);
    WriteTextValue(key, "PathToOutbound", "Z:\\fido\\out");
    WriteTextValue(key, "Address", "not an address");
    WriteDwordValue(key, "OldEmptyBundleDays", 0xFFFFFFFF); // a count: held below 2^31
    LoadSettings();
    EXPECT_EQ(Settings.OldEmptyBundleDays, 0x7FFFFFFF);
    EXPECT_EQ(Settings.AddToDisksMenu, 0);
    EXPECT_EQ(Settings.AutoRefresh, 0);
    EXPECT_EQ(Settings.DisksMenuDigit, 42);
    EXPECT_EQ(Settings.LinksPanelMode, 5);
    EXPECT_EQ(Settings.FilesPanelMode, -1);
    EXPECT_EQ(Settings.NoChangePanelMode, 7);
    EXPECT_EQ(Settings.AttachFlavor, 4);
    EXPECT_EQ(Settings.PollFlavor, 0);
    EXPECT_STREQ(Settings.PathToOutbound, "Z:\\fido\\out");
    EXPECT_STREQ(Settings.Address, "not an address");
}

TEST_F(SettingsStore, FlavorsAreReducedAsUnsignedNumbers) {
    struct Case {
        DWORD stored;
        int attach; // remainder of 5
        int poll;   // remainder of 4
    };
    const Case cases[] = {
        {7, 2, 3},           {5, 0, 1}, {3, 3, 3},
        {0x80000001u, 4, 1}, // taken as signed it would leave a negative remainder
        {0xFFFFFFFFu, 0, 3},
    };
    for (const Case &c : cases) {
        WriteDwordValue(key, "AttachFlavor", c.stored);
        WriteDwordValue(key, "PollFlavor", c.stored);
        LoadSettings();
        EXPECT_EQ(Settings.AttachFlavor, c.attach) << std::hex << c.stored;
        EXPECT_EQ(Settings.PollFlavor, c.poll) << std::hex << c.stored;
    }
}

TEST_F(SettingsStore, OneTrailingBackslashIsDroppedFromTheOutboundPath) {
    const std::pair<const char *, const char *> cases[] = {
        {"Z:\\fido\\out\\", "Z:\\fido\\out"},
        {"Z:\\fido\\out\\\\", "Z:\\fido\\out\\"},
        {"Z:\\fido\\out", "Z:\\fido\\out"},
        {"\\", ""},
        {"", ""},
    };
    for (const auto &[stored, loaded] : cases) {
        WriteTextValue(key, "PathToOutbound", stored);
        LoadSettings();
        EXPECT_STREQ(Settings.PathToOutbound, loaded) << stored;
    }
}

TEST(StripTrailingBackslash, RemovesOnlyOne) {
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\", "C:"}, {"a\\\\", "a\\"}, {"a", "a"}, {"", ""}, {"\\a", "\\a"}};
    for (const auto &[text, stripped] : cases) {
        char buffer[16];
        strcpy(buffer, text);
        StripTrailingBackslash(buffer);
        EXPECT_STREQ(buffer, stripped) << text;
    }
}

TEST_F(SettingsStore, TextsThatNeedMoreThan255BytesCountAsMissing) {
    const std::string fits(254, 'a');    // 255 bytes with the zero
    const std::string tooLong(255, 'b'); // 256 bytes with the zero
    WriteTextValue(key, "PathToOutbound", fits);
    WriteTextValue(key, "Address", fits);
    LoadSettings();
    EXPECT_EQ(Settings.PathToOutbound, fits);
    EXPECT_EQ(Settings.Address, fits);

    WriteTextValue(key, "PathToOutbound", tooLong);
    WriteTextValue(key, "Address", tooLong);
    LoadSettings();
    EXPECT_STREQ(Settings.PathToOutbound, "");
    EXPECT_STREQ(Settings.Address, DefaultOwnAddress);
}

TEST_F(SettingsStore, StoredTextWithoutTerminatingZeroIsTerminated) {
    WriteRawValue(key, "Address", REG_BINARY, "1:2/3");
    WriteRawValue(key, "PathToOutbound", REG_BINARY, std::string(255, 'c')); // no room left
    LoadSettings();
    EXPECT_STREQ(Settings.Address, "1:2/3");
    EXPECT_STREQ(Settings.PathToOutbound, "");
}

TEST_F(SettingsStore, NumbersStoredInOtherShapes) {
    // Longer than 4 bytes: missing. Shorter: read, the rest zero.
    WriteRawValue(key, "DisksMenuDigit", REG_BINARY, std::string("\x07\0\0\0\0\0\0\0", 8));
    WriteRawValue(key, "LinksPanelMode", REG_BINARY, std::string("\x04\x01", 2));
    WriteRawValue(key, "FilesPanelMode", REG_SZ, std::string("4\0", 2));
    LoadSettings();
    EXPECT_EQ(Settings.DisksMenuDigit, 3);
    EXPECT_EQ(Settings.LinksPanelMode, 0x104);
    EXPECT_EQ(Settings.FilesPanelMode, '4');
}

TEST_F(SettingsStore, SaveWritesEveryValueWithItsType) {
    Settings = PluginSettings{};
    Settings.AddToDisksMenu = 1;
    Settings.DisksMenuDigit = 0;
    Settings.LinksPanelMode = 4;
    Settings.FilesPanelMode = 5;
    Settings.NoChangePanelMode = 1;
    strcpy(Settings.PathToOutbound, "Z:\\out");
    strcpy(Settings.Address, "2:5020/1");
    Settings.PollFlavor = 1;
    Settings.AttachFlavor = 4;
    Settings.AutoRefresh = 0;
    Settings.OldEmptyBundleDays = 7;
    Settings.FlowFileCodePage = 1;
    SaveSettings();

    const std::pair<const char *, DWORD> numbers[] = {
        {"AddToDisksMenu", 1},  {"DisksMenuDigit", 0},    {"LinksPanelMode", 4},
        {"FilesPanelMode", 5},  {"NoChangePanelMode", 1}, {"PollFlavor", 1},
        {"AttachFlavor", 4},    {"AutoRefresh", 0},       {"OldEmptyBundleDays", 7},
        {"FlowFileCodePage", 1}};
    for (const auto &[name, number] : numbers) {
        auto value = ReadRawValue(key, name);
        ASSERT_TRUE(value) << name;
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(value->data, std::string(reinterpret_cast<const char *>(&number), 4)) << name;
    }
    const std::pair<const char *, std::string> texts[] = {
        {"PathToOutbound", std::string("Z:\\out", 7)}, {"Address", std::string("2:5020/1", 9)}};
    for (const auto &[name, text] : texts) {
        auto value = ReadRawValue(key, name);
        ASSERT_TRUE(value) << name;
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(value->data, text) << name;
    }

    PluginSettings saved = Settings;
    memset(&Settings, 0x5A, sizeof(Settings));
    LoadSettings();
    EXPECT_EQ(Settings.AddToDisksMenu, saved.AddToDisksMenu);
    EXPECT_EQ(Settings.DisksMenuDigit, saved.DisksMenuDigit);
    EXPECT_EQ(Settings.LinksPanelMode, saved.LinksPanelMode);
    EXPECT_EQ(Settings.FilesPanelMode, saved.FilesPanelMode);
    EXPECT_EQ(Settings.NoChangePanelMode, saved.NoChangePanelMode);
    EXPECT_STREQ(Settings.PathToOutbound, saved.PathToOutbound);
    EXPECT_STREQ(Settings.Address, saved.Address);
    EXPECT_EQ(Settings.PollFlavor, saved.PollFlavor);
    EXPECT_EQ(Settings.AttachFlavor, saved.AttachFlavor);
    EXPECT_EQ(Settings.OldEmptyBundleDays, saved.OldEmptyBundleDays);
    EXPECT_EQ(Settings.AutoRefresh, saved.AutoRefresh);
}

// A root key that leaves no room for "\KESTREL" disables the store rather than cutting the path,
// which would name some other key.
TEST_F(SettingsStore, RootKeyTooLongForTheKeyPathDisablesTheStore) {
    std::string root = registry.RootKey() + "\\";
    const size_t fitting = sizeof(SettingsKeyPath) - 1 - strlen("\\KESTREL");
    ASSERT_LT(root.size(), fitting);
    std::string longest = root + std::string(fitting - root.size(), 'k');
    BuildSettingsKeyPath(longest.c_str());
    EXPECT_EQ(std::string(SettingsKeyPath), longest + "\\KESTREL");

    std::string tooLong = longest + "k";
    BuildSettingsKeyPath(tooLong.c_str());
    EXPECT_STREQ(SettingsKeyPath, "");
    Settings = PluginSettings{};
    SaveSettings();
    EXPECT_FALSE(KeyExists(registry.RootKey()));
    LoadSettings();
    EXPECT_EQ(Settings.AddToDisksMenu, 1);
    EXPECT_STREQ(Settings.Address, DefaultOwnAddress);

    BuildSettingsKeyPath(nullptr);
    EXPECT_STREQ(SettingsKeyPath, "");
}

TEST_F(SettingsStore, SubKeyNamesAreJoinedWithABackslash) {
    WriteSettingDword(HKEY_CURRENT_USER, "Sub", "Value", 9);
    EXPECT_EQ(ReadSettingDword(HKEY_CURRENT_USER, "Sub", "Value", 1), 9u);
    EXPECT_TRUE(KeyExists(key + "\\Sub"));
    WriteSettingString(HKEY_CURRENT_USER, "", "Text", "abc");
    char buffer[8];
    EXPECT_EQ(ReadSettingString(HKEY_CURRENT_USER, "", "Text", buffer, "default", sizeof(buffer)),
              1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(ReadSettingString(HKEY_CURRENT_USER, "", "None", buffer, "default", sizeof(buffer)),
              0);
    EXPECT_STREQ(buffer, "default");
    // A default longer than the buffer is cut, never written past it.
    EXPECT_EQ(ReadSettingString(HKEY_CURRENT_USER, "", "None", buffer, "much too long", 8), 0);
    EXPECT_STREQ(buffer, "much to");
}

} // namespace

namespace {

// The table names every field once and lays out the dialog: each row's item is the kind of
// item that shows that kind of setting, its label just before it (a check box carries it
// itself), every item inside the frame, no two on the same cells, and the buttons last.
TEST(SettingsTable, EachFieldOnceAndTheDialogComesFromTheTable) {
    ConfigDialogLayout layout;
    BuildConfigDialog(&layout);
    ASSERT_EQ(layout.Ok, ConfigOkItem());
    ASSERT_EQ(layout.Count, layout.Ok + 2);
    const DialogTemplateItem *items = layout.Items;
    const DialogTemplateItem &frame = items[0];
    EXPECT_EQ(frame.Type, DI_DOUBLEBOX);
    EXPECT_EQ(layout.Height, frame.Y2 + 2);
    EXPECT_EQ(layout.Width, frame.X2 + 4);
    std::set<size_t> offsets;
    std::set<std::string> names;
    std::set<int> shown;
    for (const SettingRow &row : SettingRows) {
        SCOPED_TRACE(row.Name);
        offsets.insert(row.Offset);
        names.insert(row.Name);
        int at = ConfigItem(row.Name);
        ASSERT_GT(at, 0);
        ASSERT_LT(at, layout.Ok);
        shown.insert(at);
        const DialogTemplateItem &item = items[at];
        switch (row.Kind) {
        case FlagSetting:
            EXPECT_EQ(item.Type, DI_CHECKBOX);
            EXPECT_EQ(item.Data, static_cast<uintptr_t>(row.LabelId));
            break;
        case FlavorSetting:
            EXPECT_EQ(item.Flags & DIF_GROUP, static_cast<DWORD>(DIF_GROUP));
            for (int i = 0; i < row.Limit; ++i) {
                EXPECT_EQ(items[at + i].Type, DI_RADIOBUTTON);
                EXPECT_EQ(items[at + i].Y1, item.Y1 + i);
            }
            EXPECT_NE(items[at + row.Limit].Type, DI_RADIOBUTTON);
            EXPECT_EQ(items[at - 1].Data, static_cast<uintptr_t>(row.LabelId));
            EXPECT_EQ(items[at - 1].Y1, item.Y1 - 1);
            break;
        default:
            EXPECT_TRUE(item.Type == DI_EDIT || item.Type == DI_FIXEDIT) << int(item.Type);
            EXPECT_EQ(items[at - 1].Type, DI_TEXT);
            EXPECT_EQ(items[at - 1].Data, static_cast<uintptr_t>(row.LabelId));
            EXPECT_EQ(items[at - 1].Y1, item.Y1);
            EXPECT_LT(items[at - 1].X2, item.X1);
        }
    }
    EXPECT_EQ(offsets.size(), static_cast<size_t>(SettingCount));
    EXPECT_EQ(names.size(), static_cast<size_t>(SettingCount));
    EXPECT_EQ(shown.size(), static_cast<size_t>(SettingCount));
    EXPECT_EQ(ConfigItem("NoSuchSetting"), -1);
    // Inside the frame, and no cell taken twice (a text or box counts from X1 to X2 on Y1).
    std::set<std::pair<int, int>> cells;
    for (int i = 1; i < layout.Count; ++i) {
        const DialogTemplateItem &item = items[i];
        SCOPED_TRACE(i);
        EXPECT_GT(item.Y1, frame.Y1);
        EXPECT_LT(item.Y1, frame.Y2);
        if (item.Type == DI_BUTTON || (item.Flags & DIF_SEPARATOR))
            continue; // centred buttons and the separator line
        EXPECT_GT(item.X1, frame.X1);
        int right = item.X2 ? item.X2 : item.X1;
        EXPECT_LT(right, frame.X2);
        for (int x = item.X1; x <= right; ++x)
            EXPECT_TRUE(cells.insert({x, item.Y1}).second) << x << "," << int(item.Y1);
    }
    EXPECT_EQ(items[layout.Ok].Type, DI_BUTTON);
    EXPECT_EQ(items[layout.Ok + 1].Type, DI_BUTTON);
}

} // namespace
