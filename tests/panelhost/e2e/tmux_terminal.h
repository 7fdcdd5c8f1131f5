// A real terminal for end-to-end tests: a tmux server of the test's own (its socket in the
// test's temporary directory) runs one program in a window of the size asked for. Keys go in
// with send-keys, the screen comes back with capture-pane. Waits poll the screen a bounded
// number of times; nothing relies on a fixed sleep.
#ifndef BSOPANEL_TESTS_PANELHOST_TMUX_TERMINAL_H
#define BSOPANEL_TESTS_PANELHOST_TMUX_TERMINAL_H

#include <functional>
#include <map>
#include <string>
#include <vector>

// What the terminal shows, line by line, each line as characters (one per column).
class TerminalScreen {
public:
    TerminalScreen() = default;
    explicit TerminalScreen(const std::string &capture);
    int Rows() const { return static_cast<int>(lines_.size()); }
    // Line y as text (UTF-8); "" past the end.
    std::string Line(int y) const;
    // Columns [x, x + width) of line y, as text.
    std::string Cells(int y, int x, int width) const;
    bool Contains(const std::string &text) const;
    // The line that holds text, or -1.
    int LineOf(const std::string &text) const;
    // The column where text starts in line y, or -1.
    int ColumnOf(int y, const std::string &text) const;
    std::string Text() const; // every line, joined with newlines
    // Every line joined without a break: a plain message that ran over the window's edge
    // reads whole again.
    std::string Flat() const;

private:
    std::vector<std::u32string> lines_;
};

class TmuxTerminal {
public:
    // How many times a wait looks at the screen, 50 ms apart: 15 s in all, ample for a loaded
    // machine; a wait that succeeds returns at once.
    static const int kTries = 300;

    TmuxTerminal(const std::string &directory, int columns, int rows);
    ~TmuxTerminal(); // ends the tmux server and the program in it
    TmuxTerminal(const TmuxTerminal &) = delete;
    TmuxTerminal &operator=(const TmuxTerminal &) = delete;

    // Starts the program with its arguments; `environment` adds to or replaces variables.
    // LANG is C.UTF-8, HOME and TMPDIR are the test's directory.
    bool Start(const std::string &program, const std::vector<std::string> &arguments,
               const std::map<std::string, std::string> &environment = {});
    // tmux key names: "Down", "Enter", "F7", "C-r", "M-S-F9", "C-Space"...
    void Keys(const std::vector<std::string> &keys);
    void Key(const std::string &key) { Keys({key}); }
    void Type(const std::string &text); // literal text
    void Resize(int columns, int rows);

    TerminalScreen Screen() const;
    // The screen as tmux captures it with its colours (SGR escape sequences).
    std::string ColouredText() const;
    // The screen with the lines scrolled off it before: what a program that did not start
    // printed.
    TerminalScreen Transcript() const;
    // Polls the screen until the condition holds; false (the last screen in `last`) when it
    // never did.
    bool WaitFor(const std::function<bool(const TerminalScreen &)> &condition,
                 TerminalScreen *last = nullptr, int tries = kTries) const;
    bool WaitForText(const std::string &text, int tries = kTries) const;
    bool WaitForGone(const std::string &text, int tries = kTries) const;
    // Waits for the program to end; its exit status in `status`.
    bool WaitForExit(int &status, int tries = kTries) const;
    bool Running() const;
    // The program's process (the child of the pane's shell), or -1.
    int ProgramProcess() const;
    // Closes the terminal under the program, as a user closes its window: tmux ends and the
    // program gets SIGHUP.
    void Close();

    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    // The screen as text, for failure messages.
    std::string Describe() const { return "screen:\n" + Screen().Text(); }

    // Runs a command; its standard output in `output`; true when it exited with 0.
    static bool Run(const std::vector<std::string> &command, std::string *output = nullptr);
    static bool TmuxAvailable();

private:
    std::vector<std::string> Tmux(const std::vector<std::string> &arguments) const;
    std::string directory_, socket_, config_, exitStatus_;
    int columns_, rows_;
    bool started_ = false;
};

#endif
