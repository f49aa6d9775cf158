// The resolution pyramid of a MOK file: level 0 is the picture, each next level halves both sides
// (rounding up) by averaging 2 x 2 blocks, down to a 1 x 1 top.
#pragma once

#include <vector>

#include "core/image.h"

struct LevelSize {
    int width;
    int height;
};

// The sizes of levels 0 (width x height, both at least 1) to the 1 x 1 top.
std::vector<LevelSize> PyramidSizes(int width, int height);

// The next coarser level of fine, of the same kind (GRAY256 or RGB): each sample is the sum of its
// 2 x 2 block divided by 4, rounded down, each colour component alone. A block sticking out of an
// odd-sized level repeats its left column for the missing right one and its top row for the
// missing bottom one.
ImagePtr BuildCoarserLevel(const IMG& fine);

// The fine row and column paired with 2i / 2j in that rule: the next one, or itself at the edge.
inline int SecondOfPair(int first, int size) { return first + 1 < size ? first + 1 : first; }
