// A deterministic photo-like RGB picture for the benchmarks: smooth gradients and soft rings,
// correlated between the components as in photographs, plus a little sensor-like noise, so that
// colour histograms and error diffusion see many colours without the extremes of pure noise.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/image.h"

inline ImagePtr MakePhotoLikeImage(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    if (image->bits) std::memset(image->bits, 0, PixelBytes(*image));
    const auto triangle = [](int t) { t &= 511; return t < 256 ? t : 511 - t; };
    const int spanX = std::max(1, width - 1), spanY = std::max(1, height - 1);
    uint32_t state = 0x2545F491u;
    for (int y = 0; y < height; ++y) {
        uint8_t* pixel = PictureRow(*image, y);
        for (int x = 0; x < width; ++x, pixel += 3) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;  // -8..7
            const int across = x * 255 / spanX, down = y * 255 / spanY;
            const int rings = triangle((std::abs(2 * x - width) + std::abs(2 * y - height)) * 1536 / (width + height + 1));
            const int red = (3 * across + rings) / 4 + noise;
            const int green = (2 * down + rings + across) / 4 + noise;
            const int blue = (3 * rings + 255 - down) / 4 + noise;
            pixel[0] = static_cast<uint8_t>(std::clamp(blue, 0, 255));
            pixel[1] = static_cast<uint8_t>(std::clamp(green, 0, 255));
            pixel[2] = static_cast<uint8_t>(std::clamp(red, 0, 255));
        }
    }
    return image;
}
