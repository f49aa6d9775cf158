// Feeds arbitrary bytes to the TIFF loader and its header reader through the memory buffer libtiff
// reads as a file: every input must give an image (and info equal to it) or a clean LumoFailure, with nothing read or written outside a buffer
// (the sanitizers watch that) and no counted block leaked or freed twice.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/image.h"
#include "core/memory.h"
#include "core/messages.h"
#include "formats/memory_buffer.h"
#include "formats/tiff/tiff.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pictures far larger than their data are legal and each costs a large allocation; the
    // search keeps to a few million pixels (the limit itself is covered by the tests).
    LumoSetIntOption("maxpixels", 1 << 22);
    std::optional<ImageInfo> info;
    FuzzRun([&] {
        MemoryBufferPtr buffer = AllocBuffer(size);
        if (size) std::memcpy(buffer->data, data, size);
        TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "r");
        if (tiff) info = ReadTiffInfoFrom(tiff, "fuzz.tif");
    });
    return FuzzRun([&] {
        MemoryBufferPtr buffer = AllocBuffer(size);
        if (size) std::memcpy(buffer->data, data, size);
        TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "r");
        if (tiff) {
            ImagePtr image = LoadTiffFrom(tiff, "fuzz.tif");
            if (!image->bits) std::abort();  // a loaded picture always has rows
            if (!info || !SameInfo(*info, InfoOf(*image))) std::abort();  // the header told what the load gives
        }
    });
}
