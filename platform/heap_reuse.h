// glibc maps every block above 32 MiB afresh and unmaps it when freed, and gives freed memory at the
// top of the heap back to the system: each big picture would then be faulted in page by page again
// (about half the time of a batch of large pictures). The programs, which load picture after picture,
// keep their heap instead; the benchmarks do the same.
#pragma once

// Raises the allocator's mmap and trim thresholds to 512 MiB; called once at start-up.
void ReuseHeapForLargeBlocks();
