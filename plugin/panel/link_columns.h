// The backlog and mailer columns of a link row at the root (view mode 6): the bytes queued, the
// age of the oldest item in days, and what the mailer says about the link. Each writes into
// Buffer (Size bytes, cut to fit) and returns it; rows inside a link give "".
#ifndef BSOPANEL_PANEL_LINK_COLUMNS_H
#define BSOPANEL_PANEL_LINK_COLUMNS_H

#include "scan/outbound_entry.h"

#include <stddef.h>
#include <stdint.h>

// "" when nothing waits, else the bytes in at most seven characters: up to seven digits as they
// are ("1234567"), beyond in the unit that leaves under 1024 of it, rounded up ("12M", "5G",
// "2T").
char *FormatQueuedBytes(uint64_t Bytes, char *Buffer, size_t Size);

// "" when nothing waits, else whole days since Oldest ("12d"; past 9999 days whole years, "27y"),
// with "!" behind when MarkDays is above 0 and the oldest item is older than that many days.
char *FormatQueueAge(int64_t Oldest, int64_t Now, int MarkDays, char *Buffer, size_t Size);

// "7h", "25m", "3d": a span of seconds in its largest whole unit.
char *FormatSpan(int64_t Seconds, char *Buffer, size_t Size);

// The mailer column: the hold's end (local date and time), the failed calls and the last result,
// a call in progress, a busy flag older than StaleSeconds; parts joined by "; ", the last
// result last so that the host's cut takes it first.
char *FormatMailerState(const LinkStatus &Status, int64_t Now, int64_t StaleSeconds, char *Buffer,
                        size_t Size);

// The settings' thresholds and the clock, for the listing.
int64_t CurrentTime();
int64_t StaleBusySeconds();

// Takes the clock and the settings' thresholds for the rows of one listing.
void StartColumnTexts();

// The column texts of a row, in the shape of the listing's other column functions; they use
// what StartColumnTexts took.
char *RowQueuedBytes(const OutboundEntry &Row, char *Buffer, size_t Size);
char *RowQueueAge(const OutboundEntry &Row, char *Buffer, size_t Size);
// The mailer column starts with "waits for a call" when WaitsForCall.
char *RowMailerState(const OutboundEntry &Row, char *Buffer, size_t Size);

// A link row whose queue holds only hold-flavored items or a request file: the mailer will not
// call the link for it, and sends it only when a call happens for another reason.
bool WaitsForCall(const OutboundEntry &Row);

#include "plugin_api.h"

// The order of two link rows by their queues, as the host orders files: by size the largest
// backlog first, by time the newest oldest-item first (a link where nothing waits has no time
// and comes last, also when Reversed: the host turns every answer round then). 0 when the two are
// alike or Mode is neither SM_SIZE nor SM_MTIME. The host sorts folders by its own rules otherwise,
// and link rows are folders. The figures are the rows' own, never what the host's items carry: the
// host puts its own folder size into an item after F3.
struct QueueFigures {
    uint64_t Bytes;   // the row's size
    uint64_t Written; // its write time (FILETIME units)
};
int CompareQueues(const QueueFigures &First, const QueueFigures &Second, unsigned int Mode,
                  bool Reversed);
#endif
