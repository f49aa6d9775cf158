#include <jxl/decode.h>
#include <jxl/decode_cxx.h>

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/jxl/jxl.h"
#include "formats/png/png_rows.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadJxl";

FileBytes ReadWholeFile(InputFile& file) {
    FileBytes bytes = ReadRemainingBytes(file, kLoadModule);
    if (!LooksLikeJxl(bytes.data.get(), bytes.size)) LumoError(kLoadModule, "Not a JPEG XL file: %s", file.name().c_str());
    return bytes;
}

[[noreturn]] void Fail(const InputFile& file, const char* what) {
    LumoError(kLoadModule, "Corrupted JPEG XL file %s: %s", file.name().c_str(), what);
}

// A decoder over the whole file, colours given unpremultiplied (its input closed: a file cut short ends in "more input needed").
// libjxl decodes on the calling thread alone, as no parallel runner is given.
JxlDecoderPtr OpenDecoder(const FileBytes& bytes, int events, const InputFile& file) {
    JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder) LumoError(kLoadModule, "Out of memory");
    if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data.get(), bytes.size) != JXL_DEC_SUCCESS)
        Fail(file, "decoder refused its settings");
    JxlDecoderCloseInput(decoder.get());
    return decoder;
}

// The next event; a decoding error or the end of the data is reported.
JxlDecoderStatus Next(JxlDecoder* decoder, const InputFile& file) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if (status == JXL_DEC_ERROR) Fail(file, "decoding failed");
    if (status == JXL_DEC_NEED_MORE_INPUT) Fail(file, "the file ends early");
    return status;
}

// The header's basic info, with the size checked against the limits before anything is allocated.
JxlBasicInfo ReadBasicInfo(JxlDecoder* decoder, const InputFile& file) {
    while (Next(decoder, file) != JXL_DEC_BASIC_INFO) {
    }
    JxlBasicInfo info{};
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) Fail(file, "no basic info");
    CheckLoadSize(kLoadModule, static_cast<long>(info.xsize), static_cast<long>(info.ysize));
    return info;
}

ImageKind LoadKindOf(const JxlBasicInfo& info) { return info.num_color_channels == 1 ? ImageKind::GRAY256 : ImageKind::RGB; }

}  // namespace

bool LooksLikeJxl(const uint8_t* b, size_t size) {
    static constexpr uint8_t kContainer[12] = {0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    return (size >= 2 && b[0] == 0xFF && b[1] == 0x0A) || (size >= 12 && std::memcmp(b, kContainer, 12) == 0);
}

ImagePtr LumoLoadJxl(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadJxlFrom(file);
}

ImageInfo ReadJxlInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    const FileBytes bytes = ReadWholeFile(file);
    const JxlDecoderPtr decoder = OpenDecoder(bytes, JXL_DEC_BASIC_INFO, file);
    const JxlBasicInfo info = ReadBasicInfo(decoder.get(), file);
    return {static_cast<int>(info.xsize), static_cast<int>(info.ysize), LoadKindOf(info)};
}

ImagePtr LoadJxlFrom(InputFile& file) {
    LumoProgress(-1);
    const FileBytes bytes = ReadWholeFile(file);
    const JxlDecoderPtr decoder = OpenDecoder(bytes, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE, file);
    const JxlBasicInfo info = ReadBasicInfo(decoder.get(), file);
    const ImageKind kind = LoadKindOf(info);
    const bool alpha = info.alpha_bits > 0;
    const uint32_t channels = info.num_color_channels == 1 ? 1 : 3;
    const JxlPixelFormat format{channels + (alpha ? 1 : 0), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    const size_t width = info.xsize, height = info.ysize, pixelBytes = format.num_channels;
    LumoBuffer<uint8_t> pixels = LumoAllocBuffer<uint8_t>(width * height * pixelBytes, kLoadModule);
    LumoProgress(10);
    // Up to the first frame's full picture (an animation's first frame; a still picture's only one).
    for (JxlDecoderStatus status = Next(decoder.get(), file); status != JXL_DEC_FULL_IMAGE;
         status = Next(decoder.get(), file)) {
        if (status == JXL_DEC_SUCCESS) Fail(file, "no frame");
        if (status != JXL_DEC_NEED_IMAGE_OUT_BUFFER) continue;
        size_t size = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS ||
            size != width * height * pixelBytes ||
            JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.get(), size) != JXL_DEC_SUCCESS)
            Fail(file, "unexpected picture buffer");
    }
    LumoProgress(80);
    ImagePtr image = LumoCreateImage(static_cast<int>(width), static_cast<int>(height), ColorClassOf(kind), nullptr,
                                     BitsPerPixelOf(kind));
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = pixels.get() + y * width * pixelBytes;
        uint8_t* out = PictureRow(*image, static_cast<int>(y));
        for (size_t x = 0; x < width; ++x, in += pixelBytes) {
            const unsigned a = alpha ? in[channels] : 255;
            if (channels == 1) {
                *out++ = OverWhite8(in[0], a);
            } else {
                *out++ = OverWhite8(in[2], a);
                *out++ = OverWhite8(in[1], a);
                *out++ = OverWhite8(in[0], a);
            }
        }
    }
    LumoProgress(-2);
    return image;
}
