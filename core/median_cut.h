// Median-cut choice of a palette from the quantizer's 32 x 32 x 32 colour histogram.
#pragma once

#include <cstdint>

constexpr int kHistogramCells = 32 * 32 * 32;

// The histogram cell of 5-bit components, red slowest and blue fastest.
inline int HistogramCell(int red5, int green5, int blue5) { return red5 << 10 | green5 << 5 | blue5; }
// The histogram cell of an 8-bit colour (each component shifted right by 3).
inline int HistogramCellOf(int red, int green, int blue) {
    return (red & 0xF8) << 7 | (green & 0xF8) << 2 | blue >> 3;
}

// Splits the histogram of `pixels` pixels into at most maxColours boxes and writes one palette
// entry (red, green, blue) per box, newest box first; returns the number of boxes. The
// entries after the last box are left as they are.
int MedianCutPalette(const uint32_t* histogram, uint64_t pixels, int maxColours, uint8_t* palette);
