#include "scan/zone_watch.h"

#include "bso/outbound.h"
#include "common/grow_array.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// What the mailer changes in a zone folder, as for the outbound itself.
static const DWORD ZoneChangeFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE;

void StartZoneWatches(ZoneWatches *Watches) {
    Watches->Root[0] = '\0';
    Watches->Parent = INVALID_HANDLE_VALUE;
    Watches->Zones = nullptr;
    Watches->ZoneCount = 0;
    Watches->ZoneCapacity = 0;
}

static bool IsWatch(HANDLE Handle) {
    return Handle && Handle != INVALID_HANDLE_VALUE;
}

static int FindZone(const ZoneWatches *Watches, uint32_t Zone) {
    for (int i = 0; i < Watches->ZoneCount; ++i)
        if (Watches->Zones[i].Zone == Zone) return i;
    return -1;
}

// Brings the zone watches in line with the zone folders there are now: a watch for each new
// one, none for one that went. True when the set changed.
static bool SyncZoneFolders(ZoneWatches *Watches) {
    bool changed = false;
    // Zones seen in this search, by their place in the array; grown with it.
    bool *seen = static_cast<bool *>(calloc(static_cast<size_t>(Watches->ZoneCount) + 1, 1));
    if (!seen) return false;
    int known = Watches->ZoneCount;
    // The outbound itself has a watch of its own; its point folders lie under each watch.
    auto watchZone = [&](const OutboundFolder &Folder) {
        if (Folder.InRoot) return true;
        int at = FindZone(Watches, Folder.Zone);
        if (at >= 0) {
            if (at < known) seen[at] = true;
            return true;
        }
        if (!RoomForOneMore(&Watches->Zones, Watches->ZoneCount, &Watches->ZoneCapacity, 8))
            return false;
        HANDLE handle = FindFirstChangeNotificationA(Folder.Path, TRUE, ZoneChangeFilter);
        Watches->Zones[Watches->ZoneCount++] = {Folder.Zone, handle};
        changed = true;
        return true;
    };
    WalkOutbound(Watches->Root, 0, false, watchZone);
    // The watches of folders that went are closed; the others keep their order.
    int kept = 0;
    for (int i = 0; i < Watches->ZoneCount; ++i) {
        if (i < known && !seen[i]) {
            if (IsWatch(Watches->Zones[i].Handle))
                FindCloseChangeNotification(Watches->Zones[i].Handle);
            changed = true;
            continue;
        }
        Watches->Zones[kept++] = Watches->Zones[i];
    }
    Watches->ZoneCount = kept;
    free(seen);
    return changed;
}

void OpenZoneWatches(ZoneWatches *Watches, const char *Root) {
    CloseZoneWatches(Watches);
    size_t length = strlen(Root);
    if (length == 0 || length >= sizeof(Watches->Root)) return;
    memcpy(Watches->Root, Root, length + 1);
    // The folder holding the outbound; a drive's root ("D:\") holds no zone folders beside it.
    char parent[sizeof(Watches->Root)];
    memcpy(parent, Root, length + 1);
    char *last = strrchr(parent, '\\');
    if (last && last[1]) {
        last[last == parent || last[-1] == ':' ? 1 : 0] = '\0';
        Watches->Parent = FindFirstChangeNotificationA(parent, FALSE, FILE_NOTIFY_CHANGE_DIR_NAME);
        if (!Watches->Parent) Watches->Parent = INVALID_HANDLE_VALUE;
    }
    SyncZoneFolders(Watches);
}

void CloseZoneWatches(ZoneWatches *Watches) {
    for (int i = 0; i < Watches->ZoneCount; ++i)
        if (IsWatch(Watches->Zones[i].Handle))
            FindCloseChangeNotification(Watches->Zones[i].Handle);
    free(Watches->Zones);
    if (IsWatch(Watches->Parent)) FindCloseChangeNotification(Watches->Parent);
    StartZoneWatches(Watches);
}

// Whether the handle is signalled now; re-armed when it is.
static bool Signalled(HANDLE Handle) {
    return IsWatch(Handle) && WaitForSingleObject(Handle, 0) == WAIT_OBJECT_0 &&
           FindNextChangeNotification(Handle);
}

bool ZoneFoldersChanged(ZoneWatches *Watches) {
    bool changed = false;
    for (int i = 0; i < Watches->ZoneCount; ++i)
        if (Signalled(Watches->Zones[i].Handle)) changed = true;
    // A folder came or went beside the outbound: only a zone folder matters.
    if (Signalled(Watches->Parent) && SyncZoneFolders(Watches)) changed = true;
    return changed;
}
