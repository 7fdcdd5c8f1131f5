#include "commands/command_boxes.h"

#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <direct.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

void ShowWarning(int TitleId, int LineId, const char *Subject) {
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof(shown), Subject, MessageLineWidth);
    const char *items[] = {GetMessageText(TitleId), GetMessageText(LineId), shown,
                           GetMessageText(MsgOk)};
    HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 1);
}

bool AskAboutPatternLine(const char *Line, size_t Length, void *Context) {
    // The line as the box can show it: up to a NUL byte.
    char shown[MAX_PATH];
    size_t length = strnlen(Line, Length);
    if (length >= sizeof(shown)) length = sizeof(shown) - 1;
    memcpy(shown, Line, length);
    shown[length] = 0;
    // A line wider than the box keeps its pattern: the middle of its directory goes.
    char fitted[MAX_PATH];
    ShortenPath(fitted, sizeof(fitted), shown, MessageLineWidth);
    const char *items[] = {GetMessageText(MsgWarning),
                           GetMessageText(MsgPatternLineSendsOthers),
                           fitted,
                           GetMessageText(MsgPatternLineWhole),
                           GetMessageText(MsgOk),
                           GetMessageText(MsgCancel)};
    bool goOn = HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 0;
    if (!goOn && Context != nullptr) static_cast<PatternLineAnswer *>(Context)->Declined = true;
    return goOn;
}

void ShowWriteFailure(int TitleId, const char *Path, DWORD Error) {
    char reason[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, Error, 0, reason, sizeof(reason), nullptr);
    if (length == 0 || length >= sizeof(reason)) {
        char code[16];
        snprintf(code, sizeof(code), "%lu", static_cast<unsigned long>(Error));
        FormatWithOneArgument(reason, sizeof(reason), GetMessageText(MsgSystemErrorFormat), 'd',
                              code);
    } else {
        // One line: the system ends its text with CR LF.
        while (length > 0 && (reason[length - 1] == '\r' || reason[length - 1] == '\n' ||
                              reason[length - 1] == ' '))
            --length;
        reason[length] = 0;
        // The system's text is in the ANSI code page; the host shows OEM.
        CharToOemA(reason, reason);
    }
    // The host cuts a line wider than its boxes: the path keeps its file name, and a long
    // reason goes on on a second line.
    char shownPath[MAX_PATH];
    ShortenPath(shownPath, sizeof(shownPath), Path, MessageLineWidth);
    size_t first = FitLineAtBlank(reason, MessageLineWidth);
    const char *rest = reason + first;
    while (*rest == ' ') ++rest;
    reason[first] = 0;
    const char *items[] = {
        GetMessageText(TitleId), GetMessageText(MsgCannotWrite), shownPath, reason, rest,
        GetMessageText(MsgOk)};
    if (*rest)
        HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 1);
    else {
        items[4] = items[5];
        HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 5, 1);
    }
}

// The busy box itself, whatever the flag does meanwhile: true when the user goes on. It names
// the link as the panel does, whatever short form was typed; Cancel comes first, so that Enter
// does not write into a flow file the mailer may be sending.
static bool AskBusyLink(int TitleId, const FtnAddress *Address) {
    char addressText[AddressTextSize];
    FormatAddress(Address, addressText);
    const char *items[] = {
        GetMessageText(TitleId), GetMessageText(MsgLinkBusy), addressText,
        GetMessageText(MsgGoOn), GetMessageText(MsgCancel),   GetMessageText(MsgOk)};
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 1;
}

// ---- The address history ---------------------------------------------------------------

namespace {

// The values of the history's key as they were before a dialog ran. The host keeps a few
// short lines; a key holding more than fits is left as the host leaves it.
const int HistoryValueLimit = 40;
const DWORD HistoryNameSize = 64;
const DWORD HistoryDataSize = 1024;

struct HistoryValue {
    char Name[HistoryNameSize];
    DWORD Type;
    DWORD Size;
    BYTE Data[HistoryDataSize];
};

struct HistorySnapshot {
    bool Complete; // every value was read
    int Count;
    HistoryValue Values[HistoryValueLimit];
};

// Process-wide, as the host runs one dialog at a time: too large for the stack of every command.
HistorySnapshot AddressHistory;

} // namespace

// "<RootKey without its last part>\SavedDialogHistory\FAtt.ToAddr", where the host keeps the
// history a DIF_HISTORY field names. False when there is no such path.
static bool BuildHistoryKeyPath(char (&KeyPath)[512]) {
    const char *root = HostInfo.RootKey;
    if (root == nullptr) return false;
    const char *slash = strrchr(root, '\\');
    int parent = slash != nullptr ? static_cast<int>(slash - root) : static_cast<int>(strlen(root));
    int length = snprintf(KeyPath, sizeof(KeyPath), "%.*s\\SavedDialogHistory\\%s", parent, root,
                          AddressHistoryName);
    return length > 0 && static_cast<size_t>(length) < sizeof(KeyPath);
}

static void TakeHistorySnapshot(HistorySnapshot *Snapshot) {
    Snapshot->Complete = false;
    Snapshot->Count = 0;
    char keyPath[512];
    if (!BuildHistoryKeyPath(keyPath)) return;
    HKEY key;
    LSTATUS opened = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND) { // no history yet
        Snapshot->Complete = true;
        return;
    }
    if (opened != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        if (Snapshot->Count == HistoryValueLimit) break;
        HistoryValue &value = Snapshot->Values[Snapshot->Count];
        DWORD nameSize = HistoryNameSize;
        value.Size = HistoryDataSize;
        LSTATUS status = RegEnumValueA(key, index, value.Name, &nameSize, nullptr, &value.Type,
                                       value.Data, &value.Size);
        if (status == ERROR_NO_MORE_ITEMS) {
            Snapshot->Complete = true;
            break;
        }
        if (status != ERROR_SUCCESS) break;
        ++Snapshot->Count;
    }
    RegCloseKey(key);
}

static const HistoryValue *FindHistoryValue(const HistorySnapshot *Snapshot, const char *Name) {
    for (int i = 0; i < Snapshot->Count; ++i)
        if (_stricmp(Snapshot->Values[i].Name, Name) == 0) return &Snapshot->Values[i];
    return nullptr;
}

// Puts the history's key back to the snapshot: values added go, changed ones get their old
// data back.
static void RestoreHistorySnapshot(const HistorySnapshot *Snapshot) {
    if (!Snapshot->Complete) return;
    char keyPath[512];
    if (!BuildHistoryKeyPath(keyPath)) return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    // Deleting while enumerating would skip values: the index stays where a value went.
    for (DWORD index = 0;;) {
        char name[HistoryNameSize];
        DWORD nameSize = sizeof(name);
        LSTATUS status =
            RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS && FindHistoryValue(Snapshot, name) == nullptr &&
            RegDeleteValueA(key, name) == ERROR_SUCCESS)
            continue;
        ++index;
    }
    for (int i = 0; i < Snapshot->Count; ++i) {
        const HistoryValue &value = Snapshot->Values[i];
        BYTE now[HistoryDataSize];
        DWORD type = 0, size = sizeof(now);
        if (RegQueryValueExA(key, value.Name, nullptr, &type, now, &size) == ERROR_SUCCESS &&
            type == value.Type && size == value.Size && memcmp(now, value.Data, size) == 0)
            continue;
        RegSetValueExA(key, value.Name, 0, value.Type, value.Data, value.Size);
    }
    RegCloseKey(key);
}

int RunAddressDialog(int TitleId, const char *HelpTopic, int Width, int Height,
                     FarDialogItem *Items, int Count, int AddressItem, int OkItem,
                     const FtnAddress *Own, FtnAddress *Address) {
    FarDialogItem &field = Items[AddressItem];
    bool editable = field.Type == DI_EDIT || field.Type == DI_FIXEDIT;
    for (;;) {
        TakeHistorySnapshot(&AddressHistory);
        int result =
            HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, Width, Height, HelpTopic, Items, Count);
        if (result < 0) return 0; // Esc: the host added nothing
        char *typed = field.Data;
        typed[sizeof(field.Data) - 1] = 0;
        bool parsed = ParseAddress(Address, typed, Own) != 0;
        // Nothing is ever queued for the own address: no mailer calls itself.
        bool own = parsed && Address->zone == Own->zone && Address->net == Own->net &&
                   Address->node == Own->node && Address->point == Own->point;
        if ((!parsed || own) && (field.Flags & DIF_HISTORY))
            RestoreHistorySnapshot(&AddressHistory);
        if (result != OkItem) return 0;
        if (parsed && !own) return 1;
        if (own) {
            ShowWarning(TitleId, MsgOwnAddressRefused, typed);
        } else {
            const char *items[] = {GetMessageText(TitleId), GetMessageText(MsgBadAddress), typed,
                                   GetMessageText(MsgAddressForm), GetMessageText(MsgOk)};
            HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 5, 1);
        }
        // A field the user cannot change would only come back the same.
        if (!editable) return 0;
    }
}

bool LockLinkForCommand(int TitleId, const OutboundConfig &Config, const FtnAddress *Address,
                        LinkLock *Lock) {
    Lock->Held = false;
    Lock->Path[0] = 0;
    // Should the mailer's flag be gone by the time of a second look, the flag is taken again
    // rather than the command going on without one: the mailer could take it back meanwhile
    // and write with us. Only a flag still there is asked about.
    for (int tries = 0; tries < 8; ++tries) {
        if (LockLink(Config, Address, Lock) != WriteBusy) return true;
        if (IsLinkBusy(Config, Address)) return AskBusyLink(TitleId, Address);
    }
    return AskBusyLink(TitleId, Address);
}

bool LockLinkAtBase(int TitleId, const OutboundConfig &Config, const FtnAddress *Link,
                    LinkLock *Lock, char (&BasePath)[OutboundPathSize]) {
    Lock->Held = false;
    if (!BuildOutboundPath(Link, BasePath, Config.Root, "", &Config.Own)) return false;
    return LockLinkForCommand(TitleId, Config, Link, Lock);
}

void WarnIfHeld(int TitleId, const OutboundConfig &Config, const FtnAddress *Address) {
    char base[OutboundPathSize];
    if (!BuildOutboundPath(Address, base, Config.Root, "", &Config.Own)) return;
    MailerState state;
    ReadMailerState(base, static_cast<int64_t>(time(nullptr)), &state);
    if (!state.Held) return;
    char text[AddressTextSize];
    FormatAddress(Address, text);
    ShowWarning(TitleId, MsgHeldLinkWarning, text);
}

void PresetFlavorButton(FarDialogItem *First, int Count, int Setting, bool Focus) {
    FarDialogItem &button = First[FlavorRowOf(FlavorAtPosition(Setting, Count)).DialogPosition];
    button.Selected = 1;
    if (Focus) button.Focus = 1;
}

Flavor ChosenFlavor(const FarDialogItem *First, int Count) {
    for (int i = 0; i < Count; ++i)
        if (First[i].Selected) return FlavorAtPosition(i, Count);
    return FallbackFlavor;
}

void ReleaseLink(LinkLock *Lock) {
    if (UnlockLink(Lock) != WriteDone) ShowWarning(MsgWarning, MsgLinkBusy, Lock->Path);
}

void AskPanelInfo(BSOBrowser *Browser, int Command, PanelInfo *Info) {
    memset(Info, 0, sizeof(*Info));
    if (!HostInfo.Control(Browser, Command, Info)) memset(Info, 0, sizeof(*Info));
    Info->CurDir[sizeof(Info->CurDir) - 1] = 0;
}

const PluginPanelItem *CurrentPanelItem(const PanelInfo *Info) {
    if (Info->PanelItems == nullptr || Info->ItemsNumber <= 0) return nullptr;
    if (Info->CurrentItem < 0 || Info->CurrentItem >= Info->ItemsNumber) return nullptr;
    const PluginPanelItem *item = &Info->PanelItems[Info->CurrentItem];
    // The host lists its ".." among the items: it names nothing in the outbound.
    if (strcmp(item->FindData.cFileName, "..") == 0) return nullptr;
    return item;
}
