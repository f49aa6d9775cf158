#include "core/options.h"
#include "formats/webp/webp.h"

namespace {

int qualityOption = 75;    // lossy quality, or the effort of a lossless save
int losslessOption = 0;    // 1: lossless files
int thumbnailWidth = 0;    // the box a reduced-size load fits in; 0 for full size
int thumbnailHeight = 0;
int frameOption = 0;       // N from 1: frame N of an animation, composed on the canvas

const NamedOption<int> kIntOptions[] = {{"quality", &qualityOption},
                                        {"lossless", &losslessOption},
                                        {"thumbnailw", &thumbnailWidth},
                                        {"thumbnailh", &thumbnailHeight},
                                        {"frame", &frameOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown WebP option: %s");

// The user's WebP settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kWebpProfileKeys[] = {
    {"WebpQuality", "75", "0-100", "quality", KeyUse::Save},
    {"WebpLossless", "0", "0,1", "lossless", KeyUse::Save},
};

}  // namespace

void LumoSetIntOptionWebp(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionWebp", name, value); }
int LumoGetIntOptionWebp(const char* name) { return kIntRegistry.get("LumoGetIntOptionWebp", name); }
std::span<const ProfileKey> WebpProfileKeys() { return kWebpProfileKeys; }
