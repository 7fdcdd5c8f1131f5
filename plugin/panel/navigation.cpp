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
        if (strcmp(Browser->Entries[i].FindData.cFileName, name) == 0) {
            memcpy(Browser->CurDir, name, strlen(name) + 1);
            // The host's own walks (find, folder size) are no listing the user looks at.
            Browser->AskAboutMissing = (OpMode & OPM_FIND) == 0;
            return 1;
        }
    }
    return 0;
}

// The sort key of a link row: its address as numbers, with "is a point" in front when points
// sort after nodes. Compared part by part, 1:2/9.0 comes before 1:2/10.0. Two small locals per
// comparison: the host calls Compare many times per sort, and nothing is allocated there.
struct SortKey {
    unsigned PointRank;
    unsigned Parts[4]; // zone, net, node, point
};

// Link rows are named as FormatAddress writes them: that form is read straight, with the values
// ParseAddress would give. Anything else (false) is left to ParseAddress.
static bool ReadFormattedAddress(const char *Text, unsigned (&Parts)[4]) {
    static const char Separators[4] = {':', '/', '.', 0};
    for (int i = 0; i < 4; ++i) {
        unsigned value = 0;
        int digits = 0;
        for (; *Text >= '0' && *Text <= '9'; ++Text) {
            if (++digits > 5) return false;
            value = value * 10 + unsigned(*Text - '0');
        }
        // 65535 and more read otherwise there (empty or wrapped): left to ParseAddress.
        if (digits == 0 || value >= 65535 || *Text != Separators[i]) return false;
        Parts[i] = value;
        ++Text;
    }
    return true;
}

static void BuildSortKey(SortKey &Key, const PluginPanelItem *Item, bool PointsLast) {
    if (!ReadFormattedAddress(Item->FindData.cFileName, Key.Parts)) {
        FtnAddress address;
        ParseAddress(&address, Item->FindData.cFileName, nullptr);
        Key.Parts[0] = address.zone;
        Key.Parts[1] = address.net;
        Key.Parts[2] = address.node;
        Key.Parts[3] = address.point;
    }
    Key.PointRank = PointsLast && Key.Parts[3] ? 1 : 0;
}

static int CompareSortKeys(const SortKey &First, const SortKey &Second) {
    if (First.PointRank != Second.PointRank) return First.PointRank < Second.PointRank ? -1 : 1;
    for (int i = 0; i < 4; ++i)
        if (First.Parts[i] != Second.Parts[i]) return First.Parts[i] < Second.Parts[i] ? -1 : 1;
    return 0;
}

// The queue figures of the row the item was listed from: its number rides in the item's
// UserData, which the host copies as it is. A row that no longer bears the item's name (a
// listing since) gives the item's own figures.
template <typename FindData> static QueueFigures Figures(const FindData &Data) {
    return {static_cast<uint64_t>(Data.nFileSizeHigh) << 32 | Data.nFileSizeLow,
            static_cast<uint64_t>(Data.ftLastWriteTime.dwHighDateTime) << 32 |
                Data.ftLastWriteTime.dwLowDateTime};
}

static QueueFigures RowFigures(const BSOBrowser *Browser, const PluginPanelItem *Item) {
    DWORD index = Item->UserData;
    if (Browser->EntryCount > 0 && index < static_cast<DWORD>(Browser->EntryCount)) {
        const WIN32_FIND_DATAA &row = Browser->Entries[index].FindData;
        if (strcmp(row.cFileName, Item->FindData.cFileName) == 0) return Figures(row);
    }
    return Figures(Item->FindData);
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
    // By size and by time the links' queues decide, equal ones by address.
    if (int queues = CompareQueues(RowFigures(Browser, Item1), RowFigures(Browser, Item2), Mode,
                                   Browser->SortReversed))
        return queues;
    bool byQueue = Mode == SM_SIZE || Mode == SM_MTIME;
    if (!byQueue && Mode != SM_NAME && Mode != SM_DESCR && Mode != SM_OWNER && !pointsLast)
        return -2;
    SortKey first, second;
    BuildSortKey(first, Item1, pointsLast);
    BuildSortKey(second, Item2, pointsLast);
    return CompareSortKeys(first, second);
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
