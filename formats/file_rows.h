// Picture rows in the order most file formats store them.
#pragma once

#include <cstdint>

#include "core/image.h"

// Copies picture row y (0 = top) into out, (width * bitsPerPixel + 7) / 8 bytes: RGB pixels become
// red, green, blue, and the bits past the last pixel of a 1- or 4-bit row are zeroed, so that a file
// holds defined bytes only and does not depend on the record's row padding.
void CopyRowForFile(const IMG& image, int y, uint8_t* out);
