#include "commands/command_boxes.h"

#include "bso/outbound.h"
#include "settings/settings.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <string.h>

void ShowWarning(int TitleId, int LineId, const char *Subject) {
    const char *items[] = {GetMessageText(TitleId), GetMessageText(LineId), Subject,
                           GetMessageText(MsgOk)};
    HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 1);
}

// The busy box itself, whatever the flag does meanwhile: true for the first button.
static bool AskBusyLink(int TitleId, const char *AddressText) {
    const char *items[] = {
        GetMessageText(TitleId), GetMessageText(MsgLinkBusy), AddressText,
        GetMessageText(MsgGoOn), GetMessageText(MsgOk),       GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 0;
}

bool ConfirmBusyLink(int TitleId, const char *AddressText) {
    FtnAddress own, address;
    ParseOwnAddress(&own);
    if (!ParseAddress(&address, AddressText, &own)) return false;
    if (!IsLinkBusy(&address)) return true;
    return AskBusyLink(TitleId, AddressText);
}

bool LockLinkForCommand(int TitleId, const char *AddressText, LinkLock *Lock) {
    Lock->Held = false;
    Lock->Path[0] = 0;
    FtnAddress own, address;
    ParseOwnAddress(&own);
    if (!ParseAddress(&address, AddressText, &own)) return false;
    // Should the mailer's flag be gone by the time of a second look, the flag is taken again
    // rather than the command going on without one: the mailer could take it back meanwhile
    // and write with us. Only a flag still there is asked about.
    for (int tries = 0; tries < 8; ++tries) {
        if (LockLink(&address, Lock) != LinkIsBusy) return true;
        if (IsLinkBusy(&address)) return AskBusyLink(TitleId, AddressText);
    }
    return AskBusyLink(TitleId, AddressText);
}

void ReleaseLink(LinkLock *Lock) {
    if (!UnlockLink(Lock)) ShowWarning(MsgWarning, MsgLinkBusy, Lock->Path);
}

void ParseOwnAddress(FtnAddress *Own) {
    ParseAddress(Own, Settings.Address, nullptr);
}

bool ParseBoundedAddress(FtnAddress *Address, const char *Text, size_t MaxLength,
                         const FtnAddress *Own) {
    // Longer than an address may be: refused without reading further.
    if (strnlen(Text, MaxLength) > AddressTextMaxLength) return false;
    char copy[AddressTextSize];
    size_t length = strnlen(Text, AddressTextMaxLength);
    memcpy(copy, Text, length);
    copy[length] = 0;
    return ParseAddress(Address, copy, Own) != 0;
}

void AskPanelInfo(BSOBrowser *Browser, int Command, PanelInfo *Info) {
    memset(Info, 0, sizeof(*Info));
    if (!HostInfo.Control(Browser, Command, Info)) memset(Info, 0, sizeof(*Info));
    Info->CurDir[sizeof(Info->CurDir) - 1] = 0;
}

const PluginPanelItem *CurrentPanelItem(const PanelInfo *Info) {
    if (Info->PanelItems == nullptr || Info->ItemsNumber <= 0) return nullptr;
    if (Info->CurrentItem < 0 || Info->CurrentItem >= Info->ItemsNumber) return nullptr;
    return &Info->PanelItems[Info->CurrentItem];
}

PluginPanelItem ItemWithDiskName(const PluginPanelItem *Item) {
    PluginPanelItem copy = *Item;
    copy.FindData.cFileName[sizeof(copy.FindData.cFileName) - 1] = 0;
    OemToCharA(copy.FindData.cFileName, copy.FindData.cFileName);
    return copy;
}

void FormatWithOneArgument(char *Buffer, size_t Size, const char *Format, char Placeholder,
                           const char *Argument) {
    if (Size == 0) return;
    size_t used = 0;
    bool substituted = false;
    auto put = [&](const char *Text, size_t Length) {
        size_t room = Size - 1 - used;
        if (Length > room) Length = room;
        memcpy(Buffer + used, Text, Length);
        used += Length;
    };
    for (const char *p = Format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put("%", 1);
            ++p;
        } else if (p[0] == '%' && p[1] == Placeholder && !substituted) {
            put(Argument, strlen(Argument));
            substituted = true;
            ++p;
        } else {
            put(p, 1);
        }
    }
    Buffer[used] = 0;
}
