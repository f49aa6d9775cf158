#include "core/orientation.h"

#include "core/image_metadata.h"

#include <algorithm>
#include <cstring>

#include "core/messages.h"

namespace {

// Where the target pixel (x, y) comes from, in picture coordinates (y = 0 is the top row):
// source x = x0 + ax * x + bx * y and source y = y0 + ay * x + by * y.
struct SourceMap {
    bool swapsSides;
    long x0, ax, bx, y0, ay, by;
};

SourceMap MapFor(Orientation step, long w, long h) {
    switch (step) {
        case Orientation::Upright: return {false, 0, 1, 0, 0, 0, 1};
        case Orientation::FlipHorizontal: return {false, w - 1, -1, 0, 0, 0, 1};
        case Orientation::Rotate180: return {false, w - 1, -1, 0, h - 1, 0, -1};
        case Orientation::FlipVertical: return {false, 0, 1, 0, h - 1, 0, -1};
        case Orientation::Transpose: return {true, 0, 0, 1, 0, 1, 0};
        case Orientation::RotateRight: return {true, 0, 0, 1, h - 1, -1, 0};
        case Orientation::Transverse: return {true, w - 1, 0, -1, h - 1, -1, 0};
        case Orientation::RotateLeft: return {true, w - 1, 0, -1, 0, 1, 0};
    }
    LumoError("LumoOrientImage", "Illegal Parameters");
}

// Pictures are copied in square tiles so that a turn, which reads the source by columns, reuses
// each source cache line for a whole tile row instead of fetching it once per pixel.
constexpr int kTile = 64;

template <int BytesPerPixel>
void CopyWholeBytes(const IMG& source, IMG& target, const SourceMap& map) {
    // Moving one target pixel right moves ax pixels along a source row and ay rows down, and
    // rows lie bottom first in memory.
    const long step = map.ax * BytesPerPixel - map.ay * static_cast<long>(source.rowBytes);
    for (int tileY = 0; tileY < target.height; tileY += kTile) {
        const int endY = std::min<int>(tileY + kTile, target.height);
        for (int tileX = 0; tileX < target.width; tileX += kTile) {
            const int endX = std::min<int>(tileX + kTile, target.width);
            for (int y = tileY; y < endY; ++y) {
                const long sx = map.x0 + map.ax * tileX + map.bx * y;
                const long sy = map.y0 + map.ay * tileX + map.by * y;
                const uint8_t* from = PictureRow(source, static_cast<int>(sy)) + sx * BytesPerPixel;
                uint8_t* to = PictureRow(target, y) + static_cast<long>(tileX) * BytesPerPixel;
                for (int x = tileX; x < endX; ++x, from += step, to += BytesPerPixel)
                    std::memcpy(to, from, BytesPerPixel);
            }
        }
    }
}

// 1- and 4-bit pixels, most significant bits first in each byte.
int PackedPixel(const uint8_t* row, long x, int bits) {
    const long bit = x * bits;
    return (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1 << bits) - 1);
}

void CopyPackedPixels(const IMG& source, IMG& target, const SourceMap& map) {
    const int bits = source.bitsPerPixel;
    for (int y = 0; y < target.height; ++y) {
        uint8_t* to = PictureRow(target, y);
        long sx = map.x0 + map.bx * y, sy = map.y0 + map.by * y;
        for (long x = 0; x < target.width; ++x, sx += map.ax, sy += map.ay) {
            const long bit = x * bits;
            to[bit >> 3] |= PackedPixel(PictureRow(source, static_cast<int>(sy)), sx, bits) << (8 - bits - (bit & 7));
        }
    }
}

PalettePtr CopyPalette(const IMG& image) {
    if (!image.palette) return nullptr;
    const int entries = 1 << image.bitsPerPixel;
    PalettePtr palette = CreateIMGPalette(entries);
    std::memcpy(palette.get(), image.palette, static_cast<size_t>(entries) * 3);
    return palette;
}

}  // namespace

bool IsOrientation(int value) { return value >= 1 && value <= 8; }

namespace {

// Each step as the matrix that moves a point (x, y) of the picture, measured from its centre with
// y growing downwards, to (xx * x + xy * y, yx * x + yy * y): the eight signed permutations.
struct StepMatrix {
    int xx, xy, yx, yy;
    bool operator==(const StepMatrix&) const = default;
};

constexpr StepMatrix kStepMatrices[] = {
    {1, 0, 0, 1},    // Upright
    {-1, 0, 0, 1},   // FlipHorizontal
    {-1, 0, 0, -1},  // Rotate180
    {1, 0, 0, -1},   // FlipVertical
    {0, 1, 1, 0},    // Transpose
    {0, -1, 1, 0},   // RotateRight: the top edge goes to the right
    {0, -1, -1, 0},  // Transverse
    {0, 1, -1, 0},   // RotateLeft
};

StepMatrix MatrixOf(Orientation step) { return kStepMatrices[static_cast<int>(step) - 1]; }

}  // namespace

Orientation ThenOrient(Orientation first, Orientation second) {
    const StepMatrix a = MatrixOf(first), b = MatrixOf(second);
    const StepMatrix product{b.xx * a.xx + b.xy * a.yx, b.xx * a.xy + b.xy * a.yy, b.yx * a.xx + b.yy * a.yx,
                             b.yx * a.xy + b.yy * a.yy};
    for (int value = 1; value <= 8; ++value)
        if (kStepMatrices[value - 1] == product) return static_cast<Orientation>(value);
    LumoError("ThenOrient", "Illegal Parameters");  // unreachable: the products of the table stay in it
}

namespace {

ImagePtr OrientPixels(const IMG* image, Orientation step) {
    const SourceMap map = MapFor(step, image->width, image->height);
    const int width = map.swapsSides ? image->height : image->width;
    const int height = map.swapsSides ? image->width : image->height;
    ImagePtr target = LumoCreateImage(width, height, image->colorClass, CopyPalette(*image), image->bitsPerPixel);
    target->xResolution = map.swapsSides ? image->yResolution : image->xResolution;
    target->yResolution = map.swapsSides ? image->xResolution : image->yResolution;
    if (PixelBytes(*target) == 0 || width == 0) return target;

    if (image->bitsPerPixel < 8) {
        std::memset(target->bits, 0, PixelBytes(*target));  // packed pixels are or-ed in
        CopyPackedPixels(*image, *target, map);
        return target;
    }
    const size_t used = static_cast<size_t>(width) * (image->bitsPerPixel / 8);
    for (int k = 0; k < height; ++k) std::memset(MemoryRow(*target, k) + used, 0, target->rowBytes - used);
    if (image->bitsPerPixel == 24)
        CopyWholeBytes<3>(*image, *target, map);
    else
        CopyWholeBytes<1>(*image, *target, map);
    return target;
}

}  // namespace

ImagePtr LumoOrientImage(const IMG* image, Orientation step) {
    ImagePtr target = OrientPixels(image, step);
    LumoCopyMetadata(image, target.get());
    return target;
}
