#include "core/quantize_exact.h"

#include <cstring>

#include "core/conversion_steps.h"

namespace {

// The distinct colours of a picture, up to 256, in an open-addressing table four times that size
// (short probes), each with the palette index it was given in order of arrival.
class ColourIndex {
public:
    explicit ColourIndex(int limit) : limit_(limit) { std::memset(keys_, 0xFF, sizeof keys_); }

    // The index of colour (0xRRGGBB), adding it when it is new; -1 when it is new and the table
    // already holds limit colours.
    int add(uint32_t colour) {
        uint32_t slot = SlotOf(colour);
        while (keys_[slot] != kEmpty) {
            if (keys_[slot] == colour) return indices_[slot];
            slot = (slot + 1) & (kSlots - 1);
        }
        if (count_ == limit_) return -1;
        keys_[slot] = colour;
        indices_[slot] = static_cast<uint8_t>(count_);
        order_[count_] = colour;
        return count_++;
    }

    int count() const { return count_; }
    uint32_t colour(int index) const { return order_[index]; }

private:
    static constexpr uint32_t kSlots = 1024;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;  // no 24-bit colour looks like it
    static uint32_t SlotOf(uint32_t colour) { return colour * 0x9E3779B1u >> 22; }

    uint32_t keys_[kSlots];
    uint8_t indices_[kSlots];
    uint32_t order_[256];
    int count_ = 0;
    int limit_;
};

inline uint32_t ColourAt(const uint8_t* pixel) {
    return static_cast<uint32_t>(pixel[2]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[0];
}

// Walks a row of RGB pixels and hands each pixel's index to emit; a run of one colour is looked
// up once. Returns false as soon as a colour does not fit.
template <typename Emit>
bool IndexRow(const uint8_t* pixel, int width, ColourIndex& colours, Emit emit) {
    uint32_t last = 0xFFFFFFFF;
    int index = 0;
    for (int x = 0; x < width; ++x, pixel += 3) {
        const uint32_t colour = ColourAt(pixel);
        if (colour != last) {
            index = colours.add(colour);
            if (index < 0) return false;
            last = colour;
        }
        emit(x, static_cast<unsigned>(index));
    }
    return true;
}

}  // namespace

ImagePtr PaletteOfExactColours(const IMG& rgb, int bits) {
    // Count first, in picture order, without progress: a picture with too many colours goes on
    // to the median cut, whose progress reports are then the only ones.
    ColourIndex colours(1 << bits);
    for (int y = 0; y < rgb.height; ++y)
        if (!IndexRow(PictureRow(rgb, y), rgb.width, colours, [](int, unsigned) {})) return nullptr;

    PalettePtr palette = CreateIMGPalette(1 << bits);
    std::memset(palette.get(), 0, static_cast<size_t>(3) << bits);
    for (int i = 0; i < colours.count(); ++i) {
        const uint32_t colour = colours.colour(i);
        LumoSetPaletteEntry(palette.get(), i, static_cast<int>(colour >> 16), colour >> 8 & 0xFF, colour & 0xFF);
    }
    ImagePtr target = CreateLike(rgb, COLOR, bits, std::move(palette));
    const RowProgress progress(rgb.height);
    for (int k = 0; k < rgb.height; ++k) {
        uint8_t* out = MemoryRow(*target, k);
        // The nibbles are or-ed in, and the padding stays 0 (an empty picture has no row to clear).
        if (target->rowBytes) std::memset(out, 0, target->rowBytes);
        if (bits == 8)
            IndexRow(MemoryRow(rgb, k), rgb.width, colours, [out](int x, unsigned index) { out[x] = static_cast<uint8_t>(index); });
        else  // left pixel in the high nibble; an odd width leaves the last index alone in its byte
            IndexRow(MemoryRow(rgb, k), rgb.width, colours,
                     [out](int x, unsigned index) { out[x >> 1] |= static_cast<uint8_t>(x & 1 ? index : index << 4); });
        progress.row(k);
    }
    progress.done();
    return target;
}

std::optional<std::vector<uint8_t>> DistinctValues(const IMG& image, int limit) {
    bool seen[256] = {};
    std::vector<uint8_t> values;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = PictureRow(image, y);
        for (int x = 0; x < image.width; ++x) {
            if (seen[row[x]]) continue;
            if (static_cast<int>(values.size()) == limit) return std::nullopt;
            seen[row[x]] = true;
            values.push_back(row[x]);
        }
    }
    return values;
}
