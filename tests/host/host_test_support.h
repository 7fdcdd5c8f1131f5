// What the host tests share: a folder holding a copy of the test plugin with language files
// that each test writes, and a fixture that loads it into a host with a scripted front end.
#ifndef BSOPANEL_TESTS_HOST_TEST_SUPPORT_H
#define BSOPANEL_TESTS_HOST_TEST_SUPPORT_H

#include "scripted_gtest.h"
#include "temp_dir.h"
#include "test_plugin_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

// The English texts of the test plugin: message 0 is its menu entry, 1 its disks menu entry.
extern const char kEnglishLng[];
// Russian in code page 866: "Тест" and "Диск".
extern const char kRussianLng[];

// A path the build wrote into the program, as this platform's file system takes it.
std::filesystem::path BuildOutput(const char *path);

// A folder with a copy of a plugin module ("testplugin" + the module's suffix); each copy is
// loaded as a module of its own, with its own statics.
class PluginFolder {
public:
    explicit PluginFolder(const char *builtModule = HOST_TEST_PLUGIN);
    TempDir dir;
    std::string module; // Win32 form
};

class HostTest : public ::testing::Test {
protected:
    HostTest() : registry_(work.Win()) {}
    ~HostTest() override;

    // Writes the English file unless the test wrote language files already, then loads.
    void Load(standin::HostOptions options = {});
    standin::HostOptions Options() const { return registry_.Options(); }
    void AddEntry(const std::string &dir, const std::string &name, DWORD attributes, DWORD size = 0,
                  const std::string &column0 = "", const std::string &column1 = "",
                  DWORD writeTime = 0);
    void Folder(const std::string &dir, const std::string &name) {
        AddEntry(dir, name, FILE_ATTRIBUTE_DIRECTORY);
    }
    // Opens the plugin on the left panel (active) and fails the test when it does not open.
    standin::Panel &Open();

    TempDir work; // anything a test needs on disk, the registry file included
    PluginFolder folder;
    standin::GtestFrontEnd front;
    std::unique_ptr<standin::Host> host;
    TestPluginState *state = nullptr;

private:
    standin::TestRegistry registry_;
};

#endif
