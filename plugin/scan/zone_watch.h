// The watches beside the outbound's own: every zone folder ("OUT.001", ...) lies beside the
// outbound rather than in it, so each gets a watch of its own, and a watch on the folder that
// holds them (folder names only, not what lies in them: the inbound may be there too) notices
// a zone folder that appears or goes.
#ifndef BSOPANEL_SCAN_ZONE_WATCH_H
#define BSOPANEL_SCAN_ZONE_WATCH_H

#include <windows.h>

#include <stdint.h>

struct ZoneFolderWatch {
    uint32_t Zone;
    HANDLE Handle; // the folder and everything below it, as the outbound's own watch
};

struct ZoneWatches {
    char Root[256]; // the outbound the watches belong to
    HANDLE Parent;  // folder names beside the outbound; INVALID_HANDLE_VALUE when none
    ZoneFolderWatch *Zones;
    int ZoneCount;
    int ZoneCapacity;
};

// Empty: no watch at all.
void StartZoneWatches(ZoneWatches *Watches);
// Watches the zone folders beside Root and the folder holding them.
void OpenZoneWatches(ZoneWatches *Watches, const char *Root);
void CloseZoneWatches(ZoneWatches *Watches);
// Looks, without waiting, whether anything changed in a zone folder or a zone folder came or
// went since the last look; re-arms what it found signalled. True when the panel should list
// again.
bool ZoneFoldersChanged(ZoneWatches *Watches);

#endif
