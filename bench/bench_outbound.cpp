#include "bench_outbound.h"

#include "host_core.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace fs = std::filesystem;

namespace {

bool SetValue(HKEY key, const char *name, DWORD type, const void *data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size) ==
           ERROR_SUCCESS;
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsHexName(const std::string &name) {
    if (name.size() != 12 || name[8] != '.') return false;
    for (int i = 0; i < 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// The directories that hold link files: the outbound root, the zone directories beside it and
// the point directories in both.
std::vector<fs::path> LinkDirectories(const std::string &outboundNative) {
    fs::path outbound(outboundNative);
    std::vector<fs::path> zones{outbound};
    std::string prefix = Lower(outbound.filename().string()) + ".";
    for (const auto &entry : fs::directory_iterator(outbound.parent_path()))
        if (entry.is_directory() && Lower(entry.path().filename().string()).rfind(prefix, 0) == 0)
            zones.push_back(entry.path());
    std::vector<fs::path> directories;
    for (const fs::path &zone : zones) {
        directories.push_back(zone);
        for (const auto &entry : fs::directory_iterator(zone))
            if (entry.is_directory() && Lower(entry.path().extension().string()) == ".pnt")
                directories.push_back(entry.path());
    }
    return directories;
}

void Touch(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void EnumerateDirectory(int parent, const char *name, Enumerated &seen, bool recurse) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR *listing = fdopendir(fd);
    if (!listing) {
        close(fd);
        return;
    }
    ++seen.directories;
    while (struct dirent *entry = readdir(listing)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        struct stat info;
        if (fstatat(fd, entry->d_name, &info, 0) != 0) continue;
        ++seen.entries;
        if (recurse && S_ISDIR(info.st_mode)) EnumerateDirectory(fd, entry->d_name, seen, true);
    }
    closedir(listing);
}

} // namespace

bool WriteSettings(const std::string &rootKey, const std::string &outboundWin32,
                   const std::string &ownAddress, bool autoRefresh, std::string &error) {
    std::string keyPath = rootKey + "\\KESTREL";
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        error = "cannot create the settings key " + keyPath;
        return false;
    }
    DWORD refresh = autoRefresh ? 1 : 0;
    bool written = SetValue(key, "PathToOutbound", REG_SZ, outboundWin32.c_str(),
                            static_cast<DWORD>(outboundWin32.size() + 1)) &&
                   SetValue(key, "Address", REG_SZ, ownAddress.c_str(),
                            static_cast<DWORD>(ownAddress.size() + 1)) &&
                   SetValue(key, "AutoRefresh", REG_DWORD, &refresh, sizeof refresh);
    RegCloseKey(key);
    if (!written) error = "cannot write the settings below " + keyPath;
    return written;
}

bool TopUpLinkFiles(const bsodemo::DemoOutbound &demo, std::string &error) {
    try {
        for (const fs::path &directory : LinkDirectories(demo.outbound)) {
            // Each link's files by the eight hex digits of its name.
            std::map<std::string, std::set<std::string>> links;
            for (const auto &entry : fs::directory_iterator(directory)) {
                std::string name = Lower(entry.path().filename().string());
                if (entry.is_regular_file() && IsHexName(name))
                    links[name.substr(0, 8)].insert(name.substr(9));
            }
            for (const auto &[base, extensions] : links) {
                char flow = 0;
                bool netmail = false;
                for (const std::string &extension : extensions) {
                    if (extension.substr(1) == "lo") flow = extension[0];
                    if (extension.substr(1) == "ut") netmail = true;
                }
                if (!flow) continue;
                fs::path stem = directory / base;
                if (!netmail) Touch(stem.string() + ".out", std::string(60, '\0'));
                Touch(stem.string() + ".req", "FILES\r\n");
                Touch(stem.string() + (flow == 'h' ? ".flo" : ".hlo"), "");
            }
        }
    } catch (const std::exception &failure) {
        error = std::string("topping the links up: ") + failure.what();
        return false;
    }
    return true;
}

Enumerated EnumerateOutbound(const std::string &outboundNative) {
    Enumerated seen;
    fs::path outbound(outboundNative);
    std::string parent = outbound.parent_path().string();
    std::string prefix = Lower(outbound.filename().string());
    int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return seen;
    DIR *listing = fdopendir(fd);
    if (!listing) {
        close(fd);
        return seen;
    }
    ++seen.directories;
    while (struct dirent *entry = readdir(listing)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        struct stat info;
        if (fstatat(fd, entry->d_name, &info, 0) != 0) continue;
        ++seen.entries;
        std::string name = Lower(entry->d_name);
        bool outboundTree = name == prefix || name.rfind(prefix + ".", 0) == 0;
        if (outboundTree && S_ISDIR(info.st_mode))
            EnumerateDirectory(fd, entry->d_name, seen, true);
    }
    closedir(listing);
    return seen;
}

size_t StatEach(const std::vector<std::string> &nativePaths) {
    size_t found = 0;
    for (const std::string &path : nativePaths) {
        struct stat info;
        if (stat(path.c_str(), &info) == 0) ++found;
    }
    return found;
}

std::vector<std::string> FlowFileTargets(const std::string &flowFileNative) {
    std::vector<std::string> targets;
    std::ifstream in(flowFileNative, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '~') continue;
        if (line[0] == '^' || line[0] == '#') line.erase(0, 1);
        targets.push_back(standin::NativePath(line));
    }
    return targets;
}

bool AddBacklog(const bsodemo::DemoOutbound &demo, int perLink, std::vector<std::string> &flowFiles,
                std::string &error) {
    fs::path outbound = demo.outbound;
    std::string prefix = outbound.filename().string();
    std::vector<fs::path> found;
    std::error_code failed;
    for (const fs::directory_entry &top : fs::directory_iterator(outbound.parent_path(), failed)) {
        if (top.path().filename().string().rfind(prefix, 0) != 0 || !top.is_directory()) continue;
        for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top.path())) {
            std::string name = entry.path().filename().string();
            if (name.size() != 12 || name[8] != '.') continue;
            char l = static_cast<char>(std::tolower(static_cast<unsigned char>(name[10])));
            char o = static_cast<char>(std::tolower(static_cast<unsigned char>(name[11])));
            if (l == 'l' && o == 'o') found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    const char *const prefixes[] = {"^", "#", ""};
    int number = 0;
    for (const fs::path &flow : found) {
        std::string lines;
        for (int i = 0; i < perLink; ++i, ++number) {
            fs::path file = fs::path(demo.files) / ("b" + std::to_string(number) + ".dat");
            std::ofstream out(file, std::ios::binary);
            out << std::string(static_cast<size_t>(200 + number % 1000), 'b');
            if (!out) {
                error = "cannot write " + file.string();
                return false;
            }
            lines += prefixes[number % 3] + bsodemo::Win32Form(file.string()) + "\r\n";
        }
        std::ofstream(flow, std::ios::binary | std::ios::trunc) << lines;
        flowFiles.push_back(flow.string());
    }
    if (found.empty()) error = "no flow files in " + outbound.string();
    return !found.empty();
}

std::string OnlyFlowFile(const std::string &outboundNative) {
    std::string found;
    for (const auto &entry : fs::directory_iterator(outboundNative)) {
        std::string name = entry.path().filename().string();
        if (name.size() == 12 && (name.substr(10) == "lo" || name.substr(10) == "LO"))
            found = entry.path().string();
    }
    return found;
}

size_t CountEntriesBelow(const std::string &nativePath) {
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator(nativePath);
         it != fs::recursive_directory_iterator(); ++it)
        ++count;
    return count;
}

} // namespace bench
