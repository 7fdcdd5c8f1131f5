// One row of the model a panel instance shows: a link at the root, or one outbound item inside
// a link. A row owns its three strings; an instance owns its array of rows.
#ifndef BSOPANEL_SCAN_OUTBOUND_ENTRY_H
#define BSOPANEL_SCAN_OUTBOUND_ENTRY_H

#include <windows.h>

// What kept the scan from reading an item whose row stands for it; the listing says so.
enum EntryProblem {
    NoEntryProblem = 0,
    UnreadableFlowFile = 1,    // the row of a flow file that could not be read (whole)
    UnreadablePointFolder = 2, // the row of a node whose point folder could not be read
};

struct OutboundEntry {
    // The row's name is FindData.cFileName; the rest is shown as its attributes, times, size.
    WIN32_FIND_DATAA FindData;
    char BusyMark;    // '*' when a busy flag belongs to the row, else 0
    char RequestMark; // '*' when a file request belongs to the row, else 0
    // Five-letter flavor strings of the row's netmail packets and flow files; null when absent.
    char *NetmailFlavors;
    char *FlowFlavors;
    // For a file named inside a flow file: that flow file's extension with its dot (".FLO"),
    // in the case the directory search reported it. Null for every other row.
    char *SourceText;
    EntryProblem Problem;
};

// A heap copy of Text (null for null, a new empty text for an empty one). Null also when
// memory runs out.
char *DuplicateString(const char *Text);

// Releases the row's strings and clears the pointers and both marks.
void FreeEntryStrings(OutboundEntry &Entry);

// Releases every row's strings and the array itself (rows and strings come from malloc);
// leaves Entries null and Count 0.
void FreeEntries(OutboundEntry *&Entries, int &Count);

#endif
