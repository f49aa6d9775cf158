#include <cstddef>
#include <cstdint>

#include "formats/ps/ps.h"
#include "formats/ps/ps_bodies.h"
#include "formats/ps/ps_hex.h"

namespace {

// Defines bwproc and, on a printer without colorimage, a colorimage that draws through image with
// bwproc turning each red, green, blue triple of rgbproc's data into one gray byte (their sum / 3).
constexpr char kColourPrologue[] =
    "/bwproc {\n"
    "    rgbproc\n"
    "    dup length 3 idiv string 0 3 0\n"
    "    5 -1 roll {\n"
    "\tadd 2 1 roll 1 sub dup 0 eq {\n"
    "\t    pop 3 idiv\n"
    "\t    3 -1 roll\n"
    "\t    dup 4 -1 roll\n"
    "\t    dup 3 1 roll\n"
    "\t    5 -1 roll put\n"
    "\t    1 add 3 0\n"
    "\t} { 2 1 roll } ifelse\n"
    "    } forall\n"
    "    pop pop pop\n"
    "} def\n"
    "/colorimage where {pop} {\n"
    "    /colorimage {pop pop /rgbproc exch def {bwproc} image} bind def\n"
    "} ifelse\n";
static_assert(sizeof kColourPrologue - 1 == 367, "the prologue is sent exactly as stored");

// The bytes a row is sent with: the stored row without its filler.
size_t SentRowBytes(const IMG& image) { return (static_cast<size_t>(image.bitsPerPixel) * image.width + 7) / 8; }

// Bi-level and gray rows as stored, top row first: `image` reads 1 as white and 0 as black, as IMG does.
void WriteLevel1GrayBody(const IMG& image, PSDocument& document) {
    const int bits = image.bitsPerPixel;
    const size_t rowBytes = SentRowBytes(image);
    WriteImageDataLine(document, image, bits, 1, "image");
    document.print("/scanLine %d string def\n", static_cast<int>(rowBytes));
    WriteSizeAndMatrix(document, image, bits);
    document.print("{currentfile scanLine readhexstring pop} bind\n");
    document.print("image\n");
    HexLines hex(document.sink());
    for (int y = 0; y < image.height; ++y) hex.putBytes(PictureRow(image, y), rowBytes);
    hex.finish();
}

void WriteColourBody(const IMG& image, PSDocument& document) {
    document.write(kColourPrologue);
    WriteImageDataLine(document, image, 8, 3, "false 3 colorimage");
    document.print("/line %d string def\n", 3 * image.width);
    WriteSizeAndMatrix(document, image, 8);
    document.print("{currentfile line readhexstring pop} bind\n");
    document.print("false %d colorimage\n", 3);
    HexLines hex(document.sink());
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* pixel = PictureRow(image, y);
        for (int x = 0; x < image.width; ++x, pixel += 3) {
            const uint8_t rgb[3] = {pixel[2], pixel[1], pixel[0]};  // stored blue, green, red
            hex.putUnit(rgb, 3);
        }
    }
    hex.finish();
}

// Palette images go out expanded to red, green, blue bytes, so they draw like RGB. Each string read
// is one expanded row, so the last read never runs past the data into the page's closing lines, and
// the data comment states the 8 bits per component actually sent.
void WritePaletteBody(const IMG& image, PSDocument& document) {
    document.write(kColourPrologue);
    WriteImageDataLine(document, image, 8, 3, "false 3 colorimage");
    document.print("/scanLine %d string def\n", 3 * image.width);
    WriteSizeAndMatrix(document, image, 8);
    document.print("{currentfile scanLine readhexstring pop} bind\n");
    document.print("false 3 colorimage\n");

    static const uint8_t kBlack[3] = {0, 0, 0};  // a palette kind without a palette shows black
    const auto entry = [&image](int index) { return image.palette ? image.palette + 3 * index : kBlack; };
    HexLines hex(document.sink());
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = PictureRow(image, y);
        if (image.bitsPerPixel == 8) {
            for (int x = 0; x < image.width; ++x) hex.putUnit(entry(row[x]), 3);
            continue;
        }
        // Two pixels per byte, high nibble first; the low nibble of an odd width's last byte is filler.
        for (int x = 0; x < image.width; x += 2) {
            uint8_t unit[6];
            const uint8_t* first = entry(row[x / 2] >> 4);
            unit[0] = first[0], unit[1] = first[1], unit[2] = first[2];
            if (x + 1 == image.width) {
                hex.putUnit(unit, 3);
                break;
            }
            const uint8_t* second = entry(row[x / 2] & 0x0F);
            unit[3] = second[0], unit[4] = second[1], unit[5] = second[2];
            hex.putUnit(unit, 6);
        }
    }
    hex.finish();
}

}  // namespace

void WriteImageDataLine(PSDocument& document, const IMG& image, int bits, int components, const char* operation) {
    document.print("%%%%ImageData: %lu %lu %d %d 0 1 2 \"%s\"\n", static_cast<unsigned long>(image.width),
                   static_cast<unsigned long>(image.height), bits, components, operation);
}

void WriteSizeAndMatrix(PSDocument& document, const IMG& image, int bits) {
    const unsigned long width = image.width, height = image.height;
    document.print("%lu %lu %d\n", width, height, bits);
    document.print("[%lu 0 0 -%lu 0 %lu]\n", width, height, height);
}

void WritePSImageBody(const IMG& image, PSDocument& document) {
    switch (KindOf(image)) {
        case ImageKind::BW:
        case ImageKind::GRAY16:
        case ImageKind::GRAY256:
            if (LumoGetIntOptionPS("level2") != 0)
                WriteLevel2GrayBody(image, document);
            else
                WriteLevel1GrayBody(image, document);
            break;
        case ImageKind::RGB:
            WriteColourBody(image, document);
            break;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256:
            WritePaletteBody(image, document);
            break;
    }
}
