#include "settings/settings.h"

#include "common/helpers.h"

#include "shell/messages.h"

#include <stdio.h>
#include <string.h>

PluginSettings Settings;

const SettingRow SettingRows[SettingCount] = {
    {"AddToDisksMenu", FlagSetting, 1, nullptr, MsgConfigAddToDisksMenu, 0,
     offsetof(PluginSettings, AddToDisksMenu)},
    {"DisksMenuDigit", DigitSetting, 3, nullptr, MsgConfigDisksMenuDigit, 0,
     offsetof(PluginSettings, DisksMenuDigit)},
    {"LinksPanelMode", NumberSetting, 3, nullptr, MsgConfigLinksMode, 0,
     offsetof(PluginSettings, LinksPanelMode)},
    {"FilesPanelMode", NumberSetting, 3, nullptr, MsgConfigFilesMode, 0,
     offsetof(PluginSettings, FilesPanelMode)},
    {"NoChangePanelMode", FlagSetting, 0, nullptr, MsgConfigNoChangeMode, 0,
     offsetof(PluginSettings, NoChangePanelMode)},
    {"PathToOutbound", PathSetting, 0, "", MsgConfigOutboundPath, 0,
     offsetof(PluginSettings, PathToOutbound)},
    {"Address", TextSetting, 0, DefaultOwnAddress, MsgConfigAddress, 0,
     offsetof(PluginSettings, Address)},
    {"AttachFlavor", FlavorSetting, 3, nullptr, MsgConfigAttachFlavor, FlavorCount,
     offsetof(PluginSettings, AttachFlavor)},
    // The poll offers no hold.
    {"PollFlavor", FlavorSetting, 3, nullptr, MsgConfigPollFlavor, FlavorCount - 1,
     offsetof(PluginSettings, PollFlavor)},
    {"AutoRefresh", FlagSetting, 1, nullptr, MsgConfigAutoRefresh, 0,
     offsetof(PluginSettings, AutoRefresh)},
    {"AgeMarkDays", CountSetting, DefaultAgeMarkDays, nullptr, MsgConfigAgeMark, 0,
     offsetof(PluginSettings, AgeMarkDays)},
    {"StaleBusyHours", CountSetting, DefaultStaleBusyHours, nullptr, MsgConfigStaleBusy, 0,
     offsetof(PluginSettings, StaleBusyHours)},
    {"OldEmptyBundleDays", CountSetting, 30, nullptr, MsgConfigOldEmptyDays, 0,
     offsetof(PluginSettings, OldEmptyBundleDays)},
    // 0: ANSI, as Windows mailers write; 1: OEM, for DOS-era ones.
    {"FlowFileCodePage", FlagSetting, 0, nullptr, MsgConfigFlowCodePage, 0,
     offsetof(PluginSettings, FlowFileCodePage)},
    {"NodelistPath", TextSetting, 0, "", MsgConfigNodelistPath, 0,
     offsetof(PluginSettings, NodelistPath)},
    {"PointlistPath", TextSetting, 0, "", MsgConfigPointlistPath, 0,
     offsetof(PluginSettings, PointlistPath)},
};

int *SettingNumber(PluginSettings *Record, const SettingRow &Row) {
    return reinterpret_cast<int *>(reinterpret_cast<char *>(Record) + Row.Offset);
}

char *SettingText(PluginSettings *Record, const SettingRow &Row) {
    return reinterpret_cast<char *>(Record) + Row.Offset;
}

const char DefaultOwnAddress[] = "2:9999/9999";

char OutboundPathTooLong[OverlongPathShown];

char SettingsKeyPath[80];

void BuildSettingsKeyPath(const char *RootKey) {
    SettingsKeyPath[0] = 0;
    if (!RootKey) return;
    int length = snprintf(SettingsKeyPath, sizeof(SettingsKeyPath), "%s\\KESTREL", RootKey);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(SettingsKeyPath))
        SettingsKeyPath[0] = 0;
}

// The key of one value: SettingsKeyPath, then "\" and SubKey when SubKey is not empty.
// Fails when the store is unavailable or the path does not fit.
static bool BuildValueKeyPath(const char *SubKey, char (&KeyPath)[512]) {
    if (!SettingsKeyPath[0]) return false;
    int length = snprintf(KeyPath, sizeof(KeyPath), "%s%s%s", SettingsKeyPath,
                          SubKey && *SubKey ? "\\" : "", SubKey ? SubKey : "");
    return length >= 0 && static_cast<size_t>(length) < sizeof(KeyPath);
}

// Reads a value into Data (Size bytes); returns the number of bytes read, or -1.
static long QueryValue(HKEY Hive, const char *SubKey, const char *Name, void *Data, DWORD Size) {
    char keyPath[512];
    if (!BuildValueKeyPath(SubKey, keyPath)) return -1;
    HKEY key;
    if (RegOpenKeyExA(Hive, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return -1;
    DWORD size = Size;
    LSTATUS status =
        RegQueryValueExA(key, Name, nullptr, nullptr, static_cast<BYTE *>(Data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > Size) return -1;
    return static_cast<long>(size);
}

static void SetValue(HKEY Hive, const char *SubKey, const char *Name, DWORD Type, const void *Data,
                     DWORD Size) {
    char keyPath[512];
    if (!BuildValueKeyPath(SubKey, keyPath)) return;
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(Hive, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, Name, 0, Type, static_cast<const BYTE *>(Data), Size);
    RegCloseKey(key);
}

DWORD ReadSettingDword(HKEY Hive, const char *SubKey, const char *Name, DWORD Default) {
    DWORD value = 0;
    return QueryValue(Hive, SubKey, Name, &value, sizeof(value)) < 0 ? Default : value;
}

int ReadSettingString(HKEY Hive, const char *SubKey, const char *Name, char *Buffer,
                      const char *Default, DWORD SizeLimit) {
    if (SizeLimit == 0) return 0;
    long size = QueryValue(Hive, SubKey, Name, Buffer, SizeLimit);
    if (size >= 0) {
        // Stored data need not end in a zero; it must still leave room for one.
        if (size > 0 && Buffer[size - 1] == 0) return 1;
        if (static_cast<DWORD>(size) < SizeLimit) {
            Buffer[size] = 0;
            return 1;
        }
    }
    size_t length = strlen(Default);
    if (length >= SizeLimit) length = SizeLimit - 1;
    memcpy(Buffer, Default, length);
    Buffer[length] = 0;
    return 0;
}

void WriteSettingDword(HKEY Hive, const char *SubKey, const char *Name, DWORD Value) {
    SetValue(Hive, SubKey, Name, REG_DWORD, &Value, sizeof(Value));
}

void WriteSettingString(HKEY Hive, const char *SubKey, const char *Name, const char *Text) {
    SetValue(Hive, SubKey, Name, REG_SZ, Text, static_cast<DWORD>(strlen(Text) + 1));
}

void StripTrailingBackslash(char *Text) {
    size_t length = strlen(Text);
    if (length > 0 && Text[length - 1] == '\\') Text[length - 1] = 0;
}

// Fills OutboundPathTooLong when a stored PathToOutbound is a text that the plugin's buffer
// cannot hold: its start, "..." behind it.
static void NoteOverlongOutboundPath(HKEY Hive) {
    OutboundPathTooLong[0] = 0;
    char keyPath[512];
    if (!BuildValueKeyPath("", keyPath)) return;
    HKEY key;
    if (RegOpenKeyExA(Hive, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "PathToOutbound", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ && size > SettingsTextLimit) {
        char text[1024];
        DWORD got = sizeof(text);
        size_t start = 0;
        if (RegQueryValueExA(key, "PathToOutbound", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(text), &got) == ERROR_SUCCESS)
            start = sizeof(OutboundPathTooLong) - 4;
        memcpy(OutboundPathTooLong, text, start);
        memcpy(OutboundPathTooLong + start, "...", 4);
    }
    RegCloseKey(key);
}

void LoadSettings() {
    HKEY hive = HKEY_CURRENT_USER;
    for (const SettingRow &row : SettingRows) {
        if (row.Kind == TextSetting || row.Kind == PathSetting) {
            char *text = SettingText(&Settings, row);
            bool read = ReadSettingString(hive, "", row.Name, text, row.DefaultText,
                                          SettingsTextLimit) != 0;
            if (row.Kind == PathSetting) {
                if (read)
                    OutboundPathTooLong[0] = 0;
                else
                    NoteOverlongOutboundPath(hive);
                StripTrailingBackslash(text);
            }
            continue;
        }
        DWORD value = ReadSettingDword(hive, "", row.Name, row.Default);
        // Reduced as unsigned, so that any stored number, high bit included, names a flavor.
        if (row.Kind == FlavorSetting) value %= static_cast<DWORD>(row.Limit);
        // Held below 2^31 so that a stored high bit is no negative count.
        if (row.Kind == CountSetting) value &= 0x7FFFFFFF;
        *SettingNumber(&Settings, row) = static_cast<int>(value);
    }
    FlowFilesInOem = Settings.FlowFileCodePage != 0;
}

void SaveSettings() {
    HKEY hive = HKEY_CURRENT_USER;
    for (const SettingRow &row : SettingRows) {
        if (row.Kind == TextSetting || row.Kind == PathSetting)
            WriteSettingString(hive, "", row.Name, SettingText(&Settings, row));
        else
            WriteSettingDword(hive, "", row.Name,
                              static_cast<DWORD>(*SettingNumber(&Settings, row)));
    }
}

int ParseOwnAddress(FtnAddress *Own) {
    if (ParseAddress(Own, Settings.Address, nullptr)) return 1;
    ParseAddress(Own, DefaultOwnAddress, nullptr);
    return 0;
}

int LoadOutboundConfig(OutboundConfig *Config) {
    FlowFilesInOem = Settings.FlowFileCodePage != 0; // the dialog may have changed it
    memcpy(Config->Root, Settings.PathToOutbound, sizeof(Config->Root));
    Config->Root[sizeof(Config->Root) - 1] = '\0';
    return ParseOwnAddress(&Config->Own);
}
