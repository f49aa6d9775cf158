#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <algorithm>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/file_rows.h"
#include "formats/jxl/jxl.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveJxl";
constexpr size_t kOutputChunk = 1 << 16;  // the encoder's output is handed to the sink in pieces of this size

void Check(JxlEncoderStatus status, const char* what) {
    if (status != JXL_ENC_SUCCESS) LumoError(kSaveModule, "Can't write JPEG XL data: %s", what);
}

bool IsGray(const IMG& image) { return image.colorClass != COLOR; }

// Picture row y as 8-bit gray levels (BW 0 or 255, GRAY16 level v as v x 17) for gray kinds, or as
// red, green, blue for the others (palette entries looked up).
void SampleRow(const IMG& image, int y, uint8_t* fileRow, uint8_t* out) {
    const int bits = image.bitsPerPixel;
    if (bits == 24 || (bits == 8 && IsGray(image))) {
        CopyRowForFile(image, y, out);  // already the samples
        return;
    }
    CopyRowForFile(image, y, fileRow);
    for (int x = 0; x < image.width; ++x) {
        unsigned value = 0;
        if (bits == 1) value = (fileRow[x / 8] >> (7 - x % 8) & 1) * 255u;
        else if (bits == 4) value = fileRow[x / 2] >> (x % 2 ? 0 : 4) & 0x0F;
        else value = fileRow[x];
        if (IsGray(image)) {
            out[x] = static_cast<uint8_t>(bits == 4 ? value * 17 : value);
        } else {
            std::copy_n(image.palette + 3 * value, 3, out + 3 * x);
        }
    }
}

// The whole picture top-down in libjxl's interleaved 8-bit layout, channels samples a pixel.
LumoBuffer<uint8_t> Samples(const IMG& image, uint32_t channels) {
    const size_t stride = static_cast<size_t>(image.width) * channels;
    LumoBuffer<uint8_t> samples = LumoAllocBuffer<uint8_t>(stride * image.height, kSaveModule);
    LumoBuffer<uint8_t> fileRow =
        LumoAllocBuffer<uint8_t>((static_cast<size_t>(image.width) * image.bitsPerPixel + 7) / 8, kSaveModule);
    for (int y = 0; y < image.height; ++y) SampleRow(image, y, fileRow.get(), samples.get() + stride * y);
    return samples;
}

// One still frame, 8 bits, sRGB (gray: the sRGB transfer curve, D65). Lossless frames keep the
// samples as they are (no XYB: uses_original_profile).
void ConfigureEncoder(JxlEncoder* encoder, const IMG& image, uint32_t channels, bool lossless) {
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(image.width);
    info.ysize = static_cast<uint32_t>(image.height);
    info.bits_per_sample = 8;
    info.exponent_bits_per_sample = 0;
    info.num_color_channels = channels;
    info.num_extra_channels = 0;
    info.alpha_bits = 0;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    Check(JxlEncoderSetBasicInfo(encoder, &info), "the picture's size or depth was refused");
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, channels == 1 ? JXL_TRUE : JXL_FALSE);
    Check(JxlEncoderSetColorEncoding(encoder, &colour), "the colour encoding was refused");
}

}  // namespace

void WriteJxl(const IMG* image, const ByteSink& sink) {
    if (image->width == 0 || image->height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image->width, image->height);
    const int quality = LumoGetIntOptionJxl("quality");
    const bool lossless = LumoGetIntOptionJxl("lossless") != 0 || JxlDistanceOf(quality) == 0.0;
    // An effort outside 1-9, written into the profile by hand, is taken as the nearest one.
    const int effort = std::clamp(LumoGetIntOptionJxl("effort"), 1, 9);
    const uint32_t channels = IsGray(*image) ? 1 : 3;

    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);  // no parallel runner: one thread
    if (!encoder) LumoError(kSaveModule, "Out of memory");
    ConfigureEncoder(encoder.get(), *image, channels, lossless);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (!settings) LumoError(kSaveModule, "Out of memory");
    Check(JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, effort), "effort refused");
    if (lossless) Check(JxlEncoderSetFrameLossless(settings, JXL_TRUE), "lossless refused");
    else Check(JxlEncoderSetFrameDistance(settings, static_cast<float>(JxlDistanceOf(quality))), "distance refused");

    {
        // libjxl copies the frame, so the samples are released before the encoding runs.
        const LumoBuffer<uint8_t> samples = Samples(*image, channels);
        const JxlPixelFormat format{channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        const size_t size = static_cast<size_t>(image->width) * channels * image->height;
        Check(JxlEncoderAddImageFrame(settings, &format, samples.get(), size), "the frame was refused");
    }
    JxlEncoderCloseInput(encoder.get());
    LumoProgress(20);

    // The sink is called between libjxl's calls, never from inside one, so its failure unwinds
    // through our frames only and the encoder's owner releases it.
    std::vector<uint8_t> chunk(kOutputChunk);
    for (;;) {
        uint8_t* next = chunk.data();
        size_t available = chunk.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        if (status != JXL_ENC_SUCCESS && status != JXL_ENC_NEED_MORE_OUTPUT) Check(status, "encoding failed");
        if (available < chunk.size()) sink(chunk.data(), chunk.size() - available);
        if (status == JXL_ENC_SUCCESS) break;
    }
    LumoProgress(90);
}

void LumoSaveJxl(const IMG* image, const char* fileName) {
    LumoProgress(-1);
    OutputFile out(fileName, kSaveModule);
    WriteJxl(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
