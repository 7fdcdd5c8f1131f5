// The cases of the table. Each iteration times the plugin and, right beside it, its baseline;
// the figures are the medians of those paired samples, so that a burst of other work on the
// machine hits both alike.
#include "allocation_counter.h"
#include "bench_cases.h"
#include "bench_outbound.h"
#include "host_core.h"
#include "scripted_frontend.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace bench {

Outbounds *TheOutbounds = nullptr;
DirectPlugin *ThePlugin = nullptr;

const char *const CaseOrder[] = {"root listing", "root listing heap peak", "root listing scaling",
                                 "link listing", "link listing scaling",   "sort",
                                 "idle",         "backlog listing",        "backlog re-listing"};
const int CaseCount = sizeof(CaseOrder) / sizeof(CaseOrder[0]);

std::map<std::string, CaseFigures> &Figures() {
    static std::map<std::string, CaseFigures> figures;
    return figures;
}

// The link rows of a listing as the host keeps them (copies, their numbers in UserData, the
// plugin's array given back at once); then mixed, as a host may hold them after other sorts.
std::vector<PluginPanelItem> LinkRows(HANDLE panel) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    std::vector<PluginPanelItem> rows;
    if (ThePlugin->List(panel, &items, &count)) {
        rows.assign(items, items + count);
        ThePlugin->Free(panel, items, count);
    }
    for (PluginPanelItem &row : rows) {
        row.CustomColumnData = nullptr;
        row.CustomColumnNumber = 0;
        row.Description = row.Owner = nullptr;
    }
    std::mt19937 random(2048);
    std::shuffle(rows.begin(), rows.end(), random);
    return rows;
}

namespace {

const char DirectCall[] = "exports, minimal host table";

std::string Format(const char *format, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

double ThreadCpuSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void RootListing(benchmark::State &state) {
    ThePlugin->Start(TheOutbounds->linkListKey);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    int listed = ListOnce(panel);
    if (listed != RootLinks) {
        state.SkipWithError(("the root listing gave " + std::to_string(listed) + " rows").c_str());
        ThePlugin->Close(panel);
        return;
    }
    std::vector<double> plugin, baseline;
    Enumerated seen = TimeListingsBesideEnumeration(state, panel, TheOutbounds->linkList.outbound,
                                                    plugin, baseline);
    ThePlugin->Close(panel);
    double ratio = Median(plugin) / Median(baseline);
    state.counters["baseline_ms"] = Median(baseline) * 1e3;
    state.counters["ratio"] = ratio;
    CaseFigures &figures = Figures()["root listing"];
    figures.plugin = Milliseconds(Median(plugin)) + " (" + std::to_string(RootLinks) + " rows)";
    figures.baseline = Milliseconds(Median(baseline)) + " (readdir+stat, " +
                       std::to_string(seen.entries) + " entries in " +
                       std::to_string(seen.directories) + " directories)";
    figures.ratio = ratio;
    figures.goal = "<= 1.1x";
    figures.holds = ratio <= 1.1;
    figures.through = DirectCall;
}

void LinkListing(benchmark::State &state) {
    ThePlugin->Start(TheOutbounds->oneLinkKey);
    ThePlugin->SetEarlierItems(nullptr, 0);
    HANDLE panel = ThePlugin->Open();
    ListOnce(panel); // the link's row, for SetDirectory to find
    std::vector<std::string> targets = FlowFileTargets(TheOutbounds->oneLinkFlowFile);
    int listed = -1;
    if (ThePlugin->SetDirectory(panel, TheOutbounds->oneLinkAddress.c_str()))
        listed = ListOnce(panel);
    int messages = ThePlugin->Questions();
    ListOnce(panel);
    // Every name exists: no question may come up, and every entry gives its row (beside the
    // rows of the link's other files).
    if (listed < FlowFileEntries || ThePlugin->Questions() != messages ||
        StatEach(targets) != targets.size() || targets.size() != FlowFileEntries) {
        state.SkipWithError(("the link listing gave " + std::to_string(listed) + " rows for " +
                             std::to_string(targets.size()) + " entries")
                                .c_str());
        ThePlugin->Close(panel);
        return;
    }
    std::vector<double> plugin, baseline;
    TimeListingsBesideStat(state, panel, targets, plugin, baseline);
    ThePlugin->Close(panel);
    double ratio = Median(plugin) / Median(baseline);
    state.counters["baseline_ms"] = Median(baseline) * 1e3;
    state.counters["ratio"] = ratio;
    CaseFigures &figures = Figures()["link listing"];
    figures.plugin = Milliseconds(Median(plugin)) + " (" + std::to_string(FlowFileEntries) +
                     " entries looked up, a row each)";
    figures.baseline = Milliseconds(Median(baseline)) + " (stat of the " +
                       std::to_string(targets.size()) + " files)";
    figures.ratio = ratio;
    figures.goal = "<= 1.1x";
    figures.holds = ratio <= 1.1;
    figures.through = DirectCall;
}

void SortLinks(benchmark::State &state) {
    ThePlugin->Start(TheOutbounds->linkListKey);
    HANDLE panel = ThePlugin->Open();
    const std::vector<PluginPanelItem> rows = LinkRows(panel);
    std::vector<const PluginPanelItem *> mixed, sorted;
    for (const PluginPanelItem &row : rows) mixed.push_back(&row);
    long comparisons = 0;
    std::vector<double> samples, cpuSamples;
    for (auto _ : state) {
        sorted = mixed;
        comparisons = 0;
        double cpuStart = ThreadCpuSeconds();
        Clock::time_point start = Clock::now();
        // As the host sorts: a stable merge sort of pointers to its items (equal keys keep the
        // listing order), Compare called on the items they point at.
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const PluginPanelItem *a, const PluginPanelItem *b) {
                             ++comparisons;
                             return ThePlugin->Compare(panel, a, b, SM_NAME) < 0;
                         });
        Clock::time_point end = Clock::now();
        cpuSamples.push_back(ThreadCpuSeconds() - cpuStart);
        samples.push_back(Seconds(start, end));
        state.SetIterationTime(samples.back());
    }
    bool ordered = std::is_sorted(sorted.begin(), sorted.end(),
                                  [&](const PluginPanelItem *a, const PluginPanelItem *b) {
                                      return ThePlugin->Compare(panel, a, b, SM_NAME) < 0;
                                  });
    ThePlugin->Close(panel);
    double median = Median(samples), cpu = Median(cpuSamples);
    state.counters["comparisons"] = static_cast<double>(comparisons);
    state.counters["ns_per_comparison"] = median * 1e9 / static_cast<double>(comparisons);
    CaseFigures &figures = Figures()["sort"];
    figures.plugin =
        Milliseconds(median) + Format(" (%.0f comparisons, %.0f ns each; CPU %.2f ms)",
                                      static_cast<double>(comparisons),
                                      median * 1e9 / static_cast<double>(comparisons), cpu * 1e3);
    figures.baseline = "-";
    figures.goal = "< 0.5 ms";
    figures.holds = median < 0.0005 && ordered;
    if (!ordered) figures.plugin += ", NOT ORDERED";
    figures.through = DirectCall;
}

// The stand-in host's front end for the idle case: nothing to show, nothing to answer.
class SilentFrontEnd : public standin::FrontEnd {
public:
    int Dialog(const standin::DialogRequest &) override { return -1; }
    int Message(const standin::MessageRequest &) override { return -1; }
    int Editor(const standin::EditorRequest &) override { return 0; }
};

double CpuSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void IdleEvent(benchmark::State &state) {
    SilentFrontEnd front;
    standin::HostOptions options;
    options.rootKey = TheOutbounds->linkListKey;
    options.registryFile = TheOutbounds->registryFile;
    options.leftDirectory = options.rightDirectory = standin::Win32Path(TheOutbounds->directory);
    // The host sends FE_IDLE only more than 2 s after the panel's last listing: its clock is
    // moved past that before each event instead of waiting.
    options.manualClock = true;
    standin::Host host(front, options);
    if (!host.LoadPlugin(standin::BuiltPluginModule()) || !host.OpenPanel(OPEN_DISKMENU)) {
        state.SkipWithError(
            ("the stand-in host could not open the panel: " + host.LastError()).c_str());
        return;
    }
    standin::Panel &panel = host.Left();
    uint64_t allocations = 0;
    int listings = 0;
    double cpu = 0, wall = 0, held = 0, longest = 0;
    int events = 0;
    for (auto _ : state) {
        host.AdvanceClock(2000);
        host.ClearEventHolds();
        int updates = panel.UpdateCount();
        HeapCounts before = CurrentHeapCounts();
        double cpuBefore = CpuSeconds();
        Clock::time_point start = Clock::now();
        host.Idle(1);
        Clock::time_point end = Clock::now();
        double cpuAfter = CpuSeconds();
        allocations += CurrentHeapCounts().allocations - before.allocations;
        listings += panel.UpdateCount() - updates;
        cpu += cpuAfter - cpuBefore;
        wall += Seconds(start, end);
        // The time ProcessEvent itself held the host's thread, where keys wait meanwhile.
        for (double microseconds : host.EventHolds()) {
            held += microseconds;
            longest = std::max(longest, microseconds);
        }
        events += static_cast<int>(host.EventHolds().size());
        state.SetIterationTime(Seconds(start, end));
    }
    // The counter's own check: a change in the outbound does lead to one listing.
    std::string probe = TheOutbounds->linkList.outbound + "/bench-probe.tmp";
    std::ofstream(probe) << "x";
    int updates = panel.UpdateCount();
    host.AdvanceClock(2000);
    host.Idle(1);
    int afterChange = panel.UpdateCount() - updates;
    std::filesystem::remove(probe);
    host.AdvanceClock(2000);
    host.Idle(1); // takes the removal in
    host.ClosePanel();

    if (events == 0) {
        state.SkipWithError("the host sent no idle event");
        return;
    }
    double heldMs = held / 1e3 / events;
    state.counters["held_ms_per_event"] = heldMs;
    state.counters["allocations_per_event"] = static_cast<double>(allocations) / events;
    state.counters["listings_per_event"] = static_cast<double>(listings) / events;
    CaseFigures &figures = Figures()["idle"];
    figures.plugin = Format("%.0f listings, %.0f allocations in %.0f events", listings,
                            static_cast<double>(allocations), events) +
                     Format(", the host held %.3f ms (longest %.3f ms), %.3f ms CPU each", heldMs,
                            longest / 1e3, cpu * 1e3 / events);
    figures.baseline = Format("a change made: %.0f listing on the next event", afterChange);
    figures.goal = "held < 1 ms, no rescan, no allocation";
    figures.holds = heldMs < 1.0 && listings == 0 && allocations == 0 && afterChange == 1;
    figures.through = "stand-in host (Host::Idle)";
}

} // namespace

BENCHMARK(RootListing)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LinkListing)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SortLinks)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(IdleEvent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace bench
