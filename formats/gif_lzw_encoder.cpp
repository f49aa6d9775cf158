#include "formats/gif_lzw_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr const char* kModule = "LumoSaveGif";

// Room past the flush point: the pixel loop writes at most two codes (the string so far and a clear
// code) after its check, and each store writes 8 bytes.
constexpr size_t kDataSlack = 32;

}  // namespace

// The code writer's state in locals for the pixel loop: codes go least significant bit first into
// an accumulator that is stored 8 bytes at a time, of which only the whole bytes are kept.
struct GifLzwEncoder::CodeWriter {
    uint64_t accumulator;
    int bitCount;
    int bits;
    int maxCode;
    bool clearFlag;
    uint8_t* out;

    void put(int code, int freeEntry, int initialBits) {
        accumulator |= static_cast<uint64_t>(code) << bitCount;
        bitCount += bits;
        const uint64_t stored =
            std::endian::native == std::endian::little ? accumulator : __builtin_bswap64(accumulator);
        std::memcpy(out, &stored, sizeof stored);
        const int bytes = bitCount >> 3;
        out += bytes;
        accumulator >>= bytes * 8;
        bitCount &= 7;
        // The width grows once a code beyond the current width has been assigned; the code just
        // written still had the old width.
        if (freeEntry > maxCode || clearFlag) {
            if (clearFlag) {
                bits = initialBits;
                clearFlag = false;
            } else {
                ++bits;
            }
            maxCode = bits == kMaxBits ? kMaxMaxCode : (1 << bits) - 1;
        }
    }
};

GifLzwEncoder::GifLzwEncoder(int minCodeSize, const GifByteSink& sink)
    : sink_(sink),
      initialBits_(minCodeSize + 1),
      clearCode_(1 << minCodeSize),
      endCode_(clearCode_ + 1),
      bits_(initialBits_),
      maxCode_((1 << initialBits_) - 1),
      freeEntry_(clearCode_ + 2),
      set_(LumoAllocBuffer<uint32_t>(kSetSize, kModule)),
      usedSlots_(LumoAllocBuffer<uint16_t>(kMaxMaxCode, kModule)),
      keyOfCode_(LumoAllocBuffer<uint32_t>(kMaxMaxCode, kModule)),
      hash_(LumoAllocBuffer<int32_t>(kHashSize, kModule)),
      code_(LumoAllocBuffer<uint16_t>(kHashSize, kModule)),
      data_(LumoAllocBuffer<uint8_t>(kBlockBytes * kBlocksPerFlush + kDataSlack, kModule)),
      // The last call may find one block more than a flush leaves behind.
      blocks_(LumoAllocBuffer<uint8_t>((kBlockBytes + 1) * (kBlocksPerFlush + 1), kModule)) {
    std::fill(set_.get(), set_.get() + kSetSize, 0u);
}

// The slot of key in the classic table: where it is (as -1 - slot), or where it goes. The probe
// steps back by kHashSize - first slot; a slot holding the key 0 ends it like an empty slot.
int GifLzwEncoder::classicSlot(const int32_t* hash, int firstSlot, int32_t key) {
    int slot = firstSlot;
    if (hash[slot] == key) return -1 - slot;
    if (hash[slot] < 0) return slot;
    const int step = slot == 0 ? 1 : kHashSize - slot;
    for (;;) {
        slot -= step;
        if (slot < 0) slot += kHashSize;
        if (hash[slot] == key) return -1 - slot;
        if (hash[slot] <= 0) return slot;
    }
}

void GifLzwEncoder::encode(const uint8_t* pixels, size_t count) {
    if (count == 0) return;
    const uint8_t* const end = pixels + count;
    const uint8_t* const flushAt = data_.get() + kBlockBytes * kBlocksPerFlush;
    CodeWriter writer{accumulator_, bitCount_, bits_, maxCode_, clearFlag_, data_.get() + dataCount_};
    const int clearCode = clearCode_;
    const int initialBits = initialBits_;
    uint32_t* const set = set_.get();
    uint16_t* const usedSlots = usedSlots_.get();
    uint32_t* const keyOfCode = keyOfCode_.get();
    int32_t* const hash = hash_.get();
    uint16_t* const codes = code_.get();
    int usedCount = usedCount_;
    int freeEntry = freeEntry_;
    int prefix = prefix_;
    if (!started_) {
        // The first pixel starts the first string; the data begins with a clear code.
        started_ = true;
        prefix = *pixels++;
        writer.put(clearCode, freeEntry, initialBits);
    }

    // The string so far has no continuation with pixel: it is written and pixel starts the next
    // one. Yields true when the longer string is to get the next code; a full table is cleared.
    const auto endString = [&](int pixel) {
        writer.put(prefix, freeEntry, initialBits);
        prefix = pixel;
        if (writer.out >= flushAt) writer.out = writeBlocks(writer.out, false);
        if (freeEntry < kMaxMaxCode) return true;
        for (int i = 0; i < usedCount; ++i) set[usedSlots[i]] = 0;
        usedCount = 0;
        slotZeroTaken_ = false;
        classic_ = false;
        freeEntry = clearCode + 2;
        writer.clearFlag = true;
        writer.put(clearCode, freeEntry, initialBits);
        return false;
    };

    while (pixels < end) {
        if (!classic_) {
            for (; pixels < end; ++pixels) {
                const int pixel = *pixels;
                const uint32_t key = static_cast<uint32_t>(pixel << kMaxBits | prefix);
                int slot = (pixel << (kSetBits - 8)) ^ prefix;
                uint32_t entry = set[slot];
                if (entry >> kMaxBits != key || entry == 0) {
                    if (entry != 0) {
                        const int step = static_cast<int>((key * 0x9E3779B1u) >> 20) | 1;
                        do {
                            slot = (slot + step) & (kSetSize - 1);
                            entry = set[slot];
                        } while (entry != 0 && entry >> kMaxBits != key);
                    }
                    if (entry == 0) {
                        if (!endString(pixel)) continue;
                        set[slot] = key << kMaxBits | static_cast<uint32_t>(freeEntry);
                        usedSlots[usedCount++] = static_cast<uint16_t>(slot);
                        keyOfCode[freeEntry++] = key;
                        if (((key >> kMaxBits << kHashShift) ^ (key & kCodeMask)) != 0) continue;
                        // The key's first classic slot is 0.
                        if (key != 0) {
                            slotZeroTaken_ = true;
                        } else if (slotZeroTaken_) {
                            replayIntoClassicTable(freeEntry);
                            ++pixels;
                            break;
                        }
                        continue;
                    }
                }
                prefix = static_cast<int>(entry & kCodeMask);
            }
        } else {
            for (; pixels < end; ++pixels) {
                const int pixel = *pixels;
                const int32_t key = (pixel << kMaxBits) + prefix;
                const int slot = classicSlot(hash, (pixel << kHashShift) ^ prefix, key);
                if (slot < 0) {
                    prefix = codes[-1 - slot];
                    continue;
                }
                if (!endString(pixel)) {
                    ++pixels;
                    break;
                }
                codes[slot] = static_cast<uint16_t>(freeEntry++);
                hash[slot] = key;
            }
        }
    }
    accumulator_ = writer.accumulator;
    bitCount_ = writer.bitCount;
    bits_ = writer.bits;
    maxCode_ = writer.maxCode;
    clearFlag_ = writer.clearFlag;
    dataCount_ = static_cast<size_t>(writer.out - data_.get());
    usedCount_ = usedCount;
    freeEntry_ = freeEntry;
    prefix_ = prefix;
}

// Builds the classic table from the codes given since the last clear, in the order they were given.
void GifLzwEncoder::replayIntoClassicTable(int freeEntry) {
    int32_t* const hash = hash_.get();
    std::fill(hash, hash + kHashSize, -1);
    for (int code = clearCode_ + 2; code < freeEntry; ++code) {
        const int32_t key = static_cast<int32_t>(keyOfCode_[code]);
        const int slot = classicSlot(hash, ((key >> kMaxBits) << kHashShift) ^ (key & kCodeMask), key);
        hash[slot] = key;
        code_[slot] = static_cast<uint16_t>(code);
    }
    classic_ = true;
}

void GifLzwEncoder::finish() {
    CodeWriter writer{accumulator_, bitCount_, bits_, maxCode_, clearFlag_, data_.get() + dataCount_};
    if (started_) {
        writer.put(prefix_, freeEntry_, initialBits_);
    } else {
        // A picture without pixels has no string to emit: the data is a clear code and the end code.
        writer.put(clearCode_, freeEntry_, initialBits_);
    }
    writer.put(endCode_, freeEntry_, initialBits_);
    if (writer.bitCount > 0) ++writer.out;  // the last partial byte, already stored
    writeBlocks(writer.out, true);
    dataCount_ = 0;
}

// Writes the data bytes before end as sub-blocks of 254 bytes; the bytes of an incomplete block
// stay for later unless this is the last call. Returns where the next byte goes.
uint8_t* GifLzwEncoder::writeBlocks(uint8_t* end, bool last) {
    uint8_t* const data = data_.get();
    const size_t count = static_cast<size_t>(end - data);
    const size_t whole = last ? count : count - count % kBlockBytes;
    uint8_t* block = blocks_.get();
    for (size_t at = 0; at < whole; at += kBlockBytes) {
        const size_t n = std::min(kBlockBytes, whole - at);
        *block++ = static_cast<uint8_t>(n);
        std::memcpy(block, data + at, n);
        block += n;
    }
    if (block != blocks_.get()) sink_(blocks_.get(), static_cast<size_t>(block - blocks_.get()));
    // The bytes of an incomplete block move to the front; a partial byte still lives in the
    // accumulator and is stored again with the next code.
    std::memmove(data, data + whole, count - whole);
    return data + (count - whole);
}
