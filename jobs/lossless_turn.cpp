#include "jobs/lossless_turn.h"

#include <strings.h>

#include <cstring>

#include "formats/dispatch.h"
#include "formats/jpeg/jpeg.h"
#include "formats/metadata/keep_metadata.h"

namespace {

int ProfileKeyValue(std::span<const ProfileKey> keys, const char* name) {
    for (const ProfileKey& key : keys)
        if (std::strcmp(key.key, name) == 0) return ReadProfileKeyInt(key);
    return 0;
}

}  // namespace

bool AutoRotateSetting() { return ProfileKeyValue(JpegProfileKeys(), "AutoRotate") != 0; }

JpegTurn UserJpegTurn(Orientation step) {
    JpegTurn turn;
    turn.step = step;
    turn.uprightFirst = AutoRotateSetting();
    turn.keepMarkers = ProfileKeyValue(MetadataProfileKeys(), "KeepMetadata") != 0;
    return turn;
}

Orientation TurnOf(const ImageTransform& transform) {
    return ThenOrient(transform.rotation.value_or(Orientation::Upright), transform.flip.value_or(Orientation::Upright));
}

bool OnlyTurns(const ImageTransform& transform) {
    return !transform.kind && !transform.toSrgb && transform.width == 0 && transform.height == 0 &&
           transform.percent == 0;
}

bool IsJpegName(const std::string& fileName) {
    const std::string extension = SplitFileName(fileName).extension;
    return strcasecmp(extension.c_str(), "jpg") == 0 || strcasecmp(extension.c_str(), "jpeg") == 0;
}
