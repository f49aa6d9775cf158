#include "formats/gif/gif.h"

#include <cstring>

#include "core/messages.h"
#include "core/options.h"
#include "formats/byte_order.h"
#include "formats/gif/gif_lzw_decoder.h"
#include "formats/load_limits.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadGif";

int interlaceOption = 0;  // non-zero: the saver writes interlaced rows; the loader follows the file
const NamedOption<int> kIntOptions[] = {{"interlace", &interlaceOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown Gif option: %s");
// The user's GIF setting in the profile, and the option the dispatch copies it into.
constexpr ProfileKey kGifProfileKeys[] = {{"GifInterlace", "0", "0,1", "interlace", KeyUse::Save}};

// Flag bits shared by the screen and image descriptors.
constexpr uint8_t kColorTablePresent = 0x80;
constexpr uint8_t kInterlaced = 0x40;  // image descriptor only

// The colour table length coded in the low 3 bits of a descriptor's flags.
int TableLength(uint8_t flags) { return 2 << (flags & 7); }

// The logical screen descriptor after the 6-byte signature; integers little-endian.
struct ScreenDescriptor {
    uint16_t width;      // canvas width: not used, the image descriptor gives the picture size
    uint16_t height;     // canvas height: not used
    uint8_t flags;       // 0x80: a global colour table follows; low 3 bits: its length
    uint8_t background;  // background colour index: not used
    uint8_t aspect;      // pixel aspect ratio: 0 or 49 mean square pixels
};

// The image descriptor after the "," separator; integers little-endian.
struct ImageDescriptor {
    uint16_t left;    // position on the canvas: ignored
    uint16_t top;     // ignored
    uint16_t width;   // pixels per row
    uint16_t height;  // rows
    uint8_t flags;    // 0x80: a local colour table follows; 0x40: interlaced rows; low 3 bits: table length
};

ScreenDescriptor ReadScreenDescriptor(InputFile& file) {
    uint8_t bytes[7];
    ReadGifBytes(file, bytes, sizeof bytes);
    return {ReadLE16(bytes), ReadLE16(bytes + 2), bytes[4], bytes[5], bytes[6]};
}

ImageDescriptor ReadImageDescriptor(InputFile& file) {
    uint8_t bytes[9];
    ReadGifBytes(file, bytes, sizeof bytes);
    return {ReadLE16(bytes), ReadLE16(bytes + 2), ReadLE16(bytes + 4), ReadLE16(bytes + 6), bytes[8]};
}

void CheckSignature(InputFile& file) {
    uint8_t signature[6];
    if (file.read(signature, sizeof signature) != sizeof signature || std::memcmp(signature, "GIF", 3) != 0)
        LumoError(kLoadModule, "Not a GIF file");
    if (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)
        LumoError("LoadGif", "Unexpected GIF version number '%c%c%c'", signature[3], signature[4], signature[5]);
}

// The palette the image will own: sized from the screen descriptor and grown to 256 entries when
// a local table needs more. Entries no table sets stay black.
class GifPalette {
public:
    explicit GifPalette(int tableLength) : entries_(tableLength <= 16 ? 16 : 256) {
        palette_ = CreateIMGPalette(entries_);
        std::memset(palette_.get(), 0, static_cast<size_t>(entries_) * 3);
    }

    // Reads tableLength red, green, blue triples into entries 0, 1, 2, ...
    void read(InputFile& file, int tableLength) {
        if (tableLength > entries_) {
            PalettePtr larger = CreateIMGPalette(256);
            std::memset(larger.get(), 0, 256 * 3);
            std::memcpy(larger.get(), palette_.get(), static_cast<size_t>(entries_) * 3);
            palette_ = std::move(larger);
            entries_ = 256;
        }
        ReadGifBytes(file, palette_.get(), static_cast<size_t>(tableLength) * 3);
    }

    PalettePtr release() { return std::move(palette_); }

private:
    int entries_;
    PalettePtr palette_;
};

// Skips extensions and stray bytes up to the first image separator.
void SkipToImage(InputFile& file) {
    for (;;) {
        const int introducer = ReadGifByte(file);
        if (introducer == ';') LumoError(kLoadModule, "Too few images in GIF file");
        if (introducer == ',') return;
        if (introducer == '!') {
            ReadGifByte(file);  // the label: every extension is ignored
            SkipGifSubBlocks(file);
            continue;
        }
        LumoWarning(kLoadModule, "Bogus input char 0x%02x, ignoring", introducer);
    }
}

// What comes before the first image's data: the descriptor, the length of the table in force, the palette.
struct GifStart {
    ImageDescriptor descriptor;
    int tableLength;
    GifPalette palette;
};

GifStart ReadUpToImageData(InputFile& file) {
    CheckSignature(file);
    const ScreenDescriptor screen = ReadScreenDescriptor(file);
    int tableLength = TableLength(screen.flags);
    GifPalette palette(tableLength);
    if (screen.aspect != 0 && screen.aspect != 49) LumoWarning(kLoadModule, "Warning: nonsquare pixels in input");
    if (screen.flags & kColorTablePresent) palette.read(file, tableLength);

    SkipToImage(file);
    const ImageDescriptor descriptor = ReadImageDescriptor(file);
    if (descriptor.flags & kColorTablePresent) {
        tableLength = TableLength(descriptor.flags);
        palette.read(file, tableLength);
    }
    return {descriptor, tableLength, std::move(palette)};
}

int ReadCodeSize(InputFile& file) {
    const int codeSize = ReadGifByte(file);
    // Sizes of 12 and more would need codes past the 4096-entry string table: nothing can be decoded.
    if (codeSize > GifLzwDecoder::kMaxInputCodeSize) LumoError(kLoadModule, "Bogus codesize %d", codeSize);
    if (codeSize < 2) LumoWarning(kLoadModule, "Bogus codesize %d", codeSize);
    return codeSize;
}

// One 12-bit code stands for at most 4094 pixels, so a byte of data yields at most 2730 pixels.
constexpr size_t kMaxPixelsPerDataByte = 4096 * 8 / 12 + 1;
// Pictures up to this size load whatever the data left (missing pixels are 0); a larger one whose
// data could not fill it even at the highest LZW ratio is refused, so a few bytes cannot make the
// loader allocate and fill tens of megabytes.
constexpr size_t kAlwaysAcceptedBytes = size_t{1} << 20;

// Stores a row of width indices into picture row y, two per byte (first pixel in the high nibble);
// padding bytes are zeroed.
void PackRow(IMG& image, int y, const uint8_t* pixels) {
    uint8_t* row = PictureRow(image, y);
    const int width = image.width;
    int x = 0;
    for (; x + 1 < width; x += 2) row[x / 2] = static_cast<uint8_t>((pixels[x] & 0x0F) << 4 | (pixels[x + 1] & 0x0F));
    if (x < width) row[x / 2] = static_cast<uint8_t>((pixels[x] & 0x0F) << 4);
    std::memset(row + (width + 1) / 2, 0, static_cast<size_t>(image.rowBytes - (width + 1) / 2));
}

void StoreRow(IMG& image, int y, const uint8_t* pixels) {
    if (image.bitsPerPixel == 4) return PackRow(image, y, pixels);
    uint8_t* row = PictureRow(image, y);
    std::memcpy(row, pixels, image.width);
    std::memset(row + image.width, 0, static_cast<size_t>(image.rowBytes - image.width));
}

// The file row that holds picture row y of an interlaced image: rows 0, 8, 16, ... come first,
// then 4, 12, ..., then 2, 6, 10, ..., then the odd rows.
int InterlacedFileRow(int y, int height) {
    const int pass2 = (height + 7) / 8;
    const int pass3 = pass2 + (height + 3) / 8;
    const int pass4 = pass3 + (height + 1) / 4;
    if (y % 8 == 0) return y / 8;
    if (y % 8 == 4) return y / 8 + pass2;
    if (y % 4 == 2) return y / 4 + pass3;
    return y / 2 + pass4;
}

// The decoder writes the picture as one run of width-byte rows, top row first. An 8-bit picture is
// decoded straight into the image's pixel block and then turned into stored rows in place: the
// rows are reversed (stored rows run bottom-up) and spread to the padded row size.
void ArrangeDecodedRows(IMG& image) {
    const size_t width = image.width;
    const size_t rowBytes = image.rowBytes;
    const int height = image.height;
    if (rowBytes == 0) return;
    LumoBuffer<uint8_t> spare = LumoAllocBuffer<uint8_t>(width, kLoadModule);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = image.bits + top * width;
        uint8_t* b = image.bits + bottom * width;
        std::memcpy(spare.get(), a, width);
        std::memcpy(a, b, width);
        std::memcpy(b, spare.get(), width);
    }
    for (int k = height - 1; k >= 0; --k) {
        uint8_t* row = MemoryRow(image, k);
        if (rowBytes != width) std::memmove(row, image.bits + k * width, width);
        std::memset(row + width, 0, rowBytes - width);
    }
}

// Decodes the rows in file order; progress before each row runs from 0 to 100, or to 90 when the
// rows are reordered afterwards.
void DecodeRows(GifLzwDecoder& decoder, int width, int height, int share) {
    for (int y = 0; y < height; ++y) {
        LumoProgress(y * share / height);
        decoder.decodeTo(static_cast<size_t>(y + 1) * width);
    }
}

void ReadPixels(InputFile& file, int codeSize, IMG& image, bool interlaced) {
    const int width = image.width;
    const int height = image.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    LumoProgress(-1);
    if (!interlaced && image.bitsPerPixel == 8) {
        // Straight into the image's pixel block, which holds at least width * height bytes.
        GifLzwDecoder decoder(file, codeSize, image.bits, pixels);
        DecodeRows(decoder, width, height, 100);
        ArrangeDecodedRows(image);
    } else {
        LumoBuffer<uint8_t> all = LumoAllocBuffer<uint8_t>(pixels, kLoadModule);
        GifLzwDecoder decoder(file, codeSize, all.get(), pixels);
        DecodeRows(decoder, width, height, interlaced ? 90 : 100);
        for (int y = 0; y < height && width > 0; ++y) {
            if (interlaced) LumoProgress(90 + y * 10 / height);
            StoreRow(image, y, all.get() + static_cast<size_t>(interlaced ? InterlacedFileRow(y, height) : y) * width);
        }
    }
    LumoProgress(-2);
}

}  // namespace

void LumoSetIntOptionGif(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionGif", name, value); }
int LumoGetIntOptionGif(const char* name) { return kIntRegistry.get("LumoGetIntOptionGif", name); }
std::span<const ProfileKey> GifProfileKeys() { return kGifProfileKeys; }

ImagePtr LumoLoadGif(const char* fileName) {
    InputFile file(fileName, kLoadModule, "Can't open %s");
    return LoadGifFrom(file);
}

ImageInfo ReadGifInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule, "Can't open %s");
    const GifStart start = ReadUpToImageData(file);
    CheckLoadSize(kLoadModule, start.descriptor.width, start.descriptor.height);
    return {start.descriptor.width, start.descriptor.height,
            start.tableLength <= 16 ? ImageKind::COLOR16 : ImageKind::COLOR256};
}

ImagePtr LoadGifFrom(InputFile& file) {
    GifStart start = ReadUpToImageData(file);
    const ImageDescriptor& descriptor = start.descriptor;
    const bool interlaced = descriptor.flags & kInterlaced;
    const int bitsPerPixel = start.tableLength <= 16 ? 4 : 8;
    GifPalette& palette = start.palette;
    const int codeSize = ReadCodeSize(file);
    CheckLoadSize(kLoadModule, descriptor.width, descriptor.height);

    // Refuse a picture that the data left could not fill, before allocating for it (and for the
    // buffer of one byte per pixel that interlaced and 4-bit pictures are decoded into).
    size_t pixelBytes = static_cast<size_t>(RowBytesFor(descriptor.width, bitsPerPixel)) * descriptor.height;
    if (interlaced || bitsPerPixel == 4) pixelBytes += static_cast<size_t>(descriptor.width) * descriptor.height;
    CheckPromisedSize(kLoadModule, file.name().c_str(), pixelBytes, file.remaining(), kMaxPixelsPerDataByte,
                      kAlwaysAcceptedBytes);

    ImagePtr image = LumoCreateImage(descriptor.width, descriptor.height, COLOR, palette.release(), bitsPerPixel);
    ReadPixels(file, codeSize, *image, interlaced);
    return image;
}
