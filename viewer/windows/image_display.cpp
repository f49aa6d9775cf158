#include "viewer/windows/image_display.h"

#include <algorithm>

#include "core/convert.h"
#include "core/rescale.h"
#include "formats/colour/srgb_conversion.h"

std::optional<DisplayConversion> DisplayConversionFor(const IMG& image, int screenDepth) {
    const int bits = image.bitsPerPixel;
    if (screenDepth <= 1 && bits > 1) return DisplayConversion{ImageKind::BW, "Converting to BW..."};
    if (screenDepth >= 2 && screenDepth <= 7 && bits > 4) {
        if (image.colorClass == COLOR) return DisplayConversion{ImageKind::COLOR16, "Converting to 16 colors..."};
        return DisplayConversion{ImageKind::GRAY16, "Converting to GrayScale 16 levels..."};
    }
    if (screenDepth == 8 && bits > 8) return DisplayConversion{ImageKind::COLOR256, "Converting to 256 colors..."};
    return std::nullopt;
}

namespace {

ImagePtr ConvertForDisplay(const IMG& image, ImageKind kind) {
    switch (kind) {
        case ImageKind::BW: return LumoToBW(&image);
        case ImageKind::GRAY16: return LumoToGRAY16(&image);
        case ImageKind::COLOR16: return LumoToCOLOR16(&image);
        case ImageKind::COLOR256: return LumoToCOLOR256(&image);
        default: return nullptr;
    }
}

bool UsesHalfSize(const IMG& image, int zoom) {
    return zoom <= kHalfSizeZoom && IsKind(image, ImageKind::BW) && image.width > 0 && image.height > 0;
}

// The half-size gray picture of a bi-level one; a picture one pixel wide or high still gets one pixel.
ImagePtr MakeHalfSize(const IMG& full) {
    return LumoRescaleConvert(&full, std::max(1, full.width / 2), std::max(1, full.height / 2), GRAY, 8);
}

}  // namespace

void ImageDisplay::setImage(ImagePtr image, int screenDepth, int zoom, const StatusFunction& status) {
    // Everything is made before the old display is released, so a failure leaves it in place.
    ImagePtr srgb, converted, halfSize;
    if (image) {
        srgb = SrgbCopyOf(*image);  // null, at no cost, for a picture without a profile
        const IMG& correct = srgb ? *srgb : *image;
        if (const std::optional<DisplayConversion> conversion = DisplayConversionFor(correct, screenDepth)) {
            if (status) status(QString::fromLatin1(conversion->status));
            converted = ConvertForDisplay(correct, conversion->kind);
        }
        if (UsesHalfSize(*image, zoom)) halfSize = MakeHalfSize(converted ? *converted : correct);
    }
    clear();
    image_ = std::move(image);
    srgb_ = std::move(srgb);
    converted_ = std::move(converted);
    halfSize_ = std::move(halfSize);
    show(halfSize_ ? halfSize_.get() : converted_ ? converted_.get() : &colourCorrect());
}

void ImageDisplay::clear() {
    view_.reset();
    display_ = nullptr;
    halfSize_.reset();
    converted_.reset();
    srgb_.reset();
    image_.reset();
}

void ImageDisplay::applyZoom(int zoom) {
    if (!image_ || !IsKind(*image_, ImageKind::BW)) return;
    const IMG* full = converted_ ? converted_.get() : &colourCorrect();
    if (!UsesHalfSize(*image_, zoom)) {
        if (display_ != full) show(full);
        return;
    }
    if (!halfSize_) halfSize_ = MakeHalfSize(*full);
    if (display_ != halfSize_.get()) show(halfSize_.get());
}

void ImageDisplay::show(const IMG* picture) {
    view_.reset();
    display_ = picture;
    if (picture) view_.emplace(*picture);
}
