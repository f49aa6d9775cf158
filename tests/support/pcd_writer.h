// Writes Photo CD image packs and overview files for the tests, the fuzz seeds and the benchmark
// (header-only, so the benchmark can use it without the test library). Every part the loader reads
// is laid out: the attribute sector with the orientation, the uncompressed Base/16, Base/4 and Base
// pictures, the 4Base table and residual section, the 16Base tables and sections, and the sector the
// 16Base search starts from. Residual sections are written row by row with a caller's Huffman tables.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace pcd_writer {

constexpr size_t kSector = 2048;

// A PhotoYCC picture: luma width x height, chroma planes width/2 x height/2, rows top first.
struct YccPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> luma, chroma1, chroma2;

    // A smooth, asymmetric pattern (every row and column differ) with values across the whole range.
    static YccPicture Pattern(int width, int height, unsigned seed = 1) {
        YccPicture p{width, height, {}, {}, {}};
        p.luma.resize(static_cast<size_t>(width) * height);
        p.chroma1.resize(static_cast<size_t>(width / 2) * (height / 2));
        p.chroma2.resize(p.chroma1.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                p.luma[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>((x * 255 / width + y * 3 + (x * y + seed) % 17 * 5) & 0xFF);
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width / 2; ++x) {
                const size_t at = static_cast<size_t>(y) * (width / 2) + x;
                p.chroma1[at] = static_cast<uint8_t>((x * 7 + y * 2 + seed * 11) & 0xFF);
                p.chroma2[at] = static_cast<uint8_t>((255 - y * 5 + x + seed * 29) & 0xFF);
            }
        return p;
    }
    // One colour all over.
    static YccPicture Flat(int width, int height, uint8_t y, uint8_t c1, uint8_t c2) {
        YccPicture p{width, height, {}, {}, {}};
        p.luma.assign(static_cast<size_t>(width) * height, y);
        p.chroma1.assign(static_cast<size_t>(width / 2) * (height / 2), c1);
        p.chroma2.assign(p.chroma1.size(), c2);
        return p;
    }
};

// The stored layout: per two luma rows, the two rows, a chroma-1 row and a chroma-2 row.
inline std::vector<uint8_t> PictureBytes(const YccPicture& p) {
    std::vector<uint8_t> bytes;
    const size_t w = static_cast<size_t>(p.width);
    for (int k = 0; k < p.height / 2; ++k) {
        const auto luma = p.luma.begin() + static_cast<long>(2 * k * w);
        bytes.insert(bytes.end(), luma, luma + static_cast<long>(2 * w));
        const auto c1 = p.chroma1.begin() + static_cast<long>(k * (w / 2));
        bytes.insert(bytes.end(), c1, c1 + static_cast<long>(w / 2));
        const auto c2 = p.chroma2.begin() + static_cast<long>(k * (w / 2));
        bytes.insert(bytes.end(), c2, c2 + static_cast<long>(w / 2));
    }
    return bytes;
}

// One Huffman code: length in bits (1..16, or more to write a table the loader must refuse), the code
// bits left-aligned in 16, and the residual it stands for.
struct Code {
    int length;
    uint16_t bits;
    int8_t value;
};
using Table = std::vector<Code>;

// 256 codes of 9 bits, a 0 and the 8 bits of value + 128: every residual, and never more than 17 one
// bits in a row, so data cannot look like a row marker.
inline Table FullTable() {
    Table table;
    for (int v = -128; v <= 127; ++v)
        table.push_back({9, static_cast<uint16_t>((v + 128) << 7), static_cast<int8_t>(v)});
    return table;
}

// Short codes for small residuals, as real files have: 0 is "0", then for k = 1..8 k one bits, a
// zero and a sign bit (+k, -k). The longest run of ones in any data is 17.
inline Table SmallTable() {
    Table table{{1, 0x0000, 0}};
    for (int k = 1; k <= 8; ++k)
        for (int sign = 0; sign < 2; ++sign) {
            const int length = k + 2;
            const unsigned code = ((1u << k) - 1) << 2 | static_cast<unsigned>(sign);
            table.push_back({length, static_cast<uint16_t>(code << (16 - length)), static_cast<int8_t>(sign ? -k : k)});
        }
    return table;
}

// The table as the file holds it: the entry count minus 1, then length - 1, code high, code low, value.
inline std::vector<uint8_t> TableBytes(const Table& table) {
    std::vector<uint8_t> bytes{static_cast<uint8_t>(table.size() - 1)};
    for (const Code& code : table)
        bytes.insert(bytes.end(), {static_cast<uint8_t>(code.length - 1), static_cast<uint8_t>(code.bits >> 8),
                                   static_cast<uint8_t>(code.bits & 0xFF), static_cast<uint8_t>(code.value)});
    return bytes;
}

class BitWriter {
public:
    void put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = static_cast<uint8_t>(current_ << 1 | ((bits >> i) & 1));
            if (++used_ == 8) flush();
        }
    }
    // The row marker (23 one bits and a zero) and the 16-bit header: plane in bits 15..14, row in 13..1.
    void rowHeader(int plane, int row) {
        put(0xFFFFFE, 24);
        put(static_cast<uint32_t>(plane) << 14 | static_cast<uint32_t>(row) << 1, 16);
    }
    void value(const Table& table, int v) {
        for (const Code& code : table)
            if (code.value == v) {
                put(code.bits >> (16 - code.length), code.length);
                return;
            }
        throw std::invalid_argument("no code for the residual");
    }
    std::vector<uint8_t> finish() {
        while (used_ != 0) put(0, 1);
        return bytes_;
    }

private:
    void flush() {
        bytes_.push_back(current_);
        current_ = 0;
        used_ = 0;
    }
    std::vector<uint8_t> bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

// One row of a residual section: the header's plane (0 luma, 2 chroma-1, 3 chroma-2) and row (chroma
// rows count in luma rows: plane row r is header row 2r), and its residuals.
struct ResidualRow {
    int plane;
    int row;
    std::vector<int> values;
};

// A section: each row's header and values coded with the table of its plane (tables[0] luma,
// tables[1] chroma-1, tables[2] chroma-2), then the end header (plane 0, row endRow), a few bytes of
// padding, and zeros to the end of the sector. The decoder never looks past the padding, so the next
// part can start in the following sector.
inline std::vector<uint8_t> SectionBytes(const std::vector<ResidualRow>& rows, const Table* tables, int endRow) {
    BitWriter bits;
    for (const ResidualRow& row : rows) {
        if (row.plane >= 0) bits.rowHeader(row.plane, row.row);  // a negative plane: values with no header
        const Table& table = tables[row.plane <= 0 ? 0 : row.plane == 1 ? 0 : row.plane - 1];
        for (int v : row.values) bits.value(table, v);
    }
    bits.rowHeader(0, endRow);
    std::vector<uint8_t> bytes = bits.finish();
    bytes.resize(bytes.size() + 4);
    bytes.resize((bytes.size() + kSector - 1) / kSector * kSector);
    return bytes;
}

// Everything an image pack holds. Sections are written only when asked for.
struct PackLayout {
    int orientation = 0;  // the attribute byte's low 2 bits
    YccPicture base16 = YccPicture::Pattern(192, 128, 1);
    YccPicture base4 = YccPicture::Pattern(384, 256, 2);
    YccPicture base = YccPicture::Pattern(768, 512, 3);
    bool fourBase = false;
    Table fourBaseTable = SmallTable();
    std::vector<ResidualRow> fourBaseRows;  // luma rows of 1536, header rows below 1024
    int fourBaseEnd = 1024;                 // row of the end header
    bool sixteenBase = false;
    Table sixteenTables[3] = {SmallTable(), SmallTable(), SmallTable()};
    std::vector<ResidualRow> sixteenRows;  // luma rows of 3072, chroma rows of 1536, header rows below 2048
    int sixteenEnd = 2048;
    int sixteenDataOffset = 14;  // d of sector n + 10: the data of the chroma-only loads starts at n + d
    int searchLead = 3;          // the 16Base search starts this many sectors before n
};

// Where the parts of a written pack start, in sectors.
struct PackSectors {
    size_t sixteenBaseMark = 0;  // n: the sector with the 255 bytes the 16Base search looks for
    size_t sixteenBaseData = 0;  // n + 14
    size_t end = 0;              // sectors in the file
};

inline void PutAt(std::vector<uint8_t>& file, size_t offset, const std::vector<uint8_t>& bytes) {
    if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(offset));
}

inline std::vector<uint8_t> WritePack(const PackLayout& layout, PackSectors* where = nullptr) {
    std::vector<uint8_t> file(384 * kSector);
    const char signature[] = "PCD_IPI";  // sector 0 is not read by the loader
    std::copy(signature, signature + 7, file.begin());
    file[kSector + 1538] = static_cast<uint8_t>(layout.orientation);
    PutAt(file, 4 * kSector, PictureBytes(layout.base16));
    PutAt(file, 23 * kSector, PictureBytes(layout.base4));
    PutAt(file, 96 * kSector, PictureBytes(layout.base));
    file.resize(389 * kSector);
    PutAt(file, 388 * kSector, TableBytes(layout.fourBaseTable));
    if (layout.fourBase || layout.sixteenBase) {
        const Table tables[3] = {layout.fourBaseTable, layout.fourBaseTable, layout.fourBaseTable};
        PutAt(file, 389 * kSector, SectionBytes(layout.fourBaseRows, tables, layout.fourBaseEnd));
    }
    PackSectors sectors;
    if (layout.sixteenBase) {
        const size_t n = file.size() / kSector;
        sectors.sixteenBaseMark = n;
        file.resize((n + 14) * kSector);
        std::fill(file.begin() + static_cast<long>(n * kSector), file.begin() + static_cast<long>(n * kSector + 32), 0xFF);
        const size_t v = n - 384 - static_cast<size_t>(layout.searchLead);  // sector 387 gives 384 + v
        file[387 * kSector + 510] = static_cast<uint8_t>((v - 1) >> 8);
        file[387 * kSector + 511] = static_cast<uint8_t>((v - 1) & 0xFF);
        file[(n + 10) * kSector + 2] = static_cast<uint8_t>(layout.sixteenDataOffset >> 8);
        file[(n + 10) * kSector + 3] = static_cast<uint8_t>(layout.sixteenDataOffset & 0xFF);
        std::vector<uint8_t> tables;
        for (const Table& table : layout.sixteenTables) {
            const std::vector<uint8_t> bytes = TableBytes(table);
            tables.insert(tables.end(), bytes.begin(), bytes.end());
        }
        PutAt(file, (n + 12) * kSector, tables);
        sectors.sixteenBaseData = n + static_cast<size_t>(layout.sixteenDataOffset);
        PutAt(file, (n + 14) * kSector, SectionBytes(layout.sixteenRows, layout.sixteenTables, layout.sixteenEnd));
        if (layout.sixteenDataOffset != 14)
            PutAt(file, sectors.sixteenBaseData * kSector,
                  SectionBytes(layout.sixteenRows, layout.sixteenTables, layout.sixteenEnd));
    }
    file.resize((file.size() + kSector - 1) / kSector * kSector);
    sectors.end = file.size() / kSector;
    if (where) *where = sectors;
    return file;
}

// An overview file: thumbnail k (192x128) from sector 5 + 18k.
inline std::vector<uint8_t> WriteOverview(const std::vector<YccPicture>& thumbnails) {
    std::vector<uint8_t> file(5 * kSector);
    for (size_t k = 0; k < thumbnails.size(); ++k) PutAt(file, (5 + 18 * k) * kSector, PictureBytes(thumbnails[k]));
    return file;
}

}  // namespace pcd_writer
