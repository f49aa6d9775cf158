// The blocks of a GIF file that both the first-image loader and the frame reader parse: the
// signature, the screen and image descriptors, the LZW code size, and the row order of interlacing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/input_file.h"

namespace gif {

inline constexpr const char* kLoadModule = "LumoLoadGif";

// Flag bits shared by the screen and image descriptors.
inline constexpr uint8_t kColorTablePresent = 0x80;
inline constexpr uint8_t kInterlaced = 0x40;  // image descriptor only

// The colour table length coded in the low 3 bits of a descriptor's flags.
inline int TableLength(uint8_t flags) { return 2 << (flags & 7); }

// The logical screen descriptor after the 6-byte signature; integers little-endian.
struct ScreenDescriptor {
    uint16_t width;      // canvas width (the frame reader composes on it; the loader takes the image's size)
    uint16_t height;
    uint8_t flags;       // 0x80: a global colour table follows; low 3 bits: its length
    uint8_t background;  // background colour index: not used (the screen starts white, as on a web page)
    uint8_t aspect;      // pixel aspect ratio: 0 or 49 mean square pixels
};

// The image descriptor after the "," separator; integers little-endian.
struct ImageDescriptor {
    uint16_t left;    // position on the canvas (the frame reader's; the loader ignores it)
    uint16_t top;
    uint16_t width;   // pixels per row
    uint16_t height;  // rows
    uint8_t flags;    // 0x80: a local colour table follows; 0x40: interlaced rows; low 3 bits: table length
};

ScreenDescriptor ReadScreenDescriptor(InputFile& file);
ImageDescriptor ReadImageDescriptor(InputFile& file);
// "GIF87a" or "GIF89a", else "Not a GIF file" or "Unexpected GIF version number".
void CheckSignature(InputFile& file);
// The minimum code size byte of an image: "Bogus codesize" refused above 11, warned about below 2.
int ReadCodeSize(InputFile& file);

// One 12-bit code stands for at most 4094 pixels, so a byte of data yields at most 2730 pixels.
inline constexpr size_t kMaxPixelsPerDataByte = 4096 * 8 / 12 + 1;
// Pictures up to this size load whatever the data left (missing pixels are 0); a larger one whose
// data could not fill it even at the highest LZW ratio is refused, so a few bytes cannot make the
// loader allocate and fill tens of megabytes.
inline constexpr size_t kAlwaysAcceptedBytes = size_t{1} << 20;

// The file row that holds picture row y of an interlaced image: rows 0, 8, 16, ... come first,
// then 4, 12, ..., then 2, 6, 10, ..., then the odd rows.
int InterlacedFileRow(int y, int height);

}  // namespace gif
