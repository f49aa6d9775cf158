#include <cstring>

#include "core/orientation.h"
#include "tests/support/lumo_test.h"

namespace {

class OrientationTest : public LumoTest, public ::testing::WithParamInterface<ImageKind> {};

ImagePtr Step(const ImagePtr& image, Orientation step) { return LumoOrientImage(image.get(), step); }

::testing::AssertionResult SameBytes(const IMG& expected, const IMG& actual) {
    if (expected.width != actual.width || expected.height != actual.height)
        return ::testing::AssertionFailure() << "sizes differ";
    if (std::memcmp(expected.bits, actual.bits, PixelBytes(expected)) != 0)
        return ::testing::AssertionFailure() << "stored bytes differ";
    return ::testing::AssertionSuccess();
}

// Odd sizes so that packed rows end inside a byte and turns change the row padding.
TEST_P(OrientationTest, TurnsAndMirrorsComposeAsTheyShould) {
    for (auto [width, height] : {std::pair{13, 7}, {1, 1}, {33, 5}, {2, 9}}) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height);
        const ImagePtr source = MakePatternImage(GetParam(), width, height);
        const ImagePtr right = Step(source, Orientation::RotateRight);
        ASSERT_EQ(right->width, height);
        ASSERT_EQ(right->height, width);

        const ImagePtr half = Step(right, Orientation::RotateRight);
        const ImagePtr full = Step(Step(half, Orientation::RotateRight), Orientation::RotateRight);
        EXPECT_TRUE(SamePixels(*source, *full));
        EXPECT_TRUE(SameBytes(*right, *Step(full, Orientation::RotateRight)));  // padding is zero every time
        EXPECT_TRUE(SamePixels(*half, *Step(source, Orientation::Rotate180)));
        EXPECT_TRUE(SamePixels(*source, *Step(right, Orientation::RotateLeft)));
        EXPECT_TRUE(SamePixels(*Step(half, Orientation::RotateRight), *Step(source, Orientation::RotateLeft)));
        EXPECT_TRUE(SamePixels(*half, *Step(Step(source, Orientation::FlipHorizontal), Orientation::FlipVertical)));
        EXPECT_TRUE(SamePixels(*Step(right, Orientation::FlipHorizontal), *Step(source, Orientation::Transpose)));
        EXPECT_TRUE(SamePixels(*Step(right, Orientation::FlipVertical), *Step(source, Orientation::Transverse)));
        EXPECT_TRUE(SamePixels(*source, *Step(source, Orientation::Upright)));
        EXPECT_TRUE(SamePixels(*source, *Step(Step(source, Orientation::Transpose), Orientation::Transpose)));
    }
}

// Where the top-left pixel goes pins the direction of each step.
TEST_P(OrientationTest, TopLeftPixelLandsWhereTheStepSays) {
    const ImagePtr source = MakePatternImage(GetParam(), 6, 4);
    const uint32_t topLeft = PixelAt(*source, 0, 0);
    const struct {
        Orientation step;
        int x, y;
    } cases[] = {{Orientation::FlipHorizontal, 5, 0}, {Orientation::Rotate180, 5, 3}, {Orientation::FlipVertical, 0, 3},
                 {Orientation::Transpose, 0, 0},      {Orientation::RotateRight, 3, 0}, {Orientation::Transverse, 3, 5},
                 {Orientation::RotateLeft, 0, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        const ImagePtr target = Step(source, c.step);
        EXPECT_EQ(PixelAt(*target, c.x, c.y), topLeft);
    }
}

TEST_P(OrientationTest, PaletteAndResolutionFollowTheSides) {
    ImagePtr source = MakePatternImage(GetParam(), 5, 3);
    source->xResolution = 300;
    source->yResolution = 150;
    const ImagePtr turned = Step(source, Orientation::RotateLeft);
    EXPECT_EQ(turned->xResolution, 150);
    EXPECT_EQ(turned->yResolution, 300);
    ASSERT_EQ(turned->palette != nullptr, source->palette != nullptr);
    if (source->palette) {
        EXPECT_EQ(std::memcmp(turned->palette, source->palette, 3u << source->bitsPerPixel), 0);
    }
}

// Composition is checked on pixels, for every pair of steps, on a picture whose sides differ.
TEST_P(OrientationTest, ThenOrientGivesTheTwoStepsInOne) {
    const ImagePtr source = MakePatternImage(GetParam(), 5, 3);
    for (int first = 1; first <= 8; ++first)
        for (int second = 1; second <= 8; ++second) {
            SCOPED_TRACE(::testing::Message() << first << " then " << second);
            const auto a = static_cast<Orientation>(first), b = static_cast<Orientation>(second);
            EXPECT_TRUE(SamePixels(*Step(Step(source, a), b), *Step(source, ThenOrient(a, b))));
        }
}

INSTANTIATE_TEST_SUITE_P(Kinds, OrientationTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
