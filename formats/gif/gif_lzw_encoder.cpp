#include "formats/gif/gif_lzw_encoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kModule = "LumoSaveGif";

}  // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, const ByteSink& sink)
    : sink_(sink),
      initialBits_(minCodeSize + 1),
      clearCode_(1 << minCodeSize),
      endCode_(clearCode_ + 1),
      freeEntry_(clearCode_ + 2),
      table_(LumoAllocBuffer<uint32_t>(kHashSize, kModule)),
      bits_(initialBits_),
      maxCode_((1 << initialBits_) - 1),
      // A code adds at most 2 bytes to a full buffer before it is sent.
      data_(LumoAllocBuffer<uint8_t>(kBlocksPerWrite * kBlockBytes + 2, kModule)),
      blocks_(LumoAllocBuffer<uint8_t>((kBlocksPerWrite + 1) * (kBlockBytes + 1), kModule)) {
    std::fill(table_.get(), table_.get() + kHashSize, 0u);
    // The data starts with a clear code, even for a picture without pixels.
    putCode(clearCode_);
}

// Writes code with the current width, then widens the codes once the next code to assign no longer
// fits (the code just written still had the old width), or returns to the initial width after a clear.
inline void GifLzwEncoder::putCode(int code) {
    // At most 7 + 12 bits are held, so a code completes one or two bytes depending on where it
    // starts. Both bytes are stored and only the whole ones kept (a partial one is stored again
    // with the next code): a loop over them would guess wrong half the time.
    const uint32_t accumulator = accumulator_ | static_cast<uint32_t>(code) << bitCount_;
    const int bitCount = bitCount_ + bits_;
    uint8_t* const out = data_.get() + dataLength_;
    out[0] = static_cast<uint8_t>(accumulator);
    out[1] = static_cast<uint8_t>(accumulator >> 8);
    dataLength_ += static_cast<size_t>(bitCount / 8);
    accumulator_ = accumulator >> (bitCount / 8 * 8);
    bitCount_ = bitCount % 8;
    if (dataLength_ >= kBlocksPerWrite * kBlockBytes) writeBlocks(false);

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

// Whether a slot holds the string whose key, moved to the top 20 bits, is tag.
inline bool GifLzwEncoder::holds(uint32_t entry, uint32_t tag) { return entry != 0 && (entry & ~kCodeMask) == tag; }

void GifLzwEncoder::encode(const uint8_t* pixels, size_t count) {
    if (count == 0) return;
    size_t i = 0;
    if (!started_) {
        // The first pixel starts the first string.
        started_ = true;
        prefix_ = pixels[i++];
    }
    uint32_t* const table = table_.get();
    uint32_t prefix = static_cast<uint32_t>(prefix_);
    for (; i < count; ++i) {
        const uint32_t pixel = pixels[i];
        const uint32_t tag = (pixel << kMaxBits | prefix) << kMaxBits;
        int slot = static_cast<int>(pixel << kHashShift ^ prefix);
        if (table[slot] != 0 && !holds(table[slot], tag)) slot = probe(table, slot, tag);
        if (holds(table[slot], tag)) {
            // A known string: go on with it as the prefix.
            prefix = table[slot] & kCodeMask;
            continue;
        }
        // A new string: emit the known part, start again from the pixel and give the new string
        // the next code, or clear the table when all codes are in use.
        putCode(static_cast<int>(prefix));
        prefix = pixel;
        if (freeEntry_ < kMaxMaxCode) {
            table[slot] = tag | static_cast<uint32_t>(freeEntry_++);
        } else {
            clearTable();
        }
    }
    prefix_ = static_cast<int>(prefix);
}

// Searches on from a first slot that holds another string, stepping back by kHashSize minus the
// first slot (1 from slot 0) until the slot of the string or a free one. A slot holding the key 0
// (top bits 0) ends the search like a free one, so that string can be lost and entered again; the
// stream depends on it.
int GifLzwEncoder::probe(const uint32_t* table, int slot, uint32_t tag) {
    const int step = slot == 0 ? 1 : kHashSize - slot;
    do {
        slot -= step;
        if (slot < 0) slot += kHashSize;
    } while (!holds(table[slot], tag) && table[slot] > kCodeMask);
    return slot;
}

void GifLzwEncoder::clearTable() {
    std::fill(table_.get(), table_.get() + kHashSize, 0u);
    freeEntry_ = clearCode_ + 2;
    clearFlag_ = true;
    putCode(clearCode_);
}

// Sends the whole sub-blocks of the data so far, and with last the shorter final one too.
void GifLzwEncoder::writeBlocks(bool last) {
    const uint8_t* const data = data_.get();
    const size_t whole = last ? dataLength_ : dataLength_ - dataLength_ % kBlockBytes;
    uint8_t* block = blocks_.get();
    for (size_t at = 0; at < whole; at += kBlockBytes) {
        const size_t n = std::min(kBlockBytes, whole - at);
        *block++ = static_cast<uint8_t>(n);
        std::memcpy(block, data + at, n);
        block += n;
    }
    if (block != blocks_.get()) sink_(blocks_.get(), static_cast<size_t>(block - blocks_.get()));
    std::memmove(data_.get(), data + whole, dataLength_ - whole);
    dataLength_ -= whole;
}

void GifLzwEncoder::finish() {
    if (started_) putCode(prefix_);
    putCode(endCode_);
    if (bitCount_ > 0) data_[dataLength_++] = static_cast<uint8_t>(accumulator_);
    writeBlocks(true);
}
