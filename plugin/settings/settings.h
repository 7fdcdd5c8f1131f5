// The plugin's eleven settings, each named after its registry value. Read once at start-up,
// written back by the configuration dialog.
#ifndef BSOPANEL_SETTINGS_SETTINGS_H
#define BSOPANEL_SETTINGS_SETTINGS_H

#include <windows.h>

#include "bso/address.h"

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
    int OldEmptyBundleDays; // the health check's age of an old empty bundle
};

extern PluginSettings Settings;

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

// HKEY_CURRENT_USER\<host's RootKey>\KESTREL holds the eleven values. Empty when the store is
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
// Writes all eleven values, changed or not.
void SaveSettings();

// Removes one trailing backslash, if there is one.
void StripTrailingBackslash(char *Text);

// The own address: the Address setting parsed without a base, or DefaultOwnAddress when it
// does not parse (a wrong setting must not turn into zone 0 and make paths of nobody's links).
// Returns 1 when the setting itself parsed.
int ParseOwnAddress(FtnAddress *Own);

#endif
