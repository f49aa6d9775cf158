#include "core/options.h"
#include "formats/png/png.h"

namespace {

int compressionOption = 6;  // zlib level of the pixel data written

const NamedOption<int> kIntOptions[] = {{"compression", &compressionOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown PNG option: %s");

// The user's PNG setting in the profile, and the option the dispatch copies it into.
constexpr ProfileKey kPngProfileKeys[] = {{"PngCompression", "6", "0-9", "compression", KeyUse::Save}};

}  // namespace

void LumoSetIntOptionPng(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionPng", name, value); }
int LumoGetIntOptionPng(const char* name) { return kIntRegistry.get("LumoGetIntOptionPng", name); }
std::span<const ProfileKey> PngProfileKeys() { return kPngProfileKeys; }
