// Rescaling: shrinking by block averaging, enlarging by pixel repetition, and the exact
// half-size reduction of bi-level pictures to gray.
#pragma once

#include "core/image.h"

// Every operation refuses, with an error naming it, a new width or height outside 1..65535 (the
// tables divide by it and the record holds 16 bits) and a source without pixels (0 wide or high).
// Sources are never changed.

// A new image of the source's kind and the new size.
ImagePtr LumoRescale(const IMG* image, int newWidth, int newHeight);
// A new image of the new size converted to the target class and depth.
ImagePtr LumoRescaleConvert(const IMG* image, int newWidth, int newHeight, int colorClass, int bitsPerPixel);
// A new GRAY256 or RGB image of the new size, by source kind.
ImagePtr RescaleAux(const IMG* image, int newWidth, int newHeight);
ImagePtr LumoShrinkBWToGRAY256(const IMG* image, int newWidth, int newHeight);
ImagePtr RescaleGRAY256(const IMG* image, int newWidth, int newHeight);
ImagePtr LumoRescaleRGB(const IMG* image, int newWidth, int newHeight);
