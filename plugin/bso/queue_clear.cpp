#include "bso/queue_clear.h"

#include "bso/flow_file.h"
#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/grow_array.h"
#include "common/helpers.h"

#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

// What a .tic file is read for: its File and To lines lie near the top, and a file that is no
// .tic at all must not be read whole.
const unsigned long long TicReadLimit = 64 * 1024;

static char *CopyText(const char *Text, size_t Length) {
    char *copy = static_cast<char *>(malloc(Length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, Text, Length);
    copy[Length] = 0;
    return copy;
}

static ClearStep *AddStep(ClearPlan *Plan, const char *Path, ClearFileRole Role, ClearAction Action,
                          int Link, int Owner) {
    if (!RoomForOneMore(&Plan->Steps, Plan->Count, &Plan->Capacity)) return nullptr;
    char *path = CopyText(Path, strlen(Path));
    if (path == nullptr) return nullptr;
    ClearStep *step = &Plan->Steps[Plan->Count++];
    memset(step, 0, sizeof(*step));
    step->Path = path;
    step->Role = Role;
    step->Action = Action;
    step->Link = Link;
    step->Owner = Owner;
    return step;
}

// Whether the file at Path is gone, as the failed open (Error) said: asked once more by name,
// so that an open that failed for another reason is never taken for a file that needs nothing.
static bool IsMissing(DWORD Error, const char *Path) {
    if (Error != ERROR_FILE_NOT_FOUND && Error != ERROR_PATH_NOT_FOUND) return false;
    if (GetFileAttributesA(Path) != INVALID_FILE_ATTRIBUTES) return false;
    Error = GetLastError();
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
}

static const char *NamePart(const char *Path) {
    // From the end: only the name is walked byte by byte.
    const char *name = Path + strlen(Path);
    while (name > Path && name[-1] != '\\' && name[-1] != '/' && name[-1] != ':') --name;
    return name;
}

// The bytes a pattern line queues: every file it matches, as the Queued column counts them.
static unsigned long long PatternSize(const char *Pattern) {
    unsigned long long size = 0;
    if (strlen(Pattern) >= MAX_PATH) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            size +=
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return size;
}

namespace {

// The link's own files (every "<base>.*"), so that no line reaches them under another name.
struct OwnFiles {
    FileIdentity *Items;
    int Count;
    int Capacity;
};

} // namespace

static bool IsOwnFile(const OwnFiles *Own, const FileIdentity *File) {
    for (int i = 0; i < Own->Count; ++i)
        if (SameFile(&Own->Items[i], File)) return true;
    return false;
}

namespace {

// The queued files planned so far, by identity (or, for a name that reaches no file, by its
// text), so that a line finds its file's step without a walk over every step before it: a
// hash table of step numbers plus one (0: free), never more than half full.
struct PlannedFiles {
    int *Slots;
    size_t Size; // a power of two
    size_t Used;
};

} // namespace

static size_t PlannedHash(const char *Name, const FileIdentity *File, bool Known) {
    unsigned long long hash = 1469598103934665603ull;
    if (Known) {
        hash ^= File->Volume;
        hash = (hash ^ File->Index) * 1099511628211ull;
        hash ^= hash >> 29;
    } else {
        for (const char *c = Name; *c; ++c)
            hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
    }
    return static_cast<size_t>(hash ^ (hash >> 32));
}

static bool IsPlannedAs(const ClearStep &Step, const char *Name, const FileIdentity *File,
                        bool Known) {
    if (Step.Role != ClearQueuedFile || Step.Known != Known) return false;
    return Known ? SameFile(&Step.Seen, File) : strcmp(Step.Path, Name) == 0;
}

// The step of a file planned before (the same file, or for a name that reaches none the same
// text), or -1.
static int PlannedBefore(const ClearPlan *Plan, const PlannedFiles *Planned, const char *Name,
                         const FileIdentity *File, bool Known) {
    if (Planned->Size == 0) return -1;
    for (size_t slot = PlannedHash(Name, File, Known) & (Planned->Size - 1);
         Planned->Slots[slot] != 0; slot = (slot + 1) & (Planned->Size - 1)) {
        int step = Planned->Slots[slot] - 1;
        if (IsPlannedAs(Plan->Steps[step], Name, File, Known)) return step;
    }
    return -1;
}

static void PlaceStep(const ClearPlan *Plan, PlannedFiles *Planned, int Step) {
    const ClearStep &step = Plan->Steps[Step];
    size_t slot = PlannedHash(step.Path, &step.Seen, step.Known) & (Planned->Size - 1);
    while (Planned->Slots[slot] != 0) slot = (slot + 1) & (Planned->Size - 1);
    Planned->Slots[slot] = Step + 1;
    ++Planned->Used;
}

// Notes the queued file of step Step (the first step of that file: a later one would never be
// found). False when memory ran out.
static bool NotePlanned(const ClearPlan *Plan, PlannedFiles *Planned, int Step) {
    if ((Planned->Used + 1) * 2 > Planned->Size) {
        size_t size = Planned->Size ? Planned->Size * 2 : 256;
        int *slots = static_cast<int *>(calloc(size, sizeof(int)));
        if (slots == nullptr) return false;
        int *old = Planned->Slots;
        size_t oldSize = Planned->Size;
        *Planned = {slots, size, 0};
        for (size_t i = 0; i < oldSize; ++i)
            if (old[i] != 0) PlaceStep(Plan, Planned, old[i] - 1);
        free(old);
    }
    PlaceStep(Plan, Planned, Step);
    return true;
}

// Which step a line's file gets: the action its directive orders, or why it is left.
static bool PlanLine(ClearPlan *Plan, PlannedFiles *Planned, char Directive, const char *Name,
                     int Owner, const OwnFiles *Own, const ClearOptions *Options, bool *Relative) {
    int link = Plan->Steps[Owner].Link;
    if (!IsAbsoluteName(Name)) {
        // The mailer resolves it against its own current folder: no one else knows the file.
        *Relative = true;
        ClearStep *step = AddStep(Plan, Name, ClearQueuedFile, ClearLeave, link, Owner);
        if (step) step->Reason = ClearRelativeName;
        return step != nullptr;
    }
    if (strpbrk(Name, "*?") != nullptr) {
        // A pattern names no one file: its line goes, the files stay.
        ClearStep *step = AddStep(Plan, Name, ClearQueuedFile, ClearLeave, link, Owner);
        if (step) {
            step->Size = PatternSize(Name);
            step->Counted = true;
        }
        return step != nullptr;
    }
    FileIdentity file;
    // The usual answer, a readable file under exactly that name, in one look where it can be.
    bool spelled = GetSpelledFileIdentity(Name, &file, true) != 0;
    bool known = spelled || (strlen(Name) < MAX_PATH && GetFileIdentity(Name, &file));
    DWORD error = known ? 0 : strlen(Name) < MAX_PATH ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    bool gone = !known && error != ERROR_FILENAME_EXCED_RANGE && IsMissing(error, Name);
    // Names are exact where the mailer runs: a file only in another case is one it cannot open.
    if (known && !spelled && !ExistsAsSpelled(Name, &Plan->Spelled)) {
        known = false;
        gone = true;
    }
    ClearAction action = ClearLeave;
    if (Directive == '^') action = Options->KeepCaretFiles ? ClearLeave : ClearDelete;
    if (Directive == '#') action = ClearTruncate;
    int before = PlannedBefore(Plan, Planned, Name, &file, known);
    if (before >= 0) {
        // One file, one row: the strongest order of its lines, as the mailer would carry out
        // each line in turn.
        ClearStep &step = Plan->Steps[before];
        if (step.Reason == ClearNoReason && step.Action != ClearGone &&
            (action == ClearDelete || (action == ClearTruncate && step.Action == ClearLeave)))
            step.Action = action;
        return true;
    }
    ClearStep *step = AddStep(Plan, Name, ClearQueuedFile, gone ? ClearGone : action, link, Owner);
    if (step == nullptr) return false;
    step->Counted = true;
    step->Known = known;
    if (known) step->Seen = file;
    if (!NotePlanned(Plan, Planned, Plan->Count - 1)) return false;
    if (gone) return true;
    if (!known) {
        step->Action = ClearLeave;
        step->Reason = ClearCannotOpen;
        step->Error = error;
        return true;
    }
    step->Known = true;
    step->Seen = file;
    step->Size = file.Size;
    if (!file.Regular) {
        step->Action = ClearLeave;
        step->Reason = ClearNotAFile;
        step->Error = ERROR_BAD_FILE_TYPE;
    } else if (IsOwnFile(Own, &file)) {
        step->Action = ClearLeave;
        step->Reason = ClearLinksOwnFile;
    }
    return true;
}

// One flow file of the link and what its lines name.
static bool PlanFlowFile(ClearPlan *Plan, PlannedFiles *Planned, const char *FlowPath, int Link,
                         const OwnFiles *Own, const ClearOptions *Options) {
    int owner = Plan->Count;
    ClearStep *flow = AddStep(Plan, FlowPath, ClearFlowFile, ClearDelete, Link, -1);
    if (!flow) return false;
    bool known = flow->Known = GetFileIdentity(FlowPath, &flow->Seen) != 0;
    flow->Size = flow->Seen.Size;
    flow = nullptr; // the steps move as lines add theirs
    LineReader reader;
    bool read = known && OpenLineReader(&reader, FlowPath) != 0;
    DWORD error = read ? 0 : GetLastError();
    char *line;
    size_t length;
    int got = 0;
    bool relative = false;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        char directive = line[0];
        char *name = ParseFlowLine(line);
        if (name == nullptr || *name == 0 || strcmp(name, ".") == 0) continue;
        if (!PlanLine(Plan, Planned, directive, name, owner, Own, Options, &relative)) {
            CloseLineReader(&reader);
            return false;
        }
    }
    if (known) CloseLineReader(&reader);
    flow = &Plan->Steps[owner];
    if (!read || got < 0 || relative) {
        // What it names is unknown, or known only to the mailer: it is kept, and with it
        // whatever it queues.
        flow->Action = ClearLeave;
        flow->Reason = ClearFlowFileStays;
        if (!read || got < 0) {
            flow->Error = read ? ERROR_READ_FAULT : error;
            Plan->Incomplete = true;
        }
        for (int i = owner + 1; i < Plan->Count; ++i) {
            ClearStep &named = Plan->Steps[i];
            named.Counted = false;
            if (named.Action != ClearGone) named.Action = ClearLeave;
        }
    }
    return true;
}

int PlanQueueClear(const char *BasePath, int LinkIndex, const ClearOptions *Options,
                   ClearPlan *Plan) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), BasePath, "", ".*")) return 1;
    size_t folder = static_cast<size_t>(NamePart(BasePath) - BasePath);
    // The flow files first, then the rest, whatever order the folder gives.
    struct LinkFile {
        char Path[MAX_PATH];
        ClearFileRole Role;
    };
    LinkFile *files = nullptr;
    int fileCount = 0, fileCapacity = 0;
    OwnFiles own = {nullptr, 0, 0};
    bool ok = true;
    // The files the plan holds for the links before this one, the first step of each.
    PlannedFiles planned = {nullptr, 0, 0};
    for (int i = 0; ok && i < Plan->Count; ++i) {
        const ClearStep &step = Plan->Steps[i];
        if (step.Role == ClearQueuedFile &&
            PlannedBefore(Plan, &planned, step.Path, &step.Seen, step.Known) < 0)
            ok = NotePlanned(Plan, &planned, i);
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            char path[MAX_PATH];
            size_t nameLength = strlen(found.cFileName);
            if (folder + nameLength >= sizeof(path)) continue;
            memcpy(path, BasePath, folder);
            memcpy(path + folder, found.cFileName, nameLength + 1);
            if (!RoomForOneMore(&own.Items, own.Count, &own.Capacity)) {
                ok = false;
                break;
            }
            if (GetFileIdentity(path, &own.Items[own.Count])) ++own.Count;
            const char *dot = strchr(found.cFileName, '.');
            if (dot == nullptr || strlen(dot) != 4) continue;
            EntryKind kind;
            Flavor flavor;
            ClearFileRole role;
            if (ClassifyOutboundFile(dot, &kind, &flavor) && kind == FlowFile)
                role = ClearFlowFile;
            else if (kind == Netmail && flavor != NoFlavor)
                role = ClearNetmail;
            else if (kind == FileRequest)
                role = ClearRequest;
            else if (GoesWithQueue(ClassifyMailerFile(dot)))
                role = ClearLinkState;
            else
                continue; // the busy flag and anything else is not the queue's
            if (!RoomForOneMore(&files, fileCount, &fileCapacity)) {
                ok = false;
                break;
            }
            memcpy(files[fileCount].Path, path, sizeof(path));
            files[fileCount++].Role = role;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    bool netmailKept = false;
    static const ClearFileRole order[] = {ClearFlowFile, ClearNetmail, ClearRequest,
                                          ClearLinkState};
    for (ClearFileRole role : order) {
        for (int i = 0; ok && i < fileCount; ++i) {
            if (files[i].Role != role) continue;
            if (role == ClearFlowFile) {
                ok = PlanFlowFile(Plan, &planned, files[i].Path, LinkIndex, &own, Options);
                continue;
            }
            ClearAction action = ClearDelete;
            if (role == ClearNetmail && Options->KeepNetmail) action = ClearKeep;
            // The hold and the tries describe the queue: they stay with the packets kept.
            if (role == ClearNetmail) netmailKept = netmailKept || action == ClearKeep;
            if (role == ClearLinkState && netmailKept) action = ClearKeep;
            ClearStep *step = AddStep(Plan, files[i].Path, role, action, LinkIndex, -1);
            ok = step != nullptr;
            if (!step) break;
            step->Known = GetFileIdentity(step->Path, &step->Seen) != 0;
            step->Size = step->Seen.Size;
            // Packets and the request are the queue; the link's state files are not.
            step->Counted = action == ClearDelete && role != ClearLinkState;
        }
    }
    free(files);
    free(own.Items);
    free(planned.Slots);
    return ok ? 1 : 0;
}

// ---- Other links, .tic files -------------------------------------------------------------

namespace {

// A file the plan deletes or cuts, by identity, for the look-ups of the other links' names.
struct Target {
    DWORD Volume;
    unsigned long long Index;
    int Step;
};

struct Targets {
    Target *Items;
    int Count;
};

struct TicEntry {
    char *Path;
    char *Name; // its File line's name, without directory
    unsigned NameHash;
    FtnAddress To;
    bool HasTo;
    bool Used;
    bool Unreadable;
    DWORD Error;
    FileIdentity Seen;
};

struct TicFolder {
    char *Folder;
    TicEntry *Entries; // sorted by name
    int Count;
};

} // namespace

static int CompareTargets(const void *A, const void *B) {
    const Target *a = static_cast<const Target *>(A), *b = static_cast<const Target *>(B);
    if (a->Volume != b->Volume) return a->Volume < b->Volume ? -1 : 1;
    if (a->Index != b->Index) return a->Index < b->Index ? -1 : 1;
    return 0;
}

// Leaves every planned file that is the file the name reaches, for Other (or, with Reason
// ClearLinksOwnFile, as a file of a link of the command with a step of its own, or none).
static void LeaveForOther(ClearPlan *Plan, const Targets *Found, const FileIdentity *File,
                          const FtnAddress *Other, ClearReason Reason = ClearForOtherLink) {
    Target key = {File->Volume, File->Index, 0};
    const Target *hit = static_cast<const Target *>(bsearch(
        &key, Found->Items, static_cast<size_t>(Found->Count), sizeof(Target), CompareTargets));
    if (hit == nullptr) return;
    while (hit > Found->Items && CompareTargets(hit - 1, &key) == 0) --hit;
    for (; hit < Found->Items + Found->Count && CompareTargets(hit, &key) == 0; ++hit) {
        ClearStep &step = Plan->Steps[hit->Step];
        step.Action = ClearLeave;
        step.Reason = Reason;
        step.Other = *Other;
    }
}

static bool SameLink(const FtnAddress *A, const FtnAddress *B) {
    return A->zone == B->zone && A->net == B->net && A->node == B->node && A->point == B->point;
}

// Notes the flow file whose needs are unknown: the first one met.
static void NoteUnreadable(ClearPlan *Plan, const char *FlowPath, DWORD Error) {
    if (Plan->Unreadable != nullptr) return;
    Plan->Unreadable = CopyText(FlowPath, strlen(FlowPath));
    Plan->UnreadableError = Error ? Error : ERROR_READ_FAULT;
}

// The lines of another link's flow file: what they name stays.
static void CheckOtherFlowFile(ClearPlan *Plan, const Targets *Found, const char *FlowPath,
                               const FtnAddress *Other) {
    FileIdentity file;
    if (GetFileIdentity(FlowPath, &file)) LeaveForOther(Plan, Found, &file, Other);
    LineReader reader;
    int got = -1;
    if (OpenLineReader(&reader, FlowPath)) {
        char *line;
        size_t length;
        while ((got = ReadLine(&reader, &line, &length)) > 0) {
            char *name = ParseFlowLine(line);
            if (name == nullptr || !IsAbsoluteName(name) || strpbrk(name, "*?") != nullptr ||
                strlen(name) >= MAX_PATH)
                continue;
            if (GetFileIdentity(name, &file))
                LeaveForOther(Plan, Found, &file, Other);
            else if (!IsMissing(GetLastError(), name))
                NoteUnreadable(Plan, FlowPath, GetLastError());
        }
    }
    DWORD error = GetLastError();
    CloseLineReader(&reader);
    // Gone since the folder was listed: it needs nothing any more.
    if (got < 0 && !IsMissing(error, FlowPath)) NoteUnreadable(Plan, FlowPath, error);
}

// The flow files of one folder of the outbound (a zone's, or a point folder) for the links not
// cleared.
static void CheckOtherFolder(ClearPlan *Plan, const Targets *Found, const OutboundFolder &Folder,
                             const FtnAddress *Links, int Count) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), Folder.Path, "\\", "*")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        EntryKind kind;
        Flavor flavor;
        uint32_t number;
        char path[MAX_PATH];
        if (!JoinPath(path, sizeof(path), Folder.Path, "\\", found.cFileName)) continue;
        // Every file of a link, its flag and state files too: no line may delete or cut one.
        bool linkFile = IsNodeFileEntry(&found, &kind, &flavor, &number) != 0;
        if (!linkFile) {
            kind = NoEntryKind;
            linkFile = IsMailerFileEntry(&found, &number) != NoMailerFile;
        }
        if (!linkFile) continue;
        FtnAddress link = {Folder.Zone, 0, 0, 0};
        SplitNodeNumber(Folder.IsPointFolder ? Folder.Node : number, &link.net, &link.node);
        if (Folder.IsPointFolder) link.point = number;
        bool cleared = false;
        for (int i = 0; i < Count && !cleared; ++i) cleared = SameLink(&Links[i], &link);
        if (kind == FlowFile && !cleared) {
            CheckOtherFlowFile(Plan, Found, path, &link);
            continue;
        }
        FileIdentity file;
        if (GetFileIdentity(path, &file))
            LeaveForOther(Plan, Found, &file, &link,
                          cleared ? ClearLinksOwnFile : ClearForOtherLink);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Every folder the mailer looks into: the outbound for the own zone, the other zones' folders
// beside it, and their point folders.
static void CheckOtherLinks(ClearPlan *Plan, const Targets *Found, const char *Root,
                            const FtnAddress *Own, const FtnAddress *Links, int Count) {
    auto visit = [&](const OutboundFolder &Folder) {
        // A second folder of the own zone, or zone 0's, is no place the mailer looks.
        if (Folder.InRoot || (Folder.Zone != Own->zone && Folder.Zone != 0))
            CheckOtherFolder(Plan, Found, Folder, Links, Count);
        return true;
    };
    WalkOutbound(Root, Own->zone, true, visit);
}

int NamedByOtherLink(const char *Path, const char *Root, const FtnAddress *Own,
                     const FtnAddress *Link, FtnAddress *Other) {
    FileIdentity file;
    if (!GetFileIdentity(Path, &file)) return 0;
    ClearPlan plan;
    memset(&plan, 0, sizeof(plan));
    ClearStep *step = AddStep(&plan, Path, ClearQueuedFile, ClearDelete, 0, 0);
    if (step == nullptr) return -1;
    step->Known = true;
    step->Seen = file;
    Target target = {file.Volume, file.Index, 0};
    Targets found = {&target, 1};
    CheckOtherLinks(&plan, &found, Root, Own, Link, 1);
    int named = plan.Unreadable != nullptr ? -1 : plan.Steps[0].Action == ClearLeave ? 1 : 0;
    if (named == 1) *Other = plan.Steps[0].Other;
    FreeClearPlan(&plan);
    return named;
}

// ReadTicFile that also tells which file it read (Seen, when it could be opened).
static int ReadTic(const char *TicPath, char **File, FtnAddress *To, FileIdentity *Seen) {
    *File = nullptr;
    LineReader reader;
    bool hasTo = false;
    int got = -1;
    if (OpenLineReaderUpTo(&reader, TicPath, TicReadLimit)) {
        BY_HANDLE_FILE_INFORMATION info;
        if (Seen != nullptr && DescribeOpenedFile(reader.File, &info)) {
            TakeFileIdentity(info, Seen);
            Seen->Regular = true;
            // The bytes of the file so described, and no look past them for an end it has
            // already told (one read of a small file rather than two).
            if (Seen->Size < reader.Left) reader.Left = Seen->Size;
        }
        char *line;
        size_t length;
        while ((*File == nullptr || !hasTo) && (got = ReadLine(&reader, &line, &length)) > 0) {
            TrimLineEnd(line);
            bool isFile = _strnicmp(line, "File", 4) == 0;
            bool isTo = _strnicmp(line, "To", 2) == 0;
            size_t key = isFile ? 4 : 2;
            if ((!isFile && !isTo) || (line[key] != ' ' && line[key] != '\t')) continue;
            char *value = line + key;
            while (*value == ' ' || *value == '\t') ++value;
            if (isFile && *File == nullptr) {
                const char *name = NamePart(value);
                *File = CopyText(name, strlen(name));
                if (*File == nullptr) got = -1;
            } else if (isTo && !hasTo) {
                // "To 2:5020/1000@fidonet", with the sysop's name before or after at times: the
                // first word that reads as an address.
                for (char *word = strtok(value, " \t,"); word && !hasTo;
                     word = strtok(nullptr, " \t,")) {
                    char *domain = strchr(word, '@');
                    if (domain) *domain = 0;
                    hasTo = strchr(word, ':') != nullptr && ParseAddress(To, word, nullptr);
                }
            }
        }
    }
    CloseLineReader(&reader);
    if (*File != nullptr && hasTo) return 1;
    free(*File);
    *File = nullptr;
    return got < 0 ? -1 : 0;
}

int ReadTicFile(const char *TicPath, char **File, FtnAddress *To) {
    return ReadTic(TicPath, File, To, nullptr);
}

// A hash of the name that names equal but for case share: only ASCII letters are folded,
// and other bytes of the high half, which a code page may fold too, are left out.
static unsigned HashTicName(const char *Name) {
    unsigned hash = 2166136261u;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(Name); *p; ++p) {
        if (*p >= 0x80) continue;
        unsigned char c = *p >= 'A' && *p <= 'Z' ? static_cast<unsigned char>(*p + 32) : *p;
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

// The unreadable ones, which have no name, first; then by the name's hash, and by the name
// where hashes meet: equal names lie together, the only order the look-ups need.
static int CompareTicNames(const void *A, const void *B) {
    const TicEntry *a = static_cast<const TicEntry *>(A), *b = static_cast<const TicEntry *>(B);
    if (a->Name == nullptr || b->Name == nullptr)
        return (a->Name != nullptr) - (b->Name != nullptr);
    if (a->NameHash != b->NameHash) return a->NameHash < b->NameHash ? -1 : 1;
    return _stricmp(a->Name, b->Name);
}

// The .tic files of a folder that name a file and a link, read once.
static bool IndexTicFolder(TicFolder *Index, const char *Folder) {
    memset(Index, 0, sizeof(*Index));
    Index->Folder = CopyText(Folder, strlen(Folder));
    if (!Index->Folder) return false;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), Folder, "", "*.tic")) return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    int capacity = 0;
    bool ok = true;
    do {
        char path[MAX_PATH];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !JoinPath(path, sizeof(path), Folder, "", found.cFileName))
            continue;
        TicEntry entry;
        memset(&entry, 0, sizeof(entry));
        int read = ReadTic(path, &entry.Name, &entry.To, &entry.Seen);
        if (read < 0 && IsMissing(GetLastError(), path)) read = 0;
        if (read == 0) continue;
        if (entry.Name != nullptr) entry.NameHash = HashTicName(entry.Name);
        // One that cannot be read may be for the link: it stays, and is named.
        entry.Unreadable = read < 0;
        if (entry.Unreadable) entry.Error = GetLastError() ? GetLastError() : ERROR_READ_FAULT;
        entry.Path = CopyText(path, strlen(path));
        ok = RoomForOneMore(&Index->Entries, Index->Count, &capacity);
        if (!ok || !entry.Path) {
            free(entry.Name);
            free(entry.Path);
            ok = false;
            break;
        }
        Index->Entries[Index->Count++] = entry;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (Index->Count > 1)
        qsort(Index->Entries, static_cast<size_t>(Index->Count), sizeof(TicEntry), CompareTicNames);
    return ok;
}

// The .tic files for the link that name the deleted file at step Step.
static bool PlanTicFiles(ClearPlan *Plan, int Step, TicFolder *Index, const FtnAddress *Link) {
    // The unreadable ones are named once, with the first file of their folder that goes.
    for (int i = 0; i < Index->Count && Index->Entries[i].Unreadable; ++i) {
        if (Index->Entries[i].Used) continue;
        Index->Entries[i].Used = true;
        ClearStep *step = AddStep(Plan, Index->Entries[i].Path, ClearTicFile, ClearLeave,
                                  Plan->Steps[Step].Link, Step);
        if (!step) return false;
        step->Reason = ClearCannotOpen;
        step->Error = Index->Entries[i].Error;
    }
    if (Index->Count == 0) return true;
    TicEntry key;
    key.Name = const_cast<char *>(NamePart(Plan->Steps[Step].Path));
    key.NameHash = HashTicName(key.Name);
    TicEntry *hit =
        static_cast<TicEntry *>(bsearch(&key, Index->Entries, static_cast<size_t>(Index->Count),
                                        sizeof(TicEntry), CompareTicNames));
    if (hit == nullptr) return true;
    while (hit > Index->Entries && CompareTicNames(hit - 1, &key) == 0) --hit;
    for (; hit < Index->Entries + Index->Count && CompareTicNames(hit, &key) == 0; ++hit) {
        if (hit->Used || !SameLink(&hit->To, Link)) continue;
        hit->Used = true;
        ClearStep *step =
            AddStep(Plan, hit->Path, ClearTicFile, ClearDelete, Plan->Steps[Step].Link, Step);
        if (!step) return false;
        step->Known = true;
        step->Seen = hit->Seen;
        step->Size = hit->Seen.Size;
    }
    return true;
}

static void FreeTicFolders(TicFolder *Folders, int Count) {
    for (int i = 0; i < Count; ++i) {
        for (int e = 0; e < Folders[i].Count; ++e) {
            free(Folders[i].Entries[e].Path);
            free(Folders[i].Entries[e].Name);
        }
        free(Folders[i].Entries);
        free(Folders[i].Folder);
    }
    free(Folders);
}

int FinishQueueClearPlan(ClearPlan *Plan, const char *Root, const FtnAddress *Own,
                         const FtnAddress *Links, int Count) {
    Targets found = {static_cast<Target *>(malloc(sizeof(Target) * (Plan->Count + 1))), 0};
    if (found.Items == nullptr) return 0;
    for (int i = 0; i < Plan->Count; ++i) {
        const ClearStep &step = Plan->Steps[i];
        if (step.Role == ClearQueuedFile && step.Known &&
            (step.Action == ClearDelete || step.Action == ClearTruncate))
            found.Items[found.Count++] = {step.Seen.Volume, step.Seen.Index, i};
    }
    if (found.Count > 0) {
        qsort(found.Items, static_cast<size_t>(found.Count), sizeof(Target), CompareTargets);
        CheckOtherLinks(Plan, &found, Root, Own, Links, Count);
    }
    free(found.Items);
    if (Plan->Unreadable != nullptr) return 0;

    TicFolder *folders = nullptr;
    int folderCount = 0, folderCapacity = 0;
    bool ok = true;
    int planned = Plan->Count;
    for (int i = 0; ok && i < planned; ++i) {
        if (Plan->Steps[i].Role != ClearQueuedFile || Plan->Steps[i].Action != ClearDelete)
            continue;
        size_t folderLength =
            static_cast<size_t>(NamePart(Plan->Steps[i].Path) - Plan->Steps[i].Path);
        char folder[MAX_PATH];
        if (folderLength >= sizeof(folder)) continue;
        memcpy(folder, Plan->Steps[i].Path, folderLength);
        folder[folderLength] = 0;
        int at = folderCount;
        for (int f = 0; f < folderCount; ++f)
            if (strcmp(folders[f].Folder, folder) == 0) at = f;
        if (at == folderCount) {
            if (!RoomForOneMore(&folders, folderCount, &folderCapacity, 8)) {
                ok = false;
                break;
            }
            ok = IndexTicFolder(&folders[folderCount++], folder);
        }
        if (ok) ok = PlanTicFiles(Plan, i, &folders[at], &Links[Plan->Steps[i].Link]);
    }
    FreeTicFolders(folders, folderCount);
    return ok ? 1 : 0;
}

// ---- Carrying it out -----------------------------------------------------------------------

// Cuts the file to 0 bytes when it is still the file planned; a file gone meanwhile needs
// nothing.
static bool TruncateFile(ClearStep *Step) {
    HANDLE file = FileOps.Create(Step->Path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Step->Error = GetLastError();
        // Only a file really gone needs nothing; the error alone may come from elsewhere.
        if (GetFileAttributesA(Step->Path) != INVALID_FILE_ATTRIBUTES) return false;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            Step->Error = 0;
            return true;
        }
        return false;
    }
    // The handle holds the file now: what it is cannot change between the look and the cut.
    BY_HANDLE_FILE_INFORMATION info;
    bool same = GetFileInformationByHandle(file, &info) != 0 &&
                info.dwVolumeSerialNumber == Step->Seen.Volume &&
                ((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                 info.nFileIndexLow) == Step->Seen.Index &&
                ((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) ==
                    Step->Seen.Size &&
                ((static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                 info.ftLastWriteTime.dwLowDateTime) == Step->Seen.WriteTime;
    bool done = same && FileOps.Truncate(file) != 0;
    if (!same)
        Step->Error = ERROR_BUSY;
    else if (!done)
        Step->Error = GetLastError();
    if (!FileOps.Close(file) && done) {
        done = false;
        Step->Error = GetLastError();
    }
    return done;
}

static bool DeleteStepFile(ClearStep *Step) {
    if (Step->Known && !FileUnchanged(Step->Path, &Step->Seen)) {
        // Changed since the preview, or gone: a file gone needs nothing, a changed one stays.
        if (GetFileAttributesA(Step->Path) == INVALID_FILE_ATTRIBUTES) return true;
        Step->Error = ERROR_BUSY;
        return false;
    }
    if (DeleteFileRetrying(Step->Path) == WriteDone) return true;
    Step->Error = GetLastError();
    if (Step->Error == 0) Step->Error = ERROR_ACCESS_DENIED;
    return false;
}

int ExecuteQueueClear(ClearPlan *Plan) {
    int failures = 0;
    int links = 0;
    for (int i = 0; i < Plan->Count; ++i)
        if (Plan->Steps[i].Link + 1 > links) links = Plan->Steps[i].Link + 1;
    // Per step: a flow file one of whose files was not handled. Per link: a queue is left.
    bool *blocked = static_cast<bool *>(calloc(static_cast<size_t>(Plan->Count) + 1, 1));
    bool *queueLeft = static_cast<bool *>(calloc(static_cast<size_t>(links) + 1, 1));
    if (!blocked || !queueLeft) {
        free(blocked);
        free(queueLeft);
        return Plan->Count;
    }
    // The files the lines name, then the .tic files of those deleted, then the flow files.
    for (int i = 0; i < Plan->Count; ++i) {
        ClearStep *step = &Plan->Steps[i];
        if (step->Role != ClearQueuedFile) continue;
        if (Plan->Steps[step->Owner].Action != ClearDelete) {
            step->Done = step->Error == 0; // its flow file stays whole: nothing to do
        } else if (step->Action == ClearDelete) {
            step->Done = DeleteStepFile(step);
        } else if (step->Action == ClearTruncate) {
            step->Done = TruncateFile(step);
        } else {
            step->Done = step->Error == 0;
        }
        if (!step->Done) {
            ++failures;
            blocked[step->Owner] = true;
        }
    }
    for (int i = 0; i < Plan->Count; ++i) {
        ClearStep *step = &Plan->Steps[i];
        if (step->Role != ClearTicFile) continue;
        const ClearStep &file = Plan->Steps[step->Owner];
        // A .tic of a file that stays describes a file still there.
        if (step->Action != ClearDelete || !file.Done || file.Action != ClearDelete ||
            Plan->Steps[file.Owner].Action != ClearDelete)
            continue;
        step->Done = DeleteStepFile(step);
        if (!step->Done) ++failures;
    }
    for (int i = 0; i < Plan->Count; ++i) {
        ClearStep *step = &Plan->Steps[i];
        switch (step->Role) {
        case ClearQueuedFile:
        case ClearTicFile:
            break;
        case ClearFlowFile:
            if (step->Action != ClearDelete) {
                // Kept whole (the preview said why), with what it queues.
                queueLeft[step->Link] = true;
                if (step->Error) ++failures;
                break;
            }
            if (blocked[i]) {
                queueLeft[step->Link] = true;
                break;
            }
            // A line appended since the preview keeps the file.
            step->Done = DeleteStepFile(step);
            if (!step->Done) {
                ++failures;
                queueLeft[step->Link] = true;
            }
            break;
        default:
            if (step->Action == ClearKeep) {
                queueLeft[step->Link] = true;
                step->Done = true;
                break;
            }
            // The hold and the tries describe a queue: they stay with what is left of it.
            if (step->Action != ClearDelete ||
                (step->Role == ClearLinkState && queueLeft[step->Link])) {
                step->Done = true;
                break;
            }
            step->Done = DeleteStepFile(step);
            if (!step->Done) {
                ++failures;
                if (step->Role == ClearNetmail) queueLeft[step->Link] = true;
            }
            break;
        }
    }
    free(blocked);
    free(queueLeft);
    return failures;
}

void SumQueueClear(const ClearPlan *Plan, int *Files, unsigned long long *Bytes) {
    *Files = 0;
    *Bytes = 0;
    for (int i = 0; i < Plan->Count; ++i) {
        const ClearStep &step = Plan->Steps[i];
        if (!step.Counted) continue;
        if (step.Action != ClearGone) ++*Files;
        *Bytes += step.Size;
    }
}

void FreeClearPlan(ClearPlan *Plan) {
    for (int i = 0; i < Plan->Count; ++i) free(Plan->Steps[i].Path);
    free(Plan->Steps);
    free(Plan->Unreadable);
    memset(Plan, 0, sizeof(*Plan));
}
