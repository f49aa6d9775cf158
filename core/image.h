// The image record IMG: header, optional colour table and device-independent bitmap rows
// (bottom row first, rows padded to 4 bytes, RGB pixels stored blue, green, red).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

enum ColorClass : uint8_t { BILEVEL = 0, GRAY = 1, COLOR = 2 };

enum class ImageKind { BW, GRAY16, GRAY256, COLOR16, COLOR256, RGB };

struct IMG {
    uint16_t width;        // pixels per row
    uint16_t rowBytes;     // bytes per stored row, padded to a multiple of 4
    uint16_t height;       // number of rows
    uint8_t colorClass;    // ColorClass
    uint8_t bitsPerPixel;  // 1, 4, 8 or 24
    float xResolution;     // dots per inch, 0 = not stated
    float yResolution;     // dots per inch, 0 = not stated
    uint8_t* palette;      // 3-byte red, green, blue entries (COLOR16: 16, COLOR256: 256), or null
    uint8_t* bits;         // rowBytes * height bytes, or null when that is 0
};

constexpr int kMaxImageDimension = 65535;  // width, height and rowBytes are 16-bit fields

struct PaletteDeleter {
    void operator()(uint8_t* palette) const;
};
struct ImageDeleter {
    void operator()(IMG* image) const;
};
// Owners that release through the counted allocator however an operation ends.
using PalettePtr = std::unique_ptr<uint8_t[], PaletteDeleter>;
using ImagePtr = std::unique_ptr<IMG, ImageDeleter>;

// Creates an image; adopts the palette. Reports "Illegal Parameters" for a class and depth
// that are not one of the six kinds or a palette where none belongs, and refuses sizes
// whose width, height or row size do not fit the record. The pixel rows are uninitialised.
ImagePtr LumoCreateImage(int width, int height, int colorClass, PalettePtr palette, int bitsPerPixel);
// The check every loader makes on the size a file states, before it allocates for it: a side of 0
// or past the record's 16 bits is refused with the record's out-of-range message, and a picture of
// more pixels than the global option "maxpixels" (the profile key MaxPixels; 0 = no such limit)
// with a message naming the size and the key.
void CheckLoadSize(const char* module, long width, long height);
// Changes the number of rows by count (negative shrinks); rows are added and removed at the top.
void LumoAddRowsImage(IMG* image, int count);
void LumoFreeImage(IMG* image);

PalettePtr CreateIMGPalette(int count);
void LumoFreePalette(uint8_t* palette);
void LumoSetPaletteEntry(uint8_t* palette, int index, int red, int green, int blue);
void LumoGetPaletteEntry(const uint8_t* palette, int index, int* red, int* green, int* blue);

// Shows "Image %d x %d %s" in a message box captioned "Info".
void LumoDumpInfoImage(const IMG* image);
// Reverses the order of the rows in place.
void FlipImage(IMG* image);
// Black becomes white and back for BW, GRAY16 and GRAY256; colour images are refused.
void LumoInvertImage(IMG* image);
// Exchanges the first and third byte of every pixel of an RGB image.
void LumoSwapRedBlue(IMG* image);

// ((width * bitsPerPixel + 31) / 32) * 4, the stored row size of IMG and of BMP files.
constexpr long RowBytesFor(long width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

ImageKind KindOf(const IMG& image);
const char* KindName(ImageKind kind);  // "BW", "GRAY16", ...
int ColorClassOf(ImageKind kind);
int BitsPerPixelOf(ImageKind kind);
inline bool IsKind(const IMG& image, ImageKind kind) { return KindOf(image) == kind; }
// The colour of the pixel at (x, y), y counted from the top, as 0xRRGGBB (BW: black 0, white 1).
uint32_t PixelColour(const IMG& image, int x, int y);

// Stored row k (0 = bottom row of the picture).
inline uint8_t* MemoryRow(IMG& image, int k) { return image.bits + static_cast<size_t>(k) * image.rowBytes; }
inline const uint8_t* MemoryRow(const IMG& image, int k) {
    return image.bits + static_cast<size_t>(k) * image.rowBytes;
}
// Picture row y (0 = top row).
inline uint8_t* PictureRow(IMG& image, int y) { return MemoryRow(image, image.height - 1 - y); }
inline const uint8_t* PictureRow(const IMG& image, int y) { return MemoryRow(image, image.height - 1 - y); }
inline size_t PixelBytes(const IMG& image) { return static_cast<size_t>(image.rowBytes) * image.height; }
