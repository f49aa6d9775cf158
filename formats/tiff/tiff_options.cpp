#include "core/options.h"
#include "formats/tiff/tiff.h"
#include "formats/tiff/tiff_options.h"

namespace {

TiffOptions options{.software = kSoftwareName};

constexpr NamedOption<int> kIntOptions[] = {
    {"hsubsampling", &options.hSubsampling},
    {"vsubsampling", &options.vSubsampling},
    {"compression", &options.compression},
    {"predictor", &options.predictor},
    {"optionsg3", &options.optionsG3},
    {"rowsperstrip", &options.rowsPerStrip},
    {"ycbcr", &options.ycbcr},
    {"autorotate", &options.autoRotate},
    {"page", &options.page},
};
constexpr OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown tiff option: %s");

constexpr NamedOption<std::optional<std::string>> kStringOptions[] = {{"software", &options.software}};
const OptionRegistry<std::optional<std::string>> kStringRegistry(kStringOptions, "Unknown tiff option: %s");

// The user's TIFF settings are words that the dispatch's TIFF rule reads itself (it decides the
// compression from them and the image kind), so no key sets an option directly.
constexpr ProfileKey kTiffProfileKeys[] = {
    {"TiffCompression", "LZW", "LZW,Packbits,Raw", nullptr, KeyUse::None},
    {"TiffBWCompression", "", ",FAX3,FAX32D,FAX4", nullptr, KeyUse::None},
    {"TiffColorCompression", "", ",JPEG", nullptr, KeyUse::None},
    {"TiffPredictor", "Never", "Never,Smart,Always", nullptr, KeyUse::None},
};

}  // namespace

const TiffOptions& CurrentTiffOptions() { return options; }

std::span<const ProfileKey> TiffProfileKeys() { return kTiffProfileKeys; }

void LumoSetIntOptionTiff(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionTiff", name, value); }

int LumoGetIntOptionTiff(const char* name) { return kIntRegistry.get("LumoGetIntOptionTiff", name); }

void LumoSetStringOptionTiff(const char* name, const char* text) {
    kStringRegistry.set("LumoSetStringOptionTiff", name, text ? std::optional<std::string>(text) : std::nullopt);
}

const char* LumoGetStringOptionTiff(const char* name) {
    const std::optional<std::string>& text = kStringRegistry.get("LumoGetStringOptionTiff", name);
    return text ? text->c_str() : nullptr;
}
