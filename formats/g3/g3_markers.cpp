#include "formats/g3/g3_markers.h"

namespace {

// The data's bits in reading order.
class Bits {
public:
    Bits(std::span<const uint8_t> data, bool msbFirst) : data_(data), msbFirst_(msbFirst) {}
    size_t size() const { return data_.size() * 8; }
    int at(size_t index) const {
        const unsigned byte = data_[index / 8];
        return static_cast<int>(msbFirst_ ? byte >> (7 - index % 8) : byte >> (index % 8)) & 1;
    }
    // The index of the last 1 bit before end, or size() when there is none.
    size_t lastOneBefore(size_t end) const {
        while (end > 0) {
            if (end % 8 == 0 && data_[end / 8 - 1] == 0) {
                end -= 8;
                continue;
            }
            if (at(--end)) return end;
        }
        return size();
    }
    // A 1 bit after at least 11 zero bits.
    bool isMarker(size_t index) const {
        if (index < 11 || !at(index)) return false;
        for (size_t k = index - 11; k < index; ++k)
            if (at(k)) return false;
        return true;
    }

private:
    std::span<const uint8_t> data_;
    bool msbFirst_;
};

}  // namespace

size_t BytesBeforeEndMarkers(std::span<const uint8_t> data, bool msbFirst, bool twoD) {
    const Bits bits(data, msbFirst);
    size_t chainStart = bits.size();  // the first marker of the closing run, from the end backwards
    for (size_t end = bits.size();;) {
        const size_t one = bits.lastOneBefore(end);
        if (one == bits.size()) break;
        if (bits.isMarker(one))
            chainStart = end = one;
        else if (twoD && one > 0 && bits.isMarker(one - 1))  // one is the tag bit after a marker
            chainStart = end = one - 1;
        else
            break;
    }
    // The marker's eleven zeros lie before it, so the last row ends at least 11 bits before
    // chainStart and the bytes before chainStart's byte hold all of it.
    return chainStart == bits.size() ? data.size() : chainStart / 8;
}
