// The pixel readers of the TIFF loader. Each fills every row of an image already created for the
// file's layout and reports progress (-1, per row or tile, -2). libtiff's record is checked after
// every call, so an error libtiff reports without failing the call still ends the load.
#pragma once

#include <cstdint>

#include "core/image.h"
#include "formats/colour/srgb_conversion.h"
#include "formats/tiff/tiff_error.h"

inline constexpr const char* kTiffLoadModule = "LumoLoadTiff";

// TIFFGetField / TIFFGetFieldDefaulted followed by the check of the handle's record.
template <typename... Out>
bool GetTiffField(TiffHandle& tiff, uint32_t tag, Out... out) {
    const int found = TIFFGetField(tiff.get(), tag, out...);
    tiff.check(kTiffLoadModule);
    return found != 0;
}
template <typename... Out>
bool GetTiffFieldDefaulted(TiffHandle& tiff, uint32_t tag, Out... out) {
    const int found = TIFFGetFieldDefaulted(tiff.get(), tag, out...);
    tiff.check(kTiffLoadModule);
    return found != 0;
}

// "Can't handle this orientation: %d"; the picture is then read as top-left.
void WarnTiffOrientation(int orientation);

// Contiguous strips, one TIFFReadScanline per row straight into the image row (the file's packing is
// the image's). Orientation 4 (bottom-left) is turned upright.
void ReadTiffScanlines(TiffHandle& tiff, IMG& image, int orientation);
// Contiguous tiles, copied tile by tile into the rows they cover.
void ReadTiffTiles(TiffHandle& tiff, IMG& image, int orientation, uint32_t tileWidth, uint32_t tileLength);
// Three 8-bit samples in separate planes, in strips: interleaved into blue, green, red.
void ReadTiffPlanes(TiffHandle& tiff, IMG& image, int orientation);
// libtiff's RGBA reading of the whole picture into an RGB image, or into a GRAY256 one for gray
// layouts (libtiff gives equal red, green and blue for those). With ink, contiguous 4-sample CMYK
// goes through that CMYK profile instead of libtiff's plain formula.
void ReadTiffRgba(TiffHandle& tiff, IMG& image, const InkConverter* ink = nullptr);
// 8-bit YCbCr in contiguous strips, subsampled blocks turned into RGB by our own converter.
void ReadTiffYCbCr(TiffHandle& tiff, IMG& image, int orientation);
