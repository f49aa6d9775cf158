#include "core/rescale.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/convert.h"
#include "core/image_metadata.h"
#include "core/messages.h"
#include "core/rescale_grid.h"

namespace {

// Sum of the values in each column span of one row (or of summed rows), divided by the block's
// area (columns x rows), truncated: one output row of Channels bytes per pixel. Sum is 32 bits
// when the largest block's sum fits in it (the division is then cheaper), else 64.
template <int Channels, typename Sum, typename Value>
void AverageSpans(const Value* values, const ColumnSpan* spans, int newWidth, uint32_t rows, uint8_t* out) {
    for (int i = 0; i < newWidth; ++i, out += Channels) {
        const Value* value = values + static_cast<size_t>(spans[i].first) * Channels;
        Sum sum[Channels] = {};
        for (uint32_t k = 0; k < spans[i].count; ++k, value += Channels)
            for (int c = 0; c < Channels; ++c) sum[c] += value[c];
        const Sum area = static_cast<Sum>(spans[i].count) * rows;
        for (int c = 0; c < Channels; ++c) out[c] = static_cast<uint8_t>(sum[c] / area);
    }
}

template <int Channels, typename Value>
void AverageSpans(const Value* values, const ColumnSpan* spans, int newWidth, uint32_t widestSpan, uint32_t rows,
                  uint8_t* out) {
    if (255u * static_cast<uint64_t>(widestSpan) * rows <= UINT32_MAX)
        AverageSpans<Channels, uint32_t>(values, spans, newWidth, rows, out);
    else
        AverageSpans<Channels, uint64_t>(values, spans, newWidth, rows, out);
}

// Averaging path: every output pixel is the mean of its block of source pixels. The rows of a
// block are first summed column by column (a loop the compiler vectorises), then each span of
// those column sums is added up once per output row.
template <int Channels>
void AverageBlocks(const IMG& source, IMG& target, const ColumnSpan* spans, const char* module) {
    const size_t rowValues = static_cast<size_t>(source.width) * Channels;
    // A column sum stays below 255 * 65536, well inside 32 bits.
    LumoBuffer<uint32_t> columnSums = LumoAllocBuffer<uint32_t>(rowValues, module);
    uint32_t widestSpan = 1;
    for (int i = 0; i < target.width; ++i) widestSpan = std::max(widestSpan, spans[i].count);
    RowBlocks blocks(source.height, target.height);
    for (int j = 0; j < target.height; ++j) {
        LumoProgress(j * 100 / target.height);
        const RowSpan rows = blocks.next();
        uint8_t* out = PictureRow(target, j);
        if (rows.count == 1) {
            AverageSpans<Channels>(PictureRow(source, rows.first), spans, target.width, widestSpan, 1, out);
            continue;
        }
        uint32_t* sums = columnSums.get();
        const uint8_t* first = PictureRow(source, rows.first);
        for (size_t k = 0; k < rowValues; ++k) sums[k] = first[k];
        for (uint32_t r = 1; r < rows.count; ++r) {
            const uint8_t* row = PictureRow(source, rows.first + r);
            for (size_t k = 0; k < rowValues; ++k) sums[k] += row[k];
        }
        AverageSpans<Channels>(sums, spans, target.width, widestSpan, rows.count, out);
    }
}

// Enlarging path (both dimensions grow): each output pixel repeats its nearest source pixel.
// Consecutive output rows that repeat one source row are copied whole.
template <int Channels>
void RepeatNearest(const IMG& source, IMG& target, const ColumnSpan* spans) {
    const size_t outBytes = static_cast<size_t>(target.width) * Channels;
    const uint8_t* previousOut = nullptr;
    uint32_t previousRow = 0;
    for (int j = 0; j < target.height; ++j) {
        LumoProgress(j * 100 / target.height);
        const uint32_t y = NearestRow(source.height, target.height, j);
        uint8_t* out = PictureRow(target, j);
        if (previousOut && y == previousRow) {
            std::memcpy(out, previousOut, outBytes);
        } else {
            const uint8_t* in = PictureRow(source, y);
            uint8_t* pixelOut = out;
            for (int i = 0; i < target.width; ++i, pixelOut += Channels) {
                const uint8_t* pixel = in + static_cast<size_t>(spans[i].first) * Channels;
                for (int c = 0; c < Channels; ++c) pixelOut[c] = pixel[c];
            }
        }
        previousOut = out;
        previousRow = y;
    }
}

// RescaleGRAY256 (1 byte per pixel) and LumoRescaleRGB (3), which differ only in the end of the
// column table.
template <int Channels>
ImagePtr RescaleBytes(const IMG& source, int newWidth, int newHeight, const char* module) {
    constexpr ImageKind kind = Channels == 1 ? ImageKind::GRAY256 : ImageKind::RGB;
    CheckRescaleSizes(module, source, newWidth, newHeight);
    RequireKind(module, source, kind);
    ImagePtr target = LumoCreateImage(newWidth, newHeight, ColorClassOf(kind), nullptr, BitsPerPixelOf(kind));
    const uint32_t lastEnd = Channels == 1 ? source.width - 1u : source.width;
    LumoBuffer<ColumnSpan> spans = MakeColumnSpans(source.width, newWidth, lastEnd, module);
    LumoProgress(-1);
    if (newWidth > source.width && newHeight > source.height)
        RepeatNearest<Channels>(source, *target, spans.get());
    else
        AverageBlocks<Channels>(source, *target, spans.get(), module);
    LumoProgress(-2);
    return target;
}

bool HasLegalKind(const IMG& image) {
    switch (image.colorClass) {
        case BILEVEL: return image.bitsPerPixel == 1;
        case GRAY: return image.bitsPerPixel == 4 || image.bitsPerPixel == 8;
        case COLOR: return image.bitsPerPixel == 4 || image.bitsPerPixel == 8 || image.bitsPerPixel == 24;
        default: return false;
    }
}

// Converts the working image to the requested kind; the working image is released when the
// conversion made a new one (LumoConvert hands back its argument when the kind already fits).
ImagePtr ConvertWorkingImage(ImagePtr working, int colorClass, int bitsPerPixel) {
    IMG* converted = LumoConvert(working.get(), colorClass, bitsPerPixel);
    if (converted == working.get()) return working;
    return ImagePtr(converted);
}

}  // namespace

ImagePtr RescaleGRAY256(const IMG* image, int newWidth, int newHeight) {
    return RescaleBytes<1>(*image, newWidth, newHeight, "RescaleGRAY256");
}

ImagePtr LumoRescaleRGB(const IMG* image, int newWidth, int newHeight) {
    return RescaleBytes<3>(*image, newWidth, newHeight, "LumoRescaleRGB");
}

ImagePtr RescaleAux(const IMG* image, int newWidth, int newHeight) {
    if (!HasLegalKind(*image)) LumoError("Recale", "Problem in RescaleAux");
    CheckRescaleSizes("RescaleAux", *image, newWidth, newHeight);
    switch (KindOf(*image)) {
        case ImageKind::BW:
            // Only a picture that shrinks both ways is averaged straight from its bits.
            if (newWidth < image->width && newHeight < image->height)
                return LumoShrinkBWToGRAY256(image, newWidth, newHeight);
            [[fallthrough]];
        case ImageKind::GRAY16: {
            ImagePtr gray = LumoToGRAY256(image);
            return RescaleGRAY256(gray.get(), newWidth, newHeight);
        }
        case ImageKind::GRAY256: return RescaleGRAY256(image, newWidth, newHeight);
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: {
            ImagePtr rgb = LumoToRGB(image);
            return LumoRescaleRGB(rgb.get(), newWidth, newHeight);
        }
        case ImageKind::RGB: break;
    }
    return LumoRescaleRGB(image, newWidth, newHeight);
}

ImagePtr LumoRescale(const IMG* image, int newWidth, int newHeight) {
    CheckRescaleSizes("LumoRescale", *image, newWidth, newHeight);
    ImagePtr rescaled =
        ConvertWorkingImage(RescaleAux(image, newWidth, newHeight), image->colorClass, image->bitsPerPixel);
    LumoCopyMetadata(image, rescaled.get());
    return rescaled;
}

ImagePtr LumoRescaleConvert(const IMG* image, int newWidth, int newHeight, int colorClass, int bitsPerPixel) {
    CheckRescaleSizes("LumoRescaleConvert", *image, newWidth, newHeight);
    ImagePtr rescaled = ConvertWorkingImage(RescaleAux(image, newWidth, newHeight), colorClass, bitsPerPixel);
    LumoCopyMetadata(image, rescaled.get());
    return rescaled;
}
