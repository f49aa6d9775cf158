#include "formats/mok/mok_pyramid.h"

#include <cstring>

std::vector<LevelSize> PyramidSizes(int width, int height) {
    std::vector<LevelSize> sizes = {{width, height}};
    while (width > 1 || height > 1) {
        width = (width + 1) / 2;
        height = (height + 1) / 2;
        sizes.push_back({width, height});
    }
    return sizes;
}

ImagePtr BuildCoarserLevel(const IMG& fine) {
    const int channels = fine.bitsPerPixel / 8;
    const int width = (fine.width + 1) / 2;
    const int height = (fine.height + 1) / 2;
    ImagePtr coarse = LumoCreateImage(width, height, fine.colorClass, nullptr, fine.bitsPerPixel);
    const int pairs = fine.width / 2;  // coarse columns whose block has both fine columns
    for (int i = 0; i < height; ++i) {
        const uint8_t* top = PictureRow(fine, 2 * i);
        const uint8_t* bottom = PictureRow(fine, SecondOfPair(2 * i, fine.height));
        uint8_t* out = PictureRow(*coarse, i);
        if (channels == 1) {
            for (int j = 0; j < pairs; ++j)
                out[j] = static_cast<uint8_t>((top[2 * j] + top[2 * j + 1] + bottom[2 * j] + bottom[2 * j + 1]) >> 2);
        } else {
            for (int j = 0; j < pairs; ++j) {
                const uint8_t* t = top + 6 * j;
                const uint8_t* b = bottom + 6 * j;
                uint8_t* o = out + 3 * j;
                for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>((t[k] + t[k + 3] + b[k] + b[k + 3]) >> 2);
            }
        }
        if (pairs < width) {  // odd width: the last block repeats its left column
            const int x = 2 * pairs * channels;
            for (int k = 0; k < channels; ++k)
                out[pairs * channels + k] = static_cast<uint8_t>((2 * top[x + k] + 2 * bottom[x + k]) >> 2);
        }
        const size_t used = static_cast<size_t>(width) * channels;
        std::memset(out + used, 0, coarse->rowBytes - used);
    }
    return coarse;
}
