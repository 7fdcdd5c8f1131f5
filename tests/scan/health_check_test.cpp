// The health check of an outbound, called directly on real trees: one of each problem is found
// and nothing else, a clean outbound gives no entry, and the fixes change only what they name.
// Own address 2:5020/1000: zone 2 lives in "out", zone 3 in "out.003".
#include "outbound_fixture.h"

#include "bso/address.h"
#include "scan/health_check.h"

#include <gtest/gtest.h>

#include <time.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char *const ProblemNames[] = {"orphan",     "old empty",  "missing",  "no name",
                                    "unknown",    "wrong zone", "relative", "other case",
                                    "not a file", "dropped"};

// The fixes as the health check's command hands them a finding.
WriteOutcome TakeOut(const HealthFinding *F) {
    return TakeOutFlowLine(F->Path, F->LineNumber, F->Line, F->LineLength);
}
WriteOutcome RemoveBundle(const HealthFinding *F) {
    return RemoveEmptyBundle(F->Path, &F->Seen);
}
WriteOutcome RemovePacket(const HealthFinding *F) {
    return RemoveDroppedPacket(F->Path, &F->Seen);
}

class HealthCheck : public ::testing::Test {
protected:
    // Now in file time, plus the given days and, then, an hour (time() has whole seconds).
    static unsigned long long Now(int days = 0) {
        const unsigned long long hour = FileTimeDay / 24;
        return (static_cast<unsigned long long>(time(nullptr)) + 11644473600ull) * 10000000ull +
               static_cast<unsigned long long>(days) * FileTimeDay + (days ? hour : 0);
    }
    // "<problem> <name below the tree>[ line]", sorted.
    std::vector<std::string> Check(unsigned long long now, unsigned days = 30) {
        FtnAddress own;
        ParseAddress(&own, "2:5020/1000", nullptr);
        FreeHealthReport(&report);
        EXPECT_EQ(CheckOutboundHealth(tree.Root().c_str(), &own, days, now, &report), 1);
        std::vector<std::string> found;
        const std::string base = tree.Win("");
        for (int i = 0; i < report.Count; ++i) {
            const HealthFinding &f = report.Findings[i];
            std::string path = f.Path;
            if (path.compare(0, base.size(), base) == 0) path = path.substr(base.size());
            for (char &c : path)
                if (c == '\\') c = '/';
            if (!path.empty() && path[0] == '/') path.erase(0, 1);
            std::string entry = std::string(ProblemNames[f.Problem]) + " " + UpperCase(path);
            if (f.LineNumber) entry += " " + std::to_string(f.LineNumber) + ":" + f.Line;
            found.push_back(entry);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    const HealthFinding *Find(HealthProblem problem) {
        for (int i = 0; i < report.Count; ++i)
            if (report.Findings[i].Problem == problem) return &report.Findings[i];
        return nullptr;
    }
    // A healthy outbound: bundles named by flow files, a young emptied bundle, link files of
    // every kind, a point, another zone, binkd's state files.
    void WriteCleanTree() {
        tree.Write("out/0000fff0.mo0", "bundle");
        tree.Write("out/0000fff0.TU1", "");
        tree.Write("out/12345678.pkt", "packet");
        tree.WriteFlowFile("out/006400C8.FLO",
                           {"^" + tree.Win("out/0000fff0.mo0"), "#" + tree.Win("out/12345678.pkt"),
                            "~gone", "", tree.WriteAttached("a.zip"),
                            "^" + tree.Win("files/*.zip")});
        tree.Write("out/006400C8.CUT", std::string(61, 'm'));
        tree.Write("out/006400C8.REQ", "files");
        tree.Write("out/006400C8.BSY", "");
        tree.Write("out/006400C8.HLD", "1");
        tree.Write("out/006400C8.TRY", "1");
        tree.Write("out/006400C8.CSY", "");
        tree.WriteFlowFile("out/006400C8.PNT/00000001.HLO", {tree.WriteAttached("b.zip")});
        tree.Write("out/006400C8.PNT/00000001.OUT", std::string(61, 'm'));
        tree.WriteFlowFile("out.003/00010002.CLO", {});
        tree.Write("out.003/00010002.HUT", std::string(61, 'm'));
        // What other mailers, tossers and the plugin keep there.
        for (const char *others :
             {"out/cmindex", "out/00640001.sts", "out/00640001.spl", "out/006400C8.STC",
              "out/006400c8.srf", "out/006400c8.rsp", "out/006400C8.FLO.TMP", "out/006400c8-1.tmp"})
            tree.Write(others, "x");
        // A bundle named through another spelling of its folder is the same file.
        tree.Write("out/0000fff0.th0", "bundle");
        std::string spelled = "^" + tree.Win("files/../out/.//0000fff0.th0");
#ifndef _WIN32
        std::filesystem::create_directory_symlink(tree.Native("out"), tree.Native("link"));
        spelled = "^" + tree.Win("link/0000fff0.th0");
#endif
        tree.WriteFlowFile("out/00640002.FLO", {spelled});
    }
    ~HealthCheck() override {
        FreeHealthReport(&report);
    }
    OutboundTree tree;
    HealthReport report = {nullptr, 0, 0};
};

TEST_F(HealthCheck, ACleanOutboundHasNoEntries) {
    WriteCleanTree();
    EXPECT_EQ(Check(Now()), std::vector<std::string>{});
    // An empty root, and one that is missing, are clean too.
    OutboundTree empty;
    empty.MakeDir("out");
    FtnAddress own = {2, 5020, 1000, 0};
    HealthReport none = {nullptr, 0, 0};
    EXPECT_EQ(CheckOutboundHealth(empty.Root().c_str(), &own, 30, Now(), &none), 1);
    EXPECT_EQ(CheckOutboundHealth(empty.Win("gone").c_str(), &own, 30, Now(), &none), 1);
    EXPECT_EQ(none.Count, 0);
    FreeHealthReport(&none);
}

TEST_F(HealthCheck, FindsEachPlantedProblem) {
    WriteCleanTree();
    tree.Write("out/0000fff0.we2", "orphan");          // a bundle nothing names
    tree.Write("out/0000fff0.su0", "");                // empty and, 40 days on, old
    tree.Write("out/006400C8.PNT/0000fff0.fr9", "pt"); // a bundle in a point folder
    tree.WriteAttached("d.zip");
    tree.WriteFlowFile("out/00640001.DLO",
                       {"^" + tree.Win("files/gone.zip"), ".", "#", "^ ",
                        tree.WriteAttached("c.zip"), "^notes.txt", "#" + tree.Win("files/D.ZIP")});
    tree.Write("out/readme.txt", "x");
    tree.Write("out/006400C8.FLO.TMP", "x");
    tree.Write("out.003/006400C8.PNT/00000002.bak", "x");
    tree.Write("out.002/006400C8.CUT", "own zone in a zone folder");
    tree.WriteFlowFile("out.000/00010001.FLO", {});
    tree.Write("out/00640001.OUT", std::string(60, 'h')); // a header and no message
    const std::string dlo = "/OUT/00640001.DLO";
    std::vector<std::string> expected = {
        "dropped OUT/00640001.OUT",
        "missing " + dlo.substr(1) + " 1:^" + tree.Win("files/gone.zip"),
        "no name " + dlo.substr(1) + " 2:.",
        "no name " + dlo.substr(1) + " 3:#",
        "no name " + dlo.substr(1) + " 4:^ ",
        "old empty OUT/0000FFF0.SU0",
        "old empty OUT/0000FFF0.TU1", // the clean tree's emptied bundle, grown old
        "orphan OUT/006400C8.PNT/0000FFF0.FR9",
        "orphan OUT/0000FFF0.WE2",
        "unknown OUT.003/006400C8.PNT/00000002.BAK",
        "unknown OUT/README.TXT",
        "wrong zone OUT.000/00010001.FLO",
        "wrong zone OUT.002/006400C8.CUT",
        "relative " + dlo.substr(1) + " 6:^notes.txt",
    };
#ifndef _WIN32
    // Names are exact on Linux: binkd cannot open the line's file. A FIFO where binkd reads its
    // hold file would hang whoever reads it.
    expected.push_back("other case " + dlo.substr(1) + " 7:#" + tree.Win("files/D.ZIP"));
    ASSERT_EQ(mkfifo(tree.Native("out/00640001.hld").c_str(), 0600), 0);
    expected.push_back("not a file OUT/00640001.HLD");
#endif
    std::vector<std::string> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Check(Now(40)), sorted);
    const HealthFinding *orphan = Find(HealthOrphanBundle);
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->Days, 40u);
    // Today the empty bundle is young: the tosser may fill it again.
    std::vector<std::string> today = Check(Now());
    EXPECT_EQ(std::count_if(today.begin(), today.end(),
                            [](const std::string &e) { return e.rfind("old empty", 0) == 0; }),
              0);
    // The flow file's link is known, for its busy flag.
    Check(Now());
    const HealthFinding *missing = Find(HealthMissingFile);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->Link.zone, 2u);
    EXPECT_EQ(missing->Link.net, 100u);
    EXPECT_EQ(missing->Link.node, 1u);
    HealthFinding packet = *Find(HealthDroppedPacket);
    packet.Seen.WriteTime ^= 1; // rewritten since the check: it stays
    EXPECT_EQ(RemovePacket(&packet), WriteChanged);
    EXPECT_EQ(RemovePacket(Find(HealthDroppedPacket)), WriteDone);
}

TEST_F(HealthCheck, BundleNames) {
    const std::pair<const char *, bool> names[] = {
        {"0000fff0.mo0", true}, {"0000FFF0.SUZ", true}, {"x.Th5", true},   {"a.pkt", true},
        {"a.PKT", true},        {"a.mo", false},        {"a.mon0", false}, {"a.xx0", false},
        {"a.mo_", false},       {".mo0", false},        {"mo0", false},    {"a.flo", false}};
    for (const auto &[name, bundle] : names) EXPECT_EQ(IsBundleName(name), bundle) << name;
}

TEST_F(HealthCheck, FixesChangeOnlyWhatTheyName) {
    const std::string kept = tree.WriteAttached("kept.zip");
    // Two lines alike in their first 300 bytes: only the whole line tells them apart.
    const std::string longLine = "^" + tree.Win("files/") + std::string(300, 'x');
    tree.WriteFlowFile("out/00640003.FLO", {longLine + "a"});
    tree.WriteFlowFile("out/00640001.FLO", {".", kept, "^" + tree.Win("files/gone.zip")});
    tree.Write("out/0000fff0.mo0", "");
    tree.Write("out/0000fff0.tu0", "");
    Check(Now(40));
    ASSERT_EQ(report.Count, 5);
    HealthFinding line = *Find(HealthNotAName);
    HealthFinding missing = *Find(HealthMissingFile);
    if (std::string(missing.Path).find("00640003") == std::string::npos)
        std::swap(missing, *std::find_if(report.Findings + 1, report.Findings + report.Count,
                                         [&](const HealthFinding &f) {
                                             return f.Problem == HealthMissingFile &&
                                                    f.Line != missing.Line;
                                         }));
    tree.WriteFlowFile("out/00640003.FLO", {longLine + "b"});
    EXPECT_EQ(TakeOut(&missing), WriteChanged);
    EXPECT_EQ(tree.Read("out/00640003.FLO"), longLine + "b\r\n");
    std::swap(missing, *std::find_if(report.Findings, report.Findings + report.Count,
                                     [&](const HealthFinding &f) {
                                         return f.Problem == HealthMissingFile &&
                                                f.Line != missing.Line;
                                     }));
    HealthFinding emptyMo = report.Findings[0], emptyTu = report.Findings[0];
    for (int i = 0; i < report.Count; ++i)
        if (report.Findings[i].Problem == HealthOldEmptyBundle)
            (std::string(report.Findings[i].Path).find("mo0") != std::string::npos ? emptyMo
                                                                                   : emptyTu) =
                report.Findings[i];
    // Out goes the line the check saw; the others stay byte for byte.
    EXPECT_EQ(TakeOut(&line), WriteDone);
    EXPECT_EQ(tree.Read("out/00640001.FLO"), kept + "\r\n^" + tree.Win("files/gone.zip") + "\r\n");
    // The file changed since the check: the line numbers moved, nothing is taken.
    EXPECT_EQ(TakeOut(&missing), WriteChanged);
    EXPECT_EQ(tree.Read("out/00640001.FLO"), kept + "\r\n^" + tree.Win("files/gone.zip") + "\r\n");
    missing.LineNumber = 2;
    EXPECT_EQ(TakeOut(&missing), WriteDone);
    EXPECT_EQ(tree.Read("out/00640001.FLO"), kept + "\r\n");
    // The last line that names a file goes: so does the flow file, which would be a poll.
    Check(Now());
    tree.Remove("files/kept.zip");
    Check(Now());
    ASSERT_NE(Find(HealthMissingFile), nullptr);
    EXPECT_EQ(TakeOut(Find(HealthMissingFile)), WriteDone);
    EXPECT_FALSE(tree.Exists("out/00640001.FLO"));
    // An empty bundle goes only while it is still the file the check saw, empty.
    tree.Write("out/0000fff0.tu0", "filled again");
    EXPECT_EQ(RemoveBundle(&emptyTu), WriteChanged);
    EXPECT_TRUE(tree.Exists("out/0000fff0.tu0"));
    EXPECT_EQ(RemoveBundle(&emptyMo), WriteDone);
    EXPECT_FALSE(tree.Exists("out/0000fff0.mo0"));
    tree.Remove("out/00640003.FLO");
    EXPECT_EQ(Check(Now()), std::vector<std::string>{"orphan OUT/0000FFF0.TU0"});
}

} // namespace
