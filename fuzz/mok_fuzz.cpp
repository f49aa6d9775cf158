// Feeds arbitrary bytes to the MOK loader as a file in memory, at full size and at an eighth:
// every input must give an image or a clean LumoFailure, with nothing read or written outside a
// buffer and nothing leaked; the header reader agrees with every load. A full-size image that loads is saved again in memory and must load
// back to the same samples, which puts the saver through whatever pictures the fuzzer finds.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/mok/mok.h"
#include "fuzz/fuzz_loader.h"

namespace {

// Any bytes decode to a picture of the size the header states, so a 12-byte file can ask for
// millions of pixels (the tests cover the limit and large pictures); the search skips those above
// 4096, which only cost time.
size_t DeclaredPixels(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    return size_t{static_cast<uint16_t>(data[5] << 8 | data[6])} * static_cast<uint16_t>(data[7] << 8 | data[8]);
}

// Loads at the ratio; the header reader must tell the size and kind of every picture that loads.
ImagePtr Load(const uint8_t* data, size_t size, int ratio) {
    LumoSetIntOptionMok("mokratio", ratio);
    std::optional<ImageInfo> info;
    try {
        InputFile header(data, size, "fuzz.mok");
        info = ReadMokInfoFrom(header);
    } catch (const LumoFailure&) {
    }
    InputFile file(data, size, "fuzz.mok");
    ImagePtr image = LoadMokFrom(file);
    if (!info || !SameInfo(*info, InfoOf(*image))) std::abort();
    return image;
}

bool SameSamples(const IMG& a, const IMG& b) {
    if (a.width != b.width || a.height != b.height || a.bitsPerPixel != b.bitsPerPixel) return false;
    const size_t used = static_cast<size_t>(a.width) * (a.bitsPerPixel / 8);
    for (int k = 0; k < a.height; ++k)
        for (size_t i = 0; i < used; ++i)
            if (MemoryRow(a, k)[i] != MemoryRow(b, k)[i]) return false;
    return true;
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteMok(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    if (!SameSamples(image, *Load(bytes.data(), bytes.size(), 1))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DeclaredPixels(data, size) > (size_t{1} << 12)) return 0;
    const int result = FuzzRun([&] {
        Load(data, size, 4);
        ImagePtr image = Load(data, size, 1);
        if (PixelBytes(*image) <= (1u << 18)) CheckSavedAgain(*image);
    });
    LumoSetIntOptionMok("mokratio", 1);
    return result;
}
