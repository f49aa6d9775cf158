#include "tests/support/icc_profiles.h"

#include <lcms2.h>

#include <cmath>

#include "core/image_metadata.h"
#include "tests/support/lumo_test.h"

namespace {

std::vector<uint8_t> Saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Writes the description tag (or removes it, for null) and saves the profile.
std::vector<uint8_t> Described(cmsHPROFILE profile, const char* text) {
    if (!text) {
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, nullptr);  // removes the tag
        return Saved(profile);
    }
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", text);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    return Saved(profile);
}

}  // namespace

std::vector<uint8_t> ProfileDescribedAs(const char* description) {
    return Described(cmsCreate_sRGBProfile(), description);
}

std::vector<uint8_t> DisplayP3Profile() {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return Described(profile, "Display P3");
}

std::vector<uint8_t> SavedSrgbProfile() { return Saved(cmsCreate_sRGBProfile()); }

std::vector<uint8_t> LinearGrayProfile() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return Saved(profile);
}

ImagePtr PhotoLike(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / (width - 1), v = double(y) / (height - 1);
            const int red = static_cast<int>(255 * u);
            const int green = static_cast<int>(255 * v);
            const int blue = static_cast<int>(127.5 + 127.5 * std::sin(3.0 * (u + v)));
            SetPixel(*image, x, y, static_cast<uint32_t>(red << 16 | green << 8 | blue));
        }
    return image;
}

void AttachProfile(IMG* image, std::vector<uint8_t> profile) {
    ImageMetadata metadata;
    metadata.icc = std::move(profile);
    metadata.comment = "kept";
    LumoSetMetadata(image, std::move(metadata));
}

