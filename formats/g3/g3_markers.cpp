#include "formats/g3/g3_markers.h"

size_t BytesBeforeEndMarkers(std::span<const uint8_t> data, bool msbFirst, bool twoD) {
    int zeros = 0;
    bool inChain = false;  // every 1 bit since chainStart belonged to a marker or its tag bit
    bool tagNext = false;  // the next bit is a 2-D marker's tag bit
    size_t chainStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned byte = data[i];
        if (byte == 0 && !tagNext) {
            zeros = zeros < 11 ? zeros + 8 : zeros;
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            const int bit = static_cast<int>(msbFirst ? byte >> (7 - k) : byte >> k) & 1;
            if (tagNext) {
                tagNext = false;
                if (bit) {
                    zeros = 0;
                    continue;
                }
            }
            if (!bit) {
                if (zeros < 11) ++zeros;
                continue;
            }
            if (zeros >= 11) {
                if (!inChain) chainStart = i * 8 + static_cast<size_t>(k);
                inChain = true;
                tagNext = twoD;
            } else {
                inChain = false;
            }
            zeros = 0;
        }
    }
    // The marker's eleven zeros lie before it, so the last row ends at least 11 bits before
    // chainStart and the bytes before chainStart's byte hold all of it.
    return inChain ? chainStart / 8 : data.size();
}
