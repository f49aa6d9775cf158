#include "formats/metadata/keep_metadata.h"

#include "core/messages.h"

namespace {

constexpr ProfileKey kMetadataProfileKeys[] = {
    {"KeepMetadata", "1", "0,1", "keepmetadata", KeyUse::LoadAndSave},
};

}  // namespace

std::span<const ProfileKey> MetadataProfileKeys() { return kMetadataProfileKeys; }

bool KeepingMetadata() { return LumoGetIntOption("keepmetadata") != 0; }

ImageMetadata MetadataLoadsKeep(ImageMetadata metadata) {
    if (KeepingMetadata()) return metadata;
    ImageMetadata profileOnly;
    profileOnly.icc = std::move(metadata.icc);
    return profileOnly;
}

const ImageMetadata* MetadataToSave(const IMG* image) { return KeepingMetadata() ? LumoGetMetadata(image) : nullptr; }

MetadataOff::MetadataOff() : previous_(LumoGetIntOption("keepmetadata")) { LumoSetIntOption("keepmetadata", 0); }

MetadataOff::~MetadataOff() { LumoSetIntOption("keepmetadata", previous_); }
