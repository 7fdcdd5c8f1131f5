// The outbound scanner: every listing rebuilds the instance's rows from the directory tree.
// At the root one row per link (FTN address) with anything in the outbound; inside a link one
// row per outbound item of that link and per file its flow files name.
#ifndef BSOPANEL_SCAN_SCANNER_H
#define BSOPANEL_SCAN_SCANNER_H

#include "bso/address.h"
#include "bso/outbound.h"
#include "scan/outbound_entry.h"
#include "shell/browser.h"

#include <windows.h>

#include <stdint.h>

// Rows one scan collects at most; anything met after that is passed over.
const int ScanCapacity = 2048;

// Replaces the instance's rows by a fresh scan of the view its CurDir names. Only the OPM_FIND
// bit of OpMode is read: with it no progress box is shown and the screen is not saved.
void ScanOutbound(BSOBrowser *Browser, int OpMode);

// Link rows by name, beside the working table: finds the same row as a search through the
// names from the first, without comparing every row. A scan keeps one for its duration; rows
// the table holds that the index has not seen yet are taken in at the next lookup.
const int LinkIndexSlots = 2 * ScanCapacity; // a power of two, never more than half full
struct LinkIndex {
    unsigned short Slots[LinkIndexSlots]; // row number + 1 at the name's place; 0: free
    int Indexed;                          // rows [0, Indexed) are in the index
    // The address met last, its name and its row: a link's files come one after another.
    bool HasLast;
    FtnAddress LastAddress;
    char LastKey[AddressTextSize];
    int LastRow;
};
void ClearLinkIndex(LinkIndex *Index);

// The steps of a scan, on a working table of Capacity rows of which Count are used. Rows are
// appended; a full table takes nothing more. Without an index, link rows are found by a search
// through the names.

// Finds or appends the row of the link and marks it with one file's kind and flavor.
void AddLinkEntry(OutboundEntry *Table, int &Count, int Capacity, const FtnAddress *Address,
                  const WIN32_FIND_DATAA *FindData, EntryKind Kind, Flavor Flavor,
                  LinkIndex *Index = nullptr);
// Appends the row of one item inside a link: named DirectoryPart (upper-cased in place)
// followed by the found name, with a copy of SourceText (may be null). Returns 1 when the row
// was added, 0 when the table is full or the name would not fit a row.
int AddFileEntry(OutboundEntry *Table, int &Count, int Capacity, char *DirectoryPart,
                 const WIN32_FIND_DATAA *FindData, const char *SourceText, EntryKind Kind,
                 Flavor Flavor);
// Adds the links of one zone directory (the root or a zone directory beside it); the caller
// has set Address->zone, the rest is overwritten.
void ScanZoneDirectory(const char *Directory, OutboundEntry *Table, int &Count, int Capacity,
                       FtnAddress *Address, LinkIndex *Index = nullptr);
// Adds the node files of one directory: PointNumber -1 for node files (net and node from the
// names), else the net/node number of a point directory whose files are points.
void ScanNodeFiles(const char *Directory, OutboundEntry *Table, int &Count, int Capacity,
                   FtnAddress *Address, int64_t PointNumber, LinkIndex *Index = nullptr);

#endif
