// Mending part of a compressed JPEG file without recompressing the rest: the DCT blocks that meet
// given regions are taken from a second file of the same geometry and tables, every other block keeps
// its coefficients exactly. A picture edited in a few places so comes out as if it had been
// compressed whole from the edited pixels, with no second generation of loss elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct PixelRect {  // left and top included, right and bottom excluded
    int left, top, right, bottom;
};

struct JpegGrid {
    int width, height;          // of the picture
    int mcuWidth, mcuHeight;    // of one MCU: 8 times the largest sampling factors
};

// The picture and MCU size of the file, or nothing for data that is not a JPEG header libjpeg reads.
std::optional<JpegGrid> ReadJpegGrid(std::span<const uint8_t> jpeg);

// The file original with every block (of every component) whose pixel area meets a region replaced by
// the block at the same place in replacement. Both must have the same size, components, sampling factors
// and quantization tables (nothing otherwise, as when either is not a JPEG file). The result is a
// baseline file with optimized Huffman tables, original's JFIF header and replacement's other APP and COM
// markers (the new compression's, so the result carries what a fresh save of the pixels would).
std::optional<std::vector<uint8_t>> SpliceJpegBlocks(std::span<const uint8_t> original,
                                                     std::span<const uint8_t> replacement,
                                                     std::span<const PixelRect> regions);
