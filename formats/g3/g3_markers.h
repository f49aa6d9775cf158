// The end-of-line markers of fax data, found without decoding: a 1 bit that follows at least 11 zero
// bits (EOL is eleven zeros and a one; no run code holds that many zeros in a row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Calls visit(bitIndex, nextBit) for every marker, bits read from each byte's most significant bit
// first (msbFirst) or least significant bit first; nextBit is the bit after the marker, or -1 when
// the marker is the data's last bit.
template <typename Visit>
void ForEachMarker(std::span<const uint8_t> data, bool msbFirst, Visit&& visit) {
    int zeros = 0;  // zero bits just read, counted up to 11
    bool pending = false;
    size_t pendingAt = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned byte = data[i];
        if (byte == 0 && !pending) {
            zeros = zeros < 11 ? zeros + 8 : zeros;
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            const int bit = static_cast<int>(msbFirst ? byte >> (7 - k) : byte >> k) & 1;
            if (pending) {
                visit(pendingAt, bit);
                pending = false;
            }
            if (bit) {
                if (zeros >= 11) {
                    pending = true;
                    pendingAt = i * 8 + static_cast<size_t>(k);
                }
                zeros = 0;
            } else if (zeros < 11) {
                ++zeros;
            }
        }
    }
    if (pending) visit(pendingAt, -1);
}

// The number of bytes before the end-of-page marker that closes the data: the run of markers at the
// end with nothing but zero bits (and, in 2-D data, each marker's tag bit) between them. Decoded,
// each pair of such markers would be an empty row, which libtiff's decoder turns into a white row.
// The whole size when the data does not end in markers.
size_t BytesBeforeEndMarkers(std::span<const uint8_t> data, bool msbFirst, bool twoD);
