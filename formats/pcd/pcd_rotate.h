// The result image of a Photo CD load: the red, green and blue planes turned as the picture's
// orientation says.
#pragma once

#include "core/image.h"
#include "formats/pcd/pcd_plane.h"

enum class PcdOrientation {
    AsStored,          // landscape
    CounterClockwise,  // a quarter turn counter-clockwise: the result is H x W
    Clockwise,         // a quarter turn clockwise: the result is H x W
};

// The orientation field of the attribute sector (its low 2 bits): 1 counter-clockwise, 3 clockwise,
// 0 and 2 as stored.
PcdOrientation PcdOrientationOf(int field);

// A new RGB image from the valid width x height of the planes.
ImagePtr PcdMakeImage(const PcdPlane& red, const PcdPlane& green, const PcdPlane& blue, PcdOrientation orientation);
