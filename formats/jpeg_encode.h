// The JPEG encoder behind LumoSaveJpeg.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "core/image.h"
#include "formats/jpeg_options.h"

// Compresses a GRAY256 or RGB image to the stream as a baseline JFIF file; progress one value per row.
// Yields libjpeg's message when the library gave up (its object already destroyed), nothing on success.
std::optional<std::string> EncodeJpeg(const IMG& image, std::FILE* stream, const JpegOptions& options);
