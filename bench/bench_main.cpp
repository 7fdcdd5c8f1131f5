// bsopanel_bench: builds the outbounds of the benchmarks in a temporary directory, runs the
// cases (Google Benchmark's own options apply), then prints the table of ratios and goals and
// the peak memory of the root listing.
//
//   bsopanel_bench [--keep] [benchmark options]
//   --keep   leave the temporary directory for a look (its path is printed)
//   bsopanel_bench --profile root|link|relist|sort [N]
//            builds the outbounds, opens the case's panel, lists it once, then does only the
//            plugin's part of the case N times (default 20) in ProfiledRepeats, for a profiler
//            (scripts/bench --profile runs it under callgrind, collecting in that function)
#include "allocation_counter.h"
#include "bench_cases.h"
#include "bench_outbound.h"
#include "host_core.h"
#include "scripted_frontend.h"

#include <benchmark/benchmark.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using namespace bench;

bool Fail(const std::string &what) {
    std::fprintf(stderr, "bsopanel_bench: %s\n", what.c_str());
    return false;
}

bool BuildOutbounds(Outbounds &outbounds, const std::string &registryRoot) {
    std::string error;
    outbounds.registryRoot = registryRoot;
    outbounds.linkListKey = registryRoot + "\\LinkList";
    outbounds.oneLinkKey = registryRoot + "\\OneLink";

    bsodemo::LargeOutboundShape links = RootShape(RootLinks);
    if (!bsodemo::BuildLargeOutbound(outbounds.directory + "/links", links, outbounds.linkList,
                                     error) ||
        !TopUpLinkFiles(outbounds.linkList, error))
        return Fail("building the link list outbound: " + error);
    if (static_cast<int>(outbounds.linkList.links.size()) != RootLinks)
        return Fail("the generator made " + std::to_string(outbounds.linkList.links.size()) +
                    " links");
    outbounds.linkListFiles = CountEntriesBelow(outbounds.linkList.directory);

    bsodemo::LargeOutboundShape one = OneLinkShape(FlowFileEntries);
    if (!bsodemo::BuildLargeOutbound(outbounds.directory + "/one", one, outbounds.oneLink, error))
        return Fail("building the outbound of one link: " + error);
    outbounds.oneLinkAddress = outbounds.oneLink.links.at(0).address;
    outbounds.oneLinkFlowFile = OnlyFlowFile(outbounds.oneLink.outbound);
    if (outbounds.oneLinkFlowFile.empty()) return Fail("the one link has no flow file");

    // The backlog cases: the same shape of links, each flow file naming files of its own.
    outbounds.backlogKey = registryRoot + "\\Backlog";
    bsodemo::LargeOutboundShape backlog = links;
    backlog.filesPerLink = 0;
    if (!bsodemo::BuildLargeOutbound(outbounds.directory + "/backlog", backlog, outbounds.backlog,
                                     error) ||
        !AddBacklog(outbounds.backlog, BacklogNamedPerLink, outbounds.backlogFlowFiles, error) ||
        !WriteSettings(outbounds.backlogKey, outbounds.backlog.outboundWin32,
                       outbounds.backlog.ownAddress, false, error))
        return Fail("building the backlog outbound: " + error);

    return WriteSettings(outbounds.linkListKey, outbounds.linkList.outboundWin32,
                         outbounds.linkList.ownAddress, true, error) &&
                   WriteSettings(outbounds.oneLinkKey, outbounds.oneLink.outboundWin32,
                                 outbounds.oneLink.ownAddress, false, error)
               ? true
               : Fail(error);
}

// ---- Peak memory ------------------------------------------------------------------------------

// The resident peak of this process so far (VmHWM, KiB): the high-water mark of its own
// memory map, which a process started by exec begins afresh.
long ResidentPeakKiB() {
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long peak = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
    std::fclose(status);
    return peak;
}

// A child process of this program: loads the module and opens a panel on the link list, notes
// its resident peak, lists once and notes it again, with nothing else of the benchmark in
// memory. Writes "<opened> <listed>" (KiB) to the file.
int PeakChild(const char *rootKey, const char *resultFile) {
    DirectPlugin plugin;
    std::string error;
    if (!plugin.Load(standin::BuiltPluginModule(), error)) return Fail(error), 1;
    plugin.Start(rootKey);
    HANDLE panel = plugin.Open();
    long opened = ResidentPeakKiB();
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!plugin.List(panel, &items, &count) || count != RootLinks) return 1;
    plugin.Free(panel, items, count);
    long listed = ResidentPeakKiB();
    plugin.Close(panel);
    std::FILE *result = std::fopen(resultFile, "w");
    if (!result) return 1;
    std::fprintf(result, "%ld %ld\n", opened, listed);
    return std::fclose(result) == 0 ? 0 : 1;
}

struct PeakMemory {
    size_t heapPeakBytes = 0;
    long openedKiB = -1, listedKiB = -1;
};

void MeasureResidentPeak(const Outbounds &outbounds, PeakMemory &peak) {
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string resultFile = outbounds.directory + "/peak.txt";
    std::vector<std::string> args = {self, "--peak-child", outbounds.linkListKey, resultFile};
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return;
    if (std::FILE *result = std::fopen(resultFile.c_str(), "r")) {
        if (std::fscanf(result, "%ld %ld", &peak.openedKiB, &peak.listedKiB) != 2)
            peak.openedKiB = peak.listedKiB = -1;
        std::fclose(result);
    }
}

PeakMemory MeasurePeakMemory(Outbounds &outbounds) {
    PeakMemory peak;
    ThePlugin->Start(outbounds.linkListKey);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    PluginPanelItem *items = nullptr;
    int count = 0;
    StartTrackingBytes();
    if (ThePlugin->List(panel, &items, &count)) ThePlugin->Free(panel, items, count);
    peak.heapPeakBytes = CurrentHeapCounts().peakBytes;
    StopTrackingBytes();
    ThePlugin->Close(panel);
    MeasureResidentPeak(outbounds, peak);
    // A line of the table too, so that its goal is counted with the others'.
    const double perLink = static_cast<double>(peak.heapPeakBytes) / RootLinks;
    CaseFigures &figures = Figures()["root listing heap peak"];
    char text[96];
    std::snprintf(text, sizeof text, "%.0f KiB (%.0f bytes a link)",
                  static_cast<double>(peak.heapPeakBytes) / 1024, perLink);
    figures.plugin = text;
    figures.baseline = "-";
    figures.goal = "< 1 KiB a link";
    figures.holds = peak.heapPeakBytes > 0 && perLink < 1024;
    figures.through = "exports, counting malloc";
    return peak;
}

// ---- Profiling --------------------------------------------------------------------------------

// The plugin's part of a case, repeated on a panel that was listed once already: what a
// profiler collects (callgrind --toggle-collect=ProfiledRepeats), without the outbounds' set-up,
// the baselines or a first listing's reads.
__attribute__((noinline)) void ProfiledRepeats(const std::string &kind, HANDLE panel, int repeats,
                                               std::vector<PluginPanelItem> &rows) {
    for (int i = 0; i < repeats; ++i) {
        if (kind != "sort") {
            ListOnce(panel);
            continue;
        }
        // Pointers to the items, as the host sorts them.
        std::vector<const PluginPanelItem *> sorted;
        for (const PluginPanelItem &row : rows) sorted.push_back(&row);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const PluginPanelItem *a, const PluginPanelItem *b) {
                             return ThePlugin->Compare(panel, a, b, SM_NAME) < 0;
                         });
        benchmark::DoNotOptimize(sorted.data());
    }
}

int Profile(Outbounds &outbounds, const std::string &kind, int repeats) {
    const char *key = kind == "link"     ? outbounds.oneLinkKey.c_str()
                      : kind == "relist" ? outbounds.backlogKey.c_str()
                                         : outbounds.linkListKey.c_str();
    if (kind != "root" && kind != "link" && kind != "relist" && kind != "sort")
        return Fail("--profile takes root, link, relist or sort"), 2;
    ThePlugin->Start(key);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    std::vector<PluginPanelItem> rows;
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (ThePlugin->List(panel, &items, &count)) ThePlugin->Free(panel, items, count);
    if (kind == "link" && !ThePlugin->SetDirectory(panel, outbounds.oneLinkAddress.c_str()))
        return Fail("cannot enter the link"), 1;
    if (kind == "sort") {
        rows = LinkRows(panel);
    } else {
        std::printf("%s: %d rows on the first listing\n", kind.c_str(), ListOnce(panel));
    }
    ProfiledRepeats(kind, panel, repeats, rows);
    ThePlugin->Close(panel);
    return 0;
}

// ---- The table ----------------------------------------------------------------------------------

void PrintTable(const PeakMemory &peak) {
    std::printf("\nbsopanel benchmarks: the plugin beside the file system's own cost\n\n");
    std::printf(
        "| Case | Plugin | Baseline (same run) | Ratio | Goal | Holds | Called through |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    int missed = 0, notRun = 0;
    for (int i = 0; i < CaseCount; ++i) {
        auto found = Figures().find(CaseOrder[i]);
        if (found == Figures().end()) {
            std::printf("| %s | not run | | | | | |\n", CaseOrder[i]);
            ++notRun;
            continue;
        }
        const CaseFigures &f = found->second;
        char ratio[32] = "-";
        if (f.ratio >= 0) std::snprintf(ratio, sizeof ratio, "%.2fx", f.ratio);
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", CaseOrder[i], f.plugin.c_str(),
                    f.baseline.c_str(), ratio, f.goal.c_str(), f.holds ? "yes" : "NO",
                    f.through.c_str());
        if (!f.holds) ++missed;
    }
    std::printf("\nPeak memory of the root listing (%d links): heap peak inside GetFindData to "
                "FreeFindData %.0f KiB;\n",
                RootLinks, static_cast<double>(peak.heapPeakBytes) / 1024);
    std::printf("resident peak (VmHWM) of a process that loads the module: %ld KiB with the "
                "panel open, %ld KiB after one listing (+%ld KiB).\n",
                peak.openedKiB, peak.listedKiB,
                peak.listedKiB >= 0 && peak.openedKiB >= 0 ? peak.listedKiB - peak.openedKiB : -1);
    if (missed)
        std::printf("%d of the goals are missed.\n", missed);
    else
        std::printf("%s\n", notRun ? "Every goal of the cases run holds." : "Every goal holds.");
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak-child") == 0) return PeakChild(argv[2], argv[3]);
    std::string profile;
    int repeats = 20;
    if (argc >= 3 && std::strcmp(argv[1], "--profile") == 0) {
        profile = argv[2];
        if (argc >= 4) repeats = std::atoi(argv[3]);
        argc = 1;
    }

    bool keep = false;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    char pattern[] = "/tmp/bsopanel-bench-XXXXXX";
    if (!mkdtemp(pattern)) return Fail("cannot make a temporary directory"), 1;
    Outbounds outbounds;
    outbounds.directory = pattern;
    int status = 1;
    {
        standin::TestRegistry registry(outbounds.directory);
        outbounds.registryFile = registry.File();
        std::printf("Building the outbounds in %s ...\n", outbounds.directory.c_str());
        std::fflush(stdout);
        DirectPlugin plugin;
        std::string error;
        if (BuildOutbounds(outbounds, registry.RootKey()) &&
            (plugin.Load(standin::BuiltPluginModule(), error) || Fail(error))) {
            std::printf("link list: %d links over %d zones, every %dth a point, %zu entries in "
                        "the tree; one link: a flow file of %d entries\n",
                        RootLinks, RootZones, RootPointEvery, outbounds.linkListFiles,
                        FlowFileEntries);
            TheOutbounds = &outbounds;
            ThePlugin = &plugin;
            if (!profile.empty()) {
                status = Profile(outbounds, profile, repeats);
            } else {
                benchmark::RunSpecifiedBenchmarks();
                RecordScalingLines();
                PeakMemory peak = MeasurePeakMemory(outbounds);
                PrintTable(peak);
                status = 0;
            }
            ThePlugin = nullptr;
            TheOutbounds = nullptr;
        }
        benchmark::Shutdown();
    }
    if (keep) {
        std::printf("kept: %s\n", outbounds.directory.c_str());
    } else {
        std::error_code ignored;
        fs::remove_all(outbounds.directory, ignored);
    }
    return status;
}
