#include "host_test_support.h"

#include <cstring>

namespace fs = std::filesystem;

const char kEnglishLng[] = ".Language=English,English\r\n"
                           "\r\n"
                           "// The test plugin's texts\r\n"
                           "\"Test plugin\"\r\n"
                           "\"Test disk\"\r\n";

const char kRussianLng[] = ".Language=Russian,Russian (\x90\xE3\xE1\xE1\xAA\xA8\xA9)\r\n"
                           "\"\x92\xA5\xE1\xE2\"\r\n"
                           "\"\x84\xA8\xE1\xAA\"\r\n";

fs::path BuildOutput(const char *path) {
#ifdef _WIN32
    return fs::path(standin::Win32Path(path));
#else
    return fs::path(path);
#endif
}

PluginFolder::PluginFolder(const char *builtModule) {
    fs::path source = BuildOutput(builtModule);
    std::string name = "testplugin" + source.extension().string();
    fs::copy_file(source, dir.Native(name));
    module = dir.Win(name);
}

HostTest::~HostTest() {
    if (host) standin::ExpectNoHostFailures(*host);
    host.reset();
}

void HostTest::Load(standin::HostOptions options) {
    if (!folder.dir.Exists("eng.lng") && !folder.dir.Exists("rus.lng"))
        folder.dir.Write("eng.lng", kEnglishLng);
    standin::HostOptions merged = Options();
    merged.language = options.language.empty() ? "English" : options.language;
    merged.expectedMessages = options.expectedMessages;
    merged.leftDirectory = options.leftDirectory.empty() ? work.Win() : options.leftDirectory;
    merged.rightDirectory = options.rightDirectory.empty() ? work.Win() : options.rightDirectory;
    merged.showHidden = options.showHidden;
    host.reset(new standin::Host(front, merged));
    ASSERT_TRUE(host->LoadPlugin(folder.module)) << host->LastError();
    auto getState = reinterpret_cast<PFN_TestPluginGetState>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(host->Module(), "TestPluginGetState")));
    ASSERT_NE(getState, nullptr);
    state = getState();
    state->openFlags = OPIF_ADDDOTS;
}

void HostTest::AddEntry(const std::string &dir, const std::string &name, DWORD attributes,
                        DWORD size, const std::string &column0, const std::string &column1,
                        DWORD writeTime) {
    ASSERT_LT(state->entryCount, 32);
    TestEntry &entry = state->entries[state->entryCount++];
    std::memset(&entry, 0, sizeof entry);
    std::snprintf(entry.dir, sizeof entry.dir, "%s", dir.c_str());
    std::snprintf(entry.name, sizeof entry.name, "%s", name.c_str());
    entry.attributes = attributes;
    entry.size = size;
    entry.writeTime = writeTime;
    std::snprintf(entry.columns[0], sizeof entry.columns[0], "%s", column0.c_str());
    std::snprintf(entry.columns[1], sizeof entry.columns[1], "%s", column1.c_str());
}

standin::Panel &HostTest::Open() {
    EXPECT_TRUE(host->OpenPanel()) << host->LastError();
    return host->Left();
}
