#include "settings/settings.h"

#include <stdio.h>
#include <string.h>

PluginSettings Settings;

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
    Settings.AddToDisksMenu = static_cast<int>(ReadSettingDword(hive, "", "AddToDisksMenu", 1));
    Settings.AutoRefresh = static_cast<int>(ReadSettingDword(hive, "", "AutoRefresh", 1));
    Settings.DisksMenuDigit = static_cast<int>(ReadSettingDword(hive, "", "DisksMenuDigit", 3));
    Settings.LinksPanelMode = static_cast<int>(ReadSettingDword(hive, "", "LinksPanelMode", 3));
    Settings.FilesPanelMode = static_cast<int>(ReadSettingDword(hive, "", "FilesPanelMode", 3));
    Settings.NoChangePanelMode =
        static_cast<int>(ReadSettingDword(hive, "", "NoChangePanelMode", 0));
    // Reduced as unsigned, so that any stored number, high bit included, names a flavor.
    Settings.AttachFlavor = static_cast<int>(ReadSettingDword(hive, "", "AttachFlavor", 3) % 5);
    Settings.PollFlavor = static_cast<int>(ReadSettingDword(hive, "", "PollFlavor", 3) % 4);
    if (!ReadSettingString(hive, "", "PathToOutbound", Settings.PathToOutbound, "",
                           SettingsTextLimit))
        NoteOverlongOutboundPath(hive);
    else
        OutboundPathTooLong[0] = 0;
    StripTrailingBackslash(Settings.PathToOutbound);
    ReadSettingString(hive, "", "Address", Settings.Address, DefaultOwnAddress, SettingsTextLimit);
    Settings.OldEmptyBundleDays =
        static_cast<int>(ReadSettingDword(hive, "", "OldEmptyBundleDays", 30) & 0x7FFFFFFF);
}

void SaveSettings() {
    HKEY hive = HKEY_CURRENT_USER;
    WriteSettingDword(hive, "", "AddToDisksMenu", static_cast<DWORD>(Settings.AddToDisksMenu));
    WriteSettingDword(hive, "", "DisksMenuDigit", static_cast<DWORD>(Settings.DisksMenuDigit));
    WriteSettingDword(hive, "", "LinksPanelMode", static_cast<DWORD>(Settings.LinksPanelMode));
    WriteSettingDword(hive, "", "FilesPanelMode", static_cast<DWORD>(Settings.FilesPanelMode));
    WriteSettingDword(hive, "", "NoChangePanelMode",
                      static_cast<DWORD>(Settings.NoChangePanelMode));
    WriteSettingString(hive, "", "PathToOutbound", Settings.PathToOutbound);
    WriteSettingString(hive, "", "Address", Settings.Address);
    WriteSettingDword(hive, "", "AttachFlavor", static_cast<DWORD>(Settings.AttachFlavor));
    WriteSettingDword(hive, "", "PollFlavor", static_cast<DWORD>(Settings.PollFlavor));
    WriteSettingDword(hive, "", "AutoRefresh", static_cast<DWORD>(Settings.AutoRefresh));
    WriteSettingDword(hive, "", "OldEmptyBundleDays",
                      static_cast<DWORD>(Settings.OldEmptyBundleDays));
}

int ParseOwnAddress(FtnAddress *Own) {
    if (ParseAddress(Own, Settings.Address, nullptr)) return 1;
    ParseAddress(Own, DefaultOwnAddress, nullptr);
    return 0;
}
