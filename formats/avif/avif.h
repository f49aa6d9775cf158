// AVIF through libavif (AV1 decoded by dav1d, encoded by libaom, as libavif picks them). Loads the
// primary picture, or the first frame of a sequence ("avis"), as GRAY256 when it is monochrome
// (4:0:0) and as RGB otherwise; 10- and 12-bit samples are reduced to 8 bits and alpha is
// composited over white, as for PNG. Saves gray kinds (BW, GRAY16, GRAY256) as 4:0:0 and the
// others as 4:4:4 colour; quality 100 is lossless (RGB through the identity matrix), so those
// files load back pixel for pixel. AVIF keeps no resolution: it is not saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadAvif(const char* fileName);
// The size and kind LumoLoadAvif would give, from the boxes before the coded data (nothing decoded).
ImageInfo ReadAvifInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadAvifFrom(InputFile& file);

// True when the bytes open with an ISO BMFF "ftyp" box whose major or compatible brands name
// "avif" (a still picture) or "avis" (a sequence).
bool LooksLikeAvif(const uint8_t* bytes, size_t size);

void LumoSaveAvif(const IMG* image, const char* fileName);
// Writes the whole file to sink (LumoSaveAvif writes through this); no start or end report.
void WriteAvif(const IMG* image, const ByteSink& sink);

// Saving: "quality" (84), 0 (smallest) to 100 (lossless), turned into AV1's quantizer 63 to 0 as
// ((100 - quality) * 63 + 50) / 100, the highest quantizer the encoder may use (84 gives 10, the
// range avifenc uses by default); "speed" (6), 0 (slowest, smallest) to 10 (fastest).
void LumoSetIntOptionAvif(const char* name, int value);
int LumoGetIntOptionAvif(const char* name);

// The highest AV1 quantizer of a quality (clamped to 0-100).
int AvifQuantizerOf(int quality);

// The profile keys of the AVIF settings ("AvifQuality", "AvifSpeed"), with the options they set.
std::span<const ProfileKey> AvifProfileKeys();
