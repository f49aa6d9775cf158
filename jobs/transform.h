// What a conversion does to each picture between loading and saving: lumo convert's --rescale WxH, then --to KIND.
#pragma once

#include <optional>
#include <string>

#include "core/image.h"

struct ImageTransform {
    std::optional<ImageKind> kind;
    int width = 0;  // 0: no rescale
    int height = 0;
};

// "bw", "gray16", "gray256", "color16", "color256", "rgb" (any case); nothing for other words.
std::optional<ImageKind> ParseKind(const std::string& text);
// "WxH" with both positive; false for anything else.
bool ParseSize(const std::string& text, int& width, int& height);

// Rescales, then converts (with "threshold" and "dither" from the profile, as the viewer's
// conversion commands set them). A picture that already has the kind is kept as it is.
ImagePtr ApplyTransform(ImagePtr image, const ImageTransform& transform);
