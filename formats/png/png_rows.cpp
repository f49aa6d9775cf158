#include "formats/png/png_rows.h"

#include <cstring>

namespace {

constexpr int kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgba = 6;

int ChannelsOf(int colorType) {
    switch (colorType) {
        case kRgb: return 3;
        case kGrayAlpha: return 2;
        case kRgba: return 4;
        default: return 1;
    }
}

// Sample x of a row of packed samples of depth bits (1, 2, 4 or 8), leftmost in the high bits.
unsigned PackedSample(const uint8_t* row, int x, int depth) {
    const int perByte = 8 / depth;
    const int shift = 8 - depth * (x % perByte + 1);
    return row[x / perByte] >> shift & ((1u << depth) - 1);
}

// Stores value as sample x of a row of depth bits (1, 4 or 8) whose bytes were cleared first.
void PutPacked(uint8_t* row, int x, int depth, unsigned value) {
    const int perByte = 8 / depth;
    const int shift = 8 - depth * (x % perByte + 1);
    row[x / perByte] = static_cast<uint8_t>(row[x / perByte] | value << shift);
}

unsigned Sample16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// One sample of 8 or 16 bits as 8 bits.
unsigned Sample8(const uint8_t* p, int depth) { return depth == 16 ? Reduce16(Sample16(p)) : *p; }

// One colour channel seen through alpha, at the file's depth, as 8 bits.
uint8_t Composite(const uint8_t* channel, const uint8_t* alpha, int depth) {
    if (depth == 8) return OverWhite8(*channel, *alpha);
    const uint64_t c = Sample16(channel), a = Sample16(alpha);
    return Reduce16(static_cast<unsigned>((c * a + 65535ull * (65535 - a) + 32767) / 65535));
}

// Gray of 1 to 8 bits and palette indices: each sample through a table of levels. Gray levels of 2
// bits become GRAY16 levels (v * 5 shows as v * 85, as in the file); the key level becomes white.
void ConvertPackedRow(const PngPixels& pixels, const uint8_t* source, uint8_t* row) {
    const int depth = pixels.bitDepth;
    const int outDepth = BitsPerPixelOf(PngLoadKind(pixels.colorType, depth));
    const size_t outBytes = (static_cast<size_t>(pixels.width) * outDepth + 7) / 8;
    const bool gray = pixels.colorType == kGray;
    if (depth == outDepth && !(gray && pixels.hasKey)) {
        std::memcpy(row, source, outBytes);  // the same layout: levels and indices as they are
        return;
    }
    uint8_t level[256];
    const unsigned top = (1u << depth) - 1;
    for (unsigned v = 0; v <= top; ++v) level[v] = static_cast<uint8_t>(gray && depth == 2 ? v * 5 : v);
    if (gray && pixels.hasKey && pixels.keyGray <= top) level[pixels.keyGray] = static_cast<uint8_t>((1u << outDepth) - 1);
    if (outDepth < 8) std::memset(row, 0, outBytes);
    for (int x = 0; x < pixels.width; ++x) {
        const unsigned value = level[PackedSample(source, x, depth)];
        if (outDepth == 8)
            row[x] = static_cast<uint8_t>(value);
        else
            PutPacked(row, x, outDepth, value);
    }
}

// Gray of 16 bits, and gray with alpha, to GRAY256.
void ConvertGrayRow(const PngPixels& pixels, const uint8_t* source, uint8_t* row) {
    const int depth = pixels.bitDepth;
    const size_t step = static_cast<size_t>(depth / 8) * ChannelsOf(pixels.colorType);
    for (int x = 0; x < pixels.width; ++x, source += step) {
        if (pixels.colorType == kGrayAlpha) {
            row[x] = Composite(source, source + depth / 8, depth);
        } else {
            const unsigned v = Sample16(source);
            row[x] = pixels.hasKey && v == pixels.keyGray ? 255 : Reduce16(v);
        }
    }
}

// RGB and RGBA of 8 or 16 bits to RGB (stored blue, green, red).
void ConvertColourRow(const PngPixels& pixels, const uint8_t* source, uint8_t* row) {
    const int depth = pixels.bitDepth;
    const size_t sample = static_cast<size_t>(depth / 8);
    const size_t step = sample * ChannelsOf(pixels.colorType);
    const bool alpha = pixels.colorType == kRgba;
    for (int x = 0; x < pixels.width; ++x, source += step, row += 3) {
        const uint8_t* r = source;
        const uint8_t* g = source + sample;
        const uint8_t* b = source + 2 * sample;
        if (alpha) {
            const uint8_t* a = source + 3 * sample;
            row[0] = Composite(b, a, depth);
            row[1] = Composite(g, a, depth);
            row[2] = Composite(r, a, depth);
        } else if (pixels.hasKey && (depth == 8 ? *r == pixels.keyRed && *g == pixels.keyGreen && *b == pixels.keyBlue
                                                : Sample16(r) == pixels.keyRed && Sample16(g) == pixels.keyGreen &&
                                                      Sample16(b) == pixels.keyBlue)) {
            row[0] = row[1] = row[2] = 255;
        } else {
            row[0] = static_cast<uint8_t>(Sample8(b, depth));
            row[1] = static_cast<uint8_t>(Sample8(g, depth));
            row[2] = static_cast<uint8_t>(Sample8(r, depth));
        }
    }
}

}  // namespace

ImageKind PngLoadKind(int colorType, int bitDepth) {
    switch (colorType) {
        case kGray: return bitDepth == 1 ? ImageKind::BW : bitDepth <= 4 ? ImageKind::GRAY16 : ImageKind::GRAY256;
        case kPalette: return bitDepth <= 4 ? ImageKind::COLOR16 : ImageKind::COLOR256;
        case kGrayAlpha: return ImageKind::GRAY256;
        default: return ImageKind::RGB;
    }
}

size_t PngRowBytes(int colorType, int bitDepth, int width) {
    return (static_cast<size_t>(width) * ChannelsOf(colorType) * bitDepth + 7) / 8;
}

void ConvertPngRow(const PngPixels& pixels, const uint8_t* source, uint8_t* row) {
    if (pixels.colorType == kRgb || pixels.colorType == kRgba)
        ConvertColourRow(pixels, source, row);
    else if (pixels.bitDepth == 16 || pixels.colorType == kGrayAlpha)
        ConvertGrayRow(pixels, source, row);
    else
        ConvertPackedRow(pixels, source, row);
}

PngSaveFormat PngSaveFormatOf(const IMG& image) {
    switch (KindOf(image)) {
        case ImageKind::BW: return {kGray, 1};
        case ImageKind::GRAY16: return {kGray, 4};
        case ImageKind::GRAY256: return {kGray, 8};
        case ImageKind::COLOR16: return {kPalette, 4};
        case ImageKind::COLOR256: return {kPalette, 8};
        case ImageKind::RGB: break;
    }
    return {kRgb, 8};
}

