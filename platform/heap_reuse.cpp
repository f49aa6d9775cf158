#include "platform/heap_reuse.h"

#include <malloc.h>

void ReuseHeapForLargeBlocks() {
    // A fixed threshold also stops glibc from adapting it to the largest block freed so far.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}
