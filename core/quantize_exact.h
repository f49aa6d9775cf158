// Palette images that keep every colour of a picture whose distinct colours fit the palette.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/image.h"

// A COLOR image of bits 4 or 8 whose palette holds the RGB picture's distinct colours in the order
// they first appear (top row first, left to right; the entries after them 0, 0, 0) and whose pixels
// index them, or null when the picture has more than 2^bits colours. Counting stops at the first
// colour too many, so a photograph costs a few rows.
ImagePtr PaletteOfExactColours(const IMG& rgb, int bits);

// The distinct values (levels or indices) of an 8-bit picture in the order they first appear,
// or nothing when there are more than limit of them.
std::optional<std::vector<uint8_t>> DistinctValues(const IMG& image, int limit);
