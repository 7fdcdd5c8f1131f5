// The panel instance: one per opened plugin panel; the host holds its address as the panel
// handle. Its CurDir alone tells the two views apart.
#ifndef BSOPANEL_SHELL_BROWSER_H
#define BSOPANEL_SHELL_BROWSER_H

#include "scan/backlog.h"
#include "scan/outbound_entry.h"
#include "scan/zone_watch.h"
#include "shell/panel_row.h"

#include <windows.h>

class BSOBrowser {
public:
    // At the root, with no rows, watching the outbound at OutboundRoot (none when it is
    // empty); saves the process's current directory as the one the host panel returns to.
    explicit BSOBrowser(const char *OutboundRoot = "");
    // Closes the watch, releases the rows and, when a start directory is saved, hands it to
    // the host for this panel.
    ~BSOBrowser();
    BSOBrowser(const BSOBrowser &) = delete;
    BSOBrowser &operator=(const BSOBrowser &) = delete;

    // True inside a link (CurDir starts with a digit), false at the root (CurDir empty).
    bool IsInsideLink() const;

    OutboundEntry *Entries; // the rows of the current view, null when there are none
    int EntryCount;
    int EntryCapacity;   // rows the array has room for, kept for the next listing to fill
    EntryPool Strings;   // the rows' strings, its chunks kept for the next listing to fill
    PanelRow *Rows;      // what each of those rows stands for, by the same index; null when none
    FtnAddress Link;     // inside a link: the link the last listing showed
    char CurDir[260];    // empty at the root; inside a link the link's address text
    HANDLE ChangeHandle; // watch on the outbound tree, INVALID_HANDLE_VALUE when none
    ZoneWatches Zones;   // the other zones' folders beside it, while ChangeHandle is made
    // Set once ClosePlugin has begun: the host calls back into a closing panel (FE_CLOSE and
    // ClosePlugin again, when the start directory is handed to it), and those calls do nothing.
    bool Closing;
    // The flow files' names as last read, for the root listing's backlog.
    FlowCache *FlowFiles;
    // Set when the user asked for the next listing (entering a link, Ctrl+R): only that one
    // asks about files that are gone; an automatic refresh never does.
    bool AskAboutMissing;
    // The sort mode last seen and whether the panel's own keys turned its order round: the
    // host multiplies Compare's answer by the order and never tells the plugin which it is.
    unsigned int SortModeSeen;
    bool SortReversed;
    // The items array the host gave back last (its room in items), kept for the next listing
    // to fill: a view listed again and again does not fault in fresh memory each time.
    PluginPanelItem *SpareItems;
    int SpareItemCount;
    // The block of every item's column texts: the one handed out with the items last (and its
    // room), then, once the host gave it back, kept for the next listing like the items.
    char *ColumnsOut, *SpareColumns;
    size_t ColumnsOutRoom, SpareColumnsRoom;
};

// The directory the host panel returns to when a plugin panel closes; NoStartDirectory when
// nothing is saved. Shared by all instances: each opening overwrites it, the first closing
// after that consumes it.
extern char StartDirectory[260];
extern const char NoStartDirectory[];

#endif
