#include "core/convert.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/quantize.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"

namespace {

constexpr ImageKind kKinds[] = {ImageKind::BW,      ImageKind::GRAY16,   ImageKind::GRAY256,
                                ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB};

void SetConvertOptions(int red, int green, int blue, int threshold, int dither) {
    LumoSetIntOptionConvert("redfactor", red);
    LumoSetIntOptionConvert("greenfactor", green);
    LumoSetIntOptionConvert("bluefactor", blue);
    LumoSetIntOptionConvert("threshold", threshold);
    LumoSetIntOptionConvert("dither", dither);
}

// Every test starts and ends with the initial options, whatever it changed.
class ConvertTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        SetConvertOptions(30, 59, 11, 128, 1);
        LumoSetIntOption("verbose", 0);
    }
    void TearDown() override {
        SetConvertOptions(30, 59, 11, 128, 1);
        LumoSetIntOption("verbose", 0);
        LumoTest::TearDown();
    }
};

ImagePtr ConvertTo(const IMG& image, ImageKind kind) {
    switch (kind) {
        case ImageKind::BW: return LumoToBW(&image);
        case ImageKind::GRAY16: return LumoToGRAY16(&image);
        case ImageKind::GRAY256: return LumoToGRAY256(&image);
        case ImageKind::COLOR16: return LumoToCOLOR16(&image);
        case ImageKind::COLOR256: return LumoToCOLOR256(&image);
        case ImageKind::RGB: return LumoToRGB(&image);
    }
    return nullptr;
}

std::string RouteName(ImageKind from, ImageKind to) { return std::string(KindName(from)) + "To" + KindName(to); }

// Every route ------------------------------------------------------------------------------

struct Route {
    ImageKind from;
    ImageKind to;
};
void PrintTo(const Route& c, std::ostream* os) { *os << KindName(c.from) << " to " << KindName(c.to); }

std::vector<Route> AllRoutes() {
    std::vector<Route> routes;
    for (ImageKind from : kKinds)
        for (ImageKind to : kKinds)
            if (from != to) routes.push_back({from, to});
    return routes;
}

class EveryRouteTest : public ConvertTest, public ::testing::WithParamInterface<std::tuple<Route, int>> {};

TEST_P(EveryRouteTest, YieldsTheTargetKindAndLeavesTheSourceAlone) {
    const auto [route, dither] = GetParam();
    LumoSetIntOptionConvert("dither", dither);
    ImagePtr source = MakeNoiseImage(route.from, 13, 7, 5);
    source->xResolution = 300;
    source->yResolution = 150;
    const std::vector<uint8_t> before = Snapshot(*source);

    ImagePtr result = ConvertTo(*source, route.to);
    EXPECT_EQ(KindOf(*result), route.to);
    EXPECT_EQ(result->width, 13);
    EXPECT_EQ(result->height, 7);
    EXPECT_EQ(result->xResolution, 300);
    EXPECT_EQ(result->yResolution, 150);
    EXPECT_EQ(Snapshot(*source), before);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);

    IMG* converted = LumoConvert(source.get(), ColorClassOf(route.to), BitsPerPixelOf(route.to));
    ASSERT_NE(converted, source.get());
    ImagePtr owned(converted);
    EXPECT_TRUE(SamePixels(*result, *converted));
}

INSTANTIATE_TEST_SUITE_P(Conversions, EveryRouteTest, ::testing::Combine(::testing::ValuesIn(AllRoutes()),
                                                                         ::testing::Values(0, 1)),
                         [](const auto& info) {
                             const Route& route = std::get<0>(info.param);
                             return RouteName(route.from, route.to) + (std::get<1>(info.param) ? "Dithered" : "");
                         });

class SameKindTest : public ConvertTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(SameKindTest, ConversionToItsOwnKindIsRefusedButLumoConvertReturnsTheSource) {
    const ImageKind kind = GetParam();
    const char* const modules[] = {"LumoToBW",       "LumoToGRAY256",  "LumoToGRAY256",
                                   "LumoToCOLOR16", "LumoToCOLOR256", "LumoToRGB"};
    const std::string name = KindName(kind);
    ImagePtr image = MakeNoiseImage(kind, 5, 3, 1);
    EXPECT_LUMO_ERROR(ConvertTo(*image, kind), modules[static_cast<int>(kind)],
                      "Useless to convert a " + name + " to " + name);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(LumoConvert(image.get(), ColorClassOf(kind), BitsPerPixelOf(kind)), image.get());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SameKindTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(ConvertTest, LumoConvertReadsClassAndDepth) {
    ImagePtr gray16 = MakeNoiseImage(ImageKind::GRAY16, 4, 4, 2);
    EXPECT_EQ(LumoConvert(gray16.get(), GRAY, 4), gray16.get());
    ImagePtr gray256(LumoConvert(gray16.get(), GRAY, 8));
    EXPECT_EQ(KindOf(*gray256), ImageKind::GRAY256);
    // A bi-level target ignores the depth.
    ImagePtr bw(LumoConvert(gray16.get(), BILEVEL, 24));
    EXPECT_EQ(KindOf(*bw), ImageKind::BW);
    EXPECT_EQ(LumoConvert(bw.get(), BILEVEL, 8), bw.get());

    for (const auto& [colorClass, depth] : {std::pair{1, 24}, {1, 1}, {2, 1}, {2, 16}, {3, 8}, {-1, 8}})
        EXPECT_LUMO_ERROR(LumoConvert(gray16.get(), colorClass, depth), "LumoConvert", "Invalid parameter");
}

TEST_F(ConvertTest, OptionsAreNamedExactly) {
    EXPECT_EQ(LumoGetIntOptionConvert("threshold"), 128);
    LumoSetIntOptionConvert("bluefactor", -7);  // stored without range checks
    EXPECT_EQ(LumoGetIntOptionConvert("bluefactor"), -7);
    EXPECT_LUMO_ERROR(LumoSetIntOptionConvert("Dither", 0), "LumoSetIntOptionConvert",
                      "Unknown conversion option: Dither");
    EXPECT_LUMO_ERROR(LumoGetIntOptionConvert("red"), "LumoGetIntOptionConvert", "Unknown conversion option: red");
    EXPECT_EQ(LumoGetIntOptionConvert("dither"), 1);
}

// Routes that lose nothing: every pixel shows the same colour ----------------------------

class LosslessRouteTest : public ConvertTest, public ::testing::WithParamInterface<Route> {};

TEST_P(LosslessRouteTest, EveryPixelShowsTheSameColour) {
    const Route route = GetParam();
    ImagePtr source = MakeNoiseImage(route.from, 19, 6, 11);
    ImagePtr result = ConvertTo(*source, route.to);
    for (int y = 0; y < source->height; ++y)
        for (int x = 0; x < source->width; ++x)
            ASSERT_EQ(ShownColour(*result, x, y), ShownColour(*source, x, y)) << "at " << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, LosslessRouteTest,
    ::testing::Values(Route{ImageKind::BW, ImageKind::GRAY16}, Route{ImageKind::BW, ImageKind::GRAY256},
                      Route{ImageKind::BW, ImageKind::COLOR16}, Route{ImageKind::BW, ImageKind::COLOR256},
                      Route{ImageKind::BW, ImageKind::RGB}, Route{ImageKind::GRAY16, ImageKind::GRAY256},
                      Route{ImageKind::GRAY16, ImageKind::COLOR16}, Route{ImageKind::GRAY16, ImageKind::COLOR256},
                      Route{ImageKind::GRAY16, ImageKind::RGB}, Route{ImageKind::GRAY256, ImageKind::COLOR256},
                      Route{ImageKind::GRAY256, ImageKind::RGB}, Route{ImageKind::COLOR16, ImageKind::COLOR256},
                      Route{ImageKind::COLOR16, ImageKind::RGB}, Route{ImageKind::COLOR256, ImageKind::RGB}),
    [](const auto& info) { return RouteName(info.param.from, info.param.to); });

TEST_F(ConvertTest, PalettesBuiltGoingUpKeepPixelValuesAndBlankTheUnusedEntries) {
    ImagePtr bw = MakeNoiseImage(ImageKind::BW, 9, 2, 3);
    ImagePtr color16 = LumoToCOLOR16(bw.get());
    for (int x = 0; x < 9; ++x) EXPECT_EQ(PixelAt(*color16, x, 1), PixelAt(*bw, x, 1));
    for (int i = 2; i < 16; ++i) EXPECT_EQ(color16->palette[3 * i] | color16->palette[3 * i + 2], 0) << i;

    ImagePtr expanded = LumoToCOLOR256(color16.get());
    EXPECT_EQ(std::count(expanded->palette + 48, expanded->palette + 768, 0), 768 - 48);

    ImagePtr gray16 = MakeNoiseImage(ImageKind::GRAY16, 9, 2, 3);
    ImagePtr grayPalette = LumoToCOLOR16(gray16.get());
    EXPECT_EQ(std::vector<uint8_t>(gray16->bits, gray16->bits + PixelBytes(*gray16)),
              std::vector<uint8_t>(grayPalette->bits, grayPalette->bits + PixelBytes(*grayPalette)));
    EXPECT_EQ(grayPalette->palette[3 * 15], 255);
}

// Pictures whose colours fit the palette keep them ------------------------------------------

// Colour i of a picture of count colours, all distinct for i < 512, none a median-cut centre.
uint32_t FitColour(int i) { return static_cast<uint32_t>((i & 255) << 16 | ((i >> 8) * 100 + 3) << 8 | (255 - (i & 255))); }

// A 37 x 11 picture of count colours: pixel n (row by row from the top) has colour (7 n) % count,
// so the colours first appear in that order and not sorted.
ImagePtr PictureOfColours(int count) {
    ImagePtr rgb = MakeUniformRGB(37, 11, 0, 0, 0);
    for (int n = 0; n < 37 * 11; ++n) SetPixel(*rgb, n % 37, n / 37, FitColour(n * 7 % count));
    return rgb;
}

struct FitCase {
    int colours;
    int bits;
};
void PrintTo(const FitCase& c, std::ostream* os) { *os << c.colours << " colours to " << c.bits << " bits"; }

class FittingColoursTest : public ConvertTest, public ::testing::WithParamInterface<std::tuple<FitCase, int>> {};

TEST_P(FittingColoursTest, ThePaletteIsThePicturesColoursInOrderOfFirstAppearance) {
    const auto& [c, dither] = GetParam();
    LumoSetIntOptionConvert("dither", dither);
    ImagePtr rgb = PictureOfColours(c.colours);
    ImagePtr result = ConvertTo(*rgb, c.bits == 8 ? ImageKind::COLOR256 : ImageKind::COLOR16);
    for (int i = 0; i < (1 << c.bits); ++i) {
        int red, green, blue;
        LumoGetPaletteEntry(result->palette, i, &red, &green, &blue);
        const uint32_t expected = i < c.colours ? FitColour(i * 7 % c.colours) : 0;
        ASSERT_EQ(static_cast<uint32_t>(red << 16 | green << 8 | blue), expected) << "entry " << i;
    }
    for (int y = 0; y < rgb->height; ++y)
        for (int x = 0; x < rgb->width; ++x)
            ASSERT_EQ(ShownColour(*result, x, y), ShownColour(*rgb, x, y)) << "at " << x << ", " << y;
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);
}

INSTANTIATE_TEST_SUITE_P(Pictures, FittingColoursTest,
                         ::testing::Combine(::testing::Values(FitCase{3, 8}, FitCase{256, 8}, FitCase{3, 4},
                                                              FitCase{16, 4}),
                                            ::testing::Values(0, 1)),
                         [](const auto& info) {
                             const FitCase& c = std::get<0>(info.param);
                             return std::to_string(c.colours) + "ColoursTo" + (c.bits == 8 ? "COLOR256" : "COLOR16") +
                                    (std::get<1>(info.param) ? "Dithered" : "");
                         });

TEST_F(ConvertTest, OneColourTooManyGoesThroughTheMedianCut) {
    for (int dither : {0, 1}) {
        LumoSetIntOptionConvert("dither", dither);
        ImagePtr rgb257 = PictureOfColours(257);
        ImagePtr color256 = LumoToCOLOR256(rgb257.get());
        ImagePtr medianCut = LumoQuantize(rgb257.get(), 8, dither);
        EXPECT_TRUE(SamePixels(*medianCut, *color256));
        EXPECT_EQ(std::vector<uint8_t>(color256->palette, color256->palette + 768),
                  std::vector<uint8_t>(medianCut->palette, medianCut->palette + 768));
        ImagePtr rgb17 = PictureOfColours(17);
        EXPECT_TRUE(SamePixels(*LumoQuantize(rgb17.get(), 4, dither), *LumoToCOLOR16(rgb17.get())));
    }
}

TEST_F(ConvertTest, WhiteStaysWhiteInPaletteKinds) {
    ImagePtr rgbWhite = MakeUniformRGB(3, 2, 255, 255, 255);
    for (ImageKind kind : {ImageKind::COLOR16, ImageKind::COLOR256})
        EXPECT_EQ(ShownColour(*ConvertTo(*rgbWhite, kind), 2, 1), 0xFFFFFFu) << KindName(kind);
}

// Other sources whose values fit sixteen entries: a few gray levels that GRAY16 would move, and a
// COLOR256 picture of a few colours (which goes through RGB).
TEST_F(ConvertTest, FewLevelsAndFewPaletteColoursKeepThemGoingToCOLOR16) {
    ImagePtr gray = MakeUniformGray(7, 3, 200);
    SetPixel(*gray, 1, 0, 10);
    SetPixel(*gray, 4, 2, 255);
    ImagePtr color256 = MakeNoiseImage(ImageKind::COLOR256, 7, 3, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) SetPixel(*color256, x, y, (x + y) % 3 * 40);
    for (const IMG* source : {gray.get(), color256.get()}) {
        ImagePtr result = LumoToCOLOR16(source);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) ASSERT_EQ(ShownColour(*result, x, y), ShownColour(*source, x, y));
        EXPECT_EQ(std::count(result->palette + 9, result->palette + 48, 0), 39) << "three entries used";
    }
    int level = 0;
    LumoGetPaletteEntry(LumoToCOLOR16(gray.get())->palette, 1, &level, &level, &level);
    EXPECT_EQ(level, 10) << "levels in order of first appearance";

    // Levels that are multiples of 17 keep the gray palette, index = level / 17.
    ImagePtr even = MakeUniformGray(3, 1, 34);
    EXPECT_EQ(PixelAt(*LumoToCOLOR16(even.get()), 0, 0), 2u);
}

// Gray levels from colour: each route's formula against a plain reading of it ------------

using LevelFormula = std::function<int(int red, int green, int blue, int rf, int gf, int bf)>;

struct LevelRoute {
    const char* name;
    ImageKind from;
    ImageKind to;
    LevelFormula level;
};
void PrintTo(const LevelRoute& c, std::ostream* os) { *os << c.name; }

class LevelRouteTest : public ConvertTest,
                       public ::testing::WithParamInterface<std::tuple<LevelRoute, std::array<int, 3>>> {};

TEST_P(LevelRouteTest, EveryPixelFollowsTheFormula) {
    const auto& [route, weights] = GetParam();
    SetConvertOptions(weights[0], weights[1], weights[2], 128, 1);
    ImagePtr source = MakeNoiseImage(route.from, 37, 23, 7);
    ImagePtr result = ConvertTo(*source, route.to);
    for (int y = 0; y < source->height; ++y)
        for (int x = 0; x < source->width; ++x) {
            const uint32_t colour = ShownColour(*source, x, y);
            const int expected = route.level(colour >> 16, colour >> 8 & 255, colour & 255, weights[0], weights[1],
                                             weights[2]);
            ASSERT_EQ(PixelAt(*result, x, y), static_cast<uint32_t>(expected)) << "colour " << std::hex << colour;
        }
}

int PerTermGray(int r, int g, int b, int rf, int gf, int bf) { return (r * rf / 100 + g * gf / 100 + b * bf / 100) & 255; }
int PaletteGray(int r, int g, int b, int rf, int gf, int bf) { return ((r * rf + g * gf + b * bf) / 100) & 255; }

INSTANTIATE_TEST_SUITE_P(
    Formulas, LevelRouteTest,
    ::testing::Combine(
        ::testing::Values(
            LevelRoute{"RGBToGRAY256", ImageKind::RGB, ImageKind::GRAY256, PerTermGray},
            LevelRoute{"RGBToGRAY16", ImageKind::RGB, ImageKind::GRAY16,
                       [](int r, int g, int b, int rf, int gf, int bf) { return PerTermGray(r, g, b, rf, gf, bf) / 16; }},
            LevelRoute{"COLOR16ToGRAY256", ImageKind::COLOR16, ImageKind::GRAY256, PaletteGray},
            LevelRoute{"COLOR256ToGRAY256", ImageKind::COLOR256, ImageKind::GRAY256, PaletteGray},
            LevelRoute{"COLOR16ToGRAY16", ImageKind::COLOR16, ImageKind::GRAY16,
                       [](int r, int g, int b, int rf, int gf, int bf) { return ((r * rf + g * gf + b * bf) / 1600) & 15; }},
            LevelRoute{"COLOR256ToGRAY16", ImageKind::COLOR256, ImageKind::GRAY16,
                       [](int r, int g, int b, int, int, int) { return (r + g + b) / 48; }},
            LevelRoute{"GRAY256ToGRAY16", ImageKind::GRAY256, ImageKind::GRAY16,
                       [](int v, int, int, int, int, int) { return v / 16; }},
            LevelRoute{"GRAY256ToCOLOR16", ImageKind::GRAY256, ImageKind::COLOR16,
                       [](int v, int, int, int, int, int) { return v / 16; }}),
        // The initial weights, weights summing past 100 (low 8 bits kept) and a negative weight.
        ::testing::Values(std::array{30, 59, 11}, std::array{90, 80, 70}, std::array{-20, 100, 40})),
    [](const auto& info) {
        const auto& weights = std::get<1>(info.param);
        return std::string(std::get<0>(info.param).name) + "_" + std::to_string(weights[0] + 100) + "_" +
               std::to_string(weights[1]) + "_" + std::to_string(weights[2]);
    });

TEST_F(ConvertTest, WhiteIsOneLevelShortOfWhiteOnlyFromRGB) {
    ImagePtr rgbWhite = MakeUniformRGB(1, 1, 255, 255, 255);
    EXPECT_EQ(PixelAt(*LumoToGRAY256(rgbWhite.get()), 0, 0), 254u);
    ImagePtr paletteWhite = LumoToCOLOR256(LumoToBW(rgbWhite.get()).get());
    EXPECT_EQ(PixelAt(*LumoToGRAY256(paletteWhite.get()), 0, 0), 255u);
}

TEST_F(ConvertTest, Color256ToGray16AveragesWithoutTheWeights) {
    SetConvertOptions(0, 0, 100, 128, 1);
    ImagePtr image = MakeNoiseImage(ImageKind::COLOR256, 1, 1, 1);
    LumoSetPaletteEntry(image->palette, PixelAt(*image, 0, 0), 30, 60, 90);
    EXPECT_EQ(PixelAt(*LumoToGRAY16(image.get()), 0, 0), 3u);
}

// Thresholding ----------------------------------------------------------------------------

struct ThresholdCase {
    const char* name;
    ImageKind kind;
    uint32_t value;  // level, or 0xRRGGBB for colour kinds
    int threshold;
    bool white;
};
void PrintTo(const ThresholdCase& c, std::ostream* os) { *os << c.name; }

class ThresholdTest : public ConvertTest, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(ThresholdTest, WhiteFromTheThresholdOn) {
    const ThresholdCase& c = GetParam();
    SetConvertOptions(30, 59, 11, c.threshold, 0);
    ImagePtr image = MakeNoiseImage(c.kind, 3, 1, 1);
    for (int x = 0; x < 3; ++x) {
        if (image->palette) {
            SetPixel(*image, x, 0, static_cast<uint32_t>(x));
            LumoSetPaletteEntry(image->palette, x, c.value >> 16, c.value >> 8 & 255, c.value & 255);
        } else {
            SetPixel(*image, x, 0, c.value);
        }
    }
    ImagePtr bw = LumoToBW(image.get());
    for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(*bw, x, 0), c.white ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ThresholdTest,
    ::testing::Values(ThresholdCase{"Gray256AtThreshold", ImageKind::GRAY256, 128, 128, true},
                      ThresholdCase{"Gray256Below", ImageKind::GRAY256, 127, 128, false},
                      ThresholdCase{"Gray16At", ImageKind::GRAY16, 8, 128, true},
                      ThresholdCase{"Gray16Below", ImageKind::GRAY16, 7, 128, false},
                      // GRAY16 compares with threshold / 16: 200 / 16 = 12.
                      ThresholdCase{"Gray16AtTruncatedThreshold", ImageKind::GRAY16, 12, 200, true},
                      ThresholdCase{"Gray16BelowTruncatedThreshold", ImageKind::GRAY16, 11, 200, false},
                      // COLOR16 goes through GRAY16: (130 * 100) / 1600 = 8 >= 136 / 16.
                      ThresholdCase{"Color16ThroughGray16", ImageKind::COLOR16, 0x828282, 136, true},
                      // COLOR256 goes through GRAY256: 130 < 136.
                      ThresholdCase{"Color256ThroughGray256", ImageKind::COLOR256, 0x828282, 136, false},
                      ThresholdCase{"Color256AtThreshold", ImageKind::COLOR256, 0x828282, 130, true},
                      // RGB divides each term: 39 + 76 + 14 = 129 < 130.
                      ThresholdCase{"RGBPerTerm", ImageKind::RGB, 0x828282, 130, false},
                      ThresholdCase{"RGBPerTermAt", ImageKind::RGB, 0x828282, 129, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Error diffusion ---------------------------------------------------------------------------

// A plain reading of the dithering rules, on whole ints and with every edge test spelt out.
std::vector<std::vector<int>> ReferenceDither(const IMG& gray, int threshold) {
    const int width = gray.width, height = gray.height;
    std::vector<std::vector<int>> out(height, std::vector<int>(width));
    if (height == 0) return out;
    std::vector<int> current(width), next(width);
    for (int x = 0; x < width; ++x) current[x] = static_cast<int>(PixelAt(gray, x, 0));
    const int computed = height >= 2 ? height - 1 : 1;
    for (int r = 0; r < computed; ++r) {
        if (r + 1 < height)
            for (int x = 0; x < width; ++x) next[x] = static_cast<int>(PixelAt(gray, x, r + 1));
        const bool nextIsLast = r + 1 >= height - 1;
        for (int x = 0; x < width; ++x) {
            const int v = std::clamp(current[x], 0, 255);
            const bool white = v > threshold;
            const int e = white ? v - 255 : v;
            out[r][x] = white;
            if (x < width - 1) current[x + 1] += 7 * e / 16;
            if (!nextIsLast) {
                if (x > 0) next[x - 1] += 3 * e / 16;
                next[x] += 5 * e / 16;
                if (x < width - 1) next[x + 1] += e / 16;
            }
        }
        std::swap(current, next);
    }
    if (height >= 2) out[height - 1] = out[height - 2];
    return out;
}

struct DitherCase {
    int width;
    int height;
    int threshold;
};
void PrintTo(const DitherCase& c, std::ostream* os) { *os << c.width << "x" << c.height << ", threshold " << c.threshold; }

class DitherTest : public ConvertTest, public ::testing::WithParamInterface<DitherCase> {};

TEST_P(DitherTest, MatchesThePlainReading) {
    const DitherCase& c = GetParam();
    SetConvertOptions(30, 59, 11, c.threshold, 1);
    ImagePtr gray = MakeNoiseImage(ImageKind::GRAY256, c.width, c.height, c.width * 31 + c.height);
    ImagePtr bw = LumoToBW(gray.get());
    const auto expected = ReferenceDither(*gray, c.threshold);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            ASSERT_EQ(PixelAt(*bw, x, y), static_cast<uint32_t>(expected[y][x])) << "at " << x << ", " << y;
}

// One row (dithered along the row), one column, two rows (no error goes down), odd widths.
INSTANTIATE_TEST_SUITE_P(Sizes, DitherTest,
                         ::testing::Values(DitherCase{1, 1, 128}, DitherCase{9, 1, 128}, DitherCase{1, 9, 128},
                                           DitherCase{2, 2, 128}, DitherCase{11, 2, 100}, DitherCase{17, 3, 128},
                                           DitherCase{64, 40, 128}, DitherCase{333, 17, 0},
                                           DitherCase{45, 30, 255}, DitherCase{45, 30, -5}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                    "_Threshold" + std::to_string(info.param.threshold + 5);
                         });

TEST_F(ConvertTest, DitheringUniformGrayStartsBlackThenWhiteAndRepeatsTheRowAboveAtTheBottom) {
    ImagePtr gray = MakeUniformGray(10, 6, 128);
    ImagePtr bw = LumoToBW(gray.get());
    EXPECT_EQ(PixelAt(*bw, 0, 0), 0u);  // 128 is not above the threshold
    EXPECT_EQ(PixelAt(*bw, 1, 0), 1u);  // 128 + 7 * 128 / 16 = 184
    EXPECT_EQ(std::vector<uint8_t>(MemoryRow(*bw, 0), MemoryRow(*bw, 1)),
              std::vector<uint8_t>(MemoryRow(*bw, 1), MemoryRow(*bw, 2)));
}

TEST_F(ConvertTest, OtherKindsAreDitheredThroughGray256) {
    for (ImageKind kind : {ImageKind::GRAY16, ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB}) {
        ImagePtr source = MakeNoiseImage(kind, 21, 9, 4);
        EXPECT_TRUE(SamePixels(*LumoToBW(LumoToGRAY256(source.get()).get()), *LumoToBW(source.get())))
            << KindName(kind);
    }
}

TEST_F(ConvertTest, VerboseDitheringAnnouncesTheGrayStep) {
    LumoSetIntOption("verbose", 1);
    ImagePtr gray = MakeUniformGray(4, 4, 100);
    LumoToBW(gray.get());
    EXPECT_TRUE(warnings.empty());

    ImagePtr rgb = MakeUniformRGB(4, 4, 10, 20, 30);
    LumoToBW(rgb.get());
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].module, "LumoToBW");
    EXPECT_EQ(warnings[0].text, "Converting to GRAY256 for dithering");
    EXPECT_EQ(warnings[1].module, "LumoToBW");
    EXPECT_EQ(warnings[1].text, "Dithering...");

    warnings.clear();
    LumoSetIntOption("verbose", 0);
    LumoToBW(rgb.get());
    LumoSetIntOption("verbose", 1);
    LumoSetIntOptionConvert("dither", 0);
    LumoToBW(rgb.get());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ConvertTest, ProgressIsReportedPerRow) {
    ImagePtr rgb = MakeNoiseImage(ImageKind::RGB, 5, 4, 1);
    LumoToGRAY256(rgb.get());
    EXPECT_EQ(progress, (std::vector<int>{-1, 25, 50, 75, 100, -2}));
}

TEST_F(ConvertTest, EmptyPicturesConvert) {
    for (ImageKind kind : kKinds) {
        ImagePtr empty = MakeNoiseImage(kind, 0, 3, 1);
        for (ImageKind target : kKinds)
            if (target != kind) {
                EXPECT_EQ(ConvertTo(*empty, target)->height, 3);
            }
    }
}

}  // namespace
