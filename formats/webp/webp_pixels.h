// What the WebP loader and the frame reader share: the checks made before libwebp decodes a file in
// memory, and the turn of its premultiplied pixels into a record's.
#pragma once

#include <webp/decode.h>

#include <cstddef>
#include <cstdint>

#include "core/image.h"
#include "formats/input_file.h"

inline constexpr const char* kWebpLoadModule = "LumoLoadWebp";

// The full-size picture of the file's headers (the canvas of an animation), refused when it is not a
// WebP file, is damaged, is larger than the pixel limit or than the file's size can stand for.
WebPBitstreamFeatures CheckedWebpFeatures(const InputFile& file, const uint8_t* data, size_t size);

// Turns libwebp's premultiplied blue, green, red, alpha rows (the picture's top row first) into the
// record's rows, composited over white; reports progress when asked.
void CompositeOverWhite(const uint8_t* source, size_t sourceStride, IMG& image, bool reportProgress);
