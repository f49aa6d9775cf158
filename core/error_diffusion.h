// Floyd-Steinberg shares of a diffused error, shared by the bi-level dither and the quantizer.
#pragma once

#include <cstdint>

// The four shares of an error e: (k * e) / 16 for k = 7, 3, 5, 1, truncated toward zero.
struct ErrorShares {
    int16_t right;       // 7/16 to the next pixel of the row
    int16_t belowLeft;   // 3/16 to the pixel below-left
    int16_t below;       // 5/16 to the pixel below
    int16_t belowRight;  // 1/16 to the pixel below-right
};

// Errors lie in -255..255: the diffused level is clamped to 0..255 before the output level
// (0..255) is subtracted. One table load replaces four signed divisions.
class ErrorShareTable {
public:
    static constexpr int kMaxError = 255;

    constexpr ErrorShareTable() : shares_{} {
        for (int e = -kMaxError; e <= kMaxError; ++e)
            shares_[e + kMaxError] = {static_cast<int16_t>(7 * e / 16), static_cast<int16_t>(3 * e / 16),
                                      static_cast<int16_t>(5 * e / 16), static_cast<int16_t>(e / 16)};
    }
    constexpr const ErrorShares& operator[](int error) const { return shares_[error + kMaxError]; }

private:
    ErrorShares shares_[2 * kMaxError + 1];
};

inline constexpr ErrorShareTable kErrorShares{};

inline int ClampLevel(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// The row scheme of every error diffusion here. Picture rows go top to bottom, each left to
// right; rows 0 to height - 2 are computed and the error of row r reaches row r + 1 only when
// that is not the bottom row, whose output the caller then copies from the row above. A picture
// of one row has no row to copy from: its row is computed, spreading along the row only.
// load(y, slot) fills working row slot (0 or 1) with the plain values of picture row y;
// diffuse(y, slot, spreadDown) computes picture row y from working row slot, spreading into
// the other slot when spreadDown is true.
template <typename Load, typename Diffuse>
void ForEachDiffusedRow(int height, Load&& load, Diffuse&& diffuse) {
    if (height == 0) return;
    load(0, 0);
    const int computedRows = height > 1 ? height - 1 : 1;
    for (int y = 0, slot = 0; y < computedRows; ++y, slot ^= 1) {
        if (y + 1 < height) load(y + 1, slot ^ 1);
        diffuse(y, slot, y + 2 < height);
    }
}
