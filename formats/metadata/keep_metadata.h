// Whether pictures keep their metadata through a load and a save: the profile key "KeepMetadata"
// (default 1), copied by the dispatch into the global option "keepmetadata" before every load and
// save; `lumo convert --strip` sets it to 0 for the run. When it is 0 loaders keep the colour
// profile alone (it still decides how the pixels are shown and converted) and savers write nothing.
#pragma once

#include <span>

#include "core/image.h"
#include "core/image_metadata.h"
#include "formats/profile_key.h"

std::span<const ProfileKey> MetadataProfileKeys();

// True when loaders are to keep what a file carries beside its pixels.
bool KeepingMetadata();
// The part of a file's metadata a load keeps: all of it while metadata is kept, else the profile.
ImageMetadata MetadataLoadsKeep(ImageMetadata metadata);
// What a saver writes beside the pixels: the image's metadata, or null when it has none or
// metadata is not kept.
const ImageMetadata* MetadataToSave(const IMG* image);

// Sets "keepmetadata" to 0 (thumbnails need none) and puts the old value back when it goes.
class MetadataOff {
public:
    MetadataOff();
    ~MetadataOff();
    MetadataOff(const MetadataOff&) = delete;
    MetadataOff& operator=(const MetadataOff&) = delete;

private:
    int previous_;
};
