// A full open, list, enter, list, close cycle of the plugin panel through the stand-in host on
// the demo outbound, twice, for LeakSanitizer (the debug preset) and valgrind:
//
//   valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect
//            --error-exitcode=1 build/<dir>/bench/bsopanel_leak_cycle
//
// Exits non-zero when a step does not do what it should.
#include "demo_outbound.h"
#include "host_core.h"
#include "scripted_frontend.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Answers every box with Esc: a missing file's question keeps the entry.
class SilentFrontEnd : public standin::FrontEnd {
public:
    int Dialog(const standin::DialogRequest &) override { return -1; }
    int Message(const standin::MessageRequest &) override { return -1; }
    int Editor(const standin::EditorRequest &) override { return 0; }
};

bool Check(bool condition, const std::string &what) {
    if (!condition) std::fprintf(stderr, "bsopanel_leak_cycle: %s\n", what.c_str());
    return condition;
}

bool WriteSetting(const std::string &key, const char *name, DWORD type, const void *data,
                  DWORD size) {
    HKEY handle;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &handle, &disposition) != ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE *>(data), size) ==
                   ERROR_SUCCESS;
    RegCloseKey(handle);
    return written;
}

// Enters the link, checks that its view lists something, and goes back to the root.
bool VisitLink(standin::Host &host, const std::string &address) {
    standin::Panel &panel = host.Left();
    if (!Check(panel.SetCurrentByName(address), "no row " + address)) return false;
    if (!Check(panel.Enter(), "cannot enter " + address)) return false;
    bool listed = Check(panel.CurDir() == address, "the panel is not inside " + address) &&
                  Check(panel.Count() > 1, address + " lists nothing");
    if (!Check(panel.Update(), "cannot list " + address + " again")) return false;
    panel.SetCurrent(0);
    return Check(panel.Enter() && panel.CurDir().empty(), "cannot leave " + address) && listed;
}

bool Cycle(const bsodemo::DemoOutbound &demo, const standin::HostOptions &options) {
    SilentFrontEnd front;
    standin::Host host(front, options);
    if (!Check(host.LoadPlugin(standin::BuiltPluginModule()), host.LastError())) return false;
    if (!Check(host.OpenPanel(OPEN_DISKMENU), "cannot open the panel")) return false;
    bool fine = Check(host.Left().Count() > static_cast<int>(demo.links.size()) - 1,
                      "the root lists too few links") &&
                VisitLink(host, "2:5020/1.0") && VisitLink(host, "2:463/68.0") &&
                Check(host.Left().Update(), "cannot list the root again");
    host.ClosePanel();
    fine = Check(!host.Left().IsPlugin(), "the panel did not close") && fine;
    fine =
        Check(host.Failures().empty(), host.Failures().empty() ? "" : host.Failures()[0]) && fine;
    fine = Check(host.OpenScreens() == 0 && host.OpenDirLists() == 0,
                 "screens or directory lists left open") &&
           fine;
    return fine;
}

} // namespace

int main() {
    char pattern[] = "/tmp/bsopanel-leak-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string directory = pattern;
    bool fine = false;
    {
        standin::TestRegistry registry(directory);
        bsodemo::DemoOutbound demo;
        std::string error;
        if (Check(bsodemo::BuildDemoOutbound(directory, demo, error), error)) {
            std::string key = registry.RootKey() + "\\KESTREL";
            DWORD off = 0;
            fine = Check(WriteSetting(key, "PathToOutbound", REG_SZ, demo.outboundWin32.c_str(),
                                      static_cast<DWORD>(demo.outboundWin32.size() + 1)) &&
                             WriteSetting(key, "Address", REG_SZ, demo.ownAddress.c_str(),
                                          static_cast<DWORD>(demo.ownAddress.size() + 1)) &&
                             WriteSetting(key, "AutoRefresh", REG_DWORD, &off, sizeof off),
                         "cannot write the settings");
            standin::HostOptions options = registry.Options();
            options.leftDirectory = options.rightDirectory = standin::Win32Path(directory);
            for (int round = 0; fine && round < 2; ++round) fine = Cycle(demo, options);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    std::printf("bsopanel_leak_cycle: %s\n",
                fine ? "open, list, enter, list, close: fine" : "FAILED");
    return fine ? 0 : 1;
}
