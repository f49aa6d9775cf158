#include <algorithm>
#include <cstring>

#include "core/convert.h"
#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/gif/gif.h"
#include "formats/gif/gif_lzw_encoder.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveGif";

// BW and GRAY16 become COLOR16, GRAY256 and RGB COLOR256; palette kinds are written as they are.
ImagePtr PaletteVersion(const IMG& image) {
    switch (KindOf(image)) {
        case ImageKind::BW:
        case ImageKind::GRAY16:
            return LumoToCOLOR16(&image);
        case ImageKind::GRAY256:
        case ImageKind::RGB:
            return LumoToCOLOR256(&image);
        default:
            return nullptr;
    }
}

// Signature, screen descriptor, global colour table, image descriptor and minimum code size.
void WriteHeaders(const IMG& image, bool interlace, const ByteSink& sink) {
    const int bits = image.bitsPerPixel;
    const int entries = 1 << bits;
    uint8_t bytes[13 + 3 * 256 + 10 + 1];
    uint8_t* p = bytes;
    std::memcpy(p, "GIF87a", 6);
    WriteLE16(p + 6, image.width);
    WriteLE16(p + 8, image.height);
    p[10] = static_cast<uint8_t>(0x80 | (bits - 1) << 5 | (bits - 1));  // global table of 1 << bits entries
    p[11] = 0;                                                          // background colour index
    p[12] = 0;                                                          // aspect: square pixels
    p += 13;
    // A palette kind built without a palette writes black entries rather than reading nothing.
    if (image.palette)
        std::memcpy(p, image.palette, static_cast<size_t>(entries) * 3);
    else
        std::memset(p, 0, static_cast<size_t>(entries) * 3);
    p += entries * 3;
    p[0] = ',';
    WriteLE16(p + 1, 0);  // left
    WriteLE16(p + 3, 0);  // top
    WriteLE16(p + 5, image.width);
    WriteLE16(p + 7, image.height);
    p[9] = interlace ? 0x40 : 0;  // no local table
    p[10] = static_cast<uint8_t>(std::max(bits, 2));
    p += 11;
    sink(bytes, static_cast<size_t>(p - bytes));
}

// Feeds picture row y to the encoder, one index per byte.
class RowFeeder {
public:
    RowFeeder(const IMG& image, GifLzwEncoder& encoder)
        : image_(image),
          encoder_(encoder),
          line_(LumoAllocBuffer<uint8_t>(image.bitsPerPixel == 8 ? 0 : image.width, kSaveModule)) {}

    void feed(int y) {
        if (image_.rowBytes == 0) return;
        const uint8_t* row = PictureRow(image_, y);
        if (image_.bitsPerPixel == 8) {
            encoder_.encode(row, image_.width);
            return;
        }
        uint8_t* line = line_.get();
        for (int x = 0; x < image_.width; ++x) line[x] = x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
        encoder_.encode(line, image_.width);
    }

private:
    const IMG& image_;
    GifLzwEncoder& encoder_;
    LumoBuffer<uint8_t> line_;
};

}  // namespace

void WriteGif(const IMG* image, const ByteSink& sink) {
    const ImagePtr converted = PaletteVersion(*image);
    const IMG& source = converted ? *converted : *image;
    const bool interlace = LumoGetIntOptionGif("interlace") != 0;
    WriteHeaders(source, interlace, sink);

    GifLzwEncoder encoder(std::max<int>(source.bitsPerPixel, 2), sink);
    RowFeeder rows(source, encoder);
    const int height = source.height;
    if (!interlace) {
        for (int y = 0; y < height; ++y) {
            rows.feed(y);
            LumoProgress((y + 1) * 100 / height);
        }
    } else {
        // The four passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
        constexpr int kFirstRow[] = {0, 4, 2, 1};
        constexpr int kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kFirstRow[pass]; y < height; y += kStep[pass]) {
                rows.feed(y);
                LumoProgress(pass * 100 / 3);
            }
    }
    encoder.finish();

    const uint8_t trailer[] = {0, ';'};  // the zero-length block that ends the data, then the trailer
    sink(trailer, sizeof trailer);
}

void LumoSaveGif(const IMG* image, const char* fileName) {
    OutputFile out(fileName, kSaveModule, "Can't Open file %s");
    LumoProgress(-1);
    WriteGif(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
