// Median-cut colour quantization of an RGB image to 16 or 256 colours.
#pragma once

#include "core/image.h"

// Returns a new COLOR16 (bits 4) or COLOR256 (bits 8) image; with dither not 0 the pixels are
// mapped with Floyd-Steinberg error diffusion. The RGB source is not changed.
ImagePtr LumoQuantize(const IMG* image, int bits, int dither);
