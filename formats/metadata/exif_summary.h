// What a photographer looks for in a photo's metadata, as texts to show: camera, lens, date taken,
// exposure and GPS position from the Exif block.
// Damaged or meaningless values (outside the block, a zero denominator, a negative time, an empty
// date) are left out as if the field were missing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Each text is empty when the block does not hold that field (or holds it damaged).
struct ExifSummary {
    std::string camera;        // Make and Model, the make not repeated when the model starts with it
    std::string lens;          // LensMake and LensModel, the same way
    std::string dateTaken;     // DateTimeOriginal, else DateTime: "2024-05-01 10:20:30"
    std::string exposureTime;  // "1/125 s", "2 s"
    std::string aperture;      // "f/2.8"
    std::string iso;           // "ISO 200"
    std::string focalLength;   // "35 mm"
    std::string position;      // "48.858222° N, 2.294500° E" (UTF-8 degree sign)
    std::string altitude;      // "35 m", "12.5 m below sea level"

    bool empty() const;
};

// The summary of an Exif block (a TIFF structure from "II*\0" or "MM\0*"); empty for anything else.
ExifSummary SummarizeExif(std::span<const uint8_t> block);


