// Quarter turns and mirror images of a picture, for every image kind, without changing a pixel's
// value: four quarter turns, or any flip done twice, give back the same bytes.
#pragma once

#include "core/image.h"

// The eight ways a picture can be stored relative to how it is meant to be seen, numbered as the
// Orientation tag of photo files numbers them. Each value names the step that makes the stored
// picture upright.
enum class Orientation {
    Upright = 1,
    FlipHorizontal = 2,
    Rotate180 = 3,
    FlipVertical = 4,
    Transpose = 5,    // mirror across the top-left to bottom-right diagonal
    RotateRight = 6,  // a quarter turn clockwise
    Transverse = 7,   // mirror across the top-right to bottom-left diagonal
    RotateLeft = 8,   // a quarter turn anticlockwise
};

// True for the values 1..8 of the tag.
bool IsOrientation(int value);

// The one step that does first, then second: LumoOrientImage with it gives the pixels of
// LumoOrientImage(LumoOrientImage(image, first), second).
Orientation ThenOrient(Orientation first, Orientation second);

// A new image of the same kind, palette and resolution (swapped with the sides for the turns and
// diagonal mirrors) holding the source transformed by the step; the row padding is zero. The source
// is left alone.
ImagePtr LumoOrientImage(const IMG* image, Orientation step);
