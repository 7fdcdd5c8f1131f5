// What every write to the outbound comes to, so that a command reports each the same way.
#ifndef BSOPANEL_BSO_WRITE_OUTCOME_H
#define BSOPANEL_BSO_WRITE_OUTCOME_H

enum WriteOutcome {
    WriteDone,    // the change is on disk
    WriteBusy,    // the mailer holds the link: nothing was written
    WriteChanged, // the file is no longer what the caller saw: nothing was written
    WriteFailed,  // nothing was written; GetLastError() tells why
};

#endif
