// What every write to the outbound comes to, so that a command reports each the same way.
#ifndef BSOPANEL_BSO_WRITE_OUTCOME_H
#define BSOPANEL_BSO_WRITE_OUTCOME_H

// A scoped enum: an outcome is never read as a truth value (WriteDone is 0).
enum class WriteOutcome {
    Done,    // the change is on disk
    Busy,    // the mailer holds the link: nothing was written
    Changed, // the file is no longer what the caller saw: nothing was written
    Failed,  // nothing was written; GetLastError() tells why
};

constexpr WriteOutcome WriteDone = WriteOutcome::Done;
constexpr WriteOutcome WriteBusy = WriteOutcome::Busy;
constexpr WriteOutcome WriteChanged = WriteOutcome::Changed;
constexpr WriteOutcome WriteFailed = WriteOutcome::Failed;

#endif
