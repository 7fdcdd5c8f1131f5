// What the benchmark cases share: the outbounds built once per run, the loaded module, and
// the figures each case leaves for the table printed at the end.
#ifndef BSOPANEL_BENCH_BENCH_CASES_H
#define BSOPANEL_BENCH_BENCH_CASES_H

#include "bench_outbound.h"
#include "demo_outbound.h"
#include "direct_plugin.h"
#include "timing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// The shapes of the table.
const int RootLinks = 2000;
const int RootZones = 3;
const int RootPointEvery = 5;
const int RootFilesPerLink = 4;
const int EarlierItems = 2048;
const int FlowFileEntries = 10000;
const int BacklogNamedPerLink = 10; // 20,000 named files over the 2,000 links

// The root listing's outbound of `links` links: zones, points and four files a link.
inline bsodemo::LargeOutboundShape RootShape(int links) {
    bsodemo::LargeOutboundShape shape;
    shape.links = links;
    shape.zones = RootZones;
    shape.pointEvery = RootPointEvery;
    shape.filesPerLink = RootFilesPerLink;
    return shape;
}

// The outbound of one link whose flow file names `files` files, without a busy flag.
inline bsodemo::LargeOutboundShape OneLinkShape(int files) {
    bsodemo::LargeOutboundShape shape;
    shape.links = 1;
    shape.zones = 1;
    shape.pointEvery = 0;
    shape.filesPerLink = files;
    shape.busyEvery = 0;
    return shape;
}

struct Outbounds {
    std::string directory; // the temporary directory of the run
    std::string registryFile;
    std::string registryRoot; // the settings roots of the outbounds are below it
    std::string linkListKey;  // settings root for the link list outbound (AutoRefresh on)
    std::string oneLinkKey;   // settings root for the outbound of one link
    bsodemo::DemoOutbound linkList;
    bsodemo::DemoOutbound oneLink;
    std::string oneLinkAddress;  // the row name of that link
    std::string oneLinkFlowFile; // native path of its flow file
    size_t linkListFiles = 0;    // entries below the link list outbound's directory
    // 2,000 links whose flow files name files of their own (the backlog cases).
    std::string backlogKey;
    bsodemo::DemoOutbound backlog;
    std::vector<std::string> backlogFlowFiles; // native paths
};

// Built by main before the cases run.
extern Outbounds *TheOutbounds;
extern DirectPlugin *ThePlugin;

// One line of the table.
struct CaseFigures {
    std::string plugin;   // what the plugin took
    std::string baseline; // what the baseline took, and what it did
    double ratio = -1;    // plugin / baseline; negative: no ratio for this case
    std::string goal;
    bool holds = false;
    std::string through; // how the plugin was called
};

std::map<std::string, CaseFigures> &Figures();

inline std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    return text;
}

// One listing as the host makes it: GetFindData, then FreeFindData on what it gave.
inline int ListOnce(HANDLE panel) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!ThePlugin->List(panel, &items, &count)) return -1;
    ThePlugin->Free(panel, items, count);
    return count;
}

// Each iteration: the baseline's reads, then the panel listed again; the samples of both kept,
// the listing's the iteration's time. Returns what the last baseline gave.
template <typename Baseline>
auto TimeListingsBeside(benchmark::State &state, HANDLE panel, Baseline baselineReads,
                        std::vector<double> &plugin, std::vector<double> &baseline) {
    decltype(baselineReads()) seen{};
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        seen = baselineReads();
        benchmark::DoNotOptimize(seen);
        Clock::time_point middle = Clock::now();
        ListOnce(panel);
        Clock::time_point end = Clock::now();
        baseline.push_back(Seconds(start, middle));
        plugin.push_back(Seconds(middle, end));
        state.SetIterationTime(plugin.back());
    }
    return seen;
}

// The outbound enumerated beside each listing.
inline Enumerated TimeListingsBesideEnumeration(benchmark::State &state, HANDLE panel,
                                                const std::string &outboundNative,
                                                std::vector<double> &plugin,
                                                std::vector<double> &baseline) {
    return TimeListingsBeside(
        state, panel, [&] { return EnumerateOutbound(outboundNative); }, plugin, baseline);
}

// Every named file stat-ed beside each listing.
inline void TimeListingsBesideStat(benchmark::State &state, HANDLE panel,
                                   const std::vector<std::string> &targets,
                                   std::vector<double> &plugin, std::vector<double> &baseline) {
    TimeListingsBeside(
        state, panel, [&] { return StatEach(targets); }, plugin, baseline);
}

// The link rows of a listing as the host keeps them, mixed as after other sorts (the sort's
// case and its profile).
std::vector<PluginPanelItem> LinkRows(HANDLE panel);

// The scaling cases' lines of the table, from the sizes that ran.
void RecordScalingLines();

// The order of the table's lines.
extern const char *const CaseOrder[];
extern const int CaseCount;

} // namespace bench

#endif
