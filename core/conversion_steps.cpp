#include "core/conversion_steps.h"

#include <cstring>

namespace {

// Pixel x of a row of Bits bits per pixel, most significant bits leftmost.
template <int Bits>
inline unsigned PixelOf(const uint8_t* row, int x) {
    if constexpr (Bits == 8)
        return row[x];
    else if constexpr (Bits == 4)
        return x & 1 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    else
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

template <int SourceBits, int TargetBits>
void MapRow(const uint8_t* source, uint8_t* target, int width, const LevelTable& table) {
    if constexpr (TargetBits == 8) {
        for (int x = 0; x < width; ++x) target[x] = table[PixelOf<SourceBits>(source, x)];
    } else {
        constexpr int kPerByte = 8 / TargetBits;
        int x = 0;
        for (; x + kPerByte <= width; x += kPerByte) {
            unsigned byte = 0;
            for (int i = 0; i < kPerByte; ++i) byte = byte << TargetBits | table[PixelOf<SourceBits>(source, x + i)];
            *target++ = static_cast<uint8_t>(byte);
        }
        if (x < width) {
            unsigned byte = 0;
            int filled = 0;
            for (; x < width; ++x, ++filled) byte = byte << TargetBits | table[PixelOf<SourceBits>(source, x)];
            *target = static_cast<uint8_t>(byte << (TargetBits * (kPerByte - filled)));
        }
    }
}

template <int SourceBits, int TargetBits>
void MapImage(const IMG& source, IMG& target, const LevelTable& table) {
    const size_t used = (static_cast<size_t>(target.width) * TargetBits + 7) / 8;
    const RowProgress progress(source.height);
    for (int k = 0; k < source.height; ++k) {
        uint8_t* row = MemoryRow(target, k);
        MapRow<SourceBits, TargetBits>(MemoryRow(source, k), row, source.width, table);
        ClearRowPadding(row, used, target.rowBytes);
        progress.row(k);
    }
    progress.done();
}

template <int SourceBits>
void MapFrom(const IMG& source, IMG& target, const LevelTable& table) {
    switch (target.bitsPerPixel) {
        case 1: MapImage<SourceBits, 1>(source, target, table); break;
        case 4: MapImage<SourceBits, 4>(source, target, table); break;
        default: MapImage<SourceBits, 8>(source, target, table); break;
    }
}

template <int SourceBits>
void ExpandImage(const IMG& source, IMG& target, const std::array<uint8_t, 3 * 256>& colours) {
    // Each colour as one 4-byte word: every pixel but the last is written with one 4-byte store
    // whose fourth byte the next pixel overwrites.
    struct Word {
        uint8_t bytes[4];
    } words[256];
    for (int i = 0; i < 256; ++i) words[i] = {{colours[3 * i], colours[3 * i + 1], colours[3 * i + 2], 0}};
    const int width = source.width;
    const size_t used = static_cast<size_t>(width) * 3;
    const RowProgress progress(source.height);
    for (int k = 0; k < source.height; ++k) {
        const uint8_t* in = MemoryRow(source, k);
        uint8_t* out = MemoryRow(target, k);
        if (width > 0) {
            for (int x = 0; x < width - 1; ++x) std::memcpy(out + 3 * x, &words[PixelOf<SourceBits>(in, x)], 4);
            std::memcpy(out + 3 * (width - 1), &colours[3 * PixelOf<SourceBits>(in, width - 1)], 3);
        }
        ClearRowPadding(out, used, target.rowBytes);
        progress.row(k);
    }
    progress.done();
}

}  // namespace

ImagePtr CreateLike(const IMG& source, int colorClass, int bitsPerPixel, PalettePtr palette) {
    ImagePtr image = LumoCreateImage(source.width, source.height, colorClass, std::move(palette), bitsPerPixel);
    image->xResolution = source.xResolution;
    image->yResolution = source.yResolution;
    return image;
}

void ClearRowPadding(uint8_t* row, size_t usedBytes, size_t rowBytes) {
    if (usedBytes < rowBytes) std::memset(row + usedBytes, 0, rowBytes - usedBytes);
}

ImagePtr MapLevels(const IMG& source, const LevelTable& table, int colorClass, int bitsPerPixel, PalettePtr palette) {
    ImagePtr target = CreateLike(source, colorClass, bitsPerPixel, std::move(palette));
    switch (source.bitsPerPixel) {
        case 1: MapFrom<1>(source, *target, table); break;
        case 4: MapFrom<4>(source, *target, table); break;
        default: MapFrom<8>(source, *target, table); break;
    }
    return target;
}

ImagePtr ExpandToRGB(const IMG& source, const std::array<uint8_t, 3 * 256>& colours) {
    ImagePtr target = CreateLike(source, COLOR, 24);
    switch (source.bitsPerPixel) {
        case 1: ExpandImage<1>(source, *target, colours); break;
        case 4: ExpandImage<4>(source, *target, colours); break;
        default: ExpandImage<8>(source, *target, colours); break;
    }
    return target;
}

ImagePtr WeightRGBToGray256(const IMG& source, const ConvertOptions& options) {
    // Each term is divided on its own (R * rf / 100 + G * gf / 100 + B * bf / 100), so one
    // table per component holds the whole term; the sum keeps its low 8 bits.
    int red[256], green[256], blue[256];
    for (int v = 0; v < 256; ++v) {
        red[v] = v * options.redFactor / 100;
        green[v] = v * options.greenFactor / 100;
        blue[v] = v * options.blueFactor / 100;
    }
    ImagePtr target = CreateLike(source, GRAY, 8);
    const RowProgress progress(source.height);
    for (int k = 0; k < source.height; ++k) {
        const uint8_t* in = MemoryRow(source, k);
        uint8_t* out = MemoryRow(*target, k);
        for (int x = 0; x < source.width; ++x, in += 3)
            out[x] = static_cast<uint8_t>(blue[in[0]] + green[in[1]] + red[in[2]]);
        ClearRowPadding(out, source.width, target->rowBytes);
        progress.row(k);
    }
    progress.done();
    return target;
}
