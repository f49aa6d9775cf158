// The JPEG encoder behind LumoSaveJpeg.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/jpeg/jpeg_options.h"

// Compresses an image of any kind as a baseline JFIF file, handed to sink whole once complete: gray and bi-level kinds as
// gray, palette kinds and RGB as colour (each row expanded as it is fed, never a converted copy of
// the whole picture); progress one value per row.
// Yields libjpeg's message when the library gave up (its object already destroyed), nothing on success.
std::optional<std::string> EncodeJpeg(const IMG& image, const ByteSink& sink, const JpegOptions& options);
