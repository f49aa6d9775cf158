#include "jobs/conversion.h"

#include "core/convert.h"
#include "core/image_metadata.h"
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
    ImagePtr converted;
    switch (target) {
        case ImageKind::BW: converted = LumoToBW(image); break;
        case ImageKind::GRAY16: converted = LumoToGRAY16(image); break;
        case ImageKind::GRAY256: converted = LumoToGRAY256(image); break;
        case ImageKind::COLOR16: converted = LumoToCOLOR16(image); break;
        case ImageKind::COLOR256: converted = LumoToCOLOR256(image); break;
        case ImageKind::RGB: converted = LumoToRGB(image); break;
    }
    LumoCopyMetadata(image, converted.get());  // the photo keeps what it carries
    return converted;
}
