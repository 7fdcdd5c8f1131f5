#include "commands/file_request.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "commands/nodelist_question.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <stdio.h>

const DialogTemplateItem RequestDialogTemplate[RequestItemCount] = {
    DialogFrame(3, 1, 42, 7, MsgRequestTitle),
    DialogText(5, 2, 0, MsgRequestAddress),
    DialogAddressField(3),
    DialogCheckBox(5, 4, 40, MsgRequestPollNow),
    DialogSeparator(5, 5),
    DialogButton(6, MsgOk, true),
    DialogButton(6, MsgCancel, false),
};

// Deletes the request file when the editor left it empty: a request of nothing would still
// make the mailer send it. True when a request is left.
static bool RemoveIfEmpty(const char *Path) {
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(Path, &found)) return false;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || found.nFileSizeHigh != 0 ||
        found.nFileSizeLow != 0)
        return true;
    if (DeleteFileRetrying(Path) == WriteDone) return false;
    ShowWriteFailure(MsgRequestTitle, Path, GetLastError());
    return true;
}

// The mailer queues a request as held and never calls for it alone: an empty flow file of the
// poll flavor makes the call, unless a packet or flow file of the link makes one already. The
// poll flavors are the poll dialog's four: a held poll would make no call either.
static bool PollForRequest(const OutboundConfig &Config, const FtnAddress *Address) {
    char path[OutboundPathSize];
    if (!BuildOutboundPath(Address, path, Config.Root, "", &Config.Own) || LinkQueueMakesCall(path))
        return false;
    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(FlavorAtPosition(Settings.PollFlavor, 4)).Letter;
    if (!BuildOutboundPath(Address, path, Config.Root, suffix, &Config.Own)) {
        ShowWriteFailure(MsgRequestTitle, Config.Root, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (CreateFileIfMissing(path) == WriteDone) return true;
    ShowWriteFailure(MsgRequestTitle, path, GetLastError());
    return false;
}

void CreateFileRequest(BSOBrowser *Browser) {
    FarDialogItem items[RequestItemCount];
    ExpandDialogTemplate(RequestDialogTemplate, items, RequestItemCount);
    items[RequestPollNow].Selected = 1;
    OutboundConfig config;
    LoadOutboundConfig(&config);

    // Inside a link the link itself; at the root the link under the cursor.
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    if (info.ItemsNumber > 0) {
        const PluginPanelItem *current = CurrentPanelItem(&info);
        ItemRow row;
        if (Browser->IsInsideLink())
            FormatAddress(&Browser->Link, items[RequestAddress].Data);
        else if (current != nullptr && LookUpItemRow(Browser, current, &row))
            FormatAddress(&row.Row->Link, items[RequestAddress].Data);
    }

    FtnAddress address;
    if (!RunAddressDialog(MsgRequestTitle, "BSOFREQ", 46, 9, items, RequestItemCount,
                          RequestAddress, RequestOk, &config.Own, &address))
        return;
    if (!ConfirmNodelistStanding(MsgRequestTitle, &address)) return;
    // The flag stays the command's while the editor is open: the mailer would otherwise send
    // (and delete) a request that is still empty or half written, and the empty check below
    // would race with it.
    LinkLock lock;
    if (!LockLinkForCommand(MsgRequestTitle, config, &address, &lock)) return;

    // The title names the address in full even when a short form was typed.
    char addressText[AddressTextSize];
    char title[512];
    snprintf(title, sizeof(title), "%s: %s", GetMessageText(MsgRequestTitle),
             FormatAddress(&address, addressText));
    char path[OutboundPathSize];
    bool polled = false;
    if (!BuildOutboundPath(&address, path, config.Root, ".REQ", &config.Own)) {
        ShowWriteFailure(MsgRequestTitle, config.Root, ERROR_FILENAME_EXCED_RANGE);
    } else {
        EnsureDirectory(path);
        // An editor on a file that cannot be written would lose what the user types into it.
        if (CreateFileIfMissing(path) == WriteDone) {
            HostInfo.Editor(path, title, 0, 0, -1, -1, 0, 1, 1);
            if (RemoveIfEmpty(path) && items[RequestPollNow].Selected)
                polled = PollForRequest(config, &address);
        } else {
            ShowWriteFailure(MsgRequestTitle, path, GetLastError());
        }
    }
    ReleaseLink(&lock);
    if (polled) WarnIfHeld(MsgRequestTitle, config, &address);
}
