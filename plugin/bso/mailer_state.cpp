#include "bso/mailer_state.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "common/helpers.h"

#include <direct.h>
#ifndef _WIN32
#include <compat_posix.h>
#endif
#include <stdio.h>
#include <string.h>

static int FormatHoldDigits(int64_t Until, char *Text, size_t Size) {
    int length = snprintf(Text, Size, "%lld", static_cast<long long>(Until));
    return length > 0 && static_cast<size_t>(length) < Size ? length : 0;
}

// binkd's names (FTS-5005), in upper case as the layout writes them; lowered on Linux, where
// binkd makes and opens only those.
static const MailerFileRow BinkdFiles[] = {
    {HoldFile, ".HLD", true},
    {TryFile, ".TRY", true},
    {CallFlag, ".CSY", false},
    {BusyFlagFile, ".BSY", false},
};

const MailerProfile MailerProfiles[MailerProfileCount] = {
    {"binkd", BinkdFiles, sizeof BinkdFiles / sizeof BinkdFiles[0], ParseHoldText, FormatHoldDigits,
     ParseTryBytes, ParseBusyText},
};

static const MailerFileRow *MailerFileRowOf(MailerFile Kind) {
    const MailerProfile &mailer = OutboundMailer();
    for (int i = 0; i < mailer.FileCount; ++i)
        if (mailer.Files[i].Kind == Kind) return &mailer.Files[i];
    return nullptr;
}

MailerFile ClassifyMailerFile(const char *Extension) {
    if (!Extension) return NoMailerFile;
    const MailerProfile &mailer = OutboundMailer();
    for (int i = 0; i < mailer.FileCount; ++i)
        if (_stricmp(Extension, mailer.Files[i].Extension) == 0) return mailer.Files[i].Kind;
    return NoMailerFile;
}

bool GoesWithQueue(MailerFile Kind) {
    const MailerFileRow *row = MailerFileRowOf(Kind);
    return row != nullptr && row->GoesWithQueue;
}

MailerFile IsMailerFileEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Number) {
    if (Entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return NoMailerFile;
    uint32_t value;
    if (!ReadNodeName(Entry->cFileName, &value)) return NoMailerFile;
    MailerFile kind = ClassifyMailerFile(Entry->cFileName + 8);
    if (kind != NoMailerFile && Number) *Number = value;
    return kind;
}

int ParseHoldText(const char *Text, size_t Length, int64_t *Until) {
    size_t at = 0;
    while (at < Length && (Text[at] == ' ' || Text[at] == '\t' || Text[at] == '\r' ||
                           Text[at] == '\n' || Text[at] == '\v' || Text[at] == '\f'))
        ++at;
    size_t first = at;
    int64_t value = 0;
    // Eighteen digits stay inside 64 bits; a longer number is no time binkd wrote.
    while (at < Length && Text[at] >= '0' && Text[at] <= '9') {
        if (at - first == 18) return 0;
        value = value * 10 + (Text[at] - '0');
        ++at;
    }
    if (at == first) return 0;
    *Until = value;
    return 1;
}

int ParseTryBytes(const unsigned char *Data, size_t Length, MailerState *State) {
    if (Length < 5) return 0;
    State->HasTries = true;
    State->Successes = static_cast<unsigned>(Data[0] | Data[1] << 8);
    State->Failures = static_cast<unsigned>(Data[2] | Data[3] << 8);
    size_t comment = Data[4];
    if (comment != Length - 5) comment = Length - 5; // the length byte wrapped past 255
    if (comment > LastResultSize - 1) comment = LastResultSize - 1;
    memcpy(State->LastResult, Data + 5, comment);
    State->LastResult[comment] = '\0';
    // A NUL or a line end inside the comment ends what a row can show.
    for (size_t i = 0; i < comment; ++i)
        if (State->LastResult[i] == '\0' || State->LastResult[i] == '\r' ||
            State->LastResult[i] == '\n') {
            State->LastResult[i] = '\0';
            break;
        }
    return 1;
}

unsigned long ParseBusyText(const char *Text, size_t Length) {
    size_t at = 0;
    while (at < Length && (Text[at] == ' ' || Text[at] == '\t')) ++at;
    unsigned long value = 0;
    size_t digits = 0;
    for (; at < Length && Text[at] >= '0' && Text[at] <= '9'; ++at, ++digits) {
        if (digits == 9) return 0;
        value = value * 10 + static_cast<unsigned long>(Text[at] - '0');
    }
    return value;
}

bool ProcessRuns(unsigned long Process) {
    if (Process == 0) return false;
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(Process));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
#else
    return CompatProcessRuns(Process) != 0;
#endif
}

bool IsBusyFlagStale(unsigned long Process, bool Running, int64_t Age, int64_t StaleSeconds) {
    if (Running) return false;
    return Process != 0 || Age > StaleSeconds;
}

int64_t FileTimeToUnix(const FILETIME &Time) {
    // 100-ns steps since 1601; 1970 is 11644473600 seconds later.
    uint64_t ticks = static_cast<uint64_t>(Time.dwHighDateTime) << 32 | Time.dwLowDateTime;
    uint64_t seconds = ticks / 10000000u;
    return seconds > 11644473600u ? static_cast<int64_t>(seconds - 11644473600u) : 0;
}

// Reads at most Size bytes of the file; the count read, or -1 when it cannot be opened or is
// no regular file (a FIFO or device there would never end or never answer).
static long ReadSmallFile(const char *Path, unsigned char *Buffer, DWORD Size) {
    HANDLE file = FileOps.Create(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        FileOps.Close(file);
        return -1;
    }
    // A disk file's read comes back short only at its end: no further read to learn so (the
    // outbound's busy flags are read on every listing).
    DWORD total = 0;
    while (total < Size) {
        DWORD want = Size - total, got = 0;
        if (!FileOps.Read(file, Buffer + total, want, &got, nullptr)) break;
        total += got;
        if (got < want) break;
    }
    FileOps.Close(file);
    return static_cast<long>(total);
}

void ReadMailerFile(const char *Path, MailerFile Kind, const WIN32_FIND_DATAA *Data, int64_t Now,
                    MailerState *State) {
    // A try file's comment takes at most 255 bytes after the counters; a hold or busy file is a
    // number. One more byte than a whole try file shows a file longer than binkd writes.
    unsigned char buffer[5 + 255 + 1];
    switch (Kind) {
    case HoldFile: {
        long got = ReadSmallFile(Path, buffer, 64);
        int64_t until;
        if (got > 0 &&
            OutboundMailer().ParseHold(reinterpret_cast<char *>(buffer), static_cast<size_t>(got),
                                       &until) &&
            until > Now) {
            State->Held = true;
            State->HeldUntil = until;
        }
        break;
    }
    case TryFile: {
        long got = ReadSmallFile(Path, buffer, sizeof buffer);
        if (got > 0) OutboundMailer().ParseTries(buffer, static_cast<size_t>(got), State);
        break;
    }
    case CallFlag:
        State->Calling = true;
        break;
    case BusyFlagFile: {
        State->Busy = true;
        int64_t written = Data ? FileTimeToUnix(Data->ftLastWriteTime) : Now;
        State->BusyAge = Now > written ? Now - written : 0;
        long got = ReadSmallFile(Path, buffer, 32);
        State->BusyProcess = got > 0 ? OutboundMailer().ParseBusy(reinterpret_cast<char *>(buffer),
                                                                  static_cast<size_t>(got))
                                     : 0;
        State->BusyRunning = ProcessRuns(State->BusyProcess);
        break;
    }
    default:
        break;
    }
}

int MailerFilePath(const char *Base, MailerFile Kind, char *Path, size_t Size) {
    const MailerFileRow *row = MailerFileRowOf(Kind);
    char extension[16];
    if (row == nullptr || strlen(row->Extension) >= sizeof extension) return 0;
    memcpy(extension, row->Extension, strlen(row->Extension) + 1);
    if (OutboundCase == LowerCaseNames)
        for (char *c = extension; *c; ++c)
            if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    return JoinPath(Path, Size, Base, "", extension);
}

void ReadMailerState(const char *Base, int64_t Now, MailerState *State) {
    memset(State, 0, sizeof *State);
    const MailerProfile &mailer = OutboundMailer();
    for (int i = 0; i < mailer.FileCount; ++i) {
        char path[MAX_PATH];
        if (!MailerFilePath(Base, mailer.Files[i].Kind, path, sizeof path)) continue;
        WIN32_FIND_DATAA found;
        if (!FindFirstEntry(path, &found)) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ReadMailerFile(path, mailer.Files[i].Kind, &found, Now, State);
    }
}

WriteOutcome WriteHold(const char *Base, int64_t Until) {
    char path[MAX_PATH], temporary[MAX_PATH];
    if (!MailerFilePath(Base, HoldFile, path, sizeof path) ||
        !MailerFilePath(Base, HoldFile, temporary, sizeof temporary - 4)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return WriteFailed;
    }
    // The new time goes to a file of its own first: a name no mailer reads ("....HLD.TMP").
    strcat(temporary, OutboundCase == LowerCaseNames ? ".tmp" : ".TMP");
    HANDLE file = CreateTemporaryFile(temporary);
    if (file == INVALID_HANDLE_VALUE) return WriteFailed;
    char digits[24];
    int length = OutboundMailer().FormatHold(Until, digits, sizeof digits);
    DWORD written = 0;
    bool ok = length > 0 &&
              FileOps.Write(file, digits, static_cast<DWORD>(length), &written, nullptr) &&
              written == static_cast<DWORD>(length);
    DWORD error = ok ? 0 : GetLastError();
    if (!FileOps.Close(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !FileOps.Replace(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        FileOps.Remove(temporary);
        SetLastError(error);
    }
    return ok ? WriteDone : WriteFailed;
}

WriteOutcome RemoveMailerFile(const char *Base, MailerFile Kind) {
    char path[MAX_PATH];
    if (!MailerFilePath(Base, Kind, path, sizeof path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return WriteFailed;
    }
    // Any case of the name: on Linux the path is found without regard to case when the
    // lower-case one is missing, so an upper-case file another tool wrote goes too.
    return DeleteFileRetrying(path);
}
