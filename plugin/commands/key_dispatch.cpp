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
#include "shell/messages.h"

#include <string.h>

static void ChangeFlavorOfSelection(BSOBrowser *Browser) {
    ChangeFlavor(Browser, 1);
}

static void ChangeFlavorOfCurrent(BSOBrowser *Browser) {
    ChangeFlavor(Browser, 0);
}

namespace {

enum KeyView { AtRoot, InLink };

// A label the key bar shows blank: the host's own command for the key means nothing here.
const int BlankLabel = -1;
// The key bar keeps the host's label: a second key of a command that has its label already.
const int HostLabel = -2;

struct PanelKey {
    KeyView View;
    int Key;                          // VK_F1 to VK_F12
    unsigned int ControlState;        // compared whole: Ctrl or Alt with Shift is another key
    void (*Run)(BSOBrowser *Browser); // null: the key stays the host's, only its label goes
    int LabelId;                      // a message id, BlankLabel or HostLabel
    // Instead of Run: a command that answers whether it took the key (false: the host's own).
    bool (*Offer)(BSOBrowser *Browser) = nullptr;
};

} // namespace

// Keys missing here (plain F4 and Shift+F7 inside a link, anything with Ctrl) keep the host's
// own meaning and label.
static const PanelKey KeyTable[] = {
    {AtRoot, VK_F4, 0, CreateFileRequest, MsgKeyRequest},
    {AtRoot, VK_F4, PKF_SHIFT, CreateFileRequest, MsgKeyRequest},
    {AtRoot, VK_F7, 0, CreatePoll, MsgKeyPoll},
    {AtRoot, VK_F5, 0, HoldLinks, MsgKeyHold},
    {AtRoot, VK_F5, PKF_SHIFT, ReleaseLinks, MsgKeyRelease},
    {AtRoot, VK_F6, 0, ResetLinkTries, MsgKeyResetTries},
    {AtRoot, VK_F6, PKF_SHIFT, RemoveStaleBusy, MsgKeyStaleBusy},
    {AtRoot, VK_F8, 0, ClearQueue, MsgKeyClear},
    {AtRoot, VK_F7, PKF_SHIFT, CheckHealth, MsgKeyCheck},
    {InLink, VK_F6, 0, ChangeFlavorOfSelection, MsgKeyFlavor},
    {InLink, VK_F6, PKF_SHIFT, ChangeFlavorOfCurrent, HostLabel},
    {InLink, VK_F7, 0, RemoveFromOutbound, MsgKeyRemove},
    {InLink, VK_F8, 0, DeleteFromQueue, MsgKeyDelete},
    {InLink, VK_F4, PKF_SHIFT, CreateFileRequest, MsgKeyRequest},
    // A netmail packet is shown by the plugin; other rows keep the host's own view.
    {InLink, VK_F3, 0, nullptr, MsgKeyView, ViewNetmailPacket},
    // Link rows are no files: viewing, copying or moving them, and the Alt and Shift searches
    // and archive commands on them, have nothing to act on.
    {AtRoot, VK_F3, 0, nullptr, BlankLabel},
    {AtRoot, VK_F3, PKF_ALT, nullptr, BlankLabel},
    {AtRoot, VK_F4, PKF_ALT, nullptr, BlankLabel},
    {AtRoot, VK_F5, PKF_ALT, nullptr, BlankLabel},
    {AtRoot, VK_F6, PKF_ALT, nullptr, BlankLabel},
    {AtRoot, VK_F1, PKF_SHIFT, nullptr, BlankLabel},
    {AtRoot, VK_F2, PKF_SHIFT, nullptr, BlankLabel},
    {AtRoot, VK_F3, PKF_SHIFT, nullptr, BlankLabel},
    {AtRoot, VK_F8, PKF_SHIFT, nullptr, BlankLabel},
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
    KeyView view = Browser->IsInsideLink() ? InLink : AtRoot;
    for (const PanelKey &command : KeyTable) {
        if ((!command.Run && !command.Offer) || command.View != view || command.Key != Key ||
            command.ControlState != ControlState)
            continue;
        // A key the command may leave to the host takes nothing from the outbound: no re-read.
        if (command.Offer) return command.Offer(Browser) ? 1 : 0;
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

// The host only reads the texts; its table type just lacks the const.
static char NoLabel[] = "";

static char **KeyBarGroup(KeyBarTitles &Bar, unsigned int ControlState) {
    switch (ControlState) {
    case 0:
        return Bar.Titles;
    case PKF_CONTROL:
        return Bar.CtrlTitles;
    case PKF_ALT:
        return Bar.AltTitles;
    case PKF_SHIFT:
        return Bar.ShiftTitles;
    default:
        return nullptr; // the key bar has no group for a combination
    }
}

KeyBarTitles *PanelKeyBar(const BSOBrowser *Browser) {
    static KeyBarTitles bars[2];
    KeyView view = Browser->IsInsideLink() ? InLink : AtRoot;
    KeyBarTitles &bar = bars[view];
    memset(&bar, 0, sizeof(bar)); // null keeps the host's label
    for (const PanelKey &key : KeyTable) {
        char **group = KeyBarGroup(bar, key.ControlState);
        int index = key.Key - VK_F1;
        if (key.View != view || key.LabelId == HostLabel || !group || index < 0 || index >= 12)
            continue;
        group[index] =
            key.LabelId == BlankLabel ? NoLabel : const_cast<char *>(GetMessageText(key.LabelId));
    }
    return &bar;
}
