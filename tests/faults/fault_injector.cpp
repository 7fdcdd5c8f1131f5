#include "fault_injector.h"

#include <windows.h>

#include <stdexcept>

namespace {

struct State {
    Fault fault = Fault::DiskFull;
    int failAt = 0; // 0: count only
    int eligible = 0;
    int calls = 0;
    bool fired = false;
    std::string firedCall;
    std::vector<std::string> made, removed;
    std::function<bool(const std::string &, const std::string &, DWORD)> watcher;
} state;

// The functions the table held, and the module's last-error setter: kept apart from State,
// which Arm resets.
FileOperations real = Win32FileOps;
FaultInjector::SetError moduleSetError = SetLastError;

void Fail(DWORD error) {
    moduleSetError(error);
}

bool Refused(const char *call, const char *path, DWORD disposition = 0) {
    if (!state.watcher || !state.watcher(call, path, disposition)) return false;
    Fail(ERROR_ACCESS_DENIED);
    return true;
}

enum class CallKind { Path, Handle, Write };

// Counts the call; true when it is the one to fail.
bool ShouldFail(CallKind kind, DWORD size = 0) {
    ++state.calls;
    if (state.failAt == 0 || state.fired) return false;
    bool applies = false;
    switch (state.fault) {
    case Fault::DiskFull:
    case Fault::AccessDenied:
        applies = true;
        break;
    case Fault::ShortWrite:
        applies = kind == CallKind::Write && size > 1;
        break;
    case Fault::DirectoryInTheWay:
    case Fault::VanishedDirectory:
        applies = kind == CallKind::Path;
        break;
    }
    if (!applies || ++state.eligible != state.failAt) return false;
    state.fired = true;
    return true;
}

DWORD ErrorOfFault() {
    switch (state.fault) {
    case Fault::AccessDenied:
    case Fault::DirectoryInTheWay:
        return ERROR_ACCESS_DENIED;
    case Fault::VanishedDirectory:
        return ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_DISK_FULL;
    }
}

std::string ParentOf(const std::string &path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "" : path.substr(0, cut);
}

bool IsEmptyDirectory(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// Sets up the fault of a call that names a path. True when the call is to fail with
// ErrorOfFault() without being made; false when the world was changed and the real call is
// to meet the change.
bool PreparePathFault(const std::string &path, const char *what) {
    state.firedCall = std::string(what) + " " + path;
    if (state.fault == Fault::DirectoryInTheWay &&
        GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
        CreateDirectoryA(path.c_str(), nullptr)) {
        state.made.push_back(path);
        return false;
    }
    if (state.fault == Fault::VanishedDirectory) {
        std::string parent = ParentOf(path);
        if (IsEmptyDirectory(parent) && RemoveDirectoryA(parent.c_str())) {
            state.removed.push_back(parent);
            return false;
        }
    }
    Fail(ErrorOfFault());
    return true;
}

HANDLE WINAPI Create(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (Refused("create", path, disposition)) return INVALID_HANDLE_VALUE;
    if (ShouldFail(CallKind::Path) && PreparePathFault(path, "create")) return INVALID_HANDLE_VALUE;
    return real.Create(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    if (ShouldFail(CallKind::Handle)) {
        state.firedCall = "read";
        if (got) *got = 0;
        Fail(ErrorOfFault());
        return FALSE;
    }
    return real.Read(file, buffer, size, got, overlapped);
}

BOOL WINAPI Write(HANDLE file, const void *buffer, DWORD size, LPDWORD written,
                  LPOVERLAPPED overlapped) {
    if (ShouldFail(CallKind::Write, size)) {
        state.firedCall = "write of " + std::to_string(size) + " bytes";
        if (state.fault == Fault::ShortWrite)
            return real.Write(file, buffer, size / 2, written, overlapped);
        if (written) *written = 0;
        Fail(ErrorOfFault());
        return FALSE;
    }
    return real.Write(file, buffer, size, written, overlapped);
}

DWORD WINAPI Seek(HANDLE file, LONG distance, LONG *high, DWORD method) {
    if (ShouldFail(CallKind::Handle)) {
        state.firedCall = "seek";
        Fail(ErrorOfFault());
        return INVALID_SET_FILE_POINTER;
    }
    return real.Seek(file, distance, high, method);
}

BOOL WINAPI Flush(HANDLE file) {
    if (ShouldFail(CallKind::Handle)) {
        state.firedCall = "flush";
        Fail(ErrorOfFault());
        return FALSE;
    }
    return real.Flush(file);
}

// A close that fails has still released the handle, as the system's does.
BOOL WINAPI Close(HANDLE file) {
    BOOL closed = real.Close(file);
    if (ShouldFail(CallKind::Handle)) {
        state.firedCall = "close";
        Fail(ErrorOfFault());
        return FALSE;
    }
    return closed;
}

BOOL WINAPI Truncate(HANDLE file) {
    if (ShouldFail(CallKind::Handle)) {
        state.firedCall = "truncate";
        Fail(ErrorOfFault());
        return FALSE;
    }
    return real.Truncate(file);
}

BOOL WINAPI Replace(LPCSTR from, LPCSTR to, DWORD flags) {
    if (Refused("replace", to)) return FALSE;
    if (ShouldFail(CallKind::Path) && PreparePathFault(to, "replace")) return FALSE;
    return real.Replace(from, to, flags);
}

BOOL WINAPI Remove(LPCSTR path) {
    if (Refused("remove", path)) return FALSE;
    if (ShouldFail(CallKind::Path) && PreparePathFault(path, "remove")) return FALSE;
    return real.Remove(path);
}

BOOL WINAPI MakeDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    if (Refused("make directory", path)) return FALSE;
    if (ShouldFail(CallKind::Path) && PreparePathFault(path, "make directory")) return FALSE;
    return real.MakeDirectory(path, security);
}

} // namespace

const char *FaultName(Fault fault) {
    switch (fault) {
    case Fault::DiskFull:
        return "disk full";
    case Fault::ShortWrite:
        return "short write";
    case Fault::AccessDenied:
        return "access denied";
    case Fault::DirectoryInTheWay:
        return "directory in the way";
    case Fault::VanishedDirectory:
        return "vanished directory";
    }
    return "?";
}

namespace {

template <typename Function> Function Export(HMODULE module, const char *name) {
    FARPROC address = module ? GetProcAddress(module, name) : nullptr;
    if (!address) throw std::runtime_error(std::string("the module does not export ") + name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

FileOperations *ModuleTable(HMODULE module) {
    return Export<FileOperations *(WINAPI *)()>(module, "BsopanelFileOperations")();
}

} // namespace

FaultInjector::FaultInjector(HMODULE module) : table_(ModuleTable(module)), saved_(*table_) {
    state = State();
    real = saved_;
    moduleSetError = Export<SetError>(module, "BsopanelSetLastError");
    *table_ = {Create, Read, Write, Seek, Flush, Close, Replace, Remove, MakeDirectory, Truncate};
}

FaultInjector::~FaultInjector() {
    *table_ = saved_;
    state = State();
}

void FaultInjector::Arm(Fault fault, int n) {
    auto watcher = state.watcher;
    state = State();
    state.watcher = watcher;
    state.fault = fault;
    state.failAt = n;
}

void FaultInjector::Watch(
    std::function<bool(const std::string &, const std::string &, DWORD)> watcher) {
    state.watcher = std::move(watcher);
}

bool FaultInjector::Fired() const {
    return state.fired;
}

std::string FaultInjector::FiredCall() const {
    return state.firedCall;
}

int FaultInjector::Calls() const {
    return state.calls;
}

std::vector<std::string> FaultInjector::MadeDirectories() const {
    return state.made;
}

std::vector<std::string> FaultInjector::RemovedDirectories() const {
    return state.removed;
}
