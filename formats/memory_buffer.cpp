#include "formats/memory_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/messages.h"

namespace {

constexpr size_t kGrowthStep = 8192;
constexpr toff_t kRefused = static_cast<toff_t>(-1);
// The offsets of a classic TIFF end at 4 GiB; a block never grows past that, so no size
// arithmetic can overflow and no absurd request reaches the allocator.
constexpr size_t kMaxBlockSize = size_t{1} << 32;

MemoryBuffer* BufferOf(thandle_t handle) { return static_cast<MemoryBuffer*>(handle); }

bool IsWriting(const MemoryBuffer& buffer) { return !buffer.mode.empty() && buffer.mode[0] == 'w'; }

size_t OffsetOf(const MemoryBuffer& buffer) { return static_cast<size_t>(buffer.position - buffer.data); }

// The end a seek with whence 2 measures from: the data written, or the block once it holds the data.
size_t EndOf(const MemoryBuffer& buffer) { return IsWriting(buffer) ? buffer.length : buffer.size; }

// Takes a (possibly moved) block of newSize bytes: the position keeps its offset and length its
// value, both cut to the new size.
void Adopt(MemoryBuffer& buffer, void* block, size_t newSize) {
    const size_t offset = std::min(OffsetOf(buffer), newSize);
    buffer.data = static_cast<uint8_t*>(block);
    buffer.size = newSize;
    buffer.position = buffer.data + offset;
    buffer.length = std::min(buffer.length, newSize);
}

// Resizes the block without reporting (libtiff calls us: nothing may throw through it). A
// zero-sized block still holds one byte, so the block pointer is never null and realloc never frees it.
bool ResizeBlock(MemoryBuffer& buffer, size_t newSize) {
    if (newSize > kMaxBlockSize) return false;
    void* block = std::realloc(buffer.data, std::max<size_t>(newSize, 1));
    if (!block) return false;
    Adopt(buffer, block, newSize);
    return true;
}

// Grows the block in whole steps until it holds `needed` bytes; false when that would overflow
// or the allocator refuses.
bool GrowToHold(MemoryBuffer& buffer, size_t needed) {
    if (needed <= buffer.size) return true;
    const size_t steps = (needed - buffer.size - 1) / kGrowthStep + 1;
    if (steps > (kMaxBlockSize - buffer.size) / kGrowthStep) return false;
    return ResizeBlock(buffer, buffer.size + steps * kGrowthStep);
}

}  // namespace

void MemoryBufferDeleter::operator()(MemoryBuffer* buffer) const {
    std::free(buffer->data);
    delete buffer;
}

MemoryBufferPtr AllocBuffer(size_t size) {
    MemoryBufferPtr buffer(new MemoryBuffer{nullptr, 0, nullptr, {}, 0});
    buffer->data = size <= kMaxBlockSize ? static_cast<uint8_t*>(std::malloc(std::max<size_t>(size, 1))) : nullptr;
    if (!buffer->data) LumoError("AllocBuffer", "Out of Memory");
    buffer->size = size;
    buffer->position = buffer->data;
    return buffer;
}

void ReallocBuffer(MemoryBuffer* buffer, size_t newSize) {
    if (!ResizeBlock(*buffer, newSize)) LumoError("ReallocBuffer", "Out of Memory");
}

tmsize_t MemoryBufferRead(thandle_t handle, void* destination, tmsize_t count) {
    MemoryBuffer& buffer = *BufferOf(handle);
    if (IsWriting(buffer)) return -1;
    if (count <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(count), buffer.size - OffsetOf(buffer));
    if (n) std::memcpy(destination, buffer.position, n);
    buffer.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemoryBufferWrite(thandle_t handle, void* source, tmsize_t count) {
    MemoryBuffer& buffer = *BufferOf(handle);
    if (count < 0) return -1;
    const size_t n = static_cast<size_t>(count);
    const size_t offset = OffsetOf(buffer);
    if (n > kMaxBlockSize - offset || !GrowToHold(buffer, offset + n)) return -1;
    // Bytes skipped over by a seek past the data read back as zeros, as in a file.
    if (IsWriting(buffer) && offset > buffer.length)
        std::memset(buffer.data + buffer.length, 0, offset - buffer.length);
    if (n) std::memcpy(buffer.position, source, n);
    buffer.position += n;
    buffer.length = std::max(buffer.length, offset + n);
    return count;
}

toff_t MemoryBufferSeek(thandle_t handle, toff_t offset, int whence) {
    MemoryBuffer& buffer = *BufferOf(handle);
    int64_t base;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = static_cast<int64_t>(OffsetOf(buffer)); break;
        case SEEK_END: base = static_cast<int64_t>(EndOf(buffer)); break;
        default: return OffsetOf(buffer);
    }
    int64_t target;
    if (__builtin_add_overflow(base, static_cast<int64_t>(offset), &target) || target < 0) return kRefused;
    size_t wanted = static_cast<size_t>(target);
    if (wanted > buffer.size) {
        if (!IsWriting(buffer))
            wanted = buffer.size;
        else if (!GrowToHold(buffer, wanted))
            return kRefused;
    }
    buffer.position = buffer.data + wanted;
    return wanted;
}

int MemoryBufferClose(thandle_t handle) {
    MemoryBuffer& buffer = *BufferOf(handle);
    // Shrinking hardly ever fails; if it does, the larger block still holds the data.
    if (IsWriting(buffer) && !ResizeBlock(buffer, buffer.length)) Adopt(buffer, buffer.data, buffer.length);
    return 0;
}

toff_t MemoryBufferSize(thandle_t handle) {
    const MemoryBuffer& buffer = *BufferOf(handle);
    return IsWriting(buffer) ? buffer.length : buffer.size;
}

int MemoryBufferMap(thandle_t, void**, toff_t*) { return 0; }

void MemoryBufferUnmap(thandle_t, void*, toff_t) {}

TiffHandle OpenMemoryBufferTiff(MemoryBuffer* buffer, const char* mode) {
    buffer->length = 0;
    buffer->position = buffer->data;
    buffer->mode = mode;
    TiffHandle tiff;
    tiff.openClient("Memory Buffer", mode, buffer, MemoryBufferRead, MemoryBufferWrite, MemoryBufferSeek,
                    MemoryBufferClose, MemoryBufferSize, MemoryBufferMap, MemoryBufferUnmap);
    return tiff;
}
