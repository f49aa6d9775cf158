#include <algorithm>
#include <cmath>

#include "core/options.h"
#include "formats/jxl/jxl.h"

namespace {

int qualityOption = 90;   // distance 1.0, cjxl's default
int losslessOption = 0;   // 1: lossless files
int effortOption = 7;     // cjxl's default effort

const NamedOption<int> kIntOptions[] = {
    {"quality", &qualityOption}, {"lossless", &losslessOption}, {"effort", &effortOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown JPEG XL option: %s");

// The user's JPEG XL settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kJxlProfileKeys[] = {
    {"JxlQuality", "90", "0-100", "quality", KeyUse::Save},
    {"JxlLossless", "0", "0,1", "lossless", KeyUse::Save},
    {"JxlEffort", "7", "1-9", "effort", KeyUse::Save},
};

constexpr double kLargestDistance = 25.0;  // libjxl refuses a frame distance above this

}  // namespace

void LumoSetIntOptionJxl(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionJxl", name, value); }
int LumoGetIntOptionJxl(const char* name) { return kIntRegistry.get("LumoGetIntOptionJxl", name); }
std::span<const ProfileKey> JxlProfileKeys() { return kJxlProfileKeys; }

// cjxl 0.7 maps -q this way, so that its qualities roughly match libjpeg's. Its curve below 30
// passes 25 under quality 5, where cjxl then fails ("Distance has to be in [0.0..25.0]"); here those
// qualities take the largest distance instead, so every quality the key allows saves a file.
double JxlDistanceOf(int quality) {
    quality = std::clamp(quality, 0, 100);
    if (quality == 100) return 0.0;
    if (quality >= 30) return 0.1 + (100 - quality) * 0.09;
    return std::min(kLargestDistance, 6.4 + std::pow(2.5, (30 - quality) / 5.0) / 6.25);
}
