#include "jobs/transform.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "core/rescale.h"
#include "formats/colour/srgb_conversion.h"
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

bool ParseResize(const std::string& text, ImageTransform& transform) {
    int percent = 0, width = 0, height = 0;
    bool keepAspect = true;
    char end = 0;
    if (!text.empty() && text.back() == '%') {
        if (std::sscanf(text.c_str(), "%d%%%c", &percent, &end) != 1 || percent <= 0) return false;
    } else if (!text.empty() && text.back() == '!') {
        if (!ParseSize(text.substr(0, text.size() - 1), width, height)) return false;
        keepAspect = false;
    } else if (!text.empty() && text.front() == 'x') {
        if (std::sscanf(text.c_str(), "x%d%c", &height, &end) != 1 || height <= 0) return false;
    } else if (!text.empty() && text.back() == 'x') {
        if (std::sscanf(text.c_str(), "%dx%c", &width, &end) != 1 || width <= 0) return false;
    } else if (!ParseSize(text, width, height)) {
        return false;
    }
    transform.width = width;
    transform.height = height;
    transform.keepAspect = keepAspect;
    transform.percent = percent;
    return true;
}

namespace {

// a * b / c rounded to the nearest whole number, at least 1.
int Scaled(long long a, long long b, long long c) { return static_cast<int>(std::max(1LL, (2 * a * b + c) / (2 * c))); }

}  // namespace

void RescaledSize(const ImageTransform& transform, int& width, int& height) {
    const int w = width, h = height;
    if (transform.percent > 0) {
        width = Scaled(w, transform.percent, 100);
        height = Scaled(h, transform.percent, 100);
    } else if (!transform.keepAspect) {
        if (transform.width > 0) width = transform.width, height = transform.height;
    } else if (transform.height == 0 || (transform.width > 0 && 1LL * h * transform.width <= 1LL * w * transform.height)) {
        width = transform.width;  // the width is the tighter bound
        height = Scaled(h, transform.width, w);
    } else {
        width = Scaled(w, transform.height, h);
        height = transform.height;
    }
}

ImagePtr ApplyTransform(ImagePtr image, const ImageTransform& transform) {
    if (transform.rotation) image = LumoOrientImage(image.get(), *transform.rotation);
    if (transform.flip) image = LumoOrientImage(image.get(), *transform.flip);
    if (transform.toSrgb) ConvertImageToSrgb(image.get());
    int width = image->width, height = image->height;
    RescaledSize(transform, width, height);
    if (width != image->width || height != image->height || (transform.width > 0 && !transform.keepAspect))
        image = LumoRescale(image.get(), width, height);
    if (transform.kind && KindOf(*image) != *transform.kind) {
        image = ConvertWithUserSettings(image.get(), *transform.kind);
    }
    return image;
}
