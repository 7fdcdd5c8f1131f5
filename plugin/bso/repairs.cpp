#include "bso/repairs.h"

#include "bso/flow_file.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The line a repair is after: its number (0: any line that is Line byte for byte), its bytes,
// and what the rewrite met.
struct LineToTake {
    int Number;
    const char *Line;
    size_t Length;
    const char *OwnName; // WriteOwnName's replacement, else null
    int Seen;            // lines read so far
    bool Taken;
    bool Changed; // the numbered line is another one now
};

} // namespace

static bool IsLineToTake(const char *Line, size_t Length, const LineToTake *Take) {
    return Length == Take->Length && memcmp(Line, Take->Line, Length) == 0;
}

// The numbered line, or with no number each line that is the one asked about: a pattern that
// covers the name, the name in another case and a line the mailer changed all stay.
static int DropLine(char *Line, size_t *Length, void *Context) {
    LineToTake *take = static_cast<LineToTake *>(Context);
    if (take->Number == 0) {
        if (!IsLineToTake(Line, *Length, take)) return 1;
        take->Taken = true;
        return 0;
    }
    if (++take->Seen != take->Number) return 1;
    if (!IsLineToTake(Line, *Length, take)) {
        take->Changed = true;
        return -1;
    }
    take->Taken = true;
    return 0;
}

static int SpellLine(char *Line, size_t *Length, void *Context) {
    LineToTake *take = static_cast<LineToTake *>(Context);
    if (++take->Seen != take->Number) return 1;
    if (!IsLineToTake(Line, *Length, take)) {
        take->Changed = true;
        return -1;
    }
    // The name the file system gives, in native form: never longer than the line's own (it
    // differs in case, and the drive of the Win32 form goes), so it takes the line's place and
    // what followed the name stays.
    size_t at = Line[0] == '^' || Line[0] == '#' ? 1 : 0;
    char *copy = static_cast<char *>(malloc(*Length + 1));
    if (copy == nullptr) return -1;
    memcpy(copy, Line, *Length + 1);
    char *name = ParseFlowLine(copy);
    size_t nameEnd = name != nullptr ? static_cast<size_t>(name - copy) + strlen(name) : *Length;
    free(copy);
    size_t nameLength = strlen(take->OwnName);
    if (nameEnd > *Length || at + nameLength > nameEnd) return -1;
    memmove(Line + at + nameLength, Line + nameEnd, *Length - nameEnd + 1);
    memcpy(Line + at, take->OwnName, nameLength);
    *Length -= nameEnd - at - nameLength;
    take->Taken = true;
    return 1;
}

// Rewrites FlowPath through its ".TMP" copy with Filter.
static WriteOutcome RewriteForLine(const char *FlowPath, LineFilter Filter, LineToTake *Take) {
    char temporaryPath[MAX_PATH + 4];
    size_t length = strnlen(FlowPath, MAX_PATH);
    memcpy(temporaryPath, FlowPath, length);
    temporaryPath[length] = '\0';
    ReplaceExtension(temporaryPath, ".TMP");
    if (length == MAX_PATH || strlen(temporaryPath) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return WriteFailed;
    }
    if (RewriteFlowFile(FlowPath, temporaryPath, Filter, Take) == WriteDone) {
        if (Take->Taken) return WriteDone;
        // Read whole and no line was the one: the file is not what the caller saw.
        return WriteChanged;
    }
    DWORD error = GetLastError();
    if (Take->Changed || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return WriteChanged;
    return WriteFailed;
}

WriteOutcome RemoveMissingFileLine(const OutboundConfig &Config, const FtnAddress *Link,
                                   const char *FlowPath, const char *Line, size_t Length) {
    LinkLock lock;
    WriteOutcome locked = LockLink(Config, Link, &lock);
    if (locked != WriteDone) return locked;
    LineToTake take = {0, Line, Length, nullptr, 0, false, false};
    WriteOutcome outcome = RewriteForLine(FlowPath, DropLine, &take);
    DWORD error = GetLastError();
    UnlockLink(&lock);
    SetLastError(error);
    return outcome;
}

WriteOutcome TakeOutFlowLine(const char *FlowPath, int LineNumber, const char *Line,
                             size_t Length) {
    if (LineNumber <= 0 || Line == nullptr) return WriteChanged;
    LineToTake take = {LineNumber, Line, Length, nullptr, 0, false, false};
    return RewriteForLine(FlowPath, DropLine, &take);
}

WriteOutcome WriteOwnName(const char *FlowPath, int LineNumber, const char *Line, size_t Length,
                          const char *OwnName) {
    if (LineNumber <= 0 || Line == nullptr || OwnName == nullptr) return WriteChanged;
    LineToTake take = {LineNumber, Line, Length, OwnName, 0, false, false};
    return RewriteForLine(FlowPath, SpellLine, &take);
}

// Deletes the file while it is still Seen and no larger than Largest.
static WriteOutcome RemoveSeenFile(const char *Path, const FileIdentity *Seen,
                                   unsigned long long Largest) {
    if (Seen->Size > Largest || !FileUnchanged(Path, Seen)) return WriteChanged;
    return DeleteFileRetrying(Path);
}

WriteOutcome RemoveEmptyBundle(const char *Path, const FileIdentity *Seen) {
    return RemoveSeenFile(Path, Seen, 0);
}

WriteOutcome RemoveDroppedPacket(const char *Path, const FileIdentity *Seen) {
    return RemoveSeenFile(Path, Seen, DroppedPacketSize);
}
