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
    static constexpr int kSetBits = 16;     // the string set: 65536 slots, at most one in 16 in use
    static constexpr int kSetSize = 1 << kSetBits;
    static constexpr size_t kBlockBytes = 254;  // data bytes per sub-block
    static constexpr size_t kBlocksPerFlush = 256;

    // Writes codes least significant bit first; the width follows the table's next free code.
    struct CodeWriter {
        uint64_t accumulator = 0;  // bits not yet stored as whole bytes, least significant first
        int bitCount = 0;          // valid bits in accumulator (fewer than 8 between codes)
        int bits = 0;              // current code width
        int maxCode = 0;           // largest code of the current width: (1 << bits) - 1, or 4096 at 12 bits
        bool clearFlag = false;    // the table was cleared: the width returns to the initial one after the next code
        uint8_t* out = nullptr;    // where the next whole byte goes

        void append(uint64_t value, int count);
        void put(int code, int freeEntry, int initialBits);
        void putRun(const uint32_t* emitted, size_t count);
    };

    const uint8_t* encodeWithSet(const uint8_t* pixels, const uint8_t* end);
    const uint8_t* encodeWithClassicTable(const uint8_t* pixels, const uint8_t* end);
    static int classicSlot(const int32_t* hash, int firstSlot, int32_t key);
    void replayIntoClassicTable();
    void writeCodes(uint32_t end);
    void clearTable();
    void emptySet();
    void flushWholeBlocks(bool last);

    const GifByteSink& sink_;
    const int initialBits_;   // code width after a clear: minimum code size + 1
    const int clearCode_;     // 1 << minimum code size
    const int endCode_;       // clearCode_ + 1
    const uint32_t noEntry_;  // an empty slot of the string set: a key with the clear code as prefix
    bool started_ = false;    // the first pixel has been taken as the current prefix
    uint32_t prefix_ = 0;     // code of the string matched so far
    uint32_t freeEntry_;      // next code to assign; one past 4096 once a full table met a new string

    // Per code given since the last clear: the code emitted when it was the next to assign (low 16
    // bits) and the slot of the set the new string took (high 16 bits). The codes are written out
    // as a run when the table is cleared or the picture ends: each one's width follows from its
    // place in the run.
    LumoBuffer<uint32_t> emitted_;
    CodeWriter writer_;

    // The strings of the table, keyed by (pixel << 12) + prefix code. The classic 5003-slot table
    // finds every string it holds except one: the key 0 (pixel 0 after prefix 0) can be overwritten
    // when it had to leave its first slot, slot 0, which only keys whose first slot is 0 can take.
    // Until that happens the table is an exact set, kept in a larger table with fewer collisions;
    // once it does, the classic table is built from the codes given so far and used until the
    // next clear, so the stream is exactly the classic one.
    LumoBuffer<uint32_t> set_;        // per slot: key << 12 | code, or noEntry_
    uint32_t pixelSpread_[256];       // per pixel: the number a key's prefix is xor-ed with for its slot
    bool slotZeroTaken_ = false;      // a key whose first classic slot is 0 has been added
    bool classic_ = false;            // the classic table is in use until the next clear
    LumoBuffer<int32_t> hash_;        // classic table: per slot the key, or -1 when empty
    LumoBuffer<uint16_t> code_;       // classic table: per slot the code of that string

    // Data bytes waiting to be cut into sub-blocks (with room for a whole run of codes and the
    // 8-byte stores of the code writer), and the blocks with their length bytes as they go to the sink.
    LumoBuffer<uint8_t> data_;
    LumoBuffer<uint8_t> blocks_;
};
