// The fixed header of an ICC profile: enough to tell which pixels a profile describes, without a
// colour library. A saver writes a profile only beside pixels of its colour space.
#pragma once

#include <cstdint>
#include <span>

enum class IccColourSpace { Unknown, Gray, Rgb, Cmyk, Other };

// The data colour space of the profile's header (bytes 16-19), Unknown when the bytes are too
// short to be a profile or its stated size disagrees with their number.
IccColourSpace ProfileColourSpace(std::span<const uint8_t> profile);
