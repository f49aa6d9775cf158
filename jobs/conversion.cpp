#include "jobs/conversion.h"

#include "core/convert.h"
#include "jobs/settings.h"

namespace {

// The conversion's keys: the threshold of conversions to BW, and dithering off for BW and palettes.
constexpr ProfileKey kConversionProfileKeys[] = {
    {"Threshold", "127", "1-254", nullptr, KeyUse::None, "Threshold must be between 1 and 254"},
    {"NoDither", "0", "0,1", nullptr, KeyUse::None},
};

}  // namespace

std::span<const ProfileKey> ConversionProfileKeys() { return kConversionProfileKeys; }

void SetConversionOptionsFromProfile(ImageKind target) {
    if (target == ImageKind::BW) LumoSetIntOptionConvert("threshold", SettingInt("Threshold"));
    if (target == ImageKind::BW || target == ImageKind::COLOR16 || target == ImageKind::COLOR256)
        LumoSetIntOptionConvert("dither", SettingInt("NoDither") == 0 ? 1 : 0);
}

ImagePtr ConvertWithUserSettings(const IMG* image, ImageKind target) {
    SetConversionOptionsFromProfile(target);
    switch (target) {
        case ImageKind::BW: return LumoToBW(image);
        case ImageKind::GRAY16: return LumoToGRAY16(image);
        case ImageKind::GRAY256: return LumoToGRAY256(image);
        case ImageKind::COLOR16: return LumoToCOLOR16(image);
        case ImageKind::COLOR256: return LumoToCOLOR256(image);
        case ImageKind::RGB: break;
    }
    return LumoToRGB(image);
}
