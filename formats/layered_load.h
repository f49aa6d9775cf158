// Loads that hand over a file's coarse levels before its full picture. MOK files (a pyramid), JBIG
// files with resolution layers and Photo CD image packs (five resolutions) hold a small picture
// before the large one, so a viewer can show something at once and refine it as the load goes on.
#pragma once

#include <functional>

#include "core/image.h"

// Receives each coarse level, coarsest first, while the load goes on. The level belongs to the
// loader and lives only for the call: a receiver that keeps it copies it. The receiver may throw
// (LumoFailure or its own exception) to abandon the load; the loader releases what it holds.
using CoarseLevelSink = std::function<void(const IMG& level)>;

// True when the loader the dispatch picks for the file (its signature, else its extension) can give
// coarse levels: MOK, JBIG and Photo CD image packs (not overview files).
bool HasCoarseLevels(const char* fileName);

// Loads as LoadImageByExtension does (the same options from the profile, the same picture, byte
// for byte), handing each coarser level to coarse first. Formats without levels load directly.
ImagePtr LoadImageInLevels(const char* fileName, const CoarseLevelSink& coarse);
