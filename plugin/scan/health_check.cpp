#include "scan/health_check.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/helpers.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

namespace {

struct Folder {
    char Path[MAX_PATH];
    bool WrongZone; // its packets and flow files are never looked at by the mailer
    uint32_t Zone;
    bool IsPointFolder;
    uint32_t Node; // a point folder's node number (net and node)
};

struct FolderList {
    Folder *Items;
    int Count;
    int Capacity;
};

// The names flow lines give, as full paths in one form, sorted for the look-ups.
struct NameSet {
    char **Names;
    int Count;
    int Capacity;
};

struct CheckState {
    HealthReport *Report;
    NameSet Named;
    bool OutOfMemory;
};

} // namespace

static bool Grow(void **Items, int *Capacity, int Count, size_t Size) {
    if (Count < *Capacity) return true;
    int capacity = *Capacity ? *Capacity * 2 : 16;
    void *grown = realloc(*Items, Size * static_cast<size_t>(capacity));
    if (!grown) return false;
    *Items = grown;
    *Capacity = capacity;
    return true;
}

// The first Length bytes of Text, cut to fit (never inside a character).
static void CopyCut(char *Target, size_t Size, const char *Text, size_t Length) {
    if (Length > Size - 1) Length = FittingLength(Text, Size - 1);
    memcpy(Target, Text, Length);
    Target[Length] = 0;
}

static HealthFinding *AddFinding(CheckState *State, HealthProblem Problem, const char *Path) {
    HealthReport *report = State->Report;
    if (!Grow(reinterpret_cast<void **>(&report->Findings), &report->Capacity, report->Count,
              sizeof(HealthFinding))) {
        State->OutOfMemory = true;
        return nullptr;
    }
    HealthFinding *finding = &report->Findings[report->Count++];
    memset(finding, 0, sizeof(*finding));
    finding->Problem = Problem;
    CopyCut(finding->Path, sizeof(finding->Path), Path, strlen(Path));
    return finding;
}

static int CompareNames(const void *A, const void *B) {
    return _stricmp(*static_cast<char *const *>(A), *static_cast<char *const *>(B));
}

// Names compare without regard to case: on Linux the file functions find a name in any case
// too, so a line in another case still sends the file.
static bool IsNamed(const NameSet *Set, const char *Path) {
    char comparable[MAX_PATH];
    if (!ComparablePath(Path, comparable)) return false;
    const char *key = comparable;
    return Set->Count > 0 && bsearch(&key, Set->Names, static_cast<size_t>(Set->Count),
                                     sizeof(char *), CompareNames) != nullptr;
}

bool IsBundleName(const char *Name) {
    const char *dot = strrchr(Name, '.');
    if (dot == nullptr || dot == Name || strlen(dot) != 4) return false;
    if (_stricmp(dot, ".pkt") == 0) return true;
    static const char *const days[] = {"mo", "tu", "we", "th", "fr", "sa", "su"};
    for (const char *day : days)
        if (_strnicmp(dot + 1, day, 2) == 0) return isalnum(static_cast<unsigned char>(dot[3]));
    return false;
}

// Eight hex digits and one of the link state files binkd keeps beside the queue.
static bool IsLinkStateName(const char *Name) {
    for (int i = 0; i < 8; ++i)
        if (!isxdigit(static_cast<unsigned char>(Name[i]))) return false;
    if (Name[8] != '.' || strlen(Name) != 12) return false;
    return _stricmp(Name + 8, ".hld") == 0 || _stricmp(Name + 8, ".try") == 0 ||
           _stricmp(Name + 8, ".csy") == 0;
}

static void CheckFlowLines(CheckState *State, const char *FlowPath, const FtnAddress *Link) {
    LineReader reader;
    if (!OpenLineReader(&reader, FlowPath)) {
        CloseLineReader(&reader);
        return;
    }
    char *line;
    size_t length;
    int number = 0;
    while (!State->OutOfMemory && ReadLine(&reader, &line, &length) > 0) {
        ++number;
        char whole[MAX_PATH];
        CopyCut(whole, sizeof(whole), line, length);
        size_t wholeLength = length;
        bool directive = line[0] == '^' || line[0] == '#';
        char *name = ParseFlowLine(line);
        if (name == nullptr) continue;
        // A blank line is no entry; a directive with nothing behind it, or ".", is a bad one.
        bool blank = strspn(name, " \t") == strlen(name);
        if (blank && !directive) continue;
        HealthProblem problem;
        if (blank || strcmp(name, ".") == 0) {
            problem = HealthNotAName;
        } else {
            char comparable[MAX_PATH];
            if (ComparablePath(name, comparable)) {
                if (!Grow(reinterpret_cast<void **>(&State->Named.Names), &State->Named.Capacity,
                          State->Named.Count, sizeof(char *))) {
                    State->OutOfMemory = true;
                    break;
                }
                char *copy = static_cast<char *>(malloc(strlen(comparable) + 1));
                if (!copy) {
                    State->OutOfMemory = true;
                    break;
                }
                memcpy(copy, comparable, strlen(comparable) + 1);
                State->Named.Names[State->Named.Count++] = copy;
            }
            // A pattern line names what it matches: nothing to look for by its name.
            if (strpbrk(name, "*?") != nullptr) continue;
            if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) continue;
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) continue;
            problem = HealthMissingFile;
        }
        HealthFinding *finding = AddFinding(State, problem, FlowPath);
        if (!finding) break;
        CopyCut(finding->Line, sizeof(finding->Line), whole, strlen(whole));
        finding->LineLength = wholeLength;
        finding->LineNumber = number;
        finding->Link = *Link;
    }
    CloseLineReader(&reader);
}

// Calls Visit for each entry of the folder but "." and "..".
template <typename Visitor> static void EachEntry(const char *Directory, Visitor Visit) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), Directory, "\\", "*")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
        Visit(found);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static bool AddFolder(FolderList *List, const char *Path, bool WrongZone, uint32_t Zone,
                      bool IsPointFolder, uint32_t Node) {
    if (!Grow(reinterpret_cast<void **>(&List->Items), &List->Capacity, List->Count,
              sizeof(Folder)))
        return false;
    Folder &folder = List->Items[List->Count++];
    CopyCut(folder.Path, sizeof(folder.Path), Path, strlen(Path));
    folder.WrongZone = WrongZone;
    folder.Zone = Zone;
    folder.IsPointFolder = IsPointFolder;
    folder.Node = Node;
    return true;
}

// The root, the zone folders beside it, and the point folders below each.
static bool CollectFolders(const char *Root, const FtnAddress *Own, FolderList *List) {
    // The own zone lives in the root, and there is no zone 0: the mailer never looks into
    // these folders.
    auto collect = [&](const OutboundFolder &Folder) {
        bool wrongZone = !Folder.InRoot && (Folder.Zone == Own->zone || Folder.Zone == 0);
        return AddFolder(List, Folder.Path, wrongZone, Folder.Zone, Folder.IsPointFolder,
                         Folder.Node);
    };
    return WalkOutbound(Root, Own->zone, true, collect);
}

// The link whose file the entry's number names in the folder.
static FtnAddress LinkOfFile(const Folder *Folder, uint32_t Number) {
    FtnAddress link = {Folder->Zone, 0, 0, 0};
    SplitNodeNumber(Folder->IsPointFolder ? Folder->Node : Number, &link.net, &link.node);
    if (Folder->IsPointFolder) link.point = Number;
    return link;
}

static unsigned long long FileTimeValue(const FILETIME &Time) {
    return (static_cast<unsigned long long>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime;
}

static void CheckFolderFiles(CheckState *State, const Folder *Folder, unsigned OldEmptyDays,
                             unsigned long long Now) {
    EachEntry(Folder->Path, [&](const WIN32_FIND_DATAA &entry) {
        if (State->OutOfMemory || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
        char path[MAX_PATH];
        if (!JoinPath(path, sizeof(path), Folder->Path, "\\", entry.cFileName)) return;
        EntryKind kind;
        Flavor flavor;
        uint32_t number;
        if (IsNodeFileEntry(&entry, &kind, &flavor, &number)) {
            HealthFinding *finding = nullptr;
            unsigned long long size =
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            if (Folder->WrongZone && (kind == Netmail || kind == FlowFile)) {
                finding = AddFinding(State, HealthWrongZone, path);
            } else if (kind == Netmail && size <= DroppedPacketSize) {
                finding = AddFinding(State, HealthDroppedPacket, path);
                if (finding) {
                    unsigned long long written = FileTimeValue(entry.ftLastWriteTime);
                    finding->Size = size;
                    finding->Days =
                        static_cast<unsigned>((Now > written ? Now - written : 0) / FileTimeDay);
                    finding->Written = entry.ftLastWriteTime;
                }
            }
            if (finding) finding->Link = LinkOfFile(Folder, number);
            return;
        }
        if (IsLinkStateName(entry.cFileName)) return;
        bool named = IsNamed(&State->Named, path);
        if (IsBundleName(entry.cFileName)) {
            if (named) return;
            unsigned long long size =
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            unsigned long long written = FileTimeValue(entry.ftLastWriteTime);
            unsigned long long age = Now > written ? Now - written : 0;
            HealthProblem problem = HealthOrphanBundle;
            if (size == 0) {
                // Emptied after sending: the tosser fills it again, unless it is old.
                if (age <= static_cast<unsigned long long>(OldEmptyDays) * FileTimeDay) return;
                problem = HealthOldEmptyBundle;
            }
            HealthFinding *finding = AddFinding(State, problem, path);
            if (finding) {
                finding->Size = size;
                finding->Days = static_cast<unsigned>(age / FileTimeDay);
            }
            return;
        }
        if (!named) AddFinding(State, HealthUnknownName, path);
    });
}

int CheckOutboundHealth(const char *Root, const FtnAddress *Own, unsigned OldEmptyDays,
                        unsigned long long Now, HealthReport *Report) {
    CheckState state = {Report, {nullptr, 0, 0}, false};
    FolderList folders = {nullptr, 0, 0};
    if (!CollectFolders(Root, Own, &folders)) state.OutOfMemory = true;
    // Every flow file first: a bundle is an orphan only when no line anywhere names it.
    for (int i = 0; i < folders.Count && !state.OutOfMemory; ++i) {
        EachEntry(folders.Items[i].Path, [&](const WIN32_FIND_DATAA &entry) {
            EntryKind kind;
            Flavor flavor;
            uint32_t number;
            char path[MAX_PATH];
            if (state.OutOfMemory || !IsNodeFileEntry(&entry, &kind, &flavor, &number) ||
                kind != FlowFile ||
                !JoinPath(path, sizeof(path), folders.Items[i].Path, "\\", entry.cFileName))
                return;
            FtnAddress link = LinkOfFile(&folders.Items[i], number);
            CheckFlowLines(&state, path, &link);
        });
    }
    if (state.Named.Count > 0)
        qsort(state.Named.Names, static_cast<size_t>(state.Named.Count), sizeof(char *),
              CompareNames);
    for (int i = 0; i < folders.Count && !state.OutOfMemory; ++i)
        CheckFolderFiles(&state, &folders.Items[i], OldEmptyDays, Now);
    for (int i = 0; i < state.Named.Count; ++i) free(state.Named.Names[i]);
    free(state.Named.Names);
    free(folders.Items);
    return state.OutOfMemory ? 0 : 1;
}

void FreeHealthReport(HealthReport *Report) {
    free(Report->Findings);
    memset(Report, 0, sizeof(*Report));
}

namespace {
struct LineToTake {
    const HealthFinding *Finding;
    int Number;
    bool Taken;
};
} // namespace

static int DropFoundLine(char *Line, size_t *Length, void *Context) {
    LineToTake *take = static_cast<LineToTake *>(Context);
    if (++take->Number != take->Finding->LineNumber) return 1;
    size_t shown = strlen(take->Finding->Line);
    // Not the line the check saw: the flow file changed meanwhile, and nothing is taken.
    if (*Length != take->Finding->LineLength || memcmp(Line, take->Finding->Line, shown) != 0)
        return -1;
    take->Taken = true;
    return 0;
}

int TakeOutFlowLine(const HealthFinding *Finding) {
    if (Finding->LineNumber <= 0) return 0;
    LineToTake take = {Finding, 0, false};
    char temporaryPath[MAX_PATH];
    memcpy(temporaryPath, Finding->Path, sizeof(temporaryPath));
    ReplaceExtension(temporaryPath, ".TMP");
    return RewriteFlowFile(Finding->Path, temporaryPath, DropFoundLine, &take) && take.Taken;
}

int RemoveEmptyBundle(const char *Path) {
    WIN32_FIND_DATAA found;
    if (strpbrk(Path, "*?") != nullptr || !FindFirstEntry(Path, &found)) return 0;
    // Filled again since the check: it is mail now.
    if (found.nFileSizeLow != 0 || found.nFileSizeHigh != 0) return 0;
    return DeleteFileRetrying(Path);
}

int RemoveDroppedPacket(const HealthFinding *Finding) {
    WIN32_FIND_DATAA found;
    if (strpbrk(Finding->Path, "*?") != nullptr || !FindFirstEntry(Finding->Path, &found)) return 0;
    unsigned long long size =
        (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    if (size != Finding->Size || size > DroppedPacketSize ||
        FileTimeValue(found.ftLastWriteTime) != FileTimeValue(Finding->Written))
        return 0;
    return DeleteFileRetrying(Finding->Path);
}
