#include "commands/command_boxes.h"

#include "bso/outbound.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <string.h>

void ShowWarning(int TitleId, int LineId, const char *Subject) {
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof(shown), Subject, MessageLineWidth);
    const char *items[] = {GetMessageText(TitleId), GetMessageText(LineId), shown,
                           GetMessageText(MsgOk)};
    HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 1);
}

bool ConfirmBusyLink(int TitleId, const char *AddressText) {
    FtnAddress own, address;
    ParseOwnAddress(&own);
    if (!ParseAddress(&address, AddressText, &own)) return false;
    if (!IsLinkBusy(&address)) return true;
    const char *items[] = {
        GetMessageText(TitleId), GetMessageText(MsgLinkBusy), AddressText,
        GetMessageText(MsgGoOn), GetMessageText(MsgOk),       GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 0;
}

bool LockLinkForCommand(int TitleId, const char *AddressText, LinkLock *Lock) {
    Lock->Held = false;
    Lock->Path[0] = 0;
    FtnAddress own, address;
    ParseOwnAddress(&own);
    if (!ParseAddress(&address, AddressText, &own)) return false;
    if (LockLink(&address, Lock) != LinkIsBusy) return true;
    // Should the mailer's flag be gone by now, the command goes on without a question.
    return ConfirmBusyLink(TitleId, AddressText);
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
    const PluginPanelItem *item = &Info->PanelItems[Info->CurrentItem];
    // The host lists its ".." among the items: it names nothing in the outbound.
    if (strcmp(item->FindData.cFileName, "..") == 0) return nullptr;
    return item;
}

PluginPanelItem ItemWithDiskName(const PluginPanelItem *Item) {
    PluginPanelItem copy = *Item;
    copy.FindData.cFileName[sizeof(copy.FindData.cFileName) - 1] = 0;
    // The host's names are OEM text; the file functions want them so unless they speak ANSI.
    if (AreFileApisANSI()) OemToCharA(copy.FindData.cFileName, copy.FindData.cFileName);
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
