// JPEG through libjpeg: loads gray, colour (YCbCr or RGB) and four-component (CMYK, YCCK) files
// (through their embedded CMYK profile when they carry one), baseline, progressive or
// arithmetic-coded, as GRAY256, RGB or quantized COLOR256, at full or reduced size, upright; saves
// every kind as a baseline JFIF file (gray or YCbCr) with an optional comment.
#pragma once

#include <span>

#include "core/image.h"
#include "formats/image_info.h"
#include "formats/byte_sink.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadJpeg(const char* path);
// The size and kind LumoLoadJpeg would give with the current options, from the file's header alone.
ImageInfo ReadJpegInfo(const char* path);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadJpegFrom(InputFile& file);
// Writes the image; the caller's image is left exactly as it was.
void LumoSaveJpeg(const IMG* image, const char* path);
// Writes the whole file to sink (name stands for it in messages), with the per-row progress reports
// but without the start and end reports that belong to the caller.
void WriteJpeg(const IMG* image, const ByteSink& sink, const char* name);

// The options "quality", "readrgb", "forcegray", "optimize", "fast", "ratio", "crsubsampling",
// "usefloat", "thumbnailw", "thumbnailh", "thumbnailmode" and "autorotate" (photos are turned
// upright as their Exif Orientation tag says; saved files carry no such tag).
void LumoSetIntOptionJpeg(const char* name, int value);
int LumoGetIntOptionJpeg(const char* name);
// The option "comment": the text of the comment marker of saved files, or null for none.
// The text is copied, so the caller's string need not outlive the call.
void LumoSetStringOptionJpeg(const char* name, const char* text);
const char* LumoGetStringOptionJpeg(const char* name);

// The profile keys of the JPEG settings ("JpegQuality", ...), with the options they set.
std::span<const ProfileKey> JpegProfileKeys();
