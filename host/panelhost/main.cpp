// panelhost: the bsopanel plugin in a terminal. Loads the plugin module into the stand-in host,
// writes the settings given on the command line, and shows the plugin panel beside a file panel.
#include "demo_outbound.h"
#include "host_core.h"
#include "options.h"
#include "panels_app.h"
#include "screen.h"
#include "terminal_ui.h"

#include "core/language_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#ifndef BSOPANEL_VERSION
#define BSOPANEL_VERSION "unknown"
#endif

namespace fs = std::filesystem;
using namespace panelhost;

namespace {

const char kProgram[] = "panelhost";
const char kSettingsKey[] = "Software\\Far\\Plugins\\KESTREL";

int Fail(const std::string &message, int status = 1) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

std::string RegistryFile() {
    if (const char *path = std::getenv("BSOPANEL_REGISTRY"); path && *path) return path;
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        struct passwd *user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.config/bsopanel/registry.reg";
}

std::string ExecutableDirectory() {
    std::error_code code;
    fs::path self = fs::read_symlink("/proc/self/exe", code);
    return code ? std::string(".") : self.parent_path().string();
}

// The plugin module: the one given, else the one installed with panelhost (lib/bsopanel
// beside bin/), else the one of the build tree (plugin/ beside bin/).
bool FindPlugin(const std::string &given, std::string &module, std::string &error) {
    std::error_code code;
    if (!given.empty()) {
        fs::path path = fs::absolute(given, code);
        if (code || !fs::exists(path, code)) {
            error = "the plugin module " + given + " does not exist";
            return false;
        }
        if (!fs::is_regular_file(path, code)) {
            error = "the plugin module " + given + " is not a file";
            return false;
        }
        module = fs::canonical(path, code).string();
        return true;
    }
    fs::path directory = ExecutableDirectory();
    std::vector<fs::path> candidates = {directory / ".." / "lib" / "bsopanel" / "bsopanel.so",
                                        directory / ".." / "plugin" / "bsopanel.so"};
    for (const fs::path &candidate : candidates)
        if (fs::is_regular_file(candidate, code)) {
            module = fs::canonical(candidate, code).string();
            return true;
        }
    error = "no plugin module found; looked for";
    for (const fs::path &candidate : candidates)
        error += "\n  " + candidate.lexically_normal().string();
    error += "\nGive the module's path as the last argument (see --help).";
    return false;
}

// A language asked for must have its file beside the module: the host would fall back to
// English without a word, and the user would not know why.
bool CheckLanguage(const std::string &module, const std::string &language, std::string &error) {
    std::string directory = standin::Win32Path(fs::path(module).parent_path().string());
    std::vector<std::string> there;
    for (const std::string &path : standin::FindLanguageFiles(directory)) {
        std::string bytes, problem;
        standin::ParsedLanguageFile header;
        if (!standin::ReadWholeFile(path, bytes, problem) ||
            !standin::ParseLanguageFile(path, bytes, true, header, problem))
            continue; // the host reports a broken file when it loads the plugin
        if (standin::SameTextIgnoringCase(header.name, language)) return true;
        there.push_back(header.name + " (" +
                        fs::path(standin::NativePath(path)).filename().string() + ")");
    }
    error = "no language file for \"" + language + "\" beside the plugin in " +
            standin::NativePath(directory);
    if (there.empty()) {
        error += "; there is no language file (*.lng) there at all";
    } else {
        error += "; the languages there are:";
        for (const std::string &name : there) error += " " + name;
    }
    return false;
}

bool CheckRegistry(std::string &error) {
    HKEY key;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
        return true;
    }
    if (status == ERROR_FILE_NOT_FOUND) return true; // nothing stored yet
    std::string file = RegistryFile();
    if (status == ERROR_BADDB)
        error =
            "the settings file " + file +
            " is broken: it is not a registry file in REGEDIT4 format that can be read (its first "
            "line is REGEDIT4, then [HKEY_CURRENT_USER\\...] sections with \"name\"=value lines). "
            "Mend it, or move it away to start with default settings.";
    else
        error =
            "the settings file " + file + " cannot be read (error " + std::to_string(status) + ")";
    return false;
}

bool WriteSetting(const char *name, const std::string &text, std::string &error) {
    HKEY key;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        error = std::string("cannot store ") + name + " in the settings file " + RegistryFile() +
                " (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

std::string ReadSetting(const char *name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    char text[512];
    DWORD type = 0, size = sizeof text - 1;
    LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size);
    RegCloseKey(key);
    // Set, though longer than this buffer: the plugin itself says that it is too long.
    if (status == ERROR_MORE_DATA && type == REG_SZ) return "...";
    if (status != ERROR_SUCCESS || type != REG_SZ) return "";
    text[size] = 0;
    return text;
}

// A fresh directory for the demo under $TMPDIR (else /tmp).
bool MakeDemoDirectory(std::string &directory, std::string &error) {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/bsopanel-demo-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data())) {
        error = "cannot make a temporary directory like " + pattern;
        return false;
    }
    directory = buffer.data();
    return true;
}

// The demo's directory goes when panelhost ends, however it ends: a terminal closed under it
// (SIGHUP), a kill (SIGTERM, even SIGKILL) or a crash leave no run of the normal clean-up. So a
// child process of its own waits for panelhost's end, seen as the end of a pipe that only
// panelhost holds open, and removes the directory then.
bool RemoveWhenGone(const std::string &directory, std::string &error) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start a process: ") + std::strerror(errno);
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (child == 0) {
        // The terminal's hang-up and the keys that stop a program go to its whole process
        // group: this process outlives panelhost by ignoring them, and holds nothing of the
        // terminal.
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU})
            std::signal(signal, SIG_IGN);
        int null = open("/dev/null", O_RDWR);
        for (int descriptor = 0; descriptor < 3; ++descriptor) dup2(null, descriptor);
        long last = sysconf(_SC_OPEN_MAX);
        for (int descriptor = 3; descriptor < (last > 0 ? last : 1024); ++descriptor)
            if (descriptor != ends[0]) close(descriptor);
        for (;;) {
            char byte;
            ssize_t got = read(ends[0], &byte, 1);
            if (got == 0 || (got < 0 && errno != EINTR)) break;
        }
        std::error_code ignored;
        fs::remove_all(directory, ignored);
        _exit(0);
    }
    close(ends[0]); // the write end stays open, unread, until panelhost ends
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(arguments, line, error))
        return Fail(error + "\nTry '" + kProgram + " --help'.", 2);
    if (line.help) {
        std::fputs(UsageText(kProgram).c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s (bsopanel) %s\n", kProgram, BSOPANEL_VERSION);
        return 0;
    }
    if (!isatty(0) || !isatty(1))
        return Fail("panelhost needs a terminal: its input and output must be one");
    std::string module;
    if (!FindPlugin(line.plugin, module, error)) return Fail(error);
    std::string language = line.language;
    if (language.empty())
        if (const char *fromEnvironment = std::getenv("BSOPANEL_LANG");
            fromEnvironment && *fromEnvironment)
            language = fromEnvironment;
    if (!language.empty() && !CheckLanguage(module, language, error)) return Fail(error);

    standin::HostOptions options;
    options.language = language;
    std::string demoDirectory;
    bsodemo::DemoOutbound demo;
    if (line.demo) {
        if (!MakeDemoDirectory(demoDirectory, error)) return Fail(error);
        if (!RemoveWhenGone(demoDirectory, error)) {
            std::error_code ignored;
            fs::remove_all(demoDirectory, ignored);
            return Fail(error);
        }
        if (!bsodemo::BuildDemoOutbound(demoDirectory, demo, error)) {
            std::error_code ignored;
            fs::remove_all(demoDirectory, ignored);
            return Fail("cannot build the demo outbound: " + error);
        }
        // The demo keeps its settings to itself: the user's own registry file stays untouched.
        options.registryFile = demoDirectory + "/registry.reg";
        setenv("BSOPANEL_REGISTRY", options.registryFile.c_str(), 1);
        options.rightDirectory = standin::Win32Path(demo.files);
    }
    auto cleanUp = [&]() {
        std::error_code ignored;
        if (!demoDirectory.empty()) fs::remove_all(demoDirectory, ignored);
    };

    if (!CheckRegistry(error)) {
        cleanUp();
        return Fail(error);
    }
    std::vector<std::string> startWarning;
    std::string outbound = line.demo ? demo.outboundWin32 : std::string();
    if (!line.outbound.empty()) {
        std::error_code code;
        fs::path path = fs::absolute(line.outbound, code).lexically_normal();
        std::string native = path.string();
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        outbound = standin::Win32Path(native);
        if (!fs::is_directory(native, code))
            startWarning = {"The outbound directory does not exist:", native,
                            "The panel stays empty until the mailer makes it."};
    }
    std::string address = line.demo && line.address.empty() ? demo.ownAddress : line.address;
    if ((!outbound.empty() && !WriteSetting("PathToOutbound", outbound, error)) ||
        (!address.empty() && !WriteSetting("Address", address, error)) ||
        (line.demo && (!WriteSetting("NodelistPath", demo.nodelistWin32, error) ||
                       !WriteSetting("PointlistPath", demo.pointlistWin32, error)))) {
        cleanUp();
        return Fail(error);
    }
    if (startWarning.empty() && ReadSetting("PathToOutbound").empty())
        startWarning = {"No outbound directory is set yet.",
                        "Start panelhost with --outbound DIR --address ZONE:NET/NODE,",
                        "or set both in the plugin's settings (Alt+Shift+F9).",
                        "panelhost --demo shows a demo outbound."};

    Screen screen;
    int status = 0;
    {
        TerminalUi ui(screen);
        standin::Host host(ui, options);
        if (!host.LoadPlugin(module)) {
            std::string why = host.LastError();
            cleanUp();
            return Fail(why);
        }
        if (!screen.Open(error)) {
            cleanUp();
            return Fail(error);
        }
        HelpLibrary help(standin::Win32Path(fs::path(module).parent_path().string()),
                         host.LanguageName());
        ui.SetHelp(&help);
        PanelsApp app(host, ui, screen);
        host.SetActive(standin::Side::Left);
        if (!host.OpenPanelOn(standin::Side::Left))
            startWarning = {"The plugin opened no panel:", host.LastError(), "F11 tries again."};
        if (!startWarning.empty()) app.WarnAtStart(line.demo ? "Demo" : "Settings", startWarning);
        status = app.Run();
        // The plugin's panels close while the screen and the panels' drawing are still there.
        for (standin::Side side : {standin::Side::Left, standin::Side::Right})
            if (host.GetPanel(side).IsPlugin()) host.ClosePanelOn(side);
        ui.SetHelp(nullptr);
    }
    screen.Close();
    cleanUp();
    return status;
}
