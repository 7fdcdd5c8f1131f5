#include "allocation_counter.h"

#include <malloc.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

// One thread allocates while a figure is taken; plain counters keep the hook cheap.
bench::HeapCounts counts;
bool trackingBytes = false;

void *Counted(void *pointer) {
    if (!pointer) return pointer;
    ++counts.allocations;
    if (trackingBytes) {
        counts.liveBytes += malloc_usable_size(pointer);
        if (counts.liveBytes > counts.peakBytes) counts.peakBytes = counts.liveBytes;
    }
    return pointer;
}

void Released(void *pointer) {
    if (!pointer) return;
    ++counts.releases;
    if (trackingBytes) {
        size_t size = malloc_usable_size(pointer);
        counts.liveBytes = size > counts.liveBytes ? 0 : counts.liveBytes - size;
    }
}

} // namespace

namespace bench {

HeapCounts CurrentHeapCounts() {
    return counts;
}

void StartTrackingBytes() {
    counts.liveBytes = 0;
    counts.peakBytes = 0;
    trackingBytes = true;
}

void StopTrackingBytes() {
    trackingBytes = false;
}

} // namespace bench

extern "C" {

void *malloc(size_t size) {
    return Counted(__libc_malloc(size));
}

void *calloc(size_t count, size_t size) {
    return Counted(__libc_calloc(count, size));
}

void *realloc(void *pointer, size_t size) {
    size_t before = pointer && trackingBytes ? malloc_usable_size(pointer) : 0;
    void *moved = __libc_realloc(pointer, size);
    if (!moved && size) return moved; // failed: the block stays where it was
    if (pointer) {
        ++counts.releases;
        counts.liveBytes = before > counts.liveBytes ? 0 : counts.liveBytes - before;
    }
    return Counted(moved);
}

void free(void *pointer) {
    Released(pointer);
    __libc_free(pointer);
}

void *memalign(size_t alignment, size_t size) {
    return Counted(__libc_memalign(alignment, size));
}

void *aligned_alloc(size_t alignment, size_t size) {
    return Counted(__libc_memalign(alignment, size));
}

int posix_memalign(void **result, size_t alignment, size_t size) {
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0) return 22; // EINVAL
    void *pointer = Counted(__libc_memalign(alignment, size));
    if (!pointer) return 12; // ENOMEM
    *result = pointer;
    return 0;
}
}
