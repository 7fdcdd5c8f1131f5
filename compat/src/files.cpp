// File search with DOS wildcards, directory and file operations, and file handles.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace compat {
namespace {

// ---- Wildcards -------------------------------------------------------------------------------

// FindFirstFileA hands the file system a pattern rewritten into the DOS wildcards below, and
// the file system matches names against that; both steps are reproduced here.
enum Wildcard { kStar = -1, kDosStar = -2, kDosQuestion = -3, kDosDot = -4 };

std::vector<int> TranslatePattern(const std::string &pattern) {
    if (pattern == "*" || pattern == "*.*") return {kStar};
    std::vector<int> tokens;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '.' && i >= 1 && i + 1 == pattern.size() && pattern[i - 1] == '*')
            tokens.back() = kDosStar; // "*." : names without an extension
        else if (c == '.' && (next == '?' || next == '*'))
            tokens.push_back(kDosDot);
        else if (c == '?')
            tokens.push_back(kDosQuestion);
        else if (c == '*')
            tokens.push_back(kStar);
        else
            tokens.push_back(static_cast<unsigned char>(c));
    }
    return tokens;
}

int UpperAscii(int c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

class Matcher {
public:
    // The memo is the caller's, so that one buffer serves every name of a directory.
    Matcher(const std::vector<int> &tokens, const std::string &name, std::vector<signed char> &memo)
        : tokens_(tokens), name_(name), memo_(memo) {
        memo_.assign((tokens.size() + 1) * (name.size() + 1), -1);
    }
    bool Run() { return Match(0, 0); }

private:
    bool Match(size_t t, size_t n) {
        signed char &memo = memo_[t * (name_.size() + 1) + n];
        if (memo < 0) memo = Compute(t, n);
        return memo != 0;
    }
    bool Compute(size_t t, size_t n) {
        bool at_end = n == name_.size();
        if (t == tokens_.size()) return at_end;
        char c = at_end ? '\0' : name_[n];
        switch (tokens_[t]) {
        case kStar:
            return Match(t + 1, n) || (!at_end && Match(t, n + 1));
        case kDosStar: // any run that does not swallow the last dot of the name
            return Match(t + 1, n) ||
                   (!at_end && (c != '.' || name_.find('.', n + 1) != std::string::npos) &&
                    Match(t, n + 1));
        case kDosQuestion: // one character; nothing at a dot or at the end
            return at_end || c == '.' ? Match(t + 1, n) : Match(t + 1, n + 1);
        case kDosDot: // a dot, or nothing at the end
            return at_end ? Match(t + 1, n) : c == '.' && Match(t + 1, n + 1);
        default:
            return !at_end && UpperAscii(static_cast<unsigned char>(c)) == UpperAscii(tokens_[t]) &&
                   Match(t + 1, n + 1);
        }
    }
    const std::vector<int> &tokens_;
    const std::string &name_;
    std::vector<signed char> &memo_;
};

bool HasStars(const std::vector<int> &tokens) {
    return std::any_of(tokens.begin(), tokens.end(),
                       [](int token) { return token == kStar || token == kDosStar; });
}

// For tokens without stars (HasStars false): every token takes a fixed step, so the name is
// walked once, as the memoised match above would walk it.
bool MatchesWithoutStars(const std::vector<int> &tokens, const std::string &name) {
    size_t n = 0;
    for (int token : tokens) {
        bool at_end = n == name.size();
        char c = at_end ? '\0' : name[n];
        switch (token) {
        case kDosQuestion:
            if (!at_end && c != '.') ++n;
            break;
        case kDosDot:
            if (at_end) break;
            if (c != '.') return false;
            ++n;
            break;
        default:
            if (at_end || UpperAscii(static_cast<unsigned char>(c)) != UpperAscii(token))
                return false;
            ++n;
        }
    }
    return n == name.size();
}

bool HasWildcards(const std::string &pattern) {
    for (char c : pattern)
        if (c == '*' || c == '?') return true;
    return false;
}

// One entry of a search, kept small until it is handed out as find data.
struct Found {
    std::string name;
    DWORD attributes;
    FILETIME write_time, access_time, creation_time;
    uint64_t size; // 0 for a directory
};

FILETIME StatxFileTime(const struct statx_timestamp &time) {
    struct timespec converted = {static_cast<time_t>(time.tv_sec), static_cast<long>(time.tv_nsec)};
    return ToFileTime(converted);
}

// The entry's birth time where the file system keeps one, else its last write, stands for the
// creation time Windows reports; so does a write time set back before the birth (a copy that
// kept its times, a restore): the content is that old.
bool DescribeAt(int directory, const char *path, std::string name, Found &found) {
    if (name.size() >= MAX_PATH) return false; // no cFileName holds it
    struct statx info;
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (statx(directory, path, AT_STATX_SYNC_AS_STAT, mask, &info) != 0 &&
        statx(directory, path, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &info) != 0)
        return false;
    struct stat mode = {};
    mode.st_mode = info.stx_mode;
    found.name = std::move(name);
    found.attributes = AttributesOf(mode);
    found.write_time = StatxFileTime(info.stx_mtime);
    found.access_time = StatxFileTime(info.stx_atime);
    bool born =
        (info.stx_mask & STATX_BTIME) && (info.stx_btime.tv_sec < info.stx_mtime.tv_sec ||
                                          (info.stx_btime.tv_sec == info.stx_mtime.tv_sec &&
                                           info.stx_btime.tv_nsec < info.stx_mtime.tv_nsec));
    found.creation_time = born ? StatxFileTime(info.stx_btime) : found.write_time;
    found.size = S_ISDIR(info.stx_mode) ? 0 : static_cast<uint64_t>(info.stx_size);
    return true;
}

bool DescribePath(const std::string &path, std::string name, Found &found) {
    return DescribeAt(AT_FDCWD, path.c_str(), std::move(name), found);
}

// The same for an entry of an open directory: the path is not walked again for every name.
bool DescribeAt(int directory, const std::string &name, Found &found) {
    return DescribeAt(directory, name.c_str(), name, found);
}

void HandOut(const Found &found, WIN32_FIND_DATAA &data) {
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = found.attributes;
    data.ftCreationTime = found.creation_time;
    data.ftLastAccessTime = found.access_time;
    data.ftLastWriteTime = found.write_time;
    data.nFileSizeHigh = static_cast<DWORD>(found.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(found.size);
    std::memcpy(data.cFileName, found.name.c_str(), found.name.size() + 1);
}

struct Search : Object {
    static constexpr Kind kKind = Object::Search;
    Search() : Object(kKind) {}
    std::vector<Found> entries;
    std::vector<uint32_t> order; // entries in the order they are handed out; empty: as they are
    size_t next = 0;
    bool HandOutNext(WIN32_FIND_DATAA &data) {
        if (next >= entries.size()) return false;
        HandOut(entries[order.empty() ? next : order[next]], data);
        ++next;
        return true;
    }
};

// NTFS lists "." and ".." first, then names in upper-case order; names equal but for case keep
// the order the directory gave them. Each name's rank and the first 15 bytes of its upper-case
// form are packed into two numbers that order as the texts do.
struct ListingKey {
    uint64_t lead, tail; // bytes 0 to 7 and 8 to 15, the first byte most significant
    uint32_t index;
};

ListingKey MakeListingKey(const std::string &name, uint32_t index) {
    int rank = 2;
    if (name == ".")
        rank = 0;
    else if (name == "..")
        rank = 1;
    unsigned char bytes[16] = {static_cast<unsigned char>(rank)};
    for (size_t i = 0; i < 15 && i < name.size(); ++i)
        bytes[i + 1] = static_cast<unsigned char>(UpperAscii(static_cast<unsigned char>(name[i])));
    ListingKey key{0, 0, index};
    for (int i = 0; i < 8; ++i) key.lead = key.lead << 8 | bytes[i];
    for (int i = 8; i < 16; ++i) key.tail = key.tail << 8 | bytes[i];
    return key;
}

// Orders keys by all their bytes, ties by index, for a few keys.
bool KeyBefore(const std::vector<Found> &entries, const ListingKey &a, const ListingKey &b) {
    if (a.lead != b.lead) return a.lead < b.lead;
    if (a.tail != b.tail) return a.tail < b.tail;
    // The same up to the 15th byte: the rest of the upper-case bytes decides.
    const std::string &x = entries[a.index].name, &y = entries[b.index].name;
    for (size_t i = 15;; ++i) { // each name ends in its terminating zero
        int p = i < x.size() ? UpperAscii(static_cast<unsigned char>(x[i])) : 0;
        int q = i < y.size() ? UpperAscii(static_cast<unsigned char>(y[i])) : 0;
        if (p != q) return p < q;
        if (!p) return a.index < b.index;
    }
}

// A radix sort on the 16 key bytes, the last first: stable, so keys that are equal keep the
// order they came in, and a byte that all keys share (most of them do) costs one count.
// Names that agree in their first 15 bytes are put in order afterwards.
void RadixSort(const std::vector<Found> &entries, std::vector<ListingKey> &keys) {
    std::vector<ListingKey> spare(keys.size());
    for (int byte = 0; byte < 16; ++byte) {
        const uint64_t ListingKey::*part = byte < 8 ? &ListingKey::tail : &ListingKey::lead;
        const int shift = (byte % 8) * 8;
        size_t starts[257] = {};
        for (const ListingKey &key : keys) ++starts[((key.*part >> shift) & 0xFF) + 1];
        if (std::find(starts + 1, starts + 257, keys.size()) != starts + 257) continue;
        for (int value = 1; value < 257; ++value) starts[value] += starts[value - 1];
        for (const ListingKey &key : keys) spare[starts[(key.*part >> shift) & 0xFF]++] = key;
        keys.swap(spare);
    }
    for (size_t run = 0; run < keys.size();) {
        size_t end = run + 1;
        while (end < keys.size() && keys[end].lead == keys[run].lead &&
               keys[end].tail == keys[run].tail)
            ++end;
        if (end - run > 1)
            std::sort(
                keys.begin() + run, keys.begin() + end,
                [&](const ListingKey &a, const ListingKey &b) { return KeyBefore(entries, a, b); });
        run = end;
    }
}

void SortInListingOrder(Search &search) {
    const std::vector<Found> &entries = search.entries;
    std::vector<ListingKey> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys.push_back(MakeListingKey(entries[i].name, static_cast<uint32_t>(i)));
    if (keys.size() >= 256)
        RadixSort(entries, keys);
    else
        std::sort(keys.begin(), keys.end(), [&](const ListingKey &a, const ListingKey &b) {
            return KeyBefore(entries, a, b);
        });
    search.order.clear();
    search.order.reserve(keys.size());
    for (const ListingKey &key : keys) search.order.push_back(key.index);
}

bool IsDirectory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A name without wildcards, its components found without regard to case. False, with the
// error set, when its directory does not exist.
bool FindByLookup(const char *name, std::vector<Found> &entries) {
    std::string path;
    if (!ToPosix(name, path)) return false;
    std::string::size_type cut = path.find_last_of('/');
    std::string directory = cut == 0 ? "/" : path.substr(0, cut);
    if (!IsDirectory(directory)) {
        Fail(ERROR_PATH_NOT_FOUND);
        return false;
    }
    Found found;
    if (path != "/" && DescribePath(path, path.substr(cut + 1), found))
        entries.push_back(std::move(found));
    return true;
}

// ---- File handles ----------------------------------------------------------------------------

struct File : Object {
    static constexpr Kind kKind = Object::File;
    explicit File(int fd) : Object(kKind), fd(fd) {}
    ~File() override { close(fd); }
    int fd;
};

// What GetFileInformationByHandle tells of a file so described.
void DescribeFile(const struct stat &info, BY_HANDLE_FILE_INFORMATION *out) {
    std::memset(out, 0, sizeof *out);
    out->dwFileAttributes = AttributesOf(info);
    out->ftCreationTime = ToFileTime(info.st_mtim); // POSIX keeps none
    out->ftLastAccessTime = ToFileTime(info.st_atim);
    out->ftLastWriteTime = ToFileTime(info.st_mtim);
    // A 64-bit device number folded into the 32 bits Windows gives a volume serial.
    uint64_t device = static_cast<uint64_t>(info.st_dev);
    out->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    out->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    uint64_t inode = static_cast<uint64_t>(info.st_ino);
    out->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    out->nFileIndexLow = static_cast<DWORD>(inode);
}

// Opens with the flags, telling whether the file was there before (for CREATE_ALWAYS and
// OPEN_ALWAYS, which report an existing file through the last error).
int OpenReporting(const std::string &path, int flags, mode_t mode, bool &existed) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        int fd = open(path.c_str(), flags & ~(O_CREAT | O_EXCL), mode);
        if (fd >= 0 || errno != ENOENT) {
            existed = fd >= 0;
            return fd;
        }
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) {
            existed = false;
            return fd;
        }
    }
    return -1;
}

bool CopyContents(int from, int to) {
    char buffer[65536];
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                if (put == 0) errno = ENOSPC;
                return false;
            }
            done += put;
        }
    }
}

// The target of a rename: when it names the source itself under another case, the new spelling
// is what the caller asked for.
std::string RenameTarget(const std::string &source, const std::string &target, const char *given) {
    if (source != target) return target;
    std::string::size_type slash = target.find_last_of('/');
    std::string lexical;
    if (!ToPosixLexical(given, lexical)) return target;
    return target.substr(0, slash + 1) + lexical.substr(lexical.find_last_of('/') + 1);
}

} // namespace
} // namespace compat

using namespace compat;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (!lpFileName || !lpFindFileData) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The name is what follows the last separator, or the drive ("Z:*.flo").
    const char *name = lpFileName;
    for (const char *c = lpFileName; *c; ++c)
        if (*c == '\\' || *c == '/') name = c + 1;
    if (name == lpFileName && lpFileName[0] && lpFileName[1] == ':') name = lpFileName + 2;
    std::string pattern = name;
    if (pattern.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<Search>();
    if (HasWildcards(pattern)) {
        std::string directory_name = name == lpFileName ? "." : std::string(lpFileName, name) + ".";
        // A directory that exists as spelled is the one the lookup would find: it is opened
        // at once, its path walked once.
        std::string directory;
        DIR *listing = nullptr;
        if (ToPosixLexical(directory_name.c_str(), directory)) listing = opendir(directory.c_str());
        if (!listing) {
            if (!ToPosix(directory_name.c_str(), directory)) return INVALID_HANDLE_VALUE;
            listing = opendir(directory.c_str());
        }
        if (!listing) {
            Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        std::vector<int> tokens = TranslatePattern(pattern);
        std::vector<signed char> memo;
        bool stars = HasStars(tokens);
        Found found;
        while (struct dirent *entry = readdir(listing)) {
            std::string name = entry->d_name;
            bool dots =
                name[0] == '.' && (name.size() == 1 || (name.size() == 2 && name[1] == '.'));
            if (dots && directory == "/") continue; // a drive's root has neither
            if (stars ? !Matcher(tokens, name, memo).Run() : !MatchesWithoutStars(tokens, name))
                continue;
            if (DescribeAt(dirfd(listing), name, found))
                search->entries.push_back(std::move(found));
        }
        closedir(listing);
        SortInListingOrder(*search);
    } else {
        // A name that exists as spelled is the file the lookup below would find first.
        std::string exact;
        Found found;
        if (ToPosixLexical(lpFileName, exact) && exact != "/" &&
            DescribePath(exact, exact.substr(exact.find_last_of('/') + 1), found)) {
            search->entries.push_back(std::move(found));
        } else if (!FindByLookup(lpFileName, search->entries)) {
            return INVALID_HANDLE_VALUE;
        }
    }
    if (search->entries.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    search->HandOutNext(*lpFindFileData);
    RegisterObject(search.get());
    return search.release();
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    auto *search = Find<Search>(hFindFile);
    if (!search) return FALSE;
    if (!search->HandOutNext(*lpFindFileData)) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    auto *search = Find<Search>(hFindFile);
    return search && DestroyObject(search);
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    std::string path;
    if (!ToPosix(lpPathName, path)) return FALSE;
    if (mkdir(path.c_str(), 0777) != 0) {
        Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    std::string path;
    if (!ToPosix(lpPathName, path)) return FALSE;
    if (rmdir(path.c_str()) != 0) {
        Fail(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrnoAt(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return FALSE;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 &&
        (S_ISDIR(info.st_mode) || AttributesOf(info) & FILE_ATTRIBUTE_READONLY)) {
        Fail(ERROR_ACCESS_DENIED); // Windows deletes neither directories nor read-only files
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    std::string source, target;
    if (!ToPosix(lpExistingFileName, source) || !ToPosix(lpNewFileName, target)) return FALSE;
    struct stat info;
    if (lstat(source.c_str(), &info) != 0) {
        FailErrno(errno, source);
        return FALSE;
    }
    target = RenameTarget(source, target, lpNewFileName);
    if (source == target) return TRUE;
    int result;
    if (dwFlags & MOVEFILE_REPLACE_EXISTING) {
        struct stat existing;
        if (lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
            Fail(ERROR_ACCESS_DENIED); // Windows never replaces a directory
            return FALSE;
        }
        result = rename(source.c_str(), target.c_str());
    } else {
        result = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS) && !S_ISDIR(info.st_mode)) {
            // The file system cannot rename without replacing; link(2) never replaces.
            result = link(source.c_str(), target.c_str());
            if (result == 0) unlink(source.c_str());
        }
    }
    if (result != 0 && errno == EXDEV && (dwFlags & MOVEFILE_COPY_ALLOWED) &&
        S_ISREG(info.st_mode)) {
        if (!CopyFileA(lpExistingFileName, lpNewFileName,
                       (dwFlags & MOVEFILE_REPLACE_EXISTING) ? FALSE : TRUE))
            return FALSE;
        unlink(source.c_str());
        return TRUE;
    }
    if (result != 0) {
        Fail(errno == EEXIST   ? ERROR_ALREADY_EXISTS
             : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                               : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    return MoveFileExA(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    std::string source, target;
    if (!ToPosix(lpExistingFileName, source) || !ToPosix(lpNewFileName, target)) return FALSE;
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (from < 0 || fstat(from, &info) != 0 || S_ISDIR(info.st_mode)) {
        Fail(from < 0 ? ErrorFromErrnoAt(errno, source) : ERROR_ACCESS_DENIED);
        if (from >= 0) close(from);
        return FALSE;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (bFailIfExists ? O_EXCL : O_TRUNC);
    int to = open(target.c_str(), flags, info.st_mode & 0777);
    if (to < 0) {
        Fail(errno == EEXIST   ? ERROR_FILE_EXISTS
             : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                               : ErrorFromErrno(errno));
        close(from);
        return FALSE;
    }
    bool copied = CopyContents(from, to);
    int error = errno;
    if (copied) { // Windows keeps the last write time of the copy
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(to, times);
    }
    close(from);
    if (close(to) != 0 && copied) {
        copied = false;
        error = errno;
    }
    if (!copied) {
        Fail(ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        FailErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(info);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return FALSE;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) return TRUE; // read-only means nothing for a directory
    // Only the read-only bit has a POSIX meaning: it takes away, or gives back, write access.
    mode_t mode = info.st_mode & 07777;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(0222);
    else if (!(mode & 0222))
        mode |= S_IWUSR;
    if (chmod(path.c_str(), mode) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    bool reads = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    bool writes = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    // Append-only access writes at the end whatever the file pointer says.
    bool appends = !writes && (dwDesiredAccess & FILE_APPEND_DATA);
    int flags = O_CLOEXEC | ((reads && (writes || appends)) ? O_RDWR
                             : (writes || appends)          ? O_WRONLY
                                                            : O_RDONLY);
    if (appends) flags |= O_APPEND;
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!writes) {
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default:
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    std::string path;
    struct stat info;
    bool existed = false;
    int fd = -1;
    // A file opened as it is, to read or only to be named, is first opened under the name as
    // given: a name that exists as spelled is what the case-blind look-up would keep, so the
    // usual case is one open. Any failure takes the whole way below, errors and all.
    if (dwCreationDisposition == OPEN_EXISTING && !writes && !appends) {
        if (!ToPosixLexical(lpFileName, path)) return INVALID_HANDLE_VALUE;
        fd = open(path.c_str(), flags | O_NONBLOCK, mode);
    }
    if (fd < 0) {
        if (!ToPosix(lpFileName, path)) return INVALID_HANDLE_VALUE;
        if (dwCreationDisposition != CREATE_NEW && (writes || appends || (flags & O_TRUNC)) &&
            stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (AttributesOf(info) & FILE_ATTRIBUTE_READONLY)) {
            Fail(ERROR_ACCESS_DENIED); // held whoever asks, root too, as on Windows
            return INVALID_HANDLE_VALUE;
        }
        fd = (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
                 ? OpenReporting(path, flags | O_NONBLOCK, mode, existed)
                 : open(path.c_str(), flags | O_NONBLOCK, mode);
    }
    // Opened without waiting, so that a FIFO planted under a file's name never hangs the
    // caller (GetFileType tells it from a file); a regular file reads and writes as ever.
    bool described = fd >= 0 && fstat(fd, &info) == 0;
    if (described && S_ISREG(info.st_mode)) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (described && S_ISDIR(info.st_mode)) {
        close(fd);
        fd = -1;
        errno = EISDIR; // a directory opens only with backup semantics
    }
    if (fd < 0) {
        Fail(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrnoAt(errno, path));
        return INVALID_HANDLE_VALUE;
    }
    auto *file = new File(fd);
    RegisterObject(file);
    Fail(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    auto *file = Find<File>(hFile);
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t got =
            read(file->fd, static_cast<char *>(lpBuffer) + done, nNumberOfBytesToRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            Fail(errno == EISDIR  ? ERROR_ACCESS_DENIED
                 : errno == EBADF ? ERROR_ACCESS_DENIED // not opened for reading
                                  : ErrorFromErrno(errno));
            if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
            return FALSE;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, const void *lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    auto *file = Find<File>(hFile);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->fd, static_cast<const char *>(lpBuffer) + done,
                            nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) { // a short write is a full disk, not a partial success
            Fail(put == 0         ? ERROR_DISK_FULL
                 : errno == EBADF ? ERROR_ACCESS_DENIED // not opened for writing
                                  : ErrorFromErrno(errno));
            if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    if (!file) return FALSE;
    if (fsync(file->fd) != 0) {
        FailErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG *lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    auto *file = Find<File>(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                  static_cast<uint32_t>(lDistanceToMove))
            : lDistanceToMove;
    int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                 : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                 : dwMoveMethod == FILE_END     ? SEEK_END
                                                : -1;
    if (whence < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t base = whence == SEEK_SET ? 0 : lseek(file->fd, 0, whence);
    if (base < 0 || base + distance < 0) {
        Fail(base < 0 ? ErrorFromErrno(errno) : ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (!lpDistanceToMoveHigh && base + distance > 0xFFFFFFFELL) {
        Fail(ERROR_INVALID_PARAMETER); // the position would not fit the return value
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd, base + distance, SEEK_SET);
    if (position < 0) {
        FailErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    Fail(ERROR_SUCCESS); // tells a position of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(position);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return INVALID_FILE_SIZE;
    if (fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
    Fail(ERROR_SUCCESS);
    return static_cast<DWORD>(info.st_size);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpInformation) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return FALSE;
    if (!lpInformation) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return FALSE;
    }
    DescribeFile(info, lpInformation);
    return TRUE;
}

int CompatRegularFileAsSpelled(const char *windows_path, BY_HANDLE_FILE_INFORMATION *info,
                               int readable) {
    std::string path;
    if (!windows_path || !info || !ToPosixLexical(windows_path, path)) return 0;
    // Spelled as given: the path read changed nothing but its separators (no drive but Z:, no
    // "." or "..", no trailing dots or blanks dropped).
    const char *given = windows_path;
    if ((given[0] == 'Z' || given[0] == 'z') && given[1] == ':') given += 2;
    if (std::strlen(given) != path.size()) return 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (given[i] != path[i] && !(given[i] == '\\' && path[i] == '/')) return 0;
    struct stat described;
    if (stat(path.c_str(), &described) != 0 || !S_ISREG(described.st_mode)) return 0;
    // As CreateFileA would open it: a file this process may read.
    if (readable && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) return 0;
    DescribeFile(described, info);
    return 1;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return FILE_TYPE_UNKNOWN;
    if (fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return FILE_TYPE_UNKNOWN;
    }
    Fail(ERROR_SUCCESS);
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    if (!file) return FALSE;
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(file->fd, position) != 0) {
        Fail(errno == EBADF || errno == EINVAL ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (auto *file = Find<File>(hObject)) return DestroyObject(file);
    // A change notification is a kernel handle on Windows, so CloseHandle closes it as well.
    if (FindObject(hObject, Object::Change)) return FindCloseChangeNotification(hObject);
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
}

} // extern "C"
