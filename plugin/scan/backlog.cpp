#include "scan/backlog.h"

#include "bso/flow_file.h"
#include "bso/text_file.h"
#include "common/grow_array.h"
#include "common/helpers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- Times ------------------------------------------------------------------------------

FILETIME UnixToFileTime(int64_t Seconds) {
    FILETIME time = {0, 0};
    if (Seconds <= 0) return time;
    uint64_t ticks = (static_cast<uint64_t>(Seconds) + 11644473600u) * 10000000u;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

static uint64_t FileSize(const WIN32_FIND_DATAA *Data) {
    return static_cast<uint64_t>(Data->nFileSizeHigh) << 32 | Data->nFileSizeLow;
}

// When a flow or request file was queued: its creation time where the platform keeps one.
static int64_t QueuedTime(const WIN32_FIND_DATAA *Data) {
    const FILETIME &created = Data->ftCreationTime;
    return created.dwLowDateTime || created.dwHighDateTime ? FileTimeToUnix(created)
                                                           : FileTimeToUnix(Data->ftLastWriteTime);
}

static void NoteOldest(LinkStatus &Status, int64_t Time) {
    if (Time > 0 && (Status.Oldest == 0 || Time < Status.Oldest)) Status.Oldest = Time;
}

// A hash of Length bytes of text taken eight at a time, going on from Seed: a flow file's path
// is hashed as its name from its folder's hash, which the folder's files share.
static uint32_t TextHash(const char *Text, size_t Length, uint32_t Seed = 0) {
    const uint64_t multiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = (Length ^ static_cast<uint64_t>(Seed) << 32) * multiplier;
    bool whole = Length >= 8;
    for (; Length >= 8; Text += 8, Length -= 8) {
        uint64_t word;
        memcpy(&word, Text, 8);
        hash = (hash ^ word) * multiplier;
        hash ^= hash >> 29;
    }
    // The last bytes of a text of eight or more as the eight that end it, in one load; a
    // shorter text's byte by byte.
    uint64_t rest = 0;
    if (whole && Length)
        memcpy(&rest, Text + Length - 8, 8);
    else
        for (size_t i = 0; i < Length; ++i)
            rest |= static_cast<uint64_t>(static_cast<unsigned char>(Text[i])) << (8 * i);
    hash = (hash ^ rest) * multiplier;
    hash ^= hash >> 32;
    return static_cast<uint32_t>(hash);
}

// ---- The flow file cache ----------------------------------------------------------------

namespace {

// What a named file was when its flow file was read, in 16 bytes: a cache of thousands of flow
// files keeps one a line. A time that does not fit is not kept (that flow file's files are then
// looked up on every listing, as when memory ran short).
struct NamedStat {
    uint64_t Size;    // 0 also for a missing file
    uint32_t Written; // seconds since 1970; 0 when missing
    uint32_t Key;     // the name's hash (NameHashMask) and the two marks below
};

// A flow file of this many names or more keeps, behind their stats, one more: their sums as its
// lone flow file counts them (SumAlone), so that a listing again need not walk them. Its 16
// bytes cost more than a walk of fewer names.
const uint32_t SummedNames = 8;
const uint32_t SumKept = 1, SumWaits = 2; // the summary's Key

const uint32_t NameHashMask = 0x3FFFFFFFu;
const uint32_t RepeatedName = 0x40000000u; // an earlier line of the same flow file names it too
const uint32_t DatingName = 0x80000000u;   // a '^' line: the file's time dates the queue

// One flow file as last read: its size and write time, and the names of its waiting lines with
// what each named file was then. While the flow file stays as it is, so do the files it names:
// the mailer rewrites the flow file when it sends one, and a file queued anew goes in with a new
// line. The path, the names and their stats lie in one block, so that a cache of thousands of
// flow files holds one allocation each: the path and a NUL; each name front-coded (its
// directive, how many leading bytes it shares with the name before, at most 255, the rest of it
// and a NUL), since a flow file's names mostly share their folder; then the stats.
struct CachedFlow {
    char *Block;
    uint64_t Size;
    FILETIME Write;
    uint32_t Hash; // of the path (TextHash of its name from its folder's)
    uint32_t NameCount;
    uint32_t StatsAt; // where the stats start in the block; 0: none kept, the names looked up
    bool Seen;        // met in the listing under way
};

// Names one after another, each as its directive ('^', '#' or ' ') followed by the name and a
// NUL: a flow file's waiting lines as read, or as decoded from the cache.
struct NamesText {
    char *Text;
    size_t Used;
    size_t Capacity;
};

} // namespace

struct FlowCache {
    CachedFlow *Flows; // Used of them, in no order
    int Capacity;
    // The index by path: 0 a free slot, else 1 + the flow file's place in Flows; a power of two
    // of slots, at most half of them used.
    uint32_t *Slots;
    int SlotCount;
    int Used;
    long Reads;
    int PendingHint; // files the last listing left for FinishBacklogScan: the next one's room
};

static uint32_t NameHash(const char *Name) {
    return TextHash(Name, strlen(Name)) & NameHashMask;
}

// Whether a name can name a file the backlog counts: a relative name is the mailer's current
// folder's (which file it is, nobody else knows), and one too long for a path here names none.
static bool CountableName(const char *Name, size_t Length) {
    return Length < MAX_PATH && IsAbsoluteName(Name);
}

// Room for More bytes behind what Names holds; false when memory runs out.
static bool RoomInText(NamesText *Names, size_t More) {
    if (Names->Used + More <= Names->Capacity) return true;
    size_t capacity = Names->Capacity ? Names->Capacity * 2 : 4096;
    while (capacity < Names->Used + More) capacity *= 2;
    char *grown = static_cast<char *>(realloc(Names->Text, capacity));
    if (!grown) return false;
    Names->Text = grown;
    Names->Capacity = capacity;
    return true;
}

static NamedStat *StatsOf(const CachedFlow &Flow) {
    return Flow.StatsAt ? reinterpret_cast<NamedStat *>(Flow.Block + Flow.StatsAt) : nullptr;
}

// How many leading bytes Name shares with Before, as far as the block can say (255).
static size_t SharedLength(const char *Before, const char *Name) {
    size_t shared = 0;
    while (shared < 255 && Before[shared] && Before[shared] == Name[shared]) ++shared;
    return shared;
}

// The flow file's block: its path, its Count names from Names (Length bytes), and zeroed room
// for their stats, or no such room when memory is short (*StatsAt 0). Null when there is no
// memory even for that.
static char *FlowBlock(const char *Path, const char *Names, size_t Length, uint32_t Count,
                       uint32_t *StatsAt) {
    size_t pathSize = strlen(Path) + 1;
    size_t coded = 0;
    const char *before = "";
    for (size_t at = 0; at < Length;) {
        const char *name = Names + at + 1;
        size_t nameLength = strlen(name);
        coded += 3 + nameLength - SharedLength(before, name);
        before = name;
        at += nameLength + 2;
    }
    size_t statsAt =
        (pathSize + coded + alignof(NamedStat) - 1) / alignof(NamedStat) * alignof(NamedStat);
    size_t statsSize = static_cast<size_t>(Count + (Count >= SummedNames)) * sizeof(NamedStat);
    char *block =
        Count && statsAt <= UINT32_MAX ? static_cast<char *>(malloc(statsAt + statsSize)) : nullptr;
    *StatsAt = block ? static_cast<uint32_t>(statsAt) : 0;
    if (block)
        memset(block + statsAt, 0, statsSize);
    else
        block = static_cast<char *>(malloc(pathSize + coded));
    if (!block) return nullptr;
    memcpy(block, Path, pathSize);
    char *out = block + pathSize;
    before = "";
    for (size_t at = 0; at < Length;) {
        const char *name = Names + at + 1;
        size_t nameLength = strlen(name);
        size_t shared = SharedLength(before, name);
        *out++ = Names[at];
        *out++ = static_cast<char>(shared);
        memcpy(out, name + shared, nameLength - shared + 1);
        out += nameLength - shared + 1;
        before = name;
        at += nameLength + 2;
    }
    return block;
}

// Appends the cached flow file's names to Names; false when memory runs out.
static bool DecodeNames(const CachedFlow &Flow, NamesText *Names) {
    const char *coded = Flow.Block + strlen(Flow.Block) + 1;
    size_t before = Names->Used; // where the name before starts in Names
    for (uint32_t i = 0; i < Flow.NameCount; ++i) {
        size_t shared = static_cast<unsigned char>(coded[1]);
        size_t rest = strlen(coded + 2);
        if (!RoomInText(Names, 2 + shared + rest)) return false;
        char *out = Names->Text + Names->Used;
        out[0] = coded[0];
        memcpy(out + 1, Names->Text + before + 1, shared);
        memcpy(out + 1 + shared, coded + 2, rest + 1);
        before = Names->Used;
        Names->Used += 2 + shared + rest;
        coded += rest + 3;
    }
    return true;
}

void FreeFlowCache(FlowCache **Cache) {
    if (!*Cache) return;
    for (int i = 0; i < (*Cache)->Used; ++i) free((*Cache)->Flows[i].Block);
    free((*Cache)->Flows);
    free((*Cache)->Slots);
    free(*Cache);
    *Cache = nullptr;
}

int FlowCacheSize(const FlowCache *Cache) {
    return Cache ? Cache->Used : 0;
}

long FlowCacheReads(const FlowCache *Cache) {
    return Cache ? Cache->Reads : 0;
}

namespace {

// A flow file's path as its folder (FolderLength bytes, no separator at the end) and its name.
struct FlowPath {
    const char *Folder;
    size_t FolderLength;
    const char *Name;
    uint32_t Hash;
};

} // namespace

// The index slot of the path: the one that holds its flow file, or the free one where it goes.
static uint32_t *FindFlowSlot(FlowCache *Cache, const FlowPath &Path) {
    uint32_t mask = static_cast<uint32_t>(Cache->SlotCount - 1);
    for (uint32_t at = Path.Hash & mask;; at = (at + 1) & mask) {
        uint32_t slot = Cache->Slots[at];
        if (!slot) return &Cache->Slots[at];
        const char *block = Cache->Flows[slot - 1].Block;
        if (Cache->Flows[slot - 1].Hash == Path.Hash &&
            memcmp(block, Path.Folder, Path.FolderLength) == 0 &&
            block[Path.FolderLength] == '\\' &&
            strcmp(block + Path.FolderLength + 1, Path.Name) == 0)
            return &Cache->Slots[at];
    }
}

// The flow file's place in the cache when it is there as it was (then marked met), else -1.
static int UnchangedFlow(FlowCache *Cache, const FlowPath &Path, uint64_t Size,
                         const FILETIME &Write) {
    uint32_t slot = Cache && Cache->SlotCount ? *FindFlowSlot(Cache, Path) : 0;
    if (!slot) return -1;
    CachedFlow &flow = Cache->Flows[slot - 1];
    if (flow.Size != Size || flow.Write.dwLowDateTime != Write.dwLowDateTime ||
        flow.Write.dwHighDateTime != Write.dwHighDateTime)
        return -1;
    flow.Seen = true;
    return static_cast<int>(slot) - 1;
}

// Places every flow file in the index afresh.
static void IndexFlows(FlowCache *Cache) {
    memset(Cache->Slots, 0, static_cast<size_t>(Cache->SlotCount) * sizeof(uint32_t));
    uint32_t mask = static_cast<uint32_t>(Cache->SlotCount - 1);
    for (int i = 0; i < Cache->Used; ++i) {
        uint32_t at = Cache->Flows[i].Hash & mask;
        while (Cache->Slots[at]) at = (at + 1) & mask;
        Cache->Slots[at] = static_cast<uint32_t>(i) + 1;
    }
}

// Room for one more flow file; false when memory runs out.
static bool RoomForFlow(FlowCache *Cache) {
    if (!RoomForOneMore(&Cache->Flows, Cache->Used, &Cache->Capacity, 256)) return false;
    if (Cache->Used + 1 <= Cache->SlotCount / 2) return true;
    int count = Cache->SlotCount ? Cache->SlotCount * 2 : 1024;
    uint32_t *slots = static_cast<uint32_t *>(malloc(static_cast<size_t>(count) * sizeof *slots));
    if (!slots) return false;
    free(Cache->Slots);
    Cache->Slots = slots;
    Cache->SlotCount = count;
    IndexFlows(Cache);
    return true;
}

// Drops the flow files the listing did not meet (sent, or gone with their link), so that the
// cache holds what the outbound holds; clears the marks for the next listing.
static void PruneFlowCache(FlowCache *Cache) {
    int kept = 0;
    for (int i = 0; i < Cache->Used; ++i) {
        CachedFlow &flow = Cache->Flows[i];
        if (!flow.Seen) {
            free(flow.Block);
            continue;
        }
        flow.Seen = false;
        if (kept != i) Cache->Flows[kept] = flow;
        ++kept;
    }
    if (kept == Cache->Used) return;
    Cache->Used = kept;
    IndexFlows(Cache);
}

// Appends the names of the flow file's waiting lines to Names and counts them; false when it
// cannot be read whole (Names is then as it was). A name that can name no file counted is left
// out: it would count nothing.
static bool ReadFlowNames(const char *Path, NamesText *Names, uint32_t *Count) {
    size_t start = Names->Used;
    uint32_t count = 0;
    LineReader reader;
    bool ok = OpenLineReader(&reader, Path);
    char *line;
    size_t length;
    int got = 0;
    while (ok && (got = ReadLine(&reader, &line, &length)) > 0) {
        if (!LineNamesAFile(line, length)) continue;
        char directive = line[0] == '^' || line[0] == '#' ? line[0] : ' ';
        char *flowName = ParseFlowLine(line);
        if (!flowName || !*flowName) continue;
        // Kept in the file functions' code page, as they are looked up; one that cannot be
        // converted is kept as written and found by no look-up.
        char converted[MAX_PATH];
        const char *name =
            FlowNameToFileName(flowName, converted, sizeof(converted)) ? converted : flowName;
        size_t nameLength = strlen(name);
        if (!CountableName(name, nameLength)) continue;
        if (count == UINT32_MAX || !RoomInText(Names, nameLength + 2)) {
            ok = false;
            break;
        }
        char *out = Names->Text + Names->Used;
        out[0] = directive;
        memcpy(out + 1, name, nameLength + 1);
        Names->Used += nameLength + 2;
        ++count;
    }
    CloseLineReader(&reader);
    if (got < 0 || !ok) {
        Names->Used = start;
        return false;
    }
    *Count = count;
    return true;
}

// The flow file's place in the cache: unchanged since the last listing (*Fresh false), or read
// now (*Fresh true: its names appended to Names, their stats to be filled). -1 when it cannot
// be read.
static int FlowNames(FlowCache *Cache, const FlowPath &Path, uint64_t Size, const FILETIME &Write,
                     NamesText *Names, bool *Fresh) {
    *Fresh = false;
    int place = UnchangedFlow(Cache, Path, Size, Write);
    if (place >= 0) return place;
    uint32_t *slot = Cache->SlotCount ? FindFlowSlot(Cache, Path) : nullptr;
    place = slot && *slot ? static_cast<int>(*slot) - 1 : -1;
    // One that changed is dropped at the end unless read now: read again next time.
    if (place >= 0) Cache->Flows[place].Seen = false;
    ++Cache->Reads;
    char path[MAX_PATH]; // the scan checked that it fits
    memcpy(path, Path.Folder, Path.FolderLength);
    path[Path.FolderLength] = '\\';
    strcpy(path + Path.FolderLength + 1, Path.Name);
    size_t start = Names->Used;
    uint32_t count = 0, statsAt = 0;
    char *block = nullptr;
    if (ReadFlowNames(path, Names, &count))
        block = FlowBlock(path, Names->Text + start, Names->Used - start, count, &statsAt);
    bool isNew = place < 0;
    if (block && isNew && !RoomForFlow(Cache)) {
        free(block);
        block = nullptr;
    }
    if (!block) {
        Names->Used = start;
        return -1;
    }
    if (isNew)
        place = Cache->Used++;
    else
        free(Cache->Flows[place].Block);
    CachedFlow &flow = Cache->Flows[place];
    flow.Block = block;
    flow.Size = Size;
    flow.Write = Write;
    flow.Hash = Path.Hash;
    flow.NameCount = count;
    flow.StatsAt = statsAt;
    flow.Seen = true;
    if (isNew) *FindFlowSlot(Cache, Path) = static_cast<uint32_t>(place) + 1;
    *Fresh = true;
    return place;
}

// ---- Named files, looked up once per listing --------------------------------------------

namespace {

struct NamedFile {
    const char *Name; // a copy in the listing's pool; null: a free slot
    uint32_t Hash;
    uint64_t Size;   // 0 also for a missing file
    int64_t Written; // seconds since 1970; 0 when missing
};

struct NamedFiles {
    NamedFile *Slots;
    int SlotCount;
    int Used;
    // The names' copies, in blocks that each start with a pointer to the block before.
    char *Pool;
    size_t PoolUsed;
    size_t PoolSize;
};

} // namespace

static NamedFile *FindNamedSlot(NamedFiles *Files, const char *Name, uint32_t Hash) {
    uint32_t mask = static_cast<uint32_t>(Files->SlotCount - 1);
    uint32_t at = Hash & mask;
    while (Files->Slots[at].Name &&
           (Files->Slots[at].Hash != Hash || strcmp(Files->Slots[at].Name, Name) != 0))
        at = (at + 1) & mask;
    return &Files->Slots[at];
}

static bool GrowNamedFiles(NamedFiles *Files) {
    if (Files->Used + 1 <= Files->SlotCount / 2) return true;
    int count = Files->SlotCount ? Files->SlotCount * 2 : 4096;
    NamedFile *slots = static_cast<NamedFile *>(calloc(static_cast<size_t>(count), sizeof *slots));
    if (!slots) return false;
    NamedFile *old = Files->Slots;
    int oldCount = Files->SlotCount;
    Files->Slots = slots;
    Files->SlotCount = count;
    for (int i = 0; i < oldCount; ++i)
        if (old[i].Name) *FindNamedSlot(Files, old[i].Name, old[i].Hash) = old[i];
    free(old);
    return true;
}

// A copy of the name (shorter than MAX_PATH) that lasts the listing; null when memory runs out.
static const char *KeepName(NamedFiles *Files, const char *Name) {
    size_t size = strlen(Name) + 1;
    if (!Files->Pool || Files->PoolUsed + size > Files->PoolSize) {
        const size_t blockSize = 64 * 1024;
        char *block = static_cast<char *>(malloc(blockSize));
        if (!block) return nullptr;
        memcpy(block, &Files->Pool, sizeof(char *));
        Files->Pool = block;
        Files->PoolUsed = sizeof(char *);
        Files->PoolSize = blockSize;
    }
    char *copy = Files->Pool + Files->PoolUsed;
    memcpy(copy, Name, size);
    Files->PoolUsed += size;
    return copy;
}

static void FreeNamedFiles(NamedFiles *Files) {
    free(Files->Slots);
    while (Files->Pool) {
        char *before;
        memcpy(&before, Files->Pool, sizeof before);
        free(Files->Pool);
        Files->Pool = before;
    }
}

// The size and write time of what the name names: a file, or for a pattern every file it
// matches (sizes summed, the oldest time). Directories count nothing.
static void LookUpNamedFile(const char *Name, uint64_t *Size, int64_t *Written) {
    *Size = 0;
    *Written = 0;
    if (!CountableName(Name, strlen(Name))) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Name, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    bool pattern = strpbrk(Name, "*?") != nullptr;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        uint64_t size = FileSize(&found);
        if (size == 0) continue; // a bundle left empty after sending waits for nothing
        *Size += size;
        int64_t written = FileTimeToUnix(found.ftLastWriteTime);
        if (*Written == 0 || written < *Written) *Written = written;
    } while (pattern && FindNextFileA(search, &found));
    FindClose(search);
}

// ---- The scan ---------------------------------------------------------------------------

struct PendingLinkFile {
    int Row;
    MailerFile Mailer; // NoMailerFile: a flow file
    uint64_t Size;
    FILETIME Written;
    int64_t Queued; // when a flow file was made (QueuedTime)
    size_t Folder;  // the folder's text in the scan's Texts
    size_t Name;    // the file's name there; none for a flow file found in the cache as it was
    int Flow;       // that flow file's place in the cache; -1: to be read or looked up
    uint32_t Hash;  // a flow file's path's (TextHash)
};

void StartBacklogScan(BacklogScan *Scan, FlowCache **Cache, int64_t Now) {
    Scan->Cache = Cache;
    Scan->Now = Now;
    Scan->Pending = nullptr;
    Scan->PendingCount = 0;
    Scan->PendingCapacity = 0;
    Scan->Texts = nullptr;
    Scan->TextsUsed = 0;
    Scan->TextsCapacity = 0;
    Scan->Folder = "";
    Scan->FolderLength = 0;
    Scan->FolderKept = false;
    Scan->LastFolder = 0;
    Scan->FolderHash = 0;
}

void BeginBacklogFolder(BacklogScan *Scan, const char *Directory) {
    Scan->Folder = Directory;
    Scan->FolderLength = strlen(Directory);
    Scan->FolderKept = false;
}

// Appends Length bytes of Text and a NUL to the scan's texts; false when memory runs out.
static bool KeepText(BacklogScan *Scan, const char *Text, size_t Length, size_t *At) {
    if (Scan->TextsUsed + Length + 1 > Scan->TextsCapacity) {
        size_t capacity = Scan->TextsCapacity ? Scan->TextsCapacity * 2 : 4096;
        while (capacity < Scan->TextsUsed + Length + 1) capacity *= 2;
        char *grown = static_cast<char *>(realloc(Scan->Texts, capacity));
        if (!grown) return false;
        Scan->Texts = grown;
        Scan->TextsCapacity = capacity;
    }
    *At = Scan->TextsUsed;
    memcpy(Scan->Texts + Scan->TextsUsed, Text, Length);
    Scan->Texts[Scan->TextsUsed + Length] = '\0';
    Scan->TextsUsed += Length + 1;
    return true;
}

// The pending file's path, "folder\name", into Path (MAX_PATH bytes; it was checked to fit).
static void PendingPath(const BacklogScan *Scan, const PendingLinkFile &Pending, char *Path) {
    const char *folder = Scan->Texts + Pending.Folder, *name = Scan->Texts + Pending.Name;
    size_t folderLength = strlen(folder), nameLength = strlen(name);
    memcpy(Path, folder, folderLength);
    Path[folderLength] = '\\';
    memcpy(Path + folderLength + 1, name, nameLength + 1);
}

void NoteLinkFile(BacklogScan *Scan, OutboundEntry *Row, int RowNumber,
                  const WIN32_FIND_DATAA *Found, EntryKind Kind, MailerFile Mailer) {
    LinkStatus &status = Row->Status;
    uint64_t size = FileSize(Found);
    if (Kind == Netmail || Kind == FileRequest) {
        // An empty packet or request holds nothing for the link.
        if (size == 0) return;
        status.Bytes += size;
        // A packet was made for this link when queued; a request dates from its creation.
        NoteOldest(status,
                   Kind == Netmail ? FileTimeToUnix(Found->ftLastWriteTime) : QueuedTime(Found));
        return;
    }
    if (Kind == BusyFlag) Mailer = BusyFlagFile;
    if (Kind == FlowFile && size == 0) return; // a poll
    if (Kind != FlowFile && Mailer == NoMailerFile) return;
    // Memory that runs out: the row shows less than waits, nothing worse.
    if (Scan->PendingCount == Scan->PendingCapacity) {
        // Room at once for as many as the listing before had, rather than doubling up to them.
        const FlowCache *cache = *Scan->Cache;
        int first = cache && cache->PendingHint > 256 ? cache->PendingHint : 256;
        if (!RoomForOneMore(&Scan->Pending, Scan->PendingCount, &Scan->PendingCapacity, first))
            return;
    }
    PendingLinkFile &pending = Scan->Pending[Scan->PendingCount];
    size_t directoryLength = Scan->FolderLength;
    size_t nameLength = strnlen(Found->cFileName, sizeof(Found->cFileName));
    if (directoryLength + 1 + nameLength >= MAX_PATH) return;
    // A folder's text is kept, and hashed, once for all its files that wait.
    if (!Scan->FolderKept) {
        if (!KeepText(Scan, Scan->Folder, directoryLength, &Scan->LastFolder)) return;
        Scan->FolderHash = TextHash(Scan->Folder, directoryLength);
        Scan->FolderKept = true;
    }
    pending.Folder = Scan->LastFolder;
    pending.Flow = -1;
    if (Kind == FlowFile) {
        // One the cache holds as it is needs no more than its place: most are, on a listing
        // again.
        pending.Hash = TextHash(Found->cFileName, nameLength, Scan->FolderHash);
        FlowPath path = {Scan->Folder, directoryLength, Found->cFileName, pending.Hash};
        pending.Flow = UnchangedFlow(*Scan->Cache, path, size, Found->ftLastWriteTime);
    }
    if (pending.Flow < 0 && !KeepText(Scan, Found->cFileName, nameLength, &pending.Name)) return;
    pending.Row = RowNumber;
    pending.Mailer = Kind == FlowFile ? NoMailerFile : Mailer;
    pending.Size = size;
    pending.Written = Found->ftLastWriteTime;
    pending.Queued = QueuedTime(Found);
    ++Scan->PendingCount;
}

static int CompareKeys(const void *A, const void *B) {
    uint64_t a = *static_cast<const uint64_t *>(A), b = *static_cast<const uint64_t *>(B);
    return a < b ? -1 : a > b;
}

// The pending files by link, each link's in the order met: keys of row and place, in order.
// Keys met in order stay; else the rows are counted out (linear in files and rows); a row beyond
// them sorts the keys.
static void OrderByRow(const BacklogScan *Scan, int Rows, uint64_t *Order) {
    int count = Scan->PendingCount;
    bool ordered = true; // as the scan meets a link's files one after another
    for (int i = 0; i < count; ++i) {
        Order[i] = static_cast<uint64_t>(static_cast<uint32_t>(Scan->Pending[i].Row)) << 32 |
                   static_cast<uint32_t>(i);
        if (i && Order[i] < Order[i - 1]) ordered = false;
    }
    if (ordered) return;
    int *starts = static_cast<int *>(calloc(static_cast<size_t>(Rows) + 1, sizeof(int)));
    bool inRange = starts != nullptr;
    for (int i = 0; inRange && i < count; ++i) {
        int row = Scan->Pending[i].Row;
        if (row < 0 || row >= Rows)
            inRange = false;
        else
            ++starts[row + 1];
    }
    uint64_t *sorted = inRange ? static_cast<uint64_t *>(malloc(
                                     static_cast<size_t>(count ? count : 1) * sizeof(uint64_t)))
                               : nullptr;
    if (!sorted) {
        free(starts);
        qsort(Order, static_cast<size_t>(count), sizeof(uint64_t), CompareKeys);
        return;
    }
    for (int row = 0; row < Rows; ++row) starts[row + 1] += starts[row];
    for (int i = 0; i < count; ++i) sorted[starts[Scan->Pending[i].Row]++] = Order[i];
    memcpy(Order, sorted, static_cast<size_t>(count) * sizeof(uint64_t));
    free(sorted);
    free(starts);
}

namespace {

// The names one link counted already: a small table for the flow files of one link, so that
// a file named twice counts once.
struct LinkNames {
    const char **Names;
    uint32_t *Hashes;
    int Size; // a power of two
};

} // namespace

static bool PrepareLinkNames(LinkNames *Seen, int Count) {
    int size = 16;
    while (size < Count * 2) size *= 2;
    if (size > Seen->Size) {
        free(Seen->Names);
        free(Seen->Hashes);
        Seen->Names =
            static_cast<const char **>(malloc(static_cast<size_t>(size) * sizeof(char *)));
        Seen->Hashes =
            static_cast<uint32_t *>(malloc(static_cast<size_t>(size) * sizeof(uint32_t)));
        Seen->Size = Seen->Names && Seen->Hashes ? size : 0;
        if (!Seen->Size) return false;
    }
    memset(Seen->Names, 0, static_cast<size_t>(Seen->Size) * sizeof(char *));
    return true;
}

// True when the link counted the name already; else notes it.
static bool SeenBefore(LinkNames *Seen, const char *Name, uint32_t Hash) {
    if (!Seen->Size) return false;
    uint32_t mask = static_cast<uint32_t>(Seen->Size - 1);
    for (uint32_t at = Hash & mask;; at = (at + 1) & mask) {
        if (!Seen->Names[at]) {
            Seen->Names[at] = Name;
            Seen->Hashes[at] = Hash;
            return false;
        }
        if (Seen->Hashes[at] == Hash && strcmp(Seen->Names[at], Name) == 0) return true;
    }
}

// What the named file is now: looked up once per listing however many flow files name it.
static void NamedFileNow(const char *Name, uint32_t Hash, NamedFiles *Files, uint64_t *Size,
                         int64_t *Written) {
    NamedFile *file = GrowNamedFiles(Files) ? FindNamedSlot(Files, Name, Hash) : nullptr;
    if (file && file->Name) {
        *Size = file->Size;
        *Written = file->Written;
        return;
    }
    LookUpNamedFile(Name, Size, Written);
    if (!file || !(file->Name = KeepName(Files, Name))) return;
    file->Hash = Hash;
    file->Size = *Size;
    file->Written = *Written;
    ++Files->Used;
}

// What the flow file's names add to its link when it is the link's only flow file naming
// anything, from their stats: the bytes of each name no earlier line named, the oldest time of
// those that date the queue (0: none) and whether any waits (SumWaits), with SumKept. Summed
// without a branch a name: the time less one takes part in the minimum, so that a time of 0
// (none) wraps past every other.
static NamedStat SumAlone(const CachedFlow &Flow) {
    const NamedStat *stats = StatsOf(Flow);
    uint64_t bytes = 0, any = 0;
    uint32_t oldestLess = UINT32_MAX;
    for (uint32_t i = 0; i < Flow.NameCount; ++i) {
        const NamedStat &stat = stats[i];
        uint64_t counted = (stat.Key & RepeatedName) ? 0 : stat.Size;
        bytes += counted;
        any |= counted;
        uint32_t dated = (stat.Key & DatingName) && counted ? stat.Written - 1 : UINT32_MAX;
        oldestLess = dated < oldestLess ? dated : oldestLess;
    }
    NamedStat sum = {bytes, oldestLess + 1, SumKept | (any ? SumWaits : 0)};
    return sum;
}

// Counts the names of one flow file for its link: each file once per link, the '^' ones dating
// the queue; the flow file itself dates it when anything it names waits. A flow file unchanged
// since it was read gives what its files were then, else they are looked up now.
// A link whose only flow file naming anything is unchanged and has its stats (Alone) needs
// neither a table of the names it counted nor the names: what its own earlier lines name was
// noted when it was read. Otherwise Names holds the flow file's names.
static void CountFlowNames(CachedFlow &Flow, const char *Names, bool Fresh, bool Alone,
                           int64_t Queued, LinkStatus &Status, NamedFiles *Files, LinkNames *Seen,
                           LinkNames *Own) {
    bool waits = false;
    NamedStat *stats = StatsOf(Flow);
    bool summed = Flow.NameCount >= SummedNames;
    if (Alone) {
        NamedStat sum = summed && (stats[Flow.NameCount].Key & SumKept) ? stats[Flow.NameCount]
                                                                        : SumAlone(Flow);
        if (!(sum.Key & SumWaits)) return;
        Status.Bytes += sum.Size;
        NoteOldest(Status, sum.Written);
        NoteOldest(Status, Queued);
        return;
    }
    if (Fresh && stats && !PrepareLinkNames(Own, static_cast<int>(Flow.NameCount))) {
        Flow.StatsAt = 0; // looked up on every listing, as when there was no room
        stats = nullptr;
    }
    const char *at = Names;
    for (uint32_t i = 0; i < Flow.NameCount; ++i) {
        char directive = at[0];
        const char *name = at + 1;
        at = name + strlen(name) + 1;
        uint64_t size;
        int64_t written;
        uint32_t hash;
        if (!Fresh && stats) {
            size = stats[i].Size;
            written = stats[i].Written;
            hash = stats[i].Key & NameHashMask;
        } else {
            hash = NameHash(name);
            NamedFileNow(name, hash, Files, &size, &written);
            if (stats && (written < 0 || written > static_cast<int64_t>(UINT32_MAX))) {
                Flow.StatsAt = 0;
                stats = nullptr;
            }
            if (stats) {
                stats[i].Size = size;
                stats[i].Written = static_cast<uint32_t>(written);
                stats[i].Key = hash | (SeenBefore(Own, name, hash) ? RepeatedName : 0) |
                               (directive == '^' ? DatingName : 0);
            }
        }
        if (SeenBefore(Seen, name, hash) || size == 0) continue;
        waits = true;
        Status.Bytes += size;
        if (directive == '^') NoteOldest(Status, written);
    }
    if (waits) NoteOldest(Status, Queued);
    if (Fresh && stats && summed) stats[Flow.NameCount] = SumAlone(Flow);
}

static void ReadPendingMailerFile(const PendingLinkFile &Pending, const char *Path, int64_t Now,
                                  LinkStatus &Status) {
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof data);
    data.ftLastWriteTime = Pending.Written;
    MailerState state;
    memset(&state, 0, sizeof state);
    ReadMailerFile(Path, Pending.Mailer, &data, Now, &state);
    if (state.Held) Status.HeldUntil = state.HeldUntil;
    if (state.HasTries) {
        Status.HasTries = true;
        Status.Failures = static_cast<int>(state.Failures);
        free(Status.LastResult);
        Status.LastResult = state.LastResult[0] ? DuplicateString(state.LastResult) : nullptr;
    }
    if (state.Calling) Status.Calling = true;
    if (state.Busy) {
        Status.Busy = true;
        Status.BusySince = FileTimeToUnix(Pending.Written);
        Status.BusyProcess = state.BusyProcess;
        Status.BusyRunning = state.BusyRunning;
    }
}

void FinishBacklogScan(BacklogScan *Scan, OutboundEntry *Rows, int Count) {
    int count = Scan->PendingCount;
    // The files by link, each link's in the order met: a key of row and place.
    uint64_t *order =
        static_cast<uint64_t *>(malloc(static_cast<size_t>(count ? count : 1) * sizeof(uint64_t)));
    if (!*Scan->Cache) *Scan->Cache = static_cast<FlowCache *>(calloc(1, sizeof(FlowCache)));
    FlowCache *cache = *Scan->Cache;
    NamedFiles files = {nullptr, 0, 0, nullptr, 0, 0};
    LinkNames seen = {nullptr, nullptr, 0}, own = {nullptr, nullptr, 0};
    // A link's flow files: each one's place in the cache (-1: none), whether it was read now,
    // and where its names start in the link's names text (SIZE_MAX: not there).
    NamesText names = {nullptr, 0, 0};
    size_t one = static_cast<size_t>(count ? count : 1);
    int *flows = static_cast<int *>(malloc(one * sizeof(int)));
    bool *fresh = static_cast<bool *>(malloc(one));
    size_t *texts = static_cast<size_t *>(malloc(one * sizeof(size_t)));
    if (order && flows && fresh && texts) {
        OrderByRow(Scan, Count, order);
        for (int first = 0; first < count;) {
            int row = Scan->Pending[order[first] & 0xFFFFFFFFu].Row;
            // Most links, listed again, have one file waiting: a flow file the cache holds as
            // it was. One that names nothing counts nothing; one with its stats counts alone.
            const PendingLinkFile &only = Scan->Pending[order[first] & 0xFFFFFFFFu];
            if ((first + 1 == count || Scan->Pending[order[first + 1] & 0xFFFFFFFFu].Row != row) &&
                only.Mailer == NoMailerFile && only.Flow >= 0 && cache && row >= 0 && row < Count) {
                CachedFlow &flow = cache->Flows[only.Flow];
                if (!flow.NameCount || flow.StatsAt) {
                    if (flow.NameCount)
                        CountFlowNames(flow, nullptr, false, true, only.Queued, Rows[row].Status,
                                       &files, &seen, &own);
                    ++first;
                    continue;
                }
            }
            int last = first;
            int named = 0, lastNamed = first;
            uint32_t nameCount = 0;
            names.Used = 0;
            // The link's flow files, from the cache or read now, and how many names they hold.
            for (; last < count && Scan->Pending[order[last] & 0xFFFFFFFFu].Row == row; ++last) {
                const PendingLinkFile &pending = Scan->Pending[order[last] & 0xFFFFFFFFu];
                flows[last] = pending.Flow;
                fresh[last] = false;
                if (pending.Mailer != NoMailerFile || !cache) continue;
                if (flows[last] < 0) {
                    const char *folder = Scan->Texts + pending.Folder;
                    FlowPath path = {folder, strlen(folder), Scan->Texts + pending.Name,
                                     pending.Hash};
                    texts[last] = names.Used;
                    flows[last] =
                        FlowNames(cache, path, pending.Size, pending.Written, &names, &fresh[last]);
                }
                if (flows[last] < 0 || !cache->Flows[flows[last]].NameCount) continue;
                ++named;
                lastNamed = last;
                nameCount += cache->Flows[flows[last]].NameCount;
            }
            // The link's one flow file with names, unchanged and with its stats, counts alone;
            // else every unchanged one's names are wanted too.
            bool alone = named == 1 && !fresh[lastNamed] && cache->Flows[flows[lastNamed]].StatsAt;
            for (int i = first; i < last && !alone; ++i) {
                if (flows[i] < 0 || fresh[i]) continue;
                texts[i] = names.Used;
                if (!DecodeNames(cache->Flows[flows[i]], &names)) texts[i] = SIZE_MAX;
            }
            bool inRange = row >= 0 && row < Count;
            if (inRange && nameCount && !alone)
                PrepareLinkNames(&seen, static_cast<int>(nameCount));
            for (int i = first; inRange && i < last; ++i) {
                const PendingLinkFile &pending = Scan->Pending[order[i] & 0xFFFFFFFFu];
                LinkStatus &status = Rows[row].Status;
                if (pending.Mailer != NoMailerFile) {
                    char path[MAX_PATH];
                    PendingPath(Scan, pending, path);
                    ReadPendingMailerFile(pending, path, Scan->Now, status);
                } else if (flows[i] >= 0 && cache->Flows[flows[i]].NameCount &&
                           (alone || texts[i] != SIZE_MAX)) {
                    CountFlowNames(cache->Flows[flows[i]], alone ? nullptr : names.Text + texts[i],
                                   fresh[i], alone, pending.Queued, status, &files, &seen, &own);
                }
            }
            first = last;
        }
    }
    if (cache) {
        PruneFlowCache(cache);
        cache->PendingHint = count;
    }
    free(order);
    free(flows);
    free(fresh);
    free(texts);
    free(names.Text);
    free(seen.Names);
    free(seen.Hashes);
    free(own.Names);
    free(own.Hashes);
    FreeNamedFiles(&files);
    free(Scan->Pending);
    free(Scan->Texts);
    StartBacklogScan(Scan, Scan->Cache, Scan->Now);
}

void ShowBacklogInRows(OutboundEntry *Rows, int Count) {
    for (int i = 0; i < Count; ++i) {
        OutboundEntry &row = Rows[i];
        row.Size = row.Status.Bytes;
        // No time where nothing waits: the time sort puts such links behind the waiting ones.
        FILETIME oldest = UnixToFileTime(row.Status.Oldest);
        row.LastWriteTime = oldest;
        row.CreationTime = oldest;
        row.LastAccessTime = oldest;
    }
}
