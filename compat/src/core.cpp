// The last error, live handles, and the translation of Win32 paths (drive Z: is "/") to POSIX
// paths whose components are found without regard to case, as Windows finds them.
#include "internal.h"

#include <compat_posix.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace compat {
namespace {

// In the static block every thread starts with, not one from the heap: the plugin module is
// loaded at run time, and gcc 12's LeakSanitizer takes a module's heap block that falls 16
// bytes past a page boundary for glibc's own header, and scans wild memory at exit.
__attribute__((tls_model("initial-exec"))) thread_local DWORD last_error = 0;

std::mutex objects_mutex;

// Windows keeps the current directory as SetCurrentDirectoryA was given it, in the caller's
// spelling; so does this layer, as long as nothing else has changed directory since.
std::mutex directory_mutex;
std::string directory_given;    // lexical POSIX form of what the caller gave
std::string directory_resolved; // where that led on disk
std::unordered_set<const void *> &LiveObjects() {
    static auto *objects = new std::unordered_set<const void *>; // outlives static destructors
    return *objects;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Windows drops one trailing dot from every component, and all trailing dots and spaces from the
// last one ("a.\b. " is "a\b"); components made only of dots are left to the ".." handling.
// Returns where the component [begin, end) ends once trimmed.
const char *TrimmedEnd(const char *begin, const char *end, bool last) {
    const char *c = begin;
    while (c < end && *c == '.') ++c;
    if (c == end) return end;
    if (last) {
        while (end > begin && (end[-1] == '.' || end[-1] == ' ')) --end;
    } else if (end[-1] == '.') {
        --end;
    }
    return end;
}

// The absolute POSIX form of a Win32 path, "." and ".." applied without looking at the disk:
// "/a/b", or "" for the root. Built in one string: every file lookup goes through here.
bool LexicalPath(const char *path, std::string &out) {
    out.clear();
    if (!path) {
        Fail(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!*path || (IsSeparator(path[0]) && IsSeparator(path[1]))) { // empty or UNC
        Fail(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const char *rest = path;
    if (((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':') {
        if ((path[0] | 0x20) != 'z') {
            Fail(ERROR_PATH_NOT_FOUND);
            return false;
        }
        rest = path + 2;
    }
    std::string current;
    if (!IsSeparator(*rest) && !CurrentDirectory(current)) return false; // relative
    // Written in place: each component takes no more room than it had, with its separator, in
    // the current directory or in the path; one more for a first component without one.
    out.resize(current.size() + std::strlen(rest) + 1);
    char *written = &out[0];
    size_t used = 0;
    auto add = [&](const char *begin, size_t length) {
        written[used++] = '/';
        std::memcpy(written + used, begin, length);
        used += length;
    };
    for (const char *part = current.c_str(); *part;) {
        const char *end = std::strchr(part, '/');
        if (!end) end = part + std::strlen(part);
        if (end > part) add(part, static_cast<size_t>(end - part));
        part = *end ? end + 1 : end;
    }
    while (*rest) {
        while (IsSeparator(*rest)) ++rest;
        const char *end = rest + std::strcspn(rest, "\\/");
        if (end == rest) break;
        const char *begin = rest;
        size_t length = static_cast<size_t>(TrimmedEnd(begin, end, *end == '\0') - begin);
        rest = end;
        if (length == 0 || (length == 1 && begin[0] == '.')) continue;
        if (length == 2 && begin[0] == '.' && begin[1] == '.') {
            while (used > 0 && written[used - 1] != '/') --used; // the last component goes
            if (used > 0) --used;
            continue;
        }
        add(begin, length);
    }
    out.resize(used);
    return true;
}

} // namespace

bool CurrentDirectory(std::string &posix_path) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) {
        FailErrno(errno);
        return false;
    }
    std::lock_guard<std::mutex> lock(directory_mutex);
    posix_path = cwd == directory_resolved ? directory_given : cwd;
    return true;
}

namespace {

// The table's node of the last object forgotten, for the next registered: a listing opens and
// closes a search a folder, and each would otherwise allocate and free a node.
std::unordered_set<const void *>::node_type &SpareNode() {
    static auto *node = new std::unordered_set<const void *>::node_type; // as the table
    return *node;
}

} // namespace

void RegisterObject(Object *object) {
    std::lock_guard<std::mutex> lock(objects_mutex);
    auto &node = SpareNode();
    if (node.empty()) {
        LiveObjects().insert(object);
        return;
    }
    node.value() = object;
    LiveObjects().insert(std::move(node));
}

Object *FindObject(const void *handle, Object::Kind kind) {
    std::lock_guard<std::mutex> lock(objects_mutex);
    if (handle && LiveObjects().count(handle)) {
        auto *object = static_cast<Object *>(const_cast<void *>(handle));
        if (object->kind == kind) return object;
    }
    last_error = ERROR_INVALID_HANDLE;
    return nullptr;
}

bool ForgetObject(Object *object) {
    std::lock_guard<std::mutex> lock(objects_mutex);
    auto node = LiveObjects().extract(object);
    if (node.empty()) return false;
    SpareNode() = std::move(node);
    return true;
}

bool DestroyObject(Object *object) {
    if (!ForgetObject(object)) return false;
    delete object;
    return true;
}

void Fail(DWORD error) {
    last_error = error;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ELOOP:
        return ERROR_CANTOPEN;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD ErrorFromErrnoAt(int error, const std::string &posix_path) {
    if (error != ENOENT || posix_path.empty()) return ErrorFromErrno(error);
    std::string::size_type slash = posix_path.find_last_of('/');
    std::string parent = slash == 0 ? "/" : posix_path.substr(0, slash);
    struct stat info;
    if (slash != std::string::npos && stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

void FailErrno(int error, const std::string &posix_path) {
    last_error = ErrorFromErrnoAt(error, posix_path);
}

bool EqualNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string FindEntryName(const std::string &directory, const std::string &name) {
    std::string exact = directory == "/" ? "/" + name : directory + "/" + name;
    struct stat info;
    if (lstat(exact.c_str(), &info) == 0) return name;
    std::string found;
    if (DIR *listing = opendir(directory.c_str())) {
        while (struct dirent *entry = readdir(listing)) {
            if (EqualNoCase(entry->d_name, name)) {
                found = entry->d_name;
                break;
            }
        }
        closedir(listing);
    }
    return found;
}

bool ToPosixLexical(const char *windows_path, std::string &posix_path) {
    if (!LexicalPath(windows_path, posix_path)) return false;
    if (posix_path.empty()) posix_path = "/";
    return true;
}

bool ToPosix(const char *windows_path, std::string &posix_path) {
    std::string lexical;
    if (!ToPosixLexical(windows_path, lexical)) return false;
    // A path that exists as spelled has every component under its exact name, which the
    // lookup below would keep: one lstat instead of one per component.
    struct stat info;
    if (lstat(lexical.c_str(), &info) == 0) {
        posix_path = lexical;
        return true;
    }
    std::string path = "/";
    bool exists = true; // once a component is missing, the rest cannot be looked up
    for (size_t start = 1; start < lexical.size();) {
        size_t end = lexical.find('/', start);
        if (end == std::string::npos) end = lexical.size();
        std::string part = lexical.substr(start, end - start);
        start = end + 1;
        std::string name = part;
        if (exists) {
            std::string found = FindEntryName(path, part);
            if (found.empty())
                exists = false;
            else
                name = found;
        }
        if (path.back() != '/') path += '/';
        path += name;
    }
    posix_path = path;
    return true;
}

std::string ToWindows(const std::string &posix_path) {
    std::string text = posix_path;
    for (char &c : text)
        if (c == '/') c = '\\';
    return text.empty() || text[0] != '\\' ? text : "Z:" + text;
}

DWORD AttributesOf(const struct stat &info) {
    return AttributesOfMode(info.st_mode);
}

DWORD CopyOut(const std::string &text, char *buffer, DWORD size) {
    if (!buffer || text.size() >= size) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

} // namespace compat

using namespace compat;

extern "C" {

DWORD WINAPI GetLastError(void) {
    return last_error;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}

// The texts of the codes the layer sets, worded as Windows words them.
static const char *SystemMessageText(DWORD code) {
    switch (code) {
    case ERROR_SUCCESS:
        return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "The system cannot open the file.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Not enough memory resources are available to process this command.";
    case ERROR_INVALID_DRIVE:
        return "The system cannot find the drive specified.";
    case ERROR_NOT_SAME_DEVICE:
        return "The system cannot move the file to a different disk drive.";
    case ERROR_NO_MORE_FILES:
        return "There are no more files.";
    case ERROR_WRITE_FAULT:
        return "The system cannot write to the specified device.";
    case ERROR_READ_FAULT:
        return "The system cannot read from the specified device.";
    case ERROR_GEN_FAILURE:
        return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process.";
    case ERROR_HANDLE_EOF:
        return "Reached the end of the file.";
    case ERROR_FILE_EXISTS:
        return "The file exists.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_INSUFFICIENT_BUFFER:
        return "The data area passed to a system call is too small.";
    case ERROR_INVALID_NAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_MOD_NOT_FOUND:
        return "The specified module could not be found.";
    case ERROR_PROC_NOT_FOUND:
        return "The specified procedure could not be found.";
    case ERROR_NEGATIVE_SEEK:
        return "An attempt was made to move the file pointer before the beginning of the file.";
    case ERROR_DIR_NOT_EMPTY:
        return "The directory is not empty.";
    case ERROR_BUSY:
        return "The requested resource is in use.";
    case ERROR_ALREADY_EXISTS:
        return "Cannot create a file when that file already exists.";
    case ERROR_FILENAME_EXCED_RANGE:
        return "The filename or extension is too long.";
    case ERROR_BAD_FILE_TYPE:
        return "The file type being saved or retrieved has been blocked.";
    case ERROR_MORE_DATA:
        return "More data is available.";
    case ERROR_NO_MORE_ITEMS:
        return "No more data is available.";
    case ERROR_DIRECTORY:
        return "The directory name is invalid.";
    case ERROR_BADDB:
        return "The configuration registry database is corrupt.";
    case ERROR_BADKEY:
        return "The configuration registry key is invalid.";
    case ERROR_CANTOPEN:
        return "The configuration registry key could not be opened.";
    case ERROR_CANTREAD:
        return "The configuration registry key could not be read.";
    case ERROR_CANTWRITE:
        return "The configuration registry key could not be written.";
    default:
        return nullptr;
    }
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, const void *, DWORD dwMessageId, DWORD, LPSTR lpBuffer,
                            DWORD nSize, void *) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) ||
        (dwFlags & ~(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS)) || !lpBuffer) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const char *text = SystemMessageText(dwMessageId);
    if (!text) {
        last_error = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    size_t length = std::strlen(text);
    if (length + 3 > nSize) {
        last_error = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(lpBuffer, text, length);
    std::memcpy(lpBuffer + length, "\r\n", 3);
    return static_cast<DWORD>(length + 2);
}

int CompatToPosixPath(const char *windows_path, char *posix_path, size_t size) {
    std::string path;
    if (!ToPosix(windows_path, path) || !posix_path || path.size() >= size) return 0;
    std::memcpy(posix_path, path.c_str(), path.size() + 1);
    return 1;
}

int CompatFromPosixPath(const char *posix_path, char *windows_path, size_t size) {
    if (!posix_path || !windows_path) return 0;
    std::string path = ToWindows(posix_path);
    if (path.size() >= size) return 0;
    std::memcpy(windows_path, path.c_str(), path.size() + 1);
    return 1;
}

int CompatExistsAsSpelled(const char *windows_path) {
    std::string path;
    if (!windows_path || !ToPosixLexical(windows_path, path)) return 0;
    size_t length = std::strlen(windows_path), name = length;
    while (name > 0 && !IsSeparator(windows_path[name - 1])) --name;
    if (name == 0 && length >= 2 && windows_path[1] == ':') name = 2; // "Z:file"
    length -= name;
    struct stat info;
    return length > 0 && path.size() > length && path[path.size() - length - 1] == '/' &&
           path.compare(path.size() - length, length, windows_path + name) == 0 &&
           lstat(path.c_str(), &info) == 0;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string current;
    return CurrentDirectory(current) ? CopyOut(ToWindows(current), lpBuffer, nBufferLength) : 0;
}

// $TMPDIR as Windows takes %TMP%, else /tmp; always with its closing backslash.
DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    const char *folder = std::getenv("TMPDIR");
    std::string path = ToWindows(folder != nullptr && folder[0] == '/' ? folder : "/tmp");
    if (path.empty() || path.back() != '\\') path += '\\';
    return CopyOut(path, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    std::string path, given;
    if (!ToPosix(lpPathName, path) || !ToPosixLexical(lpPathName, given)) return FALSE;
    if (chdir(path.c_str()) != 0) {
        Fail(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrnoAt(errno, path));
        return FALSE;
    }
    char cwd[4096];
    std::lock_guard<std::mutex> lock(directory_mutex);
    directory_given = given;
    directory_resolved = getcwd(cwd, sizeof cwd) ? cwd : "";
    return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR *lpFilePart) {
    std::string path;
    if (!ToPosixLexical(lpFileName, path)) return 0;
    std::string full = ToWindows(path);
    size_t length = std::strlen(lpFileName);
    bool trailing = length > 0 && (lpFileName[length - 1] == '\\' || lpFileName[length - 1] == '/');
    if (trailing && full.back() != '\\') full += '\\';
    DWORD result = CopyOut(full, lpBuffer, nBufferLength);
    if (lpFilePart && result < nBufferLength) {
        size_t slash = full.find_last_of('\\');
        *lpFilePart = slash + 1 < full.size() ? lpBuffer + slash + 1 : nullptr;
    }
    return result;
}

} // extern "C"
