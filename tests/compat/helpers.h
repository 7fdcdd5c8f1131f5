// Small wrappers over the Win32 calls that the compat tests share.
#ifndef BSOPANEL_TESTS_COMPAT_HELPERS_H
#define BSOPANEL_TESTS_COMPAT_HELPERS_H

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// The names that a search finds, sorted; empty, with the error kept, when it finds nothing.
struct SearchResult {
    std::vector<std::string> names;
    DWORD error = 0;
};

inline SearchResult Search(const std::string &pattern) {
    SearchResult result;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
        return result;
    }
    do result.names.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    result.error = GetLastError();
    FindClose(search);
    std::sort(result.names.begin(), result.names.end());
    return result;
}

inline HANDLE Open(const std::string &path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline bool Write(HANDLE file, const std::string &bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

inline std::string ReadRest(HANDLE file) {
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

#endif
