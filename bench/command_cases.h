// The commands' previews called straight (the queue clear's plan, the health check): no module
// is loaded, the previews stand behind the commands' dialogs. Each case leaves its line of the
// table that the program prints at the end.
#ifndef BSOPANEL_BENCH_COMMAND_CASES_H
#define BSOPANEL_BENCH_COMMAND_CASES_H

#include "timing.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// The goal of each preview: at most this many times the reads it cannot avoid.
const double CommandGoal = 1.5;

struct CommandLine {
    std::string plugin, baseline;
    double ratio = 0;
    bool holds = false;
};

// By case name; a case's last run (Google Benchmark's longest) writes the line.
std::map<std::string, CommandLine> &CommandLines();

// The case's line from its paired samples.
inline void RecordCommand(const char *name, const std::vector<double> &plugin,
                          const std::vector<double> &baseline, const std::string &work,
                          const std::string &baselineWork) {
    CommandLine line;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f ms", Median(plugin) * 1e3);
    line.plugin = text + (" (" + work + ")");
    std::snprintf(text, sizeof text, "%.2f ms", Median(baseline) * 1e3);
    line.baseline = text + (" (" + baselineWork + ")");
    line.ratio = Median(plugin) / Median(baseline);
    line.holds = line.ratio <= CommandGoal;
    CommandLines()[name] = line;
}

} // namespace bench

#endif
