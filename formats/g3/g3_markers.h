// The end-of-line markers of fax data, found without decoding: a 1 bit that follows at least 11 zero
// bits (EOL is eleven zeros and a one; no run code holds that many zeros in a row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The byte with its bits in reading order from the most significant bit down: itself when bits are
// read from the most significant bit first, else reversed.
inline unsigned InReadingOrder(uint8_t byte, bool msbFirst) {
    if (msbFirst) return byte;
    unsigned reversed = 0;
    for (int k = 0; k < 8; ++k) reversed |= ((byte >> k) & 1u) << (7 - k);
    return reversed;
}

// Calls visit(bitIndex, nextBit) for every marker, bits read from each byte's most significant bit
// first (msbFirst) or least significant bit first; nextBit is the bit after the marker, or -1 when
// the marker is the data's last bit. Only a byte's first 1 bit can be a marker (the ones after it
// follow fewer than 8 zeros), so each byte is looked at once.
template <typename Visit>
void ForEachMarker(std::span<const uint8_t> data, bool msbFirst, Visit&& visit) {
    unsigned order[256];
    for (unsigned b = 0; b < 256; ++b) order[b] = InReadingOrder(static_cast<uint8_t>(b), msbFirst);
    int zeros = 0;  // zero bits just read, counted up to 11
    bool pending = false;  // a marker ended the previous byte; its next bit is this byte's first
    size_t pendingAt = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned bits = order[data[i]];
        if (pending) {
            visit(pendingAt, static_cast<int>(bits >> 7));
            pending = false;
        }
        if (bits == 0) {
            zeros = zeros < 11 ? zeros + 8 : zeros;
            continue;
        }
        const int leading = __builtin_clz(bits) - 24;  // zero bits before the byte's first 1
        if (zeros + leading >= 11) {
            const size_t at = i * 8 + static_cast<size_t>(leading);
            if (leading < 7)
                visit(at, static_cast<int>(bits >> (6 - leading)) & 1);
            else {
                pending = true;
                pendingAt = at;
            }
        }
        zeros = __builtin_ctz(bits);  // zero bits after the byte's last 1
    }
    if (pending) visit(pendingAt, -1);
}

// The number of bytes before the end-of-page marker that closes the data: the run of markers at the
// end with nothing but zero bits (and, in 2-D data, each marker's tag bit) between them. Decoded,
// each pair of such markers would be an empty row, which libtiff's decoder turns into a white row.
// The whole size when the data does not end in markers.
size_t BytesBeforeEndMarkers(std::span<const uint8_t> data, bool msbFirst, bool twoD);
