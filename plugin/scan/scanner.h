// The outbound scanner: every listing rebuilds its rows from the directory tree. At the root
// one row per link (FTN address) with anything in the outbound; inside a link one row per
// outbound item of that link and per file its flow files name. It reads the outbound only:
// what to do about a file that is gone is the caller's question.
#ifndef BSOPANEL_SCAN_SCANNER_H
#define BSOPANEL_SCAN_SCANNER_H

#include "bso/address.h"
#include "bso/outbound.h"
#include "scan/backlog.h"
#include "scan/outbound_entry.h"

#include <windows.h>

#include <stdint.h>

// A file that a line of a flow file names and that is not there.
struct MissingFile {
    char FlowPath[MAX_PATH]; // the flow file, under the name it has on disk
    char Name[MAX_PATH];     // the name the line gives (up to a NUL byte in it)
    char *Line;              // the line as it stands in the flow file, byte for byte
    size_t Length;
};

// What one scan found: the rows (malloc'ed, their strings in the result's pool) and, inside a
// link, the files its flow files name that are gone, in file order.
struct ScanResult {
    OutboundEntry *Rows;
    int RowCount;
    int RowCapacity; // rows the array has room for
    EntryPool Strings;
    MissingFile *Missing;
    int MissingCount;
    int MissingCapacity;
    FtnAddress Link; // inside a link: the link
    bool LinkBusy;   // inside a link: its busy flag was there when the scan began
};
void StartScanResult(ScanResult *Result);
// Releases what the result still holds (rows and their pool not taken over, the missing files).
void FreeScanResult(ScanResult *Result);

// Scans the view CurDir names (empty: the link list; an address: that link) in the outbound of
// Config. No outbound configured lists nothing. FlowFiles is the caller's cache of the flow
// files the root listing read, kept between listings.
// Progress, when given, is told now and then while the scan runs (every few dozen files), so
// that the caller can show a box once the scan has taken long. Room, when given, is the array of
// an earlier result (RoomCapacity rows, their strings freed) for the rows to go into: a view
// listed again and again fills the memory it has instead of faulting in fresh pages each time.
// Strings, when given, is that result's pool: it moves into this result, emptied, for the rows'
// strings to fill again.
struct ScanProgress {
    void (*Tick)(void *Context);
    void *Context;
};
void ScanOutbound(const OutboundConfig &Config, const char *CurDir, FlowCache **FlowFiles,
                  ScanResult *Result, const ScanProgress *Progress = nullptr,
                  OutboundEntry *Room = nullptr, int RoomCapacity = 0,
                  EntryPool *Strings = nullptr);

// The working table of a scan: rows are appended, and the table grows as they come, so that
// every item of the outbound gets its row however many there are. Rows hold Count rows of
// Capacity; OutOfMemory is set when a row could not be had (the scan ends short then).
struct ScanTable {
    OutboundEntry *Rows;
    int Count;
    int Capacity;
    EntryPool Strings; // the rows'
    bool OutOfMemory;
    const ScanProgress *Progress; // null for none
    unsigned Steps;               // files met, for the progress ticks
};
void StartScanTable(ScanTable *Table);
// Releases the rows with their strings and pool.
void FreeScanTable(ScanTable *Table);

// Link rows by address (a link row's name is its address written out), beside the working
// table: finds the same row as a search through the rows from the first, without comparing
// every row. Its slots grow with the table; a scan keeps one for its duration; rows the table
// holds that the index has not seen yet are taken in at the next lookup.
struct LinkIndex {
    int *Slots;    // row number + 1 at the address's place; 0: free
    int SlotCount; // a power of two, never more than half full
    int Indexed;   // rows [0, Indexed) are in the index
    // The address met last and its row: a link's files come one after another.
    bool HasLast;
    FtnAddress LastAddress;
    int LastRow;
    // The root listing's backlog, handed every file of a link; null for none.
    BacklogScan *Backlog;
};
void StartLinkIndex(LinkIndex *Index);
void FreeLinkIndex(LinkIndex *Index);

// The steps of a scan. Without an index, link rows are found by a search through the names.

// Finds or appends the row of the link and marks it with one file's kind and flavor.
void AddLinkEntry(ScanTable *Table, const FtnAddress *Address, const WIN32_FIND_DATAA *FindData,
                  EntryKind Kind, Flavor Flavor, LinkIndex *Index = nullptr);
// Appends the row of one item inside a link: named DirectoryPart (upper-cased in place)
// followed by the found name, with a copy of SourceText (may be null). Returns 1 when the row
// was added, 0 when memory ran out or the name would not fit a row.
int AddFileEntry(ScanTable *Table, char *DirectoryPart, const WIN32_FIND_DATAA *FindData,
                 const char *SourceText, EntryKind Kind, Flavor Flavor);
// Writes Name into Row (MAX_PATH bytes): whole when it fits, else its start and its end with
// "..." between them, so that both the drive and the file's own name stay in sight.
void ShortenRowName(char *Row, const char *Name, size_t Length);
// Adds the links of one zone directory (the root or a zone directory beside it); the caller
// has set Address->zone, the rest is overwritten.
void ScanZoneDirectory(const char *Directory, ScanTable *Table, FtnAddress *Address,
                       LinkIndex *Index = nullptr);
// Adds the node files of one directory: PointNumber -1 for node files (net and node from the
// names), else the net/node number of a point directory whose files are points.
void ScanNodeFiles(const char *Directory, ScanTable *Table, FtnAddress *Address,
                   int64_t PointNumber, LinkIndex *Index = nullptr);

#endif
