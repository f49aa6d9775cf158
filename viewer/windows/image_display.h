// What an image window shows: its image, its copy converted to sRGB when it carries a colour profile,
// a copy converted for a screen of few colours, and for bi-level images at small zoom a half-size
// gray picture (which keeps thin lines visible). Each is made when the image is set and kept until it
// is replaced (the half-size picture at the first small zoom).
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "core/image.h"
#include "viewer/windows/dib_view.h"

// At this zoom and below a bi-level image is shown through its half-size gray picture.
constexpr int kHalfSizeZoom = 60;

class ImageDisplay {
public:
    using StatusFunction = std::function<void(const QString& text)>;

    // Takes the image and makes the display for the screen depth; status receives the text of a
    // conversion ("Converting to 256 colors...") before it runs. On a library error the old
    // display stays and the new image is released.
    void setImage(ImagePtr image, int screenDepth, int zoom, const StatusFunction& status);
    // Releases the image and everything made from it.
    void clear();

    IMG* image() { return image_.get(); }
    const IMG* image() const { return image_.get(); }
    // The picture that is drawn: the image itself, its sRGB or converted copy or the half-size picture.
    const IMG* displayImage() const { return display_; }
    const IMG* convertedCopy() const { return converted_.get(); }
    // The image converted from its embedded profile to sRGB; null without a (usable) profile.
    const IMG* srgbCopy() const { return srgb_.get(); }
    const IMG* halfSizeImage() const { return halfSize_.get(); }
    bool showsHalfSize() const { return display_ && display_ == halfSize_.get(); }
    // The view the window paints through; empty without image.
    const DibView* view() const { return view_ ? &*view_ : nullptr; }

    // Follows a zoom change: bi-level images switch to the half-size picture at kHalfSizeZoom and
    // below (building it the first time) and back above it. A library error leaves it unchanged.
    void applyZoom(int zoom);

private:
    void show(const IMG* picture);

    const IMG& colourCorrect() const { return srgb_ ? *srgb_ : *image_; }

    ImagePtr image_;
    ImagePtr srgb_;       // the image in the screen's sRGB, or null when it carries no profile
    ImagePtr converted_;  // the copy for the screen depth, or null when the image is shown as it is
    ImagePtr halfSize_;
    const IMG* display_ = nullptr;
    std::optional<DibView> view_;
};

// The conversion the screen depth asks for: the kind to show an image of bitsPerPixel with and the
// status text, or nothing when the image is shown as it is.
struct DisplayConversion {
    ImageKind kind;
    const char* status;
};
std::optional<DisplayConversion> DisplayConversionFor(const IMG& image, int screenDepth);
