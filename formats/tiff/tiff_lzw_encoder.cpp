#include "formats/tiff/tiff_lzw_encoder.h"

#include <algorithm>

namespace {

constexpr const char* kModule = "LumoSaveTiff";

constexpr uint32_t kClearCode = 256;
constexpr uint32_t kEndCode = 257;
constexpr uint32_t kFirstCode = 258;  // the first code of a string of two bytes or more
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
// libtiff's decoder widens its codes one entry before the encoder's count reaches the next power
// of two, and stops at 4095 entries; clearing when the encoder's next code would be 4094 keeps both
// sides below that (the limit libtiff's own encoder uses).
constexpr uint32_t kTableLimit = 4094;
constexpr uint32_t kCodesPerTable = kTableLimit - kFirstCode;  // codes written between two clears
constexpr uint32_t kCodeMask = (1u << kMaxBits) - 1;

// Fibonacci hashing of the 20-bit key to the table's slots.
inline uint32_t SlotOf(uint32_t key, int hashBits) { return key * 2654435761u >> (32 - hashBits); }

}  // namespace

TiffLzwEncoder::TiffLzwEncoder()
    : table_(LumoAllocBuffer<uint32_t>(kHashSize, kModule)), used_(LumoAllocBuffer<uint16_t>(kCodesPerTable, kModule)) {
    std::fill(table_.get(), table_.get() + kHashSize, 0u);
}

size_t TiffLzwEncoder::maxEncodedSize(size_t size) {
    // One code per input byte at most, a ClearCode first and after every kCodesPerTable codes (one
    // more may follow the last code), the EndOfInformation code; none wider than 12 bits.
    // The writer stores a byte past the end of the bits it keeps.
    const size_t codes = size + size / kCodesPerTable + 4;
    return (codes * kMaxBits + 7) / 8 + 1;
}

void TiffLzwEncoder::clearTable(uint32_t strings) {
    uint32_t* const table = table_.get();
    const uint16_t* const used = used_.get();
    for (uint32_t i = 0; i < strings; ++i) table[used[i]] = 0;
}

std::span<const uint8_t> TiffLzwEncoder::encode(const uint8_t* data, size_t size) {
    const size_t bound = maxEncodedSize(size);
    if (capacity_ < bound) {
        output_.reset();  // nothing to keep: the old buffer goes before the new one is taken
        capacity_ = 0;
        output_ = LumoAllocBuffer<uint8_t>(bound, kModule);
        capacity_ = bound;
    }

    // The hot state lives in locals so that it stays in registers.
    uint32_t* const table = table_.get();
    uint16_t* const used = used_.get();
    uint8_t* out = output_.get();
    uint32_t pending = 0;  // bits not yet stored for good, the oldest highest; only the low pendingBits count
    int pendingBits = 0;   // fewer than 8 between codes
    int width = kMinBits;
    uint32_t maxCode = (1u << kMinBits) - 1;
    uint32_t nextCode = kFirstCode;

    // Appends a code of the current width. At most 7 + 12 bits are then pending: both whole bytes
    // they may hold are stored and only the whole ones kept, the partial one being stored again with
    // the next code (a branch on the count would guess wrong about once a code).
    const auto put = [&](uint32_t code) {
        pending = pending << width | code;
        pendingBits += width;
        const uint32_t top = pending << (32 - pendingBits);  // the pending bits from the most significant
        out[0] = static_cast<uint8_t>(top >> 24);
        out[1] = static_cast<uint8_t>(top >> 16);
        out += pendingBits >> 3;
        pendingBits &= 7;
    };
    // After a code is written its string's successor takes the next code (the final code counts as
    // well, as the decoder adds an entry for it): the table is cleared once that would be 4094, or
    // the codes widen once it passes the largest code of the current width.
    const auto advance = [&]() {
        if (++nextCode == kTableLimit) {
            put(kClearCode);
            clearTable(nextCode - kFirstCode);
            nextCode = kFirstCode;
            width = kMinBits;
            maxCode = (1u << kMinBits) - 1;
        } else if (nextCode > maxCode) {
            ++width;
            maxCode = (1u << width) - 1;
        }
    };

    put(kClearCode);
    if (size > 0) {
        uint32_t prefix = data[0];  // code of the longest known string ending here
        for (size_t i = 1; i < size; ++i) {
            const uint32_t byte = data[i];
            const uint32_t key = prefix << 8 | byte;
            uint32_t slot = SlotOf(key, kHashBits);
            uint32_t entry;
            while ((entry = table[slot]) != 0 && entry >> kMaxBits != key) slot = (slot + 1) & (kHashSize - 1);
            if (entry != 0) {
                prefix = entry & kCodeMask;
                continue;
            }
            // A new string: write the known part and give the new one the next code.
            put(prefix);
            table[slot] = key << kMaxBits | nextCode;
            used[nextCode - kFirstCode] = static_cast<uint16_t>(slot);
            prefix = byte;
            advance();
        }
        put(prefix);
        advance();
    }
    put(kEndCode);

    // The last bits, the final byte padded with zeros.
    if (pendingBits > 0) *out++ = static_cast<uint8_t>(pending << (8 - pendingBits));
    clearTable(nextCode - kFirstCode);
    return {output_.get(), static_cast<size_t>(out - output_.get())};
}
