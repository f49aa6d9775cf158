// The LZW encoder of GIF image data: codes growing from the minimum code size + 1 up to 12 bits,
// a clear code once 4096 codes are in use, and the output cut into sub-blocks of 254 data bytes.
// The strings are kept in an open-addressed table of 5003 slots (a prime above 4096) searched with
// a backward probe, and the stream is the one that table gives, including the strings it loses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "formats/gif/gif.h"

class GifLzwEncoder {
public:
    // minCodeSize is the minimum code size written before the data (2 to 8); sink receives the
    // sub-blocks, length bytes included.
    GifLzwEncoder(int minCodeSize, const ByteSink& sink);

    // Adds pixels (indices below 1 << minCodeSize) in file order.
    void encode(const uint8_t* pixels, size_t count);
    // Emits the pending string and the end code and writes the last sub-block.
    void finish();

private:
    static constexpr int kMaxBits = 12;
    static constexpr int kMaxMaxCode = 1 << kMaxBits;  // codes that 12 bits allow
    static constexpr uint32_t kCodeMask = kMaxMaxCode - 1;
    static constexpr int kHashSize = 5003;
    static constexpr int kHashShift = 4;  // 8 minus the doublings that take kHashSize to 65536 or more
    static constexpr size_t kBlockBytes = 254;  // data bytes per sub-block
    static constexpr size_t kBlocksPerWrite = 64;

    static bool holds(uint32_t entry, uint32_t tag);
    static int probe(const uint32_t* table, int slot, uint32_t tag);
    void clearTable();
    void putCode(int code);
    void writeBlocks(bool last);

    const ByteSink& sink_;
    const int initialBits_;  // code width after a clear: minimum code size + 1
    const int clearCode_;    // 1 << minimum code size
    const int endCode_;      // clearCode_ + 1
    bool started_ = false;   // the first pixel has been taken as the current prefix
    int prefix_ = 0;         // code of the string matched so far
    int freeEntry_;          // next code to assign

    // The string table. A slot holds the key of its string, (pixel << 12) + prefix code, in the top
    // 20 bits and the string's code in the low 12 bits, or 0 when empty: no string has a code below
    // clearCode_ + 2, so an occupied slot is never 0. Key and code in one word make a lookup one load.
    LumoBuffer<uint32_t> table_;

    int bits_;                  // current code width
    int maxCode_;               // largest code of the current width: (1 << bits_) - 1, or 4096 at 12 bits
    bool clearFlag_ = false;    // the table was cleared: the width returns to initialBits_ after the next code
    uint32_t accumulator_ = 0;  // bits not yet put out as bytes, least significant first
    int bitCount_ = 0;          // valid bits in accumulator_ (fewer than 8 between codes)

    // Data bytes not yet sent; they are cut into sub-blocks (with their length bytes, in blocks_)
    // and sent kBlocksPerWrite blocks at a time.
    LumoBuffer<uint8_t> data_;
    size_t dataLength_ = 0;
    LumoBuffer<uint8_t> blocks_;
};
