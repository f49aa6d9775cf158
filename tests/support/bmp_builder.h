// BMP files built field by field for the loader's tests, and pictures compared as RGB bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image.h"

struct BmpFields {
    uint32_t infoSize = 40;               // 12 writes a core header (16-bit sizes, 3-byte table entries)
    int32_t width = 1;
    int32_t height = 1;                   // negative: the rows are given top row first
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;             // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t xPixelsPerMetre = 2834;
    uint32_t yPixelsPerMetre = 2834;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> table;          // 0xRRGGBB entries
    std::vector<uint32_t> masks;          // after a 40-byte header, inside a larger one
    std::vector<uint8_t> pixels;          // the pixel data as stored
    std::optional<uint32_t> pixelOffset;  // default: right after the table
};

std::vector<uint8_t> BuildBmp(const BmpFields& fields);

// Stored rows from picture rows given top row first, each padded to rowBytes (bottom row first
// unless topDown).
std::vector<uint8_t> StoredRows(const std::vector<std::vector<uint8_t>>& rows, size_t rowBytes,
                                bool topDown = false);

// The table entries (i * step) as gray, for ramps.
std::vector<uint32_t> GrayTable(int entries, int step);

// Run-length codes of a 4- or 8-bit image: runs of equal pixels, absolute runs for the rest,
// an end-of-line code after every row and an end-of-bitmap code.
std::vector<uint8_t> EncodeRle(const IMG& image);

// The picture as red, green, blue bytes, top row first (gray levels and palettes expanded).
std::vector<uint8_t> RgbPixels(const IMG& image);

// What a reference tool decodes from a file, as RGB bytes top row first (empty when it failed).
std::vector<uint8_t> PillowRgb(const std::string& path);
std::vector<uint8_t> MagickRgb(const std::string& path);

// Writes the picture as a binary PPM file, the source the reference tools convert from.
void WritePpm(const IMG& image, const std::string& path);
