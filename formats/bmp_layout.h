// What the BMP file loader and the reader of bitmaps in memory (bmp_dib.h) share: the info header
// of every version decoded from its bytes, the colour table, the choice of image kind and the
// conversion of stored rows to image rows. Nothing here reports or reads outside what it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/image.h"

namespace bmp {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;     // OS/2 1.x: 16-bit sizes, 3-byte colour-table entries
constexpr uint32_t kInfoHeaderSize = 40;     // the header every later version starts with
constexpr uint32_t kMasksInHeaderSize = 52;  // from this size on the bit masks are part of the header
constexpr uint32_t kMaskBytes = 12;          // red, green and blue masks after a 40-byte header

enum Compression : uint32_t { kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// The headers of a file or DIB, whatever version it uses, in the terms of the 40-byte info header.
struct BmpHeader {
    uint32_t pixelOffset = 0;      // file offset of the first pixel row (files only)
    uint32_t infoSize = 0;         // info header size: 12 (core), 40 (info), 52..124 (later versions)
    int64_t width = 0;             // pixels per row
    int64_t height = 0;            // number of rows; negative when the rows are stored top row first
    uint16_t planes = 0;           // colour planes, 1 by definition: not used
    uint16_t bitCount = 0;         // bits per pixel: 1, 4, 8, 16, 24 or 32
    uint32_t compression = 0;      // Compression
    uint32_t xPixelsPerMetre = 0;  // horizontal resolution (0 in core headers)
    uint32_t yPixelsPerMetre = 0;  // vertical resolution (0 in core headers)
    uint32_t colorsUsed = 0;       // colour-table entries present, 0 = 2^bitCount
    uint32_t masks[3] = {};        // red, green, blue bits of a 16- or 32-bit pixel (bit-field files)
    size_t tableEntryBytes = 4;    // blue, green, red and a reserved byte; 3 bytes in core headers

    bool topDown() const { return height < 0; }
    long rows() const { return static_cast<long>(height < 0 ? -height : height); }
};

// How many bytes of an info header of that size DecodeInfoHeader reads (the rest of a V4 or V5
// header, colour space and profile, is not used); 0 for a size no version has.
size_t DecodedHeaderBytes(uint32_t infoSize);
// Fills header from an info header: info holds DecodedHeaderBytes(its size field) bytes.
void DecodeInfoHeader(const uint8_t* info, BmpHeader& header);
// Bit-field pixels after a 40-byte header keep their three masks just after it.
bool MasksFollowHeader(const BmpHeader& header);
// Takes the masks from the 12 bytes at masks (after the header, or at offset 40 inside a larger one).
void DecodeMasks(const uint8_t* masks, BmpHeader& header);
// Widths, heights and bit counts a picture can have.
bool SizeFits(const BmpHeader& header);
bool BitCountKnown(uint16_t bitCount);

// The colour table as red, green, blue entries; entries the data does not supply are 0.
struct ColorTable {
    std::array<uint8_t, 3 * 256> rgb{};
    int entries = 0;  // 2^bitCount

    bool isEntry(int index, uint8_t red, uint8_t green, uint8_t blue) const {
        return rgb[3 * index] == red && rgb[3 * index + 1] == green && rgb[3 * index + 2] == blue;
    }
    // Entry i is (i * step, i * step, i * step) for every entry.
    bool isGrayRamp(int step) const;
};

// An empty table of 2^bitCount entries (none above 8 bits), then present entries of entryBytes
// bytes each taken from stored (blue, green, red order); present is at most entries.
ColorTable DecodeColorTable(const BmpHeader& header, const uint8_t* stored, int present);

// How stored rows become image rows.
enum class RowFormat {
    Copy,        // the stored row is the image row
    Inverted,    // a 1-bit row whose table is white, black: every bit flips
    OneToFour,   // a 1-bit row with two colours: each bit becomes a 4-bit palette index
    Sixteen,     // 16-bit pixels through the bit masks to blue, green, red
    ThirtyTwo,   // 32-bit pixels the same way
};

struct PixelPlan {
    ImageKind kind;
    RowFormat format;
    PalettePtr palette;
};

// Picks the image kind: black-and-white 1-bit data is BW, two other colours COLOR16; 4- and 8-bit
// data is COLOR16 or COLOR256 with the table, or gray without palette when grayRamps is set and the
// table is an exact ramp; 16, 24 and 32 bits are RGB.
PixelPlan PlanPixels(const BmpHeader& header, const ColorTable& table, bool grayRamps);

// One colour component of a bit-field pixel scaled to 8 bits.
struct ComponentScale {
    uint32_t mask = 0;
    int shift = 0;     // position of the field's lowest bit
    int dropBits = 0;  // low bits dropped from fields wider than 8 bits
    std::array<uint8_t, 256> level{};

    explicit ComponentScale(uint32_t fieldMask);
    uint8_t operator()(uint32_t pixel) const { return level[((pixel & mask) >> shift) >> dropBits]; }
};

struct MaskedPixels {
    ComponentScale red, green, blue;
};
// The header's masks for bit-field data, else 5-5-5 for 16 bits and 8-8-8 for 32 bits.
MaskedPixels MasksFor(const BmpHeader& header);

// Stores one row of width pixels. Copy and Inverted take sourceBytes bytes (any number of whole
// rows, and source may be row itself); the other formats convert width pixels.
void StoreRows(RowFormat format, const uint8_t* source, size_t sourceBytes, uint8_t* row, int width,
               const MaskedPixels& masks);

float DotsPerInch(uint32_t pixelsPerMetre);

}  // namespace bmp
