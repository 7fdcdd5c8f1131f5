// panelhost in a real terminal: tmux runs it with the built plugin, the tests press keys and
// read what the screen shows, as a user would.
#include "demo_outbound.h"
#include "temp_dir.h"
#include "tmux_terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string &text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Panelhost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TmuxTerminal::TmuxAvailable())
            << "tmux is not installed (scripts/setup installs it)";
        std::string error;
        // The demo is the same every time: a copy of it here tells what the screen must show.
        ASSERT_TRUE(bsodemo::BuildDemoOutbound(dir.Native("expected").string(), expected, error))
            << error;
    }

    void Start(const std::vector<std::string> &arguments, int columns = 100, int rows = 30,
               const std::map<std::string, std::string> &environment = {}) {
        terminal = std::make_unique<TmuxTerminal>(dir.Native().string(), columns, rows);
        ASSERT_TRUE(terminal->Start(PANELHOST_PROGRAM, arguments, environment));
    }
    // Starts the demo and waits for its link list.
    void StartDemo(int columns = 100, int rows = 30, std::vector<std::string> more = {},
                   const std::map<std::string, std::string> &environment = {}) {
        more.insert(more.begin(), "--demo");
        Start(more, columns, rows, environment);
        ASSERT_TRUE(terminal->WaitForText("3:633/410.2")) << terminal->Describe();
    }
    // The demo's directory that panelhost made under TMPDIR.
    fs::path DemoDirectory() {
        for (const fs::directory_entry &entry : fs::directory_iterator(dir.Native()))
            if (entry.path().filename().string().rfind("bsopanel-demo-", 0) == 0)
                return entry.path();
        ADD_FAILURE() << "no demo directory in " << dir.Native();
        return dir.Native();
    }

    // The cells of a row of the left panel, between its frame lines, split at the column lines.
    std::vector<std::string> Cells(const TerminalScreen &screen, int y) const {
        std::string inside = screen.Cells(y, 1, terminal->Columns() / 2 - 2);
        std::vector<std::string> cells;
        size_t start = 0;
        for (;;) {
            size_t bar = inside.find("│", start);
            cells.push_back(Trim(
                inside.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
            if (bar == std::string::npos) break;
            start = bar + std::string("│").size();
        }
        return cells;
    }
    // The row of the left panel whose first cell is the name, or -1.
    int RowOf(const TerminalScreen &screen, const std::string &name) const {
        for (int y = 1; y < screen.Rows() - 3; ++y) {
            std::vector<std::string> cells = Cells(screen, y);
            if (!cells.empty() && cells[0] == name) return y;
        }
        return -1;
    }
    // The status line of a panel: the current item's name, size, date and time.
    std::string Status(const TerminalScreen &screen, bool right = false) const {
        int half = terminal->Columns() / 2;
        return right ? screen.Cells(terminal->Rows() - 3, half + 1, terminal->Columns() - half - 2)
                     : screen.Cells(terminal->Rows() - 3, 1, half - 2);
    }
    bool StatusShows(const std::string &name, bool right = false) const {
        return terminal->WaitFor([&](const TerminalScreen &screen) {
            return Status(screen, right).rfind(name + " ", 0) == 0;
        });
    }
    // Puts the left panel's cursor on the named row (Home, then Down as often as needed).
    void GoTo(const std::string &name) {
        TerminalScreen screen = terminal->Screen();
        int y = RowOf(screen, name);
        ASSERT_GE(y, 2) << name << " is not shown\n" << screen.Text();
        terminal->Key("Home");
        std::string first = Cells(screen, 2)[0];
        ASSERT_TRUE(StatusShows(first)) << terminal->Describe();
        if (y > 2) terminal->Keys({"-N", std::to_string(y - 2), "Down"});
        ASSERT_TRUE(StatusShows(name)) << terminal->Describe();
    }
    // The key bar: "1Help 2 3 4FReq..." as the last line shows it.
    std::string KeyBar(const TerminalScreen &screen) const {
        return screen.Line(terminal->Rows() - 1);
    }
    void Quit() {
        terminal->Key("F10");
        int status = -1;
        ASSERT_TRUE(terminal->WaitForExit(status)) << terminal->Describe();
        EXPECT_EQ(status, 0) << terminal->Describe();
    }

    TempDir dir;
    bsodemo::DemoOutbound expected;
    std::unique_ptr<TmuxTerminal> terminal;
};

// ---- What the panels show ---------------------------------------------------------------------

TEST_F(Panelhost, DemoLinksWithTheirMarksAndFlavors) {
    StartDemo();
    TerminalScreen screen = terminal->Screen();
    EXPECT_NE(screen.Line(0).find(" Outbound: "), std::string::npos) << screen.Text();
    std::vector<std::string> titles = Cells(screen, 1);
    EXPECT_EQ(titles, (std::vector<std::string>{"Name", "Size", "B", "R", "Mail", "Files"}));
    EXPECT_EQ(Cells(screen, 2)[0], "..");
    int previous = 2;
    for (const bsodemo::DemoLink &link : expected.links) {
        SCOPED_TRACE(link.address);
        int y = RowOf(screen, link.address);
        ASSERT_GT(y, previous) << "links sorted by address\n" << screen.Text();
        previous = y;
        EXPECT_EQ(Cells(screen, y),
                  (std::vector<std::string>{link.address, "<Folder>", link.busy, link.request,
                                            link.netmail, link.flow}));
    }
    std::string keys = KeyBar(screen);
    EXPECT_NE(keys.find("4FReq"), std::string::npos) << keys;
    EXPECT_NE(keys.find("7Poll"), std::string::npos) << keys;
    EXPECT_NE(keys.find("10Quit"), std::string::npos) << keys;
    // The root's Shift group: Shift+F4 requests files too.
    terminal->Key("C-Space");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return KeyBar(s).find("10Quit") == std::string::npos;
    })) << terminal->Describe();
    EXPECT_NE(KeyBar(terminal->Screen()).find("4FReq"), std::string::npos);
    EXPECT_EQ(KeyBar(terminal->Screen()).find("7Poll"), std::string::npos);
    Quit();
    for (const fs::directory_entry &entry : fs::directory_iterator(dir.Native()))
        EXPECT_NE(entry.path().filename().string().rfind("bsopanel-demo-", 0), 0u)
            << "the demo is removed when panelhost ends";
}

TEST_F(Panelhost, EnteringALinkShowsItsQueue) {
    StartDemo();
    GoTo("2:5020/1.0");
    terminal->Key("Enter");
    // The title reads as at the root, with the link after the colon.
    ASSERT_TRUE(terminal->WaitForText(" Outbound: 2:5020/1.0 ")) << terminal->Describe();
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return RowOf(s, "report.txt") > 0; }, &screen))
        << screen.Text();
    struct Row {
        const char *name, *size, *netmail, *flow;
    } rows[] = {
        {"fido.jpg", "4,096", ".....", "...F."},     {"newfiles.txt", "845", ".....", ".C..."},
        {"nodelist.z49", "2,310", ".....", ".C..."}, {"report.txt", "512", ".....", ".C..."},
        {"139c0001.cut", "", ".C...", "....."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        int y = RowOf(screen, row.name);
        ASSERT_GT(y, 2) << screen.Text();
        std::vector<std::string> cells = Cells(screen, y);
        ASSERT_EQ(cells.size(), 6u);
        if (*row.size) {
            EXPECT_EQ(cells[1], row.size);
        }
        EXPECT_EQ(cells[4], row.netmail);
        EXPECT_EQ(cells[5], row.flow);
    }
    EXPECT_EQ(RowOf(screen, "sent.lzh"), -1) << "a line sent already is no row";
    std::string keys = KeyBar(screen);
    EXPECT_NE(keys.find("6Flavor"), std::string::npos) << keys;
    EXPECT_NE(keys.find("7Remove"), std::string::npos) << keys;
    EXPECT_EQ(keys.find("FReq"), std::string::npos) << keys;
    EXPECT_EQ(keys.find("Copy"), std::string::npos) << "panelhost copies nothing from here\n"
                                                    << keys;
    terminal->Key("C-Space");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return KeyBar(s).find("4FReq") != std::string::npos;
    })) << terminal->Describe();
    // ".." goes back, the cursor on the link left.
    terminal->Keys({"Home", "Enter"});
    ASSERT_TRUE(terminal->WaitForGone("Outbound: 2:5020/1.0")) << terminal->Describe();
    EXPECT_NE(terminal->Screen().Line(0).find(" Outbound: ═"), std::string::npos);
    EXPECT_TRUE(StatusShows("2:5020/1.0"));
    Quit();
}

TEST_F(Panelhost, ViewModesAndSorting) {
    StartDemo();
    // Ctrl+5: the full-screen mode with date and time.
    terminal->Key("C-5");
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return s.Line(1).find("Date") != std::string::npos; },
        &screen))
        << screen.Text();
    EXPECT_NE(screen.Line(1).find("Time"), std::string::npos);
    EXPECT_EQ(screen.Line(0).find("/files"), std::string::npos) << "the file panel is covered";
    // Ctrl+4: name, size and the busy mark only.
    terminal->Key("C-4");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) { return Cells(s, 1).size() == 3; },
                                  &screen))
        << screen.Text();
    EXPECT_EQ(Cells(screen, RowOf(screen, "2:5020/3.0")),
              (std::vector<std::string>{"2:5020/3.0", "<Folder>", "*"}));
    // Ctrl+6: the queues full screen, the mailer's state kept in 80 columns.
    terminal->Key("C-6");
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return s.Line(1).find("Mailer") != std::string::npos; },
        &screen))
        << screen.Text();
    // Alt+digit where a terminal passes no Ctrl+digit; 3 is the plugin's mode again.
    terminal->Key("M-3");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) { return Cells(s, 1).size() == 6; },
                                  &screen))
        << screen.Text();
    // Sorting inside a link: Ctrl+F6 by size, largest first as in the real host, again
    // reversed, Ctrl+F3 back to names.
    GoTo("2:5020/1.0");
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return RowOf(s, "fido.jpg") > 0;
    })) << terminal->Describe();
    auto order = [&](const TerminalScreen &s) {
        std::vector<std::string> names;
        for (int y = 3; y < 8; ++y) names.push_back(Cells(s, y)[0]);
        return names;
    };
    const std::vector<std::string> bySize = {"fido.jpg", "nodelist.z49", "newfiles.txt",
                                             "report.txt", "139c0001.cut"};
    terminal->Key("C-F6");
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return s.Line(0).find("╔s") == 0; }, &screen))
        << screen.Text();
    EXPECT_EQ(order(screen), bySize);
    terminal->Key("C-F6");
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return s.Line(0).find("╔S") == 0; }, &screen))
        << screen.Text();
    EXPECT_EQ(order(screen), std::vector<std::string>(bySize.rbegin(), bySize.rend()));
    terminal->Key("C-F3");
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return s.Line(0).find("╔n") == 0; }, &screen));
    // Insert and Space select; the panel counts the selection.
    terminal->Keys({"Home", "Down", "IC", "Space"});
    ASSERT_TRUE(terminal->WaitForText(" 2 selected ")) << terminal->Describe();
    Quit();
}

// ---- Commands through their dialogs ---------------------------------------------------------

TEST_F(Panelhost, PollThroughItsDialog) {
    StartDemo();
    GoTo("2:5020/2.0");
    terminal->Key("F7");
    ASSERT_TRUE(terminal->WaitForText("Address to poll:")) << terminal->Describe();
    EXPECT_TRUE(terminal->Screen().Contains("2:5020/2.0"))
        << "the link under the cursor is offered";
    // Alt+C picks the crash flavor from the address field; Enter accepts.
    terminal->Key("M-c");
    ASSERT_TRUE(terminal->WaitForText("(•) Crash")) << terminal->Describe();
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForGone("Address to poll:")) << terminal->Describe();
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) {
            int y = RowOf(s, "2:5020/2.0");
            return y > 0 && Cells(s, y)[5] == ".C..H";
        },
        &screen))
        << screen.Text();
    EXPECT_TRUE(fs::exists(DemoDirectory() / "out" / "139c0002.clo"));
    // On "..", the field starts empty; Ctrl+Down offers the address typed before.
    terminal->Key("Home");
    ASSERT_TRUE(StatusShows("..")) << terminal->Describe();
    terminal->Key("F7");
    ASSERT_TRUE(terminal->WaitForText("Address to poll:")) << terminal->Describe();
    // The field lies under its label, 36 columns wide; the history opens in a frame under it.
    auto below = [](const TerminalScreen &s, int rows) {
        int y = s.LineOf("Address to poll:");
        return Trim(s.Cells(y + rows, s.ColumnOf(y, "Address to poll:"), 36));
    };
    EXPECT_EQ(below(terminal->Screen(), 1), "");
    terminal->Key("C-Down");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return below(s, 3).rfind("2:5020/2.0", 0) == 0;
    })) << terminal->Describe();
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return below(s, 1) == "2:5020/2.0";
    })) << terminal->Describe();
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("Address to poll:")) << terminal->Describe();
    Quit();
}

TEST_F(Panelhost, LeavingAndOpeningThePlugin) {
    StartDemo();
    // ".." at the plugin's root leaves it; the panel shows files again.
    terminal->Keys({"Home", "Enter"});
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return !s.Contains(" Outbound: ");
    })) << terminal->Describe();
    // F11: the plugins menu opens it again on the active panel.
    terminal->Key("F11");
    ASSERT_TRUE(terminal->WaitForText("BSO outbound browser")) << terminal->Describe();
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForText("3:633/410.2")) << terminal->Describe();
    // Alt+F2: the disks menu of the right panel, with the plugin's entry and its digit.
    terminal->Key("M-F2");
    ASSERT_TRUE(terminal->WaitForText("3  BSO")) << terminal->Describe();
    terminal->Key("3");
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) {
            std::string top = s.Line(0);
            return top.find(" Outbound: ") != top.rfind(" Outbound: ");
        },
        &screen))
        << screen.Text();
    Quit();
}

TEST_F(Panelhost, FileAttachedWithF5FromTheFilePanel) {
    StartDemo();
    terminal->Key("Tab");
    // On the file panel F5 and F6 copy and move onto the plugin's panel.
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &s) {
        return KeyBar(s).find("5Copy") != std::string::npos &&
               KeyBar(s).find("6RenMov") != std::string::npos;
    })) << terminal->Describe();
    // The file panel of the demo's files; put its cursor on report.txt.
    TerminalScreen screen = terminal->Screen();
    int y = screen.LineOf("report.txt");
    ASSERT_GT(y, 2) << screen.Text();
    terminal->Key("Home");
    ASSERT_TRUE(StatusShows("..", true)) << terminal->Describe();
    terminal->Keys({"-N", std::to_string(y - 2), "Down"});
    ASSERT_TRUE(StatusShows("report.txt", true)) << terminal->Describe();
    terminal->Key("F5");
    ASSERT_TRUE(terminal->WaitForText("Address to attach to:")) << terminal->Describe();
    terminal->Type("2:5020/5");
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForGone("Address to attach to:")) << terminal->Describe();
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) {
            int row = RowOf(s, "2:5020/5.0");
            return row > 0 && Cells(s, row)[5] == "..DF.";
        },
        &screen))
        << screen.Text();
    std::string flow = ReadFile(DemoDirectory() / "out" / "139c0005.flo");
    EXPECT_NE(flow.find("/files/report.txt\r\n"), std::string::npos) << flow;
    EXPECT_EQ(flow.find('^'), std::string::npos) << "a copy leaves the file where it is";
    Quit();
}

TEST_F(Panelhost, FileRequestInTheEditor) {
    // The editor of this test appends a line to the file it is given.
    fs::path editor = dir.Native("editor.sh");
    std::ofstream(editor) << "#!/bin/sh\nprintf 'NODELIST\\r\\n' >> \"$1\"\n";
    fs::permissions(editor, fs::perms::owner_all);
    StartDemo(100, 30, {}, {{"EDITOR", editor.string()}});
    GoTo("2:5020/4.0");
    terminal->Key("F4");
    ASSERT_TRUE(terminal->WaitForText("Address to request from:")) << terminal->Describe();
    terminal->Key("Enter");
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) {
            int row = RowOf(s, "2:5020/4.0");
            return row > 0 && Cells(s, row)[3] == "*";
        },
        &screen))
        << screen.Text();
    EXPECT_EQ(ReadFile(DemoDirectory() / "out" / "139c0004.req"), "NODELIST\r\n");
    Quit();
}

TEST_F(Panelhost, ConfigurationDialog) {
    StartDemo();
    terminal->Key("M-S-F9");
    ASSERT_TRUE(terminal->WaitForText("BSO outbound browser settings")) << terminal->Describe();
    TerminalScreen screen = terminal->Screen();
    EXPECT_TRUE(screen.Contains("2:5020/1000"));
    EXPECT_TRUE(screen.Contains("bsopanel-demo-"));
    EXPECT_TRUE(screen.Contains("[x] Auto refresh"));
    // Alt+L goes to the links view digit; 5 there, Enter saves.
    terminal->Key("M-l");
    terminal->Type("5");
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForGone("BSO outbound browser settings")) << terminal->Describe();
    // The plugin writes its values one by one once the dialog is gone, this one last.
    std::string registry;
    ASSERT_TRUE(terminal->WaitFor([&](const TerminalScreen &) {
        registry = ReadFile(DemoDirectory() / "registry.reg");
        return registry.find("\"OldEmptyBundleDays\"") != std::string::npos;
    })) << registry;
    EXPECT_NE(registry.find("\"LinksPanelMode\"=dword:00000005"), std::string::npos) << registry;
    EXPECT_NE(registry.find("\"Address\"=\"2:5020/1000\""), std::string::npos) << registry;
    // Esc leaves the settings as they are.
    terminal->Key("M-S-F9");
    ASSERT_TRUE(terminal->WaitForText("BSO outbound browser settings")) << terminal->Describe();
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("BSO outbound browser settings")) << terminal->Describe();
    EXPECT_EQ(ReadFile(DemoDirectory() / "registry.reg"), registry);
    Quit();
}

TEST_F(Panelhost, HelpFromADialogAndItsLinks) {
    StartDemo();
    terminal->Key("F7");
    ASSERT_TRUE(terminal->WaitForText("Address to poll:")) << terminal->Describe();
    terminal->Key("F1");
    ASSERT_TRUE(terminal->WaitForText("A poll makes the mailer call a link"))
        << terminal->Describe();
    // The first link ("Contents") is chosen; Tab goes to the next ("Configuration"), Enter
    // follows it, Backspace comes back.
    terminal->Key("Tab");
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForText("Configuration ═")) << terminal->Describe();
    EXPECT_TRUE(terminal->Screen().Contains("Own address"));
    terminal->Key("BSpace");
    ASSERT_TRUE(terminal->WaitForText("A poll makes the mailer call a link"))
        << terminal->Describe();
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("A poll makes the mailer")) << terminal->Describe();
    EXPECT_TRUE(terminal->Screen().Contains("Address to poll:")) << "back in the dialog";
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("Address to poll:")) << terminal->Describe();
    Quit();
}

TEST_F(Panelhost, RussianTexts) {
    StartDemo(100, 30, {"--lang", "Russian"});
    TerminalScreen screen = terminal->Screen();
    EXPECT_NE(screen.Line(0).find(" Аутбаунд: "), std::string::npos) << screen.Text();
    std::vector<std::string> titles = Cells(screen, 1);
    ASSERT_EQ(titles.size(), 6u);
    EXPECT_EQ(titles[0], "Имя");
    EXPECT_EQ(titles[1], "Размер");
    EXPECT_EQ(titles[4], "Почта");
    std::string keys = KeyBar(screen);
    EXPECT_NE(keys.find("4Запрос"), std::string::npos) << keys;
    EXPECT_NE(keys.find("7Полл"), std::string::npos) << keys;
    terminal->Key("F7");
    ASSERT_TRUE(terminal->WaitForText("Адрес для полла:")) << terminal->Describe();
    EXPECT_TRUE(terminal->Screen().Contains("[ Отмена ]"));
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("Адрес для полла:")) << terminal->Describe();
    Quit();
}

// ---- Idle events ----------------------------------------------------------------------------

TEST_F(Panelhost, ThePanelFollowsTheOutboundWhileNoKeyComes) {
    StartDemo();
    fs::path poll = DemoDirectory() / "out" / "139c0063.dlo"; // 2:5020/99, as binkd -P makes it
    std::ofstream(poll).close();
    ASSERT_TRUE(terminal->WaitForText("2:5020/99.0")) << terminal->Describe();
    Quit();
}

// The file panel follows its folder as the real host does: binkd deletes a ^ file it sent.
TEST_F(Panelhost, TheFilePanelFollowsItsFolder) {
    StartDemo();
    ASSERT_TRUE(terminal->WaitForText("fido.jpg")) << terminal->Describe();
    fs::remove(DemoDirectory() / "files" / "fido.jpg");
    std::ofstream(DemoDirectory() / "files" / "arrived.pkt").close();
    ASSERT_TRUE(terminal->WaitForGone("fido.jpg")) << terminal->Describe();
    ASSERT_TRUE(terminal->WaitForText("arrived.pkt")) << terminal->Describe();
    Quit();
}

// However panelhost ends, the demo's folder goes: the terminal closed under it (SIGHUP), a
// kill (SIGTERM), or a kill it cannot catch.
TEST_F(Panelhost, TheDemoGoesWhenTheTerminalCloses) {
    struct Case {
        const char *how;
        int signal; // 0: the terminal closes
    } cases[] = {{"terminal closed", 0}, {"SIGTERM", SIGTERM}, {"SIGKILL", SIGKILL}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        StartDemo();
        fs::path demo = DemoDirectory();
        ASSERT_TRUE(fs::exists(demo / "out"));
        if (c.signal == 0) {
            terminal->Close();
        } else {
            int program = terminal->ProgramProcess();
            ASSERT_GT(program, 0) << terminal->Describe();
            ASSERT_EQ(kill(program, c.signal), 0);
        }
        bool gone = false;
        for (int attempt = 0; attempt < TmuxTerminal::kTries && !gone; ++attempt) {
            gone = !fs::exists(demo);
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(gone) << demo;
        terminal.reset();
    }
}

// ---- Bad input --------------------------------------------------------------------------------

TEST_F(Panelhost, AnOutboundThatDoesNotExist) {
    std::string nowhere = dir.Native("no/such/outbound").string();
    Start({"--outbound", nowhere, "--address", "2:5020/1000"});
    ASSERT_TRUE(terminal->WaitForText("The outbound directory does not exist:"))
        << terminal->Describe();
    EXPECT_TRUE(terminal->Screen().Contains(nowhere));
    terminal->Key("Enter");
    ASSERT_TRUE(terminal->WaitForGone("does not exist")) << terminal->Describe();
    TerminalScreen screen = terminal->Screen();
    EXPECT_NE(screen.Line(0).find(" Outbound: "), std::string::npos) << screen.Text();
    EXPECT_EQ(Cells(screen, 3)[0], "") << "no links";
    // Both settings were stored before the plugin started.
    std::string registry = ReadFile(dir.Native("registry.reg"));
    EXPECT_NE(registry.find("\"Address\"=\"2:5020/1000\""), std::string::npos) << registry;
    EXPECT_NE(registry.find("no\\\\such\\\\outbound\""), std::string::npos) << registry;
    Quit();
}

TEST_F(Panelhost, StartsThatFailSayWhy) {
    // A plugin directory with the English language file only.
    fs::path plugin = dir.Native("plugin");
    fs::create_directories(plugin);
    for (const char *name : {"bsopanel.so", "bsopanel_eng.lng", "bsopanel_eng.hlf"})
        fs::copy_file(fs::path(BSOPANEL_PLUGIN_DIRECTORY) / name, plugin / name);
    struct Case {
        std::vector<std::string> arguments;
        const char *registry; // written before the start when not null
        const char *says;
        int status;
    } cases[] = {
        {{"--lang", "Russian", (plugin / "bsopanel.so").string()},
         nullptr,
         "no language file for \"Russian\" beside the plugin",
         1},
        {{dir.Native("missing/bsopanel.so").string()}, nullptr, "does not exist", 1},
        {{"--outbound", "/tmp"}, "this is not a registry\n", "is broken", 1},
        {{"--address", "5020/1000"}, nullptr, "not an address of the form ZONE:NET/NODE", 2},
        {{"--demo", "--outbound", "/tmp"}, nullptr, "does not go with --outbound", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        fs::remove(dir.Native("registry.reg"));
        if (c.registry) std::ofstream(dir.Native("registry.reg")) << c.registry;
        Start(c.arguments);
        int status = -1;
        ASSERT_TRUE(terminal->WaitForExit(status)) << terminal->Describe();
        EXPECT_EQ(status, c.status);
        EXPECT_NE(terminal->Transcript().Flat().find(c.says), std::string::npos)
            << terminal->Transcript().Text();
        if (c.registry) {
            EXPECT_EQ(ReadFile(dir.Native("registry.reg")), c.registry) << "left as it was";
        }
        terminal.reset();
    }
    // --help explains everything and starts nothing.
    std::string usage;
    ASSERT_TRUE(TmuxTerminal::Run({PANELHOST_PROGRAM, "--help"}, &usage));
    EXPECT_NE(usage.find("Usage: panelhost [--outbound DIR] [--address ZONE:NET/NODE]"),
              std::string::npos)
        << usage;
}

// A language file with too few texts: the host's error box names the file and the ids missing,
// as the real host's does; Ok goes on with blank labels, Quit ends panelhost.
TEST_F(Panelhost, ALanguageFileWithTooFewTexts) {
    fs::path plugin = dir.Native("plugin");
    fs::create_directories(plugin);
    for (const char *name : {"bsopanel.so", "bsopanel_eng.hlf"})
        fs::copy_file(fs::path(BSOPANEL_PLUGIN_DIRECTORY) / name, plugin / name);
    // The first ten texts only: the column titles, from id 12 on, are missing.
    std::istringstream whole(ReadFile(fs::path(BSOPANEL_PLUGIN_DIRECTORY) / "bsopanel_eng.lng"));
    std::string cut, line;
    int texts = 0;
    while (std::getline(whole, line) && texts < 10) {
        cut += line + "\n";
        if (!line.empty() && line[0] == '"') ++texts;
    }
    std::ofstream(plugin / "bsopanel_eng.lng", std::ios::binary) << cut;
    for (const char *button : {"Ok", "Quit"}) {
        SCOPED_TRACE(button);
        Start({"--demo", (plugin / "bsopanel.so").string()});
        ASSERT_TRUE(terminal->WaitForText("has no text for message")) << terminal->Describe();
        TerminalScreen screen = terminal->Screen();
        EXPECT_TRUE(screen.Contains((plugin / "bsopanel_eng.lng").string())) << screen.Text();
        EXPECT_TRUE(screen.Contains("the texts of ids 10 and above are missing")) << screen.Text();
        if (button == std::string("Quit")) terminal->Key("Right");
        terminal->Key("Enter");
        if (button == std::string("Ok")) {
            ASSERT_TRUE(terminal->WaitForText("3:633/410.2")) << terminal->Describe();
            EXPECT_FALSE(terminal->Screen().Contains("has no text")) << "the box comes once";
            Quit();
        } else {
            int status = -1;
            ASSERT_TRUE(terminal->WaitForExit(status)) << terminal->Describe();
            EXPECT_EQ(status, 0);
        }
        for (const fs::directory_entry &entry : fs::directory_iterator(dir.Native()))
            EXPECT_NE(entry.path().filename().string().rfind("bsopanel-demo-", 0), 0u);
        terminal.reset();
    }
}

TEST_F(Panelhost, ASmallTerminal) {
    Start({"--demo"}, 40, 12);
    ASSERT_TRUE(terminal->WaitForText("Outbound")) << terminal->Describe();
    TerminalScreen screen = terminal->Screen();
    EXPECT_TRUE(screen.Contains("7Po")) << screen.Text();
    // Boxes larger than the terminal open, answer keys and go.
    terminal->Key("F7");
    ASSERT_TRUE(terminal->WaitForText("Poll ═")) << terminal->Describe();
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("Poll ═")) << terminal->Describe();
    terminal->Key("M-S-F9");
    ASSERT_TRUE(terminal->WaitForText("Poll flavor:")) << terminal->Describe();
    terminal->Key("Escape");
    ASSERT_TRUE(terminal->WaitForGone("Poll flavor:")) << terminal->Describe();
    terminal->Key("C-5");
    terminal->Key("F1");
    ASSERT_TRUE(terminal->WaitForText("outbound")) << terminal->Describe();
    terminal->Key("Escape");
    // Bigger and smaller again.
    terminal->Resize(100, 30);
    ASSERT_TRUE(terminal->WaitForText("3:633/410.2")) << terminal->Describe();
    terminal->Resize(30, 8);
    ASSERT_TRUE(terminal->WaitFor([](const TerminalScreen &s) {
        return s.Line(0).size() > 0 && s.Line(7).size() > 0;
    })) << terminal->Describe();
    EXPECT_TRUE(terminal->Running());
    Quit();
}

TEST_F(Panelhost, KeysPressedWhileAQuestionIsOverTheProgressBox) {
    StartDemo();
    GoTo("2:463/68.0");
    terminal->Key("Enter");
    // Entering the link asks about the missing file (a listing the user asked for).
    ASSERT_TRUE(terminal->WaitForText("missing.arj")) << terminal->Describe();
    // A warning: white on red.
    std::string coloured = terminal->ColouredText();
    size_t line = coloured.find("File not found:");
    ASSERT_NE(line, std::string::npos);
    EXPECT_NE(coloured.substr(coloured.rfind('\n', line) + 1, line - coloured.rfind('\n', line))
                  .find("\033[41m"),
              std::string::npos);
    terminal->Keys({"Down", "Up", "x", "F5", "C-r", "IC", "F7", "M-S-F9", "Tab"});
    ASSERT_TRUE(terminal->WaitForText("missing.arj")) << "still asking\n" << terminal->Describe();
    terminal->Key("Escape"); // keep the line
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) { return RowOf(s, "points.lst") > 0; }, &screen))
        << screen.Text();
    EXPECT_FALSE(screen.Contains("Please wait"))
        << "the progress box went with the restored screen";
    EXPECT_NE(ReadFile(DemoDirectory() / "out" / "01cf0044.flo").find("missing.arj"),
              std::string::npos);
    Quit();
}

TEST_F(Panelhost, KeysPressedDuringTheScanOfALargeOutbound) {
    bsodemo::DemoOutbound large;
    bsodemo::LargeOutboundShape shape;
    shape.links = 2000;
    shape.zones = 4;
    shape.filesPerLink = 1;
    std::string error;
    ASSERT_TRUE(bsodemo::BuildLargeOutbound(dir.Native("large").string(), shape, large, error))
        << error;
    Start({"--outbound", large.outbound, "--address", large.ownAddress});
    // Keys typed ahead while the scans run: they wait their turn, nothing is lost or broken.
    for (int round = 0; round < 4; ++round)
        terminal->Keys({"Down", "C-r", "IC", "Down", "C-r", "End", "C-r", "Home", "Down"});
    terminal->Resize(80, 24);
    terminal->Keys({"C-r", "C-r", "Tab", "Tab"});
    TerminalScreen screen;
    ASSERT_TRUE(terminal->WaitFor(
        [&](const TerminalScreen &s) {
            return !s.Contains("Please wait") &&
                   s.Line(0).find(" Outbound: ") != std::string::npos && s.Contains("1:100/1.0");
        },
        &screen))
        << screen.Text();
    EXPECT_TRUE(terminal->Running());
    Quit();
}

} // namespace
