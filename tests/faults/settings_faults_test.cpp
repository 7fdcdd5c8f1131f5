// The settings' writes, failed: the configuration dialog accepted while the registry cannot
// take the values. On Linux the registry is compat's file, which is replaced whole for every
// value; a failed write must leave it as one of the states a successful save passes through
// (each value old or new, never a cut or mixed file) and leave no temporary file. The plugin
// does not report such a failure (its settings have no message for it); the values stay in
// memory as the user set them. Windows keeps its own registry: these run natively only.
#include "scripted_gtest.h"
#include "temp_dir.h"

#include "settings/config_dialog.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>

namespace {

namespace fs = std::filesystem;
using standin::Expect;

#ifndef _WIN32

const char *const ValueNames[] = {
    "AddToDisksMenu",     "DisksMenuDigit",   "LinksPanelMode", "FilesPanelMode",
    "NoChangePanelMode",  "PathToOutbound",   "Address",        "AttachFlavor",
    "PollFlavor",         "AutoRefresh",      "AgeMarkDays",    "StaleBusyHours",
    "OldEmptyBundleDays", "FlowFileCodePage", "NodelistPath",   "PointlistPath"};

std::string ReadBytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The settings in a registry file of the test's own, the plugin in the host, the dialog
// answered with a new value for every setting.
class SettingsFaults : public ::testing::Test {
protected:
    SettingsFaults() {
        SetRegistryFile(dir.Native("reg/registry.reg"));
        fs::create_directories(dir.Native("reg"));
        WriteText("PathToOutbound", dir.Win("out"));
        WriteText("Address", "2:5020/1000");
        before = ReadBytes(registryFile);
    }
    ~SettingsFaults() override {
        if (hadPrevious)
            setenv("BSOPANEL_REGISTRY", previous.c_str(), 1);
        else
            unsetenv("BSOPANEL_REGISTRY");
    }

    void SetRegistryFile(const fs::path &file) {
        registryFile = file;
        const char *old = getenv("BSOPANEL_REGISTRY");
        if (!hadPrevious && old) {
            hadPrevious = true;
            previous = old;
        }
        setenv("BSOPANEL_REGISTRY", file.c_str(), 1);
    }

    std::string Key() const { return rootKey + "\\KESTREL"; }
    void WriteText(const std::string &name, const std::string &text) {
        HKEY key;
        DWORD disposition;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key().c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
    // The stored bytes of a value, or nullopt.
    std::optional<std::string> Stored(const std::string &name) const {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Key().c_str(), 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return std::nullopt;
        char data[512];
        DWORD size = sizeof data;
        LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                          reinterpret_cast<BYTE *>(data), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return std::nullopt;
        return std::string(data, size);
    }
    std::map<std::string, std::optional<std::string>> AllStored() const {
        std::map<std::string, std::optional<std::string>> values;
        for (const char *name : ValueNames) values[name] = Stored(name);
        return values;
    }

    // Loads the plugin and accepts the dialog with every value changed. Returns what
    // Configure answered.
    int Configure() {
        standin::GtestFrontEnd front;
        standin::HostOptions options;
        options.rootKey = rootKey;
        options.registryFile = registryFile.string();
        standin::Host host(front, options);
        // Kept loaded for the whole program, as a real host keeps its plugins: an unloaded
        // module's allocations would read as leaks.
        static HMODULE kept = LoadLibraryA(standin::BuiltPluginModule().c_str());
        (void)kept;
        if (!host.LoadPlugin(standin::BuiltPluginModule())) {
            ADD_FAILURE() << host.LastError();
            return -1;
        }
        front.Expect(Expect::Dialog("BSOCfg")
                         .SetCheck(ConfigItem("AddToDisksMenu"), false)
                         .Edit(ConfigItem("DisksMenuDigit"), "7")
                         .Edit(ConfigItem("PathToOutbound"), dir.Win("new-outbound"))
                         .Edit(ConfigItem("Address"), "2:5020/1000.1")
                         .Edit(ConfigItem("LinksPanelMode"), "4")
                         .Edit(ConfigItem("FilesPanelMode"), "5")
                         .SetCheck(ConfigItem("NoChangePanelMode"), true)
                         .SetCheck(ConfigItem("AutoRefresh"), false)
                         .Radio(ConfigItem("PollFlavor") + 1)
                         .Radio(ConfigItem("AttachFlavor") + 4)
                         .Press(ConfigOkItem()));
        int result = host.Configure(0);
        EXPECT_EQ(front.Verify(), "");
        standin::ExpectNoHostFailures(host);
        return result;
    }

    // Files beside the registry file other than itself (a temporary copy left behind).
    std::vector<std::string> StrayFiles() const {
        std::vector<std::string> stray;
        std::error_code error;
        for (const fs::directory_entry &entry :
             fs::directory_iterator(registryFile.parent_path(), error))
            if (entry.path() != registryFile) stray.push_back(entry.path().filename().string());
        return stray;
    }

    TempDir dir;
    std::string rootKey = "Software\\BsopanelTests\\settings\\Plugins";
    fs::path registryFile;
    std::string before;
    bool hadPrevious = false;
    std::string previous;
};

// Fails every write from some point on (a disk that fills up: a limit on the size of the
// files this process writes), for limits just below each size the file takes during a good
// save: each value is then stored old or new, the file stays whole, no copy is left.
TEST_F(SettingsFaults, FullDiskLeavesAWholeRegistryFile) {
    std::map<std::string, std::optional<std::string>> old = AllStored();
    ASSERT_EQ(Configure(), 1);
    std::map<std::string, std::optional<std::string>> saved = AllStored();
    std::string after = ReadBytes(registryFile);

    // The sizes the file takes along a good save, value by value.
    std::ofstream(registryFile, std::ios::binary) << before;
    std::set<size_t> limits;
    {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Key().c_str(), 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        for (const char *name : ValueNames) {
            std::string text = name;
            DWORD type = text == "PathToOutbound" || text == "Address" || text == "NodelistPath" ||
                                 text == "PointlistPath"
                             ? REG_SZ
                             : REG_DWORD;
            const std::string &bytes = *saved[name];
            RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                           static_cast<DWORD>(bytes.size()));
            limits.insert(ReadBytes(registryFile).size() - 1);
        }
        RegCloseKey(key);
    }
    ASSERT_EQ(ReadBytes(registryFile), after);

    signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
    int points = 0, damaged = 0;
    for (size_t limit : limits) {
        SCOPED_TRACE("file size limit " + std::to_string(limit));
        std::ofstream(registryFile, std::ios::binary) << before;
        rlimit unlimited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        rlimit small = unlimited;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        int result = Configure();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        ++points;
        // Accepted: the dialog's answer, whatever the registry took.
        EXPECT_EQ(result, 1);
        EXPECT_NE(ReadBytes(registryFile), after) << "nothing failed";
        for (const char *name : ValueNames) {
            std::optional<std::string> now = Stored(name);
            bool whole = now == old[name] || now == saved[name];
            if (!whole) ++damaged;
            EXPECT_TRUE(whole) << name;
        }
        EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
    }
    signal(SIGXFSZ, SIG_DFL);
    std::cout << "\nSettings: failure points tried: " << points << ", values damaged: " << damaged
              << "\n";
    RecordProperty("FailurePointsTried", points);
    RecordProperty("ValuesDamaged", damaged);
}

// The registry file's place taken by a directory, or its directory by a file: nothing is
// saved, nothing is made, nothing is left; the plugin goes on with the values in memory.
TEST_F(SettingsFaults, RegistryFileThatCannotBeWritten) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
    } cases[] = {
        {"a directory where the file should be",
         [&] {
             fs::remove(registryFile);
             fs::create_directory(registryFile);
         }},
        {"a file where its directory should be",
         [&] {
             fs::remove_all(registryFile.parent_path());
             std::ofstream(registryFile.parent_path()) << "not a directory";
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        EXPECT_EQ(Configure(), 1);
        if (fs::is_directory(registryFile)) {
            EXPECT_TRUE(fs::is_empty(registryFile));
            EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
            fs::remove(registryFile);
        } else {
            EXPECT_EQ(ReadBytes(registryFile.parent_path()), "not a directory");
            fs::remove(registryFile.parent_path());
        }
        fs::create_directories(registryFile.parent_path());
        std::ofstream(registryFile, std::ios::binary) << before;
    }
}

// The registry's directory taken away meanwhile: it is made again and holds every new value.
TEST_F(SettingsFaults, VanishedRegistryDirectoryIsMadeAgain) {
    fs::remove_all(registryFile.parent_path());
    EXPECT_EQ(Configure(), 1);
    EXPECT_EQ(Stored("Address"), std::string("2:5020/1000.1", 14));
    EXPECT_EQ(Stored("PollFlavor"), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
}

// Without write permission on the registry's directory (which root does not feel), nothing
// changes and nothing is left.
TEST_F(SettingsFaults, NoPermissionChangesNothing) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
    fs::permissions(registryFile.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(Configure(), 1);
    fs::permissions(registryFile.parent_path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(registryFile), before);
    EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
}

#else

TEST(SettingsFaults, NativeOnly) {
    GTEST_SKIP() << "Windows keeps the settings in its own registry";
}

#endif

} // namespace
