#include "scan/health_check.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/grow_array.h"
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

// The files flow lines name, by identity, sorted for the look-ups.
struct NamedFile {
    DWORD Volume;
    unsigned long long Index;
};

struct NameSet {
    NamedFile *Files;
    int Count;
    int Capacity;
};

struct CheckState {
    HealthReport *Report;
    NameSet Named;
    bool OutOfMemory;
    SpelledFolder Spelled;
};

} // namespace

// The first Length bytes of Text, cut to fit (never inside a character).
static void CopyCut(char *Target, size_t Size, const char *Text, size_t Length) {
    if (Length > Size - 1) Length = FittingLength(Text, Size - 1);
    memcpy(Target, Text, Length);
    Target[Length] = 0;
}

HealthFinding *AddHealthFinding(HealthReport *Report, HealthProblem Problem, const char *Path) {
    if (!RoomForOneMore(&Report->Findings, Report->Count, &Report->Capacity)) return nullptr;
    HealthFinding *finding = &Report->Findings[Report->Count++];
    memset(finding, 0, sizeof(*finding));
    finding->Problem = Problem;
    CopyCut(finding->Path, sizeof(finding->Path), Path, strlen(Path));
    return finding;
}

static HealthFinding *AddFinding(CheckState *State, HealthProblem Problem, const char *Path) {
    HealthFinding *finding = AddHealthFinding(State->Report, Problem, Path);
    if (!finding) State->OutOfMemory = true;
    return finding;
}

static int CompareNamed(const void *A, const void *B) {
    const NamedFile *a = static_cast<const NamedFile *>(A), *b = static_cast<const NamedFile *>(B);
    if (a->Volume != b->Volume) return a->Volume < b->Volume ? -1 : 1;
    if (a->Index != b->Index) return a->Index < b->Index ? -1 : 1;
    return 0;
}

// Whether a flow line names the file, under whatever name: a symbolic link, another spelling
// of its folder, a short name all reach the same file.
static bool IsNamed(const NameSet *Set, const FileIdentity *File) {
    NamedFile key = {File->Volume, File->Index};
    return Set->Count > 0 && bsearch(&key, Set->Files, static_cast<size_t>(Set->Count),
                                     sizeof(NamedFile), CompareNamed) != nullptr;
}

static void NoteNamed(CheckState *State, const FileIdentity *File) {
    if (!RoomForOneMore(&State->Named.Files, State->Named.Count, &State->Named.Capacity)) {
        State->OutOfMemory = true;
        return;
    }
    State->Named.Files[State->Named.Count++] = {File->Volume, File->Index};
}

// Every file a pattern line matches is named by it.
static void NotePattern(CheckState *State, const char *Pattern) {
    size_t folder = 0;
    for (size_t i = 0; Pattern[i]; ++i)
        if (Pattern[i] == '\\' || Pattern[i] == '/' || Pattern[i] == ':') folder = i + 1;
    WIN32_FIND_DATAA found;
    HANDLE search =
        strlen(Pattern) < MAX_PATH ? FindFirstFileA(Pattern, &found) : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char path[MAX_PATH];
        size_t nameLength = strlen(found.cFileName);
        FileIdentity file;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            folder + nameLength >= sizeof(path))
            continue;
        memcpy(path, Pattern, folder);
        memcpy(path + folder, found.cFileName, nameLength + 1);
        if (GetFileIdentity(path, &file)) NoteNamed(State, &file);
    } while (!State->OutOfMemory && FindNextFileA(search, &found));
    FindClose(search);
}

// The files other mailers, tossers and the plugin itself keep in the outbound: crashmail's
// index, ifcico's status and spool files, binkd's no-dupes status and file request exchange,
// the plugin's temporary files.
static bool IsOthersFileName(const char *Name) {
    if (_stricmp(Name, "cmindex") == 0) return true;
    const char *dot = strrchr(Name, '.');
    if (dot == nullptr) return false;
    static const char *const extensions[] = {".sts", ".spl", ".stc", ".srf", ".rsp", ".tmp"};
    for (const char *extension : extensions)
        if (_stricmp(dot, extension) == 0) return true;
    return false;
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

static void CheckFlowLines(CheckState *State, const char *FlowPath, const FtnAddress *Link) {
    LineReader reader;
    if (!OpenLineReader(&reader, FlowPath)) {
        // A FIFO or device in a flow file's place: the mailer would hang on it, or read garbage.
        HealthFinding *finding = nullptr;
        if (GetLastError() == ERROR_BAD_FILE_TYPE)
            finding = AddFinding(State, HealthNotAFile, FlowPath);
        if (finding) finding->Link = *Link;
        CloseLineReader(&reader);
        return;
    }
    char *line;
    size_t length;
    int number = 0;
    char *converted = nullptr; // this line's name in the file functions' code page
    while (!State->OutOfMemory && ReadLine(&reader, &line, &length) > 0) {
        ++number;
        free(converted);
        converted = nullptr;
        char *whole = static_cast<char *>(malloc(length + 1));
        if (whole == nullptr) {
            State->OutOfMemory = true;
            break;
        }
        memcpy(whole, line, length + 1);
        bool directive = line[0] == '^' || line[0] == '#';
        char *name = ParseFlowLine(line);
        // Looked up in the file functions' code page; a name that has no form there is none
        // the check can judge.
        if (name != nullptr) {
            size_t room = strlen(name) * 2 + 1;
            converted = static_cast<char *>(malloc(room));
            if (converted == nullptr) {
                State->OutOfMemory = true;
                free(whole);
                break;
            }
            if (!FlowNameToFileName(name, converted, room)) {
                free(whole);
                continue;
            }
            name = converted;
        }
        // A blank line is no entry; a directive with nothing behind it, or ".", is a bad one.
        bool blank = name != nullptr && strspn(name, " \t") == strlen(name);
        HealthProblem problem = HealthMissingFile;
        char *ownName = nullptr;
        FileIdentity file;
        if (name == nullptr || (blank && !directive)) {
            free(whole);
            continue;
        } else if (blank || strcmp(name, ".") == 0) {
            problem = HealthNotAName;
        } else if (!IsAbsoluteName(name)) {
            problem = HealthRelativeLine;
        } else if (strpbrk(name, "*?") != nullptr) {
            // A pattern line names what it matches.
            NotePattern(State, name);
            free(whole);
            continue;
        } else if (GetSpelledFileIdentity(name, &file, false)) {
            // Read or not by the panel, it is the file the line names.
            NoteNamed(State, &file);
            free(whole);
            continue;
        } else if (GetFileIdentity(name, &file)) {
            if (file.Regular) NoteNamed(State, &file);
            if (file.Regular && ExistsAsSpelled(name, &State->Spelled)) {
                free(whole);
                continue;
            }
            problem = file.Regular ? HealthWrongCase : HealthNotAFile;
            if (file.Regular) ownName = SpelledOnDisk(name);
            // Written back as an attach writes a name: the native path.
            if (ownName != nullptr) NativePath(ownName, ownName, strlen(ownName) + 1);
            if (file.Regular && ownName == nullptr) {
                free(whole);
                continue;
            }
        } else {
            // A name too long for the system to open reaches no file either.
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
                error != ERROR_FILENAME_EXCED_RANGE) {
                free(whole);
                continue;
            }
        }
        HealthFinding *finding = AddFinding(State, problem, FlowPath);
        if (!finding) {
            free(whole);
            free(ownName);
            break;
        }
        finding->Line = whole;
        finding->LineLength = length;
        finding->OwnName = ownName;
        finding->LineNumber = number;
        finding->Link = *Link;
    }
    free(converted);
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
    if (!RoomForOneMore(&List->Items, List->Count, &List->Capacity)) return false;
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
        if (IsOthersFileName(entry.cFileName)) return;
        bool nodeFile = IsNodeFileEntry(&entry, &kind, &flavor, &number) != 0;
        // What the mailer reads must be a file; a flow file was looked at with its lines, and
        // its identity tells nothing more.
        bool flowFile = nodeFile && kind == FlowFile;
        FileIdentity file = {};
        bool known = !flowFile && GetFileIdentity(path, &file) != 0;
        if (known && !file.Regular) {
            HealthFinding *finding = AddFinding(State, HealthNotAFile, path);
            if (finding && nodeFile) finding->Link = LinkOfFile(Folder, number);
            return;
        }
        if (nodeFile) {
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
                    if (known) finding->Seen = file; // else nothing matches it at the fix
                }
            }
            if (finding) finding->Link = LinkOfFile(Folder, number);
            return;
        }
        if (IsMailerFileEntry(&entry, nullptr) != NoMailerFile) return;
        bool named = known && IsNamed(&State->Named, &file);
        if (IsBundleName(entry.cFileName)) {
            if (named || !known) return;
            unsigned long long size = file.Size;
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
                finding->Seen = file;
            }
            return;
        }
        if (!named) AddFinding(State, HealthUnknownName, path);
    });
}

int CheckOutboundHealth(const char *Root, const FtnAddress *Own, unsigned OldEmptyDays,
                        unsigned long long Now, HealthReport *Report) {
    CheckState state = {Report, {nullptr, 0, 0}, false, {""}};
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
        qsort(state.Named.Files, static_cast<size_t>(state.Named.Count), sizeof(NamedFile),
              CompareNamed);
    for (int i = 0; i < folders.Count && !state.OutOfMemory; ++i)
        CheckFolderFiles(&state, &folders.Items[i], OldEmptyDays, Now);
    free(state.Named.Files);
    free(folders.Items);
    return state.OutOfMemory ? 0 : 1;
}

void FreeHealthReport(HealthReport *Report) {
    for (int i = 0; i < Report->Count; ++i) {
        free(Report->Findings[i].Line);
        free(Report->Findings[i].OwnName);
    }
    free(Report->Findings);
    memset(Report, 0, sizeof(*Report));
}

bool IsStillOrphan(const char *Root, const FtnAddress *Own, const HealthFinding *Finding) {
    HealthReport report = {nullptr, 0, 0};
    bool orphan = false;
    if (CheckOutboundHealth(Root, Own, 0, 0, &report))
        for (int i = 0; i < report.Count && !orphan; ++i)
            orphan = report.Findings[i].Problem == HealthOrphanBundle &&
                     SameFile(&report.Findings[i].Seen, &Finding->Seen);
    FreeHealthReport(&report);
    return orphan;
}
