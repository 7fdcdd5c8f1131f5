// The health check of a whole outbound: what makes mail sit there undelivered with nothing
// logged. It only reads; the safe fixes are in bso/repairs, each re-checking what it changes.
#ifndef BSOPANEL_SCAN_HEALTH_CHECK_H
#define BSOPANEL_SCAN_HEALTH_CHECK_H

#include "bso/address.h"
#include "bso/repairs.h"
#include "bso/text_file.h"

#include <windows.h>

#include <stddef.h>

enum HealthProblem {
    HealthOrphanBundle,   // a bundle with contents that no flow file names
    HealthOldEmptyBundle, // a 0-byte bundle no flow file names, older than the limit
    HealthMissingFile,    // a flow line naming a file that is gone
    HealthNotAName,       // a flow line that names nothing: "." or nothing behind "^" / "#"
    HealthUnknownName,    // a file whose name no BSO mailer recognises
    HealthWrongZone,      // a packet or flow file in a folder its mailer never looks into
    HealthRelativeLine,   // a flow line without a whole path: the mailer's current folder decides
    HealthWrongCase,      // a flow line naming a file that exists only in another case (Linux)
    HealthNotAFile,       // a FIFO, device or folder where the mailer reads a file, or a line's
                          // file
    HealthDroppedPacket,  // a netmail packet of at most DroppedPacketSize bytes: header only
    HealthDownNode,       // a queue for a node the nodelist marks Down (Path: the address)
    HealthUnlistedNode,   // a queue for a node the nodelist does not list (Path: the address)
    HealthNodelistLines,  // lines of a nodelist that do not parse (Size: how many)
};

struct HealthFinding {
    HealthProblem Problem;
    char Path[MAX_PATH];     // the file; for line problems the flow file
    char *Line;              // line problems: the whole line as it stands (the report's own)
    size_t LineLength;       // its length
    char *OwnName;           // HealthWrongCase: the line's name as the file system spells it
    int LineNumber;          // from 1
    unsigned long long Size; // bundles and packets
    unsigned Days;           // bundles and packets: whole days since last written
    FtnAddress Link;         // line problems, wrong zones, packets: the link the file is for
    FileIdentity Seen;       // bundles and packets: the file as the check saw it
};

struct HealthReport {
    HealthFinding *Findings;
    int Count;
    int Capacity;
};

// 100-nanosecond units in a day, as FILETIME counts.
const unsigned long long FileTimeDay = 864000000000ull;

// Checks the outbound at Root (its own zone is Own's), the zone folders beside it and the point
// folders below them. A 0-byte bundle no flow file names is reported as old when it is older
// than OldEmptyDays days at Now (FILETIME units), and not at all before: the tosser keeps those
// to fill again. Fills Report (zeroed by the caller, released with FreeHealthReport); returns
// 0 when memory ran out (what was found so far is kept).
int CheckOutboundHealth(const char *Root, const FtnAddress *Own, unsigned OldEmptyDays,
                        unsigned long long Now, HealthReport *Report);

void FreeHealthReport(HealthReport *Report);

// The new finding of Problem about Path at the end of Report, its other fields zero; null when
// memory ran out.
HealthFinding *AddHealthFinding(HealthReport *Report, HealthProblem Problem, const char *Path);

// Whether the name is a bundle's: a day-of-week extension ("MO0" to "SU9", a letter or digit
// last, any case) or "PKT".
bool IsBundleName(const char *Name);

// Whether the orphan bundle of the finding is an orphan still: no flow file of any link of the
// outbound names it now (to be asked under the busy flag of the link it is attached to).
bool IsStillOrphan(const char *Root, const FtnAddress *Own, const HealthFinding *Finding);

#endif
