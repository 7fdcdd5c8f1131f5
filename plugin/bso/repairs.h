// Repairs of a link's queue that a listing or the health check found wanting. Each one changes
// only what is still as the caller saw it; a flow file left naming no file is deleted, since an
// empty one is a poll.
#ifndef BSOPANEL_BSO_REPAIRS_H
#define BSOPANEL_BSO_REPAIRS_H

#include "bso/address.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "bso/write_outcome.h"

#include <stddef.h>

// binkd deletes a netmail packet this small unsent: it can hold a header and no message.
const unsigned long long DroppedPacketSize = 60;

// Done when, under the link's busy flag, the lines that are Line (Length bytes) byte for byte
// are out of FlowPath; Changed when no such line is left; Busy while the mailer holds Link.
WriteOutcome RemoveMissingFileLine(const OutboundConfig &Config, const FtnAddress *Link,
                                   const char *FlowPath, const char *Line, size_t Length);

// Done when line LineNumber (from 1) of FlowPath, still Line (Length bytes), is out; Changed
// when that line is another now. The caller holds the link's flag.
WriteOutcome TakeOutFlowLine(const char *FlowPath, int LineNumber, const char *Line, size_t Length);

// Done when OwnName (the name as the file system spells it) took the place of the name in line
// LineNumber of FlowPath, still Line (Length bytes); Changed as above.
WriteOutcome WriteOwnName(const char *FlowPath, int LineNumber, const char *Line, size_t Length,
                          const char *OwnName);

// Done when the 0-byte bundle at Path is gone; Changed when it is no longer the file Seen
// (filled again, or replaced), which then stays.
WriteOutcome RemoveEmptyBundle(const char *Path, const FileIdentity *Seen);

// Done when the packet at Path (no larger than DroppedPacketSize) is gone; Changed when a
// tosser wrote into it since Seen, which then stays.
WriteOutcome RemoveDroppedPacket(const char *Path, const FileIdentity *Seen);

#endif
