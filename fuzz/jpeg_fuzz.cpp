// Feeds arbitrary bytes to the JPEG loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. The last byte
// also picks the load options (a file ending in its end-of-image marker 0xD9 loads with the defaults),
// so the quantized, gray, fast, reduced and thumbnail paths are explored too.
#include "formats/jpeg/jpeg.h"
#include "fuzz/fuzz_loader.h"

namespace {

void ChooseOptions(uint8_t flags) {
    LumoSetIntOptionJpeg("readrgb", !(flags & 1));
    LumoSetIntOptionJpeg("forcegray", flags >> 1 & 1);
    LumoSetIntOptionJpeg("fast", flags >> 2 & 1);
    LumoSetIntOptionJpeg("usefloat", flags >> 3 & 1);
    LumoSetIntOptionJpeg("ratio", 1 << (flags >> 4 & 3));
    LumoSetIntOptionJpeg("thumbnailmode", flags >> 6 & 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ChooseOptions(size ? data[size - 1] ^ 0xD9 : 0);
    return FuzzLoader(data, size, "fuzz.jpg", LoadJpegFrom);
}
