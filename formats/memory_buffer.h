// A growable block of bytes that libtiff reads and writes as if it were a file.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "formats/tiff/tiff_error.h"

struct MemoryBuffer {
    uint8_t* data;      // the block (plain allocator, not counted)
    size_t size;        // allocated size of the block
    uint8_t* position;  // current position inside the block
    std::string mode;   // mode of the current open; 'w' first means writing
    size_t length;      // highest offset written since the last open
};

struct MemoryBufferDeleter {
    void operator()(MemoryBuffer* buffer) const;
};
using MemoryBufferPtr = std::unique_ptr<MemoryBuffer, MemoryBufferDeleter>;

// Reports "Out of Memory" (module "AllocBuffer" / "ReallocBuffer") when the block cannot be had.
MemoryBufferPtr AllocBuffer(size_t size);
void ReallocBuffer(MemoryBuffer* buffer, size_t newSize);

// Opens the buffer through libtiff under the name "Memory Buffer"; length and position restart at 0.
// The handle is empty when libtiff refuses (its message is then in the handle's error record).
TiffHandle OpenMemoryBufferTiff(MemoryBuffer* buffer, const char* mode);

// The procedures handed to libtiff; the handle is the MemoryBuffer. None of them throws.
// Reading yields -1 in write mode and never reads past the block.
tmsize_t MemoryBufferRead(thandle_t handle, void* destination, tmsize_t count);
// Grows the block in 8192-byte steps as needed (at most to 4 GiB); yields -1 when it cannot grow.
tmsize_t MemoryBufferWrite(thandle_t handle, void* source, tmsize_t count);
// whence 0, 1, 2 as for a file, the end being the data written (write mode) or the block.
// A target before the start is refused (yields -1, the position stays); past the end, a reading
// buffer stops at its end and a writing buffer grows to reach it.
toff_t MemoryBufferSeek(thandle_t handle, toff_t offset, int whence);
// In write mode trims the block to the data written, so a later read open sees exactly that data.
int MemoryBufferClose(thandle_t handle);
toff_t MemoryBufferSize(thandle_t handle);
int MemoryBufferMap(thandle_t handle, void** base, toff_t* size);
void MemoryBufferUnmap(thandle_t handle, void* base, toff_t size);
