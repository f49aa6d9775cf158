#include "core/rescale_grid.h"

#include "core/messages.h"

LumoBuffer<ColumnSpan> MakeColumnSpans(uint32_t width, uint32_t newWidth, uint32_t lastEnd, const char* module) {
    LumoBuffer<ColumnSpan> spans = LumoAllocBuffer<ColumnSpan>(newWidth, module);
    // width * i stays below 2^32 for 16-bit sizes, as the unsigned division of the table needs.
    uint32_t start = 0;
    for (uint32_t i = 0; i < newWidth; ++i) {
        const uint32_t end = i + 1 < newWidth ? width * (i + 1) / newWidth : lastEnd;
        spans[i] = {start, end > start ? end - start : 1};
        start = end;
    }
    return spans;
}

RowSpan RowBlocks::next() {
    uint32_t y = static_cast<uint32_t>(static_cast<uint64_t>(height_) * (row_ + 1) / newHeight_);
    if (y >= height_) y = height_ - 1;
    const RowSpan span{bound_, y > bound_ ? y - bound_ : 1};
    bound_ = y;
    ++row_;
    return span;
}

void CheckRescaleSizes(const char* module, const IMG& image, int newWidth, int newHeight) {
    if (newWidth < 1 || newHeight < 1 || newWidth > kMaxImageDimension || newHeight > kMaxImageDimension)
        LumoError(module, "Invalid size %d x %d: width and height must be 1 to %d", newWidth, newHeight,
                  kMaxImageDimension);
    if (image.width == 0 || image.height == 0)
        LumoError(module, "Can't rescale an empty image (%d x %d)", image.width, image.height);
}

void RequireKind(const char* module, const IMG& image, ImageKind kind) {
    if (image.colorClass != ColorClassOf(kind) || image.bitsPerPixel != BitsPerPixelOf(kind))
        LumoError(module, "A %s image is needed, not class %d with %d bits per pixel", KindName(kind),
                  image.colorClass, image.bitsPerPixel);
}
