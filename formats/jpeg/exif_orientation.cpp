#include "formats/jpeg/exif_orientation.h"

#include <cstring>

#include "formats/metadata/exif_block.h"

int ExifOrientation(const uint8_t* data, size_t size) {
    constexpr uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kExifSignature || std::memcmp(data, kExifSignature, sizeof kExifSignature) != 0) return 1;
    return ExifOrientationOf({data + sizeof kExifSignature, size - sizeof kExifSignature});
}
