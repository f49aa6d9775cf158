#include "core/memory.h"

#include <cstdlib>

#include "core/messages.h"
#include "platform/heap_reuse.h"

namespace {
long blockCounter = 0;
}

void* LumoAlloc(size_t size) {
    // malloc(0) may yield null; ask for one byte so a zero-sized request still counts as a block.
    void* block = size >= kLargeBlockBytes ? AllocateLargeBlock(size) : std::malloc(size ? size : 1);
    if (block) ++blockCounter;
    return block;
}

void LumoFree(void* block) {
    if (!block) return;
    --blockCounter;
    std::free(block);
}

void* LumoRealloc(void* block, size_t size) {
    if (!block) return LumoAlloc(size);
    return std::realloc(block, size ? size : 1);
}

long LumoBlockCount() { return blockCounter; }

void EndLumo() {
    if (blockCounter > 0)
        LumoWarning("EndLumo", "Memory blocks not freed: %d", static_cast<int>(blockCounter));
    else if (blockCounter < 0)
        LumoWarning("EndLumo", "Memory blocks freed more than once");
}

void* LumoAllocOrFail(size_t size, const char* module, const char* message) {
    void* block = LumoAlloc(size);
    if (!block) LumoError(module, "%s", message);
    return block;
}
