// Shared pieces of the Win32 layer: the last error, the table of live handles, path translation
// and the mapping of errno values to Win32 error codes.
#ifndef BSOPANEL_COMPAT_INTERNAL_H
#define BSOPANEL_COMPAT_INTERNAL_H

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace compat {

// Every HANDLE and HKEY the layer gives out points to one of these; the table of live objects
// lets a stale or foreign handle fail with ERROR_INVALID_HANDLE instead of crashing.
struct Object {
    enum Kind { File, Search, Change, Key };
    explicit Object(Kind kind) : kind(kind) {}
    virtual ~Object() = default;
    const Kind kind;
};

void RegisterObject(Object *object);
// The live object of that kind, or null (ERROR_INVALID_HANDLE set) when there is none.
Object *FindObject(const void *handle, Object::Kind kind);
// Removes the object from the table; false when it was not live.
bool ForgetObject(Object *object);
// Removes the object from the table and deletes it; false when it was not live.
bool DestroyObject(Object *object);

template <typename T> T *Find(const void *handle) {
    return static_cast<T *>(FindObject(handle, T::kKind));
}

void Fail(DWORD error);
DWORD ErrorFromErrno(int error);
// As ErrorFromErrno, but ENOENT tells a missing file (the parent directory exists) from a
// missing path.
DWORD ErrorFromErrnoAt(int error, const std::string &posix_path);
void FailErrno(int error, const std::string &posix_path = std::string());

// A Win32 path ("Z:\a\b", "\a\b", "a\b", either separator) to the POSIX path it names, each
// component that does not exist under its exact name matched without regard to case. Fails with
// ERROR_PATH_NOT_FOUND for another drive. A name that does not exist at all is kept as given,
// so the result also serves to create it.
bool ToPosix(const char *windows_path, std::string &posix_path);
// The same without touching the file system: the absolute, normalised POSIX path.
bool ToPosixLexical(const char *windows_path, std::string &posix_path);
// The current directory, spelled as SetCurrentDirectoryA was given it.
bool CurrentDirectory(std::string &posix_path);
// "/a/b" to "Z:\a\b".
std::string ToWindows(const std::string &posix_path);
// Looks for name in the directory: exact name first, then without regard to case. Returns the
// name as it exists on disk, or an empty string.
std::string FindEntryName(const std::string &directory, const std::string &name);
bool EqualNoCase(const std::string &a, const std::string &b);

// Inline: a listing converts a time or two for each entry.
inline FILETIME ToFileTime(const struct timespec &time) {
    // 100-nanosecond ticks since 1601-01-01 UTC; 11644473600 seconds lie before 1970.
    uint64_t ticks = (static_cast<uint64_t>(time.tv_sec) + 11644473600ull) * 10000000ull +
                     static_cast<uint64_t>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
DWORD AttributesOf(const struct stat &info);
// The same from the mode alone (what Wine reports: no archive bit on directories, read-only
// when nobody may write).
inline DWORD AttributesOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return mode & (S_IWUSR | S_IWGRP | S_IWOTH) ? FILE_ATTRIBUTE_ARCHIVE
                                                : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
}

// Copies text into a caller's buffer the way the Win32 "get string" calls do: on success the
// length without the terminating zero, else the size needed including it.
DWORD CopyOut(const std::string &text, char *buffer, DWORD size);

} // namespace compat

#endif
