// The queue clear's preview of one link with 1,000 "^" files, each with its .tic beside it in
// one folder (a file echo's pass-through): the plan reads the folder's .tic files once, against
// a baseline that only reads those .tic files and stats the queued files. Called straight, not
// through the module: the preview stands behind F8's dialogs.
#include "bso/queue_clear.h"

#include "timing.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
const int QueuedFiles = 1000;
const double GoalSeconds = 0.1;

struct Tree {
    fs::path root;
    std::vector<std::string> tics, files; // native paths
    Tree() {
        root = fs::temp_directory_path() / ("bsopanel-clear-bench-" + std::to_string(getpid()));
        fs::create_directories(root / "files");
        fs::create_directories(root / "out");
        std::ofstream flow(root / "out" / "006400c8.flo", std::ios::binary);
        for (int i = 0; i < QueuedFiles; ++i) {
            std::string name = "file" + std::to_string(i) + ".zip";
            files.push_back((root / "files" / name).string());
            std::ofstream(files.back(), std::ios::binary) << "bytes of " << name;
            tics.push_back((root / "files" / ("t" + std::to_string(i) + ".tic")).string());
            std::ofstream(tics.back(), std::ios::binary)
                << "Area FILEECHO\r\nFile " << name << "\r\nTo 2:100/200\r\nDesc x\r\n";
            flow << "^Z:" << files.back() << "\r\n";
        }
    }
    ~Tree() { fs::remove_all(root); }
    std::string Win(const fs::path &path) const {
        std::string text = "Z:" + path.string();
        for (char &c : text)
            if (c == '/') c = '\\';
        return text;
    }
};

using bench::Median;

std::vector<double> plugin, baseline;

void ClearPreview(benchmark::State &state) {
    Tree tree;
    const FtnAddress link = {2, 100, 200, 0};
    const ClearOptions options = {false, false};
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        size_t bytes = 0;
        for (const std::string &tic : tree.tics) {
            std::ifstream in(tic, std::ios::binary);
            bytes += std::string(std::istreambuf_iterator<char>(in), {}).size();
        }
        struct stat info;
        for (const std::string &file : tree.files) bytes += stat(file.c_str(), &info) == 0;
        benchmark::DoNotOptimize(bytes);
        baseline.push_back(bench::SecondsSince(start));
        start = std::chrono::steady_clock::now();
        ClearPlan plan = {};
        bool planned =
            PlanQueueClear(tree.Win(tree.root / "out" / "006400c8").c_str(), 0, &options, &plan) &&
            FinishQueueClearPlan(&plan, tree.Win(tree.root / "out").c_str(), &link, &link, 1);
        plugin.push_back(bench::SecondsSince(start));
        state.SetIterationTime(plugin.back());
        int tics = 0;
        for (int i = 0; i < plan.Count; ++i) tics += plan.Steps[i].Role == ClearTicFile;
        FreeClearPlan(&plan);
        if (!planned || tics != QueuedFiles) {
            state.SkipWithError(("the plan holds " + std::to_string(tics) + " .tic files").c_str());
            return;
        }
    }
    state.counters["baseline_ms"] = Median(baseline) * 1e3;
}

} // namespace

BENCHMARK(ClearPreview)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (plugin.empty()) return 1;
    double ratio = Median(plugin) / Median(baseline);
    std::printf("\n| Case | Plugin | Baseline (same run) | Ratio | Goal | Holds "
                "|\n|---|---|---|---|---|---|\n");
    std::printf(
        "| clear preview | %.2f ms (%d \"^\" files, %d .tic files) | %.2f ms (%d .tic files "
        "read, %d files stat-ed) | %.2fx | < %.0f ms | %s |\n",
        Median(plugin) * 1e3, QueuedFiles, QueuedFiles, Median(baseline) * 1e3, QueuedFiles,
        QueuedFiles, ratio, GoalSeconds * 1e3, Median(plugin) < GoalSeconds ? "yes" : "NO");
    return Median(plugin) < GoalSeconds ? 0 : 1;
}
