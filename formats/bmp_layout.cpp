#include "formats/bmp_layout.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/byte_order.h"

namespace bmp {

size_t DecodedHeaderBytes(uint32_t infoSize) {
    if (infoSize == kCoreHeaderSize) return kCoreHeaderSize;
    if (infoSize >= kInfoHeaderSize) return std::min(infoSize, kMasksInHeaderSize);
    return 0;
}

void DecodeInfoHeader(const uint8_t* info, BmpHeader& header) {
    header.infoSize = ReadLE32(info);
    if (header.infoSize == kCoreHeaderSize) {
        header.width = ReadLE16(info + 4);
        header.height = ReadLE16(info + 6);
        header.planes = ReadLE16(info + 8);
        header.bitCount = ReadLE16(info + 10);
        header.tableEntryBytes = 3;
        return;
    }
    header.width = static_cast<int32_t>(ReadLE32(info + 4));
    header.height = static_cast<int32_t>(ReadLE32(info + 8));
    header.planes = ReadLE16(info + 12);
    header.bitCount = ReadLE16(info + 14);
    header.compression = ReadLE32(info + 16);
    header.xPixelsPerMetre = ReadLE32(info + 24);
    header.yPixelsPerMetre = ReadLE32(info + 28);
    header.colorsUsed = ReadLE32(info + 32);
    if (header.compression == kBitFields && header.infoSize >= kMasksInHeaderSize)
        DecodeMasks(info + kInfoHeaderSize, header);
}

bool MasksFollowHeader(const BmpHeader& header) {
    return header.compression == kBitFields && header.infoSize >= kInfoHeaderSize &&
           header.infoSize < kMasksInHeaderSize;
}

void DecodeMasks(const uint8_t* masks, BmpHeader& header) {
    for (int i = 0; i < 3; ++i) header.masks[i] = ReadLE32(masks + 4 * i);
}

bool SizeFits(const BmpHeader& header) {
    return header.width >= 0 && header.width <= kMaxImageDimension && header.rows() <= kMaxImageDimension;
}

bool BitCountKnown(uint16_t bitCount) {
    switch (bitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: return true;
        default: return false;
    }
}

bool ColorTable::isGrayRamp(int step) const {
    for (int i = 0; i < entries; ++i) {
        const auto level = static_cast<uint8_t>(i * step);
        if (!isEntry(i, level, level, level)) return false;
    }
    return true;
}

ColorTable DecodeColorTable(const BmpHeader& header, const uint8_t* stored, int present) {
    ColorTable table;
    if (header.bitCount > 8) return table;
    table.entries = 1 << header.bitCount;
    present = std::min(present, table.entries);
    for (int i = 0; i < present; ++i) {
        const uint8_t* entry = stored + i * header.tableEntryBytes;
        table.rgb[3 * i] = entry[2];
        table.rgb[3 * i + 1] = entry[1];
        table.rgb[3 * i + 2] = entry[0];
    }
    return table;
}

namespace {

PalettePtr PaletteFrom(const ColorTable& table, int entries) {
    PalettePtr palette = CreateIMGPalette(entries);
    std::memcpy(palette.get(), table.rgb.data(), 3 * static_cast<size_t>(entries));
    return palette;
}

// Each bit of a 1-bit row becomes a nibble: one source byte gives four bytes of 4-bit indices.
void ExpandOneToFour(const uint8_t* source, uint8_t* row, int width) {
    const int sourceBytes = (width + 7) / 8;
    for (int i = 0; i < sourceBytes; ++i) {
        const unsigned bits = source[i];
        for (int j = 0; j < 4; ++j)
            row[4 * i + j] = static_cast<uint8_t>((bits >> (7 - 2 * j) & 1) << 4 | (bits >> (6 - 2 * j) & 1));
    }
}

template <int BytesPerPixel>
void UnpackMasked(const uint8_t* source, uint8_t* row, int width, const MaskedPixels& masks) {
    for (int x = 0; x < width; ++x, source += BytesPerPixel, row += 3) {
        const uint32_t pixel = BytesPerPixel == 2 ? ReadLE16(source) : ReadLE32(source);
        row[0] = masks.blue(pixel);
        row[1] = masks.green(pixel);
        row[2] = masks.red(pixel);
    }
}

}  // namespace

PixelPlan PlanPixels(const BmpHeader& header, const ColorTable& table, bool grayRamps) {
    switch (header.bitCount) {
        case 1:
            if (table.isEntry(0, 0, 0, 0) && table.isEntry(1, 255, 255, 255))
                return {ImageKind::BW, RowFormat::Copy, nullptr};
            if (table.isEntry(0, 255, 255, 255) && table.isEntry(1, 0, 0, 0))
                return {ImageKind::BW, RowFormat::Inverted, nullptr};
            return {ImageKind::COLOR16, RowFormat::OneToFour, PaletteFrom(table, 16)};
        case 4:
            if (grayRamps && table.isGrayRamp(17)) return {ImageKind::GRAY16, RowFormat::Copy, nullptr};
            return {ImageKind::COLOR16, RowFormat::Copy, PaletteFrom(table, 16)};
        case 8:
            if (grayRamps && table.isGrayRamp(1)) return {ImageKind::GRAY256, RowFormat::Copy, nullptr};
            return {ImageKind::COLOR256, RowFormat::Copy, PaletteFrom(table, 256)};
        case 16: return {ImageKind::RGB, RowFormat::Sixteen, nullptr};
        case 24: return {ImageKind::RGB, RowFormat::Copy, nullptr};
        default: return {ImageKind::RGB, RowFormat::ThirtyTwo, nullptr};
    }
}

// The field's bits are repeated to fill 8 bits (5 bits v give v << 3 | v >> 2) and wider fields
// keep their top 8 bits, as other decoders read 5-5-5 and 5-6-5 pixels.
ComponentScale::ComponentScale(uint32_t fieldMask) : mask(fieldMask) {
    if (mask == 0) return;  // an absent component reads as 0
    shift = std::countr_zero(mask);
    const int width = 32 - std::countl_zero(mask) - shift;
    dropBits = std::max(0, width - 8);
    const int kept = width - dropBits;
    for (uint32_t v = 0; v < (1u << kept); ++v) {
        uint32_t filled = 0;
        for (int bits = 0; bits < 8; bits += kept) filled = filled << kept | v;
        const int filledBits = (8 + kept - 1) / kept * kept;
        level[v] = static_cast<uint8_t>(filled >> (filledBits - 8));
    }
}

MaskedPixels MasksFor(const BmpHeader& header) {
    if (header.compression == kBitFields) return {ComponentScale(header.masks[0]), ComponentScale(header.masks[1]),
                                                  ComponentScale(header.masks[2])};
    if (header.bitCount == 16) return {ComponentScale(0x7C00), ComponentScale(0x03E0), ComponentScale(0x001F)};
    return {ComponentScale(0xFF0000), ComponentScale(0x00FF00), ComponentScale(0x0000FF)};
}

void StoreRows(RowFormat format, const uint8_t* source, size_t sourceBytes, uint8_t* row, int width,
               const MaskedPixels& masks) {
    switch (format) {
        case RowFormat::Copy:
            if (source != row) std::memcpy(row, source, sourceBytes);
            break;
        case RowFormat::Inverted:
            for (size_t i = 0; i < sourceBytes; ++i) row[i] = static_cast<uint8_t>(~source[i]);
            break;
        case RowFormat::OneToFour: ExpandOneToFour(source, row, width); break;
        case RowFormat::Sixteen: UnpackMasked<2>(source, row, width, masks); break;
        case RowFormat::ThirtyTwo: UnpackMasked<4>(source, row, width, masks); break;
    }
}

float DotsPerInch(uint32_t pixelsPerMetre) { return static_cast<float>(pixelsPerMetre * 0.0254); }

}  // namespace bmp
