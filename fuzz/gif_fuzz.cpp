// Feeds arbitrary bytes to the GIF loader as a file in memory: every input must give an image or a
// clean LumoFailure, with nothing read or written outside a buffer and nothing leaked. An image that
// loads is saved again in memory: the LZW data must be the plain string table's, byte for byte, and
// must load back to the same indices, which puts the encoder through whatever pictures the fuzzer finds.
// The same bytes are played as an animation too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/gif/gif.h"
#include "formats/gif/gif_frames.h"
#include "fuzz/fuzz_loader.h"
#include "tests/support/gif_reference.h"

namespace {

// The indices of a palette picture, top row first, one per byte.
std::vector<uint8_t> Indices(const IMG& image) {
    std::vector<uint8_t> indices;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = PictureRow(image, y);
        for (int x = 0; x < image.width; ++x)
            indices.push_back(image.bitsPerPixel == 8 ? row[x] : x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4);
    }
    return indices;
}

// The LZW data of a file we wrote: the sub-blocks after the global table and the image descriptor.
std::vector<uint8_t> DataOf(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> data;
    for (size_t at = 13 + 3 * (size_t{2} << (file[10] & 7)) + 11; file[at] != 0; at += 1 + file[at])
        data.insert(data.end(), file.begin() + static_cast<long>(at) + 1,
                    file.begin() + static_cast<long>(at + 1 + file[at]));
    return data;
}

void CheckSavedAgain(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteGif(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    const std::vector<uint8_t> indices = Indices(image);
    if (DataOf(bytes) != gif_reference::EncodeLzw(indices, image.bitsPerPixel)) std::abort();
    InputFile file(bytes.data(), bytes.size(), "again.gif");
    ImagePtr again = LoadGifFrom(file);
    if (again->width != image.width || again->height != image.height || Indices(*again) != indices) std::abort();
}

// The pixel count of the first image descriptor, found the way the loader finds it (0 when there is
// none). Pictures far larger than the data are legal, and each costs a large allocation; the search
// skips those above a few million pixels, which the tests cover.
size_t DeclaredPixels(const uint8_t* data, size_t size) {
    if (size < 13) return 0;
    size_t at = 13 + (data[10] & 0x80 ? 3 * (size_t{2} << (data[10] & 7)) : 0);
    while (at < size && data[at] != ',') {
        if (data[at] == ';') return 0;
        if (data[at++] != '!') continue;
        for (++at; at < size && data[at] != 0; at += 1 + data[at]) {
        }
        ++at;
    }
    if (at + 9 > size) return 0;
    return size_t{static_cast<uint16_t>(data[at + 5] | data[at + 6] << 8)} *
           static_cast<uint16_t>(data[at + 7] | data[at + 8] << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DeclaredPixels(data, size) > (size_t{4} << 20)) return 0;
    const size_t screenPixels = size >= 10 ? size_t{static_cast<uint16_t>(data[6] | data[7] << 8)} *
                                                 static_cast<uint16_t>(data[8] | data[9] << 8)
                                           : 0;
    if (screenPixels <= (size_t{4} << 20)) FuzzRun([&] {
        // The frames as the viewer plays them, up to a few hundred (each costs a screen's work).
        GifFrames frames(data, size, "fuzz.gif");
        for (int k = 0; k < 300 && frames.next();) ++k;
    });
    return FuzzRun([&] {
        InputFile file(data, size, "fuzz.gif");
        ImagePtr image = LoadGifFrom(file);
        // Saving large pictures again would only slow the search down.
        if (PixelBytes(*image) <= (1u << 18)) CheckSavedAgain(*image);
    });
}
