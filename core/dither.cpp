#include <algorithm>
#include <cstring>

#include "core/conversion_steps.h"
#include "core/error_diffusion.h"
#include "core/memory.h"

namespace {

// Dithers one picture row. current and next hold the working levels of this row and the
// next, with one scratch entry on each side (index -1 and width) so that the shares of the
// first and last columns need no tests; the scratch entries are never read back.
template <bool SpreadDown>
void DitherRow(int16_t* current, int16_t* next, uint8_t* out, int width, int threshold) {
    unsigned byte = 0;
    int x = 0;
    for (; x < width; ++x) {
        const int level = ClampLevel(current[x]);
        const bool white = level > threshold;
        const ErrorShares& share = kErrorShares[white ? level - 255 : level];
        current[x + 1] = static_cast<int16_t>(current[x + 1] + share.right);
        if constexpr (SpreadDown) {
            next[x - 1] = static_cast<int16_t>(next[x - 1] + share.belowLeft);
            next[x] = static_cast<int16_t>(next[x] + share.below);
            next[x + 1] = static_cast<int16_t>(next[x + 1] + share.belowRight);
        }
        byte = byte << 1 | static_cast<unsigned>(white);
        if ((x & 7) == 7) {
            *out++ = static_cast<uint8_t>(byte);
            byte = 0;
        }
    }
    if (x & 7) *out = static_cast<uint8_t>(byte << (8 - (x & 7)));
}

void LoadRow(int16_t* levels, const uint8_t* row, int width) {
    levels[-1] = levels[width] = 0;
    for (int x = 0; x < width; ++x) levels[x] = row[x];
}

}  // namespace

// Rows are dithered top to bottom. Rows 0 to height - 2 are computed, the error of row r
// reaching row r + 1 only when that is not the bottom row, and the bottom row repeats the
// row above it. A picture of one row has no row to repeat: that row is dithered along the
// row (7/16 to the right) like any other.
ImagePtr DitherGray256ToBW(const IMG& source, int threshold) {
    ImagePtr target = CreateLike(source, BILEVEL, 1);
    const int width = source.width, height = source.height;
    if (width == 0 || height == 0) return target;

    LumoBuffer<int16_t> levels = LumoAllocBuffer<int16_t>(2 * (static_cast<size_t>(width) + 2), "LumoToBW");
    int16_t* current = levels.get() + 1;
    int16_t* next = current + width + 2;
    const size_t used = (static_cast<size_t>(width) + 7) / 8;

    const int computedRows = std::max(height - 1, 1);
    const RowProgress progress(height);
    LoadRow(current, PictureRow(source, 0), width);
    for (int r = 0; r < computedRows; ++r) {
        uint8_t* out = PictureRow(*target, r);
        if (r + 1 < height) LoadRow(next, PictureRow(source, r + 1), width);
        if (r + 2 < height)
            DitherRow<true>(current, next, out, width, threshold);
        else
            DitherRow<false>(current, next, out, width, threshold);
        ClearRowPadding(out, used, target->rowBytes);
        std::swap(current, next);
        progress.row(r);
    }
    if (height >= 2) std::memcpy(PictureRow(*target, height - 1), PictureRow(*target, height - 2), target->rowBytes);
    progress.row(height - 1);
    progress.done();
    return target;
}
