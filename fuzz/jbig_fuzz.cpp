// Feeds arbitrary bytes to the JBIG loader as a file in memory: every input must give an image (whose
// size the header reader tells too) or a clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. A picture that
// loads is loaded again with a small maximum size (the decoder stops at a lower layer), and saved in
// memory and loaded back, which must give the same pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/jbig/jbig.h"
#include "fuzz/fuzz_loader.h"

namespace {

// Loads with the current options; the header reader must tell the size of every picture that loads.
ImagePtr Load(const uint8_t* data, size_t size) {
    std::optional<ImageInfo> info;
    try {
        InputFile header(data, size, "fuzz.bie");
        info = ReadJbigInfoFrom(header);
    } catch (const LumoFailure&) {
    }
    InputFile file(data, size, "fuzz.bie");
    ImagePtr image = LoadJbigFrom(file);
    if (!info || !SameInfo(*info, InfoOf(*image))) std::abort();
    return image;
}

bool SameBits(const IMG& a, const IMG& b) {
    if (a.width != b.width || a.height != b.height || a.bitsPerPixel != 1 || b.bitsPerPixel != 1) return false;
    const size_t lineBytes = (static_cast<size_t>(a.width) + 7) / 8;
    for (int k = 0; k < a.height; ++k)
        if (std::memcmp(MemoryRow(a, k), MemoryRow(b, k), lineBytes) != 0) return false;
    return true;
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteJbig(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    const ImagePtr again = Load(bytes.data(), bytes.size());
    if (!SameBits(image, *again)) std::abort();
}

void LoadSmall(const uint8_t* data, size_t size) {
    LumoSetIntOptionJbig("maxsizew", 8);
    LumoSetIntOptionJbig("maxsizeh", 8);
    try {
        Load(data, size);
    } catch (const LumoFailure&) {
    }
    LumoSetIntOptionJbig("maxsizew", 0);
    LumoSetIntOptionJbig("maxsizeh", 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few bytes may ask for any picture up to the limit, and JBIG-KIT decodes all of it from
    // little data; the limit keeps each run short (the tests cover the default limit).
    LumoSetIntOption("maxpixels", 1 << 22);
    return FuzzRun([&] {
        const ImagePtr image = Load(data, size);
        LoadSmall(data, size);
        // Saving large pictures again would only slow the search down.
        if (PixelBytes(*image) <= (1u << 18)) CheckSavedAgain(*image);
    });
}
