#include "jobs/transform.h"

#include <strings.h>

#include <cstdio>

#include "core/rescale.h"
#include "jobs/conversion.h"

namespace {

struct KindWord {
    const char* word;
    ImageKind kind;
};
constexpr KindWord kKindWords[] = {{"bw", ImageKind::BW},           {"gray16", ImageKind::GRAY16},
                                   {"gray256", ImageKind::GRAY256}, {"color16", ImageKind::COLOR16},
                                   {"color256", ImageKind::COLOR256}, {"rgb", ImageKind::RGB}};

}  // namespace

std::optional<ImageKind> ParseKind(const std::string& text) {
    for (const KindWord& entry : kKindWords)
        if (strcasecmp(text.c_str(), entry.word) == 0) return entry.kind;
    return std::nullopt;
}

std::optional<Orientation> ParseRotation(const std::string& text) {
    if (text == "90") return Orientation::RotateRight;
    if (text == "180") return Orientation::Rotate180;
    if (text == "270") return Orientation::RotateLeft;
    return std::nullopt;
}

std::optional<Orientation> ParseFlip(const std::string& text) {
    if (strcasecmp(text.c_str(), "h") == 0 || strcasecmp(text.c_str(), "horizontal") == 0)
        return Orientation::FlipHorizontal;
    if (strcasecmp(text.c_str(), "v") == 0 || strcasecmp(text.c_str(), "vertical") == 0)
        return Orientation::FlipVertical;
    return std::nullopt;
}

bool ParseSize(const std::string& text, int& width, int& height) {
    char end = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &end) == 2 && width > 0 && height > 0;
}

ImagePtr ApplyTransform(ImagePtr image, const ImageTransform& transform) {
    if (transform.rotation) image = LumoOrientImage(image.get(), *transform.rotation);
    if (transform.flip) image = LumoOrientImage(image.get(), *transform.flip);
    if (transform.width > 0) image = LumoRescale(image.get(), transform.width, transform.height);
    if (transform.kind && KindOf(*image) != *transform.kind) {
        image = ConvertWithUserSettings(image.get(), *transform.kind);
    }
    return image;
}
