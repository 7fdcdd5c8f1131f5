#include "commands/removal.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "bso/queue_clear.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "scan/scanner.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <direct.h> // _strnicmp on POSIX
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The question's one line: Format with the one item named, or the selected ones counted.
static void RemovalQuestion(const PanelInfo *Info, const PluginPanelItem *Current, int FormatId,
                            char (&Question)[1024]) {
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
    const char *format = GetMessageText(FormatId);
    size_t around = strlen(format) > 2 ? strlen(format) - 2 : 0;
    char shown[sizeof(subject)];
    ShortenPath(shown, sizeof(shown), subject,
                MessageLineWidth > around + 16 ? MessageLineWidth - around : 16);
    FormatWithOneArgument(Question, sizeof(Question), format, 's', shown);
}

// Asks whether to remove.
static bool ConfirmRemoval(const PanelInfo *Info, const PluginPanelItem *Current) {
    char question[1024];
    RemovalQuestion(Info, Current, MsgRemoveQuestionFormat, question);
    const char *items[] = {GetMessageText(MsgRemoveTitle), question, GetMessageText(MsgGoOn),
                           GetMessageText(MsgOk), GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 5, 2) == 0;
}

// F8's question: 0 queue only, 1 the files too, -1 nothing.
static int AskDeletion(const PanelInfo *Info, const PluginPanelItem *Current) {
    char question[1024];
    RemovalQuestion(Info, Current, MsgDeleteQuestionFormat, question);
    const char *items[] = {GetMessageText(MsgDeleteTitle), question,
                           GetMessageText(MsgDeleteQueueOnly), GetMessageText(MsgDeleteAlsoFile),
                           GetMessageText(MsgCancel)};
    int chosen = HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 5, 3);
    return chosen == 0 || chosen == 1 ? chosen : -1;
}

// A file of the link itself (a poll, the request file, a packet, the busy flag, the mailer's
// hold or tries file): its path is the link's base path and the row's extension, in the case
// the listing found it. Fills *Kind, or for the mailer's own files *Mailer; false for any other
// row.
static bool LinkFileOfRow(const PanelRow &Row, const char *BasePath, char (&Path)[MAX_PATH],
                          EntryKind *Kind, MailerFile *Mailer) {
    if (Row.Kind != LinkFileRow || strlen(Row.Extension) != 4) return false;
    Flavor flavor;
    *Mailer = NoMailerFile;
    if (!ClassifyOutboundFile(Row.Extension, Kind, &flavor)) {
        *Mailer = ClassifyMailerFile(Row.Extension);
        if (!GoesWithQueue(*Mailer)) return false;
    }
    return JoinPath(Path, MAX_PATH, BasePath, "", Row.Extension) != 0;
}

// Handles one row by its kind: a queued file's lines leave the flow file that lists it, a poll,
// the request file or the mailer's hold or tries file is deleted, a packet or the busy flag is left
// with a word why. True when a queued file's lines went.
static bool RemoveItem(const BSOBrowser *Browser, const PluginPanelItem *Item,
                       const char *BasePath) {
    ItemRow row;
    if (!LookUpItemRow(Browser, Item, &row)) return false;
    const char *source = row.Row->Kind == QueuedFileRow ? row.Row->Extension : "";
    EntryKind kind;
    Flavor flavor;
    char path[MAX_PATH];
    if (strlen(source) == 4 && ClassifyOutboundFile(source, &kind, &flavor) && kind == FlowFile) {
        snprintf(path, sizeof(path), "%s%s", BasePath, source);
        PluginPanelItem diskItem = ItemWithRowName(Item, row);
        PatternLineAnswer answer = {false};
        if (RemoveFlowLines(path, &diskItem, SameOutboundFileName, AskAboutPatternLine, &answer))
            return true;
        if (!answer.Declined) ShowWarning(MsgWarning, MsgLineNotRemoved, path);
        return false;
    }
    MailerFile mailer;
    if (!LinkFileOfRow(*row.Row, BasePath, path, &kind, &mailer)) {
        // Not a file of this link: named whole, nothing touched.
        char shown[MAX_PATH];
        size_t length = strnlen(Item->FindData.cFileName, sizeof(Item->FindData.cFileName));
        memcpy(shown, Item->FindData.cFileName, length < MAX_PATH ? length : MAX_PATH - 1);
        shown[length < MAX_PATH ? length : MAX_PATH - 1] = 0;
        ShowWarning(MsgWarning, MsgLineNotRemoved, shown);
        return false;
    }
    if (mailer != NoMailerFile) {
        // Taking out the hold or the count of failed calls is a release or a reset.
        if (DeleteFileRetrying(path) != WriteDone) ShowWarning(MsgWarning, MsgNotRemoved, path);
        return false;
    }
    switch (kind) {
    case FlowFile:
        // One that still names files (lines of missing files the user kept) stays.
        if (RemovePoll(path) != WriteDone) ShowWarning(MsgWarning, MsgLineNotRemoved, path);
        break;
    case FileRequest:
        if (DeleteFileRetrying(path) != WriteDone) ShowWarning(MsgWarning, MsgNotRemoved, path);
        break;
    case Netmail:
        ShowWarning(MsgWarning, MsgNetmailNotRemoved, path);
        break;
    default:
        // The busy flag is the mailer's while it holds the link.
        ShowWarning(MsgWarning, MsgBusyFlagNotRemoved, path);
        break;
    }
    return false;
}

// The items F7 and F8 act on: the selected ones or the one under the cursor; false (after a
// box) when one of them has no row.
static bool ChosenItemsHaveRows(const BSOBrowser *Browser, const PanelInfo *Info,
                                const PluginPanelItem *Current) {
    if (Info->SelectedItemsNumber > 0)
        return FindItemRows(Browser, Info->SelectedItems, Info->SelectedItemsNumber, nullptr);
    return FindItemRows(Browser, Current, 1, nullptr);
}

void RemoveFromOutbound(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    // A panel without items has nothing to name or remove.
    const PluginPanelItem *current = CurrentPanelItem(&info);
    if (info.SelectedItems == nullptr) info.SelectedItemsNumber = 0;
    if (current == nullptr && info.SelectedItemsNumber == 0) return;
    if (!ChosenItemsHaveRows(Browser, &info, current)) return;
    if (!ConfirmRemoval(&info, current)) return;

    OutboundConfig config;
    LoadOutboundConfig(&config);
    if (!Browser->IsInsideLink()) return;
    LinkLock lock;
    char basePath[OutboundPathSize];
    if (!LockLinkAtBase(MsgWarning, config, &Browser->Link, &lock, basePath)) return;
    if (info.SelectedItemsNumber > 0) {
        for (int i = 0; i < info.SelectedItemsNumber; ++i)
            RemoveItem(Browser, &info.SelectedItems[i], basePath);
    } else {
        RemoveItem(Browser, current, basePath);
    }
    ReleaseLink(&lock);
}

// Whether a flow file of the link still names the file of the row (its lines are read as the
// listing reads them): such a file is still queued and is not deleted.
static bool StillQueued(const OutboundConfig &Config, const char *CurDir, const char *RowName) {
    ScanResult result;
    ScanOutbound(Config, CurDir, nullptr, &result);
    bool queued = false;
    for (int i = 0; i < result.RowCount && !queued; ++i)
        queued = result.Rows[i].SourceText != nullptr &&
                 result.Rows[i].Problem != MissingNamedFile &&
                 SameOutboundFileName(result.Rows[i].Name, strlen(result.Rows[i].Name), RowName,
                                      strlen(RowName));
    FreeScanResult(&result);
    return queued;
}

// After its lines went: the row's file goes too, unless something still names it, in this
// link's queue or another's. A file already gone is no failure.
static void DeleteQueuedFile(const OutboundConfig &Config, const BSOBrowser *Browser,
                             const PluginPanelItem *Item) {
    ItemRow row;
    if (!LookUpItemRow(Browser, Item, &row)) return;
    char name[MAX_PATH];
    memcpy(name, row.Entry->Name, strlen(row.Entry->Name) + 1);
    if (StillQueued(Config, Browser->CurDir, name)) {
        ShowWarning(MsgWarning, MsgDeleteFileFailed, name);
        return;
    }
    FtnAddress other;
    int named = NamedByOtherLink(name, Config.Root, &Config.Own, &Browser->Link, &other);
    if (named != 0) {
        // Another link's queue needs it (or may: its flow file could not be read): it stays.
        char address[AddressTextSize], why[96];
        if (named > 0) FormatAddress(&other, address);
        FormatWithOneArgument(why, sizeof(why), GetMessageText(MsgClearWhyOtherLinkFormat), 's',
                              named > 0 ? address : "?");
        size_t length = strlen(name) + strlen(why) + 1;
        char *subject = static_cast<char *>(malloc(length));
        if (subject != nullptr) snprintf(subject, length, "%s%s", name, why);
        ShowWarning(MsgWarning, MsgDeleteFileFailed, subject != nullptr ? subject : name);
        free(subject);
        return;
    }
    if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) return;
    if (DeleteFileRetrying(name) != WriteDone) ShowWarning(MsgWarning, MsgDeleteFileFailed, name);
}

void DeleteFromQueue(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    const PluginPanelItem *current = CurrentPanelItem(&info);
    if (info.SelectedItems == nullptr) info.SelectedItemsNumber = 0;
    if (current == nullptr && info.SelectedItemsNumber == 0) return;
    if (!ChosenItemsHaveRows(Browser, &info, current)) return;
    int answer = AskDeletion(&info, current);
    if (answer < 0) return;

    OutboundConfig config;
    LoadOutboundConfig(&config);
    if (!Browser->IsInsideLink()) return;
    LinkLock lock;
    char basePath[OutboundPathSize];
    if (!LockLinkAtBase(MsgWarning, config, &Browser->Link, &lock, basePath)) return;
    int count = info.SelectedItemsNumber > 0 ? info.SelectedItemsNumber : 1;
    const PluginPanelItem *items = info.SelectedItemsNumber > 0 ? info.SelectedItems : current;
    // Every line first, then the files: a file named twice is deleted only once no line names
    // it any more.
    bool *taken = static_cast<bool *>(calloc(static_cast<size_t>(count), sizeof(bool)));
    if (taken) {
        for (int i = 0; i < count; ++i) taken[i] = RemoveItem(Browser, &items[i], basePath);
        for (int i = 0; i < count && answer == 1; ++i)
            if (taken[i]) DeleteQueuedFile(config, Browser, &items[i]);
        free(taken);
    }
    ReleaseLink(&lock);
}
