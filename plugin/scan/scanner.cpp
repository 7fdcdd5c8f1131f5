#include "scan/scanner.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/text_file.h"
#include "common/grow_array.h"
#include "common/helpers.h"
#include "scan/named_folders.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void MarkEntry(OutboundEntry &Entry, EntryKind Kind, Flavor Flavor) {
    switch (Kind) {
    case Netmail:
        if (Entry.NetmailFlavors) MarkFlavor(Entry.NetmailFlavors, Flavor);
        break;
    case FlowFile:
        if (Entry.FlowFlavors) MarkFlavor(Entry.FlowFlavors, Flavor);
        break;
    case BusyFlag:
        Entry.BusyMark = '*';
        break;
    case FileRequest:
        Entry.RequestMark = '*';
        break;
    default:
        break;
    }
}

// Fills a new row from the find data with empty marks and flavor strings, its name the
// FolderLength bytes at Folder then the FileLength bytes at File, and a copy of SourceText (may
// be null), its strings from Pool. False when memory runs out: the row has no strings then.
static bool StartEntry(OutboundEntry &Entry, EntryPool *Pool, const WIN32_FIND_DATAA *FindData,
                       const char *Folder, size_t FolderLength, const char *File, size_t FileLength,
                       const char *SourceText) {
    Entry.Size = static_cast<uint64_t>(FindData->nFileSizeHigh) << 32 | FindData->nFileSizeLow;
    Entry.CreationTime = FindData->ftCreationTime;
    Entry.LastAccessTime = FindData->ftLastAccessTime;
    Entry.LastWriteTime = FindData->ftLastWriteTime;
    Entry.Attributes = FindData->dwFileAttributes;
    Entry.BusyMark = 0;
    Entry.RequestMark = 0;
    Entry.Problem = NoEntryProblem;
    memset(&Entry.Status, 0, sizeof(Entry.Status));
    memset(&Entry.Link, 0, sizeof(Entry.Link));
    // The find data's alternate name need not end within its field; most files have none.
    const char *alternate = nullptr;
    char copy[sizeof(FindData->cAlternateFileName) + 1];
    if (FindData->cAlternateFileName[0]) {
        size_t length = strnlen(FindData->cAlternateFileName, sizeof(copy) - 1);
        memcpy(copy, FindData->cAlternateFileName, length);
        copy[length] = '\0';
        alternate = copy;
    }
    return StartEntryStrings(Entry, Pool, Folder, FolderLength, File, FileLength, alternate,
                             SourceText);
}

// ---- The working table ------------------------------------------------------------------

// Rows of a table's first allocation: a small outbound lists in one.
static const int FirstTableCapacity = 256;

void StartScanTable(ScanTable *Table) {
    Table->Rows = nullptr;
    Table->Count = 0;
    Table->Capacity = 0;
    StartEntryPool(&Table->Strings);
    Table->OutOfMemory = false;
    Table->Progress = nullptr;
    Table->Steps = 0;
}

// One file met: every 64th tells the progress.
static void Step(ScanTable *Table) {
    if (Table->Progress && (++Table->Steps & 63) == 0)
        Table->Progress->Tick(Table->Progress->Context);
}

void FreeScanTable(ScanTable *Table) {
    FreeEntries(Table->Rows, Table->Count);
    FreeEntryPool(&Table->Strings);
    StartScanTable(Table);
}

// A new row named Folder and File, started from the find data, the table grown by doubling when
// full (the rows move with their string pointers); null when memory runs out, which ends what the
// scan collects.
static OutboundEntry *NewRow(ScanTable *Table, const WIN32_FIND_DATAA *FindData, const char *Folder,
                             size_t FolderLength, const char *File, size_t FileLength,
                             const char *SourceText) {
    Step(Table);
    if (Table->OutOfMemory) return nullptr;
    if (!RoomForOneMore(&Table->Rows, Table->Count, &Table->Capacity, FirstTableCapacity) ||
        !StartEntry(Table->Rows[Table->Count], &Table->Strings, FindData, Folder, FolderLength,
                    File, FileLength, SourceText)) {
        Table->OutOfMemory = true;
        return nullptr;
    }
    return &Table->Rows[Table->Count++];
}

// ---- Link rows by address ---------------------------------------------------------------

// Slots of an index's first allocation; it doubles whenever it would be more than half full.
static const int FirstLinkIndexSlots = 4096;

void StartLinkIndex(LinkIndex *Index) {
    Index->Slots = nullptr;
    Index->SlotCount = 0;
    Index->Indexed = 0;
    Index->HasLast = false;
    Index->LastRow = 0;
    Index->Backlog = nullptr;
}

void FreeLinkIndex(LinkIndex *Index) {
    free(Index->Slots);
    BacklogScan *backlog = Index->Backlog;
    StartLinkIndex(Index);
    Index->Backlog = backlog;
}

static bool SameAddress(const FtnAddress &A, const FtnAddress &B) {
    return A.zone == B.zone && A.net == B.net && A.node == B.node && A.point == B.point;
}

// "00" to "99": two digits a division.
static const char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233"
    "34353637383940414243444546474849505152535455565758596061626364656667"
    "6869707172737475767778798081828384858687888990919293949596979899";

// Writes the number in decimal, as "%u" does, and returns the end: its length first, then its
// digits from the last, two at a time.
static char *PutDecimal(char *At, uint32_t Number) {
    int length = 1;
    for (uint32_t bound = 10; length < 10 && Number >= bound; bound *= 10) ++length;
    char *end = At + length, *at = end;
    while (Number >= 100) {
        uint32_t pair = Number % 100;
        Number /= 100;
        at -= 2;
        at[0] = DigitPairs[2 * pair];
        at[1] = DigitPairs[2 * pair + 1];
    }
    if (Number >= 10) {
        at[-2] = DigitPairs[2 * Number];
        at[-1] = DigitPairs[2 * Number + 1];
    } else {
        at[-1] = static_cast<char>('0' + Number);
    }
    return end;
}

// The row name of the address, exactly as FormatAddress writes it ("%u:%u/%u.%u"), without
// the formatter: a scan names thousands of links. Returns its length.
static size_t LinkKey(const FtnAddress *Address, char *Key) {
    char *at = PutDecimal(Key, Address->zone);
    *at++ = ':';
    at = PutDecimal(at, Address->net);
    *at++ = '/';
    at = PutDecimal(at, Address->node);
    *at++ = '.';
    at = PutDecimal(at, Address->point);
    *at = '\0';
    return static_cast<size_t>(at - Key);
}

// A link row's name is its address written out, one name for one address: rows are found by
// the address, without writing it out or reading the names.
static uint32_t AddressHash(const FtnAddress &Address) {
    const uint64_t multiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = (static_cast<uint64_t>(Address.zone) << 32 | Address.net) * multiplier;
    hash = (hash ^ (static_cast<uint64_t>(Address.node) << 32 | Address.point)) * multiplier;
    return static_cast<uint32_t>(hash >> 32);
}

// The slot of the address: the one that holds its row, or the free one where it would go.
static int *FindLinkSlot(const OutboundEntry *Rows, LinkIndex *Index, const FtnAddress &Address) {
    uint32_t mask = static_cast<uint32_t>(Index->SlotCount - 1);
    uint32_t at = AddressHash(Address) & mask;
    while (Index->Slots[at] && !SameAddress(Rows[Index->Slots[at] - 1].Link, Address))
        at = (at + 1) & mask;
    return &Index->Slots[at];
}

// Makes room for the rows up to Count with the index at most half full: a larger array, the
// rows taken in again from the first. False when memory runs out (the caller then searches).
static bool ReserveLinkSlots(int Count, LinkIndex *Index) {
    if (Index->SlotCount > 0 && Count <= Index->SlotCount / 2) return true;
    int slotCount = Index->SlotCount ? Index->SlotCount : FirstLinkIndexSlots;
    while (Count > slotCount / 2) slotCount *= 2;
    int *slots = static_cast<int *>(calloc(static_cast<size_t>(slotCount), sizeof(int)));
    if (!slots) return false;
    free(Index->Slots);
    Index->Slots = slots;
    Index->SlotCount = slotCount;
    Index->Indexed = 0;
    return true;
}

// The first row of the address, or Count when there is none; then *FreeSlot is the index's
// slot for the row when one is appended next (null without the index).
static int FindLinkRow(const ScanTable *Table, const FtnAddress *Address, LinkIndex *Index,
                       int **FreeSlot) {
    *FreeSlot = nullptr;
    const OutboundEntry *rows = Table->Rows;
    int count = Table->Count;
    if (Index && Index->Indexed > count) { // rows were dropped: take them in afresh
        if (Index->Slots)
            memset(Index->Slots, 0, static_cast<size_t>(Index->SlotCount) * sizeof(int));
        Index->Indexed = 0;
    }
    if (!Index || !ReserveLinkSlots(count, Index)) {
        int row = 0;
        while (row < count && !SameAddress(rows[row].Link, *Address)) ++row;
        return row;
    }
    // Rows are taken in from the first, and an address already there keeps its row: the index
    // gives the first row of each address, as the search through the rows does.
    for (; Index->Indexed < count; ++Index->Indexed) {
        int *slot = FindLinkSlot(rows, Index, rows[Index->Indexed].Link);
        if (!*slot) *slot = Index->Indexed + 1;
    }
    int *slot = FindLinkSlot(rows, Index, *Address);
    if (*slot) return *slot - 1;
    *FreeSlot = slot;
    return count;
}

// The row of the address, appended when new; -1 when memory ran out.
static int LinkRow(ScanTable *Table, const FtnAddress *Address, const WIN32_FIND_DATAA *FindData,
                   LinkIndex *Index) {
    // The files of one link come one after another: the row of the address met last is kept.
    bool sameAsLast = Index && Index->HasLast && SameAddress(Index->LastAddress, *Address) &&
                      Index->LastRow < Table->Count;
    int *freeSlot = nullptr;
    int row = sameAsLast ? Index->LastRow : FindLinkRow(Table, Address, Index, &freeSlot);
    if (row == Table->Count) {
        char key[AddressTextSize];
        size_t length = LinkKey(Address, key);
        OutboundEntry *entry = NewRow(Table, FindData, "", 0, key, length, nullptr);
        if (!entry) return -1;
        entry->Attributes = FILE_ATTRIBUTE_DIRECTORY;
        entry->Link = *Address;
        // Into the index at once, where the look-up found its place free.
        if (freeSlot && Index->Indexed == row) {
            *freeSlot = row + 1;
            Index->Indexed = row + 1;
        }
    }
    if (Index) {
        Index->HasLast = true;
        Index->LastAddress = *Address;
        Index->LastRow = row;
    }
    return row;
}

void AddLinkEntry(ScanTable *Table, const FtnAddress *Address, const WIN32_FIND_DATAA *FindData,
                  EntryKind Kind, Flavor Flavor, LinkIndex *Index) {
    Step(Table);
    int row = LinkRow(Table, Address, FindData, Index);
    if (row >= 0) MarkEntry(Table->Rows[row], Kind, Flavor);
}

// ---- Rows inside a link -----------------------------------------------------------------

// The same with the directory as rows show it already, and the found name's length (NameLength,
// at most MAX_PATH).
static int AddShownFileEntry(ScanTable *Table, const char *Shown, size_t ShownLength,
                             const WIN32_FIND_DATAA *FindData, size_t NameLength,
                             const char *SourceText, EntryKind Kind, Flavor Flavor) {
    size_t directoryLength = ShownLength;
    size_t nameLength = NameLength;
    if (directoryLength + nameLength >= MAX_PATH) return 0;
    OutboundEntry *entry = NewRow(Table, FindData, Shown, directoryLength, FindData->cFileName,
                                  nameLength, SourceText);
    if (!entry) return 0;
    MarkEntry(*entry, Kind, Flavor);
    return 1;
}

int AddFileEntry(ScanTable *Table, char *DirectoryPart, const WIN32_FIND_DATAA *FindData,
                 const char *SourceText, EntryKind Kind, Flavor Flavor) {
    ShownDirectory(DirectoryPart);
    return AddShownFileEntry(Table, DirectoryPart, strlen(DirectoryPart), FindData,
                             strnlen(FindData->cFileName, MAX_PATH), SourceText, Kind, Flavor);
}

void ShortenRowName(char *Row, const char *Name, size_t Length) {
    if (Length < MAX_PATH) {
        memcpy(Row, Name, Length);
        Row[Length] = '\0';
        return;
    }
    static const char Gap[] = "...";
    const size_t gapLength = sizeof(Gap) - 1;
    size_t head = (MAX_PATH - 1 - gapLength) / 2;
    size_t tail = MAX_PATH - 1 - gapLength - head;
    size_t tailStart = Length - tail;
#ifndef _WIN32
    // UTF-8: neither cut splits a character (continuation bytes are 10xxxxxx).
    while (head > 0 && (static_cast<unsigned char>(Name[head]) & 0xC0) == 0x80) --head;
    while (tailStart < Length && (static_cast<unsigned char>(Name[tailStart]) & 0xC0) == 0x80)
        ++tailStart;
#endif
    memcpy(Row, Name, head);
    memcpy(Row + head, Gap, gapLength);
    memcpy(Row + head + gapLength, Name + tailStart, Length - tailStart);
    Row[head + gapLength + Length - tailStart] = '\0';
}

// The row of a flow file line whose file the scan cannot show (gone, too long for a path here,
// or a directory's "." or ".."): the line's own text, shortened in the middle when it does not
// fit, its directory shown as every row's is (upper case on Windows; elsewhere only a path
// that could be looked up, Path, has a native form); no find data of a file. 1 when added.
static int AddNameOnlyEntry(ScanTable *Table, const char *Name, const char *SourceText,
                            Flavor Flavor, bool Path) {
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    char row[MAX_PATH];
    ShortenRowName(row, Name, strlen(Name));
#ifdef _WIN32
    Path = true;
#endif
    if (Path) {
        // The directory: up to the row's last separator, which is the name's own last one or,
        // where the cut took that, one before it.
        char *end = row + strlen(row);
        while (end > row && end[-1] != '\\' && end[-1] != '/') --end;
        char directory[MAX_PATH];
        size_t directoryLength = static_cast<size_t>(end - row);
        memcpy(directory, row, directoryLength);
        directory[directoryLength] = '\0';
        ShownDirectory(directory);
        size_t shownLength = strlen(directory), nameLength = strlen(end);
        if (shownLength + nameLength < MAX_PATH) {
            memmove(row + shownLength, end, nameLength + 1);
            memcpy(row, directory, shownLength);
        }
    }
    OutboundEntry *entry = NewRow(Table, &data, "", 0, row, strlen(row), SourceText);
    if (!entry) return 0;
    MarkEntry(*entry, FlowFile, Flavor);
    return 1;
}

// Point directories that the search for a zone directory's node files met, so that the zone
// directory is read once. The names accepted are eight hex digits and ".PNT", which
// "????????.???" matches just as "????????.PNT" does, and both searches give them in the same
// order. When memory runs out on the way, the directory is searched for them again.
struct PointDirectory {
    uint32_t Number;
    char Name[13];
};
struct PointDirectories {
    PointDirectory *Items;
    int Count;
    int Capacity;
    bool OutOfMemory;
};

static void NotePointDirectory(PointDirectories *Points, const WIN32_FIND_DATAA *Found) {
    uint32_t number;
    if (!Points || Points->OutOfMemory || !IsPointDirectoryEntry(Found, &number)) return;
    if (!RoomForOneMore(&Points->Items, Points->Count, &Points->Capacity)) {
        Points->OutOfMemory = true;
        return;
    }
    PointDirectory &point = Points->Items[Points->Count++];
    point.Number = number;
    memcpy(point.Name, Found->cFileName, sizeof(point.Name));
}

// A search that failed for another reason than finding nothing: the directory is there but
// cannot be read.
static bool SearchRefused() {
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES &&
           error != ERROR_PATH_NOT_FOUND;
}

static void ScanNodeFileEntries(const char *Directory, ScanTable *Table, FtnAddress *Address,
                                int64_t PointNumber, LinkIndex *Index, PointDirectories *Points) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, MAX_PATH, Directory, "\\", "????????.???")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        // A point folder that cannot be read would hide its points: its node's row says so.
        if (PointNumber >= 0 && SearchRefused()) {
            SplitNodeNumber(static_cast<uint32_t>(PointNumber), &Address->net, &Address->node);
            Address->point = 0;
            WIN32_FIND_DATAA folder;
            memset(&folder, 0, sizeof folder);
            int row = LinkRow(Table, Address, &folder, Index);
            if (row >= 0) Table->Rows[row].Problem = UnreadablePointFolder;
        }
        return;
    }
    BacklogScan *backlog = Index ? Index->Backlog : nullptr;
    if (backlog) BeginBacklogFolder(backlog, Directory);
    // A point folder's files are all of one node; a node file's name gives net and node.
    uint32_t pointNet = 0, pointNode = 0;
    if (PointNumber >= 0)
        SplitNodeNumber(static_cast<uint32_t>(PointNumber), &pointNet, &pointNode);
    // The name's number of the file before and its row: a link's files come one after another.
    uint32_t lastNumber = 0;
    int lastRow = -1;
    NodeDigits digits = {};
    do {
        EntryKind kind;
        Flavor flavor;
        uint32_t number;
        MailerFile mailer = NoMailerFile;
        if (!IsNodeFileEntry(&found, &kind, &flavor, &number, &digits)) {
            // The mailer's own files of a link count only where its state is shown.
            if (!backlog || !(mailer = IsMailerFileEntry(&found, &number))) {
                NotePointDirectory(Points, &found);
                continue;
            }
            kind = NoEntryKind;
            flavor = NoFlavor;
        }
        int row = lastRow;
        if (row < 0 || number != lastNumber) {
            if (PointNumber < 0) {
                SplitNodeNumber(number, &Address->net, &Address->node);
                Address->point = 0;
            } else {
                Address->net = pointNet;
                Address->node = pointNode;
                Address->point = number;
            }
            row = LinkRow(Table, Address, &found, Index);
            if (row < 0) continue;
            lastNumber = number;
            lastRow = row;
        }
        MarkEntry(Table->Rows[row], kind, flavor);
        if (backlog) NoteLinkFile(backlog, &Table->Rows[row], row, &found, kind, mailer);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void ScanNodeFiles(const char *Directory, ScanTable *Table, FtnAddress *Address,
                   int64_t PointNumber, LinkIndex *Index) {
    ScanNodeFileEntries(Directory, Table, Address, PointNumber, Index, nullptr);
}

void ScanZoneDirectory(const char *Directory, ScanTable *Table, FtnAddress *Address,
                       LinkIndex *Index) {
    PointDirectories points = {nullptr, 0, 0, false};
    ScanNodeFileEntries(Directory, Table, Address, -1, Index, &points);
    char pointDirectory[MAX_PATH];
    if (!points.OutOfMemory) {
        for (int i = 0; i < points.Count; ++i)
            if (JoinPath(pointDirectory, MAX_PATH, Directory, "\\", points.Items[i].Name))
                ScanNodeFiles(pointDirectory, Table, Address, points.Items[i].Number, Index);
        free(points.Items);
        return;
    }
    free(points.Items);
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, MAX_PATH, Directory, "\\", "????????.PNT")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        uint32_t number;
        if (!IsPointDirectoryEntry(&found, &number) ||
            !JoinPath(pointDirectory, MAX_PATH, Directory, "\\", found.cFileName))
            continue;
        ScanNodeFiles(pointDirectory, Table, Address, number, Index);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The link list: the root with the own zone, then each zone directory beside it.
static void ScanLinkList(const char *Root, const FtnAddress *Own, ScanTable *Table,
                         FlowCache **Cache, int64_t Now) {
    FtnAddress address = {Own->zone, 0, 0, 0};
    // Thousands of files over thousands of links: each file's row is found through the index.
    LinkIndex index;
    StartLinkIndex(&index);
    BacklogScan backlog;
    StartBacklogScan(&backlog, Cache, Now);
    index.Backlog = &backlog;
    // The point folders are met by the zone folder's own search, which reads it once.
    auto scanZone = [&](const OutboundFolder &Folder) {
        address.zone = Folder.Zone;
        ScanZoneDirectory(Folder.Path, Table, &address, &index);
        return true;
    };
    WalkOutbound(Root, Own->zone, false, scanZone);
    FreeLinkIndex(&index);
    FinishBacklogScan(&backlog, Table->Rows, Table->Count);
    ShowBacklogInRows(Table->Rows, Table->Count);
}

// ---- Flow files of one link -------------------------------------------------------------

// Notes a file that a flow file names and that is gone. Memory that runs out only leaves it
// unnoted: its line stays, and a later listing finds it again.
static void NoteMissingFile(ScanResult *Result, const char *FlowPath, const char *Line,
                            size_t Length, const char *Name) {
    if (!RoomForOneMore(&Result->Missing, Result->MissingCount, &Result->MissingCapacity, 8))
        return;
    char *line = static_cast<char *>(malloc(Length + 1));
    if (!line) return;
    memcpy(line, Line, Length);
    line[Length] = '\0';
    MissingFile &missing = Result->Missing[Result->MissingCount++];
    memcpy(missing.FlowPath, FlowPath, strlen(FlowPath) + 1);
    memcpy(missing.Name, Name, strlen(Name) + 1);
    missing.Line = line;
    missing.Length = Length;
}

static bool HasWildcards(const char *Name) {
    return strpbrk(Name, "*?") != nullptr;
}

static bool IsDotEntry(const char *Name) {
    return Name[0] == '.' && (!Name[1] || (Name[1] == '.' && !Name[2]));
}

// Looks the name up. A wildcard name gives its first match other than "." and "..", which
// name the directory rather than a file in it; only when nothing else matches does the first
// match stand.
static bool FindNamedFile(const char *Name, WIN32_FIND_DATAA *Found) {
    HANDLE search = FindFirstFileA(Name, Found);
    if (search == INVALID_HANDLE_VALUE) return false;
    if (HasWildcards(Name) && IsDotEntry(Found->cFileName)) {
        WIN32_FIND_DATAA next;
        while (FindNextFileA(search, &next))
            if (!IsDotEntry(next.cFileName)) {
                *Found = next;
                break;
            }
    }
    FindClose(search);
    return true;
}

// About how many lines of the flow file (Size bytes when it was found) are still to come,
// from the length of the Lines that came in Bytes.
static unsigned long long NamesAhead(const WIN32_FIND_DATAA *FlowData, unsigned long long Lines,
                                     unsigned long long Bytes) {
    unsigned long long size =
        static_cast<unsigned long long>(FlowData->nFileSizeHigh) << 32 | FlowData->nFileSizeLow;
    unsigned long long left = size > Bytes ? size - Bytes : 0;
    return Bytes ? left / (Bytes / Lines + 1) + 1 : left;
}

// The flow file's own row, marked with Problem.
static void AddFlowFileRow(ScanTable *Table, const char *FlowPath, const WIN32_FIND_DATAA *FlowData,
                           Flavor Flavor, EntryProblem Problem) {
    char directory[MAX_PATH];
    strcpy(directory, FlowPath);
    DirectoryPart(directory);
    if (AddFileEntry(Table, directory, FlowData, nullptr, FlowFile, Flavor))
        Table->Rows[Table->Count - 1].Problem = Problem;
}

// The most a flow file is read at once.
static const DWORD LongFileReadSize = 64 * 1024;

// Lists the files a flow file names, or the flow file itself when none of them gives a row.
// Lines of any length are read whole; one that names no file (blank, or only a directive) is
// passed over. A name too long to look up, and a name ending in "." or "..", still gets a row
// of its own text; a name that is looked up and not found gets none and is noted in Result.
// A flow file that cannot be read is listed itself, marked so.
static void ScanFlowFile(const char *FlowPath, const WIN32_FIND_DATAA *FlowData,
                         const char *Extension, Flavor Flavor, ScanTable *Table,
                         ScanResult *Result) {
    LineReader reader;
    if (!OpenLineReader(&reader, FlowPath)) {
        CloseLineReader(&reader);
        AddFlowFileRow(Table, FlowPath, FlowData, Flavor, UnreadableFlowFile);
        return;
    }
    // A long file in 64 KiB reads rather than 4 KiB ones: a read costs more than its bytes.
    // Only while this file is read, so the root listing's peak never holds it.
    unsigned long long flowSize =
        static_cast<unsigned long long>(FlowData->nFileSizeHigh) << 32 | FlowData->nFileSizeLow;
    char *readRoom = nullptr;
    if (flowSize >= sizeof reader.Chunk) {
        DWORD room = flowSize < LongFileReadSize ? static_cast<DWORD>(flowSize) : LongFileReadSize;
        readRoom = static_cast<char *>(malloc(room));
        if (readRoom) UseLineBuffer(&reader, readRoom, room);
    }
    int rowsFromFile = 0;
    int got;
    char *line;
    size_t length;
    // The folders the lines name files in, and how far the file is read: how many names are
    // still to come bounds what reading a folder may cost.
    NamedFolders folders;
    StartNamedFolders(&folders);
    unsigned long long linesRead = 0, bytesRead = 0;
    while ((got = ReadLine(&reader, &line, &length)) > 0) {
        ++linesRead;
        bytesRead += length + (reader.LineEnd[0] ? reader.LineEnd[1] ? 2 : 1 : 0);
        // Room for the rows still to come at once, rather than the table copied as it doubles;
        // without it the table still grows row by row.
        if (linesRead == 16) {
            unsigned long long ahead = NamesAhead(FlowData, linesRead, bytesRead);
            if (ahead < static_cast<unsigned long long>(INT_MAX - Table->Count)) {
                void *rows = Table->Rows;
                if (GrowArrayTo(&rows, sizeof(OutboundEntry), &Table->Capacity,
                                Table->Count + static_cast<int>(ahead), FirstTableCapacity))
                    Table->Rows = static_cast<OutboundEntry *>(rows);
            }
        }
        if (!LineNamesAFile(line, length)) continue;
        // The line's end is cut off by a zero over its first byte, which is kept: a repair
        // looks for the line as read. A NUL ends the name: the row and the question show what
        // comes before it, and the repair takes out exactly this line.
        size_t trimmed = TrimmedLineLength(line, strlen(line));
        char cut = line[trimmed];
        line[trimmed] = '\0';
        char *flowName = FlowLineName(line);
        if (!flowName || !*flowName) continue;
        // The name in the file functions' code page from here on: looked up, shown, asked
        // about. One that cannot be converted is shown as written and not looked up.
        char converted[MAX_PATH];
        size_t nameLength = 0;
        bool convertible =
            FlowNameToFileName(flowName, static_cast<size_t>(line + trimmed - flowName), converted,
                               sizeof(converted), &nameLength);
        const char *name = convertible ? converted : flowName;
        // A name whose last part is "." or ".." names a directory by way of another name (the
        // one the search would report), never a file to send.
        if (!convertible) nameLength = 0;
        // Most lines name a file in the folder of the line before.
        NamedFolder *folder = nameLength ? LastFolderHolding(&folders, name, nameLength) : nullptr;
        size_t folderLength = folder ? folder->TextLength : FolderLength(name, nameLength);
        bool lookUp = convertible && nameLength < MAX_PATH && !IsDotEntry(name + folderLength);
        if (!lookUp) folderLength = 0, folder = nullptr;
        WIN32_FIND_DATAA found;
        if (!folder && folderLength) folder = FolderOfName(&folders, name, folderLength);
        // How many names are still to come matters only to a folder not read yet. A name the
        // folder's read answers is as long as the one asked about (it may differ in case only).
        bool inFolder =
            lookUp && folder &&
            FindInFolder(folder, name + folderLength, nameLength - folderLength,
                         folder->State == FolderUnread ? NamesAhead(FlowData, linesRead, bytesRead)
                                                       : 0,
                         &found);
        if (inFolder || (lookUp && FindNamedFile(name, &found))) {
            size_t foundLength =
                inFolder ? nameLength - folderLength : strnlen(found.cFileName, MAX_PATH);
            const char *shown = folder ? ShownFolder(folder) : nullptr;
            size_t shownLength = shown ? folder->ShownLength : 0;
            char directory[MAX_PATH];
            if (!shown) {
                strcpy(directory, name);
                DirectoryPart(directory);
                ShownDirectory(directory);
                shown = directory;
                shownLength = strlen(directory);
            }
            if (AddShownFileEntry(Table, shown, shownLength, &found, foundLength, Extension,
                                  FlowFile, Flavor) ||
                AddNameOnlyEntry(Table, name, Extension, Flavor, false))
                ++rowsFromFile;
            continue;
        }
        // A name too long to look up, or not convertible, is no name the scan could call
        // missing. Every such line keeps a row of its own text, whatever is done about the
        // line: a file that is gone is shown so, not hidden behind its flow file.
        if (convertible) {
            line[trimmed] = cut;
            NoteMissingFile(Result, FlowPath, line, length, name);
            line[trimmed] = '\0';
        }
        if (AddNameOnlyEntry(Table, name, Extension, Flavor, lookUp)) {
            if (lookUp) Table->Rows[Table->Count - 1].Problem = MissingNamedFile;
            ++rowsFromFile;
        }
    }
    FreeNamedFolders(&folders);
    CloseLineReader(&reader);
    free(readRoom);
    if (got < 0)
        AddFlowFileRow(Table, FlowPath, FlowData, Flavor, UnreadableFlowFile);
    else if (rowsFromFile == 0)
        AddFlowFileRow(Table, FlowPath, FlowData, Flavor, NoEntryProblem);
}

// The items of one link: its packets, flow files, request and busy flag, and the files its
// flow files name, from the one directory its base path names.
static void ScanLinkContents(const char *CurDir, const OutboundConfig &Config, ScanTable *Table,
                             ScanResult *Result) {
    ParseAddress(&Result->Link, CurDir, &Config.Own);
    char base[OutboundPathSize];
    if (!BuildOutboundPath(&Result->Link, base, Config.Root, "", &Config.Own)) return;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, MAX_PATH, base, ".???", "")) return;
    char directory[MAX_PATH];
    strcpy(directory, base);
    DirectoryPart(directory);

    // The busy flag is one of the names the search below gives (it matches case-blind, as a
    // look-up of the flag would): a look-up of its own read the whole folder again.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const char *extension = strchr(found.cFileName, '.');
        if (extension && _stricmp(extension, ".BSY") == 0) Result->LinkBusy = true;
        EntryKind kind;
        Flavor flavor;
        if (!IsLinkFileEntry(&found, &kind, &flavor)) {
            // The mailer's hold and try files are the link's rows too.
            MailerFile mailer = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                    ? NoMailerFile
                                    : ClassifyMailerFile(strchr(found.cFileName, '.'));
            if (mailer != HoldFile && mailer != TryFile) continue;
            kind = NoEntryKind;
            flavor = NoFlavor;
        }
        // The name as found: where names differ only in case (Linux) it is the file itself.
        char path[MAX_PATH];
        if (!JoinPath(path, MAX_PATH, directory, "", found.cFileName)) continue;
        char rowDirectory[MAX_PATH];
        strcpy(rowDirectory, directory);
        if (kind == FlowFile)
            ScanFlowFile(path, &found, strchr(found.cFileName, '.'), flavor, Table, Result);
        else
            AddFileEntry(Table, rowDirectory, &found, nullptr, kind, flavor);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// ---- The scan ---------------------------------------------------------------------------

void StartScanResult(ScanResult *Result) {
    Result->Rows = nullptr;
    Result->RowCount = 0;
    Result->RowCapacity = 0;
    StartEntryPool(&Result->Strings);
    Result->Missing = nullptr;
    Result->MissingCount = 0;
    Result->MissingCapacity = 0;
    memset(&Result->Link, 0, sizeof(Result->Link));
    Result->LinkBusy = false;
}

void FreeScanResult(ScanResult *Result) {
    FreeEntries(Result->Rows, Result->RowCount);
    FreeEntryPool(&Result->Strings);
    for (int i = 0; i < Result->MissingCount; ++i) free(Result->Missing[i].Line);
    free(Result->Missing);
    StartScanResult(Result);
}

void ScanOutbound(const OutboundConfig &Config, const char *CurDir, FlowCache **FlowFiles,
                  ScanResult *Result, const ScanProgress *Progress, OutboundEntry *Room,
                  int RoomCapacity, EntryPool *Strings) {
    StartScanResult(Result);
    // A table on the heap that grows with the rows, not one on the host's stack. Every row is
    // filled whole as it is appended, so the table is not cleared first.
    ScanTable table;
    StartScanTable(&table);
    if (Room) {
        table.Rows = Room;
        table.Capacity = RoomCapacity;
    }
    if (Strings) {
        table.Strings = *Strings;
        StartEntryPool(Strings);
        EmptyEntryPool(&table.Strings);
    }
    table.Progress = Progress;
    if (Progress) Progress->Tick(Progress->Context); // a scan right after a long question

    // No outbound configured lists nothing, rather than the current drive's root.
    if (Config.Root[0]) {
        if (CurDir[0] >= '0' && CurDir[0] <= '9')
            ScanLinkContents(CurDir, Config, &table, Result);
        else
            ScanLinkList(Config.Root, &Config.Own, &table, FlowFiles,
                         static_cast<int64_t>(time(nullptr)));
    }

    // The rows move into the result with their strings' pool, so nothing can fail half-way. The
    // table itself becomes the array, where it lies: no rows are copied. Its room is kept for
    // the next listing unless it is far more than the rows need (a much smaller view now); of
    // the pool, the chunks this listing filled.
    if (table.Count > 0) {
        int capacity = table.Capacity;
        if (capacity / 2 > table.Count + FirstTableCapacity) {
            if (void *cut =
                    realloc(table.Rows, static_cast<size_t>(table.Count) * sizeof(OutboundEntry))) {
                table.Rows = static_cast<OutboundEntry *>(cut);
                capacity = table.Count;
            }
        }
        Result->Rows = table.Rows;
        Result->RowCount = table.Count;
        Result->RowCapacity = capacity;
        TrimEntryPool(&table.Strings);
        Result->Strings = table.Strings;
        StartScanTable(&table);
    }
    FreeScanTable(&table);
}
