// The thirteen exports, at the top of the plugin: the start-up, the menus and the panel
// instance's life are handled here; every other export hands its arguments to the subsystem
// that does the work.
#include "commands/command_boxes.h"
#include "commands/file_attach.h"
#include "commands/key_dispatch.h"
#include "panel/listing.h"
#include "panel/navigation.h"
#include "panel/panel_info.h"
#include "plugin_api.h"
#include "scan/backlog.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "shell/browser.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <new>
#include <string.h>

// The host keeps pointers into these after GetPluginInfo returns; they are refilled on every
// call so that a changed setting or language shows at once.
static const char *DiskMenuStrings[1];
static int DiskMenuNumbers[1];
static const char *PluginMenuStrings[1];
static const char *PluginConfigStrings[1];

// A stored own address that does not parse (the registry edited by hand, an older version's
// setting) is named once, when a panel first opens: the placeholder is used meanwhile, and the
// sysop is not asked again at every panel.
static void ReportInvalidOwnAddress() {
    static char reported[sizeof(Settings.Address)];
    static bool anyReported = false;
    FtnAddress own;
    if (ParseOwnAddress(&own) || !HostInfo.Message) return;
    if (anyReported && strcmp(reported, Settings.Address) == 0) return;
    memcpy(reported, Settings.Address, sizeof(reported));
    reported[sizeof(reported) - 1] = 0;
    anyReported = true;
    const char *lines[] = {GetMessageText(MsgWarning),
                           GetMessageText(MsgOwnAddressInvalid),
                           reported,
                           GetMessageText(MsgDefaultAddressUsed),
                           DefaultOwnAddress,
                           GetMessageText(MsgOk)};
    HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, lines, 6, 1);
}

static BSOBrowser *Browser(HANDLE hPlugin) {
    return static_cast<BSOBrowser *>(hPlugin);
}

extern "C" {

void WINAPI SetStartupInfo(const PluginStartupInfo *Info) {
    // A newer host passes a longer record: the part this interface knows is kept.
    memcpy(&HostInfo, Info, sizeof(HostInfo));
    BuildSettingsKeyPath(HostInfo.RootKey);
    LoadSettings();
}

void WINAPI GetPluginInfo(PluginInfo *Info) {
    DiskMenuStrings[0] = GetMessageText(MsgDisksMenu);
    DiskMenuNumbers[0] = Settings.DisksMenuDigit;
    PluginMenuStrings[0] = GetMessageText(MsgPluginMenu);
    PluginConfigStrings[0] = GetMessageText(MsgPluginMenu);

    Info->StructSize = sizeof(*Info);
    Info->Flags = 0;
    Info->DiskMenuStrings = DiskMenuStrings;
    Info->DiskMenuNumbers = DiskMenuNumbers;
    Info->DiskMenuStringsNumber = Settings.AddToDisksMenu ? 1 : 0;
    Info->PluginMenuStrings = PluginMenuStrings;
    Info->PluginMenuStringsNumber = 1;
    Info->PluginConfigStrings = PluginConfigStrings;
    Info->PluginConfigStringsNumber = 1;
    Info->CommandPrefix = GetMessageText(MsgDisksMenu);
}

// Every way of opening (disks menu, plugins menu, command prefix with any text) gives the
// same root view.
HANDLE WINAPI OpenPlugin(int, INT_PTR) {
    // Without this the panel would only stay empty, as if no outbound were set.
    if (OutboundPathTooLong[0])
        ShowWarning(MsgWarning, MsgOutboundPathTooLong, OutboundPathTooLong);
    ReportInvalidOwnAddress();
    BSOBrowser *browser = new (std::nothrow) BSOBrowser(Settings.PathToOutbound);
    return browser ? static_cast<HANDLE>(browser) : INVALID_HANDLE_VALUE;
}

void WINAPI ClosePlugin(HANDLE hPlugin) {
    if (!hPlugin || hPlugin == INVALID_HANDLE_VALUE) return;
    BSOBrowser *browser = Browser(hPlugin);
    // The host closes the panel again when the closing instance hands it its directory.
    if (browser->Closing) return;
    browser->Closing = true;
    delete browser;
}

int WINAPI GetFindData(HANDLE hPlugin, PluginPanelItem **pPanelItem, int *pItemsNumber,
                       int OpMode) {
    return ListPanelItems(Browser(hPlugin), pPanelItem, pItemsNumber, OpMode);
}

void WINAPI FreeFindData(HANDLE hPlugin, PluginPanelItem *PanelItem, int ItemsNumber) {
    FreePanelItems(Browser(hPlugin), PanelItem, ItemsNumber);
}

void WINAPI GetOpenPluginInfo(HANDLE hPlugin, OpenPluginInfo *Info) {
    DescribePanel(Browser(hPlugin), Info);
    Info->KeyBar = PanelKeyBar(Browser(hPlugin));
}

int WINAPI SetDirectory(HANDLE hPlugin, const char *Dir, int OpMode) {
    return ChangePanelDirectory(Browser(hPlugin), Dir, OpMode);
}

int WINAPI ProcessKey(HANDLE hPlugin, int Key, unsigned int ControlState) {
    return DispatchKey(Browser(hPlugin), Key, ControlState);
}

int WINAPI Configure(int ItemNumber) {
    return ItemNumber == 0 ? ShowConfigDialog() : 0;
}

int WINAPI Compare(HANDLE hPlugin, const PluginPanelItem *Item1, const PluginPanelItem *Item2,
                   unsigned int Mode) {
    return CompareLinks(Browser(hPlugin), Item1, Item2, Mode);
}

int WINAPI PutFiles(HANDLE hPlugin, PluginPanelItem *PanelItem, int ItemsNumber, int Move,
                    int OpMode) {
    int result = AttachFiles(Browser(hPlugin), PanelItem, ItemsNumber, Move, OpMode);
    FreeFlowCache(&Browser(hPlugin)->FlowFiles); // the rows show the disk as the attach left it
    return result;
}

int WINAPI ProcessEvent(HANDLE hPlugin, int Event, void *Param) {
    if (Browser(hPlugin)->Closing) return 0;
    return HandlePanelEvent(Browser(hPlugin), Event, Param);
}
}
