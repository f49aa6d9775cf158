#include "formats/metadata/exif_block.h"

#include <algorithm>
#include <cstring>

#include "formats/byte_order.h"

namespace {

constexpr size_t kEntrySize = 12;
// Far more entries than any camera writes; a directory claiming more is damaged.
constexpr unsigned kMaxEntries = 1000;

bool Fits(size_t size, size_t offset, size_t count) { return offset <= size && count <= size - offset; }

}  // namespace

size_t ExifTypeSize(uint16_t type) {
    switch (type) {
        case kExifByte: case kExifAscii: case kExifSByte: case kExifUndefined: return 1;
        case kExifShort: case kExifSShort: return 2;
        case kExifLong: case kExifSLong: case kExifFloat: return 4;
        case kExifRational: case kExifSRational: case kExifDouble: return 8;
        default: return 0;
    }
}

ExifBlock::ExifBlock(std::span<const uint8_t> bytes) : bytes_(bytes) {
    if (bytes.size() < 8) return;
    if (std::memcmp(bytes.data(), "MM\0*", 4) == 0)
        bigEndian_ = true;
    else if (std::memcmp(bytes.data(), "II*\0", 4) != 0)
        return;
    valid_ = true;
    std::vector<size_t> seen;
    readDirectory(ExifIfd::Main, u32(4), seen);
}

uint16_t ExifBlock::u16(size_t at) const {
    return bigEndian_ ? ReadBE16(bytes_.data() + at) : ReadLE16(bytes_.data() + at);
}

uint32_t ExifBlock::u32(size_t at) const {
    return bigEndian_ ? ReadBE32(bytes_.data() + at) : ReadLE32(bytes_.data() + at);
}

void ExifBlock::readDirectory(ExifIfd ifd, size_t at, std::vector<size_t>& seen) {
    const size_t size = bytes_.size();
    if (std::find(seen.begin(), seen.end(), at) != seen.end() || !Fits(size, at, 2)) {
        damaged_ = true;
        return;
    }
    seen.push_back(at);
    const unsigned count = u16(at);
    if (count > kMaxEntries || !Fits(size, at + 2, size_t{count} * kEntrySize)) {
        damaged_ = true;
        return;
    }
    struct SubDirectory {
        ExifIfd ifd;
        size_t at;
    };
    std::vector<SubDirectory> subDirectories;
    for (unsigned i = 0; i < count; ++i) {
        const size_t entry = at + 2 + size_t{i} * kEntrySize;
        ExifField field{ifd, u16(entry), u16(entry + 2), u32(entry + 4), entry + 8, entry};
        const size_t typeSize = ExifTypeSize(field.type);
        if (typeSize == 0) continue;  // an unknown type: the entry is skipped
        const unsigned long long length = static_cast<unsigned long long>(typeSize) * field.count;
        if (length > 4) field.valueAt = u32(entry + 8);
        if (length > size || !Fits(size, field.valueAt, static_cast<size_t>(length))) {
            damaged_ = true;
            continue;
        }
        fields_.push_back(field);
        const bool pointer = field.count == 1 && (field.type == kExifLong || field.type == 13 /* IFD */);
        if (!pointer) continue;
        if (ifd == ExifIfd::Main && field.tag == kTagExifIfd) subDirectories.push_back({ExifIfd::Exif, u32(field.valueAt)});
        if (ifd == ExifIfd::Main && field.tag == kTagGpsIfd) subDirectories.push_back({ExifIfd::Gps, u32(field.valueAt)});
        if (ifd == ExifIfd::Exif && field.tag == kTagInteropIfd)
            subDirectories.push_back({ExifIfd::Interop, u32(field.valueAt)});
    }
    for (const SubDirectory& sub : subDirectories) readDirectory(sub.ifd, sub.at, seen);
    // The main directory's successor is the thumbnail's; later ones are not Exif.
    if (ifd == ExifIfd::Main) {
        const size_t next = at + 2 + size_t{count} * kEntrySize;
        if (!Fits(size, next, 4)) return;
        const uint32_t thumbnail = u32(next);
        if (thumbnail != 0) readDirectory(ExifIfd::Thumbnail, thumbnail, seen);
    }
}

const ExifField* ExifBlock::find(ExifIfd ifd, uint16_t tag) const {
    for (const ExifField& field : fields_)
        if (field.ifd == ifd && field.tag == tag) return &field;
    return nullptr;
}

std::optional<long long> ExifBlock::integer(const ExifField& field, uint32_t index) const {
    if (index >= field.count) return std::nullopt;
    const size_t at = field.valueAt + index * ExifTypeSize(field.type);
    switch (field.type) {
        case kExifByte: case kExifUndefined: return bytes_[at];
        case kExifSByte: return static_cast<int8_t>(bytes_[at]);
        case kExifShort: return u16(at);
        case kExifSShort: return static_cast<int16_t>(u16(at));
        case kExifLong: return u32(at);
        case kExifSLong: return static_cast<int32_t>(u32(at));
        default: return std::nullopt;
    }
}

std::optional<double> ExifBlock::rational(const ExifField& field, uint32_t index) const {
    if (index >= field.count || (field.type != kExifRational && field.type != kExifSRational)) return std::nullopt;
    const size_t at = field.valueAt + size_t{index} * 8;
    const uint32_t numerator = u32(at), denominator = u32(at + 4);
    if (denominator == 0) return std::nullopt;
    if (field.type == kExifSRational)
        return static_cast<double>(static_cast<int32_t>(numerator)) / static_cast<int32_t>(denominator);
    return static_cast<double>(numerator) / denominator;
}

std::string ExifBlock::text(const ExifField& field) const {
    const std::span<const uint8_t> value = bytes(field);
    std::string text(value.begin(), std::find(value.begin(), value.end(), uint8_t{0}));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

std::span<const uint8_t> ExifBlock::bytes(const ExifField& field) const {
    return bytes_.subspan(field.valueAt, ExifTypeSize(field.type) * field.count);
}

int ExifOrientationOf(std::span<const uint8_t> block) {
    const ExifBlock exif(block);
    const ExifField* field = exif.find(ExifIfd::Main, kTagOrientation);
    if (!field || field->type != kExifShort || field->count != 1) return 1;
    const long long value = *exif.integer(*field);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

namespace {

// Writes an unsigned value into a SHORT or LONG field of one value; false for other fields or a
// value the field cannot hold.
bool WriteInteger(std::vector<uint8_t>& block, const ExifBlock& exif, const ExifField& field, uint32_t value) {
    if (field.count != 1) return false;
    uint8_t* at = block.data() + field.valueAt;
    if (field.type == kExifShort && value <= 0xFFFF) {
        exif.bigEndian() ? WriteBE16(at, value) : WriteLE16(at, value);
        return true;
    }
    if (field.type == kExifLong) {
        exif.bigEndian() ? WriteBE32(at, value) : WriteLE32(at, value);
        return true;
    }
    return false;
}

}  // namespace

bool SetExifOrientation(std::vector<uint8_t>& block, int value) {
    const ExifBlock exif(block);
    const ExifField* field = exif.find(ExifIfd::Main, kTagOrientation);
    return field && field->type == kExifShort && WriteInteger(block, exif, *field, static_cast<uint32_t>(value));
}

bool SetExifPixelSize(std::vector<uint8_t>& block, int width, int height) {
    const ExifBlock exif(block);
    bool changed = false;
    if (const ExifField* field = exif.find(ExifIfd::Exif, kTagPixelXDimension))
        changed |= WriteInteger(block, exif, *field, static_cast<uint32_t>(width));
    if (const ExifField* field = exif.find(ExifIfd::Exif, kTagPixelYDimension))
        changed |= WriteInteger(block, exif, *field, static_cast<uint32_t>(height));
    return changed;
}
