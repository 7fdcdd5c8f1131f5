// The nodelist: a list of 30,000 nodes read once, and a root listing's share when the list is
// unchanged (the look whether it changed, then one look-up per link row). Called straight: the
// index is the same one the listing uses.
#include "scan/nodelist.h"

#include "timing.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
const int Nodes = 30000;
const int LinkRows = 2000;
const double ReadGoalSeconds = 0.2;

// Zones of nets of hubs and nodes, every keyword among them, as a published list is laid out.
struct ListFile {
    fs::path root;
    std::vector<FtnAddress> addresses;
    ListFile() {
        root = fs::temp_directory_path() / ("bsopanel-nodelist-bench-" + std::to_string(getpid()));
        fs::create_directories(root);
        std::ofstream out(root / "nodelist.338", std::ios::binary);
        out << ";A FidoNet Nodelist for the benchmark -- Day number 338\r\n;\r\n";
        const char *keywords[] = {"", "", "", "Pvt", "", "Hold", "", "Down", "", ""};
        int written = 0;
        for (unsigned zone = 1; written < Nodes; ++zone) {
            out << "Zone," << zone << ",Zone_" << zone
                << ",Earth,Coordinator,-Unpublished-,300,CM\r\n";
            for (unsigned net = 100; net < 400 && written < Nodes; ++net) {
                out << "Host," << net << ",Net_" << net << ",Some_City,Net_Coordinator,"
                    << "7-000-000-0000,33600,CM,IBN\r\n";
                for (unsigned node = 1; node <= 50 && written < Nodes; ++node, ++written) {
                    const char *keyword = node % 25 == 1 ? "Hub" : keywords[node % 10];
                    out << keyword << ',' << node << ",System_" << zone << '_' << net << '_' << node
                        << ",City_" << net << ",Sysop_Name_" << node
                        << ",7-000-000-0000,33600,CM,XA,IBN:binkp.example.net,INA\r\n";
                    addresses.push_back({zone, net, node, 0});
                }
            }
        }
    }
    ~ListFile() { fs::remove_all(root); }
    std::string Base() const {
        std::string text = "Z:" + (root / "nodelist").string();
        for (char &c : text)
            if (c == '/') c = '\\';
        return text;
    }
};

using bench::Median;

ListFile *File;
std::vector<double> reads, listings;

void NodelistRead(benchmark::State &state) {
    for (auto _ : state) {
        Nodelist list = {};
        auto start = std::chrono::steady_clock::now();
        bool read = ReadNodelist(&list, File->Base().c_str(), "");
        reads.push_back(bench::SecondsSince(start));
        state.SetIterationTime(reads.back());
        int count = list.Count;
        FreeNodelist(&list);
        if (!read || count < Nodes) { // with the Zone and Host lines: their coordinators
            state.SkipWithError(("read " + std::to_string(count) + " nodes").c_str());
            return;
        }
    }
}

// Link rows spread over the list, every tenth one not in it.
void UnchangedListing(benchmark::State &state) {
    Nodelist list = {};
    ReadNodelist(&list, File->Base().c_str(), "");
    std::vector<FtnAddress> rows;
    for (int i = 0; i < LinkRows; ++i) {
        FtnAddress address = File->addresses[static_cast<size_t>(i) * 13 % File->addresses.size()];
        if (i % 10 == 0) address.node += 1000;
        rows.push_back(address);
    }
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        RefreshNodelist(&list, File->Base().c_str(), "");
        int judged = 0;
        for (const FtnAddress &row : rows) {
            const NodelistNode *node;
            judged += JudgeNode(&list, &row, &node) != NodeUnlisted;
        }
        listings.push_back(bench::SecondsSince(start));
        state.SetIterationTime(listings.back());
        benchmark::DoNotOptimize(judged);
    }
    FreeNodelist(&list);
}

} // namespace

BENCHMARK(NodelistRead)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(UnchangedListing)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

int main(int argc, char **argv) {
    ListFile file;
    File = &file;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (reads.empty() || listings.empty()) return 1;
    double read = Median(reads), listing = Median(listings);
    std::printf("\n| Case | Plugin | Goal | Holds |\n|---|---|---|---|\n");
    std::printf("| nodelist read | %.1f ms (%d nodes, %.1f MB) | < %.0f ms | %s |\n", read * 1e3,
                Nodes, static_cast<double>(fs::file_size(file.root / "nodelist.338")) / 1e6,
                ReadGoalSeconds * 1e3, read < ReadGoalSeconds ? "yes" : "NO");
    std::printf("| unchanged nodelist, %d link rows | %.3f ms (%.0f ns a row) | far below a read | "
                "%s |\n",
                LinkRows, listing * 1e3, listing * 1e9 / LinkRows,
                listing < read / 10 ? "yes" : "NO");
    return read < ReadGoalSeconds ? 0 : 1;
}
