// glibc maps every block above 32 MiB afresh and unmaps it when freed, so each 36 MB picture of a
// benchmark would be timed mostly as the kernel's page faults and zeroing. A program that loads or
// rescales picture after picture (thumbnails, the display) reuses its heap instead; this makes the
// benchmarks do the same.
#pragma once

#include <malloc.h>

inline void ReuseHeapForLargeBlocks() {
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}
