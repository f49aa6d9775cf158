#include "formats/jpeg/jpeg_segments.h"

#include <cstring>

#include "formats/byte_order.h"

namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp0 = 0xE0;

bool StandsAlone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// Calls visit(marker, at, length) for each segment before the first scan, where at is the offset of
// its contents and length their size; stops early when visit returns false. True when the walk
// ended because the bytes ran out in the middle of the markers (more of the file would go on).
template <typename Visit>
bool WalkSegments(std::span<const uint8_t> bytes, Visit visit) {
    if (bytes.size() < 2) return true;
    if (bytes[0] != kMarkerStart || bytes[1] != kStartOfImage) return false;
    size_t at = 2;
    while (at < bytes.size() && bytes[at] == kMarkerStart) {
        while (at < bytes.size() && bytes[at] == kMarkerStart) ++at;  // fill bytes
        if (at >= bytes.size()) return true;
        const uint8_t marker = bytes[at++];
        if (marker == kStartOfScan || marker == kEndOfImage) return false;
        if (StandsAlone(marker)) continue;
        if (bytes.size() - at < 2) return true;
        const size_t length = ReadBE16(bytes.data() + at);
        if (length < 2) return false;
        if (length > bytes.size() - at) return true;
        if (!visit(marker, at + 2, length - 2)) return false;
        at += length;
    }
    return at >= bytes.size();
}

}  // namespace

std::vector<std::span<const uint8_t>> FindAppSegments(std::span<const uint8_t> bytes, int appNumber,
                                                       std::span<const uint8_t> signature) {
    std::vector<std::span<const uint8_t>> found;
    const uint8_t wanted = static_cast<uint8_t>(kApp0 + appNumber);
    WalkSegments(bytes, [&](uint8_t marker, size_t at, size_t length) {
        if (marker == wanted && length >= signature.size() &&
            std::memcmp(bytes.data() + at, signature.data(), signature.size()) == 0)
            found.push_back(bytes.subspan(at + signature.size(), length - signature.size()));
        return true;
    });
    return found;
}

bool MarkersRunPastEnd(std::span<const uint8_t> bytes) {
    return WalkSegments(bytes, [](uint8_t, size_t, size_t) { return true; });
}

bool InsertAppSegments(std::vector<uint8_t>& jpeg, int appNumber, const std::vector<std::vector<uint8_t>>& payloads) {
    if (jpeg.size() < 2 || jpeg[0] != kMarkerStart || jpeg[1] != kStartOfImage) return false;
    for (const std::vector<uint8_t>& payload : payloads)
        if (payload.size() > kAppSegmentCapacity) return false;
    size_t insertAt = 2;
    WalkSegments(jpeg, [&](uint8_t marker, size_t at, size_t length) {
        if (marker == kApp0 && at == 6) insertAt = at + length;  // the JFIF header right after SOI
        return false;
    });
    std::vector<uint8_t> segments;
    for (const std::vector<uint8_t>& payload : payloads) {
        const size_t length = payload.size() + 2;
        segments.push_back(kMarkerStart);
        segments.push_back(static_cast<uint8_t>(kApp0 + appNumber));
        segments.push_back(static_cast<uint8_t>(length >> 8));
        segments.push_back(static_cast<uint8_t>(length & 0xFF));
        segments.insert(segments.end(), payload.begin(), payload.end());
    }
    jpeg.insert(jpeg.begin() + static_cast<long>(insertAt), segments.begin(), segments.end());
    return true;
}
