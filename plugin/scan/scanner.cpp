#include "scan/scanner.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/text_file.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

// Size of the progress box's text line, its terminating zero included.
static const size_t ProgressLineSize = 64;

// Writes Format into Line (Size bytes), with its first "%s" replaced by Argument and "%%" by
// "%". Every other "%" is copied as it stands: the format is a translator's text and must never
// reach printf, where a stray "%n" or a second "%s" would read or write anywhere. A line that
// does not fit is cut; off Windows, where texts are UTF-8, never inside a character.
static void FormatProgressLine(char *Line, size_t Size, const char *Format, const char *Argument) {
    size_t used = 0;
    bool argumentUsed = false;
    auto put = [&](char c) {
        if (used + 1 < Size) Line[used++] = c;
    };
    for (const char *p = Format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put('%');
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !argumentUsed) {
            for (const char *a = Argument; *a; ++a) put(*a);
            argumentUsed = true;
            ++p;
        } else {
            put(*p);
        }
    }
#ifndef _WIN32
    // A cut in the middle of a UTF-8 sequence leaves its lead byte and some continuation
    // bytes: take the unfinished character away.
    if (used + 1 >= Size) {
        size_t start = used;
        while (start > 0 && (static_cast<unsigned char>(Line[start - 1]) & 0xC0) == 0x80) --start;
        if (start > 0 && (static_cast<unsigned char>(Line[start - 1]) & 0xC0) == 0xC0) {
            unsigned char lead = static_cast<unsigned char>(Line[start - 1]);
            size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (used - (start - 1) < length) used = start - 1;
        }
    }
#endif
    Line[used] = '\0';
}

// Joins Directory, Separator and Name into Buffer (MAX_PATH bytes). False when the result
// would not fit: such a path names nothing the scan could search.
static bool JoinPath(char *Buffer, const char *Directory, const char *Separator, const char *Name) {
    int length = snprintf(Buffer, MAX_PATH, "%s%s%s", Directory, Separator, Name);
    return length >= 0 && length < MAX_PATH;
}

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

// Fills a new row from the find data with empty marks and flavor strings.
static void StartEntry(OutboundEntry &Entry, const WIN32_FIND_DATAA *FindData) {
    memcpy(&Entry.FindData, FindData, sizeof(Entry.FindData));
    Entry.BusyMark = 0;
    Entry.RequestMark = 0;
    Entry.NetmailFlavors = DuplicateString(EmptyFlavorString);
    Entry.FlowFlavors = DuplicateString(EmptyFlavorString);
    Entry.SourceText = nullptr;
    Entry.Problem = NoEntryProblem;
    memset(&Entry.Status, 0, sizeof(Entry.Status));
}

// ---- The working table ------------------------------------------------------------------

// Rows of a table's first allocation: a small outbound lists in one.
static const int FirstTableCapacity = 256;

void StartScanTable(ScanTable *Table) {
    Table->Rows = nullptr;
    Table->Count = 0;
    Table->Capacity = 0;
    Table->OutOfMemory = false;
}

void FreeScanTable(ScanTable *Table) {
    for (int i = 0; i < Table->Count; ++i) FreeEntryStrings(Table->Rows[i]);
    free(Table->Rows);
    StartScanTable(Table);
}

// The next free row, the table grown by doubling when full (the rows move with their string
// pointers); null when memory runs out, which ends what the scan collects.
static OutboundEntry *NewRow(ScanTable *Table) {
    if (Table->OutOfMemory) return nullptr;
    if (Table->Count == Table->Capacity) {
        int capacity = Table->Capacity ? Table->Capacity * 2 : FirstTableCapacity;
        void *grown =
            capacity > Table->Capacity
                ? realloc(Table->Rows, static_cast<size_t>(capacity) * sizeof(OutboundEntry))
                : nullptr;
        if (!grown) {
            Table->OutOfMemory = true;
            return nullptr;
        }
        Table->Rows = static_cast<OutboundEntry *>(grown);
        Table->Capacity = capacity;
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

// Writes the number in decimal, as "%u" does, and returns the end.
static char *PutDecimal(char *At, uint32_t Number) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + Number % 10);
        Number /= 10;
    } while (Number);
    while (count) *At++ = digits[--count];
    return At;
}

// The row name of the address, exactly as FormatAddress writes it ("%u:%u/%u.%u"), without
// the formatter: a scan names thousands of files' addresses. The last one is kept in the index.
static const char *LinkKey(const FtnAddress *Address, LinkIndex *Index, char *Key) {
    if (Index && Index->HasLast && SameAddress(Index->LastAddress, *Address)) return Index->LastKey;
    char *at = PutDecimal(Key, Address->zone);
    *at++ = ':';
    at = PutDecimal(at, Address->net);
    *at++ = '/';
    at = PutDecimal(at, Address->node);
    *at++ = '.';
    at = PutDecimal(at, Address->point);
    *at = '\0';
    if (Index) {
        memcpy(Index->LastKey, Key, static_cast<size_t>(at - Key) + 1);
        Index->LastAddress = *Address;
        Index->HasLast = true;
    }
    return Key;
}

static uint32_t NameHash(const char *Name) {
    uint32_t hash = 2166136261u; // FNV-1a
    for (; *Name; ++Name) hash = (hash ^ static_cast<unsigned char>(*Name)) * 16777619u;
    return hash;
}

// The slot of the name: the one that holds its row, or the free one where it would go.
static int *FindLinkSlot(const OutboundEntry *Rows, LinkIndex *Index, const char *Name) {
    uint32_t mask = static_cast<uint32_t>(Index->SlotCount - 1);
    uint32_t at = NameHash(Name) & mask;
    while (Index->Slots[at] && strcmp(Rows[Index->Slots[at] - 1].FindData.cFileName, Name) != 0)
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

// The first row named Key, or Count when there is none.
static int FindLinkRow(const ScanTable *Table, const char *Key, LinkIndex *Index) {
    const OutboundEntry *rows = Table->Rows;
    int count = Table->Count;
    if (Index && Index->Indexed > count) { // rows were dropped: take them in afresh
        if (Index->Slots)
            memset(Index->Slots, 0, static_cast<size_t>(Index->SlotCount) * sizeof(int));
        Index->Indexed = 0;
    }
    if (!Index || !ReserveLinkSlots(count, Index)) {
        int row = 0;
        while (row < count && strcmp(rows[row].FindData.cFileName, Key) != 0) ++row;
        return row;
    }
    // Rows are taken in from the first, and a name already there keeps its row: the index
    // gives the first row of each name, as the search through the names does.
    for (; Index->Indexed < count; ++Index->Indexed) {
        int *slot = FindLinkSlot(rows, Index, rows[Index->Indexed].FindData.cFileName);
        if (!*slot) *slot = Index->Indexed + 1;
    }
    int row = *FindLinkSlot(rows, Index, Key);
    return row ? row - 1 : count;
}

// The row of the address, appended when new; -1 when memory ran out.
static int LinkRow(ScanTable *Table, const FtnAddress *Address, const WIN32_FIND_DATAA *FindData,
                   LinkIndex *Index) {
    // The files of one link come one after another: the row of the address met last is kept.
    bool sameAsLast = Index && Index->HasLast && SameAddress(Index->LastAddress, *Address) &&
                      Index->LastRow < Table->Count;
    char buffer[AddressTextSize];
    const char *key = sameAsLast ? Index->LastKey : LinkKey(Address, Index, buffer);
    int row = sameAsLast ? Index->LastRow : FindLinkRow(Table, key, Index);
    if (row == Table->Count) {
        OutboundEntry *entry = NewRow(Table);
        if (!entry) return -1;
        StartEntry(*entry, FindData);
        strcpy(entry->FindData.cFileName, key);
        entry->FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    if (Index) Index->LastRow = row;
    return row;
}

void AddLinkEntry(ScanTable *Table, const FtnAddress *Address, const WIN32_FIND_DATAA *FindData,
                  EntryKind Kind, Flavor Flavor, LinkIndex *Index) {
    int row = LinkRow(Table, Address, FindData, Index);
    if (row >= 0) MarkEntry(Table->Rows[row], Kind, Flavor);
}

// ---- Rows inside a link -----------------------------------------------------------------

static void UpperCaseAscii(char *Text) {
    // Only ASCII letters change: a byte of another code page, or of UTF-8, is no letter here.
    for (char *c = Text; *c; ++c)
        if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
}

int AddFileEntry(ScanTable *Table, char *DirectoryPart, const WIN32_FIND_DATAA *FindData,
                 const char *SourceText, EntryKind Kind, Flavor Flavor) {
    UpperCaseAscii(DirectoryPart);
    size_t directoryLength = strlen(DirectoryPart);
    size_t nameLength = strnlen(FindData->cFileName, MAX_PATH);
    if (directoryLength + nameLength >= MAX_PATH) return 0;
    OutboundEntry *entry = NewRow(Table);
    if (!entry) return 0;
    StartEntry(*entry, FindData);
    memcpy(entry->FindData.cFileName, DirectoryPart, directoryLength);
    memcpy(entry->FindData.cFileName + directoryLength, FindData->cFileName, nameLength);
    entry->FindData.cFileName[directoryLength + nameLength] = '\0';
    entry->SourceText = DuplicateString(SourceText);
    MarkEntry(*entry, Kind, Flavor);
    return 1;
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

// The row of a flow file line that names no file the scan can look up (too long for a path
// here, or a directory's "." or ".."): the line's own text, its directory in upper case,
// shortened in the middle when it does not fit; no find data of a file. 1 when added.
static int AddNameOnlyEntry(ScanTable *Table, const char *Name, const char *SourceText,
                            Flavor Flavor) {
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    OutboundEntry *entry = NewRow(Table);
    if (!entry) return 0;
    StartEntry(*entry, &data);
    char *row = entry->FindData.cFileName;
    ShortenRowName(row, Name, strlen(Name));
    // The directory in upper case, as in every row: up to the row's last separator, which is
    // the name's own last one or, where the cut took that, one before it.
    char *end = row + strlen(row);
    while (end > row && end[-1] != '\\' && end[-1] != '/') --end;
    char saved = *end;
    *end = '\0';
    UpperCaseAscii(row);
    *end = saved;
    entry->SourceText = DuplicateString(SourceText);
    MarkEntry(*entry, FlowFile, Flavor);
    return 1;
}

// Point directories that the search for a zone directory's node files met, so that the zone
// directory is read once. The names accepted are eight hex digits and ".PNT", which
// "????????.???" matches just as "????????.PNT" does, and both searches give them in the same
// order. When more are met than fit, the directory is searched for them again.
static const int PointDirectoryRoom = 512;
struct PointDirectories {
    int Count;
    bool Overflow;
    uint32_t Numbers[PointDirectoryRoom];
    char Names[PointDirectoryRoom][13];
};

static void NotePointDirectory(PointDirectories *Points, const WIN32_FIND_DATAA *Found) {
    uint32_t number;
    if (!Points || !IsPointDirectoryEntry(Found, &number)) return;
    if (Points->Count == PointDirectoryRoom) {
        Points->Overflow = true;
        return;
    }
    Points->Numbers[Points->Count] = number;
    memcpy(Points->Names[Points->Count], Found->cFileName, sizeof(Points->Names[0]));
    ++Points->Count;
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
    if (!JoinPath(pattern, Directory, "\\", "????????.???")) return;
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
    do {
        EntryKind kind;
        Flavor flavor;
        uint32_t number;
        MailerFile mailer = NoMailerFile;
        if (!IsNodeFileEntry(&found, &kind, &flavor, &number)) {
            // The mailer's own files of a link count only where its state is shown.
            if (!Index || !Index->Backlog || !(mailer = IsMailerFileEntry(&found, &number))) {
                NotePointDirectory(Points, &found);
                continue;
            }
            kind = NoEntryKind;
            flavor = NoFlavor;
        }
        if (PointNumber < 0) {
            SplitNodeNumber(number, &Address->net, &Address->node);
            Address->point = 0;
        } else {
            SplitNodeNumber(static_cast<uint32_t>(PointNumber), &Address->net, &Address->node);
            Address->point = number;
        }
        int row = LinkRow(Table, Address, &found, Index);
        if (row < 0) continue;
        MarkEntry(Table->Rows[row], kind, flavor);
        if (Index && Index->Backlog)
            NoteLinkFile(Index->Backlog, &Table->Rows[row], row, Directory, &found, kind, mailer);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void ScanNodeFiles(const char *Directory, ScanTable *Table, FtnAddress *Address,
                   int64_t PointNumber, LinkIndex *Index) {
    ScanNodeFileEntries(Directory, Table, Address, PointNumber, Index, nullptr);
}

void ScanZoneDirectory(const char *Directory, ScanTable *Table, FtnAddress *Address,
                       LinkIndex *Index) {
    PointDirectories points;
    points.Count = 0;
    points.Overflow = false;
    ScanNodeFileEntries(Directory, Table, Address, -1, Index, &points);
    char pointDirectory[MAX_PATH];
    if (!points.Overflow) {
        for (int i = 0; i < points.Count; ++i)
            if (JoinPath(pointDirectory, Directory, "\\", points.Names[i]))
                ScanNodeFiles(pointDirectory, Table, Address, points.Numbers[i], Index);
        return;
    }
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, Directory, "\\", "????????.PNT")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        uint32_t number;
        if (!IsPointDirectoryEntry(&found, &number) ||
            !JoinPath(pointDirectory, Directory, "\\", found.cFileName))
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
    ScanZoneDirectory(Root, Table, &address, &index);
    char pattern[MAX_PATH];
    // Zones from 4096 up have four digits: every extension is looked at, the check decides.
    WIN32_FIND_DATAA found;
    HANDLE search =
        JoinPath(pattern, Root, ".*", "") ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            uint32_t zone;
            char zoneDirectory[MAX_PATH];
            if (!IsZoneDirectoryEntry(&found, &zone) ||
                !JoinPath(zoneDirectory, Root, strchr(found.cFileName, '.'), ""))
                continue;
            address.zone = zone;
            ScanZoneDirectory(zoneDirectory, Table, &address, &index);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    FreeLinkIndex(&index);
    FinishBacklogScan(&backlog, Table->Rows, Table->Count);
    ShowBacklogInRows(Table->Rows, Table->Count);
}

// ---- Flow files of one link -------------------------------------------------------------

namespace {

// Where a flow file's repair stands: the line to take out, byte for byte, and whether it went.
struct MissingEntry {
    const char *Line;
    size_t Length;
    bool Removed;
};

// The repairs of one listing: the link whose busy flag they take, and whether the mailer holds
// it (then no question is asked until a later listing).
struct RepairState {
    FtnAddress Link;
    bool Busy;
};

} // namespace

// Drops exactly the lines that are the asked-about line byte for byte and keeps every other
// line as it is: a pattern that covers the missing name, the same name in another case or
// with a blank behind it, and a line that the mailer changed meanwhile all stay.
static int DropMissingEntryLine(char *Line, size_t *Length, void *Context) {
    MissingEntry *missing = static_cast<MissingEntry *>(Context);
    if (*Length == missing->Length && memcmp(Line, missing->Line, *Length) == 0) {
        missing->Removed = true;
        return 0;
    }
    return 1;
}

// Takes the lines that are Line out of the flow file, under the link's busy flag: through a
// copy beside it that replaces it, or, when no line naming a file to send would be left, by
// deleting it (an empty flow file asks the mailer to call the link). Returns 1 when the flow
// file was replaced, 2 when it was deleted, else 0; sets Repair->Busy when the mailer holds
// the link.
static int RemoveMissingEntry(const char *FlowPath, const char *Line, size_t Length,
                              RepairState *Repair) {
    char temporaryPath[MAX_PATH + 4];
    memcpy(temporaryPath, FlowPath, strlen(FlowPath) + 1);
    ReplaceExtension(temporaryPath, ".TMP");
    if (strlen(temporaryPath) >= MAX_PATH) return 0;
    LinkLock lock;
    LinkLockResult locked = LockLink(&Repair->Link, &lock);
    if (locked != LinkLocked) {
        Repair->Busy = locked == LinkIsBusy;
        return 0;
    }
    MissingEntry missing = {Line, Length, false};
    int changed = 0;
    if (RewriteFlowFile(FlowPath, temporaryPath, DropMissingEntryLine, &missing) && missing.Removed)
        changed = GetFileAttributesA(FlowPath) == INVALID_FILE_ATTRIBUTES ? 2 : 1;
    UnlockLink(&lock);
    return changed;
}

// Asks whether to take the entry of a file that no longer exists out of its flow file.
// True for the first button.
static bool AskToRemoveMissingEntry(const char *Name) {
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof(shown), Name, MessageLineWidth);
    const char *items[6] = {GetMessageText(MsgWarning),
                            GetMessageText(MsgFileNotFound),
                            shown,
                            GetMessageText(MsgDropMissingLine),
                            GetMessageText(MsgOk),
                            GetMessageText(MsgCancel)};
    if (!HostInfo.Message) return false;
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 0;
}

static bool HasWildcards(const char *Name) {
    return strpbrk(Name, "*?") != nullptr;
}

static bool IsDotEntry(const char *Name) {
    return strcmp(Name, ".") == 0 || strcmp(Name, "..") == 0;
}

// Whether the name's last part is "." or "..": it names a directory by way of another name
// (the one the search would report), never a file to send.
static bool EndsInDotEntry(const char *Name) {
    const char *last = Name + strlen(Name);
    while (last > Name && last[-1] != '\\' && last[-1] != '/') --last;
    return IsDotEntry(last);
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

// Drops the rows from Restore on and releases their strings.
static void DropRows(ScanTable *Table, int Restore) {
    while (Table->Count > Restore) FreeEntryStrings(Table->Rows[--Table->Count]);
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

// Lists the files a flow file names, or the flow file itself when none of them gives a row.
// Lines of any length are read whole; one that names no file (blank, or only a directive) is
// passed over. A name too long to look up, and a name ending in "." or "..", still gets a row
// of its own text. A flow file that cannot be read is listed itself, marked so.
static void ScanFlowFile(const char *FlowPath, const WIN32_FIND_DATAA *FlowData,
                         const char *Extension, Flavor Flavor, ScanTable *Table,
                         RepairState *Repair) {
    // The line as read, before ParseFlowLine cuts its end: what the repair looks for.
    char *raw = nullptr;
    size_t rawCapacity = 0;
    for (;;) {
        LineReader reader;
        if (!OpenLineReader(&reader, FlowPath)) {
            CloseLineReader(&reader);
            AddFlowFileRow(Table, FlowPath, FlowData, Flavor, UnreadableFlowFile);
            break;
        }
        int restore = Table->Count;
        int rowsFromFile = 0;
        bool reread = false, removedFile = false;
        int got;
        char *line;
        size_t length;
        while ((got = ReadLine(&reader, &line, &length)) > 0) {
            if (!LineNamesAFile(line, length)) continue;
            if (length >= rawCapacity) {
                char *grown = static_cast<char *>(realloc(raw, length + 1));
                if (!grown) continue; // no repair without the line's bytes; the line stays
                raw = grown;
                rawCapacity = length + 1;
            }
            memcpy(raw, line, length);
            // A NUL ends the name: the row and the question show what comes before it, and
            // the repair takes out exactly this line.
            char *name = ParseFlowLine(line);
            if (!name || !*name) continue;
            bool lookUp = strlen(name) < MAX_PATH && !EndsInDotEntry(name);
            WIN32_FIND_DATAA found;
            if (lookUp && FindNamedFile(name, &found)) {
                char directory[MAX_PATH];
                strcpy(directory, name);
                DirectoryPart(directory);
                if (AddFileEntry(Table, directory, &found, Extension, FlowFile, Flavor) ||
                    AddNameOnlyEntry(Table, name, Extension, Flavor))
                    ++rowsFromFile;
                continue;
            }
            // A name too long to look up is no name the scan could call missing.
            if (strlen(name) < MAX_PATH && !Repair->Busy && AskToRemoveMissingEntry(name)) {
                CloseLineReader(&reader);
                int removed = RemoveMissingEntry(FlowPath, raw, length, Repair);
                // A removal that failed is not reported: the re-read meets the name and asks
                // again, unless the mailer holds the link (then at a later listing).
                DropRows(Table, restore);
                removedFile = removed == 2; // nothing left to send, and no flow file to list
                reread = true;
                break;
            }
            if (!lookUp && AddNameOnlyEntry(Table, name, Extension, Flavor)) ++rowsFromFile;
        }
        if (removedFile) break;
        if (reread) continue;
        CloseLineReader(&reader);
        if (got < 0)
            AddFlowFileRow(Table, FlowPath, FlowData, Flavor, UnreadableFlowFile);
        else if (rowsFromFile == 0)
            AddFlowFileRow(Table, FlowPath, FlowData, Flavor, NoEntryProblem);
        break;
    }
    free(raw);
}

// The items of one link: its packets, flow files, request and busy flag, and the files its
// flow files name, from the one directory its base path names.
static void ScanLinkContents(const char *CurDir, const char *Root, const FtnAddress *Own,
                             ScanTable *Table) {
    RepairState repair;
    ParseAddress(&repair.Link, CurDir, Own);
    char base[OutboundPathSize];
    if (!BuildOutboundPath(&repair.Link, base, Root, "", Own)) return;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, base, ".???", "")) return;
    char directory[MAX_PATH];
    strcpy(directory, base);
    DirectoryPart(directory);
    // While the mailer holds the link, a missing file is left for a later listing: a repair
    // could not take the flag, and the mailer may be about to mark the line done itself.
    repair.Busy = IsLinkBusy(&repair.Link) != 0;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
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
        if (!JoinPath(path, directory, "", found.cFileName)) continue;
        char rowDirectory[MAX_PATH];
        strcpy(rowDirectory, directory);
        if (kind == FlowFile)
            ScanFlowFile(path, &found, strchr(found.cFileName, '.'), flavor, Table, &repair);
        else
            AddFileEntry(Table, rowDirectory, &found, nullptr, kind, flavor);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// ---- The scan ---------------------------------------------------------------------------

// Shows the progress box over a saved screen; returns the saved screen, or null.
static HANDLE ShowProgress(const BSOBrowser *Browser) {
    HANDLE screen = HostInfo.SaveScreen ? HostInfo.SaveScreen(0, 0, -1, -1) : nullptr;
    char line[ProgressLineSize];
    FormatProgressLine(line, sizeof line, GetMessageText(MsgScanProgressFormat), Browser->CurDir);
    const char *items[2] = {GetMessageText(MsgScanTitle), line};
    if (HostInfo.Message) HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 2, 0);
    return screen;
}

void ScanOutbound(BSOBrowser *Browser, int OpMode) {
    FreeEntries(Browser->Entries, Browser->EntryCount);

    // A table on the heap that grows with the rows, not one on the host's stack: a host may
    // list another panel while this scan's question is on the screen. Every row is filled
    // whole as it is appended, so the table is not cleared first.
    ScanTable table;
    StartScanTable(&table);

    bool showProgress = (OpMode & OPM_FIND) == 0;
    HANDLE screen = showProgress ? ShowProgress(Browser) : nullptr;

    char root[sizeof(Settings.PathToOutbound)];
    memcpy(root, Settings.PathToOutbound, sizeof(root));
    root[sizeof(root) - 1] = '\0';
    FtnAddress own;
    ParseOwnAddress(&own);

    // No outbound configured lists nothing, rather than the current drive's root.
    if (root[0]) {
        if (Browser->IsInsideLink())
            ScanLinkContents(Browser->CurDir, root, &own, &table);
        else
            ScanLinkList(root, &own, &table, &Browser->FlowFiles,
                         static_cast<int64_t>(time(nullptr)));
    }

    // The rows move into the instance with their strings, so nothing can fail half-way. The
    // table itself becomes the array, cut to its exact size where it lies: no rows are copied.
    if (table.Count > 0) {
        OutboundEntry *entries = static_cast<OutboundEntry *>(
            realloc(table.Rows, static_cast<size_t>(table.Count) * sizeof(*entries)));
        if (entries) {
            Browser->Entries = entries;
            Browser->EntryCount = table.Count;
            StartScanTable(&table);
        }
    }
    FreeScanTable(&table);

    if (showProgress && screen && HostInfo.RestoreScreen) HostInfo.RestoreScreen(screen);
}
