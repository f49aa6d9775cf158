// Feeds arbitrary bytes to the WebP loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. A picture that
// loads is loaded again reduced to half its size (libwebp's scaling while it decodes; animations stay
// whole), and saved again lossless in memory, which must load back with the same pixels; the frames of
// an animation are played as the viewer plays them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <webp/decode.h>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/webp/webp.h"
#include "formats/webp/webp_frames.h"
#include "fuzz/fuzz_loader.h"

namespace {

ImagePtr Load(const uint8_t* data, size_t size) {
    InputFile file(data, size, "fuzz.webp");
    return LoadWebpFrom(file);
}

bool SamePixels(const IMG& a, const IMG& b) {
    if (a.width != b.width || a.height != b.height || a.bitsPerPixel != 24 || b.bitsPerPixel != 24) return false;
    for (int k = 0; k < a.height; ++k)
        if (std::memcmp(MemoryRow(a, k), MemoryRow(b, k), static_cast<size_t>(a.width) * 3) != 0) return false;
    return true;
}

void CheckReduced(const uint8_t* data, size_t size, const IMG& full) {
    const int boxWidth = full.width / 2 > 0 ? full.width / 2 : 1, boxHeight = full.height / 2 > 0 ? full.height / 2 : 1;
    LumoSetIntOptionWebp("thumbnailw", boxWidth);
    LumoSetIntOptionWebp("thumbnailh", boxHeight);
    ImagePtr reduced;
    try {
        reduced = Load(data, size);
    } catch (...) {
        LumoSetIntOptionWebp("thumbnailw", 0);
        LumoSetIntOptionWebp("thumbnailh", 0);
        throw;
    }
    LumoSetIntOptionWebp("thumbnailw", 0);
    LumoSetIntOptionWebp("thumbnailh", 0);
    // Animations load their first frame at the canvas size whatever the box.
    WebPBitstreamFeatures features{};
    const bool animated = WebPGetFeatures(data, size, &features) == VP8_STATUS_OK && features.has_animation;
    if (animated ? reduced->width != full.width || reduced->height != full.height
                 : reduced->width > boxWidth || reduced->height > boxHeight)
        std::abort();
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    LumoSetIntOptionWebp("lossless", 1);
    LumoSetIntOptionWebp("quality", 0);  // the fastest lossless effort
    WriteWebp(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    LumoSetIntOptionWebp("lossless", 0);
    LumoSetIntOptionWebp("quality", 75);
    const ImagePtr again = Load(bytes.data(), bytes.size());
    if (!SamePixels(image, *again)) std::abort();
}

// Plays the frames (a bounded number, so that one input stays quick); each stays on the canvas.
void PlayFrames(const uint8_t* data, size_t size, const IMG& first) {
    WebpFrames frames(data, size, "fuzz.webp");
    while (frames.count() < 64 && frames.next())
        if (frames.copyScreen()->width != first.width || frames.delayMs() <= 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few bytes may ask for any picture up to the limit; the limit keeps each run short.
    LumoSetIntOption("maxpixels", 1 << 22);
    return FuzzRun([&] {
        const ImagePtr image = Load(data, size);
        // Decoding and saving large pictures again would only slow the search down.
        if (PixelBytes(*image) > (1u << 18)) return;
        CheckReduced(data, size, *image);
        PlayFrames(data, size, *image);
        CheckSavedAgain(*image);
    });
}
