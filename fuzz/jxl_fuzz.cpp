// Feeds arbitrary bytes to the JPEG XL loader: every input must give an image or a clean LumoFailure.
// A small picture that loads is saved again lossless in memory, which must load back with the same
// pixels (the saver's gray and colour paths on whatever the decoder made of the input).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/jxl/jxl.h"
#include "fuzz/fuzz_loader.h"

namespace {

ImagePtr Load(const uint8_t* data, size_t size) {
    InputFile file(data, size, "fuzz.jxl");
    return LoadJxlFrom(file);
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    LumoSetIntOptionJxl("lossless", 1);
    LumoSetIntOptionJxl("effort", 1);  // the fastest
    WriteJxl(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    LumoSetIntOptionJxl("lossless", 0);
    LumoSetIntOptionJxl("effort", 7);
    const ImagePtr again = Load(bytes.data(), bytes.size());
    if (again->width != image.width || again->height != image.height || again->bitsPerPixel != image.bitsPerPixel)
        std::abort();
    for (int k = 0; k < image.height; ++k)
        if (std::memcmp(MemoryRow(image, k), MemoryRow(*again, k), static_cast<size_t>(image.width) * image.bitsPerPixel / 8) != 0)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few bytes may ask for any picture up to the limit; the limit keeps each run short.
    LumoSetIntOption("maxpixels", 1 << 22);
    return FuzzRun([&] {
        const ImagePtr image = Load(data, size);
        if (PixelBytes(*image) <= (1u << 16)) CheckSavedAgain(*image);
    });
}
