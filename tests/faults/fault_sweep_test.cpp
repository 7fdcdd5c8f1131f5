// Every place the plugin writes, failed one call at a time. For each command (poll, attach,
// file request, flavor change, removal, the listing's repair of a missing file's line) on a
// tree of its own, the command first runs without a fault: that run counts the module's file
// calls and gives the tree a successful command leaves. Then, for each kind of fault, the
// n-th call the fault applies to fails, for n = 1, 2, ... until the command completes without
// reaching n. After each faulty run no file may be damaged (outbound_damage.h: no cut or
// stray lines, no lost or doubled entry, nothing left behind, a busy flag least of all), and
// where the outcome differs from the successful one, the user must have been told wherever the
// command has a message for it. The counts are printed.
//
// BSOPANEL_FAULT_SCENARIO=<part of a name> runs the commands whose name holds it;
// BSOPANEL_FAULT_TRACE=1 prints each run and the call that failed.
#include "fault_injector.h"
#include "outbound_damage.h"
#include "plugin_session.h"

#include "commands/clear_queue.h"
#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/poll.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;
using standin::DialogRequest;
using standin::Side;

struct Scenario {
    std::string name;
    std::function<void(OutboundTree &)> setup;
    // Runs before the injector is armed: dialogs' answers, navigation, selection.
    std::function<bool(PluginSession &)> prepare;
    // The command itself.
    std::function<void(PluginSession &)> command;
    // Whether every outcome that differs from success must come with a box: the command has a
    // message for its failures (every command does; the listing's repair of a missing file's
    // line asks again at the next listing instead).
    bool tellsFailures;
    // The command only appends to flow files: each failed append must leave its file exactly
    // as it was (FindAppendDamage).
    bool appendsOnly = false;
};

std::string Win(OutboundTree &tree, const std::string &name) {
    return tree.Win("files/" + name);
}

void Files(OutboundTree &tree, const std::vector<std::string> &names) {
    for (const std::string &name : names) tree.WriteAttached(name, "bytes of " + name);
}

std::function<int(const DialogRequest &)>
Dialog(const std::string &topic, std::map<int, std::string> edits, int radio, int closeWith) {
    return [=](const DialogRequest &request) {
        if (request.helpTopic != topic) return -1;
        return AnswerDialog(request, edits, radio, closeWith);
    };
}

// Copies (or moves) the named files of the right panel onto the plugin's.
void PutOnPanel(PluginSession &session, const std::vector<std::string> &names, bool move) {
    session.Host().SetActive(Side::Right);
    session.Host().Right().Update();
    for (const std::string &name : names) session.Host().Right().Select(name);
    session.Host().CopyToPluginPanel(move);
    session.Host().SetActive(Side::Left);
}

// A link's flow file as it lies before the flavor change and the removal: lines with and
// without directives, trailing blanks, a done line.
void QueuedLink(OutboundTree &tree) {
    Files(tree, {"a.zip", "b.zip", "c.zip", "d.zip"});
    tree.WriteFlowFile("out/006400C8.FLO", {Win(tree, "a.zip"), "^" + Win(tree, "b.zip") + "  ",
                                            "~" + Win(tree, "gone.zip"), "#" + Win(tree, "c.zip")});
    tree.WriteFlowFile("out/006400C8.CLO", {Win(tree, "d.zip")});
    tree.Write("out/006400C8.CUT", "packet");
}

// Another link that no command touches.
void Bystander(OutboundTree &tree) {
    tree.WriteFlowFile("out/00640001.FLO", {"^" + Win(tree, "other.zip")});
    tree.Write("files/other.zip", "other");
}

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> list;
    list.push_back({"poll, new flow file", Bystander,
                    [](PluginSession &s) {
                        s.front.answerDialog = Dialog("BSOPoll", {{PollAddress, "2:100/200"}},
                                                      PollFirstFlavor + 1, PollOk);
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    list.push_back({"poll, a point's flow file with lines",
                    [](OutboundTree &t) {
                        Bystander(t);
                        Files(t, {"p.zip"});
                        t.WriteFlowFile("out/006400C8.PNT/00000005.CLO", {"^" + Win(t, "p.zip")});
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog = Dialog("BSOPoll", {{PollAddress, "2:100/200.5"}},
                                                      PollFirstFlavor + 1, PollOk);
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    list.push_back({"poll, a zone 10 point without directories", Bystander,
                    [](PluginSession &s) {
                        s.front.answerDialog = Dialog("BSOPoll", {{PollAddress, "10:100/200.3"}},
                                                      PollFirstFlavor + 2, PollOk);
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    list.push_back({"attach three files to a flow file with an open last line",
                    [](OutboundTree &t) {
                        Bystander(t);
                        Files(t, {"a.zip", "b.zip", "c.zip"});
                        t.Write("out/006400C8.FLO", Win(t, "x.zip") + "\r\n~" + Win(t, "y.zip") +
                                                        "\r\n" + Win(t, "z.zip"));
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOAttach", {{AttachAddress, "2:100/200"}}, -1, AttachOk);
                        return true;
                    },
                    [](PluginSession &s) {
                        PutOnPanel(s, {"a.zip", "b.zip", "c.zip"}, false);
                    },
                    true});
    list.back().appendsOnly = true;
    list.push_back({"attach (move) to a zone 3 point without directories",
                    [](OutboundTree &t) {
                        Bystander(t);
                        Files(t, {"a.zip", "b.zip"});
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog = Dialog("BSOAttach", {{AttachAddress, "3:100/200.7"}},
                                                      AttachFirstFlavor + 4, AttachOk);
                        return true;
                    },
                    [](PluginSession &s) {
                        PutOnPanel(s, {"a.zip", "b.zip"}, true);
                    },
                    true});
    list.back().appendsOnly = true;
    list.push_back({"file request, new, the editor writes a line", Bystander,
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFREQ", {{RequestAddress, "2:100/200"}}, -1, RequestOk);
                        s.front.edit = [](const standin::EditorRequest &request) {
                            std::ofstream(request.nativePath, std::ios::binary) << "FILES\r\n";
                        };
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F4); }, true});
    list.push_back({"file request, existing, the editor leaves it",
                    [](OutboundTree &t) {
                        Bystander(t);
                        t.Write("out/006400C8.REQ", "OLD\r\n");
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFREQ", {{RequestAddress, "2:100/200"}}, -1, RequestOk);
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F4); }, true});
    list.push_back({"file request, left empty", Bystander,
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFREQ", {{RequestAddress, "2:100/300"}}, -1, RequestOk);
                        return true;
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F4); }, true});
    list.push_back({"flavor change of two files into a flow file with lines",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFlavor", {}, FlavorFirstChoice + 1, FlavorOk);
                        return s.Enter("2:100/200.0") && s.SelectFiles({"a.zip", "c.zip"});
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F6); }, true});
    list.push_back({"flavor change of the current file into a new flow file",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFlavor", {}, FlavorFirstChoice + 4, FlavorOk);
                        return s.Enter("2:100/200.0") && s.SetCurrentFile("b.zip");
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F6, PKF_SHIFT); }, true});
    list.push_back({"removal of three files from two flow files",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                    },
                    [](PluginSession &s) {
                        s.front.questionAnswer = 0;
                        return s.Enter("2:100/200.0") && s.SelectFiles({"a.zip", "b.zip", "d.zip"});
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    // A rewrite that leaves no line naming a file deletes the flow file: the delete is the step
    // that commits, and a failed one leaves the flow file as it was.
    list.push_back({"flavor change of a flow file's last line deletes it",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog =
                            Dialog("BSOFlavor", {}, FlavorFirstChoice + 4, FlavorOk);
                        return s.Enter("2:100/200.0") && s.SetCurrentFile("d.zip");
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F6, PKF_SHIFT); }, true});
    list.push_back(
        {"removal of every file of a flow file deletes it",
         [](OutboundTree &t) {
             Bystander(t);
             QueuedLink(t);
         },
         [](PluginSession &s) {
             s.front.questionAnswer = 0;
             return s.Enter("2:100/200.0") && s.SelectFiles({"a.zip", "b.zip", "c.zip", "d.zip"});
         },
         [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    list.push_back({"removal of a poll and a request file",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                        t.Write("out/006400C8.HLO", "");
                        t.Write("out/006400C8.REQ", "FILES\r\n");
                    },
                    [](PluginSession &s) {
                        s.front.questionAnswer = 0;
                        return s.Enter("2:100/200.0") &&
                               s.SelectFiles({"006400C8.HLO", "006400C8.REQ", "d.zip"});
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F7); }, true});
    list.push_back({"the listing drops the last line of a flow file",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                        t.Remove("files/d.zip");
                    },
                    [](PluginSession &s) {
                        s.front.questionAnswer = 0; // drop the line
                        return true;
                    },
                    [](PluginSession &s) { s.Enter("2:100/200.0"); }, false});
    list.push_back({"the listing drops the line of a missing file",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                        t.Remove("files/c.zip");
                    },
                    [](PluginSession &s) {
                        s.front.questionAnswer = 0; // drop the line
                        return true;
                    },
                    [](PluginSession &s) { s.Enter("2:100/200.0"); }, false});
    list.push_back({"the listing drops the last entry, so the flow file goes",
                    [](OutboundTree &t) {
                        Bystander(t);
                        t.WriteFlowFile("out/006400C8.CLO", {"", "^" + Win(t, "gone.zip"), "~x"});
                    },
                    [](PluginSession &s) {
                        s.front.questionAnswer = 0;
                        return true;
                    },
                    [](PluginSession &s) { s.Enter("2:100/200.0"); }, false});
    // The queue clear: every kind of queued line, netmail, the request file, the link's state
    // files and a .tic deleted with its file; the bystander, the file it also names, another
    // link's .tic, the plain line's file and a flow file with a relative line stay.
    list.push_back({"clear the queue of a link",
                    [](OutboundTree &t) {
                        Bystander(t);
                        QueuedLink(t);
                        t.WriteFlowFile("out/006400C8.DLO", {"^" + Win(t, "other.zip")});
                        t.WriteFlowFile("out/006400C8.HLO", {"#notes.txt"});
                        t.Write("out/006400C8.REQ", "FILES\r\n");
                        t.Write("out/006400C8.HLD", "1\r\n");
                        t.Write("out/006400C8.TRY", "x");
                        t.Write("files/b.tic", "File b.zip\r\nTo 2:100/200\r\n");
                        t.Write("files/b1.tic", "File b.zip\r\nTo 2:100/1\r\n");
                    },
                    [](PluginSession &s) {
                        s.front.answerDialog = [](const DialogRequest &request) {
                            if (request.helpTopic != "BSOClear") return -1;
                            // The check boxes as they are; in the preview, "Clear".
                            for (int i = 0; i < request.count; ++i)
                                if (request.items[i].Type == DI_BUTTON &&
                                    std::string(request.items[i].Data) == "&Clear")
                                    return i;
                            return static_cast<int>(ClearOk);
                        };
                        s.front.busyAnswer = 1;
                        return s.Panel().SetCurrentByName("2:100/200.0");
                    },
                    [](PluginSession &s) { s.Host().PressKey(VK_F8); }, true});
    return list;
}

struct Tally {
    int points = 0;          // faulty runs in which the fault was reached
    int damagedFiles = 0;    // damage lines over all runs
    int changedOutcomes = 0; // runs whose tree differs from the successful one
    int told = 0;            // ... of which showed a warning or the busy question
};

// Removes what the test put in the way (directories it made), so that only the plugin's doing
// is compared; returns the relative paths of what it made or removed.
std::set<std::string> UndoInjection(const FaultInjector &injector, const fs::path &root) {
    std::set<std::string> touched;
    auto relative = [&](const std::string &win) {
        return fs::relative(fs::path(standin::NativePath(win)), root).generic_string();
    };
    for (const std::string &made : injector.MadeDirectories()) {
        RemoveDirectoryA(made.c_str());
        touched.insert(relative(made));
    }
    for (const std::string &removed : injector.RemovedDirectories())
        touched.insert(relative(removed));
    return touched;
}

void ResetTree(OutboundTree &tree) {
    for (const fs::directory_entry &entry : fs::directory_iterator(tree.dir.Native())) {
        std::string name = entry.path().filename().string();
        if (name.rfind("out", 0) == 0 || name == "files") fs::remove_all(entry.path());
    }
    tree.MakeDir("out");
    tree.MakeDir("files");
}

TEST(FaultSweep, NoWriteFailureDamagesTheOutbound) {
    std::map<std::string, Tally> tallies;
    std::map<Fault, int> pointsByFault;
    int totalPoints = 0, totalDamaged = 0, totalSilent = 0;

    const char *only = std::getenv("BSOPANEL_FAULT_SCENARIO"); // a part of one name
    bool trace = std::getenv("BSOPANEL_FAULT_TRACE") != nullptr;
    for (const Scenario &scenario : Scenarios()) {
        if (only && scenario.name.find(only) == std::string::npos) continue;
        SCOPED_TRACE(scenario.name);
        OutboundTree tree;
        standin::TestRegistry registry(tree.dir.Win());
        fs::path root = tree.dir.Native();
        const std::vector<std::string> watched = {"out", "files"};

        // The run without a fault.
        ResetTree(tree);
        scenario.setup(tree);
        TreeSnapshot before = TakeSnapshot(root, watched);
        TreeSnapshot success;
        int cleanWarnings = 0;
        {
            PluginSession session(tree, registry);
            ASSERT_TRUE(session.Open()) << session.Error();
            ASSERT_TRUE(scenario.prepare(session));
            FaultInjector injector(session.Module());
            scenario.command(session);
            cleanWarnings = session.front.Warnings();
            EXPECT_EQ(session.front.BusyQuestions(), 0);
        }
        success = TakeSnapshot(root, watched);
        EXPECT_EQ(FindDamage(before, success, success), std::vector<std::string>{});

        Tally &tally = tallies[scenario.name];
        for (Fault fault : AllFaults) {
            for (int n = 1;; ++n) {
                ResetTree(tree);
                scenario.setup(tree);
                PluginSession session(tree, registry);
                ASSERT_TRUE(session.Open()) << session.Error();
                ASSERT_TRUE(scenario.prepare(session));
                if (trace)
                    std::cerr << scenario.name << ": " << FaultName(fault) << " " << n << std::endl;
                bool fired;
                std::string call;
                std::set<std::string> ignored;
                {
                    FaultInjector injector(session.Module());
                    injector.Arm(fault, n);
                    scenario.command(session);
                    fired = injector.Fired();
                    call = injector.FiredCall();
                    if (trace) std::cerr << "  failed: " << call << std::endl;
                    session.Close();
                    ignored = UndoInjection(injector, root);
                }
                TreeSnapshot after = TakeSnapshot(root, watched);
                if (!fired) {
                    // Past the last call: the command ran as without a fault.
                    EXPECT_EQ(after, success) << FaultName(fault) << " " << n << "\n"
                                              << DescribeDifference(success, after);
                    break;
                }
                ++tally.points;
                ++pointsByFault[fault];
                std::vector<std::string> damage = FindDamage(before, success, after, ignored);
                if (scenario.appendsOnly)
                    for (const std::string &line : FindAppendDamage(before, success, after))
                        damage.push_back(line);
                tally.damagedFiles += static_cast<int>(damage.size());
                EXPECT_EQ(damage, std::vector<std::string>{})
                    << FaultName(fault) << " at call " << n << " (" << call << ")";
                TreeSnapshot comparable = after;
                TreeSnapshot expected = success;
                for (const std::string &path : ignored) {
                    comparable.erase(path);
                    expected.erase(path);
                }
                if (comparable != expected) {
                    ++tally.changedOutcomes;
                    bool told = session.front.Warnings() > cleanWarnings ||
                                session.front.BusyQuestions() > 0;
                    if (told) ++tally.told;
                    if (scenario.tellsFailures) {
                        EXPECT_TRUE(told) << FaultName(fault) << " at call " << n << " (" << call
                                          << ") changed the outcome without a word:\n"
                                          << DescribeDifference(expected, comparable);
                    }
                }
                if (n > 500) {
                    ADD_FAILURE() << "the command never completes";
                    break;
                }
            }
        }
        totalPoints += tally.points;
        totalDamaged += tally.damagedFiles;
        totalSilent += tally.changedOutcomes - tally.told;
    }

    std::ostringstream report;
    report << "\nFault injection: each write failed in turn\n";
    report << std::left << std::setw(60) << "command" << std::right << std::setw(8) << "points"
           << std::setw(9) << "damaged" << std::setw(9) << "changed" << std::setw(7) << "told"
           << "\n";
    for (const auto &[name, tally] : tallies)
        report << std::left << std::setw(60) << name << std::right << std::setw(8) << tally.points
               << std::setw(9) << tally.damagedFiles << std::setw(9) << tally.changedOutcomes
               << std::setw(7) << tally.told << "\n";
    report << "by fault:";
    for (const auto &[fault, points] : pointsByFault)
        report << " " << FaultName(fault) << " " << points << ";";
    report << "\nfailure points tried: " << totalPoints << ", files damaged: " << totalDamaged
           << ", changed outcomes without a message (the listing's repair asks again instead): "
           << totalSilent << "\n";
    std::cout << report.str();
    RecordProperty("FailurePointsTried", totalPoints);
    RecordProperty("FilesDamaged", totalDamaged);
    EXPECT_EQ(totalDamaged, 0);
}

#ifndef _WIN32

// A real full disk: a limit on the size of the files the process writes (RLIMIT_FSIZE), so the
// system itself cuts writes short and then refuses them, for every limit from 0 to the size of
// the largest flow file a good run leaves, through the commands that append: every append cut
// by the limit leaves its flow file exactly as it was, nothing is damaged, and every outcome
// that differs from success is told.
TEST(FullDisk, EveryAppendLeavesItsFlowFileWhole) {
    signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
    int points = 0, damaged = 0;
    for (const Scenario &scenario : Scenarios()) {
        if (scenario.name.rfind("attach", 0) != 0 && scenario.name.rfind("flavor change", 0) != 0)
            continue;
        SCOPED_TRACE(scenario.name);
        OutboundTree tree;
        standin::TestRegistry registry(tree.dir.Win());
        fs::path root = tree.dir.Native();
        const std::vector<std::string> watched = {"out", "files"};
        ResetTree(tree);
        scenario.setup(tree);
        TreeSnapshot before = TakeSnapshot(root, watched);
        {
            PluginSession session(tree, registry);
            ASSERT_TRUE(session.Open()) << session.Error();
            ASSERT_TRUE(scenario.prepare(session));
            scenario.command(session);
        }
        TreeSnapshot success = TakeSnapshot(root, watched);
        size_t largest = 0;
        for (const auto &[path, bytes] : success)
            if (bytes && path.rfind("out", 0) == 0) largest = std::max(largest, bytes->size());

        for (size_t limit = 0; limit <= largest; ++limit) {
            ResetTree(tree);
            scenario.setup(tree);
            PluginSession session(tree, registry);
            ASSERT_TRUE(session.Open()) << session.Error();
            // The host's history key exists, so that the host only fails to write a value.
            session.Host().AddToHistory("FAtt.ToAddr", "0:0/0");
            ASSERT_TRUE(scenario.prepare(session));
            rlimit unlimited;
            getrlimit(RLIMIT_FSIZE, &unlimited);
            rlimit small = unlimited;
            small.rlim_cur = limit;
            setrlimit(RLIMIT_FSIZE, &small);
            scenario.command(session);
            setrlimit(RLIMIT_FSIZE, &unlimited);
            session.Close();
            TreeSnapshot after = TakeSnapshot(root, watched);
            ++points;
            std::vector<std::string> damage = FindDamage(before, success, after);
            if (scenario.appendsOnly)
                for (const std::string &line : FindAppendDamage(before, success, after))
                    damage.push_back(line);
            damaged += static_cast<int>(damage.size());
            EXPECT_EQ(damage, std::vector<std::string>{}) << "file size limit " << limit;
            if (after != success) {
                EXPECT_GT(session.front.Warnings(), 0)
                    << "file size limit " << limit << " changed the outcome without a word:\n"
                    << DescribeDifference(success, after);
            }
        }
    }
    signal(SIGXFSZ, SIG_DFL);
    std::cout << "\nFull disk: limits tried: " << points << ", files damaged: " << damaged << "\n";
    RecordProperty("FullDiskLimitsTried", points);
    EXPECT_EQ(damaged, 0);
}

#endif

} // namespace
