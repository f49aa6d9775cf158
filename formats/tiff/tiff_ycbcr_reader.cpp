// YCbCr strips to RGB. A strip holds block rows; each block is h x v luma bytes (row by row) followed
// by one Cb and one Cr byte, h and v being the subsampling. Blocks at the right and bottom edges
// still hold h x v luma bytes; those outside the picture are skipped.
#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/tiff/tiff_readers.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

bool IsSubsampling(uint16_t factor) { return factor == 1 || factor == 2 || factor == 4; }

// value + 0.5, truncated and clamped to 0..255; a value that is not a number gives 0.
uint8_t RoundToByte(double value) {
    const double rounded = value + 0.5;
    if (!(rounded > 0)) return 0;
    if (rounded >= 255) return 255;
    return static_cast<uint8_t>(rounded);
}

// The conversion factors, from the coefficients and the reference black and white of the file.
struct YCbCrConversion {
    double rb[6];   // ReferenceBlackWhite: luma black, white; Cb black, white; Cr black, white
    double dr, db;  // 2 - 2 * LumaRed, 2 - 2 * LumaBlue
    double gr, gb;  // dr * LumaRed / LumaGreen, db * LumaBlue / LumaGreen

    YCbCrConversion(const float* coefficients, const float* reference) {
        for (int i = 0; i < 6; ++i) rb[i] = reference[i];
        const double red = coefficients[0], green = coefficients[1], blue = coefficients[2];
        // Ranges of zero width or a green weight of 0 would divide by zero.
        if (!(green != 0) || !(rb[1] != rb[0]) || !(rb[3] != rb[2]) || !(rb[5] != rb[4]) || !std::isfinite(red) ||
            !std::isfinite(green) || !std::isfinite(blue))
            LumoError(kModule, "Unusable YCbCrCoefficients or ReferenceBlackWhite");
        dr = 2 - 2 * red;
        db = 2 - 2 * blue;
        gr = dr * red / green;
        gb = db * blue / green;
    }

    // Luma is scaled to 0..255 and truncated; it is clamped there too, so that an unusual reference
    // range cannot turn it into a number no integer holds.
    int luma(uint8_t y) const {
        const double scaled = (y - rb[0]) * 255 / (rb[1] - rb[0]);
        if (!(scaled > 0)) return 0;
        return scaled >= 255 ? 255 : static_cast<int>(scaled);
    }
};

}  // namespace

void ReadTiffYCbCr(TiffHandle& tiff, IMG& image, int orientation) {
    if (orientation != ORIENTATION_TOPLEFT) WarnTiffOrientation(orientation);
    TIFF* tif = tiff.get();
    uint32_t rowsPerStrip = 0;
    float* coefficients = nullptr;
    float* reference = nullptr;
    uint16_t positioning = 0, h = 0, v = 0;
    GetTiffFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    GetTiffFieldDefaulted(tiff, TIFFTAG_YCBCRCOEFFICIENTS, &coefficients);
    GetTiffFieldDefaulted(tiff, TIFFTAG_YCBCRPOSITIONING, &positioning);  // centred and co-sited read alike
    GetTiffFieldDefaulted(tiff, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
    GetTiffFieldDefaulted(tiff, TIFFTAG_REFERENCEBLACKWHITE, &reference);
    if (!coefficients || !reference) LumoError(kModule, "Missing YCbCr parameters");
    if (!IsSubsampling(h) || !IsSubsampling(v)) LumoError(kModule, "Can't handle YCbCr subsampling %u x %u", h, v);
    const YCbCrConversion conversion(coefficients, reference);
    rowsPerStrip = std::min<uint32_t>(rowsPerStrip, image.height);
    if (rowsPerStrip == 0) LumoError(kModule, "Bad RowsPerStrip");

    const tmsize_t stripSize = TIFFStripSize(tif);
    tiff.check(kModule);
    if (stripSize <= 0) LumoError(kModule, "Bad strip size");
    LumoBuffer<uint8_t> strip(static_cast<uint8_t*>(LumoAlloc(static_cast<size_t>(stripSize))));
    if (!strip) LumoError(kModule, "Can't alloc buffer for loading YCrBr");

    const size_t blockLuma = size_t{h} * v;
    const size_t blocksPerRow = (image.width + size_t{h} - 1) / h;
    const size_t blockRowBytes = blocksPerRow * (blockLuma + 2);
    LumoProgress(-1);
    for (uint32_t top = 0; top < image.height; top += rowsPerStrip) {
        const uint32_t rows = std::min<uint32_t>(rowsPerStrip, image.height - top);
        const size_t needed = (rows + size_t{v} - 1) / v * blockRowBytes;
        const uint32_t index = TIFFComputeStrip(tif, top, 0);
        tiff.check(kModule);
        const tmsize_t read = TIFFReadEncodedStrip(tif, index, strip.get(), stripSize);
        tiff.check(kModule);
        // Decoding stops at the data the strip really holds, never past the buffer.
        if (read < 0 || static_cast<size_t>(read) < needed)
            LumoError(kModule, "YCbCr strip %u holds %ld bytes where %zu are needed", index, static_cast<long>(read),
                      needed);

        for (uint32_t blockTop = 0; blockTop < rows; blockTop += v) {
            const uint32_t y = top + blockTop;
            LumoProgress(static_cast<int>(uint64_t{y} * 100 / image.height));
            const uint32_t blockRows = std::min<uint32_t>(v, rows - blockTop);
            const uint8_t* block = strip.get() + blockTop / v * blockRowBytes;
            for (size_t left = 0; left < image.width; left += h, block += blockLuma + 2) {
                const double cb = (block[blockLuma] - conversion.rb[2]) * 127 / (conversion.rb[3] - conversion.rb[2]);
                const double cr =
                    (block[blockLuma + 1] - conversion.rb[4]) * 127 / (conversion.rb[5] - conversion.rb[4]);
                const size_t columns = std::min<size_t>(h, image.width - left);
                for (uint32_t j = 0; j < blockRows; ++j) {
                    uint8_t* pixel = PictureRow(image, static_cast<int>(y + j)) + 3 * left;
                    for (size_t i = 0; i < columns; ++i, pixel += 3) {
                        const int luma = conversion.luma(block[j * h + i]);
                        pixel[0] = RoundToByte(luma + cb * conversion.db);
                        pixel[1] = RoundToByte(luma - cr * conversion.gr - cb * conversion.gb);
                        pixel[2] = RoundToByte(luma + cr * conversion.dr);
                    }
                }
            }
        }
    }
    LumoProgress(-2);
}
