// Feeds arbitrary bytes to the PNG loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. A picture that
// loads is saved again in memory and loaded back, which must give the same kind, palette and pixels;
// metadata is kept, so its chunks go through libspng and the writers too (the picture is also saved
// as JPEG, whose markers take the same blocks).
// Every chunk's CRC is made right before the load, so that mutations reach the decoder instead of
// stopping at the checksum.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/jpeg/jpeg.h"
#include "formats/png/png.h"
#include "fuzz/fuzz_loader.h"
#include "tests/support/png_builder.h"

namespace {

ImagePtr Load(const uint8_t* data, size_t size) {
    InputFile file(data, size, "fuzz.png");
    return LoadPngFrom(file);
}

// The input with the CRC of every whole chunk after the signature recomputed.
std::vector<uint8_t> WithRightCrcs(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    for (size_t at = 8; at + 12 <= size;) {
        const size_t length = size_t{bytes[at]} << 24 | size_t{bytes[at + 1]} << 16 | size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        if (length > size - at - 12) break;
        png_builder::PutBE32(bytes.data() + at + 8 + length, png_builder::Crc32(bytes.data() + at + 4, length + 4));
        at += length + 12;
    }
    return bytes;
}

bool SamePicture(const IMG& a, const IMG& b) {
    if (a.width != b.width || a.height != b.height || a.colorClass != b.colorClass ||
        a.bitsPerPixel != b.bitsPerPixel)
        return false;
    if (a.palette && std::memcmp(a.palette, b.palette, 3u << a.bitsPerPixel) != 0) return false;
    const size_t usedBits = static_cast<size_t>(a.width) * a.bitsPerPixel;
    const uint8_t lastMask = static_cast<uint8_t>(0xFF << (8 - (usedBits % 8 ? usedBits % 8 : 8)));
    for (int k = 0; k < a.height; ++k) {
        const uint8_t* x = MemoryRow(a, k);
        const uint8_t* y = MemoryRow(b, k);
        if (std::memcmp(x, y, usedBits / 8) != 0) return false;
        if (usedBits % 8 && ((x[usedBits / 8] ^ y[usedBits / 8]) & lastMask)) return false;
    }
    return true;
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    WritePng(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    const ImagePtr again = Load(bytes.data(), bytes.size());
    if (!SamePicture(image, *again)) std::abort();
    WriteJpeg(&image, [](const uint8_t*, size_t) {}, "fuzz-out.jpg");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few bytes may ask for any picture up to the limit; the limit keeps each run short (the tests
    // cover the default limit and the check of the data left).
    LumoSetIntOption("maxpixels", 1 << 22);
    LumoSetIntOption("keepmetadata", 1);
    return FuzzRun([&] {
        const std::vector<uint8_t> bytes = WithRightCrcs(data, size);
        const ImagePtr image = Load(bytes.data(), bytes.size());
        // Saving large pictures again would only slow the search down.
        if (PixelBytes(*image) <= (1u << 18)) CheckSavedAgain(*image);
    });
}
