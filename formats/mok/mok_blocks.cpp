#include "formats/mok/mok_blocks.h"

#include <algorithm>
#include <cstring>

#include "formats/mok/mok_pyramid.h"

using namespace mok_blocks;

namespace {

constexpr auto kAnnouncements = [] {
    std::array<std::array<CategoryWord, kLargestCategory + 1>, kLargestCategory + 1> table{};
    for (int previous = 1; previous <= kLargestCategory; ++previous)
        for (int category = 1; category <= kLargestCategory; ++category)
            table[previous][category] = CategoryAnnouncement(previous, category);
    return table;
}();

constexpr auto kReadings = [] {
    std::array<std::array<CategoryRead, 64>, kLargestCategory + 1> table{};
    for (int previous = 1; previous <= kLargestCategory; ++previous)
        for (int bits = 0; bits < 64; ++bits) table[previous][bits] = ReadAnnouncement(previous, bits);
    return table;
}();

// The two categories the coder carries: that of the last coded block, and the one the next coarse
// row starts from (that of the last coded block of column 0; 4 at the start of a level).
struct Categories {
    int previous = 4;
    int rowStart = 4;
};

// Writes the block of coarse sample o. A coarse 255 stands for four 255s and costs nothing; a
// coarse 0 whose block sums to 0 stands for four 0s and costs its 2-bit sum.
inline void EncodeBlock(int o, int tl, int tr, int bl, int br, bool firstColumn, Categories& state, MokBitWriter& out) {
    if (o == 255) {
        state.previous = 1;
        return;
    }
    const int excess = tl + tr + bl + br - 4 * o;  // 0..3, as o is the block's sum divided by 4
    if (o == 0 && excess == 0) {
        out.putBits(0, 2);
        state.previous = 1;
        return;
    }
    const int dtl = tl - o, dtr = tr - o, dbl = bl - o;
    const int c = std::max({kCategoryOf[dtl + 255], kCategoryOf[dtr + 255], kCategoryOf[dbl + 255]});
    if (firstColumn) state.rowStart = c;
    const CategoryWord word = kAnnouncements[state.previous][c];
    state.previous = c;
    out.putBits(static_cast<uint32_t>(excess) | uint32_t{word.bits} << 2, 2 + word.length);
    const uint32_t mask = (1u << c) - 1;
    out.putBits((dtl & mask) | (dtr & mask) << c | (dbl & mask) << 2 * c, 3 * c);
}

template <int kChannels>
void EncodeRows(const IMG& fine, const IMG& coarse, MokBitWriter& out) {
    Categories state;
    for (int i = 0; i < coarse.height; ++i) {
        const uint8_t* top = PictureRow(fine, 2 * i);
        const uint8_t* bottom = PictureRow(fine, SecondOfPair(2 * i, fine.height));
        const uint8_t* o = PictureRow(coarse, i);
        state.previous = state.rowStart;
        for (int j = 0; j < coarse.width; ++j, o += kChannels) {
            const int left = 2 * j * kChannels;
            const int right = SecondOfPair(2 * j, fine.width) * kChannels;
            for (int k = 0; k < kChannels; ++k)
                EncodeBlock(o[k], top[left + k], top[right + k], bottom[left + k], bottom[right + k], j == 0, state,
                            out);
        }
    }
}

// A value read in c bits as r means r up to 2^(c-1), and r - 2^c above.
inline int Signed(uint32_t r, int c) { return static_cast<int>(r) - (r > 1u << (c - 1) ? 1 << c : 0); }

struct Block {
    int tl, tr, bl, br;
};

inline Block DecodeBlock(int o, bool firstColumn, Categories& state, MokBitReader& in) {
    if (o == 255) {
        state.previous = 1;
        return {255, 255, 255, 255};
    }
    in.ensure();  // the longest block takes 2 + 6 + 3 * 9 = 35 bits
    uint64_t bits = in.peek();
    const int excess = static_cast<int>(bits & 3);
    if (o == 0 && excess == 0) {
        in.skip(2);
        state.previous = 1;
        return {0, 0, 0, 0};
    }
    const CategoryRead read = kReadings[state.previous][bits >> 2 & 63];
    const int c = read.category;
    state.previous = c;
    if (firstColumn) state.rowStart = c;
    bits >>= 2 + read.length;
    const uint32_t mask = (1u << c) - 1;
    const int dtl = Signed(static_cast<uint32_t>(bits) & mask, c);
    const int dtr = Signed(static_cast<uint32_t>(bits >> c) & mask, c);
    const int dbl = Signed(static_cast<uint32_t>(bits >> 2 * c) & mask, c);
    in.skip(2 + read.length + 3 * c);
    return {o + dtl, o + dtr, o + dbl, o + excess - dtl - dtr - dbl};
}

template <int kChannels>
void DecodeRows(IMG& fine, const IMG& coarse, MokBitReader& in, uint8_t* spareRow,
                const std::function<void(int rows)>& rowsDone) {
    constexpr int kRowsPerReport = 16;
    Categories state;
    const int pairs = fine.width / 2;  // coarse columns whose block has both fine columns
    for (int i = 0; i < coarse.height; ++i) {
        uint8_t* top = PictureRow(fine, 2 * i);
        // A block sticking out at the bottom decodes its bottom row into the spare row.
        uint8_t* bottom = 2 * i + 1 < fine.height ? PictureRow(fine, 2 * i + 1) : spareRow;
        const uint8_t* o = PictureRow(coarse, i);
        state.previous = state.rowStart;
        for (int j = 0; j < coarse.width; ++j, o += kChannels) {
            const int left = 2 * j * kChannels;
            for (int k = 0; k < kChannels; ++k) {
                const Block block = DecodeBlock(o[k], j == 0, state, in);
                top[left + k] = static_cast<uint8_t>(block.tl);
                bottom[left + k] = static_cast<uint8_t>(block.bl);
                if (j < pairs) {  // else the right column lies outside the level
                    top[left + kChannels + k] = static_cast<uint8_t>(block.tr);
                    bottom[left + kChannels + k] = static_cast<uint8_t>(block.br);
                }
            }
        }
        if (rowsDone && (i + 1) % kRowsPerReport == 0) rowsDone(i + 1);
    }
}

}  // namespace

void EncodeLevel(const IMG& fine, const IMG& coarse, MokBitWriter& out) {
    if (fine.bitsPerPixel == 8)
        EncodeRows<1>(fine, coarse, out);
    else
        EncodeRows<3>(fine, coarse, out);
}

void DecodeLevel(IMG& fine, const IMG& coarse, MokBitReader& in, const std::function<void(int rows)>& rowsDone) {
    LumoBuffer<uint8_t> spareRow = LumoAllocBuffer<uint8_t>(fine.rowBytes, "LumoLoadMok");
    if (fine.bitsPerPixel == 8)
        DecodeRows<1>(fine, coarse, in, spareRow.get(), rowsDone);
    else
        DecodeRows<3>(fine, coarse, in, spareRow.get(), rowsDone);
    const size_t used = static_cast<size_t>(fine.width) * (fine.bitsPerPixel / 8);
    for (int k = 0; k < fine.height; ++k) std::memset(MemoryRow(fine, k) + used, 0, fine.rowBytes - used);
}
