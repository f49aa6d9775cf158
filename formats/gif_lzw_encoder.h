// The LZW encoder of GIF image data: codes growing from the minimum code size + 1 up to 12 bits,
// a clear code once 4096 codes are in use, and the output cut into sub-blocks of 254 data bytes.
// The stream is the one given by an open-addressed string table of 5003 slots and its probe rule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "formats/gif.h"

class GifLzwEncoder {
public:
    // minCodeSize is the minimum code size written before the data (2 to 8); sink receives the
    // sub-blocks, length bytes included.
    GifLzwEncoder(int minCodeSize, const GifByteSink& sink);

    // Adds pixels (indices below 1 << minCodeSize) in file order.
    void encode(const uint8_t* pixels, size_t count);
    // Emits the pending string and the end code and writes the last sub-block.
    void finish();

private:
    static constexpr int kMaxBits = 12;
    static constexpr int kMaxMaxCode = 1 << kMaxBits;  // codes that 12 bits allow
    static constexpr uint32_t kCodeMask = kMaxMaxCode - 1;
    static constexpr int kHashSize = 5003;  // the classic table: a prime above 4096
    static constexpr int kHashShift = 4;    // 8 minus the doublings that take kHashSize to 65536 or more
    static constexpr int kSetBits = 14;     // the string set: 16384 slots, at most a quarter in use
    static constexpr int kSetSize = 1 << kSetBits;
    static constexpr size_t kBlockBytes = 254;  // data bytes per sub-block
    static constexpr size_t kBlocksPerFlush = 64;

    struct CodeWriter;
    static int classicSlot(const int32_t* hash, int firstSlot, int32_t key);
    void replayIntoClassicTable(int freeEntry);
    uint8_t* writeBlocks(uint8_t* end, bool last);

    const GifByteSink& sink_;
    const int initialBits_;   // code width after a clear: minimum code size + 1
    const int clearCode_;     // 1 << minimum code size
    const int endCode_;       // clearCode_ + 1
    int bits_;                // current code width
    int maxCode_;             // largest code of the current width: (1 << bits_) - 1, or 4096 at 12 bits
    int freeEntry_;           // next code to assign
    bool clearFlag_ = false;  // the table was cleared: the width returns to initialBits_ after the next code
    bool started_ = false;    // the first pixel has been taken as the current prefix
    int prefix_ = 0;          // code of the string matched so far

    uint64_t accumulator_ = 0;  // bits not yet stored as whole bytes, least significant first
    int bitCount_ = 0;          // valid bits in accumulator_ (fewer than 8 between codes)

    // The strings of the table, keyed by (pixel << 12) + prefix code. The classic 5003-slot table
    // finds every string it holds except one: the key 0 (pixel 0 after prefix 0) can be overwritten
    // when it had to leave its first slot, slot 0, which only keys whose first slot is 0 can take.
    // Until that happens the table is an exact set, kept in a larger table with fewer collisions;
    // once it does, the classic table is built from the codes given so far and used until the
    // next clear, so the stream is exactly the classic one.
    LumoBuffer<uint32_t> set_;        // per slot: key << 12 | code, or 0 when empty
    LumoBuffer<uint16_t> usedSlots_;  // slots of set_ in use, to empty them at a clear
    int usedCount_ = 0;
    LumoBuffer<uint32_t> keyOfCode_;  // per code given since the last clear: its key
    bool slotZeroTaken_ = false;      // a key whose first classic slot is 0 has been added
    bool classic_ = false;            // the classic table is in use until the next clear
    LumoBuffer<int32_t> hash_;        // classic table: per slot the key, or -1 when empty
    LumoBuffer<uint16_t> code_;       // classic table: per slot the code of that string

    // Data bytes waiting to be cut into sub-blocks (with room for the 8-byte stores of the code
    // writer), and the blocks with their length bytes as they go to the sink.
    LumoBuffer<uint8_t> data_;
    size_t dataCount_ = 0;
    LumoBuffer<uint8_t> blocks_;
};
