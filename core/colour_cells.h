// Nearest-palette-colour search of the quantizer, limited by colour cells: the 0..255 cube is
// cut into 4 x 4 x 4 cells of edge 64, and each cell keeps the palette colours that can be
// nearest to its points, sorted by a lower bound of their distance.
#pragma once

#include <cstdint>

#include "core/memory.h"

class ColourCells {
public:
    // palette: `colours` entries of red, green, blue (1 to 256 of them).
    ColourCells(const uint8_t* palette, int colours);

    // The palette index nearest to (red, green, blue) in squared 8-bit distance.
    int nearest(int red, int green, int blue);
    // The search for a colour whose histogram cell had no pixels before dithering: the same
    // candidates, with the distance taken between 5-bit components (each shifted right by 3).
    int nearestCoarse(int red, int green, int blue);

private:
    struct Candidate {
        int bound;  // no point of the cell's box is nearer to this colour than this squared distance
        int index;  // palette index
    };
    struct CandidateList {
        const Candidate* entries;
        int count;
    };

    // The cell's list, built from this point when the cell is first needed.
    CandidateList candidates(int red, int green, int blue);
    void build(int cell, int red, int green, int blue);
    // Examines candidates in list order until the best distance is not above the next bound;
    // a strictly smaller distance wins, so ties go to the earlier candidate.
    template <typename Distance>
    static int search(CandidateList list, Distance distance);

    static constexpr int kColourCells = 64;
    const uint8_t* palette_;
    int colours_;
    LumoBuffer<Candidate> lists_;  // kColourCells lists of `colours_` places each
    int counts_[kColourCells];     // candidates per cell, -1 while the cell is not built
};
