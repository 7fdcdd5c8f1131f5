#include "tmux_terminal.h"

#include "text.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using panelhost::DecodeUtf8;
using panelhost::EncodeUtf8;

// ---- TerminalScreen -------------------------------------------------------------------------

TerminalScreen::TerminalScreen(const std::string &capture) {
    size_t start = 0;
    while (start < capture.size()) {
        size_t end = capture.find('\n', start);
        if (end == std::string::npos) end = capture.size();
        lines_.push_back(DecodeUtf8(capture.substr(start, end - start)));
        start = end + 1;
    }
}

std::string TerminalScreen::Line(int y) const {
    return y >= 0 && y < Rows() ? EncodeUtf8(lines_[static_cast<size_t>(y)]) : std::string();
}

std::string TerminalScreen::Cells(int y, int x, int width) const {
    if (y < 0 || y >= Rows() || x < 0) return "";
    const std::u32string &line = lines_[static_cast<size_t>(y)];
    if (static_cast<size_t>(x) >= line.size()) return "";
    return EncodeUtf8(line.substr(static_cast<size_t>(x), static_cast<size_t>(width)));
}

bool TerminalScreen::Contains(const std::string &text) const {
    return LineOf(text) >= 0;
}

int TerminalScreen::LineOf(const std::string &text) const {
    std::u32string wanted = DecodeUtf8(text);
    for (int y = 0; y < Rows(); ++y)
        if (lines_[static_cast<size_t>(y)].find(wanted) != std::u32string::npos) return y;
    return -1;
}

int TerminalScreen::ColumnOf(int y, const std::string &text) const {
    if (y < 0 || y >= Rows()) return -1;
    size_t at = lines_[static_cast<size_t>(y)].find(DecodeUtf8(text));
    return at == std::u32string::npos ? -1 : static_cast<int>(at);
}

std::string TerminalScreen::Flat() const {
    std::string text;
    for (int y = 0; y < Rows(); ++y) text += Line(y);
    return text;
}

std::string TerminalScreen::Text() const {
    std::string text;
    for (int y = 0; y < Rows(); ++y) text += Line(y) + "\n";
    return text;
}

// ---- TmuxTerminal ---------------------------------------------------------------------------

namespace {

std::string Quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

} // namespace

bool TmuxTerminal::Run(const std::vector<std::string> &command, std::string *output) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 2);
        }
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        // tmux wants a terminal type even for windows nobody looks at.
        if (!std::getenv("TERM")) setenv("TERM", "xterm", 1);
        std::vector<char *> argv;
        for (const std::string &argument : command)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) *output = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TmuxTerminal::TmuxAvailable() {
    return Run({"tmux", "-V"});
}

TmuxTerminal::TmuxTerminal(const std::string &directory, int columns, int rows)
    : directory_(directory), config_(directory + "/tmux.conf"), columns_(columns), rows_(rows) {
    // A socket of its own for each terminal: a server just told to end may still hold the last.
    static int terminals = 0;
    socket_ = directory + "/tmux-" + std::to_string(++terminals) + ".socket";
    exitStatus_ = directory + "/exit-status-" + std::to_string(terminals);
    std::ofstream config(config_);
    // The pane stays after the program ends, so its last words and exit status can be read;
    // no status line, so the window is the program's whole screen; extended keys, so that
    // Ctrl+digit reaches a program that asks for it.
    config << "set -g remain-on-exit on\n"
              "set -g status off\n"
              "set -s extended-keys on\n"
              "set -s escape-time 0\n";
}

TmuxTerminal::~TmuxTerminal() {
    if (started_) Run({"tmux", "-S", socket_, "kill-server"});
}

std::vector<std::string> TmuxTerminal::Tmux(const std::vector<std::string> &arguments) const {
    std::vector<std::string> command = {"tmux", "-S", socket_, "-f", config_};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

bool TmuxTerminal::Start(const std::string &program, const std::vector<std::string> &arguments,
                         const std::map<std::string, std::string> &environment) {
    std::map<std::string, std::string> variables = {
        {"LANG", "C.UTF-8"},
        {"LC_ALL", "C.UTF-8"},
        {"HOME", directory_},
        {"TMPDIR", directory_},
        {"BSOPANEL_REGISTRY", directory_ + "/registry.reg"}};
    for (const auto &variable : environment) variables[variable.first] = variable.second;
    std::string script = "#!/bin/sh\nunset BSOPANEL_LANG VISUAL EDITOR\n";
    for (const auto &variable : variables)
        script += "export " + variable.first + "=" + Quoted(variable.second) + "\n";
    // The shell stays to write down the exit status: tmux may tell a pane dead before it knows how
    // its program ended.
    script += Quoted(program);
    for (const std::string &argument : arguments) script += " " + Quoted(argument);
    script += "\necho $? > " + Quoted(exitStatus_) + "\n";
    std::string launcher = directory_ + "/run-panelhost.sh";
    std::ofstream(launcher) << script;
    started_ = true;
    return Run(Tmux({"new-session", "-d", "-s", "t", "-x", std::to_string(columns_), "-y",
                     std::to_string(rows_), "sh " + Quoted(launcher)}));
}

void TmuxTerminal::Keys(const std::vector<std::string> &keys) {
    std::vector<std::string> arguments = {"send-keys", "-t", "t"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    Run(Tmux(arguments));
}

void TmuxTerminal::Type(const std::string &text) {
    Run(Tmux({"send-keys", "-t", "t", "-l", text}));
}

void TmuxTerminal::Resize(int columns, int rows) {
    columns_ = columns;
    rows_ = rows;
    Run(Tmux(
        {"resize-window", "-t", "t", "-x", std::to_string(columns), "-y", std::to_string(rows)}));
}

TerminalScreen TmuxTerminal::Screen() const {
    std::string capture;
    Run(Tmux({"capture-pane", "-p", "-t", "t"}), &capture);
    return TerminalScreen(capture);
}

std::string TmuxTerminal::ColouredText() const {
    std::string capture;
    Run(Tmux({"capture-pane", "-p", "-e", "-t", "t"}), &capture);
    return capture;
}

TerminalScreen TmuxTerminal::Transcript() const {
    std::string capture;
    Run(Tmux({"capture-pane", "-p", "-t", "t", "-S", "-"}), &capture);
    return TerminalScreen(capture);
}

bool TmuxTerminal::WaitFor(const std::function<bool(const TerminalScreen &)> &condition,
                           TerminalScreen *last, int tries) const {
    TerminalScreen screen;
    for (int attempt = 0; attempt < tries; ++attempt) {
        screen = Screen();
        if (condition(screen)) {
            // The program may be in the middle of drawing: only a screen that stays the same a
            // moment later counts.
            Pause();
            TerminalScreen again = Screen();
            if (again.Text() == screen.Text()) {
                if (last) *last = screen;
                return true;
            }
            continue;
        }
        Pause();
    }
    if (last) *last = screen;
    return false;
}

bool TmuxTerminal::WaitForText(const std::string &text, int tries) const {
    return WaitFor([&](const TerminalScreen &screen) { return screen.Contains(text); }, nullptr,
                   tries);
}

bool TmuxTerminal::WaitForGone(const std::string &text, int tries) const {
    return WaitFor([&](const TerminalScreen &screen) { return !screen.Contains(text); }, nullptr,
                   tries);
}

int TmuxTerminal::ProgramProcess() const {
    std::string output;
    if (!Run(Tmux({"display-message", "-p", "-t", "t", "#{pane_pid}"}), &output)) return -1;
    int shell = std::atoi(output.c_str());
    for (const std::filesystem::directory_entry &entry :
         std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // "pid (command) state ppid ...": the command may hold blanks and parentheses.
        std::ifstream in(entry.path() / "stat");
        std::string line;
        std::getline(in, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        int parent = -1;
        rest >> state >> parent;
        if (shell > 0 && parent == shell) return std::atoi(name.c_str());
    }
    return -1;
}

void TmuxTerminal::Close() {
    if (started_) Run({"tmux", "-S", socket_, "kill-server"});
    started_ = false;
}

bool TmuxTerminal::Running() const {
    return started_ && access(exitStatus_.c_str(), F_OK) != 0;
}

bool TmuxTerminal::WaitForExit(int &status, int tries) const {
    for (int attempt = 0; attempt < tries; ++attempt) {
        std::ifstream in(exitStatus_);
        std::string text;
        if (std::getline(in, text) && !text.empty()) {
            status = std::atoi(text.c_str());
            return true;
        }
        Pause();
    }
    return false;
}
