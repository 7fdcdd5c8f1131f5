// The plugin's sixteen settings, each named after its registry value. Read once at start-up,
// written back by the configuration dialog.
#ifndef BSOPANEL_SETTINGS_SETTINGS_H
#define BSOPANEL_SETTINGS_SETTINGS_H

#include <windows.h>

#include <stddef.h>

#include "bso/address.h"
#include "bso/outbound.h"

struct PluginSettings {
    int AddToDisksMenu;
    int DisksMenuDigit;
    int LinksPanelMode;
    int FilesPanelMode;
    int NoChangePanelMode;
    char PathToOutbound[256];
    char Address[256];
    int PollFlavor;
    int AttachFlavor;
    int AutoRefresh;
    int AgeMarkDays;         // a queue older than this many days is marked; 0: no mark
    int StaleBusyHours;      // a busy flag older than this many hours is stale
    int OldEmptyBundleDays;  // the health check's age of an old empty bundle
    int FlowFileCodePage;    // names in flow files: 0 ANSI, 1 OEM
    char NodelistPath[256];  // a nodelist, or the base name of its day files; empty: none
    char PointlistPath[256]; // a point list in the "Boss," form; empty: none
};

// Defaults of the two: a week, and twice a long session.
const int DefaultAgeMarkDays = 7;
const int DefaultStaleBusyHours = 6;

extern PluginSettings Settings;

// How a setting is stored, shown and read back.
enum SettingKind {
    FlagSetting,   // a DWORD; a check box
    DigitSetting,  // a DWORD; a digit field, blank for 0
    NumberSetting, // a DWORD; a digit field
    CountSetting,  // a DWORD held below 2^31; an edit field, a negative number read as 0
    FlavorSetting, // a DWORD reduced to the group's Limit buttons; a radio group
    TextSetting,   // a string of at most SettingsTextLimit bytes; an edit field
    PathSetting,   // a TextSetting kept without a trailing backslash
};

// One row per setting, in the order they are written and shown in the configuration dialog:
// the registry value's name, its kind and default, the message of its dialog label, the number
// of buttons of a radio group (the first ones of the flavor table), and the field of
// PluginSettings.
struct SettingRow {
    const char *Name;
    SettingKind Kind;
    DWORD Default;
    const char *DefaultText;
    int LabelId;
    int Limit;
    size_t Offset;
};
const int SettingCount = 16;
extern const SettingRow SettingRows[SettingCount];

// The field of the row in the record: an int, or for the texts a char[256].
int *SettingNumber(PluginSettings *Record, const SettingRow &Row);
char *SettingText(PluginSettings *Record, const SettingRow &Row);

// The own address used until the sysop sets one: a zone 2 placeholder that names no real node
// (net 9999 does not exist), so that a forgotten setting is plain to see.
extern const char DefaultOwnAddress[];

// The most bytes a stored settings text may take with its terminating zero; a longer one counts
// as missing. So the two texts hold at most 254 characters, and the dialog keeps to that, so
// that whatever it saves is read back at the next start.
const DWORD SettingsTextLimit = 255;

// A PathToOutbound stored too long for the plugin (it has no outbound then, and says why when
// a panel opens): the start of the stored text with "..." behind it; empty when there is none.
const size_t OverlongPathShown = 64;
extern char OutboundPathTooLong[OverlongPathShown];

// HKEY_CURRENT_USER\<host's RootKey>\KESTREL holds the sixteen values. Empty when the store is
// unavailable: a root key that leaves no room for "\KESTREL" in the 80-byte path (or none at
// all). Then every read gives the default and nothing is written, since a cut-off path would
// name another program's key.
extern char SettingsKeyPath[80];
void BuildSettingsKeyPath(const char *RootKey);

// Each opens the key SettingsKeyPath[\SubKey] for its one value and closes it again.
// A missing key or value, or stored data longer than 4 bytes, gives the default. Data shorter
// than 4 bytes is read with the bytes it does not fill as zero.
DWORD ReadSettingDword(HKEY Hive, const char *SubKey, const char *Name, DWORD Default);
// Reads into Buffer, which holds SizeLimit bytes; stored data that needs more than SizeLimit
// bytes with its terminating zero counts as missing. Returns 1 when the stored text was read,
// 0 when Default was copied.
int ReadSettingString(HKEY Hive, const char *SubKey, const char *Name, char *Buffer,
                      const char *Default, DWORD SizeLimit);
// Create missing keys on the path. Failures are not reported: the value in memory stays.
void WriteSettingDword(HKEY Hive, const char *SubKey, const char *Name, DWORD Value);
void WriteSettingString(HKEY Hive, const char *SubKey, const char *Name, const char *Text);

// Sets every field from the registry or its default; writes nothing.
void LoadSettings();
// Writes all sixteen values, changed or not.
void SaveSettings();

// Removes one trailing backslash, if there is one.
void StripTrailingBackslash(char *Text);

// The own address: the Address setting parsed without a base, or DefaultOwnAddress when it
// does not parse (a wrong setting must not turn into zone 0 and make paths of nobody's links).
// Returns 1 when the setting itself parsed.
int ParseOwnAddress(FtnAddress *Own);

// The outbound configuration of one command or listing: PathToOutbound and the own address
// (ParseOwnAddress, the placeholder when the setting does not parse). Returns what
// ParseOwnAddress returns.
int LoadOutboundConfig(OutboundConfig *Config);

#endif
