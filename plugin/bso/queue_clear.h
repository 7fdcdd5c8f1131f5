// Clearing a link's queue: what the mailer would do once every queued file was sent, done
// without sending. A plan lists each file and what happens to it, so that the user sees it
// first; carrying it out fills in per file what happened.
#ifndef BSOPANEL_BSO_QUEUE_CLEAR_H
#define BSOPANEL_BSO_QUEUE_CLEAR_H

#include <windows.h>

#include <stddef.h>

enum ClearAction {
    ClearDelete,   // a "^" file, a flow file, a packet, the request file, .hld/.try, a .tic
    ClearTruncate, // a "#" file: cut to 0 bytes
    ClearLeave,    // a plain line's file, a "^" file kept on disk, a pattern line's files, a
                   // line's file that is one of the link's own (it has its own step)
    ClearKeep,     // a netmail packet the user keeps
    ClearGone,     // a "^" or "#" file that is missing already: nothing to do
};

enum ClearFileRole {
    ClearQueuedFile, // named by a line of a flow file
    ClearTicFile,    // the .tic beside a deleted "^" file
    ClearFlowFile,   // the link's own files from here on
    ClearNetmail,
    ClearRequest,
    ClearLinkState, // .hld and .try
};

struct ClearStep {
    char Path[MAX_PATH];
    ClearFileRole Role;
    ClearAction Action;
    unsigned long long Size; // at planning time; 0 for a missing file
    int Owner;               // the flow file's step for queued files and .tic files, else -1
    bool Done;               // carried out (or nothing was to be done)
    DWORD Error;             // why it failed, when it did not
};

struct ClearOptions {
    bool KeepNetmail;    // the packets stay
    bool KeepCaretFiles; // "^" files stay on disk; only their lines go
};

struct ClearPlan {
    ClearStep *Steps;
    int Count;
    int Capacity;
    bool Incomplete; // a flow file could not be read whole, or memory ran out: it stays
};

// Plans the clearing of the link whose base path (its files without their extension, as
// BuildOutboundPath gives it with "") is BasePath: its flow files (each followed by the files
// its lines name and the .tic beside each "^" file that goes), netmail packets, request file,
// .hld and .try, in any case. The busy flag and any other file are not part of it. Adds to
// Plan (zeroed by the caller first, released with FreeClearPlan); returns 0 when memory ran
// out. A flow file that cannot be read is planned as kept (Incomplete is set).
int PlanQueueClear(const char *BasePath, const ClearOptions *Options, ClearPlan *Plan);

// Carries the plan out in order. A failure on one file is recorded in its step and the rest
// goes on; a flow file is deleted only when every file its lines named was handled, and the
// .hld and .try only when no flow file and no packet is left. Returns the number of failed
// steps.
int ExecuteQueueClear(ClearPlan *Plan);

// The files and bytes that go (deleted or cut to 0 bytes).
void SumQueueClear(const ClearPlan *Plan, int *Files, unsigned long long *Bytes);

void FreeClearPlan(ClearPlan *Plan);

// Whether the .tic file names File (its path) in its "File" line: the name without directory,
// compared without regard to case. 1 when it does, 0 when not, -1 when it cannot be read.
int TicNamesFile(const char *TicPath, const char *File);

#endif
