#include "cli/transform.h"

#include <strings.h>

#include <cstdio>

#include "core/convert.h"
#include "core/rescale.h"
#include "platform/profile.h"

namespace {

struct KindWord {
    const char* word;
    ImageKind kind;
};
constexpr KindWord kKindWords[] = {{"bw", ImageKind::BW},           {"gray16", ImageKind::GRAY16},
                                   {"gray256", ImageKind::GRAY256}, {"color16", ImageKind::COLOR16},
                                   {"color256", ImageKind::COLOR256}, {"rgb", ImageKind::RGB}};

// The conversion options the viewer's conversion commands take from the profile.
void SetConversionOptionsFromProfile(ImageKind target) {
    const int dither = ProfileInt("NoDither", 0) == 0 ? 1 : 0;
    if (target == ImageKind::BW) LumoSetIntOptionConvert("threshold", ProfileInt("Threshold", 127));
    if (target == ImageKind::BW || target == ImageKind::COLOR16 || target == ImageKind::COLOR256)
        LumoSetIntOptionConvert("dither", dither);
}

ImagePtr ConvertTo(const IMG* image, ImageKind kind) {
    switch (kind) {
        case ImageKind::BW: return LumoToBW(image);
        case ImageKind::GRAY16: return LumoToGRAY16(image);
        case ImageKind::GRAY256: return LumoToGRAY256(image);
        case ImageKind::COLOR16: return LumoToCOLOR16(image);
        case ImageKind::COLOR256: return LumoToCOLOR256(image);
        case ImageKind::RGB: break;
    }
    return LumoToRGB(image);
}

}  // namespace

std::optional<ImageKind> ParseKind(const std::string& text) {
    for (const KindWord& entry : kKindWords)
        if (strcasecmp(text.c_str(), entry.word) == 0) return entry.kind;
    return std::nullopt;
}

bool ParseSize(const std::string& text, int& width, int& height) {
    char end = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &end) == 2 && width > 0 && height > 0;
}

ImagePtr ApplyTransform(ImagePtr image, const ImageTransform& transform) {
    if (transform.width > 0) image = LumoRescale(image.get(), transform.width, transform.height);
    if (transform.kind && KindOf(*image) != *transform.kind) {
        SetConversionOptionsFromProfile(*transform.kind);
        image = ConvertTo(image.get(), *transform.kind);
    }
    return image;
}
