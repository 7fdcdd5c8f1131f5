#include "file_faults.h"

#include <string.h>

#include "bso/text_file.h"

namespace {

struct Armed {
    FileCall call = FileCall::None;
    int remaining = 0;
    bool triggered = false;
    std::string createPathSuffix;
    FileFaults *owner = nullptr;
} armed;

bool ShouldFail(FileCall call) {
    if (armed.call != call || armed.triggered) return false;
    if (--armed.remaining > 0) return false;
    armed.triggered = true;
    SetLastError(ERROR_DISK_FULL);
    return true;
}

bool EndsWith(const char *text, const std::string &suffix) {
    size_t length = strlen(text);
    return length >= suffix.size() &&
           suffix.compare(0, suffix.size(), text + length - suffix.size()) == 0;
}

HANDLE WINAPI FaultyCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (EndsWith(path, armed.createPathSuffix) && ShouldFail(FileCall::Create))
        return INVALID_HANDLE_VALUE;
    return Win32FileOps.Create(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI FaultyRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got,
                       LPOVERLAPPED overlapped) {
    if (ShouldFail(FileCall::Read)) return FALSE;
    return Win32FileOps.Read(file, buffer, size, got, overlapped);
}

BOOL WINAPI FaultyWrite(HANDLE file, const void *buffer, DWORD size, LPDWORD written,
                        LPOVERLAPPED overlapped) {
    if (ShouldFail(FileCall::Write)) return FALSE;
    if (size > 1 && ShouldFail(FileCall::ShortWrite)) {
        // A full disk that takes half of the bytes and reports success.
        return Win32FileOps.Write(file, buffer, size / 2, written, overlapped);
    }
    return Win32FileOps.Write(file, buffer, size, written, overlapped);
}

DWORD WINAPI FaultySeek(HANDLE file, LONG distance, LONG *high, DWORD method) {
    if (ShouldFail(FileCall::Seek)) return INVALID_SET_FILE_POINTER;
    return Win32FileOps.Seek(file, distance, high, method);
}

BOOL WINAPI FaultyFlush(HANDLE file) {
    if (ShouldFail(FileCall::Flush)) return FALSE;
    return Win32FileOps.Flush(file);
}

// A failed close still releases the handle, as the system's does.
BOOL WINAPI FaultyClose(HANDLE file) {
    BOOL closed = Win32FileOps.Close(file);
    if (ShouldFail(FileCall::Close)) return FALSE;
    return closed;
}

BOOL WINAPI FaultyReplace(LPCSTR from, LPCSTR to, DWORD flags) {
    if (ShouldFail(FileCall::Replace)) return FALSE;
    return Win32FileOps.Replace(from, to, flags);
}

BOOL WINAPI RecordingMakeDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    if (armed.owner != nullptr) armed.owner->CreatedDirectories.push_back(path);
    if (ShouldFail(FileCall::MakeDirectory)) return FALSE;
    return Win32FileOps.MakeDirectory(path, security);
}

} // namespace

const char *FileCallName(FileCall call) {
    switch (call) {
    case FileCall::None:
        return "none";
    case FileCall::Create:
        return "create";
    case FileCall::Read:
        return "read";
    case FileCall::Write:
        return "write";
    case FileCall::ShortWrite:
        return "short write";
    case FileCall::Seek:
        return "seek";
    case FileCall::Flush:
        return "flush";
    case FileCall::Close:
        return "close";
    case FileCall::Replace:
        return "replace";
    case FileCall::MakeDirectory:
        return "make directory";
    }
    return "?";
}

FileFaults::FileFaults() {
    armed = Armed();
    armed.owner = this;
    FileOps.Create = FaultyCreate;
    FileOps.Read = FaultyRead;
    FileOps.Write = FaultyWrite;
    FileOps.Seek = FaultySeek;
    FileOps.Flush = FaultyFlush;
    FileOps.Close = FaultyClose;
    FileOps.Replace = FaultyReplace;
    FileOps.MakeDirectory = RecordingMakeDirectory;
}

FileFaults::~FileFaults() {
    FileOps = Win32FileOps;
    armed = Armed();
}

void FileFaults::FailAt(FileCall call, int n, const std::string &createPathSuffix) {
    armed.call = call;
    armed.remaining = n;
    armed.triggered = false;
    armed.createPathSuffix = createPathSuffix;
}

bool FileFaults::Triggered() const {
    return armed.triggered;
}
