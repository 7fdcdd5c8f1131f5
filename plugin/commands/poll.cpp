#include "commands/poll.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "commands/nodelist_question.h"
#include "settings/settings.h"
#include "shell/host.h"

const DialogTemplateItem PollDialogTemplate[PollItemCount] = {
    DialogFrame(3, 1, 42, 11, MsgPollTitle),
    DialogText(5, 2, 0, MsgPollAddress),
    DialogAddressField(3),
    DialogSeparator(5, 4),
    DialogRadioButton(5, 5, 40, MsgFlavorImmediate, true),
    DialogRadioButton(5, 6, 40, MsgFlavorCrash, false),
    DialogRadioButton(5, 7, 40, MsgFlavorDirect, false),
    DialogRadioButton(5, 8, 40, MsgFlavorNormal, false),
    DialogSeparator(5, 9),
    DialogButton(10, MsgOk, true),
    DialogButton(10, MsgCancel, false),
};

// The poll offers no hold: a held poll would never make the mailer call.
static const int PollFlavorCount = 4;

void CreatePoll(BSOBrowser *Browser) {
    FarDialogItem items[PollItemCount];
    ExpandDialogTemplate(PollDialogTemplate, items, PollItemCount);
    OutboundConfig config;
    LoadOutboundConfig(&config);

    // At the root every row is a link: offer the one under the cursor. An item without its row
    // offers nothing, and the address is typed.
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    const PluginPanelItem *current = CurrentPanelItem(&info);
    ItemRow row;
    if (current != nullptr && LookUpItemRow(Browser, current, &row) && row.Row->Kind == LinkRow)
        FormatAddress(&row.Row->Link, items[PollAddress].Data);

    PresetFlavorButton(&items[PollFirstFlavor], PollFlavorCount, Settings.PollFlavor, false);

    FtnAddress address;
    if (!RunAddressDialog(MsgPollTitle, "BSOPoll", 46, 13, items, PollItemCount, PollAddress,
                          PollOk, &config.Own, &address))
        return;
    if (!ConfirmNodelistStanding(MsgPollTitle, &address)) return;
    // The link's flag is the command's while it writes (or the user goes on despite binkd's).
    LinkLock lock;
    if (!LockLinkForCommand(MsgPollTitle, config, &address, &lock)) return;

    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(ChosenFlavor(&items[PollFirstFlavor], PollFlavorCount)).Letter;
    char path[OutboundPathSize];
    bool polled = false;
    if (BuildOutboundPath(&address, path, config.Root, suffix, &config.Own)) {
        // A directory that could not be made shows up as a flow file that cannot be created.
        EnsureDirectory(path);
        polled = CreateFileIfMissing(path) == WriteDone;
        if (!polled) ShowWriteFailure(MsgPollTitle, path, GetLastError());
    } else {
        ShowWriteFailure(MsgPollTitle, config.Root, ERROR_FILENAME_EXCED_RANGE);
    }
    ReleaseLink(&lock);
    if (polled) WarnIfHeld(MsgPollTitle, config, &address);
}
