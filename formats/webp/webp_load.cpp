#include <webp/decode.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/load_limits.h"
#include "formats/webp/webp.h"
#include "formats/webp/webp_frames.h"
#include "formats/webp/webp_pixels.h"

namespace {

constexpr const char* kLoadModule = kWebpLoadModule;

// The RIFF header every WebP file opens with: "RIFF", the size of what follows (little-endian),
// "WEBP"; then the chunks: a frame ("VP8 " lossy, "VP8L" lossless) or the extended header "VP8X".
constexpr size_t kRiffHeaderSize = 12;
// What the info reader reads at most: enough for the extended header and the chunks libwebp reads
// before the first frame's header in ordinary files.
constexpr size_t kInfoPrefixSize = 4096;

// Compressed data can stand for far more pixels than it has bytes (flat areas cost next to nothing
// in both codings), so the cap on promised pixels is generous; it still stops a few hundred bytes
// from claiming a picture of hundreds of megabytes.
constexpr size_t kMaxExpansion = 1024;

const char* StatusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OK: return "no error";
        case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
        case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
        case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
        case VP8_STATUS_SUSPENDED: return "suspended";
        case VP8_STATUS_USER_ABORT: return "aborted";
        case VP8_STATUS_NOT_ENOUGH_DATA: return "the file ends too soon";
    }
    return "unknown error";
}

[[noreturn]] void Fail(const InputFile& file, const char* reason) {
    LumoError(kLoadModule, "Corrupted WebP file %s: %s", file.name().c_str(), reason);
}

bool HasRiffHeader(const uint8_t* bytes, size_t size) {
    return size >= kRiffHeaderSize && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0;
}

uint32_t Read24(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16; }

// The full-size picture of the file's headers: libwebp's features, or for an extended header whose
// later chunks lie beyond the bytes given (the info reader's prefix), the canvas it names.
WebPBitstreamFeatures FeaturesOf(const InputFile& file, const uint8_t* bytes, size_t size, bool prefixOnly) {
    if (!HasRiffHeader(bytes, size)) LumoError(kLoadModule, "Not a WebP file: %s", file.name().c_str());
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(bytes, size, &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA && prefixOnly && size >= 30 && std::memcmp(bytes + 12, "VP8X", 4) == 0) {
        features.width = static_cast<int>(Read24(bytes + 24) + 1);
        features.height = static_cast<int>(Read24(bytes + 27) + 1);
        return features;
    }
    if (status != VP8_STATUS_OK) Fail(file, StatusText(status));
    return features;
}

// The size a reduced-size load gives: the picture fitted in the box as the contact sheet fits it in
// its cell (so that the sheet takes it as it is), or the full size when it fits already.
void ReducedSize(int& width, int& height) {
    const int boxWidth = LumoGetIntOptionWebp("thumbnailw"), boxHeight = LumoGetIntOptionWebp("thumbnailh");
    if (boxWidth <= 0 || boxHeight <= 0) return;
    long w = width, h = height;
    if (w > boxWidth) {
        h = h * boxWidth / w;
        w = boxWidth;
    }
    if (h > boxHeight) {
        w = w * boxHeight / h;
        h = boxHeight;
    }
    width = static_cast<int>(std::max(w, 1L));
    height = static_cast<int>(std::max(h, 1L));
}

// A still picture, decoded (scaled when a reduced size is asked for) straight into the record when it
// has no alpha channel, else through a premultiplied buffer composited over white.
ImagePtr DecodeStill(const InputFile& file, const uint8_t* data, size_t size, const WebPBitstreamFeatures& features) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail(file, "libwebp version mismatch");
    int width = features.width, height = features.height;
    ReducedSize(width, height);
    if (width != features.width || height != features.height) {
        config.options.use_scaling = 1;
        config.options.scaled_width = width;
        config.options.scaled_height = height;
    }
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    WebPRGBABuffer& out = config.output.u.RGBA;
    config.output.is_external_memory = 1;
    LumoBuffer<uint8_t> premultiplied;
    if (features.has_alpha) {
        config.output.colorspace = MODE_bgrA;
        out.stride = width * 4;
        out.size = static_cast<size_t>(out.stride) * height;
        premultiplied = LumoAllocBuffer<uint8_t>(out.size, kLoadModule);
        out.rgba = premultiplied.get();
    } else {
        // The record's rows run bottom-up: libwebp writes from the top row with a negative stride.
        config.output.colorspace = MODE_BGR;
        out.rgba = PictureRow(*image, 0);
        out.stride = -static_cast<int>(image->rowBytes);
        out.size = PixelBytes(*image);
    }
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);  // external memory: releases nothing of ours
    if (status != VP8_STATUS_OK) Fail(file, StatusText(status));
    if (features.has_alpha) CompositeOverWhite(premultiplied.get(), static_cast<size_t>(out.stride), *image, true);
    return image;
}

// The first frame of an animation, or frame N of the "frame" option.
ImagePtr DecodeFrame(const InputFile& file, const uint8_t* data, size_t size) {
    WebpFrames frames(data, size, file.name().c_str());
    const int wanted = std::max(1, LumoGetIntOptionWebp("frame"));
    while (frames.count() < static_cast<size_t>(wanted))
        if (!frames.next()) LumoError(kLoadModule, "%s has no frame %d", file.name().c_str(), wanted);
    return frames.copyScreen();
}

}  // namespace

WebPBitstreamFeatures CheckedWebpFeatures(const InputFile& file, const uint8_t* data, size_t size) {
    const WebPBitstreamFeatures features = FeaturesOf(file, data, size, false);
    CheckLoadSize(kLoadModule, features.width, features.height);
    CheckPromisedSize(kLoadModule, file.name().c_str(), static_cast<size_t>(RowBytesFor(features.width, 24)) * features.height,
                      size, kMaxExpansion);
    return features;
}

// A premultiplied channel c' over white is c' + 255 - alpha.
void CompositeOverWhite(const uint8_t* source, size_t sourceStride, IMG& image, bool reportProgress) {
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * sourceStride;
        uint8_t* out = PictureRow(image, y);
        for (int x = 0; x < image.width; ++x, in += 4, out += 3) {
            const unsigned white = 255u - in[3];
            out[0] = static_cast<uint8_t>(in[0] + white);
            out[1] = static_cast<uint8_t>(in[1] + white);
            out[2] = static_cast<uint8_t>(in[2] + white);
        }
        if (reportProgress) LumoProgressRow(y, image.height);
    }
}

ImagePtr LumoLoadWebp(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadWebpFrom(file);
}

ImageInfo ReadWebpInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    uint8_t prefix[kInfoPrefixSize];
    const size_t size = file.read(prefix, sizeof prefix);
    const WebPBitstreamFeatures features = FeaturesOf(file, prefix, size, true);
    CheckLoadSize(kLoadModule, features.width, features.height);
    return {features.width, features.height, ImageKind::RGB};
}

ImagePtr LoadWebpFrom(InputFile& file) {
    LumoProgress(-1);
    // libwebp decodes from memory: the whole file is read first (its size bounds what is allocated).
    const FileBytes bytes = ReadRemainingBytes(file, kLoadModule);
    const uint8_t* data = bytes.data.get();
    const size_t size = bytes.size;
    const WebPBitstreamFeatures features = CheckedWebpFeatures(file, data, size);
    if (!features.has_animation && LumoGetIntOptionWebp("frame") > 1)
        LumoError(kLoadModule, "%s has no frame %d", file.name().c_str(), LumoGetIntOptionWebp("frame"));
    ImagePtr image = features.has_animation ? DecodeFrame(file, data, size) : DecodeStill(file, data, size, features);
    LumoProgress(-2);
    return image;
}
