#include "tests/support/colour_pictures.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/support/lumo_test.h"

ImagePtr MakeNoiseImage(ImageKind kind, int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    PalettePtr palette;
    if (kind == ImageKind::COLOR16 || kind == ImageKind::COLOR256) {
        const int entries = kind == ImageKind::COLOR16 ? 16 : 256;
        palette = CreateIMGPalette(entries);
        for (int i = 0; i < 3 * entries; ++i) palette[i] = static_cast<uint8_t>(random());
    }
    ImagePtr image = LumoCreateImage(width, height, ColorClassOf(kind), std::move(palette), BitsPerPixelOf(kind));
    if (image->bits) std::fill(image->bits, image->bits + PixelBytes(*image), 0);
    const uint32_t mask = kind == ImageKind::RGB ? 0xFFFFFF : (1u << image->bitsPerPixel) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) SetPixel(*image, x, y, random() & mask);
    return image;
}

ImagePtr MakeUniformRGB(int width, int height, int red, int green, int blue) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    if (image->bits) std::fill(image->bits, image->bits + PixelBytes(*image), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(*image, x, y, static_cast<uint32_t>(red << 16 | green << 8 | blue));
    return image;
}

ImagePtr MakeUniformGray(int width, int height, int level) {
    ImagePtr image = LumoCreateImage(width, height, GRAY, nullptr, 8);
    if (image->bits) std::fill(image->bits, image->bits + PixelBytes(*image), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) SetPixel(*image, x, y, static_cast<uint32_t>(level));
    return image;
}

uint32_t ShownColour(const IMG& image, int x, int y) { return PixelColour(image, x, y); }

std::vector<uint8_t> Snapshot(const IMG& image) {
    std::vector<uint8_t> bytes(image.bits, image.bits + PixelBytes(image));
    if (image.palette) bytes.insert(bytes.end(), image.palette, image.palette + 3 * (1 << image.bitsPerPixel));
    return bytes;
}

double Psnr(const IMG& a, const IMG& b) {
    double squares = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t p = ShownColour(a, x, y), q = ShownColour(b, x, y);
            for (int shift = 0; shift < 24; shift += 8) {
                const double d = static_cast<double>(p >> shift & 0xFF) - static_cast<double>(q >> shift & 0xFF);
                squares += d * d;
            }
        }
    const double mean = squares / (3.0 * a.width * a.height);
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}
