// The image bodies of a page: what draws the image into the unit square.
#pragma once

#include "core/image.h"
#include "formats/ps/ps_document.h"

// The body for the image's kind: gray kinds through `image` (Level 1) or the Level 2 filters when
// "level2" is set, RGB and palette kinds through `colorimage` behind the colour prologue.
void WritePSImageBody(const IMG& image, PSDocument& document);

// The compressed body of BW (CCITT Group 4) and gray images (LZW), made from an in-memory TIFF.
void WriteLevel2GrayBody(const IMG& image, PSDocument& document);

// Lines the bodies share: the DSC image-data comment, and the width, height, bits and matrix
// operands that map the unit square onto the image, top row first.
void WriteImageDataLine(PSDocument& document, const IMG& image, int bits, int components, const char* operation);
void WriteSizeAndMatrix(PSDocument& document, const IMG& image, int bits);
