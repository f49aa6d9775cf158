// Writes the seed corpus of the MOK fuzz harness with our own saver: small gray and colour files
// of noise, ramps and flat pictures at odd sizes and in one row or column, plus a file cut in its
// bit stream, one whose kind byte is neither "G" nor "C", and a header without any stream.
// Build against a build folder's libraries and run with the corpus folder (one command line):
//   g++ -std=c++20 -I. scripts/make_mok_seeds.cpp build/liblumo_formats.a build/liblumo_core.a
//       build/liblumo_platform.a -ltiff -ljpeg -o /tmp/make_mok_seeds && /tmp/make_mok_seeds fuzz/corpus/mok
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/image.h"
#include "formats/mok/mok.h"

namespace {

using Bytes = std::vector<uint8_t>;
enum class Fill { Noise, Ramp, White, Black };

uint32_t state = 12345;
int Random() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 24);
}

ImagePtr Picture(bool gray, int width, int height, Fill fill) {
    ImagePtr image = LumoCreateImage(width, height, gray ? GRAY : COLOR, nullptr, gray ? 8 : 24);
    std::memset(image->bits, 0, PixelBytes(*image));
    const int samples = width * (gray ? 1 : 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < samples; ++x) {
            const int value = fill == Fill::Noise ? Random()
                              : fill == Fill::Ramp ? (x * 7 + y * 3) & 255
                              : fill == Fill::White ? 255
                                                    : 0;
            PictureRow(*image, y)[x] = static_cast<uint8_t>(value);
        }
    return image;
}

Bytes Encode(const IMG& image) {
    Bytes bytes;
    WriteMok(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

void Put(const std::string& dir, const char* name, const Bytes& bytes) {
    std::FILE* out = std::fopen((dir + "/" + name).c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    Put(dir, "gray_1x1.mok", Encode(*Picture(true, 1, 1, Fill::Noise)));
    Put(dir, "rgb_1x1.mok", Encode(*Picture(false, 1, 1, Fill::Noise)));
    Put(dir, "gray_noise_5x3.mok", Encode(*Picture(true, 5, 3, Fill::Noise)));
    Put(dir, "rgb_noise_7x5.mok", Encode(*Picture(false, 7, 5, Fill::Noise)));
    Put(dir, "gray_ramp_16x16.mok", Encode(*Picture(true, 16, 16, Fill::Ramp)));
    Put(dir, "rgb_ramp_33x17.mok", Encode(*Picture(false, 33, 17, Fill::Ramp)));
    Put(dir, "gray_white_20x20.mok", Encode(*Picture(true, 20, 20, Fill::White)));
    Put(dir, "gray_black_9x9.mok", Encode(*Picture(true, 9, 9, Fill::Black)));
    Put(dir, "gray_noise_1x13.mok", Encode(*Picture(true, 1, 13, Fill::Noise)));
    Put(dir, "rgb_noise_13x1.mok", Encode(*Picture(false, 13, 1, Fill::Noise)));
    Bytes cut = Encode(*Picture(false, 12, 10, Fill::Noise));
    cut.resize(cut.size() / 2);
    Put(dir, "rgb_cut_12x10.mok", cut);
    Bytes otherKind = Encode(*Picture(false, 6, 6, Fill::Ramp));
    otherKind[4] = 'X';
    Put(dir, "kind_x_6x6.mok", otherKind);
    Bytes headerOnly = Encode(*Picture(true, 2, 2, Fill::Noise));
    headerOnly.resize(10);
    Put(dir, "header_only_2x2.mok", headerOnly);
    return 0;
}
