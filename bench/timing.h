// Timing of the benchmarks: seconds on the steady clock and the median of the samples, the same
// for the plugin and its baseline.
#ifndef BSOPANEL_BENCH_TIMING_H
#define BSOPANEL_BENCH_TIMING_H

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

inline double SecondsSince(Clock::time_point from) {
    return Seconds(from, Clock::now());
}

inline double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

} // namespace bench

#endif
