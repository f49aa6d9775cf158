// What a conversion does to each picture between loading and saving (lumo convert's options): --rotate,
// then --flip, then --to-srgb, then --rescale WxH (the size of the turned picture), then --to KIND.
#pragma once

#include <optional>
#include <string>

#include "core/image.h"
#include "core/orientation.h"

struct ImageTransform {
    std::optional<ImageKind> kind;
    int width = 0;  // 0: no rescale (with keepAspect: this side follows the other)
    int height = 0;
    bool keepAspect = false;  // fit inside width x height keeping the proportions (--resize 800x600)
    int percent = 0;          // rescale both sides by this percentage instead (--resize 50%)
    std::optional<Orientation> rotation;  // a quarter or half turn clockwise
    std::optional<Orientation> flip;      // a mirror image
    bool exactScale = false;  // decode JPEGs at full size even when the rescale shrinks them 2x or more
    bool lossless = false;    // JPEG to JPEG: the turns move the compressed blocks (jobs/lossless_turn.h)
    bool toSrgb = false;      // convert pictures with an embedded colour profile to sRGB (and drop the profile)
};

// "bw", "gray16", "gray256", "color16", "color256", "rgb" (any case); nothing for other words.
std::optional<ImageKind> ParseKind(const std::string& text);
// "WxH" with both positive; false for anything else.
bool ParseSize(const std::string& text, int& width, int& height);

// --resize: "50%" (percent), "800x" or "x600" (that side, the other in proportion), "800x600" (fit
// inside, keeping the proportions), "800x600!" (exactly, as --rescale). False for anything else.
bool ParseResize(const std::string& text, ImageTransform& transform);
// The size a picture of width x height gets from the transform's rescale (the same size without one);
// a side never shrinks below 1 pixel.
void RescaledSize(const ImageTransform& transform, int& width, int& height);

// "90", "180" or "270" (degrees clockwise): the turn; nothing for other words.
std::optional<Orientation> ParseRotation(const std::string& text);
// "h" or "horizontal" (left to right), "v" or "vertical" (top to bottom), any case; nothing for others.
std::optional<Orientation> ParseFlip(const std::string& text);

// Turns and mirrors, converts to sRGB (so the rescale averages and the quantizer picks colours the
// saved file shows), rescales, then converts (with "threshold" and "dither" from the profile, as the viewer's
// conversion commands set them). A picture that already has the kind is kept as it is.
ImagePtr ApplyTransform(ImagePtr image, const ImageTransform& transform);
