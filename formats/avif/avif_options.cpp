#include <algorithm>

#include "core/options.h"
#include "formats/avif/avif.h"

namespace {

int qualityOption = 84;  // the highest quantizer avifenc allows by default (10)
int speedOption = 6;     // avifenc's default speed

const NamedOption<int> kIntOptions[] = {{"quality", &qualityOption}, {"speed", &speedOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown AVIF option: %s");

// The user's AVIF settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kAvifProfileKeys[] = {
    {"AvifQuality", "84", "0-100", "quality", KeyUse::Save},
    {"AvifSpeed", "6", "0-10", "speed", KeyUse::Save},
};

}  // namespace

void LumoSetIntOptionAvif(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionAvif", name, value); }
int LumoGetIntOptionAvif(const char* name) { return kIntRegistry.get("LumoGetIntOptionAvif", name); }
std::span<const ProfileKey> AvifProfileKeys() { return kAvifProfileKeys; }

int AvifQuantizerOf(int quality) { return ((100 - std::clamp(quality, 0, 100)) * 63 + 50) / 100; }
