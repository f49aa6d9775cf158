#include "formats/gif/gif.h"

#include <cstring>

#include "core/messages.h"
#include "core/options.h"
#include "formats/byte_order.h"
#include "formats/gif/gif_blocks.h"
#include "formats/gif/gif_frames.h"
#include "formats/gif/gif_lzw_decoder.h"
#include "formats/load_limits.h"

namespace {

using namespace gif;

int interlaceOption = 0;  // non-zero: the saver writes interlaced rows; the loader follows the file
int frameOption = 0;      // 0: the loader gives the first image as stored; N: frame N composed on the screen
const NamedOption<int> kIntOptions[] = {{"interlace", &interlaceOption}, {"frame", &frameOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown Gif option: %s");
// The user's GIF setting in the profile, and the option the dispatch copies it into.
constexpr ProfileKey kGifProfileKeys[] = {{"GifInterlace", "0", "0,1", "interlace", KeyUse::Save}};

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
    if (frameOption > 0) {
        GifFrames frames(fileName);
        while (frames.count() < static_cast<size_t>(frameOption))
            if (!frames.next()) LumoError(kLoadModule, "%s has no frame %d", fileName, frameOption);
        return frames.copyScreen();
    }
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
