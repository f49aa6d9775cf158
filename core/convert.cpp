#include "core/convert.h"

#include <algorithm>
#include <cstring>

#include "core/conversion_steps.h"
#include "core/options.h"
#include "core/quantize.h"
#include "core/quantize_exact.h"

namespace {

ConvertOptions options{30, 59, 11, 128, 1};

constexpr NamedOption<int> kConvertOptions[] = {{"redfactor", &options.redFactor},
                                                {"greenfactor", &options.greenFactor},
                                                {"bluefactor", &options.blueFactor},
                                                {"threshold", &options.threshold},
                                                {"dither", &options.dither}};
constexpr OptionRegistry<int> kConvertRegistry(kConvertOptions, "Unknown conversion option: %s");

void RefuseSameKind(const IMG& image, ImageKind kind, const char* module) {
    if (KindOf(image) == kind) LumoError(module, "Useless to convert a %s to %s", KindName(kind), KindName(kind));
}

// Level tables ------------------------------------------------------------------------------

LevelTable LinearLevels(int count, int numerator, int denominator) {
    LevelTable table{};
    for (int v = 0; v < count; ++v) table[v] = static_cast<uint8_t>(v * numerator / denominator);
    return table;
}

// Palette colour to gray: (R * rf + G * gf + B * bf) / divisor, keeping the bits of the target depth.
LevelTable WeightedPaletteLevels(const IMG& image, int divisor, int mask) {
    LevelTable table{};
    const uint8_t* entry = image.palette;
    for (int i = 0; i < (1 << image.bitsPerPixel); ++i, entry += 3)
        table[i] = static_cast<uint8_t>(
            (entry[0] * options.redFactor + entry[1] * options.greenFactor + entry[2] * options.blueFactor) / divisor &
            mask);
    return table;
}

// COLOR256 to GRAY16 uses the plain average of the components, not the weights.
LevelTable AveragePaletteLevels(const IMG& image) {
    LevelTable table{};
    for (int i = 0; i < 256; ++i) {
        const uint8_t* entry = image.palette + 3 * i;
        table[i] = static_cast<uint8_t>((entry[0] + entry[1] + entry[2]) / 48);
    }
    return table;
}

LevelTable ThresholdLevels(int count, int threshold) {
    LevelTable table{};
    for (int v = 0; v < count; ++v) table[v] = v >= threshold;
    return table;
}

// Palettes built when going up to a palette kind; entries that no pixel uses are 0, 0, 0.

PalettePtr BlankPalette(int entries) {
    PalettePtr palette = CreateIMGPalette(entries);
    std::memset(palette.get(), 0, static_cast<size_t>(entries) * 3);
    return palette;
}

PalettePtr BlackWhitePalette(int entries) {
    PalettePtr palette = BlankPalette(entries);
    LumoSetPaletteEntry(palette.get(), 1, 255, 255, 255);
    return palette;
}

PalettePtr GrayPalette(int entries, int step) {
    PalettePtr palette = CreateIMGPalette(entries);
    for (int i = 0; i < entries; ++i) LumoSetPaletteEntry(palette.get(), i, i * step, i * step, i * step);
    return palette;
}

// Single steps ------------------------------------------------------------------------------

ImagePtr GrayToPaletteKind(const IMG& gray) {
    const int levels = 1 << gray.bitsPerPixel;
    return MapLevels(gray, LinearLevels(levels, 1, 1), COLOR, gray.bitsPerPixel,
                     GrayPalette(levels, 255 / (levels - 1)));
}

ImagePtr BlackWhiteToPaletteKind(const IMG& bw, int bitsPerPixel) {
    return MapLevels(bw, LinearLevels(2, 1, 1), COLOR, bitsPerPixel, BlackWhitePalette(1 << bitsPerPixel));
}

ImagePtr Color16ToColor256(const IMG& image) {
    PalettePtr palette = BlankPalette(256);
    std::memcpy(palette.get(), image.palette, 16 * 3);
    return MapLevels(image, LinearLevels(16, 1, 1), COLOR, 8, std::move(palette));
}

ImagePtr Gray256ToGray16(const IMG& image) { return MapLevels(image, LinearLevels(256, 1, 16), GRAY, 4); }
ImagePtr Gray16ToGray256(const IMG& image) { return MapLevels(image, LinearLevels(16, 17, 1), GRAY, 8); }

// RGB to a palette kind: a picture whose colours fit the palette keeps them exactly (white stays
// white, no dithering); any other goes through the median cut.
ImagePtr QuantizeRGB(const IMG& rgb, int bits) {
    if (ImagePtr exact = PaletteOfExactColours(rgb, bits)) return exact;
    return LumoQuantize(&rgb, bits, options.dither);
}

// GRAY256 to COLOR16 goes through GRAY16, which moves every level that is not a multiple of 17.
// A picture of at most 16 levels, one of them such a level, keeps its levels instead: they make the
// palette in the order they first appear.
ImagePtr Gray256ToColor16(const IMG& gray) {
    const auto levels = DistinctValues(gray, 16);
    const auto keptByGrayPalette = [](uint8_t level) { return level % 17 == 0; };
    if (!levels || std::all_of(levels->begin(), levels->end(), keptByGrayPalette))
        return GrayToPaletteKind(*Gray256ToGray16(gray));
    PalettePtr palette = BlankPalette(16);
    LevelTable indices{};
    for (size_t i = 0; i < levels->size(); ++i) {
        const int level = (*levels)[i];
        LumoSetPaletteEntry(palette.get(), static_cast<int>(i), level, level, level);
        indices[level] = static_cast<uint8_t>(i);
    }
    return MapLevels(gray, indices, COLOR, 4, std::move(palette));
}

}  // namespace

void LumoSetIntOptionConvert(const char* name, int value) {
    kConvertRegistry.set("LumoSetIntOptionConvert", name, value);
}

int LumoGetIntOptionConvert(const char* name) { return kConvertRegistry.get("LumoGetIntOptionConvert", name); }

ImagePtr LumoToGRAY256(const IMG* image) {
    switch (KindOf(*image)) {
        case ImageKind::BW: return MapLevels(*image, LinearLevels(2, 255, 1), GRAY, 8);
        case ImageKind::GRAY16: return Gray16ToGray256(*image);
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: return MapLevels(*image, WeightedPaletteLevels(*image, 100, 0xFF), GRAY, 8);
        case ImageKind::RGB: return WeightRGBToGray256(*image, options);
        case ImageKind::GRAY256: break;
    }
    RefuseSameKind(*image, ImageKind::GRAY256, "LumoToGRAY256");
    return nullptr;
}

ImagePtr LumoToGRAY16(const IMG* image) {
    switch (KindOf(*image)) {
        case ImageKind::BW: return MapLevels(*image, LinearLevels(2, 15, 1), GRAY, 4);
        case ImageKind::GRAY256: return Gray256ToGray16(*image);
        case ImageKind::COLOR16: return MapLevels(*image, WeightedPaletteLevels(*image, 1600, 0x0F), GRAY, 4);
        case ImageKind::COLOR256: return MapLevels(*image, AveragePaletteLevels(*image), GRAY, 4);
        case ImageKind::RGB: return Gray256ToGray16(*LumoToGRAY256(image));
        case ImageKind::GRAY16: break;
    }
    // Reported under "LumoToGRAY256", the module name that users and callers know this refusal by.
    RefuseSameKind(*image, ImageKind::GRAY16, "LumoToGRAY256");
    return nullptr;
}

ImagePtr LumoToBW(const IMG* image) {
    const ImageKind kind = KindOf(*image);
    RefuseSameKind(*image, ImageKind::BW, "LumoToBW");
    if (options.dither) {
        if (kind == ImageKind::GRAY256) return DitherGray256ToBW(*image, options.threshold);
        if (LumoVerbose()) LumoWarning("LumoToBW", "Converting to GRAY256 for dithering");
        ImagePtr gray = LumoToGRAY256(image);
        if (LumoVerbose()) LumoWarning("LumoToBW", "Dithering...");
        return DitherGray256ToBW(*gray, options.threshold);
    }
    switch (kind) {
        case ImageKind::GRAY256: return MapLevels(*image, ThresholdLevels(256, options.threshold), BILEVEL, 1);
        case ImageKind::GRAY16: return MapLevels(*image, ThresholdLevels(16, options.threshold / 16), BILEVEL, 1);
        case ImageKind::COLOR16: return LumoToBW(LumoToGRAY16(image).get());
        default: return LumoToBW(LumoToGRAY256(image).get());
    }
}

ImagePtr LumoToCOLOR16(const IMG* image) {
    switch (KindOf(*image)) {
        case ImageKind::BW: return BlackWhiteToPaletteKind(*image, 4);
        case ImageKind::GRAY16: return GrayToPaletteKind(*image);
        case ImageKind::GRAY256: return Gray256ToColor16(*image);
        case ImageKind::COLOR256: return QuantizeRGB(*LumoToRGB(image), 4);
        case ImageKind::RGB: return QuantizeRGB(*image, 4);
        case ImageKind::COLOR16: break;
    }
    RefuseSameKind(*image, ImageKind::COLOR16, "LumoToCOLOR16");
    return nullptr;
}

ImagePtr LumoToCOLOR256(const IMG* image) {
    switch (KindOf(*image)) {
        case ImageKind::BW: return BlackWhiteToPaletteKind(*image, 8);
        case ImageKind::GRAY16: return GrayToPaletteKind(*Gray16ToGray256(*image));
        case ImageKind::GRAY256: return GrayToPaletteKind(*image);
        case ImageKind::COLOR16: return Color16ToColor256(*image);
        case ImageKind::RGB: return QuantizeRGB(*image, 8);
        case ImageKind::COLOR256: break;
    }
    RefuseSameKind(*image, ImageKind::COLOR256, "LumoToCOLOR256");
    return nullptr;
}

ImagePtr LumoToRGB(const IMG* image) {
    std::array<uint8_t, 3 * 256> colours{};  // blue, green, red per source value
    const auto setColour = [&colours](int i, int red, int green, int blue) {
        colours[3 * i] = static_cast<uint8_t>(blue);
        colours[3 * i + 1] = static_cast<uint8_t>(green);
        colours[3 * i + 2] = static_cast<uint8_t>(red);
    };
    switch (KindOf(*image)) {
        case ImageKind::BW: setColour(1, 255, 255, 255); break;
        case ImageKind::GRAY16:
            for (int v = 0; v < 16; ++v) setColour(v, 17 * v, 17 * v, 17 * v);
            break;
        case ImageKind::GRAY256:
            for (int v = 0; v < 256; ++v) setColour(v, v, v, v);
            break;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256:
            for (int i = 0; i < (1 << image->bitsPerPixel); ++i) {
                const uint8_t* entry = image->palette + 3 * i;
                setColour(i, entry[0], entry[1], entry[2]);
            }
            break;
        case ImageKind::RGB: RefuseSameKind(*image, ImageKind::RGB, "LumoToRGB");
    }
    return ExpandToRGB(*image, colours);
}

IMG* LumoConvert(IMG* image, int colorClass, int bitsPerPixel) {
    using Conversion = ImagePtr (*)(const IMG*);
    Conversion convert = nullptr;
    ImageKind target = ImageKind::BW;
    if (colorClass == BILEVEL) {
        convert = LumoToBW;
    } else if (colorClass == GRAY && bitsPerPixel == 4) {
        convert = LumoToGRAY16, target = ImageKind::GRAY16;
    } else if (colorClass == GRAY && bitsPerPixel == 8) {
        convert = LumoToGRAY256, target = ImageKind::GRAY256;
    } else if (colorClass == COLOR && bitsPerPixel == 4) {
        convert = LumoToCOLOR16, target = ImageKind::COLOR16;
    } else if (colorClass == COLOR && bitsPerPixel == 8) {
        convert = LumoToCOLOR256, target = ImageKind::COLOR256;
    } else if (colorClass == COLOR && bitsPerPixel == 24) {
        convert = LumoToRGB, target = ImageKind::RGB;
    } else {
        LumoError("LumoConvert", "Invalid parameter");
    }
    if (KindOf(*image) == target) return image;
    return convert(image).release();
}
