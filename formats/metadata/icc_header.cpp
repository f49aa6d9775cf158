#include "formats/metadata/icc_header.h"

#include <cstring>

#include "formats/byte_order.h"

IccColourSpace ProfileColourSpace(std::span<const uint8_t> profile) {
    constexpr size_t kHeaderSize = 128;
    if (profile.size() < kHeaderSize || ReadBE32(profile.data()) != profile.size()) return IccColourSpace::Unknown;
    const uint8_t* space = profile.data() + 16;
    if (std::memcmp(space, "GRAY", 4) == 0) return IccColourSpace::Gray;
    if (std::memcmp(space, "RGB ", 4) == 0) return IccColourSpace::Rgb;
    if (std::memcmp(space, "CMYK", 4) == 0) return IccColourSpace::Cmyk;
    return IccColourSpace::Other;
}
