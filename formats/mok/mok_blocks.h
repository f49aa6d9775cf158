// Block coding of one pyramid level against the next coarser one. Every coarse sample o stands
// for a 2 x 2 block of fine samples TL, TR, BL, BR (completed at odd edges as the pyramid is); the
// block is coded as the sum S of their excesses over o (0..3, 2 bits) and the differences of TL, TR
// and BL from o in c bits each, c being the block's category, itself coded against the category
// of the previous block. Colour pictures code the blue, green and red blocks of each coarse pixel
// in turn, through the same category state.
#pragma once

#include <functional>

#include <array>
#include <cstdint>

#include "core/image.h"
#include "formats/mok/mok_bits.h"

namespace mok_blocks {

// The category of a difference d (-255..255) at index d + 255: the smallest c whose range holds
// d, the ranges being 0..1 for 1 and -(2^(c-1) - 1)..2^(c-1) for 2..7; 8 holds the rest.
inline constexpr std::array<uint8_t, 511> kCategoryOf = [] {
    std::array<uint8_t, 511> table{};
    for (int d = -255; d <= 255; ++d) {
        int c = 1;
        if (d < 0 || d > 1)
            for (c = 2; c < 8 && (d < -((1 << (c - 1)) - 1) || d > 1 << (c - 1));) ++c;
        table[d + 255] = static_cast<uint8_t>(c);
    }
    return table;
}();

// The highest category a reader can meet: a category code of rank 8 (never written, but read from
// the all-ones bytes past the end of a cut file) gives 9.
constexpr int kLargestCategory = 9;

// The bits that announce category c after a block of category p, in stream order from the low
// bit: 0 when c equals p; else 1 followed by the code of the rank (c when below p, else c - 1):
// ranks 1..3 as rank - 1 in 2 bits, rank 4 as 3 in 2 bits and a 0 bit, ranks 5..7 as 7 in 3 bits
// and rank - 5 in 2 bits.
struct CategoryWord {
    uint8_t bits;
    uint8_t length;
};
constexpr CategoryWord CategoryAnnouncement(int previous, int category) {
    if (category == previous) return {0, 1};
    const int rank = category < previous ? category : category - 1;
    if (rank <= 3) return {static_cast<uint8_t>(1 | (rank - 1) << 1), 3};
    if (rank == 4) return {static_cast<uint8_t>(1 | 3 << 1), 4};
    return {static_cast<uint8_t>(1 | 7 << 1 | (rank - 5) << 4), 6};
}

// The reading side: the announcement read from the next 6 stream bits (first bit lowest) after a
// block of category p: how many bits it takes and the category it gives.
struct CategoryRead {
    uint8_t length;
    uint8_t category;
};
constexpr CategoryRead ReadAnnouncement(int previous, int sixBits) {
    if ((sixBits & 1) == 0) return {1, static_cast<uint8_t>(previous)};
    const int v = sixBits >> 1 & 3;
    int rank = 0, length = 0;
    if (v < 3) {
        rank = v + 1;
        length = 3;
    } else if ((sixBits >> 3 & 1) == 0) {
        rank = 4;
        length = 4;
    } else {
        rank = 5 + (sixBits >> 4 & 3);
        length = 6;
    }
    return {static_cast<uint8_t>(length), static_cast<uint8_t>(rank < previous ? rank : rank + 1)};
}

}  // namespace mok_blocks

// Writes level fine coded against coarse, its next coarser level (both GRAY256 or both RGB).
void EncodeLevel(const IMG& fine, const IMG& coarse, MokBitWriter& out);

// Fills fine (of the size and kind of the level below coarse) from the stream. Samples come back
// modulo 256, so any bits give a well-defined picture; row padding is set to 0.
// rowsDone, when given, is called every few coarse rows with the number of coarse rows decoded, so
// that a long level can report its progress.
void DecodeLevel(IMG& fine, const IMG& coarse, MokBitReader& in, const std::function<void(int rows)>& rowsDone = {});
