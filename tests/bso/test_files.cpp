#include "test_files.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string.h>

std::set<std::string> NamesIn(const std::string &nativeDirectory) {
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(nativeDirectory))
        names.insert(entry.path().filename().string());
    return names;
}

CurrentDirectory::CurrentDirectory(const std::string &winPath) {
    char saved[MAX_PATH];
    if (GetCurrentDirectoryA(MAX_PATH, saved) == 0)
        throw std::runtime_error("no current directory");
    Saved = saved;
    if (!SetCurrentDirectoryA(winPath.c_str())) throw std::runtime_error("cannot enter " + winPath);
}

CurrentDirectory::~CurrentDirectory() {
    SetCurrentDirectoryA(Saved.c_str());
}

OutboundSettings::OutboundSettings(const std::string &pathToOutbound, const std::string &address)
    : Saved(Settings) {
    snprintf(Settings.PathToOutbound, sizeof Settings.PathToOutbound, "%s", pathToOutbound.c_str());
    snprintf(Settings.Address, sizeof Settings.Address, "%s", address.c_str());
}

OutboundSettings::~OutboundSettings() {
    Settings = Saved;
}
