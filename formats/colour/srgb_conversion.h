// Pictures carrying an embedded ICC profile converted to sRGB with Little CMS 2, intent
// perceptual and no black point compensation (jpgicc's defaults, so results agree with it).
// RGB rows convert as blue, green, red; COLOR16 and COLOR256 convert their palette entries;
// GRAY16 and GRAY256 with a Gray profile convert to gray on the sRGB tone curve and stay gray.
// A picture without a profile costs nothing: no lcms call is made; one with an sRGB profile (one that
// moves no colour by more than a level) keeps its pixels and gets no display copy. A profile lcms cannot open,
// or one whose colour space does not fit the pixels, gives a warning and leaves the picture as it is.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "core/image.h"

class LcmsSession;

// Converts the pixels (or palette) of image in place from its embedded profile to sRGB and drops
// the profile from its metadata (untagged pixels are sRGB). True when it converted; false when
// the image carries no profile, or (after a warning) when the profile could not be applied.
bool ConvertImageToSrgb(IMG* image);

// A converted copy of image for display, or null when the image is to be shown as it is (no
// profile, or a profile that could not be applied, after a warning). The image is not changed.
ImagePtr SrgbCopyOf(const IMG& image);

// Drops a CMYK profile from the image's metadata (other metadata stays): once ink has been made
// into light the profile no longer describes the pixels, and no saver may write it beside them.
void DropInkProfile(IMG* image);

// Ink rows (cyan, magenta, yellow, black; inverted: Adobe's form, 255 = no ink) to sRGB rows of
// blue, green, red through a CMYK profile.
class InkConverter {
public:
    // Null, after a warning naming module, when the profile cannot be opened or is not CMYK.
    static std::unique_ptr<InkConverter> Make(std::span<const uint8_t> profile, bool inverted, const char* module);
    ~InkConverter();
    InkConverter(const InkConverter&) = delete;
    InkConverter& operator=(const InkConverter&) = delete;

    void convert(const uint8_t* ink, uint8_t* bgr, size_t pixels) const;

private:
    InkConverter(std::unique_ptr<LcmsSession> session, void* transform);

    std::unique_ptr<LcmsSession> session_;  // owns the transform
    void* transform_;
};

// The number of lcms transforms made so far in this process: lets tests see that a picture
// without a profile costs no colour work.
long ColourTransformsMade();
