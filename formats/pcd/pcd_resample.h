// 2x interpolation and 2x decimation of a plane in place, inside its capacity.
#pragma once

#include "formats/pcd/pcd_plane.h"

// The valid size w x h becomes 2w x 2h: new samples are the rounded means of their neighbours, the
// last column and row repeat. A capacity too small: "Can't read this PCD file.".
void PcdUpsample(PcdPlane& plane);
// The valid size is halved, keeping the samples of even rows and columns.
void PcdDownsample(PcdPlane& plane);
