#include "jobs/conversion.h"

#include "core/convert.h"
#include "platform/profile.h"

void SetConversionOptionsFromProfile(ImageKind target) {
    if (target == ImageKind::BW) LumoSetIntOptionConvert("threshold", ProfileInt("Threshold", 127));
    if (target == ImageKind::BW || target == ImageKind::COLOR16 || target == ImageKind::COLOR256)
        LumoSetIntOptionConvert("dither", ProfileInt("NoDither", 0) == 0 ? 1 : 0);
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
