// WebP through libwebp: still files (lossy VP8, lossless VP8L, either with an alpha channel) and
// animated files, of which the first frame is loaded as libwebp's animation decoder composes it on
// the canvas. Every file loads as RGB, transparency composited over white, since no other format
// here holds it. Saves every kind as RGB (what libwebp stores), lossy at a quality or lossless; a
// lossless file holds the picture's colours exactly.
#pragma once

#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadWebp(const char* fileName);
// The size LumoLoadWebp would give at full size (always RGB), from the headers alone: the first
// frame's header of a still file, the canvas of a file with the extended header.
ImageInfo ReadWebpInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadWebpFrom(InputFile& file);

// Writes the image (any kind) with the options below; a side over 16383 pixels cannot be stored.
void LumoSaveWebp(const IMG* image, const char* fileName);
// Writes the whole file to sink, without the start and end progress reports that belong to the
// caller (LumoSaveWebp writes through this).
void WriteWebp(const IMG* image, const ByteSink& sink);

// Saving: "quality" (75), 0-100: the lossy quality, and for lossless files how hard the encoder
// tries to make them small (as the reference encoder's -q); "lossless" (0): 1 writes lossless files.
// Loading: "thumbnailw" and "thumbnailh" (0): when both are set, a still picture larger than that
// box is decoded by libwebp straight to the size that fits in it (the contact sheets' thumbnails);
// "frame" (0): N from 1 loads frame N of an animation as it shows on the canvas (a still file has
// frame 1 only).
void LumoSetIntOptionWebp(const char* name, int value);
int LumoGetIntOptionWebp(const char* name);

// The profile keys of the WebP settings ("WebpQuality", "WebpLossless"), with the options they set.
std::span<const ProfileKey> WebpProfileKeys();
