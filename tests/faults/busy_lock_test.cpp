// The busy lock: every command holds the link's busy flag while it writes the link's files and
// removes it before it returns, on every path; a flag that someone else made first, even
// between the plugin's look and its exclusive create, is the busy case; and a flag that cannot
// be removed is named to the user. The module's file calls are watched through the
// fault-injection module (the same plugin with its FileOps table exported).
#include "fault_injector.h"

#include "outbound_fixture.h"

#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/poll.h"
#include "shell/box_text.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;
using standin::Expect;
using standin::Side;

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWithNoCase(const std::string &text, const std::string &ending) {
    return text.size() >= ending.size() &&
           Lower(text.substr(text.size() - ending.size())) == Lower(ending);
}

// The name the plugin gives what it makes below "out": lower case on Linux, where binkd
// respects nothing else; the layout's upper case on Windows.
std::string Made(const std::string &relative) {
#ifdef _WIN32
    return relative;
#else
    return relative.substr(0, 3) + Lower(relative.substr(3));
#endif
}

class BusyLock : public OutboundPanelTest {
protected:
    BusyLock() {
        modulePath = standin::Win32Path(BSOPANEL_FAULTS_MODULE);
        options.rightDirectory = tree.Win("files");
        a = tree.WriteAttached("a.zip");
        b = tree.WriteAttached("b.zip");
    }

    // Every busy flag below the outbound roots, relative, as on disk.
    std::vector<std::string> BusyFlags() const {
        std::vector<std::string> flags;
        for (const fs::directory_entry &top : fs::directory_iterator(tree.dir.Native())) {
            if (top.path().filename().string().rfind("out", 0) != 0 || !top.is_directory())
                continue;
            for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top.path()))
                if (EndsWithNoCase(entry.path().filename().string(), ".bsy"))
                    flags.push_back(fs::relative(entry.path(), tree.dir.Native()).generic_string());
        }
        std::sort(flags.begin(), flags.end());
        return flags;
    }

    bool FlagExists(const std::string &relative) const {
        return GetFileAttributesA(tree.Win(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // The link row at the root, or a row of the link's contents, that shows a busy flag.
    bool AnyBusyRow() const {
        for (const standin::ShownItem &row : Rows())
            if (row.columns.size() > BusyColumn &&
                (row.columns[BusyColumn] == "*" || EndsWithNoCase(row.name, ".bsy")))
                return true;
        return false;
    }

    Expect PollDialog(const std::string &address) {
        return Expect::Dialog("BSOPoll").Edit(PollAddress, address).Press(PollOk);
    }
    // 0 goes on ("OK"), 1 stops ("Cancel", the first button), -1 Esc.
    Expect BusyQuestion(int button) {
        Expect box = Expect::Message().Warning().Contains(Text(MsgLinkBusy));
        if (button < 0) return box.Esc();
        return box.PressText(Text(button == 0 ? MsgOk : MsgCancel));
    }
    int CopyToPanel(const std::vector<std::string> &names, bool move = false) {
        host->SetActive(Side::Right);
        host->Right().Update();
        for (const std::string &name : names) EXPECT_TRUE(host->Right().Select(name)) << name;
        int result = host->CopyToPluginPanel(move);
        host->SetActive(Side::Left);
        return result;
    }
    void QueueForLink() { tree.WriteFlowFile("out/006400C8.FLO", {a, "^" + b}); }
    // The file's row inside the link (its name ends in "\<name>").
    bool SelectFileRow(const std::string &name, bool select) {
        for (const standin::ShownItem &row : Rows())
            if (EndsWithNoCase(row.name, "\\" + name) || EndsWithNoCase(row.name, "/" + name))
                return select ? Panel().Select(row.name) : Panel().SetCurrentByName(row.name);
        return false;
    }

    std::string a, b;
};

// Each command: every file it writes is written while the link's flag exists, in the case binkd
// respects; afterwards the flag is gone and no listing shows it.
TEST_F(BusyLock, EveryCommandWritesUnderTheLinksFlag) {
    struct Case {
        const char *name;
        std::string flag;
        std::function<void()> setup; // before the panel opens
        std::function<void()> run;
    };
    std::vector<Case> cases = {
        {"poll", Made("out/006400C8.BSY"), [] {},
         [&] {
             front.Expect(PollDialog("2:100/200"));
             EXPECT_TRUE(host->PressKey(VK_F7));
         }},
        {"attach to a point", Made("out/006400C8.PNT/00000005.BSY"), [] {},
         [&] {
             front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "2:100/200.5").Default());
             EXPECT_EQ(CopyToPanel({"a.zip", "b.zip"}), 1);
         }},
        {"file request for a zone 10 point", Made("out.00A/006400C8.PNT/00000003.BSY"), [] {},
         [&] {
             front.Expect(
                 Expect::Dialog("BSOFREQ").Edit(RequestAddress, "10:100/200.3").Press(RequestOk));
             front.ExpectEditor([&](const standin::EditorRequest &request) {
                 // Held while the sysop edits.
                 EXPECT_TRUE(FlagExists(Made("out.00A/006400C8.PNT/00000003.BSY")));
                 std::ofstream(request.nativePath, std::ios::binary) << "FILES\r\n";
             });
             EXPECT_TRUE(host->PressKey(VK_F4));
         }},
        {"flavor change", Made("out/006400C8.BSY"), [&] { QueueForLink(); },
         [&] {
             ASSERT_TRUE(Enter("2:100/200.0"));
             ASSERT_TRUE(SelectFileRow("a.zip", true));
             ASSERT_TRUE(SelectFileRow("b.zip", true));
             front.Expect(Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 1).Press(FlavorOk));
             EXPECT_TRUE(host->PressKey(VK_F6));
         }},
        {"removal", Made("out/006400C8.BSY"), [&] { QueueForLink(); },
         [&] {
             ASSERT_TRUE(Enter("2:100/200.0"));
             ASSERT_TRUE(SelectFileRow("b.zip", false));
             front.Expect(Expect::Message().Title(Text(MsgRemoveTitle)).Press(0));
             EXPECT_TRUE(host->PressKey(VK_F7));
         }},
        {"the listing's repair of a missing file's line", Made("out/006400C8.BSY"),
         [&] {
             tree.WriteFlowFile("out/006400C8.FLO", {a, "^" + tree.Win("files/gone.zip"), "^" + b});
         },
         [&] {
             front.Expect(Expect::Message().Contains(Text(MsgFileNotFound)).Press(1));
             ASSERT_TRUE(Enter("2:100/200.0"));
             EXPECT_EQ(tree.ReadLines("out/006400C8.FLO"), (std::vector<std::string>{a, "^" + b}));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.setup();
        ASSERT_TRUE(Open());
        std::vector<std::string> writesWithoutFlag;
        int writes = 0;
        {
            FaultInjector watch(host->Module());
            watch.Watch([&](const std::string &call, const std::string &path, DWORD disposition) {
                bool write = call != "make directory" &&
                             !(call == "create" && disposition == OPEN_EXISTING) &&
                             !EndsWithNoCase(path, ".bsy");
                if (write) {
                    ++writes;
                    if (!FlagExists(c.flag)) writesWithoutFlag.push_back(call + " " + path);
                }
                return false;
            });
            c.run();
        }
        EXPECT_EQ(front.Verify(), "");
        EXPECT_GT(writes, 0);
        EXPECT_EQ(writesWithoutFlag, std::vector<std::string>{});
        EXPECT_EQ(BusyFlags(), std::vector<std::string>{});
        EXPECT_FALSE(AnyBusyRow());
        Close();
        tree.Remove("out");
        tree.Remove(Made("out.00A"));
        tree.MakeDir("out");
    }
}

// Whatever way a command ends, the only flags left are those that were there before it.
TEST_F(BusyLock, NoFlagIsLeftBehind) {
    struct Case {
        const char *name;
        std::vector<std::string> flagsBefore; // made by "the mailer"
        std::function<void()> setup;
        std::function<void()> run;
    };
    std::vector<Case> cases = {
        {"dialog cancelled",
         {},
         [] {},
         [&] {
             front.Expect(Expect::Dialog("BSOPoll").Esc());
             host->PressKey(VK_F7);
         }},
        {"address that does not parse",
         {},
         [] {},
         [&] {
             front.Expect(PollDialog("nonsense"));
             front.Expect(Expect::Message().Warning().Contains(Text(MsgBadAddress)).Press(0));
             front.Expect(Expect::Dialog("BSOPoll").ItemText(PollAddress, "nonsense").Esc());
             host->PressKey(VK_F7);
         }},
        {"busy, stopped",
         {"out/006400C8.BSY"},
         [] {},
         [&] {
             front.Expect(PollDialog("2:100/200"));
             front.Expect(BusyQuestion(1));
             host->PressKey(VK_F7);
             EXPECT_FALSE(tree.Exists("out/006400C8.FLO"));
         }},
        {"busy, gone on (the mailer's flag is not the plugin's to remove)",
         {Made("out/006400C8.BSY")},
         [] {},
         [&] {
             front.Expect(PollDialog("2:100/200"));
             front.Expect(BusyQuestion(0));
             host->PressKey(VK_F7);
             EXPECT_TRUE(tree.Exists(Made("out/006400C8.FLO")));
         }},
        {"attach into a flow file that is a directory",
         {},
         [&] { tree.MakeDir(Made("out/006400C8.FLO")); },
         [&] {
             front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "2:100/200").Default());
             front.Expect(Expect::Message().Warning().Contains(Text(MsgCannotWrite)).Press(0));
             EXPECT_EQ(CopyToPanel({"a.zip"}), 0);
         }},
        {"removal from a flow file that is gone",
         {},
         [&] { QueueForLink(); },
         [&] {
             ASSERT_TRUE(Enter("2:100/200.0"));
             ASSERT_TRUE(SelectFileRow("a.zip", false));
             tree.Remove("out/006400C8.FLO");
             front.Expect(Expect::Message().Title(Text(MsgRemoveTitle)).Press(0));
             front.Expect(Expect::Message().Warning().Contains(Text(MsgLineNotRemoved)).Press(0));
             host->PressKey(VK_F7);
         }},
        {"file request on a request file that is a directory",
         {},
         [&] { tree.MakeDir(Made("out/006400C8.REQ")); },
         [&] {
             front.Expect(
                 Expect::Dialog("BSOFREQ").Edit(RequestAddress, "2:100/200").Press(RequestOk));
             front.Expect(Expect::Message().Warning().Contains(Text(MsgCannotWrite)).Press(0));
             host->PressKey(VK_F4);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string &flag : c.flagsBefore) tree.Write(flag, "1234\n");
        c.setup();
        ASSERT_TRUE(Open());
        c.run();
        EXPECT_EQ(front.Verify(), "");
        std::vector<std::string> expected = c.flagsBefore;
        EXPECT_EQ(BusyFlags(), expected);
        for (const std::string &flag : c.flagsBefore) EXPECT_EQ(tree.Read(flag), "1234\n");
        Close();
        tree.Remove("out");
        tree.MakeDir("out");
    }
}

// The mailer makes its flag between the plugin's look and its exclusive create: that is the
// busy case, with the same question; going on writes, and the mailer's flag stays.
TEST_F(BusyLock, AFlagMadeJustBeforeTheExclusiveCreateIsTheBusyCase) {
    for (int answer : {1, 0}) {
        SCOPED_TRACE(answer);
        ASSERT_TRUE(Open());
        std::string flag = Made("out/006400C8.BSY");
        {
            FaultInjector watch(host->Module());
            watch.Watch([&](const std::string &call, const std::string &path, DWORD disposition) {
                if (call == "create" && disposition == CREATE_NEW && EndsWithNoCase(path, ".bsy"))
                    tree.Write(flag, "mailer\n");
                return false;
            });
            front.Expect(PollDialog("2:100/200"));
            front.Expect(BusyQuestion(answer));
            EXPECT_TRUE(host->PressKey(VK_F7));
        }
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(tree.Exists(Made("out/006400C8.FLO")), answer == 0);
        EXPECT_EQ(tree.Read(flag), "mailer\n");
        Close();
        tree.Remove("out");
        tree.MakeDir("out");
    }
}

// A flag the plugin cannot remove would keep the mailer from the link for good: the busy
// notice names it.
TEST_F(BusyLock, AFlagThatCannotBeRemovedIsNamed) {
    ASSERT_TRUE(Open());
    // As the box shows it: a path wider than the box keeps its name, its middle gives way.
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof shown, tree.Win(Made("out/006400C8.BSY")).c_str(), MessageLineWidth);
    std::string flag = shown;
    {
        FaultInjector watch(host->Module());
        watch.Watch([](const std::string &call, const std::string &path, DWORD) {
            return call == "remove" && EndsWithNoCase(path, ".bsy");
        });
        front.Expect(PollDialog("2:100/200"));
        front.Expect(Expect::Message()
                         .Warning()
                         .Title(Text(MsgWarning))
                         .Contains(Text(MsgLinkBusy))
                         .Check([&](const standin::ShownBox &box) {
                             return box.texts.size() == 2 && Lower(box.texts[1]) == Lower(flag)
                                        ? ""
                                        : "the flag is not named: " + box.Describe();
                         })
                         .Press(0));
        EXPECT_TRUE(host->PressKey(VK_F7));
    }
    EXPECT_EQ(front.Verify(), "");
    EXPECT_TRUE(tree.Exists(Made("out/006400C8.FLO")));
    EXPECT_EQ(BusyFlags(), std::vector<std::string>{Made("out/006400C8.BSY")});
}

} // namespace
