#include "formats/pcd/pcd_rotate.h"

#include <cstring>

PcdOrientation PcdOrientationOf(int field) {
    switch (field & 3) {
        case 1: return PcdOrientation::CounterClockwise;
        case 3: return PcdOrientation::Clockwise;
        default: return PcdOrientation::AsStored;
    }
}

ImagePtr PcdMakeImage(const PcdPlane& red, const PcdPlane& green, const PcdPlane& blue, PcdOrientation orientation) {
    const int w = red.width;
    const int h = red.height;
    const bool turned = orientation != PcdOrientation::AsStored;
    ImagePtr image = LumoCreateImage(turned ? h : w, turned ? w : h, COLOR, nullptr, 24);
    const size_t used = static_cast<size_t>(image->width) * 3;
    for (int k = 0; k < image->height; ++k) std::memset(MemoryRow(*image, k) + used, 0, image->rowBytes - used);
    for (int y = 0; y < h; ++y) {
        const uint8_t* r = red.row(y);
        const uint8_t* g = green.row(y);
        const uint8_t* b = blue.row(y);
        if (!turned) {
            uint8_t* out = PictureRow(*image, y);
            for (int x = 0; x < w; ++x, out += 3) {
                out[0] = b[x];
                out[1] = g[x];
                out[2] = r[x];
            }
            continue;
        }
        // Source (x, y) goes to column y, row W-1-x counter-clockwise; to column H-1-y, row x clockwise.
        const int column = orientation == PcdOrientation::Clockwise ? h - 1 - y : y;
        for (int x = 0; x < w; ++x) {
            const int destinationRow = orientation == PcdOrientation::Clockwise ? x : w - 1 - x;
            uint8_t* out = PictureRow(*image, destinationRow) + 3 * column;
            out[0] = b[x];
            out[1] = g[x];
            out[2] = r[x];
        }
    }
    return image;
}
