#include "formats/bmp_dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/bmp_layout.h"
#include "formats/byte_order.h"

using namespace bmp;

namespace {

// Pixels per metre for a resolution in dots per inch, truncated and kept inside the 32-bit field.
uint32_t PixelsPerMetre(float dotsPerInch) {
    const double value = std::trunc(static_cast<double>(dotsPerInch) * 39.37007874015748);
    if (!(value > INT32_MIN)) return static_cast<uint32_t>(INT32_MIN);  // also NaN
    if (value > UINT32_MAX) return UINT32_MAX;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

constexpr uint32_t kDefaultPixelsPerMetre = 5906;  // 150 dots per inch

// Where the colour table and the pixel rows of a DIB lie in its block, once checked.
struct DibLayout {
    BmpHeader header;
    size_t tableAt = 0;      // first colour-table entry
    uint64_t entries = 0;    // colour-table entries stored
    size_t pixelsAt = 0;     // first pixel row
    const char* problem = nullptr;
};

DibLayout Refused(const char* problem) {
    DibLayout layout;
    layout.problem = problem;
    return layout;
}

// Reads the headers and places the table and the rows, checking each against the block's length.
DibLayout LayOut(const uint8_t* block, size_t size) {
    const bool isFile = size >= 2 && block[0] == 'B' && block[1] == 'M';
    const size_t infoAt = isFile ? kFileHeaderSize : 0;
    if (size < infoAt + 4) return Refused("the block is shorter than a header");
    const uint32_t infoSize = ReadLE32(block + infoAt);
    if (DecodedHeaderBytes(infoSize) == 0) return Refused("the header size is not one of a DIB");
    if (infoSize > size - infoAt) return Refused("the header runs past the block");

    DibLayout layout;
    BmpHeader& header = layout.header;
    DecodeInfoHeader(block + infoAt, header);
    uint64_t headersEnd = infoAt + uint64_t{infoSize};
    if (MasksFollowHeader(header)) {
        if (headersEnd + kMaskBytes > size) return Refused("the bit masks run past the block");
        DecodeMasks(block + headersEnd, header);
        headersEnd += kMaskBytes;
    }

    if (!BitCountKnown(header.bitCount)) return Refused("the bit count is not 1, 4, 8, 16, 24 or 32");
    const bool bitFields = header.compression == kBitFields && (header.bitCount == 16 || header.bitCount == 32);
    if (header.compression != kUncompressed && !bitFields) return Refused("the rows are compressed");
    if (header.width <= 0 || header.rows() == 0 || !SizeFits(header))
        return Refused("the width or height is not one an image can have");

    // Colour counts: the colours-used field of an info header when it is set, else a full table
    // up to 8 bits and none above. Above 8 bits a stated table is only passed over.
    const uint64_t full = header.bitCount <= 8 ? uint64_t{1} << header.bitCount : 0;
    layout.entries = header.infoSize != kCoreHeaderSize && header.colorsUsed ? header.colorsUsed : full;
    if (header.bitCount <= 8 && layout.entries > 256) return Refused("more than 256 colours");
    const uint64_t tableBytes = layout.entries * header.tableEntryBytes;
    layout.tableAt = static_cast<size_t>(headersEnd);

    uint64_t pixelsAt = headersEnd + tableBytes;
    if (isFile) {
        // A file says where its pixels are; a shorter table (an OS/2 file's) ends there.
        pixelsAt = ReadLE32(block + 10);
        if (pixelsAt < headersEnd) return Refused("the pixel offset lies inside the headers");
        layout.entries = std::min(layout.entries, (pixelsAt - headersEnd) / header.tableEntryBytes);
    }
    if (pixelsAt > size) return Refused("the colour table runs past the block");
    layout.pixelsAt = static_cast<size_t>(pixelsAt);

    const uint64_t rowBytes = static_cast<uint64_t>(RowBytesFor(header.width, header.bitCount));
    if (rowBytes * static_cast<uint64_t>(header.rows()) > size - pixelsAt) return Refused("the rows run past the block");
    return layout;
}

}  // namespace

DibFormat DibFormatOf(const IMG& image) {
    DibFormat format;
    format.width = image.width;
    format.height = image.height;
    format.bitCount = image.bitsPerPixel;
    const bool stated = image.xResolution != 0 && image.yResolution != 0;
    format.xPixelsPerMetre = stated ? PixelsPerMetre(image.xResolution) : kDefaultPixelsPerMetre;
    format.yPixelsPerMetre = stated ? PixelsPerMetre(image.yResolution) : kDefaultPixelsPerMetre;

    const ImageKind kind = KindOf(image);
    const int colors = kind == ImageKind::RGB ? 0 : 1 << image.bitsPerPixel;
    format.colors.resize(3 * static_cast<size_t>(colors));
    for (int i = 0; i < colors; ++i) {
        uint8_t* entry = format.colors.data() + 3 * i;
        switch (kind) {
            case ImageKind::BW: entry[0] = entry[1] = entry[2] = i ? 255 : 0; break;
            case ImageKind::GRAY16: entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(17 * i); break;
            case ImageKind::GRAY256: entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i); break;
            default:
                // A colour image without palette has no colours to give: its entries stay 0.
                if (image.palette) std::memcpy(entry, image.palette + 3 * i, 3);
        }
    }
    return format;
}

std::vector<uint8_t> MakeDibHeader(const DibFormat& format) {
    const size_t entries = format.colors.size() / 3;
    std::vector<uint8_t> bytes(kInfoHeaderSize + 4 * entries, 0);
    uint8_t* info = bytes.data();
    WriteLE32(info, kInfoHeaderSize);
    WriteLE32(info + 4, static_cast<uint32_t>(format.width));
    WriteLE32(info + 8, static_cast<uint32_t>(format.height));
    WriteLE16(info + 12, 1);  // planes
    WriteLE16(info + 14, static_cast<uint32_t>(format.bitCount));
    WriteLE32(info + 20, static_cast<uint32_t>(RowBytesFor(format.width, format.bitCount) * format.height));
    WriteLE32(info + 24, format.xPixelsPerMetre);
    WriteLE32(info + 28, format.yPixelsPerMetre);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* rgb = format.colors.data() + 3 * i;
        uint8_t* entry = info + kInfoHeaderSize + 4 * i;
        entry[0] = rgb[2];
        entry[1] = rgb[1];
        entry[2] = rgb[0];
    }
    return bytes;
}

DibImage DibToImage(const uint8_t* block, size_t size) {
    const DibLayout layout = LayOut(block, size);
    if (layout.problem) return {nullptr, layout.problem};
    const BmpHeader& header = layout.header;
    const int present = static_cast<int>(std::min<uint64_t>(layout.entries, 256));
    const ColorTable table = DecodeColorTable(header, block + layout.tableAt, present);

    PixelPlan plan = PlanPixels(header, table, false);
    const int width = static_cast<int>(header.width);
    const int rows = static_cast<int>(header.rows());
    if (RowBytesFor(width, BitsPerPixelOf(plan.kind)) > kMaxImageDimension)
        return {nullptr, "the rows are too long for an image"};

    ImagePtr image = LumoCreateImage(width, rows, ColorClassOf(plan.kind), std::move(plan.palette),
                                     BitsPerPixelOf(plan.kind));
    image->xResolution = DotsPerInch(header.xPixelsPerMetre);
    image->yResolution = DotsPerInch(header.yPixelsPerMetre);
    const MaskedPixels masks = MasksFor(header);
    const size_t rowBytes = static_cast<size_t>(RowBytesFor(width, header.bitCount));
    for (int k = 0; k < rows; ++k) {
        const uint8_t* stored = block + layout.pixelsAt + static_cast<size_t>(k) * rowBytes;
        StoreRows(plan.format, stored, rowBytes, MemoryRow(*image, header.topDown() ? rows - 1 - k : k), width, masks);
    }
    return {std::move(image), nullptr};
}
