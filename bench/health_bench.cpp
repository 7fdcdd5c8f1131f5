// The health check of 2,000 links whose flow files name 20,000 files, against a baseline of the
// reads it cannot avoid: the outbound enumerated with a stat of each entry, every flow file
// read, every named file stat-ed.
#include "scan/health_check.h"

#include "bench_outbound.h"
#include "command_cases.h"
#include "timing.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
const int Links = 2000;
const int NamedPerLink = 10;

struct Tree {
    fs::path root;
    bsodemo::DemoOutbound demo;
    std::vector<std::string> flowFiles; // native paths
    bool ok = false;
    Tree() {
        root = fs::temp_directory_path() / ("bsopanel-health-bench-" + std::to_string(getpid()));
        bsodemo::LargeOutboundShape shape;
        shape.links = Links;
        shape.zones = 3;
        shape.pointEvery = 5;
        shape.filesPerLink = 0;
        std::string error;
        ok = bsodemo::BuildLargeOutbound(root.string(), shape, demo, error) &&
             bench::AddBacklog(demo, NamedPerLink, flowFiles, error);
        if (!ok) std::fprintf(stderr, "bsopanel_command_bench: %s\n", error.c_str());
    }
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

size_t ReadAndStat(const Tree &tree) {
    size_t named = bench::EnumerateOutbound(tree.demo.outbound).entries;
    for (const std::string &flow : tree.flowFiles)
        named += bench::StatEach(bench::FlowFileTargets(flow));
    return named;
}

void HealthCheck(benchmark::State &state) {
    static Tree tree; // built once per run
    FtnAddress own = {};
    if (!tree.ok || !ParseAddress(&own, tree.demo.ownAddress.c_str(), nullptr))
        return state.SkipWithError("the outbound could not be built");
    const unsigned long long now =
        (static_cast<unsigned long long>(std::time(nullptr)) + 11644473600ull) * 10000000ull;
    std::vector<double> plugin, baseline;
    int findings = 0;
    for (auto _ : state) {
        auto start = bench::Clock::now();
        benchmark::DoNotOptimize(ReadAndStat(tree));
        baseline.push_back(bench::SecondsSince(start));
        start = bench::Clock::now();
        HealthReport report = {};
        int done = CheckOutboundHealth(tree.demo.outboundWin32.c_str(), &own, 7, now, &report);
        plugin.push_back(bench::SecondsSince(start));
        state.SetIterationTime(plugin.back());
        findings = report.Count;
        FreeHealthReport(&report);
        if (!done) return state.SkipWithError("the check ran out of memory");
    }
    state.counters["findings"] = findings;
    const std::string links = std::to_string(Links), named = std::to_string(Links * NamedPerLink);
    bench::RecordCommand("health check", plugin, baseline,
                         links + " links naming " + named + " files, " + std::to_string(findings) +
                             " findings",
                         "readdir+stat of the outbound, " + std::to_string(tree.flowFiles.size()) +
                             " flow files read, " + named + " files stat-ed");
}

} // namespace

BENCHMARK(HealthCheck)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
