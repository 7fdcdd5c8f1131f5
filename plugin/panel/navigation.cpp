// Between listings: moving between the link list and one link, the order of the links, and the
// refresh when the mailer (or anyone) changes the outbound. The rows themselves are rebuilt by
// the next listing; nothing here scans.
#include "panel/navigation.h"

#include "bso/address.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <stdio.h>
#include <string.h>

// How long an idle event may hold the host's thread while nothing changes.
static const DWORD ChangeWaitMilliseconds = 512;

int ChangePanelDirectory(BSOBrowser *Browser, const char *Dir, int) {
    if (!Dir) return 0;
    if (strcmp(Dir, "\\") == 0 || (strcmp(Dir, "..") == 0 && Browser->IsInsideLink())) {
        Browser->CurDir[0] = 0;
        return 1;
    }
    // Short names are completed from the own address, so "4" at 1:2/3 names 1:2/4.0.
    FtnAddress own;
    ParseAddress(&own, Settings.Address, nullptr);
    FtnAddress wanted;
    // A text that is no address names no link, whatever fields the failed parse left behind.
    if (!ParseAddress(&wanted, Dir, &own)) return 0;
    // From a link only the root is reachable.
    if (Browser->IsInsideLink()) return 0;
    char name[AddressTextSize];
    FormatAddress(&wanted, name);
    for (int i = 0; i < Browser->EntryCount; ++i) {
        if (strcmp(Browser->Entries[i].FindData.cFileName, name) == 0) {
            memcpy(Browser->CurDir, name, strlen(name) + 1);
            return 1;
        }
    }
    return 0;
}

// Written with seven digits each (address parts are 16-bit), the keys order as text exactly as
// the addresses order as numbers: 1:2/9.0 before 1:2/10.0.
static char FirstSortKey[32];
static char SecondSortKey[32];

static void BuildSortKey(char (&Key)[32], const PluginPanelItem *Item, bool PointsLast) {
    FtnAddress address;
    ParseAddress(&address, Item->FindData.cFileName, nullptr);
    unsigned zone = address.zone, net = address.net, node = address.node, point = address.point;
    if (PointsLast)
        snprintf(Key, sizeof(Key), "%c%07u%07u%07u%07u", point ? '1' : '0', zone, net, node, point);
    else
        snprintf(Key, sizeof(Key), "%07u%07u%07u%07u", zone, net, node, point);
}

int CompareLinks(BSOBrowser *Browser, const PluginPanelItem *Item1, const PluginPanelItem *Item2,
                 unsigned int Mode) {
    // The files of a link sort by the host's rules.
    if (Browser->IsInsideLink()) return -2;
    // By extension a link's "extension" is being a node or a point: nodes first.
    bool pointsLast = Mode == SM_EXT;
    if (Mode != SM_NAME && Mode != SM_DESCR && Mode != SM_OWNER && !pointsLast) return -2;
    BuildSortKey(FirstSortKey, Item1, pointsLast);
    BuildSortKey(SecondSortKey, Item2, pointsLast);
    int result = strcmp(FirstSortKey, SecondSortKey);
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int HandlePanelEvent(BSOBrowser *Browser, int Event, void *) {
    if (Event != FE_IDLE || !Settings.AutoRefresh) return 0;
    // Without a watch (no outbound when the panel opened) there is nothing to wait for.
    if (Browser->ChangeHandle == INVALID_HANDLE_VALUE || !Browser->ChangeHandle) return 0;
    if (WaitForSingleObject(Browser->ChangeHandle, ChangeWaitMilliseconds) != WAIT_OBJECT_0)
        return 0;
    // Re-armed before the listing, so that a change made while the host lists is seen next time.
    if (!FindNextChangeNotification(Browser->ChangeHandle)) return 0;
    HostInfo.Control(Browser, FCTL_UPDATEPANEL, nullptr);
    HostInfo.Control(Browser, FCTL_REDRAWPANEL, nullptr);
    return 0;
}
