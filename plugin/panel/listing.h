// The panel listing: every listing rescans the outbound and turns the instance's rows into host
// panel items. GetFindData and FreeFindData hand their calls here unchanged.
#ifndef BSOPANEL_PANEL_LISTING_H
#define BSOPANEL_PANEL_LISTING_H

#include "plugin_api.h"
#include "scan/outbound_entry.h"
#include "shell/browser.h"

#include <stddef.h>

// The custom columns every item carries, C0 to C9 in the view modes.
enum RowColumn {
    BusyMarkColumn = 0,       // "*" or ""
    RequestMarkColumn = 1,    // "*" or ""
    NetmailFlavorsColumn = 2, // ".C..H", or "" for a row without the string
    FlowFlavorsColumn = 3,    // "...F."
    SourceTextColumn = 4,     // the extension of the flow file that names the item, or ""
    QueuedBytesColumn = 5,    // the link's queued bytes, or ""
    QueueAgeColumn = 6,       // "12d", "12d!" past the age mark, or ""
    MailerStateColumn = 7,    // hold, tries, call, stale busy flag
    NodelistMarkColumn = 8,   // "Down", "Hold", "unlisted" by the nodelist, or ""
    SystemNameColumn = 9,     // the nodelist's system name, or ""
    RowColumnCount = 10
};

// Replaces the instance's rows by a fresh scan of the view its CurDir names. The progress box
// comes once the listing has run half a second (never with OPM_FIND in OpMode). On a listing the
// user asked for (AskAboutMissing), each file a flow file names that is gone is asked about once,
// unless the mailer holds the link; the lines to "drop" then go under the link's busy flag, and
// the view is scanned once more. A kept line's file stays a row marked missing.
void ScanPanelRows(BSOBrowser *Browser, int OpMode);
// A listing quicker than this shows no box: one that only flashed would hide nothing.
extern DWORD ProgressDelayMilliseconds;

// 1 with the items (an empty view gives an empty listing), 0 on failure.
int ListPanelItems(BSOBrowser *Browser, PluginPanelItem **PanelItem, int *ItemsNumber, int OpMode);
// Releases what ListPanelItems gave.
void FreePanelItems(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber);

#endif
