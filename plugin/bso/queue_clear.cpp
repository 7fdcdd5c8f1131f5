#include "bso/queue_clear.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/helpers.h"

#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

static ClearStep *AddStep(ClearPlan *Plan, const char *Path, ClearFileRole Role, ClearAction Action,
                          unsigned long long Size, int Owner) {
    if (Plan->Count == Plan->Capacity) {
        int capacity = Plan->Capacity ? Plan->Capacity * 2 : 16;
        void *grown = realloc(Plan->Steps, sizeof(ClearStep) * static_cast<size_t>(capacity));
        if (!grown) return nullptr;
        Plan->Steps = static_cast<ClearStep *>(grown);
        Plan->Capacity = capacity;
    }
    ClearStep *step = &Plan->Steps[Plan->Count++];
    memset(step, 0, sizeof(*step));
    size_t length = strnlen(Path, sizeof(step->Path) - 1);
    memcpy(step->Path, Path, length);
    step->Role = Role;
    step->Action = Action;
    step->Size = Size;
    step->Owner = Owner;
    return step;
}

// The size of a plain file, false when it is missing or a directory (left for the delete to
// fail on, so that it is named).
static bool FileSize(const char *Path, unsigned long long *Size, bool *IsDirectory) {
    *Size = 0;
    *IsDirectory = false;
    // A name with wildcards would be searched as a pattern: it names no one file.
    if (strpbrk(Path, "*?") != nullptr) return false;
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(Path, &found)) return false;
    *IsDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    *Size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return true;
}

static const char *NamePart(const char *Path) {
    const char *name = Path;
    for (const char *p = Path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

int TicNamesFile(const char *TicPath, const char *File) {
    LineReader reader;
    bool found = false;
    int got = -1;
    if (OpenLineReader(&reader, TicPath)) {
        char *line;
        size_t length;
        while (!found && (got = ReadLine(&reader, &line, &length)) > 0) {
            TrimLineEnd(line);
            if (_strnicmp(line, "File", 4) != 0 || (line[4] != ' ' && line[4] != '\t')) continue;
            const char *name = line + 5;
            while (*name == ' ' || *name == '\t') ++name;
            found = _stricmp(NamePart(name), NamePart(File)) == 0;
        }
    }
    CloseLineReader(&reader);
    if (found) return 1;
    return got < 0 ? -1 : 0;
}

// The .tic files in the folder of a "^" file that name it.
static bool PlanTicFiles(ClearPlan *Plan, const char *File, int Owner) {
    char pattern[MAX_PATH];
    size_t folder = static_cast<size_t>(NamePart(File) - File);
    if (folder + 6 > sizeof(pattern)) return true;
    memcpy(pattern, File, folder);
    memcpy(pattern + folder, "*.tic", 6);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char tic[MAX_PATH];
        size_t nameLength = strlen(found.cFileName);
        if (folder + nameLength + 1 > sizeof(tic)) continue;
        memcpy(tic, File, folder);
        memcpy(tic + folder, found.cFileName, nameLength + 1);
        int names = TicNamesFile(tic, File);
        if (names == 0) continue;
        unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        // One that cannot be read may name the file: it stays, and is named as not handled.
        ClearStep *step =
            AddStep(Plan, tic, ClearTicFile, names > 0 ? ClearDelete : ClearLeave, size, Owner);
        ok = step != nullptr;
        if (step && names < 0) step->Error = ERROR_READ_FAULT;
    } while (ok && FindNextFileA(search, &found));
    FindClose(search);
    return ok;
}

// Whether a flow line names one of the link's own outbound files (BasePath with the extension
// of a flow file, a packet, the busy flag, the request, the .hld or the .try), in any case and
// however the path is written. Those are the link's files, handled as such: a "^" or "#" line
// must not delete or cut them (the busy flag least of all, which the clear holds).
static bool IsLinksOwnFile(const char *BasePath, const char *Name) {
    char base[MAX_PATH], name[MAX_PATH];
    if (!ComparablePath(BasePath, base) || !ComparablePath(Name, name)) return false;
    size_t length = strlen(base);
    if (strlen(name) != length + 4 || _strnicmp(name, base, length) != 0) return false;
    const char *extension = name + length;
    EntryKind kind;
    Flavor flavor;
    ClassifyOutboundFile(extension, &kind, &flavor);
    return kind != NoEntryKind || _stricmp(extension, ".hld") == 0 ||
           _stricmp(extension, ".try") == 0;
}

// One flow file of the link at BasePath and what its lines name.
static bool PlanFlowFile(ClearPlan *Plan, const char *BasePath, const char *FlowPath,
                         unsigned long long FlowSize, const ClearOptions *Options) {
    int owner = Plan->Count;
    if (!AddStep(Plan, FlowPath, ClearFlowFile, ClearDelete, FlowSize, -1)) return false;
    LineReader reader;
    bool read = OpenLineReader(&reader, FlowPath) != 0;
    char *line;
    size_t length;
    int got = 0;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        char directive = line[0];
        char *name = ParseFlowLine(line);
        if (name == nullptr || *name == 0 || strcmp(name, ".") == 0) continue;
        ClearAction action = ClearLeave;
        if (strpbrk(name, "*?") == nullptr && !IsLinksOwnFile(BasePath, name)) {
            if (directive == '^') action = Options->KeepCaretFiles ? ClearLeave : ClearDelete;
            if (directive == '#') action = ClearTruncate;
        }
        unsigned long long size;
        bool isDirectory;
        // A missing file needs nothing, whatever its line says; a pattern names no one file.
        if (!FileSize(name, &size, &isDirectory) && strpbrk(name, "*?") == nullptr)
            action = ClearGone;
        if (!AddStep(Plan, name, ClearQueuedFile, action, size, owner)) {
            CloseLineReader(&reader);
            return false;
        }
        if (action == ClearDelete && !PlanTicFiles(Plan, name, owner)) {
            CloseLineReader(&reader);
            return false;
        }
    }
    CloseLineReader(&reader);
    if (!read || got < 0) {
        // What it names is unknown: it is kept, and with it whatever it queues.
        Plan->Steps[owner].Action = ClearLeave;
        Plan->Steps[owner].Error = read ? ERROR_READ_FAULT : GetLastError();
        Plan->Incomplete = true;
    }
    return true;
}

int PlanQueueClear(const char *BasePath, const ClearOptions *Options, ClearPlan *Plan) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), BasePath, "", ".*")) return 1;
    size_t folder = static_cast<size_t>(NamePart(BasePath) - BasePath);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 1;
    // The flow files first, then the rest, whatever order the folder gives.
    struct LinkFile {
        char Path[MAX_PATH];
        ClearFileRole Role;
        unsigned long long Size;
    };
    LinkFile files[32];
    int fileCount = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
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
        else if (_stricmp(dot, ".hld") == 0 || _stricmp(dot, ".try") == 0)
            role = ClearLinkState;
        else
            continue; // the busy flag and anything else is not the queue's
        size_t nameLength = strlen(found.cFileName);
        if (folder + nameLength + 1 > MAX_PATH || fileCount == 32) continue;
        LinkFile &file = files[fileCount++];
        memcpy(file.Path, BasePath, folder);
        memcpy(file.Path + folder, found.cFileName, nameLength + 1);
        file.Role = role;
        file.Size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    bool netmailKept = false;
    static const ClearFileRole order[] = {ClearFlowFile, ClearNetmail, ClearRequest,
                                          ClearLinkState};
    for (ClearFileRole role : order) {
        for (int i = 0; i < fileCount; ++i) {
            if (files[i].Role != role) continue;
            if (role == ClearFlowFile) {
                if (!PlanFlowFile(Plan, BasePath, files[i].Path, files[i].Size, Options)) return 0;
                continue;
            }
            ClearAction action = ClearDelete;
            if (role == ClearNetmail && Options->KeepNetmail) action = ClearKeep;
            // The hold and the tries describe the queue: they stay with the packets kept.
            if (role == ClearNetmail) netmailKept = netmailKept || action == ClearKeep;
            if (role == ClearLinkState && netmailKept) action = ClearKeep;
            if (!AddStep(Plan, files[i].Path, role, action, files[i].Size, -1)) return 0;
        }
    }
    return 1;
}

// Cuts the file to 0 bytes; a file gone meanwhile needs nothing.
static bool TruncateFile(const char *Path, DWORD *Error) {
    HANDLE file = FileOps.Create(Path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *Error = GetLastError();
        // Only a file really gone needs nothing; the error alone may come from elsewhere.
        if (GetFileAttributesA(Path) != INVALID_FILE_ATTRIBUTES) return false;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            *Error = 0;
            return true;
        }
        return false;
    }
    bool done = FileOps.Truncate(file) != 0;
    if (!done) *Error = GetLastError();
    if (!FileOps.Close(file) && done) {
        done = false;
        *Error = GetLastError();
    }
    return done;
}

static bool DeleteStepFile(ClearStep *Step) {
    if (DeleteFileRetrying(Step->Path)) return true;
    Step->Error = GetLastError();
    if (Step->Error == 0) Step->Error = ERROR_ACCESS_DENIED;
    return false;
}

int ExecuteQueueClear(ClearPlan *Plan) {
    int failures = 0;
    bool queueLeft = false;
    for (int i = 0; i < Plan->Count; ++i) {
        ClearStep *step = &Plan->Steps[i];
        switch (step->Action) {
        case ClearDelete:
            if (step->Role == ClearFlowFile) {
                // Its files come right after it: they go first, and it only when all did.
                bool all = true;
                int j = i + 1;
                for (; j < Plan->Count && Plan->Steps[j].Owner == i; ++j) {
                    ClearStep *named = &Plan->Steps[j];
                    if (named->Action == ClearDelete)
                        named->Done = DeleteStepFile(named);
                    else if (named->Action == ClearTruncate)
                        named->Done = TruncateFile(named->Path, &named->Error);
                    else
                        named->Done = named->Error == 0;
                    if (!named->Done) {
                        ++failures;
                        // The .tic of a file that stays is only noise, not mail lost.
                        if (named->Role == ClearQueuedFile) all = false;
                    }
                }
                step->Done = all && DeleteStepFile(step);
                if (!step->Done) {
                    if (all) ++failures;
                    queueLeft = true;
                }
                i = j - 1;
                continue;
            }
            // The hold and the tries describe a queue: they stay with what is left of it.
            if (step->Role == ClearLinkState && queueLeft) continue;
            step->Done = DeleteStepFile(step);
            if (!step->Done) {
                ++failures;
                if (step->Role == ClearNetmail) queueLeft = true;
            }
            break;
        case ClearKeep:
            queueLeft = true;
            step->Done = true;
            break;
        case ClearLeave:
            if (step->Role == ClearFlowFile) {
                // A flow file that could not be read stays, and so do the files it queues.
                ++failures;
                queueLeft = true;
                for (; i + 1 < Plan->Count && Plan->Steps[i + 1].Owner == step - Plan->Steps; ++i)
                    ;
                continue;
            }
            step->Done = true;
            break;
        default:
            step->Done = true;
            break;
        }
    }
    return failures;
}

void SumQueueClear(const ClearPlan *Plan, int *Files, unsigned long long *Bytes) {
    *Files = 0;
    *Bytes = 0;
    for (int i = 0; i < Plan->Count; ++i) {
        const ClearStep &step = Plan->Steps[i];
        if (step.Action != ClearDelete && step.Action != ClearTruncate) continue;
        ++*Files;
        *Bytes += step.Size;
    }
}

void FreeClearPlan(ClearPlan *Plan) {
    free(Plan->Steps);
    memset(Plan, 0, sizeof(*Plan));
}
