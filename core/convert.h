// Conversions between the six image kinds: thresholding, Floyd-Steinberg dithering,
// weighted gray, palette building and quantization to 16 or 256 colours.
#pragma once

#include "core/image.h"

// Each returns a new image of its kind and leaves the source untouched; a source that
// already has the kind is refused ("Useless to convert a BW to BW", ...).
ImagePtr LumoToBW(const IMG* image);
ImagePtr LumoToGRAY16(const IMG* image);
ImagePtr LumoToGRAY256(const IMG* image);
ImagePtr LumoToCOLOR16(const IMG* image);
ImagePtr LumoToCOLOR256(const IMG* image);
ImagePtr LumoToRGB(const IMG* image);

// Returns the source itself when it already has the requested class and depth, otherwise a
// new image that the caller owns (compare the result with the source before releasing anything).
IMG* LumoConvert(IMG* image, int colorClass, int bitsPerPixel);

// The conversion options "redfactor", "greenfactor", "bluefactor", "threshold" and "dither".
void LumoSetIntOptionConvert(const char* name, int value);
int LumoGetIntOptionConvert(const char* name);
