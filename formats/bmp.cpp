#include "formats/bmp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/messages.h"
#include "core/options.h"
#include "formats/byte_order.h"
#include "formats/load_limits.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadBmp";
constexpr const char* kDecodeModule = "LoadBmp";
constexpr const char* kSaveModule = "SaveBmp";

int compressOption = 0;  // stored only: the saver always writes uncompressed rows
const NamedOption<int> kIntOptions[] = {{"compress", &compressOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown Bmp option: %s");

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;   // OS/2 1.x: 16-bit sizes, 3-byte colour-table entries
constexpr uint32_t kInfoHeaderSize = 40;   // the header every later version starts with
constexpr uint32_t kMasksInHeaderSize = 52;  // from this size on the bit masks are part of the header
constexpr uint32_t kMaskBytes = 12;        // red, green and blue masks after a 40-byte header

enum Compression : uint32_t { kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// A row without an end-of-line code ends here, so that a stream of runs cannot hold a row forever.
constexpr long kRleRowLimit = 8000;
// Pixel bytes one byte of run-length data may expand to (a delta code can skip whole rows).
constexpr size_t kRleMaxExpansion = 256;
// Pictures up to this size load whatever the data left (a small file cut short still shows what
// it holds); larger ones must come with data in proportion.
constexpr size_t kAlwaysAcceptedBytes = size_t{1} << 20;

// The headers of a file, whatever version it uses, in the terms of the 40-byte info header.
struct BmpHeader {
    uint32_t pixelOffset = 0;      // file offset of the first pixel row
    uint32_t infoSize = 0;         // info header size: 12 (core), 40 (info), 52..124 (later versions)
    int64_t width = 0;             // pixels per row
    int64_t height = 0;            // number of rows; negative when the rows are stored top row first
    uint16_t planes = 0;           // colour planes, 1 by definition: not used
    uint16_t bitCount = 0;         // bits per pixel: 1, 4, 8, 16, 24 or 32
    uint32_t compression = 0;      // Compression
    uint32_t xPixelsPerMetre = 0;  // horizontal resolution (0 in core headers)
    uint32_t yPixelsPerMetre = 0;  // vertical resolution (0 in core headers)
    uint32_t colorsUsed = 0;       // colour-table entries present, 0 = 2^bitCount
    uint32_t masks[3] = {};        // red, green, blue bits of a 16- or 32-bit pixel (bit-field files)
    size_t tableEntryBytes = 4;    // blue, green, red and a reserved byte; 3 bytes in core headers

    bool topDown() const { return height < 0; }
    long rows() const { return static_cast<long>(height < 0 ? -height : height); }
};

[[noreturn]] void RefuseTruncatedHeader(const InputFile& file) {
    LumoError(kLoadModule, "Truncated Bmp header: %s", file.name().c_str());
}

void ReadExactly(InputFile& file, uint8_t* bytes, size_t count) {
    if (file.read(bytes, count) != count) RefuseTruncatedHeader(file);
}

// Reads the file header, the info header of any version and the bit masks that follow a
// 40-byte header, and refuses what no picture could have, before anything is allocated.
BmpHeader ReadHeaders(InputFile& file) {
    const std::string& name = file.name();
    uint8_t bytes[kFileHeaderSize + kMasksInHeaderSize];
    if (file.read(bytes, 2) != 2 || bytes[0] != 'B' || bytes[1] != 'M')
        LumoError(kLoadModule, "Not a Bmp File: %s", name.c_str());
    ReadExactly(file, bytes + 2, kFileHeaderSize + 4 - 2);

    BmpHeader header;
    header.pixelOffset = ReadLE32(bytes + 10);
    header.infoSize = ReadLE32(bytes + 14);
    uint8_t* info = bytes + kFileHeaderSize;
    if (header.infoSize == kCoreHeaderSize) {
        ReadExactly(file, info + 4, kCoreHeaderSize - 4);
        header.width = ReadLE16(info + 4);
        header.height = ReadLE16(info + 6);
        header.planes = ReadLE16(info + 8);
        header.bitCount = ReadLE16(info + 10);
        header.tableEntryBytes = 3;
    } else if (header.infoSize >= kInfoHeaderSize) {
        const uint32_t stored = std::min(header.infoSize, kMasksInHeaderSize);
        ReadExactly(file, info + 4, stored - 4);
        header.width = static_cast<int32_t>(ReadLE32(info + 4));
        header.height = static_cast<int32_t>(ReadLE32(info + 8));
        header.planes = ReadLE16(info + 12);
        header.bitCount = ReadLE16(info + 14);
        header.compression = ReadLE32(info + 16);
        header.xPixelsPerMetre = ReadLE32(info + 24);
        header.yPixelsPerMetre = ReadLE32(info + 28);
        header.colorsUsed = ReadLE32(info + 32);
        // The rest of a V4 or V5 header (alpha mask, colour space, gamma, profile) is not used.
        file.skip(header.infoSize - stored);
        if (header.compression == kBitFields) {
            if (header.infoSize < kMasksInHeaderSize) ReadExactly(file, info + kInfoHeaderSize, kMaskBytes);
            for (int i = 0; i < 3; ++i) header.masks[i] = ReadLE32(info + kInfoHeaderSize + 4 * i);
        }
    } else {
        LumoError(kLoadModule, "Unsupported Bmp header size %u: %s", header.infoSize, name.c_str());
    }

    if (header.width < 0 || header.width > kMaxImageDimension || header.rows() > kMaxImageDimension)
        LumoError(kLoadModule, "Unsupported Bmp image size %ld x %ld: %s", static_cast<long>(header.width),
                  static_cast<long>(header.height), name.c_str());
    switch (header.bitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: LumoError(kLoadModule, "Unsupported Bmp bit count %u: %s", header.bitCount, name.c_str());
    }
    return header;
}

// A compression the loader knows that also fits the bit count (RLE8 rows of a 4-bit file
// would run past the image rows, bit fields only describe 16- and 32-bit pixels).
void CheckCompression(const BmpHeader& header) {
    const uint32_t c = header.compression;
    const uint16_t bits = header.bitCount;
    const bool known = c == kUncompressed || (c == kRle8 && bits == 8) || (c == kRle4 && bits == 4) ||
                       (c == kBitFields && (bits == 16 || bits == 32));
    if (!known) LumoError(kDecodeModule, "Unknown Compression scheme for BMP");
}

// The colour table as red, green, blue entries; entries the file does not supply are 0.
struct ColorTable {
    std::array<uint8_t, 3 * 256> rgb{};
    int entries = 0;  // 2^bitCount

    bool isEntry(int index, uint8_t red, uint8_t green, uint8_t blue) const {
        return rgb[3 * index] == red && rgb[3 * index + 1] == green && rgb[3 * index + 2] == blue;
    }
    // Entry i is (i * step, i * step, i * step) for every entry.
    bool isGrayRamp(int step) const {
        for (int i = 0; i < entries; ++i) {
            const auto level = static_cast<uint8_t>(i * step);
            if (!isEntry(i, level, level, level)) return false;
        }
        return true;
    }
};

// Reads the entries the colours-used field announces (2^bitCount when it is 0 or larger) that lie
// before the pixel data: an OS/2 file states no count and may keep a shorter table, which ends
// where its pixels start. Files above 8 bits keep no table (an optional one is passed over).
ColorTable ReadColorTable(InputFile& file, const BmpHeader& header) {
    ColorTable table;
    if (header.bitCount > 8) return table;
    table.entries = 1 << header.bitCount;
    const uint64_t announced = header.colorsUsed == 0 ? table.entries : header.colorsUsed;
    const uint64_t room = (header.pixelOffset - static_cast<uint64_t>(file.position())) / header.tableEntryBytes;
    const int present = static_cast<int>(std::min<uint64_t>({announced, room, uint64_t(table.entries)}));
    std::array<uint8_t, 4 * 256> stored{};
    file.read(stored.data(), present * header.tableEntryBytes);
    for (int i = 0; i < present; ++i) {
        const uint8_t* entry = stored.data() + i * header.tableEntryBytes;
        table.rgb[3 * i] = entry[2];
        table.rgb[3 * i + 1] = entry[1];
        table.rgb[3 * i + 2] = entry[0];
    }
    return table;
}

// The pixel data starts at the file header's offset, which must lie between the end of the
// headers and the end of the file.
void CheckPixelOffset(const InputFile& file, const BmpHeader& header) {
    const long headersEnd = file.position();
    if (header.pixelOffset < static_cast<uint64_t>(headersEnd) || header.pixelOffset > file.size())
        LumoError(kLoadModule, "Bmp file %s: pixel data offset %u lies outside %ld..%zu (headers to end of file)",
                  file.name().c_str(), header.pixelOffset, headersEnd, file.size());
}

void SeekPixels(InputFile& file, const BmpHeader& header) {
    if (std::fseek(file.stream(), static_cast<long>(header.pixelOffset), SEEK_SET) != 0)
        LumoError(kLoadModule, "Can't seek to the pixels of %s", file.name().c_str());
}

// Rows pass between file and memory in chunks of about this size: one read or write per
// chunk rather than one per row.
constexpr size_t kChunkBytes = size_t{1} << 20;

int RowsPerChunk(size_t rowBytes) {
    return static_cast<int>(std::clamp<size_t>(kChunkBytes / std::max<size_t>(rowBytes, 1), 1, kMaxImageDimension));
}

// How stored rows become image rows.
enum class RowFormat {
    Copy,        // the file row is the image row
    Inverted,    // a 1-bit row whose table is white, black: every bit flips
    OneToFour,   // a 1-bit row with two colours: each bit becomes a 4-bit palette index
    Sixteen,     // 16-bit pixels through the bit masks to blue, green, red
    ThirtyTwo,   // 32-bit pixels the same way
};

struct PixelPlan {
    ImageKind kind;
    RowFormat format;
    PalettePtr palette;
};

PalettePtr PaletteFrom(const ColorTable& table, int entries) {
    PalettePtr palette = CreateIMGPalette(entries);
    std::memcpy(palette.get(), table.rgb.data(), 3 * static_cast<size_t>(entries));
    return palette;
}

// Picks the image kind: black-and-white 1-bit files are BW, two other colours COLOR16;
// 4- and 8-bit files with an exact gray ramp are gray without palette; 16, 24 and 32 bits are RGB.
PixelPlan PlanPixels(const BmpHeader& header, const ColorTable& table) {
    switch (header.bitCount) {
        case 1:
            if (table.isEntry(0, 0, 0, 0) && table.isEntry(1, 255, 255, 255))
                return {ImageKind::BW, RowFormat::Copy, nullptr};
            if (table.isEntry(0, 255, 255, 255) && table.isEntry(1, 0, 0, 0))
                return {ImageKind::BW, RowFormat::Inverted, nullptr};
            return {ImageKind::COLOR16, RowFormat::OneToFour, PaletteFrom(table, 16)};
        case 4:
            if (table.isGrayRamp(17)) return {ImageKind::GRAY16, RowFormat::Copy, nullptr};
            return {ImageKind::COLOR16, RowFormat::Copy, PaletteFrom(table, 16)};
        case 8:
            if (table.isGrayRamp(1)) return {ImageKind::GRAY256, RowFormat::Copy, nullptr};
            return {ImageKind::COLOR256, RowFormat::Copy, PaletteFrom(table, 256)};
        case 16: return {ImageKind::RGB, RowFormat::Sixteen, nullptr};
        case 24: return {ImageKind::RGB, RowFormat::Copy, nullptr};
        default: return {ImageKind::RGB, RowFormat::ThirtyTwo, nullptr};
    }
}

// One colour component of a bit-field pixel scaled to 8 bits: the field's bits are repeated
// to fill 8 bits (5 bits v give v << 3 | v >> 2) and wider fields keep their top 8 bits, as
// other decoders read 5-5-5 and 5-6-5 pixels.
struct ComponentScale {
    uint32_t mask = 0;
    int shift = 0;      // position of the field's lowest bit
    int dropBits = 0;   // low bits dropped from fields wider than 8 bits
    std::array<uint8_t, 256> level{};

    explicit ComponentScale(uint32_t fieldMask) : mask(fieldMask) {
        if (mask == 0) return;  // an absent component reads as 0
        shift = std::countr_zero(mask);
        const int width = 32 - std::countl_zero(mask) - shift;
        dropBits = std::max(0, width - 8);
        const int kept = width - dropBits;
        for (uint32_t v = 0; v < (1u << kept); ++v) {
            uint32_t filled = 0;
            for (int bits = 0; bits < 8; bits += kept) filled = filled << kept | v;
            const int filledBits = (8 + kept - 1) / kept * kept;
            level[v] = static_cast<uint8_t>(filled >> (filledBits - 8));
        }
    }
    uint8_t operator()(uint32_t pixel) const { return level[((pixel & mask) >> shift) >> dropBits]; }
};

struct MaskedPixels {
    ComponentScale red, green, blue;
};

MaskedPixels MasksFor(const BmpHeader& header) {
    if (header.compression == kBitFields) return {ComponentScale(header.masks[0]), ComponentScale(header.masks[1]),
                                                  ComponentScale(header.masks[2])};
    if (header.bitCount == 16) return {ComponentScale(0x7C00), ComponentScale(0x03E0), ComponentScale(0x001F)};
    return {ComponentScale(0xFF0000), ComponentScale(0x00FF00), ComponentScale(0x0000FF)};
}

// Each bit of a 1-bit row becomes a nibble: one source byte gives four bytes of 4-bit indices.
void ExpandOneToFour(const uint8_t* source, uint8_t* row, int width) {
    const int sourceBytes = (width + 7) / 8;
    for (int i = 0; i < sourceBytes; ++i) {
        const unsigned bits = source[i];
        for (int j = 0; j < 4; ++j)
            row[4 * i + j] = static_cast<uint8_t>((bits >> (7 - 2 * j) & 1) << 4 | (bits >> (6 - 2 * j) & 1));
    }
}

template <int BytesPerPixel>
void UnpackMasked(const uint8_t* source, uint8_t* row, int width, const MaskedPixels& masks) {
    for (int x = 0; x < width; ++x, source += BytesPerPixel, row += 3) {
        const uint32_t pixel = BytesPerPixel == 2 ? ReadLE16(source) : ReadLE32(source);
        row[0] = masks.blue(pixel);
        row[1] = masks.green(pixel);
        row[2] = masks.red(pixel);
    }
}

// Reads uncompressed rows; the bytes the file lacks read as 0. Yields false when the file ended early.
// Rows stored as they are kept arrive in chunks of consecutive rows, one read per chunk.
bool ReadPlainRows(InputFile& file, IMG& image, const BmpHeader& header, RowFormat format) {
    const size_t fileRowBytes = static_cast<size_t>(RowBytesFor(header.width, header.bitCount));
    const MaskedPixels masks = MasksFor(header);
    const bool direct = format == RowFormat::Copy || format == RowFormat::Inverted;
    LumoBuffer<uint8_t> stored;
    if (!direct && fileRowBytes) stored = LumoAllocBuffer<uint8_t>(fileRowBytes, kLoadModule);
    const int rows = image.height;
    const int chunkRows = direct && !header.topDown() ? RowsPerChunk(fileRowBytes) : 1;
    bool complete = true;
    for (int k = 0; k < rows; k += chunkRows) {
        const int count = std::min(chunkRows, rows - k);
        for (int i = 0; i < count; ++i) LumoProgressRow(k + i, rows);
        uint8_t* row = MemoryRow(image, header.topDown() ? rows - 1 - k : k);
        if (!complete) {  // past the end of the file: what rows of zero bytes give
            std::memset(row, format == RowFormat::Inverted ? 0xFF : 0, image.rowBytes * static_cast<size_t>(count));
            continue;
        }
        uint8_t* source = direct ? row : stored.get();
        const size_t wanted = fileRowBytes * static_cast<size_t>(count);
        const size_t got = file.read(source, wanted);
        if (got < wanted) {
            complete = false;
            std::memset(source + got, 0, wanted - got);
        }
        switch (format) {
            case RowFormat::Copy: break;
            case RowFormat::Inverted:
                for (size_t i = 0; i < wanted; ++i) row[i] = static_cast<uint8_t>(~row[i]);
                break;
            case RowFormat::OneToFour: ExpandOneToFour(source, row, image.width); break;
            case RowFormat::Sixteen: UnpackMasked<2>(source, row, image.width, masks); break;
            case RowFormat::ThirtyTwo: UnpackMasked<4>(source, row, image.width, masks); break;
        }
    }
    return complete;
}

// Run-length rows (RLE8, or RLE4 with two pixels per byte, high nibble first), decoded into
// the zeroed image bottom row first. Pixels beyond the width are dropped.
class RleDecoder {
public:
    RleDecoder(InputFile& file, IMG& image, bool fourBits)
        : file_(file), image_(image), fourBits_(fourBits),
          rowLimit_(std::max<long>(kRleRowLimit, image.width + 1L)) {}

    // Yields false when the file ended before the end-of-bitmap code or the last row.
    bool decode() {
        const int rows = image_.height;
        for (int y = 0; y < rows; ++y) {
            LumoProgressRow(y, rows);
            long x = 0;
            // A row ends with its end-of-line code, or once x reaches the limit without one.
            for (bool rowEnds = false; !rowEnds && x < rowLimit_;) {
                int count, value;
                if (!next(count) || !next(value)) return false;
                if (count > 0) {
                    run(y, x, count, static_cast<uint8_t>(value));
                    x += count;
                    continue;
                }
                switch (value) {
                    case 0: rowEnds = true; break;
                    case 1: return true;
                    case 2: {
                        int dx, dy;
                        if (!next(dx) || !next(dy)) return false;
                        x += dx;
                        if (x >= image_.width) x = 0;
                        y += dy;
                        if (y >= rows) return true;
                        break;
                    }
                    default:
                        if (!absolute(y, x, value)) return false;
                        x += value;
                }
            }
        }
        return true;
    }

private:
    bool next(int& byte) {
        byte = file_.getByte();
        return byte >= 0;
    }

    void put(uint8_t* row, long x, unsigned pixel) {
        if (x >= image_.width) return;
        if (!fourBits_)
            row[x] = static_cast<uint8_t>(pixel);
        else
            row[x / 2] |= static_cast<uint8_t>(x % 2 ? pixel : pixel << 4);
    }

    void run(int y, long x, int count, uint8_t value) {
        uint8_t* row = MemoryRow(image_, y);
        if (!fourBits_) {
            if (x < image_.width) std::memset(row + x, value, std::min<long>(count, image_.width - x));
            return;
        }
        for (int i = 0; i < count; ++i) put(row, x + i, i % 2 ? value & 0x0F : value >> 4);
    }

    // An absolute run of count pixels, padded to an even number of bytes.
    bool absolute(int y, long x, int count) {
        const int bytes = fourBits_ ? (count + 1) / 2 : count;
        const int padded = bytes + bytes % 2;
        uint8_t data[256];
        const size_t got = file_.read(data, static_cast<size_t>(padded));
        const int pixels = std::min(count, static_cast<int>(fourBits_ ? 2 * got : got));
        uint8_t* row = MemoryRow(image_, y);
        for (int i = 0; i < pixels; ++i)
            put(row, x + i, fourBits_ ? (i % 2 ? data[i / 2] & 0x0F : data[i / 2] >> 4) : data[i]);
        return got == static_cast<size_t>(padded);
    }

    InputFile& file_;
    IMG& image_;
    bool fourBits_;
    long rowLimit_;  // kRleRowLimit, or just past the last pixel of a wider image
};

// Refuses a header whose picture could not come from the bytes left in the file.
void CheckPixelDataSize(const InputFile& file, const BmpHeader& header, ImageKind kind) {
    const long rowBytes = RowBytesFor(header.width, BitsPerPixelOf(kind));
    const size_t imageBytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(header.rows());
    size_t expansion = kRleMaxExpansion;
    if (header.compression != kRle8 && header.compression != kRle4) {
        // Plain rows: at least half of them must be present.
        const long fileRowBytes = std::max(1L, RowBytesFor(header.width, header.bitCount));
        expansion = 2 * static_cast<size_t>(std::max(1L, (rowBytes + fileRowBytes - 1) / fileRowBytes));
    }
    CheckPromisedSize(kLoadModule, file.name().c_str(), imageBytes, file.remaining(), expansion,
                      kAlwaysAcceptedBytes);
}

// Sets what follows the pixels of a stored row to 0 (the unused low bits of a last partial byte and
// the padding), which the image may hold with any value, so that a picture always gives the same file.
void ClearPadding(uint8_t* row, const IMG& image) {
    const size_t bits = static_cast<size_t>(image.width) * image.bitsPerPixel;
    size_t used = bits / 8;
    if (bits % 8) row[used++] &= static_cast<uint8_t>(0xFF << (8 - bits % 8));
    std::memset(row + used, 0, image.rowBytes - used);
}

float DotsPerInch(uint32_t pixelsPerMetre) { return static_cast<float>(pixelsPerMetre * 0.0254); }

// Pixels per metre for a resolution in dots per inch, truncated and kept inside the 32-bit field.
uint32_t PixelsPerMetre(float dotsPerInch) {
    const double value = std::trunc(static_cast<double>(dotsPerInch) * 39.37007874015748);
    if (!(value > INT32_MIN)) return static_cast<uint32_t>(INT32_MIN);  // also NaN
    if (value > UINT32_MAX) return UINT32_MAX;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

}  // namespace

void LumoSetIntOptionBmp(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionBmp", name, value); }
int LumoGetIntOptionBmp(const char* name) { return kIntRegistry.get("LumoGetIntOptionBmp", name); }

ImagePtr LumoLoadBmp(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadBmpFrom(file);
}

ImagePtr LoadBmpFrom(InputFile& file) {
    const BmpHeader header = ReadHeaders(file);
    CheckLoadSize(kLoadModule, static_cast<long>(header.width), header.rows());
    CheckPixelOffset(file, header);
    const ColorTable table = ReadColorTable(file, header);
    SeekPixels(file, header);
    CheckCompression(header);
    PixelPlan plan = PlanPixels(header, table);
    CheckPixelDataSize(file, header, plan.kind);

    ImagePtr image = LumoCreateImage(static_cast<int>(header.width), static_cast<int>(header.rows()),
                                     ColorClassOf(plan.kind), std::move(plan.palette), BitsPerPixelOf(plan.kind));
    image->xResolution = DotsPerInch(header.xPixelsPerMetre);
    image->yResolution = DotsPerInch(header.yPixelsPerMetre);

    LumoProgress(-1);
    bool complete;
    if (header.compression == kRle8 || header.compression == kRle4) {
        if (image->bits) std::memset(image->bits, 0, PixelBytes(*image));
        complete = RleDecoder(file, *image, header.compression == kRle4).decode();
        if (header.topDown()) FlipImage(image.get());
    } else {
        complete = ReadPlainRows(file, *image, header, plan.format);
    }
    if (!complete)
        LumoWarning(kLoadModule, "File %s is truncated: the pixels it lacks are set to 0", file.name().c_str());
    LumoProgress(-2);
    return image;
}

void WriteBmp(const IMG* image, const ByteSink& sink) {
    const ImageKind kind = KindOf(*image);
    const uint32_t colors = kind == ImageKind::RGB ? 0 : 1u << image->bitsPerPixel;
    const uint32_t tableBytes = 4 * colors;
    const uint32_t headerBytes = kFileHeaderSize + kInfoHeaderSize + tableBytes;
    const uint32_t pixelBytes = static_cast<uint32_t>(PixelBytes(*image));

    uint8_t headers[kFileHeaderSize + kInfoHeaderSize + 4 * 256] = {};
    uint8_t* info = headers + kFileHeaderSize;
    headers[0] = 'B';
    headers[1] = 'M';
    WriteLE32(headers + 2, pixelBytes + headerBytes);  // file size
    WriteLE32(headers + 10, headerBytes);               // offset of the pixel rows
    WriteLE32(info, kInfoHeaderSize);
    WriteLE32(info + 4, image->width);
    WriteLE32(info + 8, image->height);
    WriteLE16(info + 12, 1);  // planes
    WriteLE16(info + 14, image->bitsPerPixel);
    WriteLE32(info + 20, pixelBytes);
    // Without both resolutions the file says 150 dots per inch (5906 pixels per metre).
    const bool stated = image->xResolution != 0 && image->yResolution != 0;
    WriteLE32(info + 24, stated ? PixelsPerMetre(image->xResolution) : 5906);
    WriteLE32(info + 28, stated ? PixelsPerMetre(image->yResolution) : 5906);

    uint8_t* entry = info + kInfoHeaderSize;
    for (uint32_t i = 0; i < colors; ++i, entry += 4) {
        uint8_t red = 0, green = 0, blue = 0;
        switch (kind) {
            case ImageKind::BW: red = green = blue = i ? 255 : 0; break;
            case ImageKind::GRAY16: red = green = blue = static_cast<uint8_t>(17 * i); break;
            case ImageKind::GRAY256: red = green = blue = static_cast<uint8_t>(i); break;
            default:
                // A colour image without palette has no colours to give: its entries stay 0.
                if (image->palette) {
                    red = image->palette[3 * i];
                    green = image->palette[3 * i + 1];
                    blue = image->palette[3 * i + 2];
                }
        }
        entry[0] = blue;
        entry[1] = green;
        entry[2] = red;
    }
    sink(headers, headerBytes);

    // Memory rows are stored bottom row first like the file's: consecutive rows go out in one write,
    // through a copy with cleared padding when the rows have any.
    const int chunkRows = RowsPerChunk(image->rowBytes);
    const bool padded = static_cast<size_t>(image->width) * image->bitsPerPixel < 8u * image->rowBytes;
    LumoBuffer<uint8_t> chunk;
    if (padded) chunk = LumoAllocBuffer<uint8_t>(static_cast<size_t>(image->rowBytes) * chunkRows, kSaveModule);
    for (int k = 0; k < image->height; k += chunkRows) {
        const int count = std::min(chunkRows, image->height - k);
        for (int i = 0; i < count; ++i) LumoProgressRow(k + i, image->height);
        const size_t bytes = static_cast<size_t>(image->rowBytes) * count;
        const uint8_t* rows = MemoryRow(*image, k);
        if (padded) {
            std::memcpy(chunk.get(), rows, bytes);
            for (int i = 0; i < count; ++i) ClearPadding(chunk.get() + static_cast<size_t>(i) * image->rowBytes, *image);
            rows = chunk.get();
        }
        sink(rows, bytes);
    }
}

void SaveBmp(const IMG* image, const char* fileName) {
    OutputFile file(fileName, kSaveModule);
    LumoProgress(-1);
    WriteBmp(image, [&file](const uint8_t* bytes, size_t count) { file.write(bytes, count); });
    LumoProgress(-2);
    file.commit();
}
