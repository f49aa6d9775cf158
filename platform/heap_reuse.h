// glibc maps every block above 32 MiB afresh and unmaps it when freed, and gives freed memory at the
// top of the heap back to the system: each big picture would then be faulted in page by page again
// (about half the time of a batch of large pictures). The programs, which load picture after picture,
// keep their heap instead; the benchmarks do the same.
#pragma once

#include <cstddef>

// Raises the allocator's mmap and trim thresholds to 512 MiB; called once at start-up.
void ReuseHeapForLargeBlocks();

// A block of at least size bytes for a picture, aligned to 2 MiB and marked for transparent huge pages
// where the system offers them on request: a fresh 36 MB picture is then faulted in 2 MiB at a time
// rather than 4 KiB, which costs a tenth of the time here. Freed with free(); null when out of memory.
void* AllocateLargeBlock(size_t size);

// Blocks from this size on go through AllocateLargeBlock.
constexpr size_t kLargeBlockBytes = size_t{4} << 20;
