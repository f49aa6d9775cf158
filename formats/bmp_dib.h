// Device-independent bitmaps in memory, as programs hand pictures to each other through the
// clipboard: the info header and colour table of an uncompressed DIB (the BMP saver writes the same
// ones), and a reader that turns a packed DIB or a whole BMP file held in a block into an image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/image.h"

// What the 40-byte info header and the colour table of an uncompressed, bottom-up DIB state.
struct DibFormat {
    int width = 0;
    int height = 0;
    int bitCount = 24;             // 1, 4, 8 or 24
    uint32_t xPixelsPerMetre = 0;  // 0: not stated
    uint32_t yPixelsPerMetre = 0;
    std::vector<uint8_t> colors;   // red, green, blue of each colour-table entry
};

// The header and table of an image as the BMP saver writes them: the colour table of its kind (BW
// black then white, gray ramps, its palette) and its resolutions, or 150 dots per inch without both.
DibFormat DibFormatOf(const IMG& image);
// The info header (size 40, one plane, no compression, the image size of the rows, no colour
// counts) followed by the colour table as blue, green, red, 0 entries.
std::vector<uint8_t> MakeDibHeader(const DibFormat& format);

// An image read from a DIB, or none and why.
struct DibImage {
    ImagePtr image;
    const char* problem = nullptr;  // set when image is null
};

// Reads a packed DIB (core, info, V4 or V5 header, colour table, rows) or a whole BMP file (which
// starts with "BM"; its pixels lie at the file header's offset). The block comes from another
// program: every size, count and row is checked against its length before it is read.
// 1-bit data whose table is black and white (either order) gives BW, inverted when white comes
// first, and two other colours COLOR16; 4- and 8-bit data gives COLOR16 and COLOR256 with the table
// (entries the DIB does not store are black); 16-, 24- and 32-bit data gives RGB. Compressed rows,
// other bit counts, more than 256 colours for 8 bits or fewer, sizes an image cannot have and data
// shorter than its header promises give no image.
DibImage DibToImage(const uint8_t* block, size_t size);
