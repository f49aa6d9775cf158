// Counted memory: every block the library allocates for images, palettes and work
// buffers goes through these wrappers, so EndLumo can tell whether any was left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Allocates size bytes and counts the block; yields null when the allocator fails
// (a failed allocation is not counted).
void* LumoAlloc(size_t size);
// Releases a counted block; a null block is ignored and not counted.
void LumoFree(void* block);
// Resizes a counted block; the counter is unchanged. Yields null on failure (the old block stays valid).
void* LumoRealloc(void* block, size_t size);

// The number of counted blocks allocated and not yet released.
long LumoBlockCount();

// The end-of-run check: warns "Memory blocks not freed: %d" or
// "Memory blocks freed more than once" (module "EndLumo"); silent when the counter is 0.
void EndLumo();

struct LumoFreeDeleter {
    void operator()(void* block) const { LumoFree(block); }
};

// A counted work buffer that is released however the operation ends.
template <typename T>
using LumoBuffer = std::unique_ptr<T[], LumoFreeDeleter>;

// Allocates a counted buffer of count elements; reports "Out of memory" (module) when it fails.
template <typename T>
LumoBuffer<T> LumoAllocBuffer(size_t count, const char* module);

void* LumoAllocOrFail(size_t size, const char* module, const char* message = "Out of memory");

template <typename T>
LumoBuffer<T> LumoAllocBuffer(size_t count, const char* module) {
    return LumoBuffer<T>(static_cast<T*>(LumoAllocOrFail(count * sizeof(T), module)));
}
