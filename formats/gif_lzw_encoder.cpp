#include "formats/gif_lzw_encoder.h"

#include <algorithm>

namespace {

constexpr const char* kModule = "LumoSaveGif";

}  // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, const GifByteSink& sink)
    : sink_(sink),
      initialBits_(minCodeSize + 1),
      clearCode_(1 << minCodeSize),
      endCode_(clearCode_ + 1),
      freeEntry_(clearCode_ + 2),
      hash_(LumoAllocBuffer<int32_t>(kHashSize, kModule)),
      code_(LumoAllocBuffer<uint16_t>(kHashSize, kModule)),
      bits_(initialBits_),
      maxCode_((1 << initialBits_) - 1),
      blocks_(LumoAllocBuffer<uint8_t>(kBlocksPerWrite * (kBlockBytes + 1), kModule)) {
    std::fill(hash_.get(), hash_.get() + kHashSize, -1);
    // The data starts with a clear code, even for a picture without pixels.
    putCode(clearCode_);
}

void GifLzwEncoder::encode(const uint8_t* pixels, size_t count) {
    if (count == 0) return;
    size_t i = 0;
    if (!started_) {
        // The first pixel starts the first string.
        started_ = true;
        prefix_ = pixels[i++];
    }
    int32_t* const hash = hash_.get();
    uint16_t* const codes = code_.get();
    int prefix = prefix_;
    for (; i < count; ++i) {
        const int pixel = pixels[i];
        const int32_t key = (pixel << kMaxBits) + prefix;
        int slot = (pixel << kHashShift) ^ prefix;
        if (hash[slot] != key && hash[slot] >= 0) slot = probe(hash, slot, key);
        if (hash[slot] == key) {
            // A known string: go on with it as the prefix.
            prefix = codes[slot];
            continue;
        }
        // A new string: emit the known part, start again from the pixel and give the new string
        // the next code, or clear the table when all codes are in use.
        putCode(prefix);
        prefix = pixel;
        if (freeEntry_ < kMaxMaxCode) {
            codes[slot] = static_cast<uint16_t>(freeEntry_++);
            hash[slot] = key;
        } else {
            clearTable();
        }
    }
    prefix_ = prefix;
}

// Searches on from a first slot that holds another string, stepping back by kHashSize minus the
// first slot (1 from slot 0) until the slot of key or a free one. A slot holding the key 0 ends the
// search like a free one, so that key can be lost and entered again; the stream depends on it.
int GifLzwEncoder::probe(const int32_t* hash, int slot, int32_t key) {
    const int step = slot == 0 ? 1 : kHashSize - slot;
    do {
        slot -= step;
        if (slot < 0) slot += kHashSize;
    } while (hash[slot] != key && hash[slot] > 0);
    return slot;
}

void GifLzwEncoder::clearTable() {
    std::fill(hash_.get(), hash_.get() + kHashSize, -1);
    freeEntry_ = clearCode_ + 2;
    clearFlag_ = true;
    putCode(clearCode_);
}

// Writes code with the current width, then widens the codes once the next code to assign no longer
// fits (the code just written still had the old width), or returns to the initial width after a clear.
void GifLzwEncoder::putCode(int code) {
    accumulator_ |= static_cast<uint32_t>(code) << bitCount_;
    bitCount_ += bits_;
    while (bitCount_ >= 8) {
        putByte(static_cast<uint8_t>(accumulator_));
        accumulator_ >>= 8;
        bitCount_ -= 8;
    }
    if (freeEntry_ > maxCode_ || clearFlag_) {
        if (clearFlag_) {
            bits_ = initialBits_;
            clearFlag_ = false;
        } else {
            ++bits_;
        }
        maxCode_ = bits_ == kMaxBits ? kMaxMaxCode : (1 << bits_) - 1;
    }
}

void GifLzwEncoder::putByte(uint8_t byte) {
    uint8_t* const blocks = blocks_.get();
    blocks[blockStart_ + 1 + blockLength_++] = byte;
    if (blockLength_ < kBlockBytes) return;
    blocks[blockStart_] = static_cast<uint8_t>(kBlockBytes);
    blockStart_ += kBlockBytes + 1;
    blockLength_ = 0;
    if (blockStart_ == kBlocksPerWrite * (kBlockBytes + 1)) {
        sink_(blocks, blockStart_);
        blockStart_ = 0;
    }
}

void GifLzwEncoder::finish() {
    if (started_) putCode(prefix_);
    putCode(endCode_);
    if (bitCount_ > 0) putByte(static_cast<uint8_t>(accumulator_));
    // The last block is shorter (or missing when the data filled the one before).
    if (blockLength_ > 0) {
        blocks_[blockStart_] = static_cast<uint8_t>(blockLength_);
        blockStart_ += blockLength_ + 1;
    }
    if (blockStart_ > 0) sink_(blocks_.get(), blockStart_);
    blockStart_ = 0;
    blockLength_ = 0;
}
