// Costs that grow only with the work: the root listing at 200, 2,000 and 20,000 links and the
// link listing at 1,000, 10,000 and 100,000 named files, each beside its baseline. The line of
// the table is the cost per link (per file) at each size, and the file system's beside it. The
// file system's own cost per item is not the same at every size (a small tree stays in the
// processor's caches: 200 links cost it about 0.7 times what 2,000 do), so the goal is that
// the plugin's cost per item, as a multiple of the file system's at the same size, is at most
// 1.2 times as large at one size as at another: the plugin's costs grow only with the work. The
// outbounds of the middle sizes are the other cases' own; the others are built once per run, when a
// case first needs them.
#include "bench_cases.h"
#include "bench_outbound.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {
namespace {

const double ScalingGoal = 1.2;

struct Built {
    std::string key;     // settings root
    std::string native;  // the outbound (root sizes) or the flow file (link sizes)
    std::string address; // link sizes: the link's row name
    double buildSeconds = 0;
    bool ok = false;
};

// One size's figures: the plugin's and the baseline's median, and the items listed.
struct SizeFigures {
    double plugin = 0, baseline = 0;
    int items = 0;
};

std::map<int, SizeFigures> &RootSizes() {
    static std::map<int, SizeFigures> sizes;
    return sizes;
}

std::map<int, SizeFigures> &LinkSizes() {
    static std::map<int, SizeFigures> sizes;
    return sizes;
}

// The root listing's outbound of `links` links, shaped as the root listing case's.
const Built &RootOutbound(int links) {
    static std::map<int, Built> built;
    auto found = built.find(links);
    if (found != built.end()) return found->second;
    Built &made = built[links];
    if (links == RootLinks) {
        made.key = TheOutbounds->linkListKey;
        made.native = TheOutbounds->linkList.outbound;
        made.ok = true;
        return made;
    }
    Clock::time_point start = Clock::now();
    std::string name = "root" + std::to_string(links), error;
    bsodemo::LargeOutboundShape shape = RootShape(links);
    bsodemo::DemoOutbound demo;
    made.key = TheOutbounds->registryRoot + "\\" + name;
    made.ok =
        bsodemo::BuildLargeOutbound(TheOutbounds->directory + "/" + name, shape, demo, error) &&
        TopUpLinkFiles(demo, error) &&
        WriteSettings(made.key, demo.outboundWin32, demo.ownAddress, true, error);
    if (!made.ok)
        std::fprintf(stderr, "bsopanel_bench: building %s: %s\n", name.c_str(), error.c_str());
    made.native = demo.outbound;
    made.buildSeconds = SecondsSince(start);
    return made;
}

// The outbound of one link whose flow file names `files` files, shaped as the link listing's.
const Built &LinkOutbound(int files) {
    static std::map<int, Built> built;
    auto found = built.find(files);
    if (found != built.end()) return found->second;
    Built &made = built[files];
    if (files == FlowFileEntries) {
        made.key = TheOutbounds->oneLinkKey;
        made.native = TheOutbounds->oneLinkFlowFile;
        made.address = TheOutbounds->oneLinkAddress;
        made.ok = true;
        return made;
    }
    Clock::time_point start = Clock::now();
    std::string name = "link" + std::to_string(files), error;
    bsodemo::LargeOutboundShape shape = OneLinkShape(files);
    bsodemo::DemoOutbound demo;
    made.key = TheOutbounds->registryRoot + "\\" + name;
    made.ok =
        bsodemo::BuildLargeOutbound(TheOutbounds->directory + "/" + name, shape, demo, error) &&
        WriteSettings(made.key, demo.outboundWin32, demo.ownAddress, false, error);
    if (made.ok) {
        made.address = demo.links.at(0).address;
        made.native = OnlyFlowFile(demo.outbound);
        made.ok = !made.native.empty();
    }
    if (!made.ok)
        std::fprintf(stderr, "bsopanel_bench: building %s: %s\n", name.c_str(), error.c_str());
    made.buildSeconds = SecondsSince(start);
    return made;
}

void RootListingScaling(benchmark::State &state) {
    const int links = static_cast<int>(state.range(0));
    const Built &outbound = RootOutbound(links);
    if (!outbound.ok) return state.SkipWithError("the outbound could not be built");
    ThePlugin->Start(outbound.key);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    int listed = ListOnce(panel);
    if (listed != links) {
        ThePlugin->Close(panel);
        return state.SkipWithError(
            ("the listing gave " + std::to_string(listed) + " rows").c_str());
    }
    std::vector<double> plugin, baseline;
    TimeListingsBesideEnumeration(state, panel, outbound.native, plugin, baseline);
    ThePlugin->Close(panel);
    RootSizes()[links] = {Median(plugin), Median(baseline), links};
    state.counters["us_per_link"] = Median(plugin) * 1e6 / links;
    state.counters["build_s"] = outbound.buildSeconds;
}

void LinkListingScaling(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    const Built &outbound = LinkOutbound(files);
    if (!outbound.ok) return state.SkipWithError("the outbound could not be built");
    ThePlugin->Start(outbound.key);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    ListOnce(panel);
    std::vector<std::string> targets = FlowFileTargets(outbound.native);
    int listed = ThePlugin->SetDirectory(panel, outbound.address.c_str()) ? ListOnce(panel) : -1;
    if (listed < files || StatEach(targets) != static_cast<size_t>(files)) {
        ThePlugin->Close(panel);
        return state.SkipWithError(
            ("the link listing gave " + std::to_string(listed) + " rows").c_str());
    }
    std::vector<double> plugin, baseline;
    TimeListingsBesideStat(state, panel, targets, plugin, baseline);
    ThePlugin->Close(panel);
    LinkSizes()[files] = {Median(plugin), Median(baseline), files};
    state.counters["us_per_file"] = Median(plugin) * 1e6 / files;
    state.counters["build_s"] = outbound.buildSeconds;
}

// The table's line: each size's cost per item (and the baseline's beside it, with the plugin's
// multiple of it), the ratio of the largest of those multiples to the smallest.
void RecordScaling(const char *line, const std::map<int, SizeFigures> &sizes, const char *item,
                   const char *baselineWork) {
    if (sizes.empty()) return;
    std::string plugin, baseline;
    double least = 0, most = 0;
    for (const auto &[count, size] : sizes) {
        double perItem = size.plugin * 1e6 / count;
        char text[96];
        std::snprintf(text, sizeof text, "%s%d: %.2f us a %s", plugin.empty() ? "" : "; ", count,
                      perItem, item);
        plugin += text;
        std::snprintf(text, sizeof text, "%s%.2f us (%.2fx)", baseline.empty() ? "" : "; ",
                      size.baseline * 1e6 / count, size.plugin / size.baseline);
        baseline += text;
        double multiple = size.plugin / size.baseline;
        least = least == 0 ? multiple : std::min(least, multiple);
        most = std::max(most, multiple);
    }
    CaseFigures &figures = Figures()[line];
    figures.plugin = plugin;
    figures.baseline = baseline + " a " + item + " (" + baselineWork + ")";
    figures.ratio = most / least;
    char goal[96];
    std::snprintf(goal, sizeof goal,
                  "cost a %s over the file system's: largest <= %.1fx the smallest", item,
                  ScalingGoal);
    figures.goal = goal;
    figures.holds = sizes.size() == 3 && figures.ratio <= ScalingGoal;
    if (sizes.size() != 3) figures.plugin += " (not every size ran)";
    figures.through = "exports, minimal host table";
}

} // namespace

void RecordScalingLines() {
    RecordScaling("root listing scaling", RootSizes(), "link", "readdir+stat");
    RecordScaling("link listing scaling", LinkSizes(), "file", "stat of each");
}

BENCHMARK(RootListingScaling)
    ->Arg(RootLinks / 10)
    ->Arg(RootLinks)
    ->Arg(RootLinks * 10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(LinkListingScaling)
    ->Arg(FlowFileEntries / 10)
    ->Arg(FlowFileEntries)
    ->Arg(FlowFileEntries * 10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace bench
