// Small helpers of the bso tests: the names in a directory, a current directory that is put
// back, settings that are put back.
#ifndef BSOPANEL_TESTS_BSO_TEST_FILES_H
#define BSOPANEL_TESTS_BSO_TEST_FILES_H

#include <set>
#include <string>

#include "settings/settings.h"

// The names in a directory of the temporary tree as the file system holds them (case kept).
std::set<std::string> NamesIn(const std::string &nativeDirectory);

// Makes the directory current (through the Win32 API) and restores the previous one.
struct CurrentDirectory {
    explicit CurrentDirectory(const std::string &winPath);
    ~CurrentDirectory();
    std::string Saved;
};

// Sets the outbound root and the own address, and restores the settings afterwards.
struct OutboundSettings {
    OutboundSettings(const std::string &pathToOutbound, const std::string &address);
    ~OutboundSettings();
    PluginSettings Saved;
};

#endif
