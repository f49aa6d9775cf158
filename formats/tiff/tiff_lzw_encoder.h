// The LZW encoder of TIFF strips (Compression 5), used by the saver in place of libtiff's: codes
// written most significant bit first, 9 bits wide at first and one bit wider each time the table
// reaches 511, 1023 and 2047 entries as libtiff's decoder counts them, a ClearCode (256) first and
// whenever the next free code would be 4094, an EndOfInformation code (257) last. The code widths and
// the table limit are libtiff's encoder's, so every reader of libtiff's LZW strips reads ours; only
// libtiff's early clear when the compression ratio drops is left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/memory.h"

class TiffLzwEncoder {
public:
    TiffLzwEncoder();

    // Encodes one strip on its own (a fresh table, ClearCode first, EndOfInformation last). The bytes
    // stay valid until the next call; a buffer that cannot grow is "Out of memory" (LumoSaveTiff).
    std::span<const uint8_t> encode(const uint8_t* data, size_t size);

    // The most bytes that size bytes of input can encode to.
    static size_t maxEncodedSize(size_t size);

private:
    static constexpr int kHashBits = 16;  // 65536 slots (256 KB) for at most 3836 strings: probes stay short
    static constexpr uint32_t kHashSize = 1u << kHashBits;

    // Empties the slots of the strings given codes since the last clear.
    void clearTable(uint32_t strings);

    // The string table, open addressing with linear probing. A slot holds the string's key, its
    // prefix code << 8 | its last byte (20 bits), above its code (12 bits), or 0 when empty: no
    // string has a code below 258, so an occupied slot is never 0.
    LumoBuffer<uint32_t> table_;
    // The slot of each string by its code less 258, so a clear empties those slots alone.
    LumoBuffer<uint16_t> used_;

    LumoBuffer<uint8_t> output_;
    size_t capacity_ = 0;
};
