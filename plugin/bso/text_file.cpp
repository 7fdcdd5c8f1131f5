#include "bso/text_file.h"

#include <stdlib.h>
#include <string.h>

const FileOperations Win32FileOps = {CreateFileA,    ReadFile,         WriteFile,
                                     SetFilePointer, FlushFileBuffers, CloseHandle,
                                     MoveFileExA,    DeleteFileA,      CreateDirectoryA};
FileOperations FileOps = Win32FileOps;

static const char LineEnd[] = "\r\n";

int OpenLineReader(LineReader *reader, const char *path) {
    reader->ChunkLength = 0;
    reader->ChunkPosition = 0;
    reader->AtEnd = false;
    reader->Line = nullptr;
    reader->LineCapacity = 0;
    // The mailer may have the file open at the same time.
    reader->File = FileOps.Create(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return reader->File != INVALID_HANDLE_VALUE;
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

int ReadLine(LineReader *reader, char **line, size_t *length) {
    if (reader->File == INVALID_HANDLE_VALUE) return -1;
    size_t used = 0;
    bool any = false;
    for (;;) {
        if (reader->ChunkPosition == reader->ChunkLength) {
            if (reader->AtEnd) break;
            DWORD got = 0;
            if (!FileOps.Read(reader->File, reader->Chunk, sizeof reader->Chunk, &got, nullptr))
                return -1;
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
        const char *newline = static_cast<const char *>(memchr(start, '\n', available));
        DWORD take = newline != nullptr ? static_cast<DWORD>(newline - start) : available;
        if (!GrowLine(reader, used + take + 1)) return -1;
        memcpy(reader->Line + used, start, take);
        used += take;
        reader->ChunkPosition += take;
        if (newline != nullptr) {
            ++reader->ChunkPosition; // the LF itself
            if (used > 0 && reader->Line[used - 1] == '\r') --used;
            reader->Line[used] = '\0';
            *line = reader->Line;
            *length = used;
            return 1;
        }
    }
    if (!any) return 0;
    // The last line, without a line end.
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

static bool WriteLine(HANDLE file, const char *line, size_t length) {
    return WriteAll(file, line, length) && WriteAll(file, LineEnd, 2);
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

// Sets *open when the file is not empty and its last byte is not LF. Leaves the file pointer
// at the end of the file. False when the file cannot be read.
static bool LastLineIsOpen(HANDLE file, bool *open) {
    *open = false;
    unsigned long long size;
    if (!SeekFromEnd(file, 0, &size)) return false;
    if (size == 0) return true;
    unsigned long long position;
    if (!SeekFromEnd(file, -1, &position)) return false;
    char last = '\0';
    DWORD got = 0;
    if (!FileOps.Read(file, &last, 1, &got, nullptr) || got != 1) return false;
    *open = last != '\n';
    return SeekFromEnd(file, 0, &position);
}

int AppendLineToFile(const char *path, const char *line) {
    if (strpbrk(line, "\r\n") != nullptr) return 0;
    HANDLE file =
        FileOps.Create(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    bool open = false;
    bool written = LastLineIsOpen(file, &open) && (!open || WriteAll(file, LineEnd, 2)) &&
                   WriteLine(file, line, strlen(line));
    if (!written) {
        FileOps.Close(file);
        return 0;
    }
    return FlushAndClose(file);
}

int CreateFileIfMissing(const char *path) {
    HANDLE file = FileOps.Create(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    return FileOps.Close(file) != 0;
}

int RewriteTextFile(const char *path, const char *temporaryPath, LineFilter filter, void *context) {
    LineReader reader;
    if (!OpenLineReader(&reader, path)) {
        CloseLineReader(&reader);
        return 0;
    }
    HANDLE temporary = FileOps.Create(temporaryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
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
        if (keep > 0 && !WriteLine(temporary, line, length)) break;
    }
    CloseLineReader(&reader);
    if (!complete) {
        FileOps.Close(temporary);
        FileOps.Remove(temporaryPath);
        return 0;
    }
    if (!FlushAndClose(temporary) ||
        !FileOps.Replace(temporaryPath, path, MOVEFILE_REPLACE_EXISTING)) {
        FileOps.Remove(temporaryPath);
        return 0;
    }
    return 1;
}
