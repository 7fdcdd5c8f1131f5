// The backlog at the root: 2,000 links whose flow files name 20,000 files of their own. A
// first listing reads every flow file and looks up every named file, against a baseline that
// enumerates the outbound, reads each flow file and stats each named file; a re-listing with
// nothing changed, against a plain enumeration of the outbound.
#include "bench_cases.h"
#include "bench_outbound.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace bench {
namespace {

// The file system's part of a first listing: the outbound enumerated, every flow file read
// whole, every file it names stat-ed. Returns the named files that exist.
size_t ReadAndStatBacklog() {
    EnumerateOutbound(TheOutbounds->backlog.outbound);
    size_t named = 0;
    for (const std::string &flow : TheOutbounds->backlogFlowFiles)
        named += StatEach(FlowFileTargets(flow));
    return named;
}

void Record(const char *name, const std::vector<double> &plugin,
            const std::vector<double> &baseline, const std::string &baselineText, double goal,
            benchmark::State &state) {
    double ratio = Median(plugin) / Median(baseline);
    state.counters["baseline_ms"] = Median(baseline) * 1e3;
    state.counters["ratio"] = ratio;
    CaseFigures &figures = Figures()[name];
    figures.plugin = Milliseconds(Median(plugin)) + " (" + std::to_string(RootLinks) + " rows)";
    figures.baseline = Milliseconds(Median(baseline)) + " (" + baselineText + ")";
    figures.ratio = ratio;
    char text[16];
    std::snprintf(text, sizeof text, "<= %.1fx", goal);
    figures.goal = text;
    figures.holds = ratio <= goal;
    figures.through = "exports, minimal host table";
}

// Each iteration lists on a panel opened afresh (outside the timing), so that no flow file is
// known yet.
void BacklogListing(benchmark::State &state) {
    ThePlugin->Start(TheOutbounds->backlogKey);
    ThePlugin->SetEarlierItems(nullptr, 0);
    size_t named = ReadAndStatBacklog();
    if (named != static_cast<size_t>(RootLinks * BacklogNamedPerLink)) {
        state.SkipWithError(
            ("the backlog outbound names " + std::to_string(named) + " files").c_str());
        return;
    }
    std::vector<double> plugin, baseline;
    for (auto _ : state) {
        HANDLE panel = ThePlugin->Open();
        Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(ReadAndStatBacklog());
        Clock::time_point middle = Clock::now();
        int listed = ListOnce(panel);
        Clock::time_point end = Clock::now();
        ThePlugin->Close(panel);
        if (listed != RootLinks) {
            state.SkipWithError(("the listing gave " + std::to_string(listed) + " rows").c_str());
            return;
        }
        baseline.push_back(Seconds(start, middle));
        plugin.push_back(Seconds(middle, end));
        state.SetIterationTime(plugin.back());
    }
    Record("backlog listing", plugin, baseline,
           "readdir+stat, " + std::to_string(TheOutbounds->backlogFlowFiles.size()) +
               " flow files read, " + std::to_string(named) + " named files stat-ed",
           1.1, state);
}

// The same panel listed again and again with nothing changed.
void BacklogRelisting(benchmark::State &state) {
    ThePlugin->Start(TheOutbounds->backlogKey);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    if (ListOnce(panel) != RootLinks) {
        state.SkipWithError("the first backlog listing failed");
        ThePlugin->Close(panel);
        return;
    }
    std::vector<double> plugin, baseline;
    Enumerated seen = TimeListingsBesideEnumeration(state, panel, TheOutbounds->backlog.outbound,
                                                    plugin, baseline);
    ThePlugin->Close(panel);
    Record("backlog re-listing", plugin, baseline,
           "readdir+stat, " + std::to_string(seen.entries) + " entries", 1.1, state);
}

} // namespace

BENCHMARK(BacklogListing)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BacklogRelisting)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace bench
