// Owners of libavif's objects, released however an operation ends.
#pragma once

#include <avif/avif.h>

#include <memory>

struct AvifDecoderDeleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
struct AvifEncoderDeleter {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct AvifImageDeleter {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
using AvifDecoderPtr = std::unique_ptr<avifDecoder, AvifDecoderDeleter>;
using AvifEncoderPtr = std::unique_ptr<avifEncoder, AvifEncoderDeleter>;
using AvifImagePtr = std::unique_ptr<avifImage, AvifImageDeleter>;

// The encoder's output buffer.
struct AvifOutput {
    avifRWData data = AVIF_DATA_EMPTY;
    AvifOutput() = default;
    AvifOutput(const AvifOutput&) = delete;
    AvifOutput& operator=(const AvifOutput&) = delete;
    ~AvifOutput() { avifRWDataFree(&data); }
};
