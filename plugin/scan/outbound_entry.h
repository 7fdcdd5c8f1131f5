// One row of the model a panel instance shows: a link at the root, or one outbound item inside
// a link. A row's strings lie in its table's pool, or in a block of its own; an instance owns
// its array of rows and their pool.
#ifndef BSOPANEL_SCAN_OUTBOUND_ENTRY_H
#define BSOPANEL_SCAN_OUTBOUND_ENTRY_H

#include "bso/address.h"
#include "bso/outbound.h"

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

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
    // The row's strings lie together, NetmailFlavors their start, in the table's pool or in a
    // block of the row's own (OwnBlock); Name is never null while the row is in a table.
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
    // The strings are a block of the row's own (SetEntryStrings), which FreeEntryStrings
    // releases; false when they lie in the pool of the row's table, which holds them until the
    // pool is emptied for the next listing. Padding otherwise: a row is no larger for it.
    bool OwnBlock;
    LinkStatus Status;
    FtnAddress Link; // a link row at the root: its address; zero inside a link
};

// The strings of a table's rows in a few large chunks, filled again from the first by the next
// listing: a listing of thousands of rows allocates no memory a row. Rows whose strings lie
// here hold them only until the pool is emptied or freed; a single row given new strings
// between listings gets a block of its own (SetEntryStrings), and its old ones stay unused
// until then.
struct EntryChunk;
struct EntryPool {
    EntryChunk *First;   // the chunks in order; null when none
    EntryChunk *Current; // the chunk being filled; null before the first string
    char *At, *End;      // its free bytes
};
void StartEntryPool(EntryPool *Pool);
// Takes every chunk back for a new listing's rows, keeping them: no row that holds strings
// here may be read again before it is rebuilt.
void EmptyEntryPool(EntryPool *Pool);
// Releases the chunks past the one filled now: a listing smaller than the last keeps no more
// than it filled.
void TrimEntryPool(EntryPool *Pool);
void FreeEntryPool(EntryPool *Pool);
// Size bytes from the pool's next chunk, kept from an earlier listing or made now, for when the
// one being filled has no room for them. Null when memory runs out.
char *TakeFromNextEntryChunk(EntryPool *Pool, size_t Size);

// A heap copy of Text (null for null, a new empty text for an empty one). Null also when
// memory runs out.
char *DuplicateString(const char *Text);

// Gives a new row its strings together, from Pool (a block of its own when Pool is null): its
// name, the FolderLength bytes at Folder then the FileLength bytes at File (shorter than
// MAX_PATH together), the file's Alternate name (null or empty for none), two empty flavor
// strings and a copy of SourceText (may be null). False when memory runs out: the row then
// has none. Inline: every row of a listing takes this way (a call cost some 40 instructions).
inline bool StartEntryStrings(OutboundEntry &Entry, EntryPool *Pool, const char *Folder,
                              size_t FolderLength, const char *File, size_t FileLength,
                              const char *Alternate, const char *SourceText) {
    size_t name = FolderLength + FileLength + 1;
    size_t alternate = Alternate ? strlen(Alternate) + 1 : 1;
    size_t source = SourceText ? strlen(SourceText) + 1 : 0;
    size_t size = 2 * FlavorStringSize + name + alternate + source;
    char *block;
    if (!Pool)
        block = static_cast<char *>(malloc(size));
    else if (size <= static_cast<size_t>(Pool->End - Pool->At))
        block = Pool->At, Pool->At += size;
    else
        block = TakeFromNextEntryChunk(Pool, size);
    Entry.OwnBlock = !Pool && block;
    Entry.NetmailFlavors = block;
    if (!block) {
        Entry.FlowFlavors = Entry.Name = Entry.SourceText = nullptr;
        return false;
    }
    memcpy(block, EmptyFlavorString, FlavorStringSize);
    Entry.FlowFlavors =
        static_cast<char *>(memcpy(block + FlavorStringSize, EmptyFlavorString, FlavorStringSize));
    char *at = block + 2 * FlavorStringSize;
    Entry.Name = at;
    if (FolderLength) memcpy(at, Folder, FolderLength); // none for every link row
    memcpy(at += FolderLength, File, FileLength);
    *(at += FileLength) = '\0';
    ++at;
    if (alternate > 1)
        memcpy(at, Alternate, alternate);
    else
        *at = '\0';
    Entry.SourceText =
        SourceText ? static_cast<char *>(memcpy(at + alternate, SourceText, source)) : nullptr;
    return true;
}

// Gives a row new strings in a block of its own: its whole Name and copies of the two flavor
// strings. Whatever strings it had are the caller's to release first (FreeEntryStrings).
bool SetEntryStrings(OutboundEntry &Entry, const char *Name, const char *Alternate,
                     const char *NetmailFlavors, const char *FlowFlavors, const char *SourceText);

// The alternate name kept after the row's name; empty when the file has none.
const char *EntryAlternateName(const OutboundEntry &Entry);

// Releases what the row holds of its own (a block of strings, the last result) and clears the
// pointers and both marks; strings in a pool stay there. Inline: every listing passes every row
// of the last one through it.
inline void FreeEntryStrings(OutboundEntry &Entry) {
    if (Entry.OwnBlock) free(Entry.NetmailFlavors); // the block of all its strings
    if (Entry.Status.LastResult) {
        free(Entry.Status.LastResult);
        Entry.Status.LastResult = nullptr;
    }
    Entry.OwnBlock = false;
    Entry.NetmailFlavors = nullptr;
    Entry.FlowFlavors = nullptr;
    Entry.Name = nullptr;
    Entry.SourceText = nullptr;
    Entry.BusyMark = 0;
    Entry.RequestMark = 0;
}

// Releases every row's strings and the array itself (the array comes from malloc; a pool the
// rows' strings lie in is the caller's to free); leaves Entries null and Count 0.
void FreeEntries(OutboundEntry *&Entries, int &Count);

#endif
