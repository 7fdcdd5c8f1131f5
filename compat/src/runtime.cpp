// The C runtime's drive and path helpers, code pages, dynamic loading, time.
#include "internal.h"

#include <compat_posix.h>

#include <direct.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>

using namespace compat;

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Copies at most limit - 1 bytes and a terminating zero, as the CRT's _splitpath truncates.
void CopyPart(char *out, const char *from, size_t length, size_t limit) {
    if (!out) return;
    if (length > limit - 1) length = limit - 1;
    std::memcpy(out, from, length);
    out[length] = '\0';
}

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

} // namespace

extern "C" {

int _getdrive(void) {
    return 26;
}

char *_getdcwd(int drive, char *buffer, int maxlen) {
    if (drive != 0 && drive != 26) {
        errno = EACCES;
        return nullptr;
    }
    std::string path;
    if (!CurrentDirectory(path)) return nullptr;
    path = ToWindows(path);
    if (!buffer) { // the CRT allocates at least maxlen bytes
        size_t size = path.size() + 1 > static_cast<size_t>(maxlen > 0 ? maxlen : 0)
                          ? path.size() + 1
                          : static_cast<size_t>(maxlen);
        buffer = static_cast<char *>(std::malloc(size));
        if (!buffer) {
            errno = ENOMEM;
            return nullptr;
        }
    } else if (maxlen <= 0 || path.size() + 1 > static_cast<size_t>(maxlen)) {
        errno = ERANGE;
        return nullptr;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return buffer;
}

void _splitpath(const char *path, char *drive, char *dir, char *fname, char *ext) {
    const char *rest = path;
    if (path[0] && path[1] == ':') {
        CopyPart(drive, path, 2, _MAX_DRIVE);
        rest = path + 2;
    } else {
        CopyPart(drive, "", 0, _MAX_DRIVE);
    }
    const char *name = rest;
    for (const char *p = rest; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    CopyPart(dir, rest, static_cast<size_t>(name - rest), _MAX_DIR);
    const char *dot = std::strrchr(name, '.');
    if (!dot) dot = name + std::strlen(name);
    CopyPart(fname, name, static_cast<size_t>(dot - name), _MAX_FNAME);
    CopyPart(ext, dot, std::strlen(dot), _MAX_EXT);
}

void _makepath(char *path, const char *drive, const char *dir, const char *fname, const char *ext) {
    char *out = path;
    if (drive && *drive) {
        *out++ = drive[0];
        *out++ = ':';
    }
    if (dir && *dir) {
        size_t length = std::strlen(dir);
        std::memcpy(out, dir, length);
        out += length;
        if (dir[length - 1] != '\\' && dir[length - 1] != '/') *out++ = '\\';
    }
    if (fname) {
        size_t length = std::strlen(fname);
        std::memcpy(out, fname, length);
        out += length;
    }
    if (ext && *ext) {
        if (*ext != '.') *out++ = '.';
        size_t length = std::strlen(ext);
        std::memcpy(out, ext, length);
        out += length;
    }
    *out = '\0';
}

int _stricmp(const char *a, const char *b) {
    return _strnicmp(a, b, static_cast<size_t>(-1));
}

int _strnicmp(const char *a, const char *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int x = static_cast<unsigned char>(LowerAscii(a[i]));
        int y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y || !x) return x - y;
    }
    return 0;
}

char *_strupr(char *s) {
    for (char *p = s; *p; ++p) *p = UpperAscii(*p);
    return s;
}

char *_strlwr(char *s) {
    for (char *p = s; *p; ++p) *p = LowerAscii(*p);
    return s;
}

BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
    if (!pSrc || !pDst) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pSrc != pDst) std::memmove(pDst, pSrc, std::strlen(pSrc) + 1);
    return TRUE;
}

BOOL WINAPI OemToCharA(LPCSTR pSrc, LPSTR pDst) {
    return CharToOemA(pSrc, pDst);
}

static bool fileApisAnsi = true; // a process starts with ANSI file functions

void WINAPI SetFileApisToOEM(void) {
    fileApisAnsi = false;
}

void WINAPI SetFileApisToANSI(void) {
    fileApisAnsi = true;
}

BOOL WINAPI AreFileApisANSI(void) {
    return fileApisAnsi ? TRUE : FALSE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A bare name is searched for as dlopen searches; anything with a path is translated.
    std::string path = lpLibFileName;
    if (path.find_first_of("\\/:") != std::string::npos && !ToPosix(lpLibFileName, path))
        return nullptr;
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) Fail(ERROR_MOD_NOT_FOUND);
    return static_cast<HMODULE>(module);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    void *symbol = hModule && lpProcName ? dlsym(hModule, lpProcName) : nullptr;
    if (!symbol) {
        Fail(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC procedure;
    static_assert(sizeof procedure == sizeof symbol, "function and data pointers differ");
    std::memcpy(&procedure, &symbol, sizeof symbol);
    return procedure;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (!hLibModule || dlclose(hLibModule) != 0) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string path;
    struct link_map *map = nullptr;
    if (hModule && dlinfo(hModule, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name[0]) {
        char resolved[PATH_MAX];
        path = realpath(map->l_name, resolved) ? resolved : map->l_name;
    } else if (hModule && !map) {
        Fail(ERROR_MOD_NOT_FOUND);
        return 0;
    } else {
        path = ExecutablePath(); // the null handle, and the main program's own handle
    }
    std::string name = ToWindows(path);
    if (!lpFilename || nSize == 0) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() >= nSize) { // truncated, terminated, and reported as such
        std::memcpy(lpFilename, name.c_str(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, name.c_str(), name.size() + 1);
    Fail(ERROR_SUCCESS);
    return static_cast<DWORD>(name.size());
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    struct timespec left = {static_cast<time_t>(dwMilliseconds / 1000),
                            static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

int CompatProcessRuns(unsigned long process) {
    // EPERM: it runs, under another user.
    return process != 0 && process <= static_cast<unsigned long>(INT_MAX) &&
           (kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM);
}

DWORD WINAPI GetTickCount(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                              static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

} // extern "C"
