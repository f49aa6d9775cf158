// JBIG: loads a bi-level image entity through JBIG-KIT as BW, stopping at a small resolution layer
// when asked (plane 0 of a file with several bit planes); saves any kind as a single-plane file,
// converted to BW first, with as many progressive resolution layers as the options ask for.
#pragma once

#include <span>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/layered_load.h"
#include "formats/profile_key.h"

ImagePtr LumoLoadJbig(const char* fileName);
// The same load handing each resolution layer below the one it gives to coarse, lowest first.
ImagePtr LumoLoadJbigInLevels(const char* fileName, const CoarseLevelSink& coarse);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadJbigFrom(InputFile& file);
// The size a load with the current "maxsizew" and "maxsizeh" gives, without decoding (see
// jbig_info.cpp); the loader's refusals of a damaged header.
ImageInfo ReadJbigInfo(const char* fileName);
ImageInfo ReadJbigInfoFrom(InputFile& file);

// Writes the image (any kind; the caller's image is left as it was).
void SaveJbig(const IMG* image, const char* fileName);
// Writes the whole file to sink, with the progress reports of the conversion and the encoder but
// without the start and end reports that belong to the caller (SaveJbig writes through this).
void WriteJbig(const IMG* image, const ByteSink& sink);

// Saving: "nblayers" (1; above 1, that many resolution layers), "lrlmaxw" and "lrlmaxh" (0; both
// set and "nblayers" at most 1: enough layers for the lowest to fit in lrlmaxw x lrlmaxh).
// Loading: "maxsizew" and "maxsizeh" (0; both set: stop at the last layer within that size).
void LumoSetIntOptionJbig(const char* name, int value);
int LumoGetIntOptionJbig(const char* name);

// The profile keys of the JBIG settings ("JbigLayers", ...), with the options they set.
std::span<const ProfileKey> JbigProfileKeys();
