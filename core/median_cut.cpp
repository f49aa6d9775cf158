#include "core/median_cut.h"

#include "core/memory.h"

namespace {

enum Axis { kRed, kGreen, kBlue };

struct Box {
    int min[3];      // first slice per axis (red, green, blue), in 5-bit cell coordinates
    int max[3];      // last slice per axis, inclusive
    uint64_t count;  // pixels inside the box

    bool splittable() const { return min[kRed] < max[kRed] || min[kGreen] < max[kGreen] || min[kBlue] < max[kBlue]; }
    // The longest axis; on equal lengths red goes before green and green before blue.
    int longestAxis() const {
        int axis = kRed;
        if (max[kGreen] - min[kGreen] > max[axis] - min[axis]) axis = kGreen;
        if (max[kBlue] - min[kBlue] > max[axis] - min[axis]) axis = kBlue;
        return axis;
    }
};

// The pixel count of each slice of a box, on each of the three axes.
struct Projection {
    uint64_t slices[3][32];
};

class BoxSplitter {
public:
    BoxSplitter(const uint32_t* histogram, int maxBoxes)
        : histogram_(histogram), boxes_(LumoAllocBuffer<Box>(static_cast<size_t>(maxBoxes), "LumoQuantize")),
          capacity_(maxBoxes) {}

    // Boxes are kept in creation order; the head of the used list is the newest box.
    int run(uint64_t pixels) {
        if (pixels == 0 || capacity_ == 0) return 0;
        boxes_[0] = spanOfHistogram(pixels);
        used_ = 1;
        while (used_ < capacity_) {
            const int chosen = largestSplittable();
            if (chosen < 0) break;
            split(chosen);
        }
        return used_;
    }

    // Palette entry k comes from the k-th box from the head of the used list.
    const Box& fromHead(int k) const { return boxes_[used_ - 1 - k]; }

private:
    Box spanOfHistogram(uint64_t pixels) const {
        Box box{{31, 31, 31}, {0, 0, 0}, pixels};
        for (int cell = 0; cell < kHistogramCells; ++cell) {
            if (histogram_[cell] == 0) continue;
            const int component[3] = {cell >> 10, cell >> 5 & 31, cell & 31};
            for (int axis = kRed; axis <= kBlue; ++axis) {
                if (component[axis] < box.min[axis]) box.min[axis] = component[axis];
                if (component[axis] > box.max[axis]) box.max[axis] = component[axis];
            }
        }
        return box;
    }

    // The largest box that can be split; on equal counts the first met from the head (the newest).
    int largestSplittable() const {
        int chosen = -1;
        for (int i = used_ - 1; i >= 0; --i)
            if (boxes_[i].splittable() && (chosen < 0 || boxes_[i].count > boxes_[chosen].count)) chosen = i;
        return chosen;
    }

    void project(const Box& box, Projection& projection) const {
        projection = {};
        for (int r = box.min[kRed]; r <= box.max[kRed]; ++r)
            for (int g = box.min[kGreen]; g <= box.max[kGreen]; ++g) {
                const uint32_t* line = histogram_ + HistogramCell(r, g, 0);
                uint64_t lineSum = 0;
                for (int b = box.min[kBlue]; b <= box.max[kBlue]; ++b) {
                    lineSum += line[b];
                    projection.slices[kBlue][b] += line[b];
                }
                projection.slices[kRed][r] += lineSum;
                projection.slices[kGreen][g] += lineSum;
            }
    }

    // Lower part goes to a new box at the head of the used list; the split box keeps the rest.
    void split(int chosen) {
        Box& box = boxes_[chosen];
        const int axis = box.longestAxis();
        Projection projection;
        project(box, projection);
        const uint64_t* slices = projection.slices[axis];

        const uint64_t half = box.count / 2;
        uint64_t running = 0;
        int s = box.min[axis];
        for (; s < box.max[axis]; ++s) {
            running += slices[s];
            if (running >= half) break;
        }
        if (s == box.min[axis]) s = box.min[axis] + 1;
        uint64_t lowerCount = 0;
        for (int slice = box.min[axis]; slice < s; ++slice) lowerCount += slices[slice];

        Box& lower = boxes_[used_++];
        lower = box;
        lower.max[axis] = s - 1;
        lower.count = lowerCount;
        box.min[axis] = s;
        box.count -= lowerCount;
        shrink(lower);
        shrink(box);
    }

    // Trims empty slices from both ends of every axis that spans more than one slice.
    // Removing empty slices on one axis leaves the slice counts of the others unchanged.
    void shrink(Box& box) const {
        Projection projection;
        project(box, projection);
        for (int axis = kRed; axis <= kBlue; ++axis) {
            const uint64_t* slices = projection.slices[axis];
            while (box.min[axis] < box.max[axis] && slices[box.min[axis]] == 0) ++box.min[axis];
            while (box.min[axis] < box.max[axis] && slices[box.max[axis]] == 0) --box.max[axis];
        }
    }

    const uint32_t* histogram_;
    LumoBuffer<Box> boxes_;
    int capacity_;
    int used_ = 0;
};

}  // namespace

int MedianCutPalette(const uint32_t* histogram, uint64_t pixels, int maxColours, uint8_t* palette) {
    BoxSplitter splitter(histogram, maxColours);
    const int boxes = splitter.run(pixels);
    for (int k = 0; k < boxes; ++k) {
        const Box& box = splitter.fromHead(k);
        // The centre of the box in 8-bit units; a box of one cell at 31 gives 248.
        for (int axis = kRed; axis <= kBlue; ++axis)
            palette[3 * k + axis] = static_cast<uint8_t>((box.min[axis] + box.max[axis]) * 4);
    }
    return boxes;
}
