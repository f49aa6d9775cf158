#include "formats/jpeg/exif_orientation.h"

#include <cstring>

namespace {

constexpr uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr unsigned kOrientationTag = 0x0112;
constexpr unsigned kShortType = 3;

// Reads 16- and 32-bit fields in the byte order the TIFF header names.
struct TiffBytes {
    const uint8_t* data;
    size_t size;
    bool bigEndian;

    bool has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
    unsigned u16(size_t at) const {
        return bigEndian ? data[at] << 8 | data[at + 1] : data[at + 1] << 8 | data[at];
    }
    uint32_t u32(size_t at) const {
        return bigEndian ? uint32_t{u16(at)} << 16 | u16(at + 2) : uint32_t{u16(at + 2)} << 16 | u16(at);
    }
};

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
    if (size < sizeof kExifSignature + 8 || std::memcmp(data, kExifSignature, sizeof kExifSignature) != 0) return 1;
    TiffBytes tiff{data + sizeof kExifSignature, size - sizeof kExifSignature, false};
    if (std::memcmp(tiff.data, "MM\0*", 4) == 0)
        tiff.bigEndian = true;
    else if (std::memcmp(tiff.data, "II*\0", 4) != 0)
        return 1;

    const size_t directory = tiff.u32(4);
    if (!tiff.has(directory, 2)) return 1;
    const unsigned entries = tiff.u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + size_t{i} * 12;
        if (!tiff.has(entry, 12)) return 1;
        if (tiff.u16(entry) != kOrientationTag) continue;
        if (tiff.u16(entry + 2) != kShortType || tiff.u32(entry + 4) != 1) return 1;
        const unsigned value = tiff.u16(entry + 8);  // a single short sits at the start of the value field
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}
