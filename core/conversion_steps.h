// The single-step conversions that the routes of convert.cpp chain together, the current
// conversion options, and the per-row progress report they share.
#pragma once

#include <array>
#include <cstdint>

#include "core/image.h"
#include "core/messages.h"

struct ConvertOptions {
    int redFactor;    // weight of red in colour-to-gray, in percent
    int greenFactor;  // weight of green, in percent
    int blueFactor;   // weight of blue, in percent
    int threshold;    // gray level from which (plain) or above which (dithered) a pixel is white
    int dither;       // non-zero: error diffusion for BW and for the quantizer
};

// One value per source index or level (bit, nibble or byte).
using LevelTable = std::array<uint8_t, 256>;

// A new image of the given class and depth (1, 4 or 8 bits) whose pixel at x is
// table[source pixel at x]; the source has 1, 4 or 8 bits per pixel. The palette is adopted.
ImagePtr MapLevels(const IMG& source, const LevelTable& table, int colorClass, int bitsPerPixel,
                   PalettePtr palette = nullptr);
// A new RGB image whose pixel at x is colours[source pixel at x], colours being 256 entries
// in the stored order blue, green, red; the source has 1, 4 or 8 bits per pixel.
ImagePtr ExpandToRGB(const IMG& source, const std::array<uint8_t, 3 * 256>& colours);
// RGB to GRAY256 with each weighted term divided by 100 separately, stored as its low 8 bits.
ImagePtr WeightRGBToGray256(const IMG& source, const ConvertOptions& options);
// GRAY256 to BW by Floyd-Steinberg error diffusion: white when the diffused level is above threshold.
ImagePtr DitherGray256ToBW(const IMG& source, int threshold);

// An image of the source's size (and resolution) in the given kind, pixels uninitialised.
ImagePtr CreateLike(const IMG& source, int colorClass, int bitsPerPixel, PalettePtr palette = nullptr);
// Zeroes the bytes of a row past the usedBytes that hold its pixels, so results are deterministic.
void ClearRowPadding(uint8_t* row, size_t usedBytes, size_t rowBytes);

// The progress protocol of a row loop: -1 on construction, (row + 1) * 100 / rows per row,
// and -2 from done() when the loop has ended normally.
class RowProgress {
public:
    explicit RowProgress(long rows) : rows_(rows) { LumoProgress(-1); }
    void row(long index) const { LumoProgressRow(index, rows_); }
    void done() const { LumoProgress(-2); }

private:
    long rows_;
};
