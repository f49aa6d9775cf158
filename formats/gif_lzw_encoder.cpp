#include "formats/gif_lzw_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr const char* kModule = "LumoSaveGif";

}  // namespace

// Adds count (at most 56) bits, least significant first. All 8 bytes of the accumulator are stored;
// only the whole ones count, the rest is stored again with the next bits.
inline void GifLzwEncoder::CodeWriter::append(uint64_t value, int count) {
    accumulator |= value << bitCount;
    bitCount += count;
    const uint64_t stored = std::endian::native == std::endian::little ? accumulator : __builtin_bswap64(accumulator);
    std::memcpy(out, &stored, sizeof stored);
    const int bytes = bitCount >> 3;
    out += bytes;
    accumulator >>= bytes * 8;
    bitCount &= 7;
}

inline void GifLzwEncoder::CodeWriter::put(int code, int freeEntry, int initialBits) {
    append(static_cast<uint64_t>(code), bits);
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

namespace {

// Bytes a run of codes between two clears can take: fewer than 4096 codes of at most 12 bits, the
// clear or end code, and the 8-byte store of the code writer.
constexpr size_t kRunBytes = 4096 * 12 / 8 + 16;

}  // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, const GifByteSink& sink)
    : sink_(sink),
      initialBits_(minCodeSize + 1),
      clearCode_(1 << minCodeSize),
      endCode_(clearCode_ + 1),
      noEntry_(static_cast<uint32_t>(clearCode_) << kMaxBits),
      freeEntry_(static_cast<uint32_t>(clearCode_ + 2)),
      // One more than the codes: a new string met with a full table is emitted under code 4096.
      emitted_(LumoAllocBuffer<uint32_t>(kMaxMaxCode + 1, kModule)),
      set_(LumoAllocBuffer<uint32_t>(kSetSize, kModule)),
      hash_(LumoAllocBuffer<int32_t>(kHashSize, kModule)),
      code_(LumoAllocBuffer<uint16_t>(kHashSize, kModule)),
      data_(LumoAllocBuffer<uint8_t>(kBlockBytes * kBlocksPerFlush + kRunBytes, kModule)),
      blocks_(LumoAllocBuffer<uint8_t>((kBlocksPerFlush + kRunBytes / kBlockBytes + 1) * (kBlockBytes + 1), kModule)) {
    writer_.bits = initialBits_;
    writer_.maxCode = (1 << initialBits_) - 1;
    writer_.out = data_.get();
    std::fill(set_.get(), set_.get() + kSetSize, noEntry_);
    // Prefix codes fill 12 of the slot number's bits; each pixel moves them by its own amount.
    for (uint32_t pixel = 0; pixel < 256; ++pixel) pixelSpread_[pixel] = (pixel * 0x9E3779B1u) >> (32 - kSetBits);
}

void GifLzwEncoder::encode(const uint8_t* pixels, size_t count) {
    if (count == 0) return;
    const uint8_t* const end = pixels + count;
    if (!started_) {
        // The first pixel starts the first string; the data begins with a clear code.
        started_ = true;
        prefix_ = *pixels++;
        writer_.put(clearCode_, static_cast<int>(freeEntry_), initialBits_);
    }
    while (pixels < end) pixels = classic_ ? encodeWithClassicTable(pixels, end) : encodeWithSet(pixels, end);
}

namespace {

// Hides a value from the optimizer, so that a test computed from it is not split into branches.
inline uint32_t Opaque(uint32_t value) {
    asm("" : "+r"(value));
    return value;
}

// ifNew when match is above codeMask (the slot does not hold the string), else ifKnown. Whether a
// string is known or new is as good as random, so this is a conditional move rather than a branch
// that would be mispredicted every other time.
template <uint32_t codeMask>
inline uint32_t ChooseByMatch(uint32_t match, uint32_t ifNew, uint32_t ifKnown) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    asm("cmpl %[limit], %[match]\n\tcmova %[ifNew], %[result]"
        : [result] "+r"(ifKnown)
        : [match] "r"(match), [limit] "i"(codeMask), [ifNew] "r"(ifNew)
        : "cc");
    return ifKnown;
#else
    const uint32_t mask = Opaque(0u - (match > codeMask));
    return ifKnown ^ ((ifNew ^ ifKnown) & mask);
#endif
}

}  // namespace

// Encodes until the end, a clear, or the switch to the classic table; returns the next pixel.
const uint8_t* GifLzwEncoder::encodeWithSet(const uint8_t* pixels, const uint8_t* const end) {
    uint32_t* const set = set_.get();
    const uint32_t* const spread = pixelSpread_;
    uint32_t* const emitted = emitted_.get();
    const uint32_t noEntry = noEntry_;
    uint32_t prefix = prefix_;
    uint32_t freeEntry = freeEntry_;
    // The slot of the current prefix followed by the next pixel. Each step works out the next slot
    // for both outcomes and keeps the right one, so one lookup follows the other with less delay.
    uint32_t slot = prefix ^ spread[*pixels];
    while (pixels < end) {
        // Each pixel gives at most one code, so for this stretch the table cannot overflow unnoticed:
        // at most its last pixel meets a full table.
        const uint8_t* const stretchEnd = pixels + std::min<size_t>(end - pixels, kMaxMaxCode + 1 - freeEntry);
        while (pixels < stretchEnd) {
            const uint32_t pixel = *pixels++;
            const uint32_t following = pixels < end ? *pixels : 0;
            // Should this string be new, the next lookup starts from this pixel: fetch its slot now.
            const uint32_t slotIfNew = pixel ^ spread[following];
            __builtin_prefetch(set + slotIfNew);
            const uint32_t key = pixel << kMaxBits | prefix;
            const uint32_t tag = key << kMaxBits;
            uint32_t entry = set[slot];
            uint32_t match = entry ^ tag;  // the string's code when the slot holds this string
            if (Opaque((match > kCodeMask) & (entry != noEntry))) [[unlikely]] {
                // Another string holds the slot: probe with a step taken from the key.
                const uint32_t step = (key * 0x85EBCA77u) >> (32 - kSetBits) | 1;
                do {
                    slot = (slot + step) & (kSetSize - 1);
                    entry = set[slot];
                    match = entry ^ tag;
                } while (match > kCodeMask && entry != noEntry);
            }
            // A new string emits its prefix, takes the next code and starts again from its last
            // pixel; a known one becomes the prefix. Both outcomes are written, the counter says
            // which counts.
            emitted[freeEntry] = prefix | slot << 16;
            set[slot] = ChooseByMatch<kCodeMask>(match, tag | freeEntry, entry);
            const uint32_t isNew = match > kCodeMask;
            freeEntry += isNew;
            const uint32_t previous = prefix;
            prefix = ChooseByMatch<kCodeMask>(match, pixel, match);
            slot = ChooseByMatch<kCodeMask>(match, slotIfNew, match ^ spread[following]);
            // A new string whose first classic slot is 0.
            if (Opaque(isNew & (previous == pixel << kHashShift))) [[unlikely]] {
                if (key != 0) {
                    slotZeroTaken_ = true;
                } else if (slotZeroTaken_ && freeEntry <= kMaxMaxCode) {
                    prefix_ = prefix;
                    freeEntry_ = freeEntry;
                    replayIntoClassicTable();
                    return pixels;
                }
            }
        }
        if (freeEntry > kMaxMaxCode) {
            // A new string met a full table: it is not added; the table is cleared instead.
            prefix_ = prefix;
            freeEntry_ = freeEntry;
            clearTable();
            return pixels;
        }
    }
    prefix_ = prefix;
    freeEntry_ = freeEntry;
    return pixels;
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

// Encodes with the classic table until the end or the next clear; returns the next pixel.
const uint8_t* GifLzwEncoder::encodeWithClassicTable(const uint8_t* pixels, const uint8_t* const end) {
    int32_t* const hash = hash_.get();
    uint16_t* const codes = code_.get();
    while (pixels < end) {
        const uint32_t pixel = *pixels++;
        const int32_t key = static_cast<int32_t>(pixel << kMaxBits | prefix_);
        const int slot = classicSlot(hash, static_cast<int>(pixel << kHashShift ^ prefix_), key);
        if (slot < 0) {
            prefix_ = codes[-1 - slot];
            continue;
        }
        emitted_[freeEntry_] = prefix_;
        prefix_ = pixel;
        if (freeEntry_ == kMaxMaxCode) {
            ++freeEntry_;
            clearTable();
            break;
        }
        codes[slot] = static_cast<uint16_t>(freeEntry_++);
        hash[slot] = key;
    }
    return pixels;
}

// Builds the classic table from the codes given since the last clear, in the order they were given,
// and empties the set.
void GifLzwEncoder::replayIntoClassicTable() {
    int32_t* const hash = hash_.get();
    std::fill(hash, hash + kHashSize, -1);
    for (uint32_t code = static_cast<uint32_t>(clearCode_ + 2); code < freeEntry_; ++code) {
        const int32_t key = static_cast<int32_t>(set_[emitted_[code] >> 16] >> kMaxBits);
        const int slot = classicSlot(hash, ((key >> kMaxBits) << kHashShift) ^ (key & kCodeMask), key);
        hash[slot] = key;
        code_[slot] = static_cast<uint16_t>(code);
    }
    emptySet();
    classic_ = true;
}

// Writes count codes of the current width from the low 16 bits of emitted, four at a time where
// it can: four codes of at most 12 bits and the partial byte fit one 8-byte store.
void GifLzwEncoder::CodeWriter::putRun(const uint32_t* emitted, size_t count) {
    const int width = bits;
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const uint64_t four = uint64_t{emitted[i] & 0xFFFF} | uint64_t{emitted[i + 1] & 0xFFFF} << width |
                              uint64_t{emitted[i + 2] & 0xFFFF} << 2 * width |
                              uint64_t{emitted[i + 3] & 0xFFFF} << 3 * width;
        append(four, 4 * width);
    }
    // The last few one by one; the width cannot change within the run.
    for (; i < count; ++i) append(emitted[i] & 0xFFFF, width);
}

// Writes the codes emitted since the last clear, up to the one emitted when `end` was the next
// code to assign. The width grows after the code emitted when 1 << width was the next to assign,
// so the run splits into stretches of one width.
void GifLzwEncoder::writeCodes(uint32_t end) {
    CodeWriter writer = writer_;
    for (uint32_t code = static_cast<uint32_t>(clearCode_ + 2); code <= end;) {
        const uint32_t widthLimit = 1u << writer.bits;
        const uint32_t stretchEnd = writer.bits == kMaxBits ? end : std::min(end, widthLimit);
        writer.putRun(emitted_.get() + code, stretchEnd - code + 1);
        code = stretchEnd + 1;
        if (stretchEnd == widthLimit && writer.bits < kMaxBits) {
            ++writer.bits;
            writer.maxCode = writer.bits == kMaxBits ? kMaxMaxCode : (1 << writer.bits) - 1;
        }
    }
    writer_ = writer;
}

// Empties the slots of the string set that the codes given since the last clear took (a new string
// met with a full table took one more, under code 4096).
void GifLzwEncoder::emptySet() {
    const uint32_t last = std::min<uint32_t>(freeEntry_, kMaxMaxCode + 1);
    for (uint32_t code = static_cast<uint32_t>(clearCode_ + 2); code < last; ++code) set_[emitted_[code] >> 16] = noEntry_;
}

// Writes the codes so far and a clear code, and starts an empty table.
void GifLzwEncoder::clearTable() {
    writeCodes(freeEntry_ - 1);
    if (!classic_) emptySet();
    slotZeroTaken_ = false;
    classic_ = false;
    freeEntry_ = static_cast<uint32_t>(clearCode_ + 2);
    writer_.clearFlag = true;
    writer_.put(clearCode_, static_cast<int>(freeEntry_), initialBits_);
    flushWholeBlocks(false);
}

void GifLzwEncoder::finish() {
    if (started_) {
        emitted_[freeEntry_] = prefix_;
        writeCodes(freeEntry_);
    } else {
        // A picture without pixels has no string to emit: the data is a clear code and the end code.
        writer_.put(clearCode_, static_cast<int>(freeEntry_), initialBits_);
    }
    writer_.put(endCode_, static_cast<int>(freeEntry_), initialBits_);
    if (writer_.bitCount > 0) ++writer_.out;  // the last partial byte, already stored
    flushWholeBlocks(true);
}

// Sends the data bytes written so far as sub-blocks of 254 bytes once there are kBlocksPerFlush of
// them, or all of them (the last block shorter) when last is set.
void GifLzwEncoder::flushWholeBlocks(bool last) {
    uint8_t* const data = data_.get();
    const size_t count = static_cast<size_t>(writer_.out - data);
    if (!last && count < kBlockBytes * kBlocksPerFlush) return;
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
    writer_.out = data + (count - whole);
}
