// What `lumo info` tells of a file: its size and kind as a load with the current settings would give
// them, read from the file's header where the format allows, without decoding its pixels.
#pragma once

#include <optional>

#include "core/image.h"

struct ImageInfo {
    int width = 0;
    int height = 0;
    ImageKind kind = ImageKind::RGB;
};

// The info of a file, by the loader the dispatch picks for it (its signature, else its extension),
// with the profile's load settings copied into the codec's options first. Every format but raw fax is
// read from its header (see image_info.cpp); raw fax is loaded. An unknown extension shows the
// dispatch's message box and yields nothing, as does a Photo CD thumbnail past the end of its file;
// damaged headers are LumoFailure with the loader's own message.
std::optional<ImageInfo> ReadImageInfo(const char* fileName);

// The info of a loaded picture.
ImageInfo InfoOf(const IMG& image);
