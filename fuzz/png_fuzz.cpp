// Feeds arbitrary bytes to the PNG loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. A picture that
// loads is saved again in memory and loaded back, which must give the same kind, palette and pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/png/png.h"
#include "fuzz/fuzz_loader.h"

namespace {

ImagePtr Load(const uint8_t* data, size_t size) {
    InputFile file(data, size, "fuzz.png");
    return LoadPngFrom(file);
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few bytes may ask for any picture up to the limit; the limit keeps each run short (the tests
    // cover the default limit and the check of the data left).
    LumoSetIntOption("maxpixels", 1 << 22);
    return FuzzRun([&] {
        const ImagePtr image = Load(data, size);
        // Saving large pictures again would only slow the search down.
        if (PixelBytes(*image) <= (1u << 18)) CheckSavedAgain(*image);
    });
}
