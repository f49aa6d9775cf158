#include "formats/colour/srgb_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/image_metadata.h"
#include "core/messages.h"
#include "formats/colour/lcms_session.h"
#include "formats/metadata/icc_header.h"

namespace {

constexpr const char* kModule = "ColourProfile";

const char* SpaceName(IccColourSpace space) {
    switch (space) {
        case IccColourSpace::Gray: return "gray";
        case IccColourSpace::Rgb: return "RGB";
        case IccColourSpace::Cmyk: return "CMYK";
        default: return "other";
    }
}

// The profile's colour space the pixels of a kind need; Unknown for BW, which no profile changes.
IccColourSpace SpaceOfPixels(const IMG& image) {
    switch (KindOf(image)) {
        case ImageKind::GRAY16:
        case ImageKind::GRAY256: return IccColourSpace::Gray;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256:
        case ImageKind::RGB: return IccColourSpace::Rgb;
        case ImageKind::BW: break;
    }
    return IccColourSpace::Unknown;
}

// The layout lcms reads and writes: RGB rows are blue, green, red; palette entries red, green, blue;
// gray rows (and the 16 levels of GRAY16) one byte a pixel.
cmsUInt32Number FormatOf(const IMG& image) {
    switch (KindOf(image)) {
        case ImageKind::RGB: return TYPE_BGR_8;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: return TYPE_RGB_8;
        default: return TYPE_GRAY_8;
    }
}

struct SrgbTransform {
    std::unique_ptr<LcmsSession> session;
    cmsHTRANSFORM transform;
    bool identity;  // the profile is sRGB already: no pixel changes by more than a level
};

// Whether the transform leaves every colour of a 17-step grid (or every gray level) within one level
// of where it was: an embedded sRGB profile, as most cameras and phones write, then costs no
// conversion of the pixels and no display copy. One level is the rounding two sRGB profiles differ by.
bool IsIdentity(cmsHTRANSFORM transform, bool gray) {
    std::vector<uint8_t> samples;
    if (gray) {
        for (int level = 0; level < 256; ++level) samples.push_back(static_cast<uint8_t>(level));
    } else {
        for (int a = 0; a <= 256; a += 16)
            for (int b = 0; b <= 256; b += 16)
                for (int c = 0; c <= 256; c += 16)
                    for (int v : {a, b, c}) samples.push_back(static_cast<uint8_t>(std::min(v, 255)));
    }
    std::vector<uint8_t> converted(samples.size());
    cmsDoTransform(transform, samples.data(), converted.data(),
                   static_cast<cmsUInt32Number>(gray ? samples.size() : samples.size() / 3));
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::abs(int{samples[i]} - int{converted[i]}) > 1) return false;
    return true;
}

// Checks the profile against the pixels before lcms sees it: a size that disagrees with its header
// is a truncated or damaged profile, and a profile of another colour space would misread the bytes.
bool ProfileFits(std::span<const uint8_t> profile, IccColourSpace pixels, const char* module) {
    const IccColourSpace space = ProfileColourSpace(profile);
    if (space == IccColourSpace::Unknown) {
        LumoWarning(module, "Colour profile ignored: damaged or truncated");
        return false;
    }
    if (space != pixels) {
        LumoWarning(module, "Colour profile ignored: a %s profile does not fit %s pixels", SpaceName(space),
                    SpaceName(pixels));
        return false;
    }
    return true;
}

// The transform from the image's embedded profile to sRGB; nothing when it carries none (no lcms
// call is made) or, after a warning, when the profile cannot be applied.
std::optional<SrgbTransform> TransformFor(const IMG& image) {
    const ImageMetadata* metadata = LumoGetMetadata(&image);
    if (!metadata || metadata->icc.empty()) return std::nullopt;
    const IccColourSpace pixels = SpaceOfPixels(image);
    if (pixels == IccColourSpace::Unknown || !ProfileFits(metadata->icc, pixels, kModule)) return std::nullopt;

    auto session = std::make_unique<LcmsSession>();
    cmsHPROFILE embedded = session->open(metadata->icc);
    cmsHPROFILE target = pixels == IccColourSpace::Gray ? session->graySrgb() : session->srgb();
    const cmsUInt32Number format = FormatOf(image);
    cmsHTRANSFORM transform = embedded ? session->transform(embedded, format, target, format) : nullptr;
    if (!transform) {
        LumoWarning(kModule, "Colour profile ignored: %s", session->failure().c_str());
        return std::nullopt;
    }
    const bool identity = IsIdentity(transform, pixels == IccColourSpace::Gray);
    return SrgbTransform{std::move(session), transform, identity};
}

// GRAY16 keeps its 16 levels: each level goes to the level nearest its converted value.
void ConvertGray16(cmsHTRANSFORM transform, IMG& image) {
    uint8_t levels[16], converted[16];
    for (int i = 0; i < 16; ++i) levels[i] = static_cast<uint8_t>(i * 17);
    cmsDoTransform(transform, levels, converted, 16);
    uint8_t pairs[256];  // both nibbles of a byte at once
    for (int b = 0; b < 256; ++b) {
        const int high = (converted[b >> 4] + 8) / 17, low = (converted[b & 15] + 8) / 17;
        pairs[b] = static_cast<uint8_t>(high << 4 | low);
    }
    const size_t bytes = PixelBytes(image);
    for (size_t i = 0; i < bytes; ++i) image.bits[i] = pairs[image.bits[i]];
}

// In place: lcms reads each pixel before it writes it, and input and output have the same layout.
void Apply(cmsHTRANSFORM transform, IMG& image) {
    switch (KindOf(image)) {
        case ImageKind::COLOR16:
        case ImageKind::COLOR256:
            cmsDoTransform(transform, image.palette, image.palette, image.bitsPerPixel == 4 ? 16 : 256);
            return;
        case ImageKind::GRAY16: ConvertGray16(transform, image); return;
        case ImageKind::RGB:
        case ImageKind::GRAY256:
            if (image.bits)
                cmsDoTransformLineStride(transform, image.bits, image.bits, image.width, image.height, image.rowBytes,
                                         image.rowBytes, 0, 0);
            return;
        case ImageKind::BW: return;
    }
}

ImagePtr CopyOfPixels(const IMG& image) {
    PalettePtr palette;
    if (image.palette) {
        const int entries = image.bitsPerPixel == 4 ? 16 : 256;
        palette = CreateIMGPalette(entries);
        std::memcpy(palette.get(), image.palette, 3 * static_cast<size_t>(entries));
    }
    ImagePtr copy = LumoCreateImage(image.width, image.height, image.colorClass, std::move(palette), image.bitsPerPixel);
    if (image.bits) std::memcpy(copy->bits, image.bits, PixelBytes(image));
    copy->xResolution = image.xResolution;
    copy->yResolution = image.yResolution;
    return copy;
}

void DropProfile(IMG* image) {
    ImageMetadata untagged = *LumoGetMetadata(image);
    untagged.icc.clear();
    LumoSetMetadata(image, std::move(untagged));
}

}  // namespace

bool ConvertImageToSrgb(IMG* image) {
    const std::optional<SrgbTransform> srgb = TransformFor(*image);
    if (!srgb) return false;
    if (!srgb->identity) Apply(srgb->transform, *image);
    DropProfile(image);
    return true;
}

void DropInkProfile(IMG* image) {
    const ImageMetadata* metadata = LumoGetMetadata(image);
    if (metadata && ProfileColourSpace(metadata->icc) == IccColourSpace::Cmyk) DropProfile(image);
}

ImagePtr SrgbCopyOf(const IMG& image) {
    const std::optional<SrgbTransform> srgb = TransformFor(image);
    if (!srgb || srgb->identity) return nullptr;
    ImagePtr copy = CopyOfPixels(image);
    Apply(srgb->transform, *copy);
    return copy;
}

InkConverter::InkConverter(std::unique_ptr<LcmsSession> session, void* transform)
    : session_(std::move(session)), transform_(transform) {}

InkConverter::~InkConverter() = default;

std::unique_ptr<InkConverter> InkConverter::Make(std::span<const uint8_t> profile, bool inverted, const char* module) {
    if (!ProfileFits(profile, IccColourSpace::Cmyk, module)) return nullptr;
    auto session = std::make_unique<LcmsSession>();
    cmsHPROFILE embedded = session->open(profile);
    cmsHTRANSFORM transform =
        embedded ? session->transform(embedded, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, session->srgb(), TYPE_BGR_8)
                 : nullptr;
    if (!transform) {
        LumoWarning(module, "Colour profile ignored: %s", session->failure().c_str());
        return nullptr;
    }
    return std::unique_ptr<InkConverter>(new InkConverter(std::move(session), transform));
}

void InkConverter::convert(const uint8_t* ink, uint8_t* bgr, size_t pixels) const {
    cmsDoTransform(transform_, ink, bgr, static_cast<cmsUInt32Number>(pixels));
}
