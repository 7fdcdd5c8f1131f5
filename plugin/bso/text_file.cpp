#include "bso/text_file.h"

#include "common/helpers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const FileOperations Win32FileOps = {CreateFileA,      ReadFile,    WriteFile,   SetFilePointer,
                                     FlushFileBuffers, CloseHandle, MoveFileExA, DeleteFileA,
                                     CreateDirectoryA, SetEndOfFile};
FileOperations FileOps = Win32FileOps;

static const char LineEnd[] = "\r\n";

int OpenLineReaderUpTo(LineReader *reader, const char *path, unsigned long long limit) {
    reader->ChunkLength = 0;
    reader->ChunkPosition = 0;
    reader->AtEnd = false;
    reader->LineEnd[0] = '\0';
    reader->Line = nullptr;
    reader->LineCapacity = 0;
    reader->Left = limit;
    // The mailer may have the file open at the same time.
    reader->File = FileOps.Create(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader->File == INVALID_HANDLE_VALUE) return 0;
    // A FIFO or a device under a file's name would never end, or never answer.
    if (GetFileType(reader->File) != FILE_TYPE_DISK) {
        FileOps.Close(reader->File);
        reader->File = INVALID_HANDLE_VALUE;
        SetLastError(ERROR_BAD_FILE_TYPE);
        return 0;
    }
    return 1;
}

int OpenLineReader(LineReader *reader, const char *path) {
    return OpenLineReaderUpTo(reader, path, ~0ull);
}

// Makes room for at least needed bytes of line storage.
static bool GrowLine(LineReader *reader, size_t needed) {
    if (needed <= reader->LineCapacity) return true;
    size_t capacity = reader->LineCapacity != 0 ? reader->LineCapacity : 256;
    while (capacity < needed) capacity *= 2;
    char *grown = static_cast<char *>(realloc(reader->Line, capacity));
    if (grown == nullptr) return false;
    reader->Line = grown;
    reader->LineCapacity = capacity;
    return true;
}

// The first CR or LF of the bytes, or null.
static const char *FindLineEnd(const char *start, size_t available) {
    for (const char *at = start, *end = start + available; at < end; ++at)
        if (*at == '\n' || *at == '\r') return at;
    return nullptr;
}

int ReadLine(LineReader *reader, char **line, size_t *length) {
    if (reader->File == INVALID_HANDLE_VALUE) return -1;
    size_t used = 0;
    bool any = false;
    for (;;) {
        if (reader->ChunkPosition == reader->ChunkLength) {
            if (reader->AtEnd) break;
            DWORD got = 0;
            DWORD want = reader->Left < sizeof reader->Chunk ? static_cast<DWORD>(reader->Left)
                                                             : sizeof reader->Chunk;
            if (want > 0 && !FileOps.Read(reader->File, reader->Chunk, want, &got, nullptr))
                return -1;
            reader->Left -= got;
            reader->ChunkLength = got;
            reader->ChunkPosition = 0;
            if (got == 0) {
                reader->AtEnd = true;
                break;
            }
        }
        any = true;
        const char *start = reader->Chunk + reader->ChunkPosition;
        DWORD available = reader->ChunkLength - reader->ChunkPosition;
        const char *lineEnd = FindLineEnd(start, available);
        DWORD take = lineEnd != nullptr ? static_cast<DWORD>(lineEnd - start) : available;
        if (!GrowLine(reader, used + take + 1)) return -1;
        memcpy(reader->Line + used, start, take);
        used += take;
        reader->ChunkPosition += take;
        if (lineEnd != nullptr) {
            // CR LF, LF and a CR alone all end a line: old mailers and editors wrote each.
            ++reader->ChunkPosition;
            bool carriageReturn = *lineEnd == '\r';
            strcpy(reader->LineEnd, carriageReturn ? "\r" : "\n");
            // The LF of a CR LF may lie in the next chunk.
            if (carriageReturn && reader->ChunkPosition == reader->ChunkLength && !reader->AtEnd) {
                DWORD got = 0;
                if (!FileOps.Read(reader->File, reader->Chunk, sizeof reader->Chunk, &got, nullptr))
                    return -1;
                reader->ChunkLength = got;
                reader->ChunkPosition = 0;
                reader->AtEnd = got == 0;
            }
            if (carriageReturn && reader->ChunkPosition < reader->ChunkLength &&
                reader->Chunk[reader->ChunkPosition] == '\n') {
                ++reader->ChunkPosition;
                strcpy(reader->LineEnd, "\r\n");
            }
            reader->Line[used] = '\0';
            *line = reader->Line;
            *length = used;
            return 1;
        }
    }
    if (!any) return 0;
    // The last line, without a line end.
    reader->LineEnd[0] = '\0';
    if (!GrowLine(reader, used + 1)) return -1;
    reader->Line[used] = '\0';
    *line = reader->Line;
    *length = used;
    return 1;
}

void CloseLineReader(LineReader *reader) {
    if (reader->File != INVALID_HANDLE_VALUE) FileOps.Close(reader->File);
    reader->File = INVALID_HANDLE_VALUE;
    free(reader->Line);
    reader->Line = nullptr;
    reader->LineCapacity = 0;
}

// Writes all bytes or reports failure; a short write counts as failure (a full disk).
static bool WriteAll(HANDLE file, const char *bytes, size_t size) {
    while (size > 0) {
        DWORD part = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!FileOps.Write(file, bytes, part, &written, nullptr) || written != part) return false;
        bytes += part;
        size -= part;
    }
    return true;
}

static bool WriteLine(HANDLE file, const char *line, size_t length, const char *end) {
    return WriteAll(file, line, length) && WriteAll(file, end, strlen(end));
}

// Flushes and closes; true only when both succeeded. The handle is closed in any case.
static bool FlushAndClose(HANDLE file) {
    bool flushed = FileOps.Flush(file) != 0;
    bool closed = FileOps.Close(file) != 0;
    return flushed && closed;
}

// Moves the file pointer to offset bytes from the end; *position receives the new position.
static bool SeekFromEnd(HANDLE file, long long offset, unsigned long long *position) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = FileOps.Seek(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    *position = (static_cast<unsigned long long>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

// Sets *open when the file is not empty and its last byte ends no line, *size to its size and
// end to the last line end in its tail (CR LF where it has none). Leaves the file pointer at the
// end of the file. False when the file cannot be read.
static bool ReadTail(HANDLE file, bool *open, unsigned long long *size, char (&end)[3]) {
    *open = false;
    strcpy(end, LineEnd);
    if (!SeekFromEnd(file, 0, size)) return false;
    if (*size == 0) return true;
    char tail[512];
    DWORD want = *size < sizeof tail ? static_cast<DWORD>(*size) : sizeof tail;
    unsigned long long position;
    if (!SeekFromEnd(file, -static_cast<long long>(want), &position)) return false;
    DWORD got = 0;
    if (!FileOps.Read(file, tail, want, &got, nullptr) || got != want) return false;
    *open = tail[want - 1] != '\n' && tail[want - 1] != '\r';
    for (DWORD at = want; at-- > 0;) {
        if (tail[at] == '\n') {
            strcpy(end, at > 0 && tail[at - 1] == '\r' ? "\r\n" : "\n");
            break;
        }
        // A CR alone ends a line only with no LF behind it (the tail may end between the two).
        if (tail[at] == '\r' && at + 1 < want) {
            strcpy(end, "\r");
            break;
        }
    }
    return SeekFromEnd(file, 0, &position);
}

static bool SeekTo(HANDLE file, unsigned long long position) {
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    DWORD low = FileOps.Seek(file, static_cast<LONG>(position & 0xFFFFFFFF), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// A name already taken (a file, a directory, a link) makes the next candidate: "-1" to "-15"
// before the extension of the preferred name.
static bool NextTemporaryName(const char *preferred, int attempt, char *name) {
    size_t length = strlen(preferred);
    size_t dot = length;
    for (size_t position = length; position-- > 0;) {
        char c = preferred[position];
        if (c == '.') {
            dot = position;
            break;
        }
        if (c == '\\' || c == '/' || c == ':') break;
    }
    char number[8];
    int numberLength = snprintf(number, sizeof number, "-%d", attempt);
    if (numberLength <= 0 || length + static_cast<size_t>(numberLength) >= MAX_PATH) return false;
    memcpy(name, preferred, dot);
    memcpy(name + dot, number, static_cast<size_t>(numberLength));
    memcpy(name + dot + numberLength, preferred + dot, length - dot + 1);
    return true;
}

HANDLE CreateTemporaryFile(char *path) {
    const int attempts = 16;
    char preferred[MAX_PATH];
    size_t length = strnlen(path, MAX_PATH);
    if (length == MAX_PATH) return INVALID_HANDLE_VALUE;
    memcpy(preferred, path, length + 1);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0 && !NextTemporaryName(preferred, attempt, path)) break;
        // Never through an existing name: a link planted there would redirect the write.
        HANDLE file = FileOps.Create(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED)
            break;
    }
    memcpy(path, preferred, length + 1);
    return INVALID_HANDLE_VALUE;
}

int DeleteFileRetrying(const char *path) {
    const int attempts = 3;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (FileOps.Remove(path)) return 1;
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 1;
        }
    }
    return 0;
}

// Puts the file back to its first size bytes. These calls cannot cut a file, so a copy of
// those bytes ("<name>~" beside it, or a free variant of that name) replaces it in one step.
static bool RestorePrefix(const char *path, unsigned long long size) {
    char copyPath[MAX_PATH];
    size_t length = strlen(path);
    if (length + 2 > sizeof copyPath) return false;
    memcpy(copyPath, path, length);
    copyPath[length] = '~';
    copyPath[length + 1] = '\0';
    HANDLE source = FileOps.Create(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    HANDLE copy = CreateTemporaryFile(copyPath);
    if (copy == INVALID_HANDLE_VALUE) {
        FileOps.Close(source);
        return false;
    }
    char buffer[4096];
    bool copied = true;
    for (unsigned long long left = size; copied && left > 0;) {
        DWORD want = left < sizeof buffer ? static_cast<DWORD>(left) : sizeof buffer;
        DWORD got = 0;
        copied = FileOps.Read(source, buffer, want, &got, nullptr) && got == want &&
                 WriteAll(copy, buffer, got);
        left -= want;
    }
    FileOps.Close(source);
    if (!copied) {
        FileOps.Close(copy);
        FileOps.Remove(copyPath);
        return false;
    }
    if (!FlushAndClose(copy) || !FileOps.Replace(copyPath, path, MOVEFILE_REPLACE_EXISTING)) {
        FileOps.Remove(copyPath);
        return false;
    }
    return true;
}

// Cuts the open file at size bytes: taking bytes away needs no room, so it works on a full
// disk where a copy could not be written.
static bool CutAt(HANDLE file, unsigned long long size) {
    return SeekTo(file, size) && FileOps.Truncate(file) && FileOps.Flush(file);
}

static bool CutFile(const char *path, unsigned long long size) {
    HANDLE file = FileOps.Create(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool cut = CutAt(file, size);
    return FileOps.Close(file) && cut;
}

// Takes an append back: the file goes if the append made it, else back to its old bytes.
static bool PutBack(const char *path, bool created, unsigned long long size) {
    if (created) return DeleteFileRetrying(path) != 0;
    return CutFile(path, size) || RestorePrefix(path, size);
}

// Keeps the error that made a write fail across the clean-up after it.
struct SavedError {
    DWORD Code;
    SavedError() : Code(GetLastError()) {
        if (Code == ERROR_SUCCESS) Code = ERROR_WRITE_FAULT; // a short write sets none
    }
    int Fail() const {
        SetLastError(Code);
        return 0;
    }
};

int AppendLineToFileUndoable(const char *path, const char *line, AppendedLine *appended) {
    return AppendLineBytesUndoable(path, line, strlen(line), appended);
}

int AppendLineBytesUndoable(const char *path, const char *line, size_t lineLength,
                            AppendedLine *appended) {
    if (memchr(line, '\r', lineLength) != nullptr || memchr(line, '\n', lineLength) != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    size_t pathLength = strnlen(path, MAX_PATH);
    if (pathLength == MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    HANDLE file =
        FileOps.Create(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;

    bool open = false;
    unsigned long long size = 0;
    char end[3];
    if (!ReadTail(file, &open, &size, end)) {
        // Nothing written yet; a file made just now goes again.
        SavedError error;
        FileOps.Close(file);
        if (created) DeleteFileRetrying(path);
        return error.Fail();
    }
    // One write: the line end an open last line lacks, then the line as a done line ("~"
    // first), then the file's line end. Cut short by a full disk, it names nothing.
    size_t endLength = strlen(end);
    size_t start = open ? endLength : 0;
    size_t total = start + lineLength + endLength;
    char *bytes = static_cast<char *>(malloc(total));
    bool written = bytes != nullptr;
    if (!written) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (written) {
        memcpy(bytes, end, start);
        memcpy(bytes + start, line, lineLength);
        if (lineLength > 0) bytes[start] = '~';
        memcpy(bytes + start + lineLength, end, endLength);
        written = WriteAll(file, bytes, total);
        free(bytes);
    }
    // Only now, with the whole line on disk, the line's own first character.
    if (written && lineLength > 0)
        written = FileOps.Flush(file) && SeekTo(file, size + start) && WriteAll(file, line, 1);
    if (written) {
        written = FlushAndClose(file);
        if (!written) {
            SavedError error;
            PutBack(path, created, size);
            return error.Fail();
        }
    } else {
        SavedError error;
        // Cut back through the handle still open: no second open that a full or locked
        // disk could refuse.
        bool restored = !created && CutAt(file, size);
        FileOps.Close(file);
        if (!restored) PutBack(path, created, size);
        return error.Fail();
    }
    memcpy(appended->Path, path, pathLength + 1);
    appended->Created = created;
    appended->Size = size;
    appended->NewSize = size + total;
    return 1;
}

int AppendLineToFile(const char *path, const char *line) {
    AppendedLine appended;
    return AppendLineToFileUndoable(path, line, &appended);
}

int UndoAppend(const AppendedLine *appended) {
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(appended->Path, &found)) return 0;
    unsigned long long size =
        (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    // Someone else wrote to it since: taking bytes off the end would take theirs.
    if (size != appended->NewSize) return 0;
    return PutBack(appended->Path, appended->Created, appended->Size);
}

int CreateFileIfMissing(const char *path) {
    HANDLE file = FileOps.Create(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    // Nothing was written through the handle: a failed close loses nothing.
    FileOps.Close(file);
    return 1;
}

int WriteRewrittenCopy(const char *path, char *temporaryPath, LineFilter filter, void *context) {
    LineReader reader;
    if (!OpenLineReader(&reader, path)) {
        CloseLineReader(&reader);
        return 0;
    }
    HANDLE temporary = CreateTemporaryFile(temporaryPath);
    if (temporary == INVALID_HANDLE_VALUE) {
        CloseLineReader(&reader);
        return 0;
    }
    bool complete = false;
    for (;;) {
        char *line;
        size_t length;
        int got = ReadLine(&reader, &line, &length);
        if (got == 0) {
            complete = true;
            break;
        }
        if (got < 0) break;
        int keep = filter(line, &length, context);
        if (keep < 0) break;
        if (keep > 0 && !WriteLine(temporary, line, length, reader.LineEnd)) break;
    }
    CloseLineReader(&reader);
    if (!complete) {
        FileOps.Close(temporary);
        FileOps.Remove(temporaryPath);
        return 0;
    }
    if (!FlushAndClose(temporary)) {
        FileOps.Remove(temporaryPath);
        return 0;
    }
    return 1;
}

int ReplaceWithCopy(const char *temporaryPath, const char *path) {
    if (FileOps.Replace(temporaryPath, path, MOVEFILE_REPLACE_EXISTING)) return 1;
    DeleteFileRetrying(temporaryPath);
    return 0;
}

void DiscardCopy(const char *temporaryPath) {
    DeleteFileRetrying(temporaryPath);
}

int RewriteTextFile(const char *path, char *temporaryPath, LineFilter filter, void *context) {
    return WriteRewrittenCopy(path, temporaryPath, filter, context) &&
           ReplaceWithCopy(temporaryPath, path);
}

int GetFileIdentity(const char *path, FileIdentity *identity) {
    memset(identity, 0, sizeof(*identity));
    // No access asked: it only names the file, and hinders no one who has it open.
    HANDLE file = FileOps.Create(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    DWORD error = GetLastError();
    identity->Regular = known && GetFileType(file) == FILE_TYPE_DISK &&
                        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FileOps.Close(file);
    if (!known) {
        SetLastError(error);
        return 0;
    }
    identity->Volume = info.dwVolumeSerialNumber;
    identity->Index =
        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity->Size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity->WriteTime =
        (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime;
    return 1;
}

bool SameFile(const FileIdentity *a, const FileIdentity *b) {
    return a->Volume == b->Volume && a->Index == b->Index;
}

bool FileUnchanged(const char *path, const FileIdentity *seen) {
    FileIdentity now;
    return GetFileIdentity(path, &now) && SameFile(&now, seen) && now.Size == seen->Size &&
           now.WriteTime == seen->WriteTime;
}
