#include "formats/bmp.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "core/options.h"
#include "formats/bmp_dib.h"
#include "formats/bmp_layout.h"
#include "formats/byte_order.h"
#include "formats/load_limits.h"
#include "formats/output_file.h"

using namespace bmp;

namespace {

constexpr const char* kLoadModule = "LumoLoadBmp";
constexpr const char* kDecodeModule = "LoadBmp";
constexpr const char* kSaveModule = "SaveBmp";

int compressOption = 0;  // stored only: the saver always writes uncompressed rows
const NamedOption<int> kIntOptions[] = {{"compress", &compressOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown Bmp option: %s");

// A row without an end-of-line code ends here, so that a stream of runs cannot hold a row forever.
constexpr long kRleRowLimit = 8000;
// Pixel bytes one byte of run-length data may expand to (a delta code can skip whole rows).
constexpr size_t kRleMaxExpansion = 256;
// Pictures up to this size load whatever the data left (a small file cut short still shows what
// it holds); larger ones must come with data in proportion.
constexpr size_t kAlwaysAcceptedBytes = size_t{1} << 20;

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
    uint8_t* info = bytes + kFileHeaderSize;
    const uint32_t infoSize = ReadLE32(info);
    const size_t decoded = DecodedHeaderBytes(infoSize);
    if (decoded == 0) LumoError(kLoadModule, "Unsupported Bmp header size %u: %s", infoSize, name.c_str());
    ReadExactly(file, info + 4, decoded - 4);
    DecodeInfoHeader(info, header);
    if (infoSize > decoded) file.skip(infoSize - decoded);
    if (MasksFollowHeader(header)) {
        ReadExactly(file, info + kInfoHeaderSize, kMaskBytes);
        DecodeMasks(info + kInfoHeaderSize, header);
    }

    if (!SizeFits(header))
        LumoError(kLoadModule, "Unsupported Bmp image size %ld x %ld: %s", static_cast<long>(header.width),
                  static_cast<long>(header.height), name.c_str());
    if (!BitCountKnown(header.bitCount))
        LumoError(kLoadModule, "Unsupported Bmp bit count %u: %s", header.bitCount, name.c_str());
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

// Reads the entries the colours-used field announces (2^bitCount when it is 0 or larger) that lie
// before the pixel data: an OS/2 file states no count and may keep a shorter table, which ends
// where its pixels start. Files above 8 bits keep no table (an optional one is passed over).
ColorTable ReadColorTable(InputFile& file, const BmpHeader& header) {
    if (header.bitCount > 8) return DecodeColorTable(header, nullptr, 0);
    const uint64_t entries = uint64_t{1} << header.bitCount;
    const uint64_t announced = header.colorsUsed == 0 ? entries : header.colorsUsed;
    const uint64_t room = (header.pixelOffset - static_cast<uint64_t>(file.position())) / header.tableEntryBytes;
    const int present = static_cast<int>(std::min<uint64_t>({announced, room, entries}));
    std::array<uint8_t, 4 * 256> stored{};
    file.read(stored.data(), present * header.tableEntryBytes);
    return DecodeColorTable(header, stored.data(), present);
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
        StoreRows(format, source, wanted, row, image.width, masks);
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

}  // namespace

void LumoSetIntOptionBmp(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionBmp", name, value); }
int LumoGetIntOptionBmp(const char* name) { return kIntRegistry.get("LumoGetIntOptionBmp", name); }

ImagePtr LumoLoadBmp(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadBmpFrom(file);
}

ImageInfo ReadBmpInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    const BmpHeader header = ReadHeaders(file);
    CheckLoadSize(kLoadModule, static_cast<long>(header.width), header.rows());
    CheckPixelOffset(file, header);
    const ColorTable table = ReadColorTable(file, header);
    CheckCompression(header);
    return {static_cast<int>(header.width), static_cast<int>(header.rows()), PlanPixels(header, table, true).kind};
}

ImagePtr LoadBmpFrom(InputFile& file) {
    const BmpHeader header = ReadHeaders(file);
    CheckLoadSize(kLoadModule, static_cast<long>(header.width), header.rows());
    CheckPixelOffset(file, header);
    const ColorTable table = ReadColorTable(file, header);
    SeekPixels(file, header);
    CheckCompression(header);
    PixelPlan plan = PlanPixels(header, table, true);
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
    const std::vector<uint8_t> dib = MakeDibHeader(DibFormatOf(*image));
    const size_t headerBytes = kFileHeaderSize + dib.size();
    const size_t pixelBytes = PixelBytes(*image);
    std::vector<uint8_t> headers(kFileHeaderSize);
    headers[0] = 'B';
    headers[1] = 'M';
    WriteLE32(headers.data() + 2, static_cast<uint32_t>(pixelBytes + headerBytes));  // file size
    WriteLE32(headers.data() + 10, static_cast<uint32_t>(headerBytes));               // offset of the pixel rows
    headers.insert(headers.end(), dib.begin(), dib.end());
    sink(headers.data(), headers.size());

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
