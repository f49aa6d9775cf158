#include "platform/heap_reuse.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdlib>

void ReuseHeapForLargeBlocks() {
    // A fixed threshold also stops glibc from adapting it to the largest block freed so far.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}

void* AllocateLargeBlock(size_t size) {
    constexpr size_t kHugePage = size_t{2} << 20;
    const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < size) return nullptr;  // the size wrapped around
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block) ::madvise(block, rounded, MADV_HUGEPAGE);  // only a hint: without huge pages nothing changes
    return block;
}
