// Counts the heap calls of the whole process, the loaded plugin module's included: the
// benchmark program defines malloc and its kin (exported, so the module binds to them) and
// hands each call on to the C library.
#ifndef BSOPANEL_BENCH_ALLOCATION_COUNTER_H
#define BSOPANEL_BENCH_ALLOCATION_COUNTER_H

#include <cstddef>
#include <cstdint>

namespace bench {

struct HeapCounts {
    uint64_t allocations = 0; // malloc, calloc, realloc and the aligned kinds
    uint64_t releases = 0;    // free of a non-null pointer
    size_t liveBytes = 0;     // only while byte tracking is on
    size_t peakBytes = 0;
};

HeapCounts CurrentHeapCounts();

// Byte tracking costs a malloc_usable_size per call, so it is on only while a memory figure is
// taken. The peak starts at the live bytes of the moment it is switched on.
void StartTrackingBytes();
void StopTrackingBytes();

} // namespace bench

#endif
