// Between listings: moving between the link list and one link, the order of the links, and the
// refresh when the mailer (or anyone) changes the outbound. The rows themselves are rebuilt by
// the next listing; nothing here scans.
#include "panel/navigation.h"

#include "bso/address.h"
#include "panel/link_columns.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <string.h>

// An idle event never waits: it runs on the host's only thread, where keys wait meanwhile, and
// the next one comes anyway.
static const DWORD ChangeWaitMilliseconds = 0;

int ChangePanelDirectory(BSOBrowser *Browser, const char *Dir, int OpMode) {
    if (!Dir) return 0;
    if (strcmp(Dir, "\\") == 0 || (strcmp(Dir, "..") == 0 && Browser->IsInsideLink())) {
        Browser->CurDir[0] = 0;
        memset(&Browser->Link, 0, sizeof(Browser->Link));
        return 1;
    }
    // Short names are completed from the own address, so "4" at 1:2/3 names 1:2/4.0.
    FtnAddress own;
    ParseOwnAddress(&own);
    FtnAddress wanted;
    // A text that is no address names no link, whatever fields the failed parse left behind.
    if (!ParseAddress(&wanted, Dir, &own)) return 0;
    // From a link only the root is reachable.
    if (Browser->IsInsideLink()) return 0;
    char name[AddressTextSize];
    FormatAddress(&wanted, name);
    for (int i = 0; i < Browser->EntryCount; ++i) {
        if (strcmp(Browser->Entries[i].Name, name) == 0) {
            memcpy(Browser->CurDir, name, strlen(name) + 1);
            Browser->Link = wanted;
            // The host's own walks (find, folder size) are no listing the user looks at.
            Browser->AskAboutMissing = (OpMode & OPM_FIND) == 0;
            return 1;
        }
    }
    return 0;
}

// The order of two link rows: their addresses as numbers, with "is a point" in front when
// points sort after nodes. Compared part by part, 1:2/9.0 comes before 1:2/10.0. Straight from
// the rows, nothing copied: the host calls Compare many times per sort.
static int CompareLinkAddresses(const FtnAddress &First, const FtnAddress &Second,
                                bool PointsLast) {
    if (PointsLast && (First.point != 0) != (Second.point != 0)) return First.point ? 1 : -1;
    if (First.zone != Second.zone) return First.zone < Second.zone ? -1 : 1;
    if (First.net != Second.net) return First.net < Second.net ? -1 : 1;
    if (First.node != Second.node) return First.node < Second.node ? -1 : 1;
    if (First.point != Second.point) return First.point < Second.point ? -1 : 1;
    return 0;
}

// A row's queue figures are its own, never what the host's item carries.
static QueueFigures RowFigures(const ItemRow &Row) {
    const OutboundEntry &row = *Row.Entry;
    return {row.Size, static_cast<uint64_t>(row.LastWriteTime.dwHighDateTime) << 32 |
                          row.LastWriteTime.dwLowDateTime};
}

int CompareLinks(BSOBrowser *Browser, const PluginPanelItem *Item1, const PluginPanelItem *Item2,
                 unsigned int Mode) {
    // The files of a link sort by the host's rules.
    if (Browser->IsInsideLink()) return -2;
    // By extension a link's "extension" is being a node or a point: nodes first.
    bool pointsLast = Mode == SM_EXT;
    // A mode the panel's keys did not choose (the sort menu, the panel's start) is taken in
    // its usual order.
    if (Mode != Browser->SortModeSeen) {
        Browser->SortModeSeen = Mode;
        Browser->SortReversed = false;
    }
    bool byQueue = Mode == SM_SIZE || Mode == SM_MTIME;
    if (!byQueue && Mode != SM_NAME && Mode != SM_DESCR && Mode != SM_OWNER && !pointsLast)
        return -2;
    // An item without its row (the host's "..", a listing since) is left to the host's rule:
    // a sort cannot stop to say so, and a row found by the item's name would be a guess.
    ItemRow first, second;
    if (!LookUpItemRow(Browser, Item1, &first) || !LookUpItemRow(Browser, Item2, &second))
        return -2;
    // By size and by time the links' queues decide, equal ones by address.
    if (byQueue)
        if (int queues =
                CompareQueues(RowFigures(first), RowFigures(second), Mode, Browser->SortReversed))
            return queues;
    return CompareLinkAddresses(first.Row->Link, second.Row->Link, pointsLast);
}

int HandlePanelEvent(BSOBrowser *Browser, int Event, void *) {
    if (Event != FE_IDLE || !Settings.AutoRefresh) return 0;
    // Without a watch (no outbound when the panel opened) there is nothing to wait for.
    if (Browser->ChangeHandle == INVALID_HANDLE_VALUE || !Browser->ChangeHandle) return 0;
    // The other zones' folders are looked at without waiting; only the outbound's own watch
    // holds the idle event. Every watch is re-armed before the listing, so that a change made
    // while the host lists is seen next time.
    if (!ZoneFoldersChanged(&Browser->Zones)) {
        if (WaitForSingleObject(Browser->ChangeHandle, ChangeWaitMilliseconds) != WAIT_OBJECT_0)
            return 0;
        if (!FindNextChangeNotification(Browser->ChangeHandle)) return 0;
    } else if (WaitForSingleObject(Browser->ChangeHandle, 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(Browser->ChangeHandle); // this listing shows that change too
    }
    HostInfo.Control(Browser, FCTL_UPDATEPANEL, KeepSelection);
    HostInfo.Control(Browser, FCTL_REDRAWPANEL, nullptr);
    return 0;
}
