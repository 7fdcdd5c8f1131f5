// Clearing a link's queue: what the mailer would do once every queued file was sent, done
// without sending. A plan lists each file once and what happens to it, so that the user sees it
// first; carrying it out fills in per file what happened. Which names are one file is the file
// system's answer (FileIdentity), never the text of the names.
#ifndef BSOPANEL_BSO_QUEUE_CLEAR_H
#define BSOPANEL_BSO_QUEUE_CLEAR_H

#include "bso/address.h"
#include "bso/text_file.h"
#include "common/helpers.h"

#include <windows.h>

#include <stddef.h>

enum ClearAction {
    ClearDelete,   // a "^" file, a flow file, a packet, the request file, .hld/.try, a .tic
    ClearTruncate, // a "#" file: cut to 0 bytes
    ClearLeave,    // a plain line's file, a "^" file kept on disk, a pattern line's files, and
                   // every file the clear must not touch (Reason says why)
    ClearKeep,     // a netmail packet the user keeps
    ClearGone,     // a "^" or "#" file that is missing already: nothing to do
};

// Why a file is left: shown under its row.
enum ClearReason {
    ClearNoReason,
    ClearRelativeName,  // a line without a whole path: which file the mailer means is unknown
    ClearForOtherLink,  // a flow file of a link not being cleared names it (Other), or it is one
    ClearLinksOwnFile,  // one of the link's own files: it has its own step, or none at all
    ClearNotAFile,      // a FIFO, a device or a folder: nothing a mailer sends
    ClearCannotOpen,    // the name cannot be opened (too long, no access): Error says why
    ClearFlowFileStays, // a flow file that cannot be read, or that names a relative line
};

enum ClearFileRole {
    ClearQueuedFile, // named by a line of a flow file
    ClearTicFile,    // the .tic of a deleted "^" file, for the link being cleared
    ClearFlowFile,   // the link's own files from here on
    ClearNetmail,
    ClearRequest,
    ClearLinkState, // .hld and .try
};

struct ClearStep {
    char *Path; // whole, however long (the plan's own)
    ClearFileRole Role;
    ClearAction Action;
    ClearReason Reason;
    FtnAddress Other;        // ClearForOtherLink: the link that still needs it
    int Link;                // the link's index in the command
    unsigned long long Size; // at planning time; 0 for a missing file
    bool Counted;            // leaves the link's queue: in the total, as in the Queued column
    bool Known;              // Seen holds what the file was when planned
    FileIdentity Seen;
    int Owner;   // queued files: the flow file's step; .tic files: the deleted file's step
    bool Done;   // carried out (or nothing was to be done)
    DWORD Error; // why it failed, when it did; ERROR_BUSY: it changed since the preview
};

struct ClearOptions {
    bool KeepNetmail;    // the packets stay
    bool KeepCaretFiles; // "^" files stay on disk; only their lines go
};

struct ClearPlan {
    ClearStep *Steps;
    int Count;
    int Capacity;
    bool Incomplete;  // a flow file could not be read whole, or memory ran out: it stays
    char *Unreadable; // another link's flow file that could not be read whole (the plan's own)
    SpelledFolder Spelled;
    DWORD UnreadableError;
};

// Plans the clearing of the link whose base path (its files without their extension, as
// BuildOutboundPath gives it with "") is BasePath: its flow files (each followed by the files
// its lines name), netmail packets, request file, .hld and .try, in any case. The busy flag
// and any other file are not part of it. Adds to Plan (zeroed by the caller first, released
// with FreeClearPlan), the steps marked with LinkIndex; returns 0 when memory ran out. A flow
// file that cannot be read, or that has a relative line, is planned as kept with every file it
// names.
int PlanQueueClear(const char *BasePath, int LinkIndex, const ClearOptions *Options,
                   ClearPlan *Plan);

// Once every link of the command is planned: a file that a flow file of any other link of the
// outbound at Root (its own zone Own's) names, or that is such a flow file, is left; then the
// .tic files that go with the files deleted are added, a folder's .tic files read once (one
// that cannot be read is left and named). Links (Count of them) are the links being cleared.
// Returns 0 when memory ran out, or when another link's flow file, or a file it names, could
// not be looked at (Unreadable names it): what that link needs is unknown, so nothing may go.
int FinishQueueClearPlan(ClearPlan *Plan, const char *Root, const FtnAddress *Own,
                         const FtnAddress *Links, int Count);

// Whether another link than Link in the outbound at Root (its own zone Own's) still needs the
// file at Path: a line of one of its flow files reaches it, or it is one of that link's own
// files. 1 (Other says which link), 0 when none does or the file is gone, -1 when a flow file
// of another link could not be looked at.
int NamedByOtherLink(const char *Path, const char *Root, const FtnAddress *Own,
                     const FtnAddress *Link, FtnAddress *Other);

// Carries the plan out. Right before each delete or cut the file is checked to be the one
// planned (identity, size, write time); one that changed is left (ERROR_BUSY). A failure on
// one file is recorded in its step and the rest goes on; a flow file is deleted only when every
// file its lines named was handled and it is unchanged, the .hld and .try only when no flow
// file and no packet of their link is left, a .tic only when its file was deleted. Returns the
// number of failed steps.
int ExecuteQueueClear(ClearPlan *Plan);

// The files and bytes that leave the queue (the Counted steps): the sum of the preview's sizes.
void SumQueueClear(const ClearPlan *Plan, int *Files, unsigned long long *Bytes);

void FreeClearPlan(ClearPlan *Plan);

// What a .tic file says in its first 64 KiB: the name of its "File" line (without directory;
// *File is the caller's to free) and the address its "To" line names. 1 when both are there, 0
// when not, -1 when it cannot be read (or is no regular file).
int ReadTicFile(const char *TicPath, char **File, FtnAddress *To);

#endif
