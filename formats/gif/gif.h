// GIF: loads the first image of a GIF87a or GIF89a file as COLOR16 or COLOR256 (extensions are
// skipped); saves any kind as a single-image GIF87a file, converting non-palette kinds first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadGif(const char* fileName);
// The size and kind LumoLoadGif would give, from the headers and tables before the first image's data.
ImageInfo ReadGifInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadGifFrom(InputFile& file);

void LumoSaveGif(const IMG* image, const char* fileName);

// Writes the whole file for image to sink, with the per-row progress reports but without the start
// and end reports that belong to the caller (LumoSaveGif writes through this to its output file).
void WriteGif(const IMG* image, const ByteSink& sink);

// The options "interlace" (0): non-zero writes the rows in interlaced order; "frame" (0): N from 1
// makes LumoLoadGif give frame N of an animation composed on the logical screen (RGB; gif_frames.h),
// "%s has no frame %d" past the last.
void LumoSetIntOptionGif(const char* name, int value);
int LumoGetIntOptionGif(const char* name);

// The profile key of the GIF setting ("GifInterlace"), with the option it sets.
std::span<const ProfileKey> GifProfileKeys();
