#include "scan/scanner.h"

#include "bso/flow_file.h"
#include "bso/text_file.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
}

void ClearLinkIndex(LinkIndex *Index) {
    memset(Index->Slots, 0, sizeof(Index->Slots));
    Index->Indexed = 0;
    Index->HasLast = false;
    Index->LastRow = 0;
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
static unsigned short *FindLinkSlot(const OutboundEntry *Table, LinkIndex *Index,
                                    const char *Name) {
    uint32_t at = NameHash(Name) & (LinkIndexSlots - 1);
    while (Index->Slots[at] && strcmp(Table[Index->Slots[at] - 1].FindData.cFileName, Name) != 0)
        at = (at + 1) & (LinkIndexSlots - 1);
    return &Index->Slots[at];
}

// The first row named Key, or Count when there is none.
static int FindLinkRow(const OutboundEntry *Table, int Count, const char *Key, LinkIndex *Index) {
    if (!Index || Count > ScanCapacity) {
        int row = 0;
        while (row < Count && strcmp(Table[row].FindData.cFileName, Key) != 0) ++row;
        return row;
    }
    if (Index->Indexed > Count) ClearLinkIndex(Index);
    // Rows are taken in from the first, and a name already there keeps its row: the index
    // gives the first row of each name, as the search through the names does.
    for (; Index->Indexed < Count; ++Index->Indexed) {
        unsigned short *slot = FindLinkSlot(Table, Index, Table[Index->Indexed].FindData.cFileName);
        if (!*slot) *slot = static_cast<unsigned short>(Index->Indexed + 1);
    }
    unsigned short row = *FindLinkSlot(Table, Index, Key);
    return row ? row - 1 : Count;
}

void AddLinkEntry(OutboundEntry *Table, int &Count, int Capacity, const FtnAddress *Address,
                  const WIN32_FIND_DATAA *FindData, EntryKind Kind, Flavor Flavor,
                  LinkIndex *Index) {
    if (Count >= Capacity) return;
    // The files of one link come one after another: the row of the address met last is kept.
    bool sameAsLast = Index && Index->HasLast && SameAddress(Index->LastAddress, *Address) &&
                      Index->LastRow < Count;
    char buffer[AddressTextSize];
    const char *key = sameAsLast ? Index->LastKey : LinkKey(Address, Index, buffer);
    int row = sameAsLast ? Index->LastRow : FindLinkRow(Table, Count, key, Index);
    if (Index) Index->LastRow = row;
    if (row == Count) {
        OutboundEntry &entry = Table[Count++];
        StartEntry(entry, FindData);
        strcpy(entry.FindData.cFileName, key);
        entry.FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    MarkEntry(Table[row], Kind, Flavor);
}

int AddFileEntry(OutboundEntry *Table, int &Count, int Capacity, char *DirectoryPart,
                 const WIN32_FIND_DATAA *FindData, const char *SourceText, EntryKind Kind,
                 Flavor Flavor) {
    if (Count >= Capacity) return 0;
    // Only ASCII letters change: a byte of another code page, or of UTF-8, is no letter here.
    for (char *c = DirectoryPart; *c; ++c)
        if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    size_t directoryLength = strlen(DirectoryPart);
    size_t nameLength = strnlen(FindData->cFileName, MAX_PATH);
    if (directoryLength + nameLength >= MAX_PATH) return 0;
    OutboundEntry &entry = Table[Count++];
    StartEntry(entry, FindData);
    memcpy(entry.FindData.cFileName, DirectoryPart, directoryLength);
    memcpy(entry.FindData.cFileName + directoryLength, FindData->cFileName, nameLength);
    entry.FindData.cFileName[directoryLength + nameLength] = '\0';
    entry.SourceText = DuplicateString(SourceText);
    MarkEntry(entry, Kind, Flavor);
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

static void ScanNodeFileEntries(const char *Directory, OutboundEntry *Table, int &Count,
                                int Capacity, FtnAddress *Address, int64_t PointNumber,
                                LinkIndex *Index, PointDirectories *Points) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, Directory, "\\", "????????.???")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        EntryKind kind;
        Flavor flavor;
        uint32_t number;
        if (!IsNodeFileEntry(&found, &kind, &flavor, &number)) {
            NotePointDirectory(Points, &found);
            continue;
        }
        if (PointNumber < 0) {
            SplitNodeNumber(number, &Address->net, &Address->node);
            Address->point = 0;
        } else {
            SplitNodeNumber(static_cast<uint32_t>(PointNumber), &Address->net, &Address->node);
            Address->point = number;
        }
        AddLinkEntry(Table, Count, Capacity, Address, &found, kind, flavor, Index);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void ScanNodeFiles(const char *Directory, OutboundEntry *Table, int &Count, int Capacity,
                   FtnAddress *Address, int64_t PointNumber, LinkIndex *Index) {
    ScanNodeFileEntries(Directory, Table, Count, Capacity, Address, PointNumber, Index, nullptr);
}

void ScanZoneDirectory(const char *Directory, OutboundEntry *Table, int &Count, int Capacity,
                       FtnAddress *Address, LinkIndex *Index) {
    PointDirectories points;
    points.Count = 0;
    points.Overflow = false;
    ScanNodeFileEntries(Directory, Table, Count, Capacity, Address, -1, Index, &points);
    char pointDirectory[MAX_PATH];
    if (!points.Overflow) {
        for (int i = 0; i < points.Count; ++i)
            if (JoinPath(pointDirectory, Directory, "\\", points.Names[i]))
                ScanNodeFiles(pointDirectory, Table, Count, Capacity, Address, points.Numbers[i],
                              Index);
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
        ScanNodeFiles(pointDirectory, Table, Count, Capacity, Address, number, Index);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The link list: the root with the own zone, then each zone directory beside it.
static void ScanLinkList(const char *Root, const FtnAddress *Own, OutboundEntry *Table, int &Count,
                         int Capacity) {
    FtnAddress address = {Own->zone, 0, 0, 0};
    // Thousands of files over thousands of links: each file's row is found through the index.
    LinkIndex index;
    ClearLinkIndex(&index);
    ScanZoneDirectory(Root, Table, Count, Capacity, &address, &index);
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, Root, ".???", "")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        uint32_t zone;
        char zoneDirectory[MAX_PATH];
        if (!IsZoneDirectoryEntry(&found, &zone) ||
            !JoinPath(zoneDirectory, Root, strchr(found.cFileName, '.'), ""))
            continue;
        address.zone = zone;
        ScanZoneDirectory(zoneDirectory, Table, Count, Capacity, &address, &index);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// ---- Flow files of one link -------------------------------------------------------------

namespace {

// Where a flow file's repair stands: the name to take out, and whether a line went.
struct MissingEntry {
    const char *Name;
    bool Removed;
};

} // namespace

static bool IsLineEndCharacter(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

// Drops exactly the lines that name the missing file and keeps every other line as it is.
// Matching the line's name as a pattern would also take wildcard lines that cover the missing
// name, together with the existing files they name.
static int DropMissingEntryLine(char *Line, size_t *Length, void *Context) {
    MissingEntry *missing = static_cast<MissingEntry *>(Context);
    size_t length = *Length;
    while (length > 1 && IsLineEndCharacter(Line[length - 1])) --length;
    if (length > 0 && Line[0] == '~') return 1;
    size_t skip = length > 0 && (Line[0] == '#' || Line[0] == '^') ? 1 : 0;
    size_t nameLength = strlen(missing->Name);
    if (length - skip != nameLength || memcmp(Line + skip, missing->Name, nameLength) != 0)
        return 1;
    missing->Removed = true;
    return 0;
}

// Takes the lines that name the missing file out of the flow file, through a temporary file
// beside it. Returns 1 when the flow file was replaced without them.
static int RemoveMissingEntry(const char *FlowPath, const char *Name) {
    char temporaryPath[MAX_PATH + 4];
    memcpy(temporaryPath, FlowPath, strlen(FlowPath) + 1);
    ReplaceExtension(temporaryPath, ".TMP");
    if (strlen(temporaryPath) >= MAX_PATH) return 0;
    MissingEntry missing = {Name, false};
    return RewriteTextFile(FlowPath, temporaryPath, DropMissingEntryLine, &missing) &&
           missing.Removed;
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
static void DropRows(OutboundEntry *Table, int &Count, int Restore) {
    while (Count > Restore) FreeEntryStrings(Table[--Count]);
}

// Lists the files a flow file names, or the flow file itself when none of them gives a row.
// Lines of any length are read whole: a long path is one name. A name too long for a panel row
// gives no row, and since no row can carry it back to a command, no question either.
static void ScanFlowFile(const char *FlowPath, const WIN32_FIND_DATAA *FlowData,
                         const char *Extension, Flavor Flavor, OutboundEntry *Table, int &Count,
                         int Capacity) {
    for (;;) {
        LineReader reader;
        if (!OpenLineReader(&reader, FlowPath)) {
            CloseLineReader(&reader);
            return;
        }
        int restore = Count;
        int rowsFromFile = 0;
        bool reread = false;
        char *line;
        size_t length;
        while (ReadLine(&reader, &line, &length) > 0) {
            char *name = ParseFlowLine(line);
            if (!name || strlen(name) >= MAX_PATH) continue;
            WIN32_FIND_DATAA found;
            if (FindNamedFile(name, &found)) {
                // A full table takes no row: the name was looked up only for the question.
                if (Count >= Capacity) continue;
                char directory[MAX_PATH];
                strcpy(directory, name);
                DirectoryPart(directory);
                rowsFromFile += AddFileEntry(Table, Count, Capacity, directory, &found, Extension,
                                             FlowFile, Flavor);
                continue;
            }
            if (!AskToRemoveMissingEntry(name)) continue;
            char missing[MAX_PATH];
            strcpy(missing, name);
            CloseLineReader(&reader);
            // A failed removal is not reported: the re-read meets the name and asks again.
            RemoveMissingEntry(FlowPath, missing);
            DropRows(Table, Count, restore);
            reread = true;
            break;
        }
        if (reread) continue;
        CloseLineReader(&reader);
        if (rowsFromFile == 0) {
            char directory[MAX_PATH];
            strcpy(directory, FlowPath);
            DirectoryPart(directory);
            AddFileEntry(Table, Count, Capacity, directory, FlowData, nullptr, FlowFile, Flavor);
        }
        return;
    }
}

// The items of one link: its packets, flow files, request and busy flag, and the files its
// flow files name, from the one directory its base path names.
static void ScanLinkContents(const char *CurDir, const char *Root, const FtnAddress *Own,
                             OutboundEntry *Table, int &Count, int Capacity) {
    FtnAddress link;
    ParseAddress(&link, CurDir, Own);
    char base[OutboundPathSize];
    if (!BuildOutboundPath(&link, base, Root, "", Own)) return;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, base, ".???", "")) return;
    char directory[MAX_PATH];
    strcpy(directory, base);
    DirectoryPart(directory);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        EntryKind kind;
        Flavor flavor;
        if (!IsLinkFileEntry(&found, &kind, &flavor)) continue;
        // The name as found: where names differ only in case (Linux) it is the file itself.
        char path[MAX_PATH];
        if (!JoinPath(path, directory, "", found.cFileName)) continue;
        char rowDirectory[MAX_PATH];
        strcpy(rowDirectory, directory);
        if (kind == FlowFile)
            ScanFlowFile(path, &found, strchr(found.cFileName, '.'), flavor, Table, Count,
                         Capacity);
        else
            AddFileEntry(Table, Count, Capacity, rowDirectory, &found, nullptr, kind, flavor);
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

    // One allocation for the whole scan, not a table on the host's stack: it is large, and
    // a host may list another panel while this scan's question is on the screen. Every row is
    // filled whole as it is appended, so the table is not cleared first.
    OutboundEntry *table =
        static_cast<OutboundEntry *>(malloc(ScanCapacity * sizeof(OutboundEntry)));
    if (!table) return;
    int count = 0;

    bool showProgress = (OpMode & OPM_FIND) == 0;
    HANDLE screen = showProgress ? ShowProgress(Browser) : nullptr;

    char root[sizeof(Settings.PathToOutbound)];
    memcpy(root, Settings.PathToOutbound, sizeof(root));
    root[sizeof(root) - 1] = '\0';
    FtnAddress own;
    ParseAddress(&own, Settings.Address, nullptr);

    // No outbound configured lists nothing, rather than the current drive's root.
    if (root[0]) {
        if (Browser->IsInsideLink())
            ScanLinkContents(Browser->CurDir, root, &own, table, count, ScanCapacity);
        else
            ScanLinkList(root, &own, table, count, ScanCapacity);
    }

    // The rows move into the instance with their strings, so nothing can fail half-way. The
    // table itself becomes the array, cut to its exact size where it lies: no rows are copied.
    if (count > 0) {
        OutboundEntry *entries =
            static_cast<OutboundEntry *>(realloc(table, count * sizeof(*entries)));
        if (entries) {
            table = nullptr;
            Browser->Entries = entries;
            Browser->EntryCount = count;
        } else {
            DropRows(table, count, 0);
        }
    }
    free(table);

    if (showProgress && screen && HostInfo.RestoreScreen) HostInfo.RestoreScreen(screen);
}
