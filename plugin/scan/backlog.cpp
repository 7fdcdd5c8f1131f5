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

// A hash of the text taken eight bytes at a time: every listing hashes the path of each flow
// file it meets.
static uint32_t PathHash(const char *Text) {
    const uint64_t multiplier = 0x9E3779B97F4A7C15ull;
    size_t length = strlen(Text);
    uint64_t hash = length * multiplier;
    for (; length >= 8; Text += 8, length -= 8) {
        uint64_t word;
        memcpy(&word, Text, 8);
        hash = (hash ^ word) * multiplier;
        hash ^= hash >> 29;
    }
    uint64_t rest = 0;
    memcpy(&rest, Text, length);
    hash = (hash ^ rest) * multiplier;
    hash ^= hash >> 32;
    return static_cast<uint32_t>(hash);
}

// ---- The flow file cache ----------------------------------------------------------------

namespace {

// What a named file was when its flow file was read.
struct NamedStat {
    uint64_t Size;   // 0 also for a missing file
    int64_t Written; // seconds since 1970; 0 when missing
    uint32_t Hash;   // of the name
    bool Repeated;   // an earlier line of the same flow file names it too
};

// One flow file as last read: its size and write time, and the names of its waiting lines,
// each as its directive ('^', '#' or ' ') followed by the name and a NUL, with what each named
// file was then. While the flow file stays as it is, so do the files it names: the mailer
// rewrites the flow file when it sends one, and a file queued anew goes in with a new line.
// The path, the names and their stats lie in one block, so that a cache of thousands of flow
// files holds one allocation each.
struct CachedFlow {
    char *Path; // null: a free slot; else the block, starting with the path
    size_t NamesLength;
    uint64_t Size;
    FILETIME Write;
    uint32_t Hash;
    uint32_t NamesAt; // where the names start in the block
    int NameCount;
    bool HasStats; // one per name behind the names; none when memory ran out (then looked up)
    bool Seen;     // met in the listing under way
};

const char *NamesOf(const CachedFlow &Flow) {
    return Flow.Path + Flow.NamesAt;
}

size_t StatsAt(size_t NamesAt, size_t NamesLength) {
    return (NamesAt + NamesLength + alignof(NamedStat) - 1) / alignof(NamedStat) *
           alignof(NamedStat);
}

NamedStat *StatsOf(const CachedFlow &Flow) {
    if (!Flow.HasStats) return nullptr;
    return reinterpret_cast<NamedStat *>(Flow.Path + StatsAt(Flow.NamesAt, Flow.NamesLength));
}

} // namespace

struct FlowCache {
    CachedFlow *Slots;
    int SlotCount; // a power of two, at most half full
    int Used;
    long Reads;
};

static void FreeCachedFlow(CachedFlow &Flow) {
    free(Flow.Path);
    memset(&Flow, 0, sizeof Flow);
}

// The flow file's block: its path, its names and room for their stats (zeroed), or without
// that room when memory is short. Null when there is no memory even for that.
static char *FlowBlock(const char *Path, const char *Names, size_t NamesLength, int Count,
                       bool *HasStats) {
    size_t pathSize = strlen(Path) + 1;
    size_t statsAt = StatsAt(pathSize, NamesLength);
    size_t statsSize = static_cast<size_t>(Count) * sizeof(NamedStat);
    char *block = Count ? static_cast<char *>(malloc(statsAt + statsSize)) : nullptr;
    *HasStats = block != nullptr;
    if (block)
        memset(block + statsAt, 0, statsSize);
    else
        block = static_cast<char *>(malloc(pathSize + NamesLength));
    if (!block) return nullptr;
    memcpy(block, Path, pathSize);
    if (NamesLength) memcpy(block + pathSize, Names, NamesLength);
    return block;
}

void FreeFlowCache(FlowCache **Cache) {
    if (!*Cache) return;
    for (int i = 0; i < (*Cache)->SlotCount; ++i) FreeCachedFlow((*Cache)->Slots[i]);
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

static CachedFlow *FindFlowSlot(FlowCache *Cache, const char *Path, uint32_t Hash) {
    uint32_t mask = static_cast<uint32_t>(Cache->SlotCount - 1);
    uint32_t at = Hash & mask;
    while (Cache->Slots[at].Path &&
           (Cache->Slots[at].Hash != Hash || strcmp(Cache->Slots[at].Path, Path) != 0))
        at = (at + 1) & mask;
    return &Cache->Slots[at];
}

// Room for Extra more flow files; false when memory runs out.
static bool GrowFlowCache(FlowCache *Cache, int Extra = 1) {
    if (Cache->Used + Extra <= Cache->SlotCount / 2) return true;
    int count = Cache->SlotCount ? Cache->SlotCount * 2 : 1024;
    while (Cache->Used + Extra > count / 2) count *= 2;
    CachedFlow *slots =
        static_cast<CachedFlow *>(calloc(static_cast<size_t>(count), sizeof *slots));
    if (!slots) return false;
    CachedFlow *old = Cache->Slots;
    int oldCount = Cache->SlotCount;
    Cache->Slots = slots;
    Cache->SlotCount = count;
    for (int i = 0; i < oldCount; ++i)
        if (old[i].Path) *FindFlowSlot(Cache, old[i].Path, old[i].Hash) = old[i];
    free(old);
    return true;
}

// Drops the flow files the listing did not meet (sent, or gone with their link), so that the
// cache holds what the outbound holds; clears the marks for the next listing.
static void PruneFlowCache(FlowCache *Cache) {
    bool dropped = false;
    for (int i = 0; i < Cache->SlotCount; ++i) {
        CachedFlow &flow = Cache->Slots[i];
        if (!flow.Path) continue;
        if (!flow.Seen) {
            FreeCachedFlow(flow);
            --Cache->Used;
            dropped = true;
        }
        flow.Seen = false;
    }
    if (!dropped) return;
    // Open addressing: what is left is placed again so that no search stops at a gap.
    CachedFlow *old = Cache->Slots;
    CachedFlow *slots =
        static_cast<CachedFlow *>(calloc(static_cast<size_t>(Cache->SlotCount), sizeof *slots));
    if (!slots) { // keep nothing rather than a table with gaps
        for (int i = 0; i < Cache->SlotCount; ++i) FreeCachedFlow(old[i]);
        Cache->Used = 0;
        return;
    }
    Cache->Slots = slots;
    for (int i = 0; i < Cache->SlotCount; ++i)
        if (old[i].Path) *FindFlowSlot(Cache, old[i].Path, old[i].Hash) = old[i];
    free(old);
}

// Reads the waiting lines of the flow file into Names; false when it cannot be read whole.
static bool ReadFlowNames(const char *Path, char **Names, size_t *NamesLength) {
    LineReader reader;
    if (!OpenLineReader(&reader, Path)) {
        CloseLineReader(&reader);
        return false;
    }
    char *names = nullptr;
    size_t used = 0, capacity = 0;
    char *line;
    size_t length;
    int got;
    bool ok = true;
    while ((got = ReadLine(&reader, &line, &length)) > 0) {
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
        if (used + nameLength + 2 > capacity) {
            size_t grown = capacity ? capacity * 2 : 256;
            while (grown < used + nameLength + 2) grown *= 2;
            char *bigger = static_cast<char *>(realloc(names, grown));
            if (!bigger) {
                ok = false;
                break;
            }
            names = bigger;
            capacity = grown;
        }
        names[used++] = directive;
        memcpy(names + used, name, nameLength + 1);
        used += nameLength + 1;
    }
    CloseLineReader(&reader);
    if (got < 0 || !ok) {
        free(names);
        return false;
    }
    *Names = names;
    *NamesLength = used;
    return true;
}

// Counts the names of a names block.
static int CountNames(const char *Names, size_t Length) {
    int count = 0;
    for (size_t at = 0; at < Length; at += strlen(Names + at + 1) + 2) ++count;
    return count;
}

// The flow file as cached: unchanged since the last listing (*Fresh false), or read now
// (*Fresh true, its named files' stats to be filled). Null when it cannot be read.
static CachedFlow *FlowNames(FlowCache *Cache, const char *Path, uint64_t Size,
                             const FILETIME &Write, bool *Fresh) {
    *Fresh = false;
    uint32_t hash = PathHash(Path);
    CachedFlow *flow = Cache->SlotCount ? FindFlowSlot(Cache, Path, hash) : nullptr;
    if (flow && flow->Path && flow->Size == Size &&
        flow->Write.dwLowDateTime == Write.dwLowDateTime &&
        flow->Write.dwHighDateTime == Write.dwHighDateTime) {
        flow->Seen = true;
        return flow;
    }
    char *names = nullptr;
    size_t namesLength = 0;
    ++Cache->Reads;
    if (!ReadFlowNames(Path, &names, &namesLength)) {
        if (flow && flow->Path) flow->Seen = false; // dropped at the end: read again next time
        return nullptr;
    }
    int count = CountNames(names, namesLength);
    bool hasStats = false;
    char *block = FlowBlock(Path, names, namesLength, count, &hasStats);
    free(names);
    if (!block) {
        if (flow && flow->Path) flow->Seen = false;
        return nullptr;
    }
    if (!flow || !flow->Path) {
        if (!GrowFlowCache(Cache)) {
            free(block);
            return nullptr;
        }
        flow = FindFlowSlot(Cache, Path, hash);
        flow->Hash = hash;
        ++Cache->Used;
    } else {
        free(flow->Path);
    }
    flow->Path = block;
    flow->Size = Size;
    flow->Write = Write;
    flow->NamesAt = static_cast<uint32_t>(strlen(Path) + 1);
    flow->NamesLength = namesLength;
    flow->NameCount = count;
    flow->HasStats = hasStats;
    flow->Seen = true;
    *Fresh = true;
    return flow;
}

// ---- Named files, looked up once per listing --------------------------------------------

namespace {

struct NamedFile {
    const char *Name; // points into a cached flow file's names; null: a free slot
    uint32_t Hash;
    uint64_t Size;   // 0 also for a missing file
    int64_t Written; // seconds since 1970; 0 when missing
};

struct NamedFiles {
    NamedFile *Slots;
    int SlotCount;
    int Used;
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

// The size and write time of what the name names: a file, or for a pattern every file it
// matches (sizes summed, the oldest time). Directories count nothing.
static void LookUpNamedFile(const char *Name, uint64_t *Size, int64_t *Written) {
    *Size = 0;
    *Written = 0;
    // A relative name is the mailer's current folder's: which file it is, nobody else knows.
    if (strlen(Name) >= MAX_PATH || !IsAbsoluteName(Name)) return;
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
    size_t Name;    // the file's name there
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
    Scan->LastFolder = 0;
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

void NoteLinkFile(BacklogScan *Scan, OutboundEntry *Row, int RowNumber, const char *Directory,
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
    if (!RoomForOneMore(&Scan->Pending, Scan->PendingCount, &Scan->PendingCapacity, 256)) return;
    PendingLinkFile &pending = Scan->Pending[Scan->PendingCount];
    size_t directoryLength = strlen(Directory);
    size_t nameLength = strnlen(Found->cFileName, sizeof(Found->cFileName));
    if (directoryLength + 1 + nameLength >= MAX_PATH) return;
    bool sameFolder = Scan->Texts && Scan->LastFolder < Scan->TextsUsed &&
                      strcmp(Scan->Texts + Scan->LastFolder, Directory) == 0;
    if (!sameFolder && !KeepText(Scan, Directory, directoryLength, &Scan->LastFolder)) return;
    pending.Folder = Scan->LastFolder;
    if (!KeepText(Scan, Found->cFileName, nameLength, &pending.Name)) return;
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
// The rows are counted out (linear in files and rows); a row beyond them sorts the keys.
static void OrderByRow(const BacklogScan *Scan, int Rows, uint64_t *Order) {
    int count = Scan->PendingCount;
    for (int i = 0; i < count; ++i)
        Order[i] = static_cast<uint64_t>(static_cast<uint32_t>(Scan->Pending[i].Row)) << 32 |
                   static_cast<uint32_t>(i);
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

// What the named file is: from the flow file's last reading while it is unchanged, else looked
// up, once per listing however many flow files name it.
static NamedStat NamedFileNow(const char *Name, NamedFiles *Files) {
    uint32_t hash = PathHash(Name);
    NamedStat stat = {0, 0, hash, false};
    if (!GrowNamedFiles(Files)) {
        LookUpNamedFile(Name, &stat.Size, &stat.Written);
        return stat;
    }
    NamedFile *file = FindNamedSlot(Files, Name, hash);
    if (!file->Name) {
        file->Name = Name;
        file->Hash = hash;
        LookUpNamedFile(Name, &file->Size, &file->Written);
        ++Files->Used;
    }
    stat.Size = file->Size;
    stat.Written = file->Written;
    return stat;
}

// Counts the names of one flow file for its link: each file once per link, the '^' ones dating
// the queue; the flow file itself dates it when anything it names waits.
// A link whose only flow file naming anything is unchanged (Alone) needs no table of the names
// it counted: what its own earlier lines name was noted when the flow file was read.
static void CountFlowNames(CachedFlow *Flow, bool Fresh, bool Alone, const PendingLinkFile &Pending,
                           LinkStatus &Status, NamedFiles *Files, LinkNames *Seen, LinkNames *Own) {
    bool waits = false;
    const char *names = NamesOf(*Flow);
    NamedStat *stats = StatsOf(*Flow);
    if (Fresh && stats && !PrepareLinkNames(Own, Flow->NameCount)) {
        Flow->HasStats = false; // looked up on every listing, as when there was no room
        stats = nullptr;
    }
    int index = 0;
    for (size_t at = 0; at < Flow->NamesLength; ++index) {
        char directive = names[at];
        const char *name = names + at + 1;
        at += strlen(name) + 2;
        NamedStat stat;
        if (!Fresh && stats) {
            stat = stats[index];
        } else {
            stat = NamedFileNow(name, Files);
            stat.Repeated = stats && SeenBefore(Own, name, stat.Hash);
            if (stats) stats[index] = stat;
        }
        bool counted = Alone ? stat.Repeated : SeenBefore(Seen, name, stat.Hash);
        if (counted || stat.Size == 0) continue;
        waits = true;
        Status.Bytes += stat.Size;
        if (directive == '^') NoteOldest(Status, stat.Written);
    }
    if (waits) NoteOldest(Status, Pending.Queued);
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
    NamedFiles files = {nullptr, 0, 0};
    LinkNames seen = {nullptr, nullptr, 0}, own = {nullptr, nullptr, 0};
    CachedFlow **flows =
        static_cast<CachedFlow **>(malloc(static_cast<size_t>(count ? count : 1) * sizeof(void *)));
    bool *fresh = static_cast<bool *>(malloc(static_cast<size_t>(count ? count : 1)));
    if (order && flows && fresh) {
        OrderByRow(Scan, Count, order);
        for (int first = 0; first < count;) {
            int row = Scan->Pending[order[first] & 0xFFFFFFFFu].Row;
            int last = first;
            int names = 0;
            int group = first;
            while (group < count && Scan->Pending[order[group] & 0xFFFFFFFFu].Row == row) ++group;
            // The cache's entries must not move while the link's are in hand.
            if (cache) GrowFlowCache(cache, group - first);
            // The link's flow files, from the cache or read now, and how many names they hold.
            for (; last < count && Scan->Pending[order[last] & 0xFFFFFFFFu].Row == row; ++last) {
                const PendingLinkFile &pending = Scan->Pending[order[last] & 0xFFFFFFFFu];
                flows[last] = nullptr;
                if (pending.Mailer != NoMailerFile || !cache) continue;
                char path[MAX_PATH];
                PendingPath(Scan, pending, path);
                flows[last] = FlowNames(cache, path, pending.Size, pending.Written, &fresh[last]);
                if (flows[last]) names += flows[last]->NameCount;
            }
            // The link's one flow file with names, unchanged and with its stats, counts alone.
            int named = 0, lastNamed = first;
            for (int i = first; i < last; ++i)
                if (flows[i] && flows[i]->NameCount) ++named, lastNamed = i;
            bool alone = named == 1 && !fresh[lastNamed] && flows[lastNamed]->HasStats;
            bool inRange = row >= 0 && row < Count;
            if (inRange && names && !alone) PrepareLinkNames(&seen, names);
            for (int i = first; inRange && i < last; ++i) {
                const PendingLinkFile &pending = Scan->Pending[order[i] & 0xFFFFFFFFu];
                LinkStatus &status = Rows[row].Status;
                if (pending.Mailer != NoMailerFile) {
                    char path[MAX_PATH];
                    PendingPath(Scan, pending, path);
                    ReadPendingMailerFile(pending, path, Scan->Now, status);
                } else if (flows[i] && flows[i]->NameCount) {
                    CountFlowNames(flows[i], fresh[i], alone, pending, status, &files, &seen, &own);
                }
            }
            first = last;
        }
    }
    if (cache) PruneFlowCache(cache);
    free(order);
    free(flows);
    free(fresh);
    free(seen.Names);
    free(seen.Hashes);
    free(own.Names);
    free(own.Hashes);
    free(files.Slots);
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
