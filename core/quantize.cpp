#include "core/quantize.h"

#include <cstring>

#include "core/colour_cells.h"
#include "core/conversion_steps.h"
#include "core/error_diffusion.h"
#include "core/median_cut.h"
#include "core/memory.h"

namespace {

constexpr const char* kModule = "LumoQuantize";
// Once the histogram has become the colour lookup, a cell holds its palette index in the low
// byte and that entry's colour above it, so the diffusion reads both with one load. A cell that
// held no pixel is marked unmapped; no entry looks like the mark, as no component exceeds 248.
constexpr uint32_t kUnmapped = 0xFFFFFFFF;
inline uint32_t IndexOf(uint32_t entry) { return entry & 0xFF; }
inline int BlueOf(uint32_t entry) { return static_cast<int>(entry >> 8 & 0xFF); }
inline int GreenOf(uint32_t entry) { return static_cast<int>(entry >> 16 & 0xFF); }
inline int RedOf(uint32_t entry) { return static_cast<int>(entry >> 24); }

// The working state of one quantization: the histogram that becomes the colour lookup, the
// palette and the colour cells. Everything is released when the call ends, however it ends.
class Quantizer {
public:
    Quantizer(const IMG& source, int bits)
        : source_(source),
          bits_(bits),
          table_(LumoAllocBuffer<uint32_t>(kHistogramCells, kModule)),
          progress_(2L * source.height) {}

    ImagePtr run(bool dither) {
        const int entries = 1 << bits_;
        PalettePtr palette = CreateIMGPalette(entries);
        std::memset(palette.get(), 0, static_cast<size_t>(entries) * 3);
        countColours();
        // Entries after the last box stay 0, 0, 0; no cell maps to them.
        colours_ = MedianCutPalette(table_.get(), pixelCount(), entries, palette.get());
        std::memcpy(palette_, palette.get(), static_cast<size_t>(entries) * 3);

        ImagePtr target = CreateLike(source_, COLOR, bits_, std::move(palette));
        if (colours_ > 0) {
            ColourCells cells(palette_, colours_);
            buildLookup(cells);
            if (dither)
                diffuse(*target, cells);
            else
                mapPixels(*target);
        }
        progress_.done();
        return target;
    }

private:
    uint64_t pixelCount() const { return static_cast<uint64_t>(source_.width) * source_.height; }

    void countColours() {
        uint32_t* histogram = table_.get();
        std::memset(histogram, 0, kHistogramCells * sizeof(uint32_t));
        for (int k = 0; k < source_.height; ++k) {
            const uint8_t* pixel = MemoryRow(source_, k);
            for (int x = 0; x < source_.width; ++x, pixel += 3) ++histogram[HistogramCellOf(pixel[2], pixel[1], pixel[0])];
            progress_.row(k);
        }
    }

    // Every non-empty cell, red slowest and blue fastest, gets the palette index nearest to
    // its corner (8 r5, 8 g5, 8 b5); this order decides which point builds each colour cell.
    void buildLookup(ColourCells& cells) {
        uint32_t* table = table_.get();
        for (int cell = 0; cell < kHistogramCells; ++cell)
            table[cell] = table[cell] == 0
                              ? kUnmapped
                              : lookupEntry(cells.nearest((cell >> 10) * 8, (cell >> 5 & 31) * 8, (cell & 31) * 8));
    }

    uint32_t lookupEntry(int index) const {
        const uint8_t* colour = palette_ + 3 * index;
        return static_cast<uint32_t>(index) | static_cast<uint32_t>(colour[2]) << 8 |
               static_cast<uint32_t>(colour[1]) << 16 | static_cast<uint32_t>(colour[0]) << 24;
    }

    void mapPixels(IMG& target) {
        const uint32_t* table = table_.get();
        const int width = source_.width;
        for (int k = 0; k < source_.height; ++k) {
            const uint8_t* pixel = MemoryRow(source_, k);
            uint8_t* out = MemoryRow(target, k);
            if (bits_ == 8) {
                for (int x = 0; x < width; ++x, pixel += 3)
                    out[x] = static_cast<uint8_t>(IndexOf(table[HistogramCellOf(pixel[2], pixel[1], pixel[0])]));
            } else {
                for (int x = 0; x + 1 < width; x += 2, pixel += 6)
                    *out++ = static_cast<uint8_t>(IndexOf(table[HistogramCellOf(pixel[2], pixel[1], pixel[0])]) << 4 |
                                                  IndexOf(table[HistogramCellOf(pixel[5], pixel[4], pixel[3])]));
                // An odd width leaves the last index alone in the high nibble.
                if (width & 1)
                    *out = static_cast<uint8_t>(IndexOf(table[HistogramCellOf(pixel[2], pixel[1], pixel[0])]) << 4);
            }
            ClearRowPadding(MemoryRow(target, k), usedBytes(), target.rowBytes);
            progress_.row(source_.height + k);
        }
    }

    size_t usedBytes() const { return (static_cast<size_t>(source_.width) * bits_ + 7) / 8; }

    // Floyd-Steinberg diffusion of the three components, working rows in the stored order
    // blue, green, red with a scratch pixel before the first column.
    void diffuse(IMG& target, ColourCells& cells) {
        const int width = source_.width, height = source_.height;
        const size_t stride = 3 * (static_cast<size_t>(width) + 1);
        LumoBuffer<int16_t> levels = LumoAllocBuffer<int16_t>(2 * stride, kModule);
        int16_t* const rows[2] = {levels.get() + 3, levels.get() + 3 + stride};

        const auto load = [&](int y, int slot) {
            int16_t* row = rows[slot];
            const uint8_t* pixels = PictureRow(source_, y);
            row[-3] = row[-2] = row[-1] = 0;
            for (int i = 0; i < 3 * width; ++i) row[i] = pixels[i];
        };
        // One row function per depth, with and without the shares for the row below.
        using RowFunction = void (Quantizer::*)(const int16_t*, int16_t*, uint8_t*, ColourCells&);
        const RowFunction downward = bits_ == 8 ? &Quantizer::diffuseRow<8, true> : &Quantizer::diffuseRow<4, true>;
        const RowFunction alongOnly = bits_ == 8 ? &Quantizer::diffuseRow<8, false> : &Quantizer::diffuseRow<4, false>;
        const auto compute = [&](int y, int slot, bool spreadDown) {
            uint8_t* out = PictureRow(target, y);
            (this->*(spreadDown ? downward : alongOnly))(rows[slot], rows[slot ^ 1], out, cells);
            ClearRowPadding(out, usedBytes(), target.rowBytes);
            progress_.row(height + y);
        };
        ForEachDiffusedRow(height, load, compute);
        if (height >= 2) std::memcpy(PictureRow(target, height - 1), PictureRow(target, height - 2), target.rowBytes);
        progress_.row(2L * height - 1);
    }

    // One row of the diffusion, as in the bi-level dither: the 7/16 shares are carried in
    // registers and the shares for the row below are summed so each entry is written once.
    template <int Bits, bool SpreadDown>
    void diffuseRow(const int16_t* current, int16_t* next, uint8_t* out, ColourCells& cells) {
        uint32_t* table = table_.get();
        ComponentShares blue, green, red;
        unsigned pending = 0;  // left index of a 4-bit pair
        const int width = source_.width;
        for (int x = 0; x < width; ++x, current += 3, next += 3) {
            const int b = ClampLevel(current[0] + blue.carried), g = ClampLevel(current[1] + green.carried),
                      r = ClampLevel(current[2] + red.carried);
            uint32_t& entry = table[HistogramCellOf(r, g, b)];
            if (entry == kUnmapped) entry = lookupEntry(cells.nearestCoarse(r, g, b));
            const uint32_t found = entry;
            const unsigned index = IndexOf(found);
            if constexpr (Bits == 8) {
                out[x] = static_cast<uint8_t>(index);
            } else if (x & 1) {
                *out++ = static_cast<uint8_t>(pending << 4 | index);
            } else {
                pending = index;
            }
            blue.spread<SpreadDown>(next, b - BlueOf(found));
            green.spread<SpreadDown>(next + 1, g - GreenOf(found));
            red.spread<SpreadDown>(next + 2, r - RedOf(found));
        }
        if constexpr (SpreadDown) {
            blue.finish(next);
            green.finish(next + 1);
            red.finish(next + 2);
        }
        if (Bits == 4 && (width & 1)) *out = static_cast<uint8_t>(pending << 4);
    }

    // The shares of one component on their way to the right neighbour and to the row below.
    struct ComponentShares {
        int carried = 0;   // 7/16 of the error of the pixel on the left
        int owedLeft = 0;  // owed to the pixel below-left by the pixels before this one
        int owedHere = 0;  // owed to the pixel below by the pixel before this one

        // below points at this component of the pixel under the current one.
        template <bool SpreadDown>
        void spread(int16_t* below, int error) {
            const ErrorShares& share = kErrorShares[error];
            carried = share.right;
            if constexpr (SpreadDown) {
                below[-3] = static_cast<int16_t>(below[-3] + owedLeft + share.belowLeft);
                owedLeft = owedHere + share.below;
                owedHere = share.belowRight;
            }
        }
        // below points one pixel past the last one of the row.
        void finish(int16_t* below) const { below[-3] = static_cast<int16_t>(below[-3] + owedLeft); }
    };

    const IMG& source_;
    int bits_;
    LumoBuffer<uint32_t> table_;  // the histogram, then the lookup entry of each cell
    uint8_t palette_[256 * 3];    // red, green, blue of each entry
    int colours_ = 0;             // entries made from boxes
    RowProgress progress_;        // the counting pass and the output pass, one report per row each
};

}  // namespace

ImagePtr LumoQuantize(const IMG* image, int bits, int dither) {
    if (!IsKind(*image, ImageKind::RGB) || (bits != 4 && bits != 8)) LumoError(kModule, "Illegal Parameters");
    return Quantizer(*image, bits).run(dither != 0);
}
