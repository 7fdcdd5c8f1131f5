// One row of the model a panel instance shows: a link at the root, or one outbound item inside
// a link. A row owns its three strings; an instance owns its array of rows.
#ifndef BSOPANEL_SCAN_OUTBOUND_ENTRY_H
#define BSOPANEL_SCAN_OUTBOUND_ENTRY_H

#include "bso/address.h"

#include <windows.h>

#include <stdint.h>

// What kept the scan from reading an item whose row stands for it; the listing says so.
enum EntryProblem : unsigned char {
    NoEntryProblem = 0,
    UnreadableFlowFile = 1,    // the row of a flow file that could not be read (whole)
    UnreadablePointFolder = 2, // the row of a node whose point folder could not be read
    MissingNamedFile = 3,      // a flow file line names a file that is not there
};

// What waits for a link and what its mailer says about it; link rows at the root only, zero
// elsewhere. Times are seconds since 1970. Widest fields first: a listing holds thousands.
struct LinkStatus {
    uint64_t Bytes;            // queued for the link
    int64_t Oldest;            // when the oldest waiting item was queued; 0 when nothing waits
    int64_t HeldUntil;         // a hold file's time still ahead; 0 when not held
    int64_t BusySince;         // the busy flag's write time
    char *LastResult;          // the try file's comment; null when none
    unsigned long BusyProcess; // the process id the busy flag names, 0 when none
    int Failures;              // its failed calls since the last good one
    bool HasTries;             // a try file was read
    bool Calling;              // a call flag: the mailer is dialling
    bool Busy;                 // a busy flag
    bool BusyRunning;          // that process runs on this machine
};

// Only what the rows show of a file, not its whole find data: a root listing holds a row a link.
struct OutboundEntry {
    // The row's strings are one block (SetEntryStrings), NetmailFlavors its start; Name is
    // never null while the row is in a table.
    // Five-letter flavor strings of the row's netmail packets and flow files.
    char *NetmailFlavors;
    char *FlowFlavors;
    // The row's name, shorter than MAX_PATH (it goes into the host's cFileName); followed in
    // the block by the file's alternate (short) name, empty when it has none (EntryAlternateName).
    char *Name;
    // For a file named inside a flow file: that flow file's extension with its dot (".FLO"),
    // in the case the directory search reported it. Null for every other row.
    char *SourceText;
    // Shown by the host as the row's size, times and attributes.
    uint64_t Size;
    FILETIME CreationTime;
    FILETIME LastAccessTime;
    FILETIME LastWriteTime;
    DWORD Attributes;
    EntryProblem Problem;
    char BusyMark;    // '*' when a busy flag belongs to the row, else 0
    char RequestMark; // '*' when a file request belongs to the row, else 0
    LinkStatus Status;
    FtnAddress Link; // a link row at the root: its address; zero inside a link
};

// A heap copy of Text (null for null, a new empty text for an empty one). Null also when
// memory runs out.
char *DuplicateString(const char *Text);

// Gives a new row its strings in one block: its name, the FolderLength bytes at Folder then
// the FileLength bytes at File (shorter than MAX_PATH together), the file's Alternate name
// (null or empty for none), two empty flavor strings and a copy of SourceText (may be null),
// so that a listing of thousands of rows allocates once a row. False when memory runs out:
// the row then has none.
bool StartEntryStrings(OutboundEntry &Entry, const char *Folder, size_t FolderLength,
                       const char *File, size_t FileLength, const char *Alternate,
                       const char *SourceText);

// The same with the row's whole Name and copies of the two flavor strings.
bool SetEntryStrings(OutboundEntry &Entry, const char *Name, const char *Alternate,
                     const char *NetmailFlavors, const char *FlowFlavors, const char *SourceText);

// The alternate name kept after the row's name; empty when the file has none.
const char *EntryAlternateName(const OutboundEntry &Entry);

// Releases the row's strings and clears the pointers and both marks.
void FreeEntryStrings(OutboundEntry &Entry);

// Releases every row's strings and the array itself (rows and strings come from malloc);
// leaves Entries null and Count 0.
void FreeEntries(OutboundEntry *&Entries, int &Count);

#endif
