#include "formats/file_rows.h"

#include <cstring>

void CopyRowForFile(const IMG& image, int y, uint8_t* out) {
    const uint8_t* row = PictureRow(image, y);
    if (image.bitsPerPixel == 24) {
        for (int x = 0; x < image.width; ++x, row += 3, out += 3) {
            out[0] = row[2];
            out[1] = row[1];
            out[2] = row[0];
        }
        return;
    }
    const size_t usedBits = static_cast<size_t>(image.width) * image.bitsPerPixel;
    const size_t bytes = (usedBits + 7) / 8;
    std::memcpy(out, row, bytes);
    if (usedBits % 8) out[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - usedBits % 8));
}
