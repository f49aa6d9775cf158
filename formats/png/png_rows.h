// The pixel rows of a PNG as libspng gives them (its own layout, 16-bit samples in host order) turned
// into the rows of the record, and back: the kind a PNG loads as, transparency composited over white.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/image.h"

// What the loader knows of the file's pixels.
struct PngPixels {
    int colorType;  // 0 gray, 2 RGB, 3 palette, 4 gray + alpha, 6 RGBA
    int bitDepth;   // 1, 2, 4, 8 or 16 (per sample)
    int width;
    bool hasKey;    // a tRNS chunk names one fully transparent gray level or colour
    uint16_t keyGray, keyRed, keyGreen, keyBlue;  // that level or colour, at the file's depth
};

// The kind a PNG of this colour type and depth loads as.
ImageKind PngLoadKind(int colorType, int bitDepth);
// Bytes of one row in libspng's layout of the file's own format.
size_t PngRowBytes(int colorType, int bitDepth, int width);
// Turns one decoded row into a stored row of the record (of PngLoadKind; palette indices unchanged).
void ConvertPngRow(const PngPixels& pixels, const uint8_t* source, uint8_t* row);

// A colour over white: channel c seen through alpha a, both of 8 bits, rounded.
inline uint8_t OverWhite8(unsigned c, unsigned a) { return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255); }
// A 16-bit sample reduced to 8 bits, rounded (65535 -> 255, 32896 -> 128).
inline uint8_t Reduce16(unsigned v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// How an image is written: PNG colour type and bit depth (its rows are CopyRowForFile's).
struct PngSaveFormat {
    int colorType;
    int bitDepth;
};
PngSaveFormat PngSaveFormatOf(const IMG& image);
