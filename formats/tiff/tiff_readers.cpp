#include "formats/tiff/tiff_readers.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/messages.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

// Bytes that count pixels of the image's depth take in a packed row.
size_t PackedBytes(uint64_t count, int bitsPerPixel) { return static_cast<size_t>((count * bitsPerPixel + 7) / 8); }

// A tile may be larger than the picture (a small picture in one 256 x 256 tile), but a header must
// not make us allocate far more than the picture itself.
constexpr size_t kAlwaysAcceptedTileBytes = size_t{4} << 20;

// Pixel i of a packed row of 1- or 4-bit pixels (most significant bits leftmost).
unsigned PackedPixel(const uint8_t* row, int bitsPerPixel, uint64_t i) {
    if (bitsPerPixel == 1) return row[i / 8] >> (7 - i % 8) & 1;
    return i % 2 ? row[i / 2] & 0x0F : row[i / 2] >> 4;
}

void SetPackedPixel(uint8_t* row, int bitsPerPixel, uint64_t i, unsigned value) {
    if (bitsPerPixel == 1) {
        const auto mask = static_cast<uint8_t>(0x80 >> (i % 8));
        row[i / 8] = static_cast<uint8_t>(value ? row[i / 8] | mask : row[i / 8] & ~mask);
    } else if (i % 2) {
        row[i / 2] = static_cast<uint8_t>((row[i / 2] & 0xF0) | value);
    } else {
        row[i / 2] = static_cast<uint8_t>((row[i / 2] & 0x0F) | value << 4);
    }
}

// Copies count pixels from the start of source to pixel x of destination.
void CopyPixels(const uint8_t* source, uint8_t* destination, uint64_t x, uint64_t count, int bitsPerPixel) {
    if (x * bitsPerPixel % 8 == 0) {
        std::memcpy(destination + x * bitsPerPixel / 8, source, PackedBytes(count, bitsPerPixel));
        return;
    }
    // Only a tile width that is not a multiple of 8 (which TIFF asks for, but libtiff accepts with a
    // warning) puts a tile's first pixel inside a byte.
    for (uint64_t i = 0; i < count; ++i)
        SetPackedPixel(destination, bitsPerPixel, x + i, PackedPixel(source, bitsPerPixel, i));
}

// libtiff's RGBA state with the converter its put routine uses (the state must come first: libtiff
// hands the routine a pointer to it).
struct InkRgbaImage {
    TIFFRGBAImage rgba;
    const InkConverter* ink;
};

// libtiff's put routine for contiguous 8-bit ink, with the profile in place of its plain formula:
// h rows of w pixels from pp into the raster at cp, skipping fromskew pixels and toskew raster
// entries after each row. Called from libtiff's frames: nothing here allocates or throws.
void PutInkThroughProfile(TIFFRGBAImage* rgba, uint32_t* cp, uint32_t, uint32_t, uint32_t w, uint32_t h,
                          int32_t fromskew, int32_t toskew, unsigned char* pp) {
    const InkConverter& ink = *reinterpret_cast<InkRgbaImage*>(rgba)->ink;
    constexpr uint32_t kChunk = 256;
    uint8_t bgr[3 * kChunk];
    for (; h > 0; --h) {
        for (uint32_t done = 0; done < w;) {
            const uint32_t count = std::min(kChunk, w - done);
            ink.convert(pp, bgr, count);
            for (uint32_t i = 0; i < count; ++i)
                *cp++ = bgr[3 * i + 2] | uint32_t{bgr[3 * i + 1]} << 8 | uint32_t{bgr[3 * i]} << 16 |
                        uint32_t{0xFF} << 24;
            pp += 4 * count;
            done += count;
        }
        cp += toskew;
        pp += static_cast<ptrdiff_t>(fromskew) * 4;
    }
}

// TIFFReadRGBAImage with the ink put routine in libtiff's place; bottom row first, as the image.
int ReadInkRgba(TIFF* tif, uint32_t width, uint32_t height, uint32_t* raster, const InkConverter* ink) {
    InkRgbaImage state{};
    state.ink = ink;
    char reason[1024] = "";
    if (!TIFFRGBAImageBegin(&state.rgba, tif, 0, reason)) return 0;
    if (state.rgba.isContig && state.rgba.samplesperpixel == 4 && state.rgba.bitspersample == 8)
        state.rgba.put.contig = PutInkThroughProfile;
    state.rgba.req_orientation = ORIENTATION_BOTLEFT;
    const int read = TIFFRGBAImageGet(&state.rgba, raster, width, height);
    TIFFRGBAImageEnd(&state.rgba);
    return read;
}

}  // namespace

void WarnTiffOrientation(int orientation) {
    LumoWarning(kModule, "Can't handle this orientation: %d", orientation);
}

void ReadTiffScanlines(TiffHandle& tiff, IMG& image, int orientation) {
    const bool bottomUp = orientation == ORIENTATION_BOTLEFT;
    if (orientation != ORIENTATION_TOPLEFT && !bottomUp) WarnTiffOrientation(orientation);
    // Each row is read straight into the image: libtiff must agree on its size, or it would write
    // past the row (or leave part of it unwritten).
    const tmsize_t lineSize = TIFFScanlineSize(tiff.get());
    tiff.check(kModule);
    const size_t expected = PackedBytes(image.width, image.bitsPerPixel);
    if (lineSize <= 0 || static_cast<size_t>(lineSize) != expected)
        LumoError(kModule, "Unexpected scanline size %ld for %d pixels of %d bits", static_cast<long>(lineSize),
                  image.width, image.bitsPerPixel);

    LumoProgress(-1);
    for (int r = 0; r < image.height; ++r) {
        uint8_t* row = PictureRow(image, bottomUp ? image.height - 1 - r : r);
        const int read = TIFFReadScanline(tiff.get(), row, static_cast<uint32_t>(r), 0);
        tiff.check(kModule);
        if (read < 0) LumoError(kModule, "Can't read row %d", r);
        LumoProgressRow(r, image.height);
    }
    LumoProgress(-2);
    if (image.bitsPerPixel == 24) LumoSwapRedBlue(&image);
}

void ReadTiffTiles(TiffHandle& tiff, IMG& image, int orientation, uint32_t tileWidth, uint32_t tileLength) {
    if (orientation != ORIENTATION_TOPLEFT) WarnTiffOrientation(orientation);
    const int bpp = image.bitsPerPixel;
    const tmsize_t tileSize = TIFFTileSize(tiff.get());
    tiff.check(kModule);
    if (tileWidth == 0 || tileLength == 0 || tileSize <= 0)
        LumoError(kModule, "Bad tile size %u x %u", tileWidth, tileLength);
    if (static_cast<size_t>(tileSize) > std::max(kAlwaysAcceptedTileBytes, PixelBytes(image)))
        LumoError(kModule, "Tiles of %u x %u pixels are too large for a %d x %d picture", tileWidth, tileLength,
                  image.width, image.height);
    const size_t tileRowBytes = static_cast<size_t>(tileSize) / tileLength;
    if (tileRowBytes < PackedBytes(tileWidth, bpp))
        LumoError(kModule, "Unexpected tile size %ld for %u x %u pixels of %d bits", static_cast<long>(tileSize),
                  tileWidth, tileLength, bpp);
    LumoBuffer<uint8_t> tile = LumoAllocBuffer<uint8_t>(static_cast<size_t>(tileSize), kModule);

    const uint64_t tileRows = (image.height + uint64_t{tileLength} - 1) / tileLength;
    const uint64_t tileColumns = (image.width + uint64_t{tileWidth} - 1) / tileWidth;
    uint64_t tilesRead = 0;
    LumoProgress(-1);
    for (uint64_t y = 0; y < image.height; y += tileLength) {
        for (uint64_t x = 0; x < image.width; x += tileWidth) {
            const tmsize_t read = TIFFReadTile(tiff.get(), tile.get(), static_cast<uint32_t>(x),
                                               static_cast<uint32_t>(y), 0, 0);
            tiff.check(kModule);
            if (read < 0) LumoError(kModule, "Can't read the tile at %lu, %lu", static_cast<unsigned long>(x),
                                    static_cast<unsigned long>(y));
            LumoProgress(static_cast<int>(++tilesRead * 100 / (tileRows * tileColumns)));
            const uint64_t columns = std::min<uint64_t>(tileWidth, image.width - x);
            const uint64_t rows = std::min<uint64_t>(tileLength, image.height - y);
            for (uint64_t j = 0; j < rows; ++j)
                CopyPixels(tile.get() + j * tileRowBytes, PictureRow(image, static_cast<int>(y + j)), x, columns, bpp);
        }
    }
    LumoProgress(-2);
    if (bpp == 24) LumoSwapRedBlue(&image);
}

void ReadTiffPlanes(TiffHandle& tiff, IMG& image, int orientation) {
    if (orientation != ORIENTATION_TOPLEFT) WarnTiffOrientation(orientation);
    TIFF* tif = tiff.get();
    uint32_t rowsPerStrip = 0;
    GetTiffFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min<uint32_t>(rowsPerStrip, image.height);
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    tiff.check(kModule);
    const tmsize_t stripSize = TIFFStripSize(tif);
    tiff.check(kModule);
    // Whole strips, one per plane at a time: reading each sample row by row would make libtiff decode
    // every compressed strip again from its start for each row.
    if (rowsPerStrip == 0 || lineSize < image.width ||
        stripSize < static_cast<tmsize_t>(lineSize) * static_cast<tmsize_t>(rowsPerStrip))
        LumoError(kModule, "Unexpected strip size %ld for %u rows of %d pixels", static_cast<long>(stripSize),
                  rowsPerStrip, image.width);
    LumoBuffer<uint8_t> planes[3];
    for (LumoBuffer<uint8_t>& plane : planes) plane = LumoAllocBuffer<uint8_t>(static_cast<size_t>(stripSize), kModule);

    LumoProgress(-1);
    for (uint32_t top = 0; top < image.height; top += rowsPerStrip) {
        const uint32_t rows = std::min<uint32_t>(rowsPerStrip, image.height - top);
        for (uint16_t sample = 0; sample < 3; ++sample) {
            const uint32_t strip = TIFFComputeStrip(tif, top, sample);
            tiff.check(kModule);
            const tmsize_t read = TIFFReadEncodedStrip(tif, strip, planes[sample].get(), stripSize);
            tiff.check(kModule);
            if (read < static_cast<tmsize_t>(lineSize) * rows)
                LumoError(kModule, "Strip %u holds %ld bytes where %ld are needed", strip, static_cast<long>(read),
                          static_cast<long>(lineSize) * rows);
        }
        for (uint32_t j = 0; j < rows; ++j) {
            const size_t offset = static_cast<size_t>(j) * static_cast<size_t>(lineSize);
            const uint8_t* red = planes[0].get() + offset;
            const uint8_t* green = planes[1].get() + offset;
            const uint8_t* blue = planes[2].get() + offset;
            uint8_t* row = PictureRow(image, static_cast<int>(top + j));
            for (int x = 0; x < image.width; ++x) {
                row[3 * x] = blue[x];
                row[3 * x + 1] = green[x];
                row[3 * x + 2] = red[x];
            }
            LumoProgressRow(top + j, image.height);
        }
    }
    LumoProgress(-2);
}

void ReadTiffRgba(TiffHandle& tiff, IMG& image, const InkConverter* ink) {
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    LumoBuffer<uint32_t> raster(static_cast<uint32_t*>(LumoAlloc(pixels * sizeof(uint32_t))));
    if (!raster) LumoError(kModule, "Can't alloc raster buffer");
    // Parts libtiff leaves unwritten read as black, not as whatever the allocator held.
    std::memset(raster.get(), 0, pixels * sizeof(uint32_t));

    LumoProgress(-1);
    const int loaded = ink ? ReadInkRgba(tiff.get(), image.width, image.height, raster.get(), ink)
                           : TIFFReadRGBAImage(tiff.get(), image.width, image.height, raster.get(), 0);
    tiff.check(kModule);
    if (loaded != 1) LumoError(kModule, "Can't load raster buffer");
    // The raster's first row is the bottom of the picture, as in the image.
    for (int i = 0; i < image.height; ++i) {
        const uint32_t* source = raster.get() + static_cast<size_t>(i) * image.width;
        uint8_t* row = MemoryRow(image, i);
        if (image.bitsPerPixel == 8) {
            for (int x = 0; x < image.width; ++x) row[x] = static_cast<uint8_t>(TIFFGetG(source[x]));
        } else {
            for (int x = 0; x < image.width; ++x) {
                row[3 * x] = static_cast<uint8_t>(TIFFGetB(source[x]));
                row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
                row[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(source[x]));
            }
        }
        LumoProgressRow(i, image.height);
    }
    LumoProgress(-2);
}
