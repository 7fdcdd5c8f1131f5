#include "bso/flow_file.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/helpers.h"

char *ParseFlowLine(char *Line) {
    return FlowLineName(TrimLineEnd(Line));
}

char *FlowLineName(char *Line) {
    if (Line[0] == '#' || Line[0] == '^') return Line + 1;
    if (Line[0] == '~') return nullptr;
    return Line;
}

bool IsAbsoluteName(const char *Name) {
    bool drive = ((Name[0] >= 'A' && Name[0] <= 'Z') || (Name[0] >= 'a' && Name[0] <= 'z')) &&
                 Name[1] == ':' && (Name[2] == '\\' || Name[2] == '/');
#ifdef _WIN32
    return drive || ((Name[0] == '\\' || Name[0] == '/') && (Name[1] == '\\' || Name[1] == '/'));
#else
    return drive || Name[0] == '/';
#endif
}

char *ReplaceExtension(char *Name, const char *Extension) {
    size_t length = strlen(Name);
    if (length == 0) return Name;
    for (size_t position = length; position-- > 0;) {
        char c = Name[position];
        if (c == '.') {
            strcpy(Name + position, Extension);
            return Name;
        }
        if (c == '\\' || c == '/' || c == ':') break;
    }
    strcpy(Name + length, Extension);
    return Name;
}

bool LineNamesAFile(const char *Line, size_t Length) {
    if (Length == 0 || Line[0] == '~') return false;
    size_t skip = Line[0] == '#' || Line[0] == '^' ? 1 : 0;
    for (size_t i = skip; i < Length; ++i)
        if (Line[i] != ' ' && Line[i] != '\t' && Line[i] != '\r') return true;
    return false;
}

void FreeTakenLines(TakenLines *Taken) {
    free(Taken->Bytes);
    Taken->Bytes = nullptr;
    Taken->Length = 0;
    Taken->Count = 0;
}

bool NextTakenLine(const TakenLines *Taken, size_t *Offset, const char **Line, size_t *Length) {
    if (Taken->Bytes == nullptr || *Offset >= Taken->Length) return false;
    const char *start = Taken->Bytes + *Offset;
    // A line holds no LF, so its end is the first CR LF from its start on.
    const char *end = start;
    while (!(end[0] == '\r' && end[1] == '\n')) ++end;
    *Line = start;
    *Length = static_cast<size_t>(end - start);
    *Offset += *Length + 2;
    return true;
}

// Appends the line and CR LF to the list.
static bool AddTakenLine(TakenLines *Taken, size_t *Capacity, const char *Line, size_t Length) {
    size_t needed = Taken->Length + Length + 2;
    if (needed > *Capacity) {
        size_t grown = *Capacity != 0 ? *Capacity : 256;
        while (grown < needed) grown *= 2;
        char *bytes = static_cast<char *>(realloc(Taken->Bytes, grown));
        if (bytes == nullptr) return false;
        Taken->Bytes = bytes;
        *Capacity = grown;
    }
    memcpy(Taken->Bytes + Taken->Length, Line, Length);
    memcpy(Taken->Bytes + Taken->Length + Length, "\r\n", 2);
    Taken->Length = needed;
    ++Taken->Count;
    return true;
}

static bool HoldsLine(const TakenLines *List, const char *Line, size_t Length) {
    size_t offset = 0;
    const char *held;
    size_t heldLength;
    while (NextTakenLine(List, &offset, &held, &heldLength))
        if (heldLength == Length && memcmp(held, Line, Length) == 0) return true;
    return false;
}

// The name a line gives, behind its directive and up to a NUL byte (the listing names the row
// so); null for a "~" line.
static const char *LineName(const char *Line, size_t Length, size_t *NameLength) {
    if (Length > 0 && Line[0] == '~') return nullptr;
    size_t skip = Length > 0 && (Line[0] == '#' || Line[0] == '^') ? 1 : 0;
    const char *name = Line + skip;
    const char *nul = static_cast<const char *>(memchr(name, '\0', Length - skip));
    *NameLength = nul != nullptr ? static_cast<size_t>(nul - name) : Length - skip;
    return name;
}

static size_t TrimmedNameLength(const char *Name, size_t Length) {
    while (Length > 0 && IsLineEndCharacter(Name[Length - 1])) --Length;
    return Length;
}

#ifdef _WIN32
static char FoldCase(char C) {
    if (C >= 'a' && C <= 'z') return static_cast<char>(C - 'a' + 'A');
    return C == '/' ? '\\' : C;
}
#endif

// Whether the name (length bytes) is the path as the file system compares names: without
// regard to case on Windows; on Linux the name in its native form, the row's, exactly.
bool SameOutboundFileName(const char *Name, size_t Length, const char *Path, size_t PathLength) {
#ifdef _WIN32
    if (Length != PathLength) return false;
    for (size_t i = 0; i < Length; ++i)
        if (FoldCase(Name[i]) != FoldCase(Path[i])) return false;
    return true;
#else
    if (Length >= MAX_PATH) return false;
    char copy[MAX_PATH], native[MAX_PATH];
    memcpy(copy, Name, Length);
    copy[Length] = '\0';
    if (!NativePath(copy, native, sizeof native))
        return Length == PathLength && memcmp(Name, Path, Length) == 0;
    return strlen(native) == PathLength && memcmp(native, Path, PathLength) == 0;
#endif
}

namespace {

// How closely a line names the item: equal as it stands, equal once its trailing blanks are
// stripped (as the listing reads it), or not at all.
enum LiteralMatch { NotNamed = 0, NamedTrimmed = 1, NamedExactly = 2 };

struct RemovalState {
    const char *FileName;
    size_t FileNameLength;
    FileNameMatcher Match;
    // What to take: the lines that name the item at least this closely, or with Chosen set the
    // lines whose bytes are among Chosen's.
    int Closeness;
    const TakenLines *Chosen;
    TakenLines *Taken;
    size_t TakenCapacity;
    bool KeptAFile;
};

} // namespace

static int Closeness(const char *Line, size_t Length, const char *FileName, size_t FileNameLength,
                     FileNameMatcher Match) {
    size_t nameLength;
    const char *name = LineName(Line, Length, &nameLength);
    if (name == nullptr) return NotNamed;
    if (Match(name, nameLength, FileName, FileNameLength)) return NamedExactly;
    size_t trimmed = TrimmedNameLength(name, nameLength);
    if (trimmed != nameLength && Match(name, trimmed, FileName, FileNameLength))
        return NamedTrimmed;
    return NotNamed;
}

static bool HasWildcards(const char *Name) {
    return strpbrk(Name, "*?") != nullptr;
}

static bool IsDotEntry(const char *Name) {
    return strcmp(Name, ".") == 0 || strcmp(Name, "..") == 0;
}

// Whether the listing makes the item's row from this name: its first match other than "." and
// "..", behind the name's directory part in upper case.
static bool ListedAs(const char *Name, size_t Length, const char *FileName) {
    Length = TrimmedNameLength(Name, Length);
    if (Length == 0 || Length >= MAX_PATH) return false;
    char written[MAX_PATH];
    memcpy(written, Name, Length);
    written[Length] = '\0';
    // Looked up, and compared with the row, in the file functions' code page.
    char copy[MAX_PATH];
    if (!FlowNameToFileName(written, copy, sizeof(copy))) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(copy, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    if (HasWildcards(copy) && IsDotEntry(found.cFileName)) {
        WIN32_FIND_DATAA next;
        while (FindNextFileA(search, &next))
            if (!IsDotEntry(next.cFileName)) {
                found = next;
                break;
            }
    }
    FindClose(search);
    DirectoryPart(copy);
    ShownDirectory(copy);
    size_t directoryLength = strlen(copy);
    if (strncmp(copy, FileName, directoryLength) != 0) return false;
    return strcmp(FileName + directoryLength, found.cFileName) == 0;
}

static int FilterFlowLine(char *Line, size_t *Length, void *Context) {
    RemovalState *state = static_cast<RemovalState *>(Context);
    bool take = state->Chosen != nullptr
                    ? HoldsLine(state->Chosen, Line, *Length)
                    : Closeness(Line, *Length, state->FileName, state->FileNameLength,
                                state->Match) >= state->Closeness;
    if (!take) {
        // Copied as it stands: its blanks and any byte behind a NUL are part of it.
        if (LineNamesAFile(Line, *Length)) state->KeptAFile = true;
        return 1;
    }
    return AddTakenLine(state->Taken, &state->TakenCapacity, Line, *Length) ? 0 : -1;
}

// The flow file's path under the name it has on disk: the mailer may have written it in
// another case than the one asked for.
static bool NameOnDisk(const char *FlowPath, char *Path) {
    size_t pathLength = strnlen(FlowPath, MAX_PATH);
    if (pathLength == MAX_PATH) return false;
    memcpy(Path, FlowPath, pathLength + 1);
    WIN32_FIND_DATAA found;
    if (FindFirstEntry(FlowPath, &found)) {
        DirectoryPart(Path);
        size_t directoryLength = strlen(Path);
        size_t nameLength = strnlen(found.cFileName, MAX_PATH);
        if (directoryLength + nameLength >= MAX_PATH) return false;
        memcpy(Path + directoryLength, found.cFileName, nameLength);
        Path[directoryLength + nameLength] = '\0';
    }
    return true;
}

// The closest any line of the file names the item; -1 when the file cannot be read.
static int ClosestLine(const char *Path, const char *FileName, size_t FileNameLength,
                       FileNameMatcher Match) {
    LineReader reader;
    int closest = NotNamed;
    bool read = OpenLineReader(&reader, Path) != 0;
    char *line;
    size_t length;
    int got = 0;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        int closeness = Closeness(line, length, FileName, FileNameLength, Match);
        if (closeness > closest) closest = closeness;
    }
    CloseLineReader(&reader);
    return read && got == 0 ? closest : -1;
}

// The lines the listing made the item's row from, though none names it as it stands: a name in
// another case that the file system found, taken as it is, and pattern lines, each taken when
// ask says so (once per distinct line). False when the file cannot be read.
static bool ChooseListedLines(const char *Path, const char *FileName, PatternLineQuestion Ask,
                              void *AskContext, TakenLines *Chosen) {
    TakenLines declined = {nullptr, 0, 0};
    size_t chosenCapacity = 0, declinedCapacity = 0;
    LineReader reader;
    bool read = OpenLineReader(&reader, Path) != 0;
    char *line;
    size_t length;
    int got = 0;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        size_t nameLength;
        const char *name = LineName(line, length, &nameLength);
        if (name == nullptr || HoldsLine(Chosen, line, length) ||
            HoldsLine(&declined, line, length) || !ListedAs(name, nameLength, FileName))
            continue;
        char copy[MAX_PATH];
        size_t trimmed = TrimmedNameLength(name, nameLength);
        memcpy(copy, name, trimmed);
        copy[trimmed] = '\0';
        bool pattern = HasWildcards(copy);
        bool take = !pattern || (Ask != nullptr && Ask(line, length, AskContext));
        if (!AddTakenLine(take ? Chosen : &declined, take ? &chosenCapacity : &declinedCapacity,
                          line, length)) {
            read = false;
            break;
        }
    }
    CloseLineReader(&reader);
    FreeTakenLines(&declined);
    return read && got == 0;
}

int PrepareFlowLineRemoval(const char *FlowPath, const PluginPanelItem *Item, FileNameMatcher Match,
                           PatternLineQuestion Ask, void *AskContext, TakenLines *Taken,
                           PendingFlowRewrite *Pending) {
    *Taken = {nullptr, 0, 0};
    if (Item == nullptr) return 0;
    if (strpbrk(FlowPath, "*?") != nullptr) return 0;
    if (!NameOnDisk(FlowPath, Pending->Path)) return 0;
    char temporaryPath[MAX_PATH + 4];
    memcpy(temporaryPath, Pending->Path, strlen(Pending->Path) + 1);
    ReplaceExtension(temporaryPath, ".TMP");
    if (strlen(temporaryPath) >= MAX_PATH) return 0;

    char fileName[MAX_PATH + 1];
    size_t fileNameLength = strnlen(Item->FindData.cFileName, MAX_PATH);
    memcpy(fileName, Item->FindData.cFileName, fileNameLength);
    fileName[fileNameLength] = '\0';
    if (fileNameLength == 0) return 0;
    // Lines are compared as the flow file holds them, in its code page.
    char flowName[MAX_PATH + 1];
    if (!FileNameToFlowName(fileName, flowName, sizeof(flowName))) return 0;
    size_t flowNameLength = strlen(flowName);

    RemovalState state = {flowName, flowNameLength, Match, NotNamed, nullptr, Taken, 0, false};
    TakenLines chosen = {nullptr, 0, 0};
    state.Closeness = ClosestLine(Pending->Path, flowName, flowNameLength, Match);
    if (state.Closeness < 0) return 0;
    if (state.Closeness == NotNamed) {
        if (!ChooseListedLines(Pending->Path, fileName, Ask, AskContext, &chosen) ||
            chosen.Count == 0) {
            FreeTakenLines(&chosen);
            return 0;
        }
        state.Chosen = &chosen;
    }
    bool written =
        WriteRewrittenCopy(Pending->Path, temporaryPath, FilterFlowLine, &state) == WriteDone;
    FreeTakenLines(&chosen);
    if (written) memcpy(Pending->TemporaryPath, temporaryPath, strlen(temporaryPath) + 1);
    if (!written || Taken->Count == 0) {
        if (written) DiscardCopy(Pending->TemporaryPath);
        FreeTakenLines(Taken);
        return 0;
    }
    Pending->Empties = !state.KeptAFile;
    return 1;
}

WriteOutcome CommitFlowRewrite(const PendingFlowRewrite *Pending) {
    if (!Pending->Empties) return ReplaceWithCopy(Pending->TemporaryPath, Pending->Path);
    WriteOutcome deleted = DeleteFileRetrying(Pending->Path);
    DiscardCopy(Pending->TemporaryPath);
    return deleted;
}

void DiscardFlowRewrite(const PendingFlowRewrite *Pending) {
    DiscardCopy(Pending->TemporaryPath);
}

int RemoveFlowLines(const char *FlowPath, const PluginPanelItem *Item, FileNameMatcher Match,
                    PatternLineQuestion Ask, void *AskContext) {
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(FlowPath, Item, Match, Ask, AskContext, &taken, &pending)) return 0;
    FreeTakenLines(&taken);
    return CommitFlowRewrite(&pending) == WriteDone ? 1 : 0;
}

int RemoveFlowLineTo(const char *FlowPath, const PluginPanelItem *Item, char *RemovedLine,
                     size_t RemovedLineSize, size_t *WholeLength) {
    if (WholeLength != nullptr) *WholeLength = 0;
    if (RemovedLineSize == 0) return 0;
    RemovedLine[0] = '\0';
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(FlowPath, Item, SameOutboundFileName, nullptr, nullptr, &taken,
                                &pending))
        return 0;
    const char *line = nullptr;
    size_t length = 0;
    for (size_t offset = 0; NextTakenLine(&taken, &offset, &line, &length);) {
    }
    bool committed = CommitFlowRewrite(&pending) == WriteDone;
    if (committed) {
        size_t copied = length < RemovedLineSize ? length : RemovedLineSize - 1;
        memcpy(RemovedLine, line, copied);
        RemovedLine[copied] = '\0';
        if (WholeLength != nullptr) *WholeLength = length;
    }
    FreeTakenLines(&taken);
    return committed;
}

int RemoveFlowLine(const char *FlowPath, const PluginPanelItem *Item, char *RemovedLine) {
    return RemoveFlowLineTo(FlowPath, Item, RemovedLine, RemovedLineSize, nullptr);
}

namespace {

// A flow file's rewrite through the caller's filter, watching what it takes and keeps.
struct WatchedRewrite {
    LineFilter Filter;
    void *Context;
    bool TookAFile;
    bool KeptAFile;
};

} // namespace

static int WatchFlowLine(char *Line, size_t *Length, void *Context) {
    WatchedRewrite *watched = static_cast<WatchedRewrite *>(Context);
    bool namesAFile = LineNamesAFile(Line, *Length);
    int keep = watched->Filter(Line, Length, watched->Context);
    if (keep > 0 && LineNamesAFile(Line, *Length)) watched->KeptAFile = true;
    if (keep == 0 && namesAFile) watched->TookAFile = true;
    return keep;
}

WriteOutcome RewriteFlowFile(const char *Path, char *TemporaryPath, LineFilter Filter,
                             void *Context) {
    WatchedRewrite watched = {Filter, Context, false, false};
    if (WriteRewrittenCopy(Path, TemporaryPath, WatchFlowLine, &watched) != WriteDone)
        return WriteFailed;
    PendingFlowRewrite pending;
    size_t pathLength = strnlen(Path, MAX_PATH);
    if (pathLength == MAX_PATH) {
        DiscardCopy(TemporaryPath);
        return WriteFailed;
    }
    memcpy(pending.Path, Path, pathLength + 1);
    memcpy(pending.TemporaryPath, TemporaryPath, strlen(TemporaryPath) + 1);
    pending.Empties = watched.TookAFile && !watched.KeptAFile;
    return CommitFlowRewrite(&pending);
}

WriteOutcome ChangeItemFlavor(const char *FlowPath, const PluginPanelItem *Item,
                              const char *BasePath, int Chosen, PatternLineQuestion Ask,
                              void *AskContext) {
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(FlowPath, &found)) return WriteChanged;
    // The new flow file, named in the case of the names the plugin makes.
    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(Chosen).Letter;
    if (OutboundCase == LowerCaseNames)
        for (char *c = suffix; *c; ++c)
            *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    char newPath[MAX_PATH];
    if (!JoinPath(newPath, sizeof(newPath), BasePath, "", suffix)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return WriteFailed;
    }

    // The old flow file's copy without the lines waits until they are safe in the new one.
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(FlowPath, Item, SameOutboundFileName, Ask, AskContext, &taken,
                                &pending))
        return WriteFailed;
    bool moved = true;
    const char *line;
    size_t length;
    size_t offset = 0;
    if (_stricmp(pending.Path, newPath) == 0) {
        // The flavor it has: the lines go to the end of the copy, which then takes the place.
        AppendedLine appended;
        while (moved && NextTakenLine(&taken, &offset, &line, &length))
            moved = AppendLineBytesUndoable(pending.TemporaryPath, line, length, &appended) ==
                    WriteDone;
        pending.Empties = false;
        moved = moved && CommitFlowRewrite(&pending) == WriteDone;
        if (!moved) DiscardFlowRewrite(&pending);
    } else {
        AppendedLine *appended = static_cast<AppendedLine *>(
            malloc(static_cast<size_t>(taken.Count) * sizeof(AppendedLine)));
        int done = 0;
        moved = appended != nullptr;
        while (moved && NextTakenLine(&taken, &offset, &line, &length)) {
            moved = AppendLineBytesUndoable(newPath, line, length, &appended[done]) == WriteDone;
            if (moved) ++done;
        }
        if (!moved) {
            DiscardFlowRewrite(&pending);
        } else if (CommitFlowRewrite(&pending) != WriteDone) {
            moved = false;
        }
        // The old flow file still lists them: out of the new one again, the last first. Should
        // that fail too, they are listed in both, and the caller says they were not taken out.
        if (!moved)
            while (done > 0) UndoAppend(&appended[--done]);
        free(appended);
    }
    DWORD error = GetLastError();
    FreeTakenLines(&taken);
    SetLastError(error);
    return moved ? WriteDone : WriteFailed;
}

WriteOutcome RemovePoll(const char *Path) {
    LineReader reader;
    bool read = OpenLineReader(&reader, Path) != 0;
    bool namesAFile = false;
    char *line;
    size_t length;
    int got = 0;
    while (read && !namesAFile && (got = ReadLine(&reader, &line, &length)) > 0)
        namesAFile = LineNamesAFile(line, length);
    DWORD error = GetLastError();
    CloseLineReader(&reader);
    if (namesAFile) return WriteChanged;
    if (!read || got < 0) {
        SetLastError(error);
        return WriteFailed;
    }
    return DeleteFileRetrying(Path);
}
