#include "commands/key_dispatch.h"

#include "commands/clear_queue.h"
#include "commands/command_boxes.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/health_check.h"
#include "commands/link_state.h"
#include "commands/packet_view.h"
#include "commands/poll.h"
#include "commands/removal.h"
#include "scan/backlog.h"
#include "shell/host.h"

static void ChangeFlavorOfSelection(BSOBrowser *Browser) {
    ChangeFlavor(Browser, 1);
}

static void ChangeFlavorOfCurrent(BSOBrowser *Browser) {
    ChangeFlavor(Browser, 0);
}

namespace {

struct KeyCommand {
    bool InsideLink;
    int Key;
    unsigned int ControlState; // compared whole: Ctrl or Alt with Shift is another key
    void (*Run)(BSOBrowser *Browser);
};

} // namespace

// Keys missing here (plain F4 and Shift+F7 inside a link, anything with Ctrl or Alt) keep the
// host's own meaning.
static const KeyCommand KeyTable[] = {
    {false, VK_F4, 0, CreateFileRequest},
    {false, VK_F4, PKF_SHIFT, CreateFileRequest},
    {false, VK_F7, 0, CreatePoll},
    {false, VK_F5, 0, HoldLinks},
    {false, VK_F5, PKF_SHIFT, ReleaseLinks},
    {false, VK_F6, 0, ResetLinkTries},
    {false, VK_F6, PKF_SHIFT, RemoveStaleBusy},
    {false, VK_F8, 0, ClearQueue},
    {false, VK_F7, PKF_SHIFT, CheckHealth},
    {true, VK_F6, 0, ChangeFlavorOfSelection},
    {true, VK_F6, PKF_SHIFT, ChangeFlavorOfCurrent},
    {true, VK_F7, 0, RemoveFromOutbound},
    {true, VK_F8, 0, DeleteFromQueue},
    {true, VK_F4, PKF_SHIFT, CreateFileRequest},
};

// Ctrl+F3..Ctrl+F11 choose the host's sort modes; the same key again turns the order round.
// The plugin only watches, so that Compare can keep links with nothing queued last either way.
static void NoteSortKey(BSOBrowser *Browser, int Key) {
    static const unsigned int Modes[] = {SM_NAME,  SM_EXT,   SM_MTIME, SM_SIZE, SM_UNSORTED,
                                         SM_CTIME, SM_ATIME, SM_DESCR, SM_OWNER};
    unsigned int mode = Modes[Key - VK_F3];
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    bool again = static_cast<unsigned int>(info.SortMode) == mode;
    Browser->SortReversed = again && !(Browser->SortModeSeen == mode && Browser->SortReversed);
    Browser->SortModeSeen = mode;
}

int DispatchKey(BSOBrowser *Browser, int Key, unsigned int ControlState) {
    // The host's first call for every key: nothing is taken before the panels' own handling.
    if (Key & PKF_PREPROCESS) return 0;
    if (ControlState == PKF_CONTROL && Key >= VK_F3 && Key <= VK_F11) {
        NoteSortKey(Browser, Key);
        return 0;
    }
    // The user's own re-read: what the named files were is looked up again, since a bundle
    // the tosser appends to in place leaves its flow file unchanged. The host re-reads itself.
    if (ControlState == PKF_CONTROL && Key == 'R') {
        FreeFlowCache(&Browser->FlowFiles);
        Browser->AskAboutMissing = true;
        return 0;
    }
    bool insideLink = Browser->IsInsideLink();
    // Only a netmail packet is shown by the plugin; other rows keep the host's own view.
    if (insideLink && Key == VK_F3 && ControlState == 0) return ViewNetmailPacket(Browser) ? 1 : 0;
    for (const KeyCommand &command : KeyTable) {
        if (command.InsideLink != insideLink || command.Key != Key ||
            command.ControlState != ControlState)
            continue;
        command.Run(Browser);
        // What the command changed may lie behind flow files it left as they were (a file cut
        // to 0 bytes, one deleted): the rows are read from the disk, not the cache.
        FreeFlowCache(&Browser->FlowFiles);
        // Also after a cancelled dialog: the outbound may have changed meanwhile.
        HostInfo.Control(Browser, FCTL_UPDATEPANEL, KeepSelection);
        HostInfo.Control(Browser, FCTL_REDRAWPANEL, nullptr);
        return 1;
    }
    return 0;
}
