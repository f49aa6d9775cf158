#include "formats/tiff/tiff_ycbcr_encoder.h"

#include <algorithm>
#include <optional>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/tiff/tiff_lzw_encoder.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveTiff";

constexpr float kLumaRed = 0.299f;
constexpr float kLumaGreen = 0.587f;
constexpr float kLumaBlue = 0.114f;
// Code ranges: luma 0..255, Cb and Cr centred on 128 with 127 steps each way.
constexpr float kReferenceBlackWhite[6] = {0, 255, 128, 255, 128, 255};
constexpr int kLumaRange = 255;
constexpr int kChromaRange = 127;
constexpr uint8_t kLumaFill = 0;  // luma code of the block positions outside the picture (luma 0)

// The three weighted components of every 8-bit value, and the chroma scale factors.
struct LumaTables {
    float red[256];
    float green[256];
    float blue[256];
    LumaTables() {
        for (int i = 0; i < 256; ++i) {
            red[i] = static_cast<float>(i) * kLumaRed;
            green[i] = static_cast<float>(i) * kLumaGreen;
            blue[i] = static_cast<float>(i) * kLumaBlue;
        }
    }
};
constexpr double kCbScale = 1.0 / (2 - 2 * static_cast<double>(kLumaBlue));
constexpr double kCrScale = 1.0 / (2 - 2 * static_cast<double>(kLumaRed));

// The code of value f against a reference pair and a coding range, rounded, within 0..255.
uint8_t Code(double f, float black, float white, int range) {
    const double code = black + f * (white - black) / range + 0.5;
    return static_cast<uint8_t>(std::clamp(static_cast<int>(code), 0, 255));
}

class StripEncoder {
public:
    StripEncoder(const IMG& image, int h, int v) : image_(image), h_(h), v_(v) {}

    // Encodes picture rows y .. y + rows - 1 into out, block row by block row; yields the end.
    uint8_t* encode(int y, int rows, uint8_t* out) const {
        for (int by = 0; by < rows; by += v_) {
            const int blockRows = std::min(v_, rows - by);
            for (int bx = 0; bx < image_.width; bx += h_)
                out = encodeBlock(y + by, bx, blockRows, std::min(h_, image_.width - bx), out);
        }
        return out;
    }

private:
    uint8_t* encodeBlock(int y, int x, int rows, int cols, uint8_t* out) const {
        double cb = 0;
        double cr = 0;
        for (int j = 0; j < v_; ++j) {
            const uint8_t* pixel = j < rows ? PictureRow(image_, y + j) + x * 3 : nullptr;
            for (int i = 0; i < h_; ++i) {
                if (!pixel || i >= cols) {
                    *out++ = kLumaFill;
                    continue;
                }
                const int blue = pixel[0];
                const int green = pixel[1];
                const int red = pixel[2];
                pixel += 3;
                const float luma = tables_.red[red] + tables_.green[green] + tables_.blue[blue];
                *out++ = Code(luma, kReferenceBlackWhite[0], kReferenceBlackWhite[1], kLumaRange);
                cb += (blue - luma) * kCbScale;
                cr += (red - luma) * kCrScale;
            }
        }
        const int count = rows * cols;
        *out++ = Code(cb / count, kReferenceBlackWhite[2], kReferenceBlackWhite[3], kChromaRange);
        *out++ = Code(cr / count, kReferenceBlackWhite[4], kReferenceBlackWhite[5], kChromaRange);
        return out;
    }

    const IMG& image_;
    const int h_;
    const int v_;
    const LumaTables tables_;
};

// Codes a strip with our LZW encoder and hands libtiff the result to write as it is (the cast is
// for libtiff's C signature: raw strip data is only copied to the file).
bool WriteLzwStrip(TiffHandle& tiff, uint32_t strip, TiffLzwEncoder& lzw, const uint8_t* data, size_t size) {
    const std::span<const uint8_t> coded = lzw.encode(data, size);
    const tmsize_t count = static_cast<tmsize_t>(coded.size());
    return TIFFWriteRawStrip(tiff.get(), strip, const_cast<uint8_t*>(coded.data()), count) == count;
}

}  // namespace

bool IsValidYCbCrSubsampling(int h, int v) {
    const auto allowed = [](int n) { return n == 1 || n == 2 || n == 4; };
    return allowed(h) && allowed(v) && v <= h;
}

uint32_t YCbCrRowsPerStrip(uint32_t rowsPerStrip, int v) {
    const uint32_t step = static_cast<uint32_t>(v);
    return (rowsPerStrip + step - 1) / step * step;
}

uint64_t YCbCrStripBytes(int width, uint32_t rows, int h, int v) {
    const uint64_t blocksAcross = (static_cast<uint64_t>(width) + h - 1) / h;
    const uint64_t blocksDown = (static_cast<uint64_t>(rows) + v - 1) / v;
    return blocksAcross * blocksDown * static_cast<uint64_t>(h * v + 2);
}

void SetYCbCrTags(TiffHandle& tiff, int h, int v) {
    const float coefficients[3] = {kLumaRed, kLumaGreen, kLumaBlue};
    const auto set = [&tiff](uint32_t tag, auto... values) {
        if (!TIFFSetField(tiff.get(), tag, values...)) tiff.fail(kSaveModule, "Can't Write YCbCr image");
        tiff.check(kSaveModule);
    };
    set(TIFFTAG_REFERENCEBLACKWHITE, kReferenceBlackWhite);
    set(TIFFTAG_YCBCRSUBSAMPLING, h, v);
    set(TIFFTAG_YCBCRPOSITIONING, YCBCRPOSITION_CENTERED);
    set(TIFFTAG_YCBCRCOEFFICIENTS, coefficients);
}

void WriteYCbCrStrips(const IMG& image, TiffHandle& tiff, int h, int v, uint32_t rowsPerStrip, bool lzw) {
    const int height = image.height;
    const int stripRows = static_cast<int>(std::min<uint32_t>(rowsPerStrip, YCbCrRowsPerStrip(height, v)));
    const size_t bufferSize = YCbCrStripBytes(image.width, static_cast<uint32_t>(stripRows), h, v);
    const LumoBuffer<uint8_t> buffer = LumoAllocBuffer<uint8_t>(bufferSize, kSaveModule);
    const StripEncoder encoder(image, h, v);
    std::optional<TiffLzwEncoder> lzwEncoder;
    if (lzw) lzwEncoder.emplace();

    LumoProgress(-1);
    uint32_t strip = 0;
    for (int y = 0; y < height; y += stripRows, ++strip) {
        const int rows = std::min(stripRows, height - y);
        LumoProgressRow(y, height);
        // Every byte up to the end is written by the encoder (fill codes included), and the last strip
        // is handed over with its own length, so no stale or undefined byte reaches the file.
        const uint8_t* end = encoder.encode(y, rows, buffer.get());
        const tmsize_t bytes = end - buffer.get();
        const bool written =
            lzwEncoder ? WriteLzwStrip(tiff, strip, *lzwEncoder, buffer.get(), static_cast<size_t>(bytes))
                       : TIFFWriteEncodedStrip(tiff.get(), strip, buffer.get(), bytes) == bytes;
        if (!written) {
            tiff.takeError();
            LumoError(kSaveModule, "Can't Write YCbCr image");
        }
        tiff.check(kSaveModule);
    }
    LumoProgress(-2);
}
