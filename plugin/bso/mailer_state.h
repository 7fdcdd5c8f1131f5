// The mailer's own files beside a link's mail: a hold (held until a time), the failed-call
// counters, the call flag and the busy flag. Their names and formats are the mailer's profile;
// they are read from a link's base path (its outbound path without an extension), and a hold is
// written the way the mailer writes it, so that the mailer honours a hold the plugin sets.
#ifndef BSOPANEL_BSO_MAILER_STATE_H
#define BSOPANEL_BSO_MAILER_STATE_H

#include "bso/write_outcome.h"

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

// The mailer's files, by extension (".HLD", any case). NoMailerFile for every other name.
enum MailerFile { NoMailerFile = 0, HoldFile = 1, TryFile = 2, CallFlag = 3, BusyFlagFile = 4 };
MailerFile ClassifyMailerFile(const char *Extension);
// Whether the mailer's file of that kind goes with a link's queue when it is cleared or taken
// out: a hold and a count of failed calls belong to the mail they hold back; the flags do not.
bool GoesWithQueue(MailerFile Kind);

// A node's mailer file in a zone or point directory: eight hex digits, a dot and one of the
// extensions above ("139c07d0.hld"), not a directory. *Number: the eight digits.
MailerFile IsMailerFileEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Number);

// Room for the last result of a call as binkd keeps it (the length byte allows 255).
const size_t LastResultSize = 256;

struct MailerState {
    bool Held;          // a hold file whose time is still ahead
    int64_t HeldUntil;  // seconds since 1970 (UTC); set when Held
    bool HasTries;      // a readable try file
    unsigned Successes; // good calls since the file appeared or the last hold (binkd's count)
    unsigned Failures;  // failed calls since the last good one
    char LastResult[LastResultSize];
    bool Calling;              // a call flag: the mailer is dialling the link
    bool Busy;                 // a busy flag: a session (or a command) holds the link
    int64_t BusyAge;           // seconds since the busy flag was written; set when Busy
    unsigned long BusyProcess; // the process id the flag names, 0 when it names none
    bool BusyRunning;          // that process runs on this machine
};

// One mailer's file: its kind, its extension (upper case, as the layout writes it) and whether
// it goes with the queue.
struct MailerFileRow {
    MailerFile Kind;
    const char *Extension;
    bool GoesWithQueue;
};

// One mailer's state files and how it reads and writes them. The listing, the clear and the
// health check ask the outbound's mailer's profile; another mailer would be another entry.
struct MailerProfile {
    const char *Name;
    const MailerFileRow *Files;
    int FileCount;
    // 1 with *Until (seconds since 1970) when a hold's text holds a time, else 0.
    int (*ParseHold)(const char *Text, size_t Length, int64_t *Until);
    // The length of a hold's text for Until written into Text (Size bytes); 0 when it does not fit.
    int (*FormatHold)(int64_t Until, char *Text, size_t Size);
    // 1 with State's counters and last result set from a tries file's bytes, else 0.
    int (*ParseTries)(const unsigned char *Data, size_t Length, MailerState *State);
    // The process id a busy flag's text names, or 0.
    unsigned long (*ParseBusy)(const char *Text, size_t Length);
};

// The mailers known, binkd's first: the outbound's is the first.
extern const MailerProfile MailerProfiles[];
const int MailerProfileCount = 1;
inline const MailerProfile &OutboundMailer() {
    return MailerProfiles[0];
}

// Whether a busy flag was left behind: one whose process runs on this machine never is; one
// naming a process that is gone always is; one naming none is once older than StaleSeconds.
bool IsBusyFlagStale(unsigned long Process, bool Running, int64_t Age, int64_t StaleSeconds);

// 1 when a process of that id runs on this machine.
bool ProcessRuns(unsigned long Process);

// Reads a hold file's text as binkd does (a decimal number, blanks before it skipped, whatever
// follows its digits ignored). 1 with *Until set, 0 for no digits or a sign (nothing held).
int ParseHoldText(const char *Text, size_t Length, int64_t *Until);

// Reads a try file's bytes as binkd writes them, little-endian: 2 bytes good calls, 2 bytes
// failed calls since the last good one, 1 byte the comment's length, the comment. A length that
// disagrees with the file (binkd keeps only its low byte) gives the rest of the file, cut to fit. 0
// when shorter than the counters.
int ParseTryBytes(const unsigned char *Data, size_t Length, MailerState *State);

// The process id a busy flag holds (binkd writes its own in decimal, blanks around it), or 0.
unsigned long ParseBusyText(const char *Text, size_t Length);

// Seconds since 1970 of a file time (0 for times before).
int64_t FileTimeToUnix(const FILETIME &Time);

// The state of the link whose base path is Base, at the time Now (seconds since 1970).
void ReadMailerState(const char *Base, int64_t Now, MailerState *State);

// Reads one of the link's mailer files into State (the caller found it and knows its kind):
// Path the file, Data its find data (for the busy flag's age).
void ReadMailerFile(const char *Path, MailerFile Kind, const WIN32_FIND_DATAA *Data, int64_t Now,
                    MailerState *State);

// Done when the link is held until Until: the text goes to a new file beside the hold file,
// which takes its place in one step, so that the mailer never reads half a time. Failed leaves
// the earlier hold as it was.
WriteOutcome WriteHold(const char *Base, int64_t Until);
// Done when no mailer file of that kind is left (a release, a reset, a stale busy flag).
WriteOutcome RemoveMailerFile(const char *Base, MailerFile Kind);

// The mailer file's path: Base with the extension in the outbound's letter case.
int MailerFilePath(const char *Base, MailerFile Kind, char *Path, size_t Size);

#endif
