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
// (0..255) is subtracted. One table lookup replaces four signed divisions per component.
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
