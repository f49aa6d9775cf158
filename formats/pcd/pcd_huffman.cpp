#include "formats/pcd/pcd_huffman.h"

#include "core/messages.h"

namespace {

constexpr uint32_t kRowMarker = 0xFFFFFE;  // 23 one bits and a zero, in the top 24 bits

// The bits of a section, most significant first, through a 32-bit accumulator refilled a byte at a
// time from a sector buffer: after every step more than 24 bits are valid.
class SectionBits {
public:
    explicit SectionBits(PcdSectorReader& reader) : reader_(reader) { fill(); }

    uint32_t bits() const { return accumulator_; }
    bool atRowMarker() const { return (accumulator_ >> 8) == kRowMarker; }
    void consume(int count) {
        accumulator_ <<= count;
        valid_ -= count;
        fill();
    }
    // Discards bits one at a time up to the next row marker.
    void skipToRowMarker() {
        while (!atRowMarker()) consume(1);
    }

private:
    void fill() {
        while (valid_ <= 24) {
            if (used_ == kPcdSectorBytes) {
                reader_.read(sector_, kPcdSectorBytes);
                used_ = 0;
            }
            accumulator_ |= static_cast<uint32_t>(sector_[used_++]) << (24 - valid_);
            valid_ += 8;
        }
    }

    PcdSectorReader& reader_;
    uint8_t sector_[kPcdSectorBytes];
    size_t used_ = kPcdSectorBytes;
    uint32_t accumulator_ = 0;
    int valid_ = 0;
};

const PcdHuffmanEntry& FindCode(const PcdHuffmanTable& table, uint32_t bits) {
    for (int i = 0; i < table.count; ++i)
        if ((bits & table.entries[i].mask) == table.entries[i].code) return table.entries[i];
    FailHuffmanSequence();
}

}  // namespace

size_t ParsePcdHuffmanTable(const uint8_t* bytes, PcdHuffmanTable& table) {
    table.count = bytes[0] + 1;
    for (int i = 0; i < table.count; ++i) {
        const uint8_t* entry = bytes + 1 + 4 * i;
        const int length = entry[0] + 1;
        if (length > 16) FailHuffmanTable();
        table.entries[i] = {static_cast<uint32_t>(entry[1] << 8 | entry[2]) << 16, ~uint32_t{0} << (32 - length),
                            length, static_cast<int8_t>(entry[3])};
    }
    return 1 + 4 * static_cast<size_t>(table.count);
}

void DecodePcdResiduals(PcdSectorReader& reader, int width, int height, const PcdResidualPlanes& planes,
                        const PcdHuffmanTable* tables) {
    if (planes.luma && !planes.luma->validOver(width, height)) FailUnreadablePcd();
    for (const PcdPlane* chroma : {planes.chroma1, planes.chroma2})
        if (chroma && !chroma->validOver(width / 2, height / 2)) FailUnreadablePcd();
    // Without a luma plane the luma rows are passed over, and so is everything before the first marker.
    const bool skipUnwanted = planes.luma == nullptr;

    SectionBits bits(reader);
    if (skipUnwanted) bits.skipToRowMarker();

    uint8_t* row = nullptr;  // the row receiving values, null before the first wanted row header
    int rowWidth = 0;
    int count = 0;  // values decoded since the last row header
    const PcdHuffmanTable* table = nullptr;
    for (;;) {
        if (bits.atRowMarker()) {
            bits.consume(24);
            const uint32_t header = bits.bits() >> 16;
            bits.consume(16);
            const int plane = static_cast<int>(header >> 14);
            const int rowNumber = static_cast<int>((header >> 1) & 0x1FFF);
            // A row that received values must be complete. A passed-over row is not checked: nothing
            // was decoded for it, and every chroma-only section would otherwise fail at its second row.
            if (row && count != rowWidth) FailHuffmanSequence();
            row = nullptr;
            count = 0;
            if (rowNumber == height) return;
            if (rowNumber > height) FailHuffmanSequence();
            PcdPlane* target;
            int targetRow;
            switch (plane) {
                case 0: target = planes.luma, targetRow = rowNumber, rowWidth = width, table = &tables[0]; break;
                case 2: target = planes.chroma1, targetRow = rowNumber / 2, rowWidth = width / 2, table = &tables[1]; break;
                case 3: target = planes.chroma2, targetRow = rowNumber / 2, rowWidth = width / 2, table = &tables[2]; break;
                default: FailHuffmanSequence();
            }
            if (!target) {
                if (!skipUnwanted) FailHuffmanSequence();
                bits.skipToRowMarker();
                continue;
            }
            row = target->row(targetRow);
            continue;
        }
        if (!row || count == rowWidth) FailHuffmanSequence();
        const PcdHuffmanEntry& entry = FindCode(*table, bits.bits());
        bits.consume(entry.length);
        const int sample = row[count] + entry.value;
        row[count++] = static_cast<uint8_t>(sample < 0 ? 0 : sample > 255 ? 255 : sample);
    }
}
