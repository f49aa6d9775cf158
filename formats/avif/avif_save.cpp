#include <algorithm>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/avif/avif.h"
#include "formats/avif/avif_handles.h"
#include "formats/file_rows.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveAvif";

void Check(avifResult result) {
    if (result != AVIF_RESULT_OK) LumoError(kSaveModule, "Can't write AVIF data: %s", avifResultToString(result));
}

bool IsGray(const IMG& image) { return image.colorClass != COLOR; }

// Picture row y as 8-bit gray levels (BW 0 or 255, GRAY16 level v as v x 17) for gray kinds, or as
// red, green, blue for the others (palette entries looked up).
void PlainRow(const IMG& image, int y, uint8_t* fileRow, uint8_t* out) {
    CopyRowForFile(image, y, fileRow);
    const int bits = image.bitsPerPixel;
    for (int x = 0; x < image.width; ++x) {
        unsigned value = 0;
        if (bits == 1) value = (fileRow[x / 8] >> (7 - x % 8) & 1) * 255u;
        else if (bits == 4) value = fileRow[x / 2] >> (x % 2 ? 0 : 4) & 0x0F;
        else if (bits == 8) value = fileRow[x];
        if (bits == 24) {
            std::copy_n(fileRow + 3 * x, 3, out + 3 * x);
        } else if (IsGray(image)) {
            out[x] = static_cast<uint8_t>(bits == 4 ? value * 17 : value);
        } else {
            const uint8_t* entry = image.palette + 3 * value;
            std::copy_n(entry, 3, out + 3 * x);
        }
    }
}

// The picture in libavif's planes: 4:0:0 gray straight from the levels (full range: Y is the gray
// level), or 4:4:4 colour through libavif's conversion, by the identity matrix when lossless.
AvifImagePtr BuildPlanes(const IMG& image, bool lossless) {
    const bool gray = IsGray(image);
    AvifImagePtr planes(avifImageCreate(image.width, image.height, 8, gray ? AVIF_PIXEL_FORMAT_YUV400 : AVIF_PIXEL_FORMAT_YUV444));
    if (!planes) LumoError(kSaveModule, "Out of memory");
    planes->yuvRange = AVIF_RANGE_FULL;
    planes->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    planes->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    planes->matrixCoefficients = lossless && !gray ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;
    const size_t fileRowBytes = (static_cast<size_t>(image.width) * image.bitsPerPixel + 7) / 8;
    LumoBuffer<uint8_t> fileRow = LumoAllocBuffer<uint8_t>(fileRowBytes, kSaveModule);
    if (gray) {
        Check(avifImageAllocatePlanes(planes.get(), AVIF_PLANES_YUV));
        for (int y = 0; y < image.height; ++y)
            PlainRow(image, y, fileRow.get(), planes->yuvPlanes[AVIF_CHAN_Y] + static_cast<size_t>(y) * planes->yuvRowBytes[AVIF_CHAN_Y]);
        return planes;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, planes.get());
    rgb.format = AVIF_RGB_FORMAT_RGB;
    rgb.depth = 8;
    rgb.rowBytes = 3u * image.width;
    LumoBuffer<uint8_t> pixels = LumoAllocBuffer<uint8_t>(size_t{rgb.rowBytes} * image.height, kSaveModule);
    rgb.pixels = pixels.get();
    for (int y = 0; y < image.height; ++y) PlainRow(image, y, fileRow.get(), rgb.pixels + static_cast<size_t>(y) * rgb.rowBytes);
    Check(avifImageRGBToYUV(planes.get(), &rgb));
    return planes;
}

}  // namespace

void WriteAvif(const IMG* image, const ByteSink& sink) {
    if (image->width == 0 || image->height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image->width, image->height);
    const int quantizer = AvifQuantizerOf(LumoGetIntOptionAvif("quality"));
    const AvifImagePtr planes = BuildPlanes(*image, quantizer == AVIF_QUANTIZER_LOSSLESS);
    LumoProgress(20);
    AvifEncoderPtr encoder(avifEncoderCreate());
    if (!encoder) LumoError(kSaveModule, "Out of memory");
    encoder->maxThreads = 1;
    encoder->speed = std::clamp(LumoGetIntOptionAvif("speed"), AVIF_SPEED_SLOWEST, AVIF_SPEED_FASTEST);
    // The quantizer range avifenc gives with --min 0 --max Q; 0 and 0 is lossless.
    encoder->minQuantizer = AVIF_QUANTIZER_BEST_QUALITY;
    encoder->maxQuantizer = quantizer;
    AvifOutput output;
    Check(avifEncoderWrite(encoder.get(), planes.get(), &output.data));
    LumoProgress(90);
    sink(output.data.data, output.data.size);
}

void LumoSaveAvif(const IMG* image, const char* fileName) {
    LumoProgress(-1);
    OutputFile out(fileName, kSaveModule);
    WriteAvif(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
