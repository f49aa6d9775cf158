// Feeds arbitrary bytes to the JPEG loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. The last byte
// also picks the load options (a file ending in its end-of-image marker 0xD9 loads with the defaults),
// so the quantized, gray, fast, reduced and thumbnail paths are explored too. Metadata is kept, and a
// picture that loads is saved again as JPEG and PNG in memory, so that the writers of its Exif, XMP,
// profile and comment see whatever the markers held.
#include <vector>

#include "formats/jpeg/jpeg.h"
#include "formats/png/png.h"
#include "fuzz/fuzz_loader.h"

namespace {

void ChooseOptions(uint8_t flags) {
    LumoSetIntOptionJpeg("readrgb", !(flags & 1));
    LumoSetIntOptionJpeg("forcegray", flags >> 1 & 1);
    LumoSetIntOptionJpeg("fast", flags >> 2 & 1);
    LumoSetIntOptionJpeg("usefloat", flags >> 3 & 1);
    LumoSetIntOptionJpeg("ratio", 1 << (flags >> 4 & 3));
    LumoSetIntOptionJpeg("thumbnailmode", flags >> 6 & 1);
    LumoSetIntOptionJpeg("autorotate", !(flags >> 7 & 1));
}

void SaveAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    const auto sink = [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); };
    WriteJpeg(&image, sink, "fuzz-out.jpg");
    bytes.clear();
    if (image.width > 0 && image.height > 0) WritePng(&image, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LumoSetIntOption("keepmetadata", 1);
    ChooseOptions(size ? data[size - 1] ^ 0xD9 : 0);
    return FuzzRun([&] {
        InputFile file(data, size, "fuzz.jpg");
        const ImagePtr image = LoadJpegFrom(file);
        // Saving large pictures again would only slow the search down.
        if (PixelBytes(*image) <= (1u << 18)) SaveAgain(*image);
    });
}
