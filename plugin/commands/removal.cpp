#include "commands/removal.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <direct.h> // _strnicmp on POSIX
#include <stdio.h>
#include <string.h>

// Asks whether to remove; the subject names the one item or counts the selected ones.
static bool ConfirmRemoval(const PanelInfo *Info, const PluginPanelItem *Current) {
    char subject[MAX_PATH + 64];
    if (Info->SelectedItemsNumber > 1) {
        FormatCountText(subject, sizeof(subject), GetMessageText(MsgRemoveCountFormat),
                        static_cast<unsigned long long>(Info->SelectedItemsNumber));
    } else {
        const PluginPanelItem *named =
            Info->SelectedItemsNumber == 1 ? &Info->SelectedItems[0] : Current;
        size_t length = strnlen(named->FindData.cFileName, sizeof(named->FindData.cFileName));
        memcpy(subject, named->FindData.cFileName, length);
        subject[length] = 0;
    }
    // The host cuts a long line at its end: a long path gives up its middle instead.
    const char *format = GetMessageText(MsgRemoveQuestionFormat);
    size_t around = strlen(format) > 2 ? strlen(format) - 2 : 0;
    char shown[sizeof(subject)];
    ShortenPath(shown, sizeof(shown), subject,
                MessageLineWidth > around + 16 ? MessageLineWidth - around : 16);
    char question[1024];
    FormatWithOneArgument(question, sizeof(question), format, 's', shown);
    const char *items[] = {GetMessageText(MsgRemoveTitle), question, GetMessageText(MsgGoOn),
                           GetMessageText(MsgOk), GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 5, 2) == 0;
}

// A file of the link itself (a poll, the request file, a packet, the busy flag, the mailer's
// hold or tries file): its row names the link's base path and its extension. Fills Path with the
// base path and that extension, in the case the listing found it, and *Kind, or for the
// mailer's own files *Mailer; false for any other row.
static bool LinkFileOfRow(const PluginPanelItem *Item, const char *BasePath, char (&Path)[MAX_PATH],
                          EntryKind *Kind, MailerFile *Mailer) {
    const char *name = Item->FindData.cFileName;
    size_t nameLength = strnlen(name, sizeof(Item->FindData.cFileName));
    size_t baseLength = strlen(BasePath);
    if (nameLength != baseLength + 4 || _strnicmp(name, BasePath, baseLength) != 0) return false;
    char extension[5];
    memcpy(extension, name + baseLength, 4);
    extension[4] = 0;
    Flavor flavor;
    *Mailer = NoMailerFile;
    if (!ClassifyOutboundFile(extension, Kind, &flavor)) {
        *Mailer = ClassifyMailerFile(extension);
        if (*Mailer != HoldFile && *Mailer != TryFile) return false;
    }
    memcpy(Path, BasePath, baseLength);
    memcpy(Path + baseLength, extension, 5);
    return true;
}

// Deletes a flow file that orders no file to be sent (a poll). One that still names files (lines
// of missing files the user kept) is left as it is.
static bool RemovePoll(const char *Path) {
    LineReader reader;
    bool read = OpenLineReader(&reader, Path) != 0;
    bool namesAFile = false;
    char *line;
    size_t length;
    int got = 0;
    while (read && !namesAFile && (got = ReadLine(&reader, &line, &length)) > 0)
        namesAFile = LineNamesAFile(line, length);
    CloseLineReader(&reader);
    if (!read || got < 0 || namesAFile) return false;
    return DeleteFileRetrying(Path) != 0;
}

// Handles one row by its kind: a queued file's lines leave the flow file that lists it, a poll,
// the request file or the mailer's hold or tries file is deleted, a packet or the busy flag is left
// with a word why.
static void RemoveItem(const PluginPanelItem *Item, const char *BasePath) {
    if (Item->CustomColumnNumber < 5 || Item->CustomColumnData == nullptr) return;
    const char *source = Item->CustomColumnData[4] ? Item->CustomColumnData[4] : "";
    EntryKind kind;
    Flavor flavor;
    char path[MAX_PATH];
    if (strlen(source) == 4 && ClassifyOutboundFile(source, &kind, &flavor) && kind == FlowFile) {
        snprintf(path, sizeof(path), "%s%s", BasePath, source);
        PluginPanelItem diskItem = ItemWithDiskName(Item);
        PatternLineAnswer answer = {false};
        if (!RemoveFlowLines(path, &diskItem, SameOutboundFileName, AskAboutPatternLine, &answer) &&
            !answer.Declined)
            ShowWarning(MsgWarning, MsgLineNotRemoved, path);
        return;
    }
    MailerFile mailer;
    if (!LinkFileOfRow(Item, BasePath, path, &kind, &mailer)) {
        // Not a file of this link: named whole, nothing touched.
        char shown[MAX_PATH];
        size_t length = strnlen(Item->FindData.cFileName, sizeof(Item->FindData.cFileName));
        memcpy(shown, Item->FindData.cFileName, length < MAX_PATH ? length : MAX_PATH - 1);
        shown[length < MAX_PATH ? length : MAX_PATH - 1] = 0;
        ShowWarning(MsgWarning, MsgLineNotRemoved, shown);
        return;
    }
    if (mailer != NoMailerFile) {
        // Taking out the hold or the count of failed calls is a release or a reset.
        if (!DeleteFileRetrying(path)) ShowWarning(MsgWarning, MsgNotRemoved, path);
        return;
    }
    switch (kind) {
    case FlowFile:
        if (!RemovePoll(path)) ShowWarning(MsgWarning, MsgLineNotRemoved, path);
        break;
    case FileRequest:
        if (!DeleteFileRetrying(path)) ShowWarning(MsgWarning, MsgNotRemoved, path);
        break;
    case Netmail:
        ShowWarning(MsgWarning, MsgNetmailNotRemoved, path);
        break;
    default:
        // The busy flag is the mailer's while it holds the link.
        ShowWarning(MsgWarning, MsgBusyFlagNotRemoved, path);
        break;
    }
}

// Whether the row is one F7 can act on: the ".." item and rows without the outbound columns
// are not.
static bool IsOutboundRow(const PluginPanelItem *Item) {
    return Item != nullptr && Item->CustomColumnNumber >= 5 && Item->CustomColumnData != nullptr &&
           strcmp(Item->FindData.cFileName, "..") != 0;
}

void RemoveFromOutbound(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    // A panel without items has nothing to name or remove.
    const PluginPanelItem *current = CurrentPanelItem(&info);
    if (info.SelectedItems == nullptr) info.SelectedItemsNumber = 0;
    if (current == nullptr && info.SelectedItemsNumber == 0) return;
    // On ".." there is nothing to remove, and so nothing to ask.
    if (info.SelectedItemsNumber == 0 && !IsOutboundRow(current)) return;
    if (!ConfirmRemoval(&info, current)) return;

    OutboundConfig config;
    LoadOutboundConfig(&config);
    FtnAddress link;
    if (!ParseBoundedAddress(&link, Browser->CurDir, sizeof(Browser->CurDir), &config.Own)) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgWarning, config, &link, &lock)) return;
    char basePath[OutboundPathSize];
    if (BuildOutboundPath(&link, basePath, config.Root, "", &config.Own)) {
        if (info.SelectedItemsNumber > 0) {
            for (int i = 0; i < info.SelectedItemsNumber; ++i)
                RemoveItem(&info.SelectedItems[i], basePath);
        } else {
            RemoveItem(current, basePath);
        }
    }
    ReleaseLink(&lock);
}
