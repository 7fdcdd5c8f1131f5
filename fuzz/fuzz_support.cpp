#include "fuzz_support.h"

#include <compat_posix.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

void FuzzCheckFailed(const char *condition, const std::string &note, const char *file, int line) {
    fprintf(stderr, "\n%s:%d: check failed: %s\n%s\n", file, line, condition, note.c_str());
    fflush(stderr);
    abort();
}

std::string Printable(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

static ScratchDirectory *scratch = nullptr;

static void RemoveScratch() {
    if (scratch == nullptr) return;
    if (DIR *directory = opendir(scratch->native.c_str())) {
        std::vector<std::string> names;
        while (dirent *entry = readdir(directory))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(directory);
        for (const std::string &name : names) unlink((scratch->native + "/" + name).c_str());
    }
    rmdir(scratch->native.c_str());
}

const ScratchDirectory &Scratch() {
    if (scratch != nullptr) return *scratch;
    struct stat info;
    // A RAM disk keeps the targets that write files fast and spares the real disk.
    std::string base = stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/bsopanel-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) FuzzCheckFailed("mkdtemp", pattern, __FILE__, __LINE__);
    scratch = new ScratchDirectory;
    scratch->native = name.data();
    char win[4096];
    if (!CompatFromPosixPath(scratch->native.c_str(), win, sizeof win))
        FuzzCheckFailed("CompatFromPosixPath", scratch->native, __FILE__, __LINE__);
    scratch->win = win;
    atexit(RemoveScratch);
    return *scratch;
}

void WriteNativeFile(const std::string &path, const std::string &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    bool written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && fclose(file) != 0) written = false;
    if (!written) FuzzCheckFailed("WriteNativeFile", path, __FILE__, __LINE__);
}

bool ReadNativeFile(const std::string &path, std::string &bytes) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes.clear();
    char buffer[8192];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    return !failed;
}

std::string ScratchListing() {
    std::vector<std::string> names;
    if (DIR *directory = opendir(Scratch().native.c_str())) {
        while (dirent *entry = readdir(directory))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(directory);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string &name : names) listing += (listing.empty() ? "" : " ") + name;
    return listing;
}

std::string TakeField(const uint8_t *&data, size_t &size) {
    if (size == 0) return std::string();
    const uint8_t *end = static_cast<const uint8_t *>(memchr(data, 0xFF, size));
    size_t length = end != nullptr ? static_cast<size_t>(end - data) : size;
    std::string field(reinterpret_cast<const char *>(data), length);
    size_t consumed = end != nullptr ? length + 1 : length;
    data += consumed;
    size -= consumed;
    return field;
}
