#include "bso/text_file.h"

#include "common/helpers.h"

#ifndef _WIN32
#include <compat_posix.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const FileOperations Win32FileOps = {CreateFileA,      ReadFile,    WriteFile,   SetFilePointer,
                                     FlushFileBuffers, CloseHandle, MoveFileExA, DeleteFileA,
                                     CreateDirectoryA, SetEndOfFile};
FileOperations FileOps = Win32FileOps;

static const char LineEnd[] = "\r\n";

int OpenLineReaderUpTo(LineReader *Reader, const char *Path, unsigned long long Limit) {
    Reader->Buffer = Reader->Chunk;
    Reader->BufferSize = sizeof Reader->Chunk;
    Reader->ChunkLength = 0;
    Reader->ChunkPosition = 0;
    Reader->AtEnd = false;
    Reader->LineEnd[0] = '\0';
    Reader->Line = nullptr;
    Reader->LineCapacity = 0;
    Reader->Left = Limit;
    // The mailer may have the file open at the same time.
    Reader->File = FileOps.Create(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Reader->File == INVALID_HANDLE_VALUE) return 0;
    // A FIFO or a device under a file's name would never end, or never answer.
    if (GetFileType(Reader->File) != FILE_TYPE_DISK) {
        FileOps.Close(Reader->File);
        Reader->File = INVALID_HANDLE_VALUE;
        SetLastError(ERROR_BAD_FILE_TYPE);
        return 0;
    }
    return 1;
}

int OpenLineReader(LineReader *Reader, const char *Path) {
    return OpenLineReaderUpTo(Reader, Path, ~0ull);
}

void UseLineBuffer(LineReader *Reader, char *Buffer, DWORD Size) {
    Reader->Buffer = Buffer;
    Reader->BufferSize = Size;
}

// Makes room for at least needed bytes of line storage.
static bool GrowLine(LineReader *Reader, size_t Needed) {
    if (Needed <= Reader->LineCapacity) return true;
    size_t capacity = Reader->LineCapacity != 0 ? Reader->LineCapacity : 256;
    while (capacity < Needed) capacity *= 2;
    char *grown = static_cast<char *>(realloc(Reader->Line, capacity));
    if (grown == nullptr) return false;
    Reader->Line = grown;
    Reader->LineCapacity = capacity;
    return true;
}

// The first CR or LF of the bytes, or null.
static const char *FindLineEnd(const char *Start, size_t Available) {
    // Two scans of the C library's own speed: the first LF, then a CR before it.
    const char *lineFeed = static_cast<const char *>(memchr(Start, '\n', Available));
    size_t before = lineFeed ? static_cast<size_t>(lineFeed - Start) : Available;
    const char *carriageReturn = static_cast<const char *>(memchr(Start, '\r', before));
    return carriageReturn ? carriageReturn : lineFeed;
}

int ReadLine(LineReader *Reader, char **Line, size_t *Length) {
    if (Reader->File == INVALID_HANDLE_VALUE) return -1;
    size_t used = 0;
    bool any = false;
    for (;;) {
        if (Reader->ChunkPosition == Reader->ChunkLength) {
            if (Reader->AtEnd) break;
            DWORD got = 0;
            DWORD want = Reader->Left < Reader->BufferSize ? static_cast<DWORD>(Reader->Left)
                                                           : Reader->BufferSize;
            if (want > 0 && !FileOps.Read(Reader->File, Reader->Buffer, want, &got, nullptr))
                return -1;
            Reader->Left -= got;
            Reader->ChunkLength = got;
            Reader->ChunkPosition = 0;
            if (got == 0) {
                Reader->AtEnd = true;
                break;
            }
        }
        any = true;
        char *start = Reader->Buffer + Reader->ChunkPosition;
        DWORD available = Reader->ChunkLength - Reader->ChunkPosition;
        const char *lineEnd = FindLineEnd(start, available);
        // A line that lies whole in the chunk is handed out where it lies, its end's byte made
        // its terminating zero: no copy. Not a CR that ends the chunk: its LF may be in the next.
        if (used == 0 && lineEnd != nullptr &&
            (*lineEnd == '\n' || lineEnd + 1 < start + available || Reader->AtEnd)) {
            DWORD take = static_cast<DWORD>(lineEnd - start);
            Reader->ChunkPosition += take + 1;
            bool crlf = *lineEnd == '\r' && Reader->ChunkPosition < Reader->ChunkLength &&
                        Reader->Buffer[Reader->ChunkPosition] == '\n';
            Reader->LineEnd[0] = *lineEnd;
            Reader->LineEnd[1] = crlf ? '\n' : '\0';
            Reader->LineEnd[2] = '\0';
            if (crlf) ++Reader->ChunkPosition;
            start[take] = '\0';
            *Line = start;
            *Length = take;
            return 1;
        }
        DWORD take = lineEnd != nullptr ? static_cast<DWORD>(lineEnd - start) : available;
        if (!GrowLine(Reader, used + take + 1)) return -1;
        memcpy(Reader->Line + used, start, take);
        used += take;
        Reader->ChunkPosition += take;
        if (lineEnd != nullptr) {
            // CR LF, LF and a CR alone all end a line: old mailers and editors wrote each.
            ++Reader->ChunkPosition;
            bool carriageReturn = *lineEnd == '\r';
            strcpy(Reader->LineEnd, carriageReturn ? "\r" : "\n");
            // The LF of a CR LF may lie in the next chunk.
            if (carriageReturn && Reader->ChunkPosition == Reader->ChunkLength && !Reader->AtEnd) {
                DWORD got = 0;
                if (!FileOps.Read(Reader->File, Reader->Buffer, Reader->BufferSize, &got, nullptr))
                    return -1;
                Reader->ChunkLength = got;
                Reader->ChunkPosition = 0;
                Reader->AtEnd = got == 0;
            }
            if (carriageReturn && Reader->ChunkPosition < Reader->ChunkLength &&
                Reader->Buffer[Reader->ChunkPosition] == '\n') {
                ++Reader->ChunkPosition;
                strcpy(Reader->LineEnd, "\r\n");
            }
            Reader->Line[used] = '\0';
            *Line = Reader->Line;
            *Length = used;
            return 1;
        }
    }
    if (!any) return 0;
    // The last line, without a line end.
    Reader->LineEnd[0] = '\0';
    if (!GrowLine(Reader, used + 1)) return -1;
    Reader->Line[used] = '\0';
    *Line = Reader->Line;
    *Length = used;
    return 1;
}

void CloseLineReader(LineReader *Reader) {
    if (Reader->File != INVALID_HANDLE_VALUE) FileOps.Close(Reader->File);
    Reader->File = INVALID_HANDLE_VALUE;
    free(Reader->Line);
    Reader->Line = nullptr;
    Reader->LineCapacity = 0;
}

// Writes all bytes or reports failure; a short write counts as failure (a full disk).
static bool WriteAll(HANDLE File, const char *Bytes, size_t Size) {
    while (Size > 0) {
        DWORD part = Size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(Size);
        DWORD written = 0;
        if (!FileOps.Write(File, Bytes, part, &written, nullptr) || written != part) return false;
        Bytes += part;
        Size -= part;
    }
    return true;
}

static bool WriteLine(HANDLE File, const char *Line, size_t Length, const char *End) {
    return WriteAll(File, Line, Length) && WriteAll(File, End, strlen(End));
}

// Flushes and closes; true only when both succeeded. The handle is closed in any case.
static bool FlushAndClose(HANDLE File) {
    bool flushed = FileOps.Flush(File) != 0;
    bool closed = FileOps.Close(File) != 0;
    return flushed && closed;
}

// Moves the file pointer to offset bytes from the end; *position receives the new position.
static bool SeekFromEnd(HANDLE File, long long Offset, unsigned long long *Position) {
    LONG high = static_cast<LONG>(Offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = FileOps.Seek(File, static_cast<LONG>(Offset & 0xFFFFFFFF), &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    *Position = (static_cast<unsigned long long>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

// Sets *open when the file is not empty and its last byte ends no line, *size to its size and
// end to the last line end in its tail (CR LF where it has none). Leaves the file pointer at the
// end of the file. False when the file cannot be read.
static bool ReadTail(HANDLE File, bool *Open, unsigned long long *Size, char (&End)[3]) {
    *Open = false;
    strcpy(End, LineEnd);
    if (!SeekFromEnd(File, 0, Size)) return false;
    if (*Size == 0) return true;
    char tail[512];
    DWORD want = *Size < sizeof tail ? static_cast<DWORD>(*Size) : sizeof tail;
    unsigned long long position;
    if (!SeekFromEnd(File, -static_cast<long long>(want), &position)) return false;
    DWORD got = 0;
    if (!FileOps.Read(File, tail, want, &got, nullptr) || got != want) return false;
    *Open = tail[want - 1] != '\n' && tail[want - 1] != '\r';
    for (DWORD at = want; at-- > 0;) {
        if (tail[at] == '\n') {
            strcpy(End, at > 0 && tail[at - 1] == '\r' ? "\r\n" : "\n");
            break;
        }
        // A CR alone ends a line only with no LF behind it (the tail may end between the two).
        if (tail[at] == '\r' && at + 1 < want) {
            strcpy(End, "\r");
            break;
        }
    }
    return SeekFromEnd(File, 0, &position);
}

static bool SeekTo(HANDLE File, unsigned long long Position) {
    LONG high = static_cast<LONG>(Position >> 32);
    SetLastError(NO_ERROR);
    DWORD low = FileOps.Seek(File, static_cast<LONG>(Position & 0xFFFFFFFF), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// A name already taken (a file, a directory, a link) makes the next candidate: "-1" to "-15"
// before the extension of the preferred name.
static bool NextTemporaryName(const char *Preferred, int Attempt, char *Name) {
    size_t length = strlen(Preferred);
    size_t dot = length;
    for (size_t position = length; position-- > 0;) {
        char c = Preferred[position];
        if (c == '.') {
            dot = position;
            break;
        }
        if (c == '\\' || c == '/' || c == ':') break;
    }
    char number[8];
    int numberLength = snprintf(number, sizeof number, "-%d", Attempt);
    if (numberLength <= 0 || length + static_cast<size_t>(numberLength) >= MAX_PATH) return false;
    memcpy(Name, Preferred, dot);
    memcpy(Name + dot, number, static_cast<size_t>(numberLength));
    memcpy(Name + dot + numberLength, Preferred + dot, length - dot + 1);
    return true;
}

HANDLE CreateTemporaryFile(char *Path) {
    const int attempts = 16;
    char preferred[MAX_PATH];
    size_t length = strnlen(Path, MAX_PATH);
    if (length == MAX_PATH) return INVALID_HANDLE_VALUE;
    memcpy(preferred, Path, length + 1);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0 && !NextTemporaryName(preferred, attempt, Path)) break;
        // Never through an existing name: a link planted there would redirect the write.
        HANDLE file = FileOps.Create(Path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED)
            break;
    }
    memcpy(Path, preferred, length + 1);
    return INVALID_HANDLE_VALUE;
}

WriteOutcome DeleteFileRetrying(const char *Path) {
    const int attempts = 3;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (FileOps.Remove(Path)) return WriteDone;
        if (GetFileAttributesA(Path) == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return WriteDone;
        }
    }
    return WriteFailed;
}

// Puts the file back to its first size bytes. These calls cannot cut a file, so a copy of
// those bytes ("<name>~" beside it, or a free variant of that name) replaces it in one step.
static bool RestorePrefix(const char *Path, unsigned long long Size) {
    char copyPath[MAX_PATH];
    size_t length = strlen(Path);
    if (length + 2 > sizeof copyPath) return false;
    memcpy(copyPath, Path, length);
    copyPath[length] = '~';
    copyPath[length + 1] = '\0';
    HANDLE source = FileOps.Create(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    HANDLE copy = CreateTemporaryFile(copyPath);
    if (copy == INVALID_HANDLE_VALUE) {
        FileOps.Close(source);
        return false;
    }
    char buffer[4096];
    bool copied = true;
    for (unsigned long long left = Size; copied && left > 0;) {
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
    if (!FlushAndClose(copy) || !FileOps.Replace(copyPath, Path, MOVEFILE_REPLACE_EXISTING)) {
        FileOps.Remove(copyPath);
        return false;
    }
    return true;
}

// Cuts the open file at size bytes: taking bytes away needs no room, so it works on a full
// disk where a copy could not be written.
static bool CutAt(HANDLE File, unsigned long long Size) {
    return SeekTo(File, Size) && FileOps.Truncate(File) && FileOps.Flush(File);
}

static bool CutFile(const char *Path, unsigned long long Size) {
    HANDLE file = FileOps.Create(Path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool cut = CutAt(file, Size);
    return FileOps.Close(file) && cut;
}

// Takes an append back: the file goes if the append made it, else back to its old bytes.
static bool PutBack(const char *Path, bool Created, unsigned long long Size) {
    if (Created) return DeleteFileRetrying(Path) == WriteDone;
    return CutFile(Path, Size) || RestorePrefix(Path, Size);
}

// Keeps the error that made a write fail across the clean-up after it.
struct SavedError {
    DWORD Code;
    SavedError() : Code(GetLastError()) {
        if (Code == ERROR_SUCCESS) Code = ERROR_WRITE_FAULT; // a short write sets none
    }
    WriteOutcome Fail() const {
        SetLastError(Code);
        return WriteFailed;
    }
};

WriteOutcome AppendLineToFileUndoable(const char *Path, const char *Line, AppendedLine *Appended) {
    return AppendLineBytesUndoable(Path, Line, strlen(Line), Appended);
}

WriteOutcome AppendLineBytesUndoable(const char *Path, const char *Line, size_t LineLength,
                                     AppendedLine *Appended) {
    if (memchr(Line, '\r', LineLength) != nullptr || memchr(Line, '\n', LineLength) != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return WriteFailed;
    }
    size_t pathLength = strnlen(Path, MAX_PATH);
    if (pathLength == MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return WriteFailed;
    }
    HANDLE file =
        FileOps.Create(Path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return WriteFailed;
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;

    bool open = false;
    unsigned long long size = 0;
    char end[3];
    if (!ReadTail(file, &open, &size, end)) {
        // Nothing written yet; a file made just now goes again.
        SavedError error;
        FileOps.Close(file);
        if (created) DeleteFileRetrying(Path);
        return error.Fail();
    }
    // One write: the line end an open last line lacks, then the line as a done line ("~"
    // first), then the file's line end. Cut short by a full disk, it names nothing.
    size_t endLength = strlen(end);
    size_t start = open ? endLength : 0;
    size_t total = start + LineLength + endLength;
    char *bytes = static_cast<char *>(malloc(total));
    bool written = bytes != nullptr;
    if (!written) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (written) {
        memcpy(bytes, end, start);
        memcpy(bytes + start, Line, LineLength);
        if (LineLength > 0) bytes[start] = '~';
        memcpy(bytes + start + LineLength, end, endLength);
        written = WriteAll(file, bytes, total);
        free(bytes);
    }
    // Only now, with the whole line on disk, the line's own first character.
    if (written && LineLength > 0)
        written = FileOps.Flush(file) && SeekTo(file, size + start) && WriteAll(file, Line, 1);
    if (written) {
        written = FlushAndClose(file);
        if (!written) {
            SavedError error;
            PutBack(Path, created, size);
            return error.Fail();
        }
    } else {
        SavedError error;
        // Cut back through the handle still open: no second open that a full or locked
        // disk could refuse.
        bool restored = !created && CutAt(file, size);
        FileOps.Close(file);
        if (!restored) PutBack(Path, created, size);
        return error.Fail();
    }
    memcpy(Appended->Path, Path, pathLength + 1);
    Appended->Created = created;
    Appended->Size = size;
    Appended->NewSize = size + total;
    return WriteDone;
}

WriteOutcome AppendLineToFile(const char *Path, const char *Line) {
    AppendedLine appended;
    return AppendLineToFileUndoable(Path, Line, &appended);
}

WriteOutcome UndoAppend(const AppendedLine *Appended) {
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(Appended->Path, &found)) return WriteFailed;
    unsigned long long size =
        (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    // Someone else wrote to it since: taking bytes off the end would take theirs.
    if (size != Appended->NewSize) return WriteChanged;
    return PutBack(Appended->Path, Appended->Created, Appended->Size) ? WriteDone : WriteFailed;
}

WriteOutcome CreateFileIfMissing(const char *Path) {
    HANDLE file = FileOps.Create(Path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return WriteFailed;
    // Nothing was written through the handle: a failed close loses nothing.
    FileOps.Close(file);
    return WriteDone;
}

WriteOutcome WriteRewrittenCopy(const char *Path, char *TemporaryPath, LineFilter Filter,
                                void *Context) {
    LineReader reader;
    if (!OpenLineReader(&reader, Path)) {
        CloseLineReader(&reader);
        return WriteFailed;
    }
    HANDLE temporary = CreateTemporaryFile(TemporaryPath);
    if (temporary == INVALID_HANDLE_VALUE) {
        CloseLineReader(&reader);
        return WriteFailed;
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
        int keep = Filter(line, &length, Context);
        if (keep < 0) break;
        if (keep > 0 && !WriteLine(temporary, line, length, reader.LineEnd)) break;
    }
    CloseLineReader(&reader);
    if (!complete) {
        FileOps.Close(temporary);
        FileOps.Remove(TemporaryPath);
        return WriteFailed;
    }
    if (!FlushAndClose(temporary)) {
        FileOps.Remove(TemporaryPath);
        return WriteFailed;
    }
    return WriteDone;
}

WriteOutcome ReplaceWithCopy(const char *TemporaryPath, const char *Path) {
    if (FileOps.Replace(TemporaryPath, Path, MOVEFILE_REPLACE_EXISTING)) return WriteDone;
    DeleteFileRetrying(TemporaryPath);
    return WriteFailed;
}

void DiscardCopy(const char *TemporaryPath) {
    DeleteFileRetrying(TemporaryPath);
}

WriteOutcome RewriteTextFile(const char *Path, char *TemporaryPath, LineFilter Filter,
                             void *Context) {
    if (WriteRewrittenCopy(Path, TemporaryPath, Filter, Context) != WriteDone) return WriteFailed;
    return ReplaceWithCopy(TemporaryPath, Path);
}

void TakeFileIdentity(const BY_HANDLE_FILE_INFORMATION &Info, FileIdentity *Identity) {
    Identity->Volume = Info.dwVolumeSerialNumber;
    Identity->Index =
        (static_cast<unsigned long long>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow;
    Identity->Size =
        (static_cast<unsigned long long>(Info.nFileSizeHigh) << 32) | Info.nFileSizeLow;
    Identity->WriteTime =
        (static_cast<unsigned long long>(Info.ftLastWriteTime.dwHighDateTime) << 32) |
        Info.ftLastWriteTime.dwLowDateTime;
}

int GetFileIdentity(const char *Path, FileIdentity *Identity) {
    memset(Identity, 0, sizeof(*Identity));
    // No access asked: it only names the file, and hinders no one who has it open.
    HANDLE file = FileOps.Create(Path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    DWORD error = GetLastError();
    Identity->Regular = known && GetFileType(file) == FILE_TYPE_DISK &&
                        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FileOps.Close(file);
    if (!known) {
        SetLastError(error);
        return 0;
    }
    TakeFileIdentity(info, Identity);
    return 1;
}

int GetSpelledFileIdentity(const char *Path, FileIdentity *Identity, bool Readable) {
#ifdef _WIN32
    (void)Path;
    (void)Identity;
    (void)Readable;
    return 0;
#else
    // File functions put in place of the system's (a test's faults) are asked as ever.
    BY_HANDLE_FILE_INFORMATION info;
    if (FileOps.Create != Win32FileOps.Create || strlen(Path) >= MAX_PATH ||
        !CompatRegularFileAsSpelled(Path, &info, Readable ? 1 : 0))
        return 0;
    memset(Identity, 0, sizeof(*Identity));
    TakeFileIdentity(info, Identity);
    Identity->Regular = true;
    return 1;
#endif
}

int DescribeOpenedFile(HANDLE File, BY_HANDLE_FILE_INFORMATION *Info) {
#ifndef _WIN32
    if (CompatFileAsOpened(File, Info)) return 1;
#endif
    return GetFileInformationByHandle(File, Info);
}

bool SameFile(const FileIdentity *A, const FileIdentity *B) {
    return A->Volume == B->Volume && A->Index == B->Index;
}

bool FileUnchanged(const char *Path, const FileIdentity *Seen) {
    FileIdentity now;
    return GetFileIdentity(Path, &now) && SameFile(&now, Seen) && now.Size == Seen->Size &&
           now.WriteTime == Seen->WriteTime;
}
