#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "core/convert.h"
#include "core/rescale.h"
#include "tests/support/lumo_test.h"

namespace {

class RescaleTest : public LumoTest {};

// ---- A slow rescale written straight from the rules, one pixel at a time ----

// The working value of a source pixel for channel c (0 red, 1 green, 2 blue): bi-level and gray
// levels widened to 0..255, palette indices looked up.
int WorkingValue(const IMG& image, int x, int y, int c) {
    const uint32_t v = PixelAt(image, x, y);
    switch (KindOf(image)) {
        case ImageKind::BW: return v ? 255 : 0;
        case ImageKind::GRAY16: return static_cast<int>(v * 17);
        case ImageKind::GRAY256: return static_cast<int>(v);
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: return image.palette[3 * v + c];
        case ImageKind::RGB: return static_cast<int>(v >> (16 - 8 * c)) & 0xFF;
    }
    return 0;
}

// What RescaleAux should give: GRAY256 for bi-level and gray sources, RGB for colour ones.
ImagePtr ReferenceRescale(const IMG& source, int newWidth, int newHeight) {
    const long w = source.width, h = source.height;
    const bool rgb = source.colorClass == COLOR;
    const int channels = rgb ? 3 : 1;
    ImagePtr out = LumoCreateImage(newWidth, newHeight, rgb ? COLOR : GRAY, nullptr, rgb ? 24 : 8);
    auto store = [&](int i, int j, const long* value) {
        SetPixel(*out, i, j, rgb ? static_cast<uint32_t>(value[0] << 16 | value[1] << 8 | value[2])
                                 : static_cast<uint32_t>(value[0]));
    };
    const bool bwShrink = IsKind(source, ImageKind::BW) && newWidth < w && newHeight < h;
    if (bwShrink && newWidth == w / 2 && newHeight == h / 2) {
        for (int j = 0; j < newHeight; ++j)
            for (int i = 0; i < newWidth; ++i) {
                long white = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) white += PixelAt(source, 2 * i + dx, 2 * j + dy);
                const long value[3] = {255 * white / 4};
                store(i, j, value);
            }
    } else if (!bwShrink && newWidth > w && newHeight > h) {
        for (int j = 0; j < newHeight; ++j)
            for (int i = 0; i < newWidth; ++i) {
                long value[3];
                for (int c = 0; c < channels; ++c)
                    value[c] = WorkingValue(source, static_cast<int>(w * i / newWidth),
                                            static_cast<int>(h * j / newHeight), c);
                store(i, j, value);
            }
    } else {
        auto columnBound = [&](long i) { return i < newWidth ? w * i / newWidth : (rgb ? w : w - 1); };
        long rowStart = 0;
        for (int j = 0; j < newHeight; ++j) {
            const long y = std::min(h * (j + 1) / newHeight, h - 1);
            const long rows = std::max(y - rowStart, 1L);
            for (int i = 0; i < newWidth; ++i) {
                const long x0 = columnBound(i), columns = std::max(columnBound(i + 1) - x0, 1L);
                long value[3];
                for (int c = 0; c < channels; ++c) {
                    long sum = 0;
                    for (long yy = rowStart; yy < rowStart + rows; ++yy)
                        for (long xx = x0; xx < x0 + columns; ++xx)
                            sum += WorkingValue(source, static_cast<int>(xx), static_cast<int>(yy), c);
                    value[c] = sum / (columns * rows);
                }
                store(i, j, value);
            }
            rowStart = y;
        }
    }
    return out;
}

// Random pixels (and padding) of the kind; palettes of random colours.
ImagePtr RandomImage(ImageKind kind, int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    PalettePtr palette;
    if (kind == ImageKind::COLOR16 || kind == ImageKind::COLOR256) {
        palette = CreateIMGPalette(256);
        for (int i = 0; i < 3 * 256; ++i) palette[i] = static_cast<uint8_t>(random());
    }
    ImagePtr image = LumoCreateImage(width, height, ColorClassOf(kind), std::move(palette), BitsPerPixelOf(kind));
    for (size_t i = 0; i < PixelBytes(*image); ++i) image->bits[i] = static_cast<uint8_t>(random());
    return image;
}

std::vector<uint8_t> Snapshot(const IMG& image) {
    std::vector<uint8_t> bytes(image.bits, image.bits + PixelBytes(image));
    if (image.palette) bytes.insert(bytes.end(), image.palette, image.palette + 3 * (1 << image.bitsPerPixel));
    return bytes;
}

// ---- Every route against the reference, on random pictures of odd sizes ----

struct SizeCase {
    int width, height, newWidth, newHeight;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.width << "x" << c.height << " to " << c.newWidth << "x" << c.newHeight; }

class RescaleAuxTest : public LumoTest, public ::testing::WithParamInterface<std::tuple<ImageKind, SizeCase>> {};

TEST_P(RescaleAuxTest, MatchesTheStraightforwardRescale) {
    const auto [kind, size] = GetParam();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        ImagePtr source = RandomImage(kind, size.width, size.height, seed);
        const std::vector<uint8_t> before = Snapshot(*source);
        ImagePtr expected = ReferenceRescale(*source, size.newWidth, size.newHeight);
        ImagePtr actual = RescaleAux(source.get(), size.newWidth, size.newHeight);
        ASSERT_TRUE(SamePixels(*expected, *actual)) << "seed " << seed;
        EXPECT_EQ(Snapshot(*source), before) << "the source must stay untouched";
    }
}

INSTANTIATE_TEST_SUITE_P(
    OddSizes, RescaleAuxTest,
    ::testing::Combine(::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                         ImageKind::COLOR256, ImageKind::RGB),
                       ::testing::Values(SizeCase{37, 23, 5, 7},       // shrink, uneven blocks
                                         SizeCase{37, 23, 36, 22},     // shrink by one, blocks of one
                                         SizeCase{101, 67, 50, 33},    // exact half of odd sizes
                                         SizeCase{30, 17, 15, 8},      // exact half, 3 pixels after the bytes
                                         SizeCase{64, 64, 32, 32},     // exact half, whole bytes only
                                         SizeCase{131, 9, 1, 1},       // one pixel
                                         SizeCase{13, 11, 40, 29},     // enlarge both ways
                                         SizeCase{1, 1, 7, 5},         // enlarge a single pixel
                                         SizeCase{13, 11, 40, 5},      // wider and lower: averaging
                                         SizeCase{13, 11, 3, 30},      // narrower and taller
                                         SizeCase{13, 11, 13, 11},     // same size
                                         SizeCase{5, 300, 5, 299})));  // rows dropped one at a time

// ---- Tables and blocks, on pictures small enough to reason about ----

// 10 x 10 to 5 x 5: output column and row 4 start at source column and row 8. The gray table
// ends at 9, so the gray column 4 covers column 8 only; the RGB table ends at 10 and covers 8
// and 9. Row 4 covers row 8 only in both.
struct CoverageCase {
    ImageKind kind;
    bool markColumn;  // mark a column (else a row) of the source with 200
    int mark;         // its index
    int expected;     // value of output column (or row) 4, in every row (or column)
};
void PrintTo(const CoverageCase& c, std::ostream* os) { *os << KindName(c.kind) << (c.markColumn ? " column " : " row ") << c.mark; }

class CoverageTest : public LumoTest, public ::testing::WithParamInterface<CoverageCase> {};

TEST_P(CoverageTest, LastBlockCoversWhatTheTableSays) {
    const CoverageCase& c = GetParam();
    ImagePtr source = LumoCreateImage(10, 10, ColorClassOf(c.kind), nullptr, BitsPerPixelOf(c.kind));
    const uint32_t marker = c.kind == ImageKind::RGB ? 0xC8C8C8 : 200;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) SetPixel(*source, x, y, (c.markColumn ? x : y) == c.mark ? marker : 0);
    ImagePtr out = c.kind == ImageKind::RGB ? LumoRescaleRGB(source.get(), 5, 5) : RescaleGRAY256(source.get(), 5, 5);
    for (int k = 0; k < 5; ++k) {
        const uint32_t value = c.markColumn ? PixelAt(*out, 4, k) : PixelAt(*out, k, 4);
        EXPECT_EQ(value & 0xFF, static_cast<uint32_t>(c.expected)) << "at " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(TenToFive, CoverageTest,
                         ::testing::Values(CoverageCase{ImageKind::GRAY256, true, 9, 0},
                                           CoverageCase{ImageKind::GRAY256, true, 8, 200},
                                           CoverageCase{ImageKind::RGB, true, 9, 100},
                                           CoverageCase{ImageKind::RGB, true, 8, 100},
                                           CoverageCase{ImageKind::GRAY256, false, 9, 0},
                                           CoverageCase{ImageKind::GRAY256, false, 8, 200},
                                           CoverageCase{ImageKind::RGB, false, 9, 0},
                                           CoverageCase{ImageKind::RGB, false, 8, 200}));

TEST_F(RescaleTest, WiderButLowerTakesOneColumnAndAveragesTwoRows) {
    ImagePtr source = MakePatternImage(ImageKind::GRAY256, 100, 100, 7);
    ImagePtr out = RescaleGRAY256(source.get(), 200, 50);
    for (int j = 0; j < 50; ++j)
        for (int i = 0; i < 200; ++i) {
            // The last block ends at row 99 and so holds row 98 alone.
            const uint32_t expected = j < 49 ? (PixelAt(*source, i / 2, 2 * j) + PixelAt(*source, i / 2, 2 * j + 1)) / 2
                                             : PixelAt(*source, i / 2, 98);
            ASSERT_EQ(PixelAt(*out, i, j), expected) << i << ", " << j;
        }
}

TEST_F(RescaleTest, StretchedRowBlocksRepeatRowsAndStayInside) {
    // Two rows to four at the same width averages blocks of one row: rows 0, 0, 1, 1.
    ImagePtr gray = MakePatternImage(ImageKind::GRAY256, 3, 2, 3);
    ImagePtr rgb = MakePatternImage(ImageKind::RGB, 3, 2, 3);
    ImagePtr tallGray = RescaleGRAY256(gray.get(), 3, 4);
    ImagePtr tallRgb = LumoRescaleRGB(rgb.get(), 3, 4);
    const int sourceRow[] = {0, 0, 1, 1};
    for (int j = 0; j < 4; ++j)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(PixelAt(*tallGray, x, j), PixelAt(*gray, x, sourceRow[j])) << x << ", " << j;
            EXPECT_EQ(PixelAt(*tallRgb, x, j), PixelAt(*rgb, x, sourceRow[j])) << x << ", " << j;
        }
}

TEST_F(RescaleTest, ExactHalfGivesFiveLevelsAndDropsTheOddEdge) {
    // Block (i, j) of a 101 x 101 picture holds (i + 2j) % 5 white pixels, in varying places;
    // the odd last row and column are white and must not count.
    ImagePtr source = LumoCreateImage(101, 101, BILEVEL, nullptr, 1);
    std::fill(source->bits, source->bits + PixelBytes(*source), 0);
    for (int y = 0; y < 101; ++y) SetPixel(*source, 100, y, 1);
    for (int x = 0; x < 101; ++x) SetPixel(*source, x, 100, 1);
    const int corner[4][2] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};
    for (int j = 0; j < 50; ++j)
        for (int i = 0; i < 50; ++i)
            for (int k = 0; k < (i + 2 * j) % 5; ++k) {
                const int* dxy = corner[(k + i) % 4];
                SetPixel(*source, 2 * i + dxy[0], 2 * j + dxy[1], 1);
            }
    ImagePtr out = LumoShrinkBWToGRAY256(source.get(), 50, 50);
    const uint32_t levels[] = {0, 63, 127, 191, 255};
    for (int j = 0; j < 50; ++j)
        for (int i = 0; i < 50; ++i) ASSERT_EQ(PixelAt(*out, i, j), levels[(i + 2 * j) % 5]) << i << ", " << j;
}

TEST_F(RescaleTest, EnlargingRepeatsTheNearestPixel) {
    // 100 x 100 BW to 200 x 200: through GRAY256 and back to BW, every source pixel becomes 2 x 2.
    ImagePtr source = MakePatternImage(ImageKind::BW, 100, 100, 5);
    ImagePtr gray = RescaleAux(source.get(), 200, 200);
    ImagePtr bw = LumoRescale(source.get(), 200, 200);
    ASSERT_TRUE(IsKind(*gray, ImageKind::GRAY256));
    ASSERT_TRUE(IsKind(*bw, ImageKind::BW));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(PixelAt(*gray, x, y), PixelAt(*source, x / 2, y / 2) * 255) << x << ", " << y;
            ASSERT_EQ(PixelAt(*bw, x, y), PixelAt(*source, x / 2, y / 2)) << x << ", " << y;
        }
}

TEST_F(RescaleTest, ProgressFollowsTheProtocol) {
    ImagePtr gray = MakePatternImage(ImageKind::GRAY256, 10, 10);
    ImagePtr bw = MakePatternImage(ImageKind::BW, 8, 8);
    RescaleGRAY256(gray.get(), 5, 4);  // averaging: before each row
    EXPECT_EQ(progress, (std::vector<int>{-1, 0, 25, 50, 75, -2}));
    progress.clear();
    RescaleGRAY256(gray.get(), 30, 12);  // enlarging: before each row
    ASSERT_EQ(progress.size(), 14u);
    EXPECT_EQ(progress[1], 0);
    EXPECT_EQ(progress[12], 11 * 100 / 12);
    progress.clear();
    LumoShrinkBWToGRAY256(bw.get(), 4, 4);  // exact half: after each row
    EXPECT_EQ(progress, (std::vector<int>{-1, 25, 50, 75, 100, -2}));
}

// ---- Results of the source's kind, or of the kind asked for ----

class KindTest : public LumoTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(KindTest, RescaleConvertsBackToTheSourceKind) {
    ImagePtr source = RandomImage(GetParam(), 23, 17, 11);
    const std::vector<uint8_t> before = Snapshot(*source);
    ImagePtr result = LumoRescale(source.get(), 9, 31);
    EXPECT_EQ(KindOf(*result), GetParam());
    EXPECT_EQ(result->width, 9);
    EXPECT_EQ(result->height, 31);
    ImagePtr working = RescaleAux(source.get(), 9, 31);
    IMG* converted = LumoConvert(working.get(), source->colorClass, source->bitsPerPixel);
    ImagePtr owned(converted == working.get() ? nullptr : converted);
    EXPECT_TRUE(SamePixels(*converted, *result));
    EXPECT_EQ(Snapshot(*source), before);

    ImagePtr gray = LumoRescaleConvert(source.get(), 9, 31, GRAY, 8);
    ASSERT_TRUE(IsKind(*gray, ImageKind::GRAY256));
    if (IsKind(*working, ImageKind::GRAY256)) {
        EXPECT_TRUE(SamePixels(*working, *gray));
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, KindTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB));

// ---- Refusals ----

struct Operation {
    const char* module;
    ImageKind sourceKind;
    std::function<ImagePtr(const IMG*, int, int)> run;
};
void PrintTo(const Operation& c, std::ostream* os) { *os << c.module << " of " << KindName(c.sourceKind); }

const Operation kOperations[] = {
    {"LumoRescale", ImageKind::COLOR16, LumoRescale},
    {"LumoRescaleConvert", ImageKind::RGB,
     [](const IMG* image, int w, int h) { return LumoRescaleConvert(image, w, h, GRAY, 8); }},
    {"RescaleAux", ImageKind::GRAY16, RescaleAux},
    {"LumoShrinkBWToGRAY256", ImageKind::BW, LumoShrinkBWToGRAY256},
    {"RescaleGRAY256", ImageKind::GRAY256, RescaleGRAY256},
    {"LumoRescaleRGB", ImageKind::RGB, LumoRescaleRGB},
};

class RefusalTest : public LumoTest, public ::testing::WithParamInterface<Operation> {};

TEST_P(RefusalTest, SizesOutsideTheRecordAndEmptySourcesAreRefused) {
    const Operation& op = GetParam();
    ImagePtr source = RandomImage(op.sourceKind, 6, 4, 1);
    for (const auto& [w, h] : {std::pair{0, 3}, {3, 0}, {-2, 3}, {3, -1}, {65536, 3}, {0, 0}}) {
        try {
            op.run(source.get(), w, h);
            ADD_FAILURE() << "no error for " << w << " x " << h;
        } catch (const LumoFailure& failure) {
            EXPECT_EQ(failure.module(), op.module);
            EXPECT_EQ(std::string(failure.text()).rfind("Invalid size", 0), 0u) << failure.text();
        }
    }
    ImagePtr empty = LumoCreateImage(0, 4, ColorClassOf(op.sourceKind),
                                     op.sourceKind == ImageKind::COLOR16 ? CreateIMGPalette(16) : nullptr,
                                     BitsPerPixelOf(op.sourceKind));
    EXPECT_LUMO_ERROR(op.run(empty.get(), 2, 2), op.module, "Can't rescale an empty image (0 x 4)");
}

INSTANTIATE_TEST_SUITE_P(Operations, RefusalTest, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.module); });

TEST_F(RescaleTest, WrongSourcesAreRefused) {
    ImagePtr bw = MakePatternImage(ImageKind::BW, 10, 10);
    ImagePtr rgb = MakePatternImage(ImageKind::RGB, 10, 10);
    EXPECT_LUMO_ERROR(LumoShrinkBWToGRAY256(bw.get(), 11, 5), "LumoShrinkBWToGRAY256", "Can't shrink to a bigger size");
    EXPECT_LUMO_ERROR(LumoShrinkBWToGRAY256(bw.get(), 5, 11), "LumoShrinkBWToGRAY256", "Can't shrink to a bigger size");
    EXPECT_EQ(LumoShrinkBWToGRAY256(bw.get(), 10, 3)->width, 10);  // as wide is not bigger
    EXPECT_THROW(RescaleGRAY256(rgb.get(), 5, 5), LumoFailure);
    EXPECT_THROW(LumoRescaleRGB(bw.get(), 5, 5), LumoFailure);
    EXPECT_THROW(LumoShrinkBWToGRAY256(rgb.get(), 5, 5), LumoFailure);

    rgb->colorClass = GRAY;  // no such kind
    EXPECT_LUMO_ERROR(RescaleAux(rgb.get(), 5, 5), "Recale", "Problem in RescaleAux");
    EXPECT_LUMO_ERROR(LumoRescale(rgb.get(), 5, 5), "Recale", "Problem in RescaleAux");
    ASSERT_EQ(errors.size(), 7u);
    EXPECT_EQ(errors.back().module, "Recale");
}

}  // namespace
