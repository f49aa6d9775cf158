// Our own YCbCr encoder for RGB images: luma and subsampled chroma in the block layout of TIFF's
// photometric interpretation 6 (each block h x v luma samples row by row, then one Cb and one Cr),
// with the CCIR 601 luma coefficients and the reference range 0-255 / 128 +- 127 for the chroma.
#pragma once

#include <cstdint>

#include "core/image.h"
#include "formats/tiff/tiff_error.h"

// The chroma subsamplings TIFF allows: 1, 2 or 4 each way, the vertical one at most the horizontal
// one (libtiff's readers cannot read 2 x 4 or 1 x 4).
bool IsValidYCbCrSubsampling(int h, int v);

// Rows per strip must hold whole block rows: rows rounded up to a multiple of v.
uint32_t YCbCrRowsPerStrip(uint32_t rowsPerStrip, int v);

// The bytes a strip of rows image rows takes: whole blocks, partial ones padded.
uint64_t YCbCrStripBytes(int width, uint32_t rows, int h, int v);

// Sets ReferenceBlackWhite, YCbCrSubsampling, YCbCrPositioning and YCbCrCoefficients.
void SetYCbCrTags(TiffHandle& tiff, int h, int v);

// Writes the pixels of an RGB image strip by strip (rowsPerStrip a multiple of v), reporting
// progress start, per strip and end; with lzw the strips are coded by our LZW encoder, else by the
// file's codec in libtiff. A strip libtiff does not take is "Can't Write YCbCr image".
void WriteYCbCrStrips(const IMG& image, TiffHandle& tiff, int h, int v, uint32_t rowsPerStrip, bool lzw);
