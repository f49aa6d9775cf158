#include "formats/metadata/exif_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/byte_order.h"

namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kEntrySize = 12;

bool IsPointerTag(ExifIfd ifd, uint16_t tag) {
    return (ifd == ExifIfd::Main && (tag == kTagExifIfd || tag == kTagGpsIfd)) ||
           (ifd == ExifIfd::Exif && tag == kTagInteropIfd);
}

size_t Even(size_t n) { return n + (n & 1); }

// One entry of a directory as it will be written: a given field, or a pointer to a sub-directory.
struct Planned {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const std::vector<uint8_t>* value;  // null for a pointer
    ExifIfd target;                     // the sub-directory a pointer points at
};

// The layout order of the directories.
constexpr std::array<ExifIfd, 4> kOrder = {ExifIfd::Main, ExifIfd::Exif, ExifIfd::Interop, ExifIfd::Gps};

size_t IndexOf(ExifIfd ifd) { return static_cast<size_t>(std::find(kOrder.begin(), kOrder.end(), ifd) - kOrder.begin()); }

}  // namespace

bool ExifWriter::add(ExifIfd ifd, uint16_t tag, uint16_t type, uint32_t count, std::span<const uint8_t> value) {
    const size_t typeSize = ExifTypeSize(type);
    if (ifd == ExifIfd::Thumbnail || typeSize == 0 || IsPointerTag(ifd, tag)) return false;
    if (value.size() / typeSize != count || value.size() % typeSize != 0) return false;
    for (const Entry& entry : entries_)
        if (entry.ifd == ifd && entry.tag == tag) return false;
    entries_.push_back({ifd, tag, type, count, std::vector<uint8_t>(value.begin(), value.end())});
    return true;
}

bool ExifWriter::addText(ExifIfd ifd, uint16_t tag, std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return add(ifd, tag, kExifAscii, static_cast<uint32_t>(bytes.size()), bytes);
}

bool ExifWriter::addShort(ExifIfd ifd, uint16_t tag, uint16_t value) {
    uint8_t bytes[2];
    put16(bytes, value);
    return add(ifd, tag, kExifShort, 1, bytes);
}

bool ExifWriter::addLong(ExifIfd ifd, uint16_t tag, uint32_t value) {
    uint8_t bytes[4];
    put32(bytes, value);
    return add(ifd, tag, kExifLong, 1, bytes);
}

bool ExifWriter::addRationals(ExifIfd ifd, uint16_t tag, std::span<const uint32_t> pairs) {
    if (pairs.empty() || pairs.size() % 2 != 0) return false;
    std::vector<uint8_t> bytes(pairs.size() * 4);
    for (size_t i = 0; i < pairs.size(); ++i) put32(bytes.data() + 4 * i, pairs[i]);
    return add(ifd, tag, kExifRational, static_cast<uint32_t>(pairs.size() / 2), bytes);
}

bool ExifWriter::has(ExifIfd ifd) const {
    return std::any_of(entries_.begin(), entries_.end(), [ifd](const Entry& entry) { return entry.ifd == ifd; });
}

void ExifWriter::put16(uint8_t* at, uint32_t value) const { bigEndian_ ? WriteBE16(at, value) : WriteLE16(at, value); }

void ExifWriter::put32(uint8_t* at, uint32_t value) const { bigEndian_ ? WriteBE32(at, value) : WriteLE32(at, value); }

std::vector<uint8_t> ExifWriter::finish() const {
    if (entries_.empty()) return {};
    // Which directories are written: the main one always (it holds the pointers), the Exif one also
    // when only its interoperability directory has fields.
    std::array<bool, kOrder.size()> present{};
    present[IndexOf(ExifIfd::Main)] = true;
    present[IndexOf(ExifIfd::Exif)] = has(ExifIfd::Exif) || has(ExifIfd::Interop);
    present[IndexOf(ExifIfd::Interop)] = has(ExifIfd::Interop);
    present[IndexOf(ExifIfd::Gps)] = has(ExifIfd::Gps);

    std::array<std::vector<Planned>, kOrder.size()> directories;
    for (const Entry& entry : entries_)
        directories[IndexOf(entry.ifd)].push_back({entry.tag, entry.type, entry.count, &entry.value, entry.ifd});
    auto point = [&](ExifIfd from, uint16_t tag, ExifIfd to) {
        if (present[IndexOf(to)]) directories[IndexOf(from)].push_back({tag, kExifLong, 1, nullptr, to});
    };
    point(ExifIfd::Main, kTagExifIfd, ExifIfd::Exif);
    point(ExifIfd::Main, kTagGpsIfd, ExifIfd::Gps);
    point(ExifIfd::Exif, kTagInteropIfd, ExifIfd::Interop);

    // First pass: where each directory starts.
    std::array<uint64_t, kOrder.size()> start{};
    uint64_t size = kHeaderSize;
    for (size_t d = 0; d < kOrder.size(); ++d) {
        if (!present[d]) continue;
        std::vector<Planned>& entries = directories[d];
        std::stable_sort(entries.begin(), entries.end(), [](const Planned& a, const Planned& b) { return a.tag < b.tag; });
        start[d] = size;
        size += 2 + kEntrySize * entries.size() + 4;
        for (const Planned& entry : entries)
            if (entry.value && entry.value->size() > 4) size += Even(entry.value->size());
    }
    if (size > 0xFFFFFFFFu) return {};

    std::vector<uint8_t> block(static_cast<size_t>(size), 0);
    std::memcpy(block.data(), bigEndian_ ? "MM\0*" : "II*\0", 4);
    put32(block.data() + 4, kHeaderSize);
    for (size_t d = 0; d < kOrder.size(); ++d) {
        if (!present[d]) continue;
        const std::vector<Planned>& entries = directories[d];
        size_t at = static_cast<size_t>(start[d]);
        size_t values = at + 2 + kEntrySize * entries.size() + 4;  // the next-directory offset stays 0
        put16(block.data() + at, static_cast<uint32_t>(entries.size()));
        at += 2;
        for (const Planned& entry : entries) {
            uint8_t* field = block.data() + at;
            put16(field, entry.tag);
            put16(field + 2, entry.type);
            put32(field + 4, entry.count);
            if (!entry.value) {
                put32(field + 8, static_cast<uint32_t>(start[IndexOf(entry.target)]));
            } else if (entry.value->size() <= 4) {
                std::copy(entry.value->begin(), entry.value->end(), field + 8);  // left-justified in the entry
            } else {
                put32(field + 8, static_cast<uint32_t>(values));
                std::copy(entry.value->begin(), entry.value->end(), block.begin() + static_cast<std::ptrdiff_t>(values));
                values += Even(entry.value->size());
            }
            at += kEntrySize;
        }
    }
    return block;
}
