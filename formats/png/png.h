// PNG through libspng: loads every colour type and bit depth (interlaced too) into the nearest
// kind: gray of 1 bit as BW, of 2 and 4 bits as GRAY16, of 8 and 16 bits as GRAY256; palettes of
// up to 4 bits as COLOR16 and of 8 bits as COLOR256; RGB as RGB. 16-bit samples are reduced to
// 8 bits, and transparency (alpha channels and tRNS) is composited over white, since no other
// format here holds it. Saves every kind without changing a pixel: BW as 1-bit gray, GRAY16 as
// 4-bit gray, GRAY256 as 8-bit gray, palettes as palettes of 4 or 8 bits, RGB as 8-bit RGB.
#pragma once

#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadPng(const char* fileName);
// The size and kind LumoLoadPng would give, from the signature and IHDR alone. An IHDR that libspng
// would refuse (a bad colour type, depth or CRC) is not checked here.
ImageInfo ReadPngInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadPngFrom(InputFile& file);

// Writes the image (any kind); the resolution, when stated, goes into a pHYs chunk.
void LumoSavePng(const IMG* image, const char* fileName);
// Writes the whole file to sink with the per-row progress reports, without the start and end
// reports that belong to the caller (LumoSavePng writes through this).
void WritePng(const IMG* image, const ByteSink& sink);

// Saving: "compression" (6), the zlib level 0 (stored) to 9 (smallest).
void LumoSetIntOptionPng(const char* name, int value);
int LumoGetIntOptionPng(const char* name);

// The profile key of the PNG setting ("PngCompression"), with the option it sets.
std::span<const ProfileKey> PngProfileKeys();
