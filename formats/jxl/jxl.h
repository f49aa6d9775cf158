// JPEG XL through libjxl. Loads the picture (the first frame of an animation, composited as libjxl
// shows it, turned upright by its orientation) as GRAY256 when it has one colour channel and as RGB
// otherwise, samples of any depth reduced to 8 bits, alpha composited over white, as for PNG. Saves
// gray kinds (BW, GRAY16, GRAY256) as one 8-bit channel and the others as 8-bit RGB, sRGB, on the
// calling thread; lossless files load back pixel for pixel. No resolution or metadata is saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadJxl(const char* fileName);
// The size and kind LumoLoadJxl would give, from the codestream's header (no pixels decoded).
ImageInfo ReadJxlInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadJxlFrom(InputFile& file);

// True when the bytes open as a bare codestream (FF 0A) or as the ISO BMFF container, whose first
// box is the 12-byte signature box "JXL " (00 00 00 0C 'J' 'X' 'L' ' ' 0D 0A 87 0A).
bool LooksLikeJxl(const uint8_t* bytes, size_t size);

void LumoSaveJxl(const IMG* image, const char* fileName);
// Writes the whole file to sink (LumoSaveJxl writes through this); no start or end report.
void WriteJxl(const IMG* image, const ByteSink& sink);

// Saving: "quality" (90), 0 (smallest) to 100 (lossless), turned into a Butteraugli distance by
// JxlDistanceOf (90 gives 1.0, cjxl's default); "lossless" (0), 1 for lossless files whatever the
// quality; "effort" (7), 1 (fastest) to 9 (slowest, smallest).
void LumoSetIntOptionJxl(const char* name, int value);
int LumoGetIntOptionJxl(const char* name);

// The Butteraugli distance of a quality (clamped to 0-100), as cjxl's -q gives it: 0 for 100
// (lossless); 0.1 + (100 - quality) x 0.09 from 30 to 99; 6.4 + 2.5^((30 - quality) / 5) / 6.25
// below 30, capped at 25, the largest distance libjxl takes.
double JxlDistanceOf(int quality);

// The profile keys of the JPEG XL settings ("JxlQuality", "JxlLossless", "JxlEffort"), with the
// options they set.
std::span<const ProfileKey> JxlProfileKeys();
