// A temporary outbound tree and the built plugin showing it through the stand-in host.
//
// OutboundTree lays out the files: the outbound root is "out" in a TempDir, zone directories
// lie beside it ("out.003"), and files that flow files name go under "files". Every relative
// name below is relative to the TempDir and may use "/" or "\".
//
// OutboundPanelTest writes the settings into a test registry of its own, loads the built
// plugin into a standin::Host with a scripted front end and opens the plugin panel:
//
//   class LinkList : public OutboundPanelTest {};
//   TEST_F(LinkList, MergesTheFilesOfOneLink) {
//       tree.Write("out/006400C8.CUT");
//       tree.WriteFlowFile("out/006400C8.FLO", {"^" + tree.Win("files/a.zip")});
//       ASSERT_TRUE(Open());
//       auto row = Row("2:100/200.0");
//       ASSERT_TRUE(row);
//       EXPECT_EQ(row->columns[NetmailColumn], ".C...");
//   }
//
// Natively the registry is a file in the TempDir; under Wine it is the real registry below a
// unique key, removed afterwards; paths are the platform's Win32 paths either way.
#ifndef BSOPANEL_TESTS_OUTBOUND_FIXTURE_H
#define BSOPANEL_TESTS_OUTBOUND_FIXTURE_H

#include "scripted_gtest.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The text with its ASCII letters in upper case, as the listing shows directories on Windows.
std::string UpperCase(std::string text);
// A directory of a flow line that names nothing to look up, as its row shows it: in upper case
// on Windows, as written elsewhere.
std::string ShownLineDirectory(const std::string &text);

class OutboundTree {
public:
    OutboundTree() = default;
    OutboundTree(const OutboundTree &) = delete;
    OutboundTree &operator=(const OutboundTree &) = delete;

    // The Win32 path of the outbound root, or of a name relative to the TempDir.
    std::string Root() const { return dir.Win("out"); }
    std::string Win(const std::string &relative) const { return dir.Win(relative); }
    std::string Native(const std::string &relative) const;
    // The name the plugin writes into a flow line for a file of the tree: its native path on
    // Linux, its Win32 path on Windows.
    std::string Line(const std::string &relative) const;
    // A folder of the tree as the rows inside a link show it, with its separator: its native
    // path on Linux, in upper case on Windows.
    std::string Shown(const std::string &relative) const;

    // Writes a file (parents made as needed), by default empty.
    void Write(const std::string &relative, const std::string &bytes = "") const;
    // Writes a flow file: each line followed by CR LF.
    void WriteFlowFile(const std::string &relative, const std::vector<std::string> &lines) const;
    // Writes a file under "files" and returns its Win32 path, to be named in a flow file.
    std::string WriteAttached(const std::string &name, const std::string &bytes = "x") const;
    void MakeDir(const std::string &relative) const { dir.MakeDir(relative); }
    void Remove(const std::string &relative) const;
    bool Exists(const std::string &relative) const { return dir.Exists(relative); }
    std::string Read(const std::string &relative) const { return dir.Read(relative); }
    // The lines of a text file without their line ends (CR LF or LF).
    std::vector<std::string> ReadLines(const std::string &relative) const;

    TempDir dir;
};

// Settings the fixture writes before the plugin is loaded. Fields left unset are not written,
// so the plugin takes its defaults for them.
struct OutboundTestSettings {
    std::optional<std::string> pathToOutbound; // unset: the tree's root
    std::string address = "2:5020/1000";       // own address, zone 2
    int autoRefresh = 0;
    std::optional<int> linksPanelMode, filesPanelMode, noChangePanelMode, pollFlavor, attachFlavor;
};

// Custom column indexes of a row.
enum ShownColumn {
    BusyColumn = 0,
    RequestColumn = 1,
    NetmailColumn = 2,
    FlowColumn = 3,
    SourceColumn = 4
};

// The scripted gtest front end that also counts the screens the plugin saves and restores.
class PanelFrontEnd : public standin::GtestFrontEnd {
public:
    int ScreensSaved() const { return saved_; }
    int ScreensRestored() const { return restored_; }
    void ScreenSaved(int id) override {
        ++saved_;
        GtestFrontEnd::ScreenSaved(id);
    }
    void ScreenRestored(int id) override {
        ++restored_;
        GtestFrontEnd::ScreenRestored(id);
    }
    // When set, answers every message box with buttons in place of the expectations, with the
    // button it returns: for runs where how many questions come is not known ahead (a race).
    std::function<int(const standin::MessageRequest &)> answerMessages;
    int Message(const standin::MessageRequest &request) override {
        if (answerMessages && !request.buttons.empty()) return answerMessages(request);
        return GtestFrontEnd::Message(request);
    }

private:
    int saved_ = 0, restored_ = 0;
};

class OutboundPanelTest : public ::testing::Test {
protected:
    OutboundPanelTest();
    ~OutboundPanelTest() override;
    void TearDown() override;

    // Writes the settings, loads the plugin and opens its panel on the left side (the active
    // one). False, with a test failure saying why, when any step fails.
    bool Open();
    // Loads the plugin (settings written) without opening a panel.
    bool Load();
    // Closes the plugin panel and unloads the plugin; Open() may follow again.
    void Close();

    standin::Panel &Panel() { return host->Left(); }
    // The rows shown, in shown order, without the host's ".." item.
    std::vector<standin::ShownItem> Rows() const;
    std::vector<std::string> RowNames() const;
    std::optional<standin::ShownItem> Row(const std::string &name) const;
    // Re-lists the panel as an update does.
    bool Update();
    // Enter on the named row (through SetDirectory), or on ".." with "..".
    bool Enter(const std::string &name);
    // Selects the shown row; false when it is not shown.
    bool Select(const std::string &name) { return Panel().Select(name, true); }
    // GetFindData with the given OpMode called directly, outside the panel's own listing;
    // the items are copied and handed back at once with FreeFindData.
    std::vector<standin::ShownItem> ListDirectly(int opMode);

    // The host's text of a message id.
    std::string Text(int id) { return host->Message(id); }
    // The settings key the plugin reads ("<root>\KESTREL").
    std::string SettingsKey() const { return registry.RootKey() + "\\KESTREL"; }
    void WriteSettingNumber(const std::string &name, DWORD value) const;
    void WriteSettingText(const std::string &name, const std::string &text) const;

    OutboundTree tree;
    standin::TestRegistry registry{tree.dir.Win()};
    OutboundTestSettings settings;
    // Host options; the registry's are filled in. Tests may set the panels' directories.
    standin::HostOptions options;
    // The module to load; empty: the built one.
    std::string modulePath;
    PanelFrontEnd front;
    std::unique_ptr<standin::Host> host;
};

#endif
