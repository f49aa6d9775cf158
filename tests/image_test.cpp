#include <cstring>

#include "core/image.h"
#include "core/memory.h"
#include "platform/message_box.h"
#include "tests/support/lumo_test.h"

namespace {

class ImageTest : public LumoTest {};

struct RowSizeCase {
    ImageKind kind;
    int width;
    int rowBytes;
};
void PrintTo(const RowSizeCase& c, std::ostream* os) { *os << KindName(c.kind) << " width " << c.width; }

class RowSizeTest : public LumoTest, public ::testing::WithParamInterface<RowSizeCase> {};

TEST_P(RowSizeTest, RowsArePaddedToFourBytes) {
    const RowSizeCase& c = GetParam();
    PalettePtr palette;
    if (ColorClassOf(c.kind) == COLOR && BitsPerPixelOf(c.kind) != 24) palette = CreateIMGPalette(256);
    ImagePtr image = LumoCreateImage(c.width, 2, ColorClassOf(c.kind), std::move(palette), BitsPerPixelOf(c.kind));
    EXPECT_EQ(image->rowBytes, c.rowBytes);
    EXPECT_EQ(image->xResolution, 0.0f);
    EXPECT_EQ(image->yResolution, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RowSizeTest,
                         ::testing::Values(RowSizeCase{ImageKind::BW, 1, 4}, RowSizeCase{ImageKind::BW, 32, 4},
                                           RowSizeCase{ImageKind::BW, 33, 8}, RowSizeCase{ImageKind::RGB, 3, 12},
                                           RowSizeCase{ImageKind::GRAY16, 10, 8},
                                           RowSizeCase{ImageKind::GRAY256, 5, 8},
                                           RowSizeCase{ImageKind::COLOR16, 9, 8},
                                           RowSizeCase{ImageKind::RGB, 21844, 65532}));

TEST_F(ImageTest, IllegalParametersAreRefusedInOrder) {
    EXPECT_LUMO_ERROR(LumoCreateImage(4, 4, BILEVEL, nullptr, 8), "LumoCreateImage", "Illegal Parameters");
    EXPECT_LUMO_ERROR(LumoCreateImage(4, 4, COLOR, CreateIMGPalette(16), 24), "LumoCreateImage", "Illegal Parameters");
    EXPECT_LUMO_ERROR(LumoCreateImage(4, 4, BILEVEL, CreateIMGPalette(2), 1), "LumoCreateImage", "Illegal Parameters");
    EXPECT_LUMO_ERROR(LumoCreateImage(4, 4, GRAY, nullptr, 24), "LumoCreateImage", "Illegal Parameters");
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].module, "LumoCreateImage");
}

TEST_F(ImageTest, SizesBeyondTheRecordAreRefusedNotTruncated) {
    // 21845 RGB pixels need 65536 bytes per padded row, which a 16-bit row size cannot hold.
    EXPECT_THROW(LumoCreateImage(21845, 1, COLOR, nullptr, 24), LumoFailure);
    EXPECT_THROW(LumoCreateImage(65533, 1, GRAY, nullptr, 8), LumoFailure);
    EXPECT_THROW(LumoCreateImage(65536, 1, GRAY, nullptr, 8), LumoFailure);
    EXPECT_THROW(LumoCreateImage(1, 70000, BILEVEL, nullptr, 1), LumoFailure);
    EXPECT_THROW(LumoCreateImage(-1, 1, BILEVEL, nullptr, 1), LumoFailure);
    EXPECT_EQ(LumoCreateImage(65532, 1, GRAY, nullptr, 8)->rowBytes, 65532);
    EXPECT_EQ(LumoCreateImage(65535, 1, BILEVEL, nullptr, 1)->rowBytes, 8192);
}

TEST_F(ImageTest, EmptyImagesHaveNoPixelBlock) {
    ImagePtr flat = LumoCreateImage(10, 0, GRAY, nullptr, 8);
    EXPECT_EQ(flat->bits, nullptr);
    ImagePtr thin = LumoCreateImage(0, 10, COLOR, nullptr, 24);
    EXPECT_EQ(thin->rowBytes, 0);
    EXPECT_EQ(thin->bits, nullptr);
    FlipImage(thin.get());
    LumoInvertImage(flat.get());
}

TEST_F(ImageTest, AddRowsGrowsAndTrimsAtTheTop) {
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 5, 3);
    const uint32_t bottom = PixelAt(*image, 2, 2);
    LumoAddRowsImage(image.get(), 4);
    EXPECT_EQ(image->height, 7);
    EXPECT_EQ(PixelAt(*image, 2, 6), bottom);  // the bottom row stays the first stored row
    LumoAddRowsImage(image.get(), -6);
    EXPECT_EQ(image->height, 1);
    EXPECT_EQ(PixelAt(*image, 2, 0), bottom);
    EXPECT_THROW(LumoAddRowsImage(image.get(), -2), LumoFailure);
}

TEST_F(ImageTest, FlipExchangesRowsAndKeepsTheMiddleOne) {
    ImagePtr image = MakePatternImage(ImageKind::RGB, 3, 3);
    ImagePtr original = MakePatternImage(ImageKind::RGB, 3, 3);
    FlipImage(image.get());
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::memcmp(PictureRow(*image, y), PictureRow(*original, 2 - y), image->rowBytes), 0);
    ImagePtr single = MakePatternImage(ImageKind::BW, 9, 1);
    FlipImage(single.get());
    EXPECT_TRUE(SamePixels(*MakePatternImage(ImageKind::BW, 9, 1), *single));
}

TEST_F(ImageTest, InvertComplementsLevelsAndPadding) {
    ImagePtr bw = LumoCreateImage(3, 1, BILEVEL, nullptr, 1);
    std::memset(bw->bits, 0, 4);
    LumoInvertImage(bw.get());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bw->bits[i], 0xFF);

    ImagePtr gray16 = LumoCreateImage(2, 1, GRAY, nullptr, 4);
    gray16->bits[0] = 0x0F;
    LumoInvertImage(gray16.get());
    EXPECT_EQ(gray16->bits[0], 0xF0);

    ImagePtr gray = LumoCreateImage(2, 1, GRAY, nullptr, 8);
    gray->bits[0] = 0;
    gray->bits[1] = 200;
    LumoInvertImage(gray.get());
    EXPECT_EQ(gray->bits[0], 255);
    EXPECT_EQ(gray->bits[1], 55);
}

TEST_F(ImageTest, InvertRefusesColourAfterShowingItsInfo) {
    std::vector<std::string> boxes;
    MessageBoxFunction previous = SetMessageBoxFunction(
        [&](const char* caption, const char* text, MessageIcon) { boxes.push_back(std::string(caption) + "|" + text); });
    ImagePtr image = MakePatternImage(ImageKind::RGB, 640, 480);
    const std::vector<uint8_t> before(image->bits, image->bits + PixelBytes(*image));
    EXPECT_LUMO_ERROR(LumoInvertImage(image.get()), "LumoInvertImage", "Can't invert color image");
    SetMessageBoxFunction(previous);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Info|Image 640 x 480 16777216 colors");
    EXPECT_TRUE(std::equal(before.begin(), before.end(), image->bits));
}

TEST_F(ImageTest, DumpInfoDescribesEveryClass) {
    std::vector<std::string> texts;
    MessageBoxFunction previous =
        SetMessageBoxFunction([&](const char*, const char* text, MessageIcon) { texts.push_back(text); });
    LumoDumpInfoImage(MakePatternImage(ImageKind::BW, 2, 3).get());
    LumoDumpInfoImage(MakePatternImage(ImageKind::GRAY16, 2, 3).get());
    LumoDumpInfoImage(MakePatternImage(ImageKind::COLOR256, 2, 3).get());
    SetMessageBoxFunction(previous);
    EXPECT_EQ(texts, (std::vector<std::string>{"Image 2 x 3 Black & White (bi-level)", "Image 2 x 3 16 levels of grays",
                                               "Image 2 x 3 256 colors"}));
}

TEST_F(ImageTest, SwapRedBlueExchangesOuterBytes) {
    ImagePtr image = LumoCreateImage(2, 1, COLOR, nullptr, 24);
    const uint8_t pixels[] = {1, 2, 3, 4, 5, 6};
    std::memcpy(image->bits, pixels, 6);
    LumoSwapRedBlue(image.get());
    EXPECT_EQ(std::vector<uint8_t>(image->bits, image->bits + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST_F(ImageTest, EndLumoReportsTheBlockCounter) {
    EndLumo();
    const size_t silent = warnings.size();
    void* block = LumoAlloc(10);
    EndLumo();
    LumoFree(block);
    ASSERT_EQ(warnings.size(), silent + 1);
    EXPECT_EQ(warnings.back().module, "EndLumo");
    EXPECT_EQ(warnings.back().text, "Memory blocks not freed: 1");
}

}  // namespace
