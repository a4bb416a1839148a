#pragma once

#include <cstddef>

// A start that opens hundreds of windows and reads thousands of items touches tens of megabytes
// of fresh memory at once: one window's backing store alone is 172 KiB. Taken a 4 KiB page at a
// time, every page costs the kernel a fault, which came to a third of a cold start's time.
// Prepared before the first allocation of note, the process heap grows in large steps that the
// kernel may back with 2 MiB pages, and large blocks come from that heap instead of a mapping
// of their own each.
class StartupHeap {
public:
    // Whether the heap was prepared; false where the allocator or the kernel cannot.
    static bool prepare();

    // The sizes chosen, kept by the allocator for the life of the process.
    static constexpr std::size_t growthStep = std::size_t{64} << 20;
    static constexpr std::size_t largestHeapBlock = std::size_t{32} << 20;
    // Heaps the threads share.
    static constexpr int maxHeaps = 4;
};
