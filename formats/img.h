// IMG: raw 8-bit gray pictures, a 64-byte header then top-down rows of width bytes.
#pragma once

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"

// Loads a GRAY256 image.
ImagePtr LumoLoadIMG(const char* fileName);
ImagePtr LoadIMGFrom(InputFile& file);
// The size LumoLoadIMG would give (always GRAY256), from the 64-byte header alone.
ImageInfo ReadIMGInfo(const char* fileName);
// Saves any kind (other kinds are converted to GRAY256 first).
void LumoSaveIMG(const IMG* image, const char* fileName);
// Writes the whole file to sink, with the per-row progress reports but without the start and end
// reports that belong to the caller.
void WriteIMG(const IMG* image, const ByteSink& sink);
