#include "core/colour_cells.h"

namespace {

inline int Square(int v) { return v * v; }

inline int ColourCellOf(int red, int green, int blue) { return (red >> 6) << 4 | (green >> 6) << 2 | blue >> 6; }

// Distance from a colour inside the cell of p to the far side of that cell, per component:
// d = q - p, or 63 - d when d < 32.
inline int FarSide(int q, int p) {
    const int d = q - p;
    return Square(d < 32 ? 63 - d : d);
}

// Distance from q to the range [p, p + 63] on one component.
inline int OutsideBy(int q, int p) {
    if (p - q > 0) return Square(p - q);
    if (q - (p + 63) > 0) return Square(q - (p + 63));
    return 0;
}

}  // namespace

ColourCells::ColourCells(const uint8_t* palette, int colours)
    : palette_(palette),
      colours_(colours),
      lists_(LumoAllocBuffer<Candidate>(static_cast<size_t>(kColourCells) * colours, "LumoQuantize")) {
    for (int& count : counts_) count = -1;
}

ColourCells::CandidateList ColourCells::candidates(int red, int green, int blue) {
    const int cell = ColourCellOf(red, green, blue);
    if (counts_[cell] < 0) build(cell, red, green, blue);
    return {lists_.get() + static_cast<size_t>(cell) * colours_, counts_[cell]};
}

// The colours inside the cell come first with bound 0; a colour outside is kept only when
// its bound is below the smallest far-side distance of the inside colours, since then it may
// beat them somewhere in the box [p, p + 63] of the point p that builds the list.
void ColourCells::build(int cell, int red, int green, int blue) {
    Candidate* list = lists_.get() + static_cast<size_t>(cell) * colours_;
    int count = 0;
    int nearestFarSide = 99999999;
    for (int i = 0; i < colours_; ++i) {
        const uint8_t* q = palette_ + 3 * i;
        if (ColourCellOf(q[0], q[1], q[2]) != cell) continue;
        list[count++] = {0, i};
        const int farSide = FarSide(q[0], red) + FarSide(q[1], green) + FarSide(q[2], blue);
        if (farSide < nearestFarSide) nearestFarSide = farSide;
    }
    for (int i = 0; i < colours_; ++i) {
        const uint8_t* q = palette_ + 3 * i;
        if (ColourCellOf(q[0], q[1], q[2]) == cell) continue;
        const int bound = OutsideBy(q[0], red) + OutsideBy(q[1], green) + OutsideBy(q[2], blue);
        if (bound < nearestFarSide) list[count++] = {bound, i};
    }
    // Stable insertion sort by bound: equal bounds keep palette order, inside colours first.
    for (int i = 1; i < count; ++i) {
        const Candidate moving = list[i];
        int j = i;
        for (; j > 0 && list[j - 1].bound > moving.bound; --j) list[j] = list[j - 1];
        list[j] = moving;
    }
    counts_[cell] = count;
}

template <typename Distance>
int ColourCells::search(CandidateList list, Distance distance) {
    int best = 9999999;
    int chosen = 0;
    for (int i = 0; i < list.count && best > list.entries[i].bound; ++i) {
        const int d = distance(list.entries[i].index);
        if (d < best) {
            best = d;
            chosen = list.entries[i].index;
        }
    }
    return chosen;
}

int ColourCells::nearest(int red, int green, int blue) {
    return search(candidates(red, green, blue), [&](int index) {
        const uint8_t* q = palette_ + 3 * index;
        return Square(q[0] - red) + Square(q[1] - green) + Square(q[2] - blue);
    });
}

int ColourCells::nearestCoarse(int red, int green, int blue) {
    const int red5 = red >> 3, green5 = green >> 3, blue5 = blue >> 3;
    return search(candidates(red, green, blue), [&](int index) {
        const uint8_t* q = palette_ + 3 * index;
        return Square((q[0] >> 3) - red5) + Square((q[1] >> 3) - green5) + Square((q[2] >> 3) - blue5);
    });
}
