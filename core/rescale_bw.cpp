// Shrinking bi-level pictures straight to GRAY256: the exact half-size path through a byte-pair
// table, and block averaging that counts white bits a byte at a time.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/messages.h"
#include "core/rescale.h"
#include "core/rescale_grid.h"

namespace {

constexpr const char* kModule = "LumoShrinkBWToGRAY256";

inline int Bit(const uint8_t* row, uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Gray level of a 2 x 2 block holding `white` white pixels: 0, 63, 127, 191 or 255.
inline uint8_t HalfLevel(int white) { return static_cast<uint8_t>(255 * white / 4); }

// For every pair (top byte, bottom byte), the four gray levels of the 2 x 2 blocks those eight
// columns make, left block first. 256 KiB, built on first use and kept for the run.
using HalfSizeTable = std::array<std::array<uint8_t, 4>, 256 * 256>;

const HalfSizeTable& HalfSizeLevels() {
    static const HalfSizeTable table = [] {
        HalfSizeTable levels;
        for (int top = 0; top < 256; ++top)
            for (int bottom = 0; bottom < 256; ++bottom)
                for (int block = 0; block < 4; ++block) {
                    const int shift = 6 - 2 * block;  // the block's two columns in each byte
                    const int white = std::popcount(static_cast<unsigned>((top >> shift) & 3)) +
                                      std::popcount(static_cast<unsigned>((bottom >> shift) & 3));
                    levels[top << 8 | bottom][block] = HalfLevel(white);
                }
        return levels;
    }();
    return table;
}

// Output row j from picture rows 2j and 2j + 1; an odd last row or column is dropped.
void HalveBW(const IMG& source, IMG& target) {
    const HalfSizeTable& levels = HalfSizeLevels();
    const int groups = target.width / 4;  // whole source bytes, four output pixels each
    for (int j = 0; j < target.height; ++j) {
        const uint8_t* top = PictureRow(source, 2 * j);
        const uint8_t* bottom = PictureRow(source, 2 * j + 1);
        uint8_t* out = PictureRow(target, j);
        for (int g = 0; g < groups; ++g) std::memcpy(out + 4 * g, levels[top[g] << 8 | bottom[g]].data(), 4);
        for (uint32_t i = 4u * groups; i < target.width; ++i)
            out[i] = HalfLevel(Bit(top, 2 * i) + Bit(top, 2 * i + 1) + Bit(bottom, 2 * i) + Bit(bottom, 2 * i + 1));
        LumoProgressRow(j, target.height);
    }
}

// White pixels among columns first .. first + count - 1 of a row (count >= 1).
inline uint32_t CountWhite(const uint8_t* row, uint32_t first, uint32_t count) {
    const uint32_t last = first + count - 1;
    const uint32_t firstByte = first >> 3, lastByte = last >> 3;
    const unsigned headMask = 0xFFu >> (first & 7);
    const unsigned tailMask = (0xFFu << (7 - (last & 7))) & 0xFFu;
    if (firstByte == lastByte) return std::popcount(row[firstByte] & headMask & tailMask);
    uint32_t white = std::popcount(row[firstByte] & headMask) + std::popcount(row[lastByte] & tailMask);
    for (uint32_t b = firstByte + 1; b < lastByte; ++b) white += std::popcount(static_cast<unsigned>(row[b]));
    return white;
}

// Averaging path: a white bit counts 255, a black one 0, over each block of columns x rows.
void AverageBW(const IMG& source, IMG& target, const ColumnSpan* spans) {
    LumoBuffer<uint64_t> whites = LumoAllocBuffer<uint64_t>(target.width, kModule);
    RowBlocks blocks(source.height, target.height);
    for (int j = 0; j < target.height; ++j) {
        LumoProgress(j * 100 / target.height);
        const RowSpan rows = blocks.next();
        std::fill(whites.get(), whites.get() + target.width, 0);
        for (uint32_t r = 0; r < rows.count; ++r) {
            const uint8_t* row = PictureRow(source, rows.first + r);
            for (int i = 0; i < target.width; ++i) whites[i] += CountWhite(row, spans[i].first, spans[i].count);
        }
        uint8_t* out = PictureRow(target, j);
        for (int i = 0; i < target.width; ++i)
            out[i] = static_cast<uint8_t>(255 * whites[i] / (static_cast<uint64_t>(spans[i].count) * rows.count));
    }
}

}  // namespace

ImagePtr LumoShrinkBWToGRAY256(const IMG* image, int newWidth, int newHeight) {
    CheckRescaleSizes(kModule, *image, newWidth, newHeight);
    RequireKind(kModule, *image, ImageKind::BW);
    ImagePtr target = LumoCreateImage(newWidth, newHeight, GRAY, nullptr, 8);
    const bool exactHalf = newWidth == image->width / 2 && newHeight == image->height / 2;
    LumoBuffer<ColumnSpan> spans;
    if (!exactHalf) {
        spans = MakeColumnSpans(image->width, newWidth, image->width - 1u, kModule);
        if (newWidth > image->width || newHeight > image->height) LumoError(kModule, "Can't shrink to a bigger size");
    }
    LumoProgress(-1);
    if (exactHalf)
        HalveBW(*image, *target);
    else
        AverageBW(*image, *target, spans.get());
    LumoProgress(-2);
    return target;
}
