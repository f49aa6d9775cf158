// PhotoYCC to RGB, in place: the luma plane becomes red, chroma-1 green and chroma-2 blue.
#pragma once

#include "formats/pcd/pcd_plane.h"

// Converts the valid width x height of the three planes, which must all be at least that size
// ("Can't read this PCD file." otherwise).
void PcdYccToRgb(PcdPlane& luma, PcdPlane& chroma1, PcdPlane& chroma2);
