#include "bso/flow_file.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/helpers.h"

char *ParseFlowLine(char *line) {
    TrimLineEnd(line);
    if (line[0] == '#' || line[0] == '^') return line + 1;
    if (line[0] == '~') return nullptr;
    return line;
}

bool IsAbsoluteName(const char *name) {
    bool drive = ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
                 name[1] == ':' && (name[2] == '\\' || name[2] == '/');
#ifdef _WIN32
    return drive || ((name[0] == '\\' || name[0] == '/') && (name[1] == '\\' || name[1] == '/'));
#else
    return drive || name[0] == '/';
#endif
}

char *ReplaceExtension(char *name, const char *extension) {
    size_t length = strlen(name);
    if (length == 0) return name;
    for (size_t position = length; position-- > 0;) {
        char c = name[position];
        if (c == '.') {
            strcpy(name + position, extension);
            return name;
        }
        if (c == '\\' || c == '/' || c == ':') break;
    }
    strcpy(name + length, extension);
    return name;
}

bool LineNamesAFile(const char *line, size_t length) {
    if (length == 0 || line[0] == '~') return false;
    size_t skip = line[0] == '#' || line[0] == '^' ? 1 : 0;
    for (size_t i = skip; i < length; ++i)
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r') return true;
    return false;
}

void FreeTakenLines(TakenLines *taken) {
    free(taken->Bytes);
    taken->Bytes = nullptr;
    taken->Length = 0;
    taken->Count = 0;
}

bool NextTakenLine(const TakenLines *taken, size_t *offset, const char **line, size_t *length) {
    if (taken->Bytes == nullptr || *offset >= taken->Length) return false;
    const char *start = taken->Bytes + *offset;
    // A line holds no LF, so its end is the first CR LF from its start on.
    const char *end = start;
    while (!(end[0] == '\r' && end[1] == '\n')) ++end;
    *line = start;
    *length = static_cast<size_t>(end - start);
    *offset += *length + 2;
    return true;
}

// Appends the line and CR LF to the list.
static bool AddTakenLine(TakenLines *taken, size_t *capacity, const char *line, size_t length) {
    size_t needed = taken->Length + length + 2;
    if (needed > *capacity) {
        size_t grown = *capacity != 0 ? *capacity : 256;
        while (grown < needed) grown *= 2;
        char *bytes = static_cast<char *>(realloc(taken->Bytes, grown));
        if (bytes == nullptr) return false;
        taken->Bytes = bytes;
        *capacity = grown;
    }
    memcpy(taken->Bytes + taken->Length, line, length);
    memcpy(taken->Bytes + taken->Length + length, "\r\n", 2);
    taken->Length = needed;
    ++taken->Count;
    return true;
}

static bool HoldsLine(const TakenLines *list, const char *line, size_t length) {
    size_t offset = 0;
    const char *held;
    size_t heldLength;
    while (NextTakenLine(list, &offset, &held, &heldLength))
        if (heldLength == length && memcmp(held, line, length) == 0) return true;
    return false;
}

// The name a line gives, behind its directive and up to a NUL byte (the listing names the row
// so); null for a "~" line.
static const char *LineName(const char *line, size_t length, size_t *nameLength) {
    if (length > 0 && line[0] == '~') return nullptr;
    size_t skip = length > 0 && (line[0] == '#' || line[0] == '^') ? 1 : 0;
    const char *name = line + skip;
    const char *nul = static_cast<const char *>(memchr(name, '\0', length - skip));
    *nameLength = nul != nullptr ? static_cast<size_t>(nul - name) : length - skip;
    return name;
}

static size_t TrimmedNameLength(const char *name, size_t length) {
    while (length > 0 && IsLineEndCharacter(name[length - 1])) --length;
    return length;
}

#ifdef _WIN32
static char FoldCase(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c == '/' ? '\\' : c;
}
#endif

// Whether the name (length bytes) is the path as the file system compares names: without
// regard to case on Windows; on Linux the name in its native form, the row's, exactly.
bool SameOutboundFileName(const char *name, size_t length, const char *path, size_t pathLength) {
#ifdef _WIN32
    if (length != pathLength) return false;
    for (size_t i = 0; i < length; ++i)
        if (FoldCase(name[i]) != FoldCase(path[i])) return false;
    return true;
#else
    if (length >= MAX_PATH) return false;
    char copy[MAX_PATH], native[MAX_PATH];
    memcpy(copy, name, length);
    copy[length] = '\0';
    if (!NativePath(copy, native, sizeof native))
        return length == pathLength && memcmp(name, path, length) == 0;
    return strlen(native) == pathLength && memcmp(native, path, pathLength) == 0;
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

static int Closeness(const char *line, size_t length, const char *fileName, size_t fileNameLength,
                     FileNameMatcher match) {
    size_t nameLength;
    const char *name = LineName(line, length, &nameLength);
    if (name == nullptr) return NotNamed;
    if (match(name, nameLength, fileName, fileNameLength)) return NamedExactly;
    size_t trimmed = TrimmedNameLength(name, nameLength);
    if (trimmed != nameLength && match(name, trimmed, fileName, fileNameLength))
        return NamedTrimmed;
    return NotNamed;
}

static bool HasWildcards(const char *name) {
    return strpbrk(name, "*?") != nullptr;
}

static bool IsDotEntry(const char *name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Whether the listing makes the item's row from this name: its first match other than "." and
// "..", behind the name's directory part in upper case.
static bool ListedAs(const char *name, size_t length, const char *fileName) {
    length = TrimmedNameLength(name, length);
    if (length == 0 || length >= MAX_PATH) return false;
    char written[MAX_PATH];
    memcpy(written, name, length);
    written[length] = '\0';
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
    if (strncmp(copy, fileName, directoryLength) != 0) return false;
    return strcmp(fileName + directoryLength, found.cFileName) == 0;
}

static int FilterFlowLine(char *line, size_t *length, void *context) {
    RemovalState *state = static_cast<RemovalState *>(context);
    bool take = state->Chosen != nullptr
                    ? HoldsLine(state->Chosen, line, *length)
                    : Closeness(line, *length, state->FileName, state->FileNameLength,
                                state->Match) >= state->Closeness;
    if (!take) {
        // Copied as it stands: its blanks and any byte behind a NUL are part of it.
        if (LineNamesAFile(line, *length)) state->KeptAFile = true;
        return 1;
    }
    return AddTakenLine(state->Taken, &state->TakenCapacity, line, *length) ? 0 : -1;
}

// The flow file's path under the name it has on disk: the mailer may have written it in
// another case than the one asked for.
static bool NameOnDisk(const char *flowPath, char *path) {
    size_t pathLength = strnlen(flowPath, MAX_PATH);
    if (pathLength == MAX_PATH) return false;
    memcpy(path, flowPath, pathLength + 1);
    WIN32_FIND_DATAA found;
    if (FindFirstEntry(flowPath, &found)) {
        DirectoryPart(path);
        size_t directoryLength = strlen(path);
        size_t nameLength = strnlen(found.cFileName, MAX_PATH);
        if (directoryLength + nameLength >= MAX_PATH) return false;
        memcpy(path + directoryLength, found.cFileName, nameLength);
        path[directoryLength + nameLength] = '\0';
    }
    return true;
}

// The closest any line of the file names the item; -1 when the file cannot be read.
static int ClosestLine(const char *path, const char *fileName, size_t fileNameLength,
                       FileNameMatcher match) {
    LineReader reader;
    int closest = NotNamed;
    bool read = OpenLineReader(&reader, path) != 0;
    char *line;
    size_t length;
    int got = 0;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        int closeness = Closeness(line, length, fileName, fileNameLength, match);
        if (closeness > closest) closest = closeness;
    }
    CloseLineReader(&reader);
    return read && got == 0 ? closest : -1;
}

// The lines the listing made the item's row from, though none names it as it stands: a name in
// another case that the file system found, taken as it is, and pattern lines, each taken when
// ask says so (once per distinct line). False when the file cannot be read.
static bool ChooseListedLines(const char *path, const char *fileName, PatternLineQuestion ask,
                              void *askContext, TakenLines *chosen) {
    TakenLines declined = {nullptr, 0, 0};
    size_t chosenCapacity = 0, declinedCapacity = 0;
    LineReader reader;
    bool read = OpenLineReader(&reader, path) != 0;
    char *line;
    size_t length;
    int got = 0;
    while (read && (got = ReadLine(&reader, &line, &length)) > 0) {
        size_t nameLength;
        const char *name = LineName(line, length, &nameLength);
        if (name == nullptr || HoldsLine(chosen, line, length) ||
            HoldsLine(&declined, line, length) || !ListedAs(name, nameLength, fileName))
            continue;
        char copy[MAX_PATH];
        size_t trimmed = TrimmedNameLength(name, nameLength);
        memcpy(copy, name, trimmed);
        copy[trimmed] = '\0';
        bool pattern = HasWildcards(copy);
        bool take = !pattern || (ask != nullptr && ask(line, length, askContext));
        if (!AddTakenLine(take ? chosen : &declined, take ? &chosenCapacity : &declinedCapacity,
                          line, length)) {
            read = false;
            break;
        }
    }
    CloseLineReader(&reader);
    FreeTakenLines(&declined);
    return read && got == 0;
}

int PrepareFlowLineRemoval(const char *flowPath, const PluginPanelItem *item, FileNameMatcher match,
                           PatternLineQuestion ask, void *askContext, TakenLines *taken,
                           PendingFlowRewrite *pending) {
    *taken = {nullptr, 0, 0};
    if (item == nullptr) return 0;
    if (strpbrk(flowPath, "*?") != nullptr) return 0;
    if (!NameOnDisk(flowPath, pending->Path)) return 0;
    char temporaryPath[MAX_PATH + 4];
    memcpy(temporaryPath, pending->Path, strlen(pending->Path) + 1);
    ReplaceExtension(temporaryPath, ".TMP");
    if (strlen(temporaryPath) >= MAX_PATH) return 0;

    char fileName[MAX_PATH + 1];
    size_t fileNameLength = strnlen(item->FindData.cFileName, MAX_PATH);
    memcpy(fileName, item->FindData.cFileName, fileNameLength);
    fileName[fileNameLength] = '\0';
    if (fileNameLength == 0) return 0;
    // Lines are compared as the flow file holds them, in its code page.
    char flowName[MAX_PATH + 1];
    if (!FileNameToFlowName(fileName, flowName, sizeof(flowName))) return 0;
    size_t flowNameLength = strlen(flowName);

    RemovalState state = {flowName, flowNameLength, match, NotNamed, nullptr, taken, 0, false};
    TakenLines chosen = {nullptr, 0, 0};
    state.Closeness = ClosestLine(pending->Path, flowName, flowNameLength, match);
    if (state.Closeness < 0) return 0;
    if (state.Closeness == NotNamed) {
        if (!ChooseListedLines(pending->Path, fileName, ask, askContext, &chosen) ||
            chosen.Count == 0) {
            FreeTakenLines(&chosen);
            return 0;
        }
        state.Chosen = &chosen;
    }
    int written = WriteRewrittenCopy(pending->Path, temporaryPath, FilterFlowLine, &state);
    FreeTakenLines(&chosen);
    if (written) memcpy(pending->TemporaryPath, temporaryPath, strlen(temporaryPath) + 1);
    if (!written || taken->Count == 0) {
        if (written) DiscardCopy(pending->TemporaryPath);
        FreeTakenLines(taken);
        return 0;
    }
    pending->Empties = !state.KeptAFile;
    return 1;
}

int CommitFlowRewrite(const PendingFlowRewrite *pending) {
    if (!pending->Empties) return ReplaceWithCopy(pending->TemporaryPath, pending->Path);
    int deleted = DeleteFileRetrying(pending->Path);
    DiscardCopy(pending->TemporaryPath);
    return deleted;
}

void DiscardFlowRewrite(const PendingFlowRewrite *pending) {
    DiscardCopy(pending->TemporaryPath);
}

int RemoveFlowLines(const char *flowPath, const PluginPanelItem *item, FileNameMatcher match,
                    PatternLineQuestion ask, void *askContext) {
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(flowPath, item, match, ask, askContext, &taken, &pending)) return 0;
    FreeTakenLines(&taken);
    return CommitFlowRewrite(&pending);
}

int RemoveFlowLineTo(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                     size_t removedLineSize, size_t *wholeLength) {
    if (wholeLength != nullptr) *wholeLength = 0;
    if (removedLineSize == 0) return 0;
    removedLine[0] = '\0';
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(flowPath, item, SameOutboundFileName, nullptr, nullptr, &taken,
                                &pending))
        return 0;
    const char *line = nullptr;
    size_t length = 0;
    for (size_t offset = 0; NextTakenLine(&taken, &offset, &line, &length);) {
    }
    int committed = CommitFlowRewrite(&pending);
    if (committed) {
        size_t copied = length < removedLineSize ? length : removedLineSize - 1;
        memcpy(removedLine, line, copied);
        removedLine[copied] = '\0';
        if (wholeLength != nullptr) *wholeLength = length;
    }
    FreeTakenLines(&taken);
    return committed;
}

int RemoveFlowLine(const char *flowPath, const PluginPanelItem *item, char *removedLine) {
    return RemoveFlowLineTo(flowPath, item, removedLine, RemovedLineSize, nullptr);
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

static int WatchFlowLine(char *line, size_t *length, void *context) {
    WatchedRewrite *watched = static_cast<WatchedRewrite *>(context);
    bool namesAFile = LineNamesAFile(line, *length);
    int keep = watched->Filter(line, length, watched->Context);
    if (keep > 0 && LineNamesAFile(line, *length)) watched->KeptAFile = true;
    if (keep == 0 && namesAFile) watched->TookAFile = true;
    return keep;
}

int RewriteFlowFile(const char *path, char *temporaryPath, LineFilter filter, void *context) {
    WatchedRewrite watched = {filter, context, false, false};
    if (!WriteRewrittenCopy(path, temporaryPath, WatchFlowLine, &watched)) return 0;
    PendingFlowRewrite pending;
    size_t pathLength = strnlen(path, MAX_PATH);
    if (pathLength == MAX_PATH) {
        DiscardCopy(temporaryPath);
        return 0;
    }
    memcpy(pending.Path, path, pathLength + 1);
    memcpy(pending.TemporaryPath, temporaryPath, strlen(temporaryPath) + 1);
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
            moved = AppendLineBytesUndoable(pending.TemporaryPath, line, length, &appended) != 0;
        pending.Empties = false;
        moved = moved && CommitFlowRewrite(&pending);
        if (!moved) DiscardFlowRewrite(&pending);
    } else {
        AppendedLine *appended = static_cast<AppendedLine *>(
            malloc(static_cast<size_t>(taken.Count) * sizeof(AppendedLine)));
        int done = 0;
        moved = appended != nullptr;
        while (moved && NextTakenLine(&taken, &offset, &line, &length)) {
            moved = AppendLineBytesUndoable(newPath, line, length, &appended[done]) != 0;
            if (moved) ++done;
        }
        if (!moved) {
            DiscardFlowRewrite(&pending);
        } else if (!CommitFlowRewrite(&pending)) {
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
    return DeleteFileRetrying(Path) ? WriteDone : WriteFailed;
}
