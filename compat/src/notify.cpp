// Directory change notifications on inotify, and waiting on them.
//
// A handle is signalled by the first change that its filter covers, and stays signalled until
// FindNextChangeNotification re-arms it; what happened up to the re-arming is folded into the
// signal already given. With the subtree flag every directory below is watched, those made
// later too: a new directory gets its watch when its creation is read, and what was put into it
// before that counts as a change.
#include "internal.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>

namespace compat {
namespace {

const uint32_t kNaming = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

struct Change : Object {
    static constexpr Kind kKind = Object::Change;
    Change(int fd, bool subtree, DWORD filter)
        : Object(kKind), fd(fd), subtree(subtree), filter(filter) {}
    ~Change() override { close(fd); }
    int fd;
    bool subtree;
    DWORD filter;
    bool signalled = false;
    std::unordered_map<int, std::string> directories; // watch descriptor to path
};

uint32_t WatchMask(const Change &change) {
    uint32_t mask = IN_ONLYDIR;
    if (change.filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME) ||
        change.subtree)
        mask |= kNaming; // a subtree watch must also learn of new directories
    if (change.filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE))
        mask |= IN_MODIFY;
    if (change.filter & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
    return mask;
}

bool Covered(const Change &change, uint32_t mask) {
    bool directory = mask & IN_ISDIR;
    if (mask & IN_Q_OVERFLOW) return true; // events were lost: assume the worst
    if (mask & kNaming)
        return change.filter &
               (directory ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME);
    if (mask & IN_MODIFY)
        return !directory &&
               (change.filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    if (mask & IN_ATTRIB) return change.filter & FILE_NOTIFY_CHANGE_ATTRIBUTES;
    return false;
}

// Watches the directory and, for a subtree, everything below it. Returns whether it found
// anything that the filter covers: for a directory that was just made, those entries were
// created before its watch could see them.
std::string Join(const std::string &directory, const char *name) {
    return directory == "/" ? "/" + std::string(name) : directory + "/" + name;
}

bool Watch(Change &change, const std::string &path, bool top = false) {
    // Links below the top are not followed: they could lead out of the tree or round in a loop.
    uint32_t mask = WatchMask(change) | (top ? 0 : IN_DONT_FOLLOW);
    int wd = inotify_add_watch(change.fd, path.c_str(), mask);
    if (wd < 0) return false;
    change.directories[wd] = path;
    if (!change.subtree) return false;
    bool found = false;
    DIR *listing = opendir(path.c_str());
    if (!listing) return false;
    while (struct dirent *entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string child = Join(path, entry->d_name);
        struct stat info;
        bool directory =
            entry->d_type == DT_DIR || (entry->d_type == DT_UNKNOWN &&
                                        lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
        found |= Covered(change, IN_CREATE | (directory ? IN_ISDIR : 0));
        if (directory) found |= Watch(change, child);
    }
    closedir(listing);
    return found;
}

void Forget(Change &change, const std::string &path) {
    for (auto it = change.directories.begin(); it != change.directories.end();) {
        const std::string &watched = it->second;
        if (watched == path || watched.compare(0, path.size() + 1, path + "/") == 0) {
            inotify_rm_watch(change.fd, it->first);
            it = change.directories.erase(it);
        } else {
            ++it;
        }
    }
}

// Reads every queued event, keeping the watches of the subtree up to date. Returns whether one
// of them is covered by the filter.
bool Drain(Change &change) {
    bool covered = false;
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
        ssize_t got = read(change.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return covered;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_IGNORED) {
                change.directories.erase(event->wd);
                continue;
            }
            covered |= Covered(change, event->mask);
            auto parent = change.directories.find(event->wd);
            if (!change.subtree || !(event->mask & IN_ISDIR) || parent == change.directories.end())
                continue;
            std::string path = Join(parent->second, event->name);
            if (event->mask & (IN_DELETE | IN_MOVED_FROM)) Forget(change, path);
            if (event->mask & (IN_CREATE | IN_MOVED_TO)) covered |= Watch(change, path);
        }
    }
}

int64_t Milliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace
} // namespace compat

using namespace compat;

extern "C" {

HANDLE WINAPI FindFirstChangeNotificationA(LPCSTR lpPathName, BOOL bWatchSubtree,
                                           DWORD dwNotifyFilter) {
    const DWORD known = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                        FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                        FILE_NOTIFY_CHANGE_LAST_WRITE;
    if (!dwNotifyFilter || (dwNotifyFilter & ~known)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    if (!ToPosix(lpPathName, path)) return INVALID_HANDLE_VALUE;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        FailErrno(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISDIR(info.st_mode)) {
        Fail(ERROR_DIRECTORY);
        return INVALID_HANDLE_VALUE;
    }
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        FailErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    auto *change = new Change(fd, bWatchSubtree != FALSE, dwNotifyFilter);
    Watch(*change, path, true);
    if (change->directories.empty()) {
        FailErrno(errno);
        delete change;
        return INVALID_HANDLE_VALUE;
    }
    RegisterObject(change);
    return change;
}

BOOL WINAPI FindNextChangeNotification(HANDLE hChangeHandle) {
    auto *change = Find<Change>(hChangeHandle);
    if (!change) return FALSE;
    Drain(*change);
    change->signalled = false;
    return TRUE;
}

BOOL WINAPI FindCloseChangeNotification(HANDLE hChangeHandle) {
    auto *change = Find<Change>(hChangeHandle);
    return change && DestroyObject(change);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto *change = Find<Change>(hHandle);
    if (!change) // a file handle is always signalled
        return FindObject(hHandle, Object::File) ? WAIT_OBJECT_0 : WAIT_FAILED;
    int64_t deadline = Milliseconds() + dwMilliseconds;
    for (;;) {
        if (change->signalled || Drain(*change)) {
            change->signalled = true;
            return WAIT_OBJECT_0;
        }
        int64_t left = deadline - Milliseconds();
        if (dwMilliseconds != INFINITE && left <= 0) return WAIT_TIMEOUT;
        struct pollfd ready = {change->fd, POLLIN, 0};
        int timeout =
            dwMilliseconds == INFINITE ? -1 : static_cast<int>(left > 1 << 30 ? 1 << 30 : left);
        if (poll(&ready, 1, timeout) < 0 && errno != EINTR) {
            FailErrno(errno);
            return WAIT_FAILED;
        }
    }
}

} // extern "C"
