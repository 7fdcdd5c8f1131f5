#include "commands/removal.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "commands/command_boxes.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <stdio.h>
#include <string.h>

// Asks whether to remove; the subject names the one item or counts the selected ones.
static bool ConfirmRemoval(const PanelInfo *Info, const PluginPanelItem *Current) {
    char subject[MAX_PATH + 64];
    if (Info->SelectedItemsNumber > 1) {
        char count[16];
        snprintf(count, sizeof(count), "%d", Info->SelectedItemsNumber);
        FormatWithOneArgument(subject, sizeof(subject), GetMessageText(MsgRemoveCountFormat), 'd',
                              count);
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

// Takes the item's line out of the flow file that lists it. A row that no flow file lists
// names the link's base path, which is no flow file: it gets the warning and nothing changes.
static void RemoveItem(const PluginPanelItem *Item, const char *BasePath) {
    if (Item->CustomColumnNumber != 5 || Item->CustomColumnData == nullptr) return;
    const char *source = Item->CustomColumnData[4] ? Item->CustomColumnData[4] : "";
    char flowPath[MAX_PATH + 8];
    snprintf(flowPath, sizeof(flowPath), "%s%.4s", BasePath, source);
    // Only a flow file is rewritten as lines of text: a netmail packet never is.
    EntryKind kind;
    Flavor flavor;
    bool isFlowFile =
        strlen(source) == 4 && ClassifyOutboundFile(source, &kind, &flavor) && kind == FlowFile;
    PluginPanelItem diskItem = ItemWithDiskName(Item);
    char removedLine[RemovedLineSize];
    if (!isFlowFile || !RemoveFlowLine(flowPath, &diskItem, removedLine))
        ShowWarning(MsgWarning, MsgLineNotRemoved, flowPath);
}

void RemoveFromOutbound(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    // A panel without items has nothing to name or remove.
    const PluginPanelItem *current = CurrentPanelItem(&info);
    if (info.SelectedItems == nullptr) info.SelectedItemsNumber = 0;
    if (current == nullptr && info.SelectedItemsNumber == 0) return;
    if (!ConfirmRemoval(&info, current)) return;

    FtnAddress own, link;
    ParseOwnAddress(&own);
    if (!ParseBoundedAddress(&link, Browser->CurDir, sizeof(Browser->CurDir), &own)) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgWarning, Browser->CurDir, &lock)) return;
    char basePath[OutboundPathSize];
    if (BuildOutboundPath(&link, basePath, Settings.PathToOutbound, "", &own)) {
        if (info.SelectedItemsNumber > 0) {
            for (int i = 0; i < info.SelectedItemsNumber; ++i)
                RemoveItem(&info.SelectedItems[i], basePath);
        } else {
            RemoveItem(current, basePath);
        }
    }
    ReleaseLink(&lock);
}
