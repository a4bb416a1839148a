#include "platform/StartupHeap.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
#if defined(__GLIBC__) && defined(__linux__)
constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;

std::uintptr_t alignUp(std::uintptr_t value, std::uintptr_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}
#endif
} // namespace

bool StartupHeap::prepare() {
#if defined(__GLIBC__) && defined(__linux__)
    // Every thread that allocates gets a heap of its own, up to eight for each core, and each
    // keeps up to the trim threshold below of what it freed: the workers that analysed or wrote
    // large pictures each held a picture's copies long after. A few heaps shared by all threads
    // hold what the work at once needs. Set before any thread starts: the allocator reads it once.
    mallopt(M_ARENA_MAX, maxHeaps);
    // Blocks up to this size come from the heap, which is given back only in large steps, so
    // that the memory stays where the kernel backs it with large pages.
    if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(largestHeapBlock)) != 1 ||
        mallopt(M_TOP_PAD, static_cast<int>(growthStep)) != 1 ||
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * growthStep)) != 1)
        return false;
    // Grows the heap now by a whole step, so the range asked for large pages below is the one
    // the next allocations come from.
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    void* block = std::malloc(hugePage);
    std::free(block);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t start = alignUp(before, hugePage);
    if (block == nullptr || after <= start + hugePage)
        return false;
    const std::uintptr_t end = after & ~(hugePage - 1);
    return madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0;
#else
    return false;
#endif
}
