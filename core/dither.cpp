#include <cstring>

#include "core/conversion_steps.h"
#include "core/error_diffusion.h"
#include "core/memory.h"

namespace {

// Dithers one picture row. current holds its working levels and next those of the row below,
// which has a scratch entry at index -1 so that the first column needs no test. The 7/16 share
// for the right neighbour is carried in a register, and the shares for the row below are summed
// in registers so that each entry of next is updated once, when no later pixel can add to it.
template <bool SpreadDown>
void DitherRow(const int16_t* current, int16_t* next, uint8_t* out, int width, int threshold) {
    int carried = 0;        // share of the pixel on the left
    int owedLeft = 0;       // shares owed to next[x - 1] by the pixels before x
    int owedHere = 0;       // share owed to next[x] by the pixel before x
    unsigned byte = 0;
    int x = 0;
    for (; x < width; ++x) {
        const int level = ClampLevel(current[x] + carried);
        const bool white = level > threshold;
        const ErrorShares& share = kErrorShares[white ? level - 255 : level];
        carried = share.right;
        if constexpr (SpreadDown) {
            next[x - 1] = static_cast<int16_t>(next[x - 1] + owedLeft + share.belowLeft);
            owedLeft = owedHere + share.below;
            owedHere = share.belowRight;
        }
        byte = byte << 1 | static_cast<unsigned>(white);
        if ((x & 7) == 7) {
            *out++ = static_cast<uint8_t>(byte);
            byte = 0;
        }
    }
    if constexpr (SpreadDown) next[width - 1] = static_cast<int16_t>(next[width - 1] + owedLeft);
    if (x & 7) *out = static_cast<uint8_t>(byte << (8 - (x & 7)));
}

}  // namespace

ImagePtr DitherGray256ToBW(const IMG& source, int threshold) {
    ImagePtr target = CreateLike(source, BILEVEL, 1);
    const int width = source.width, height = source.height;
    if (width == 0 || height == 0) return target;

    const size_t stride = static_cast<size_t>(width) + 1;
    LumoBuffer<int16_t> levels = LumoAllocBuffer<int16_t>(2 * stride, "LumoToBW");
    int16_t* const rows[2] = {levels.get() + 1, levels.get() + 1 + stride};
    const size_t used = (static_cast<size_t>(width) + 7) / 8;
    const RowProgress progress(height);

    const auto load = [&](int y, int slot) {
        int16_t* row = rows[slot];
        const uint8_t* pixels = PictureRow(source, y);
        row[-1] = 0;
        for (int x = 0; x < width; ++x) row[x] = pixels[x];
    };
    const auto diffuse = [&](int y, int slot, bool spreadDown) {
        uint8_t* out = PictureRow(*target, y);
        if (spreadDown)
            DitherRow<true>(rows[slot], rows[slot ^ 1], out, width, threshold);
        else
            DitherRow<false>(rows[slot], rows[slot ^ 1], out, width, threshold);
        ClearRowPadding(out, used, target->rowBytes);
        progress.row(y);
    };
    ForEachDiffusedRow(height, load, diffuse);
    if (height >= 2) std::memcpy(PictureRow(*target, height - 1), PictureRow(*target, height - 2), target->rowBytes);
    progress.row(height - 1);
    progress.done();
    return target;
}
