#include <webp/encode.h>

#include <algorithm>
#include <exception>
#include <memory>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/file_rows.h"
#include "formats/output_file.h"
#include "formats/webp/webp.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveWebp";
constexpr int kMaxSide = WEBP_MAX_DIMENSION;  // 16383: the 14 bits of a frame header

// Where libwebp's output goes. It calls back from C frames, which no exception may cross: a sink
// that fails is remembered, libwebp is told to stop, and the failure is raised again after it returned.
struct EncoderOutput {
    const ByteSink& sink;
    std::exception_ptr failure;
};

int WriteToSink(const uint8_t* data, size_t size, const WebPPicture* picture) noexcept {
    EncoderOutput& output = *static_cast<EncoderOutput*>(picture->custom_ptr);
    if (output.failure) return 0;
    try {
        output.sink(data, size);
        return 1;
    } catch (...) {
        output.failure = std::current_exception();
        return 0;
    }
}

int ReportProgress(int percent, const WebPPicture*) noexcept {
    try {
        LumoProgress(percent);
        return 1;
    } catch (...) {
        return 0;  // a hook that fails stops the save, which then reports it
    }
}

const char* EncodingErrorText(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
        case VP8_ENC_ERROR_NULL_PARAMETER:
        case VP8_ENC_ERROR_INVALID_CONFIGURATION: return "invalid settings";
        case VP8_ENC_ERROR_BAD_DIMENSION: return "bad picture size";
        case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
        case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "the picture's data is too large for one frame";
        case VP8_ENC_ERROR_BAD_WRITE: return "write failed";
        case VP8_ENC_ERROR_FILE_TOO_BIG: return "the file would be over 4 GB";
        case VP8_ENC_ERROR_USER_ABORT: return "aborted";
        default: return "unknown error";
    }
}

struct PictureOwner {
    WebPPicture picture;
    PictureOwner() { WebPPictureInit(&picture); }
    ~PictureOwner() { WebPPictureFree(&picture); }
};

// The picture's rows top-down as red, green, blue: libwebp keeps only RGB, so palettes and gray
// levels are given as the colours they show.
LumoBuffer<uint8_t> RgbRows(const IMG& image) {
    const size_t stride = static_cast<size_t>(image.width) * 3;
    LumoBuffer<uint8_t> rows = LumoAllocBuffer<uint8_t>(stride * image.height, kSaveModule);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* out = rows.get() + stride * y;
        if (IsKind(image, ImageKind::RGB)) {
            CopyRowForFile(image, y, out);
            continue;
        }
        for (int x = 0; x < image.width; ++x, out += 3) {
            const uint32_t colour = PixelColour(image, x, y);
            out[0] = static_cast<uint8_t>(colour >> 16);
            out[1] = static_cast<uint8_t>(colour >> 8);
            out[2] = static_cast<uint8_t>(colour);
        }
    }
    return rows;
}

}  // namespace

void WriteWebp(const IMG* image, const ByteSink& sink) {
    if (image->width == 0 || image->height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image->width, image->height);
    if (image->width > kMaxSide || image->height > kMaxSide)
        LumoError(kSaveModule, "Can't save a picture over %d x %d pixels as WebP (%d x %d)", kMaxSide, kMaxSide,
                  image->width, image->height);
    WebPConfig config;
    if (!WebPConfigInit(&config)) LumoError(kSaveModule, "libwebp version mismatch");
    // A quality outside 0-100, written into the profile by hand, is taken as the nearest one.
    config.quality = static_cast<float>(std::clamp(LumoGetIntOptionWebp("quality"), 0, 100));
    config.lossless = LumoGetIntOptionWebp("lossless") != 0;
    config.thread_level = 0;
    if (!WebPValidateConfig(&config)) LumoError(kSaveModule, "Can't write WebP data: invalid settings");

    PictureOwner owner;
    WebPPicture& picture = owner.picture;
    picture.width = image->width;
    picture.height = image->height;
    picture.use_argb = config.lossless;  // lossless files are coded from the colours, lossy from YUV
    {
        const LumoBuffer<uint8_t> rows = RgbRows(*image);
        if (!WebPPictureImportRGB(&picture, rows.get(), image->width * 3)) LumoError(kSaveModule, "Out of memory");
    }
    EncoderOutput output{sink, nullptr};
    picture.writer = WriteToSink;
    picture.custom_ptr = &output;
    picture.progress_hook = ReportProgress;
    const int encoded = WebPEncode(&config, &picture);
    if (output.failure) std::rethrow_exception(output.failure);
    if (!encoded) LumoError(kSaveModule, "Can't write WebP data: %s", EncodingErrorText(picture.error_code));
}

void LumoSaveWebp(const IMG* image, const char* fileName) {
    LumoProgress(-1);
    OutputFile out(fileName, kSaveModule);
    WriteWebp(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
