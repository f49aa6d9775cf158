#include "core/options.h"
#include "formats/jbig/jbig.h"

namespace {

int layersOption = 1;           // resolution layers written; above 1 this decides alone
int lowestWidthOption = 0;      // with lowestHeightOption: largest size of the lowest layer written
int lowestHeightOption = 0;
int maxReadWidthOption = 0;     // with maxReadHeightOption: largest layer a load goes up to
int maxReadHeightOption = 0;

const NamedOption<int> kIntOptions[] = {
    {"nblayers", &layersOption},          {"lrlmaxw", &lowestWidthOption},     {"lrlmaxh", &lowestHeightOption},
    {"maxsizew", &maxReadWidthOption},    {"maxsizeh", &maxReadHeightOption},
};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown Jbig option: %s");

// The user's JBIG settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kJbigProfileKeys[] = {
    {"JbigLayers", "1", "1-16", "nblayers", KeyUse::Save, "Resolution layers must be between 1 and 16"},
    {"JbigLrlmaxw", "640", "0,32-", "lrlmaxw", KeyUse::Save, "Smallest layer can't be smaller than 32x32"},
    {"JbigLrlmaxh", "480", "0,32-", "lrlmaxh", KeyUse::Save, "Smallest layer can't be smaller than 32x32"},
    {"JbigMaxsizew", "0", "0,8-", "maxsizew", KeyUse::Load, "Smallest read image must be at least 8x8"},
    {"JbigMaxsizeh", "0", "0,8-", "maxsizeh", KeyUse::Load, "Smallest read image must be at least 8x8"},
};

}  // namespace

void LumoSetIntOptionJbig(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionJbig", name, value); }
int LumoGetIntOptionJbig(const char* name) { return kIntRegistry.get("LumoGetIntOptionJbig", name); }
std::span<const ProfileKey> JbigProfileKeys() { return kJbigProfileKeys; }
