// A growable block of bytes that libtiff reads and writes as if it were a file.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// Opens the buffer through TIFFClientOpen under the name "Memory Buffer"; length and position restart at 0.
TIFF* OpenMemoryBufferTiff(MemoryBuffer* buffer, const char* mode);
