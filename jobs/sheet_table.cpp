#include "jobs/sheet_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "formats/byte_order.h"
#include "formats/dispatch.h"
#include "formats/jpeg/jpeg_segments.h"

namespace {

constexpr uint8_t kSignatureBytes[] = {'L', 'U', 'M', 'O', '-', 'S', 'H', 'E', 'E', 'T', 0};
constexpr uint8_t kVersion = 1;
constexpr size_t kPartHeader = 3;  // version, part number, part count
constexpr size_t kPartCapacity = kAppSegmentCapacity - sizeof kSignatureBytes - kPartHeader;
constexpr size_t kMaxParts = 255;
constexpr size_t kFixedBytes = 7 * 2 + 1 + 4;
constexpr size_t kCellFixedBytes = 4 * 2 + 8 + 8 + 8 + 2;

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

void Put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
void Put64(std::vector<uint8_t>& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

// Reads the table's bytes front to back; any read past the end marks it failed and yields 0.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool failed() const { return failed_; }
    size_t left() const { return bytes_.size() - at_; }
    uint64_t take(size_t count) {
        if (failed_ || left() < count) {
            failed_ = true;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i) value |= uint64_t{bytes_[at_ + i]} << (8 * i);
        at_ += count;
        return value;
    }
    std::string text(size_t count) {
        if (failed_ || left() < count) {
            failed_ = true;
            return {};
        }
        std::string value(reinterpret_cast<const char*>(bytes_.data() + at_), count);
        at_ += count;
        return value;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool failed_ = false;
};

std::vector<uint8_t> EncodeBody(const SheetTable& table) {
    std::vector<uint8_t> body;
    for (int value : {table.width, table.height, table.largestWidth, table.largestHeight, table.cellWidth,
                      table.cellHeight, table.sheetNumber})
        Put16(body, static_cast<unsigned>(value));
    body.push_back(table.continued ? 1 : 0);
    Put32(body, static_cast<uint32_t>(table.cells.size()));
    for (const SheetCell& cell : table.cells) {
        for (int value : {cell.left, cell.top, cell.right, cell.bottom}) Put16(body, static_cast<unsigned>(value));
        Put64(body, cell.picture.size);
        Put64(body, static_cast<uint64_t>(cell.picture.modified));
        Put64(body, cell.picture.hash);
        const size_t length = std::min<size_t>(cell.name.size(), 0xFFFF);
        Put16(body, static_cast<unsigned>(length));
        body.insert(body.end(), cell.name.begin(), cell.name.begin() + static_cast<long>(length));
    }
    return body;
}

std::optional<SheetTable> ParseBody(std::span<const uint8_t> body) {
    Reader in(body);
    SheetTable table;
    table.width = static_cast<int>(in.take(2));
    table.height = static_cast<int>(in.take(2));
    table.largestWidth = static_cast<int>(in.take(2));
    table.largestHeight = static_cast<int>(in.take(2));
    table.cellWidth = static_cast<int>(in.take(2));
    table.cellHeight = static_cast<int>(in.take(2));
    table.sheetNumber = static_cast<int>(in.take(2));
    const uint64_t flags = in.take(1);
    const uint64_t count = in.take(4);
    if (in.failed() || flags > 1 || table.sheetNumber < 1 || table.cellWidth < 1 || table.cellHeight < 1) return {};
    table.continued = flags & 1;
    // Every cell takes at least its fixed part: a count the bytes cannot hold is refused before anything is reserved.
    if (count > in.left() / kCellFixedBytes) return {};
    table.cells.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        SheetCell cell;
        cell.left = static_cast<int>(in.take(2));
        cell.top = static_cast<int>(in.take(2));
        cell.right = static_cast<int>(in.take(2));
        cell.bottom = static_cast<int>(in.take(2));
        cell.picture.size = in.take(8);
        cell.picture.modified = static_cast<int64_t>(in.take(8));
        cell.picture.hash = in.take(8);
        cell.name = in.text(in.take(2));
        if (in.failed()) return {};
        if (cell.left > cell.right || cell.top > cell.bottom || cell.right > table.width ||
            cell.bottom > table.height || cell.name.empty() || cell.name.find('\0') != std::string::npos)
            return {};
        table.cells.push_back(std::move(cell));
    }
    if (in.left() != 0) return {};
    return table;
}

}  // namespace

const std::span<const uint8_t> kSheetTableSignature(kSignatureBytes);

std::vector<std::vector<uint8_t>> EncodeSheetTable(const SheetTable& table) {
    const std::vector<uint8_t> body = EncodeBody(table);
    const size_t parts = std::max<size_t>(1, (body.size() + kPartCapacity - 1) / kPartCapacity);
    std::vector<std::vector<uint8_t>> segments;
    if (parts > kMaxParts) return segments;  // over 16 MB of names: the sheet goes without a table
    for (size_t part = 0; part < parts; ++part) {
        std::vector<uint8_t> segment(kSignatureBytes, kSignatureBytes + sizeof kSignatureBytes);
        segment.push_back(kVersion);
        segment.push_back(static_cast<uint8_t>(part));
        segment.push_back(static_cast<uint8_t>(parts));
        const size_t from = part * kPartCapacity;
        const size_t to = std::min(body.size(), from + kPartCapacity);
        segment.insert(segment.end(), body.begin() + static_cast<long>(from), body.begin() + static_cast<long>(to));
        segments.push_back(std::move(segment));
    }
    return segments;
}

std::optional<SheetTable> ParseSheetTable(const std::vector<std::span<const uint8_t>>& segments) {
    if (segments.empty()) return {};
    const size_t parts = segments[0].size() >= kPartHeader ? segments[0][2] : 0;
    if (parts == 0) return {};
    // Each part exactly once, all of version 1 and of the same count; they are joined by number.
    std::vector<std::span<const uint8_t>> byNumber(parts);
    std::vector<bool> seen(parts, false);
    for (const std::span<const uint8_t>& segment : segments) {
        if (segment.size() < kPartHeader || segment[0] != kVersion || segment[2] != parts) return {};
        const size_t number = segment[1];
        if (number >= parts || seen[number]) return {};
        seen[number] = true;
        byNumber[number] = segment.subspan(kPartHeader);
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) return {};
    std::vector<uint8_t> body;
    for (const std::span<const uint8_t>& part : byNumber) body.insert(body.end(), part.begin(), part.end());
    return ParseBody(body);
}

std::optional<SheetTable> SheetTableOfJpeg(std::span<const uint8_t> jpeg) {
    return ParseSheetTable(FindAppSegments(jpeg, kSheetTableApp, kSheetTableSignature));
}

std::optional<SheetTable> ReadSheetTable(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {};
    // The table lies before the first scan: the file is read only as far as its markers go (a photo's
    // Exif and profile segments included), at most as far as 255 table parts and a few others reach.
    constexpr size_t kHeadLimit = (kMaxParts + 8) * 65536;
    std::vector<uint8_t> head(65536);
    size_t filled = 0;
    while (true) {
        filled += std::fread(head.data() + filled, 1, head.size() - filled, file.get());
        const bool more = filled == head.size() && MarkersRunPastEnd(std::span(head.data(), filled));
        if (!more || head.size() >= kHeadLimit) break;
        head.resize(std::min(head.size() * 2, kHeadLimit));
    }
    head.resize(filled);
    return SheetTableOfJpeg(head);
}

void AddSheetTable(std::vector<uint8_t>& jpeg, const SheetTable& table) {
    InsertAppSegments(jpeg, kSheetTableApp, EncodeSheetTable(table));
}

std::string CellPicturePath(const std::string& sheetPath, const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    return SplitFileName(sheetPath).directory + name;
}

uint64_t ContentHash(std::span<const uint8_t> bytes) {
    uint64_t hash = kFnvOffset;
    size_t at = 0;
    for (; bytes.size() - at >= 8; at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        hash = (hash ^ word) * kFnvPrime;
    }
    for (; at < bytes.size(); ++at) hash = (hash ^ bytes[at]) * kFnvPrime;
    return (hash ^ bytes.size()) * kFnvPrime;
}

std::optional<PictureFingerprint> FingerprintFile(const std::string& path) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return {};
    PictureFingerprint fingerprint;
    fingerprint.size = bytes.size();
    fingerprint.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    fingerprint.hash = ContentHash(bytes);
    return fingerprint;
}

PictureState CheckPicture(const std::string& path, const PictureFingerprint& recorded) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) return PictureState::Gone;
    if (!S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_size) != recorded.size) return PictureState::Changed;
    const std::optional<PictureFingerprint> now = FingerprintFile(path);
    if (!now) return PictureState::Gone;
    return now->size == recorded.size && now->hash == recorded.hash ? PictureState::Same : PictureState::Changed;
}

const char* PictureStateText(PictureState state) {
    switch (state) {
        case PictureState::Same: return "";
        case PictureState::Changed: return "changed since the sheet was made";
        case PictureState::Gone: return "gone, changed since the sheet was made";
    }
    return "";
}
