// MOK: the system's own lossless format for GRAY256 and RGB pictures. A file holds a resolution
// pyramid, the 1 x 1 top in the header and then each finer level coded against the one above, so
// that a load can stop early and give the picture at 1/2, 1/4 or 1/8 of its size ("mokratio").
#pragma once

#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/layered_load.h"
#include "formats/profile_key.h"

// Loads a GRAY256 or RGB image at the size "mokratio" asks for.
ImagePtr LumoLoadMok(const char* fileName);
// The same load handing each level decoded before the last to coarse, coarsest first (the 1 x 1
// top included); the finer levels also report progress every few rows.
ImagePtr LumoLoadMokInLevels(const char* fileName, const CoarseLevelSink& coarse);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadMokFrom(InputFile& file);
// The size and kind a load with the current "mokratio" gives, from the header alone; the loader's
// refusals of a damaged header.
ImageInfo ReadMokInfo(const char* fileName);
ImageInfo ReadMokInfoFrom(InputFile& file);

// Saves a GRAY256 or RGB image (other kinds are refused); the image is left as it was.
void LumoSaveMok(const IMG* image, const char* fileName);
// Writes the whole file for image to sink, with the per-level progress reports but without the
// start and end reports that belong to the caller.
void WriteMok(const IMG* image, const ByteSink& sink);

// The option "mokratio" (1): 1 loads the full size, 2 half, 3 a quarter, 4 an eighth; each step
// stops one pyramid level earlier, never above the level just below the 1 x 1 top.
void LumoSetIntOptionMok(const char* name, int value);
int LumoGetIntOptionMok(const char* name);

// The profile key of the MOK setting ("MokRatio"), with the option it sets.
std::span<const ProfileKey> MokProfileKeys();
