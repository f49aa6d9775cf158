// JPEG XL through libjxl, read only: the picture (the first frame of an animation, composited as
// libjxl shows it, turned upright by its orientation) as GRAY256 when it has one colour channel and
// as RGB otherwise, samples of any depth reduced to 8 bits, alpha composited over white, as for PNG.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/image.h"
#include "formats/image_info.h"
#include "formats/input_file.h"

ImagePtr LumoLoadJxl(const char* fileName);
// The size and kind LumoLoadJxl would give, from the codestream's header (no pixels decoded).
ImageInfo ReadJxlInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadJxlFrom(InputFile& file);

// True when the bytes open as a bare codestream (FF 0A) or as the ISO BMFF container, whose first
// box is the 12-byte signature box "JXL " (00 00 00 0C 'J' 'X' 'L' ' ' 0D 0A 87 0A).
bool LooksLikeJxl(const uint8_t* bytes, size_t size);
