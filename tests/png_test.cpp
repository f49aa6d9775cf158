// What is particular to PNG: files of every colour type and bit depth made by ImageMagick and Pillow
// (interlaced, 16-bit, alpha and tRNS among them) load with the pixels ImageMagick decodes, seen over
// white; our files read back in Pillow with the same pixels and in the PNG type of each kind, and
// back here with their kind and palette; the compression key; the resolution; hostile headers and
// chunks refused, or passed over, before anything large is allocated.
#include <chrono>
#include <cstring>

#include "core/memory.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/png/png.h"
#include "platform/profile.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/png_builder.h"
#include "tests/support/profile_fixture.h"

namespace {

using namespace png_builder;

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.png");
    return LoadPngFrom(file);
}

std::vector<uint8_t> WriteBytes(const IMG& image) {
    std::vector<uint8_t> bytes;
    WritePng(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

// Writes 37 x 23 pictures of one PNG type: python3 SCRIPT PATH CASE.
constexpr const char* kPillowWriter = R"(
import sys
from PIL import Image
path, case = sys.argv[1], sys.argv[2]
w, h = 37, 23
def pattern(mode, f):
    im = Image.new(mode, (w, h))
    im.putdata([f(x, y) for y in range(h) for x in range(w)])
    return im
def palette(count):
    return [(i * 53 + 7) % 256 for i in range(3 * count)]
if case == 'bilevel':
    pattern('1', lambda x, y: 255 if (x * y + x) % 3 else 0).save(path)
elif case == 'palette_alpha':
    im = pattern('P', lambda x, y: (x + 2 * y) % 20)
    im.putpalette(palette(20))
    im.save(path, transparency=bytes([0, 64, 128, 200, 255] * 3))
elif case.startswith('palette'):
    bits = int(case[7:])
    im = pattern('P', lambda x, y: (x * 3 + y * 5) % (1 << bits))
    im.putpalette(palette(1 << bits))
    im.save(path, bits=bits)
elif case == 'gray_key':
    pattern('L', lambda x, y: (x * 7 + y * 11) % 256).save(path, transparency=40)
elif case == 'rgb_key':
    pattern('RGB', lambda x, y: (x * 7 % 256, y * 11 % 256, (x + y) % 4 * 60)).save(path, transparency=(14, 22, 60))
elif case == 'gray16':
    pattern('I;16', lambda x, y: (x * 1777 + y * 2003) % 65536).save(path)
elif case == 'gray_alpha':
    pattern('LA', lambda x, y: (x * 7 % 256, y * 11 % 256)).save(path)
elif case == 'rgba':
    pattern('RGBA', lambda x, y: (x * 7 % 256, y * 11 % 256, 200, (x * y * 5) % 256)).save(path)
)";

// Prints "MODE WIDTH HEIGHT" and then the RGB bytes in hex of the picture Pillow reads.
constexpr const char* kPillowReader = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
print(im.mode, im.width, im.height, im.convert('RGB').tobytes().hex())
)";

struct ForeignPng {
    const char* name;
    const char* tool;       // "magick": ImageMagick's arguments before the output; "pillow": the writer's case
    const char* arguments;
    int colorType, depth, interlace;  // what the file must be, so that the case tests what it says
    ImageKind kind;
    int tolerance;          // 16-bit samples and alpha: the reference rounds in its own way
};
void PrintTo(const ForeignPng& c, std::ostream* os) { *os << c.name; }

class ForeignPngTest : public LumoTest, public ::testing::WithParamInterface<ForeignPng> {};

// The colour of every pixel, top row first, as ImageMagick decodes the file and puts it over white.
std::vector<uint8_t> ReferencePixels(const std::string& path, const std::string& out) {
    const std::string command = "/usr/bin/convert " + ShellQuote(path) +
                                " -background white -alpha remove -alpha off -depth 8 rgb:" + ShellQuote(out);
    EXPECT_EQ(RunCommand(command + " 2>&1").status, 0) << command;
    return ReadBytes(out);
}

TEST_P(ForeignPngTest, LoadsThePixelsImageMagickDecodes) {
    const ForeignPng& c = GetParam();
    const std::string python = PillowPython();
    if (python.empty() || !HaveTool("/usr/bin/convert")) GTEST_SKIP() << "needs Pillow and ImageMagick";
    // The source of the ImageMagick cases: a colourful, asymmetric picture.
    const std::string source = tempPath("source.bmp"), path = tempPath("foreign.png");
    SaveBmp(MakeNoiseImage(ImageKind::RGB, 37, 23, 5).get(), source.c_str());
    std::string arguments = c.arguments;
    for (size_t at; (at = arguments.find("SOURCE")) != std::string::npos;) arguments.replace(at, 6, source);
    const std::string command = std::string(c.tool) == "pillow"
                                    ? python + " -c " + ShellQuote(kPillowWriter) + " " + path + " " + arguments
                                    : "/usr/bin/convert " + arguments + " " + path;
    ASSERT_EQ(RunCommand(command + " 2>&1").status, 0) << command;
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_GT(file.size(), 29u);
    ASSERT_EQ(file[24], c.depth);
    ASSERT_EQ(file[25], c.colorType);
    ASSERT_EQ(file[28], c.interlace);

    const ImagePtr image = LumoLoadPng(path.c_str());
    EXPECT_EQ(KindOf(*image), c.kind);
    const std::vector<uint8_t> reference = ReferencePixels(path, tempPath("reference.rgb"));
    ASSERT_EQ(reference.size(), size_t{3} * image->width * image->height);
    int worst = 0;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const uint32_t shown = ShownColour(*image, x, y);
            const uint8_t* expected = reference.data() + 3 * (static_cast<size_t>(y) * image->width + x);
            for (int channel = 0; channel < 3; ++channel)
                worst = std::max(worst, std::abs(static_cast<int>(shown >> (16 - 8 * channel) & 0xFF) - expected[channel]));
        }
    }
    EXPECT_LE(worst, c.tolerance);
    EXPECT_TRUE(warnings.empty());
}


INSTANTIATE_TEST_SUITE_P(
    Writers, ForeignPngTest,
    ::testing::Values(
        ForeignPng{"magick_gray1", "magick", "SOURCE -colorspace gray -threshold 50% -define png:color-type=0 "
                   "-define png:bit-depth=1", 0, 1, 0, ImageKind::BW, 0},
        ForeignPng{"magick_gray1_interlaced", "magick", "SOURCE -colorspace gray -threshold 50% "
                   "-define png:color-type=0 -define png:bit-depth=1 -interlace PNG", 0, 1, 1, ImageKind::BW, 0},
        ForeignPng{"magick_gray2", "magick", "SOURCE -colorspace gray -define png:color-type=0 "
                   "-define png:bit-depth=2", 0, 2, 0, ImageKind::GRAY16, 0},
        ForeignPng{"magick_gray2_interlaced", "magick", "SOURCE -colorspace gray -define png:color-type=0 "
                   "-define png:bit-depth=2 -interlace PNG", 0, 2, 1, ImageKind::GRAY16, 0},
        ForeignPng{"magick_gray4", "magick", "SOURCE -colorspace gray -define png:color-type=0 "
                   "-define png:bit-depth=4", 0, 4, 0, ImageKind::GRAY16, 0},
        ForeignPng{"magick_gray8", "magick", "SOURCE -colorspace gray -define png:color-type=0 "
                   "-define png:bit-depth=8", 0, 8, 0, ImageKind::GRAY256, 0},
        ForeignPng{"magick_gray16", "magick", "-size 37x23 gradient:black-white -define png:color-type=0 "
                   "-define png:bit-depth=16", 0, 16, 0, ImageKind::GRAY256, 1},
        ForeignPng{"magick_gray16_interlaced", "magick", "-size 37x23 gradient:black-white -define png:color-type=0 "
                   "-define png:bit-depth=16 -interlace PNG", 0, 16, 1, ImageKind::GRAY256, 1},
        ForeignPng{"magick_palette8", "magick", "SOURCE -colors 200 -define png:format=png8", 3, 8, 0,
                   ImageKind::COLOR256, 0},
        ForeignPng{"magick_palette8_interlaced", "magick", "SOURCE -colors 100 -define png:format=png8 -interlace PNG",
                   3, 8, 1, ImageKind::COLOR256, 0},
        ForeignPng{"magick_rgb8", "magick", "SOURCE -define png:format=png24", 2, 8, 0, ImageKind::RGB, 0},
        ForeignPng{"magick_rgb16", "magick", "-size 37x23 gradient:red-blue -define png:format=png48", 2, 16, 0,
                   ImageKind::RGB, 1},
        ForeignPng{"magick_gray_alpha8", "magick", "SOURCE -colorspace gray -alpha set -channel A -fx i/w +channel "
                   "-define png:color-type=4 -define png:bit-depth=8", 4, 8, 0, ImageKind::GRAY256, 1},
        ForeignPng{"magick_gray_alpha16", "magick", "-size 37x23 gradient:black-white -alpha set -channel A -fx j/h "
                   "+channel -define png:color-type=4 -define png:bit-depth=16", 4, 16, 0, ImageKind::GRAY256, 1},
        ForeignPng{"magick_rgba8", "magick", "SOURCE -alpha set -channel A -fx j/h +channel -define png:format=png32",
                   6, 8, 0, ImageKind::RGB, 1},
        ForeignPng{"magick_rgba8_interlaced", "magick", "SOURCE -alpha set -channel A -fx j/h +channel "
                   "-define png:format=png32 -interlace PNG", 6, 8, 1, ImageKind::RGB, 1},
        ForeignPng{"magick_rgba16", "magick", "-size 37x23 gradient:red-blue -alpha set -channel A -fx i/w +channel "
                   "-define png:format=png64", 6, 16, 0, ImageKind::RGB, 1},
        ForeignPng{"pillow_bilevel", "pillow", "bilevel", 0, 1, 0, ImageKind::BW, 0},
        ForeignPng{"pillow_palette1", "pillow", "palette1", 3, 1, 0, ImageKind::COLOR16, 0},
        ForeignPng{"pillow_palette2", "pillow", "palette2", 3, 2, 0, ImageKind::COLOR16, 0},
        ForeignPng{"pillow_palette4", "pillow", "palette4", 3, 4, 0, ImageKind::COLOR16, 0},
        ForeignPng{"pillow_palette8", "pillow", "palette8", 3, 8, 0, ImageKind::COLOR256, 0},
        ForeignPng{"pillow_palette_alpha", "pillow", "palette_alpha", 3, 8, 0, ImageKind::COLOR256, 1},
        ForeignPng{"pillow_gray_key", "pillow", "gray_key", 0, 8, 0, ImageKind::GRAY256, 0},
        ForeignPng{"pillow_rgb_key", "pillow", "rgb_key", 2, 8, 0, ImageKind::RGB, 0},
        ForeignPng{"pillow_gray16", "pillow", "gray16", 0, 16, 0, ImageKind::GRAY256, 1},
        ForeignPng{"pillow_gray_alpha", "pillow", "gray_alpha", 4, 8, 0, ImageKind::GRAY256, 1},
        ForeignPng{"pillow_rgba", "pillow", "rgba", 6, 8, 0, ImageKind::RGB, 1}),
    [](const auto& info) { return std::string(info.param.name); });

class PngTest : public LumoTest {};

// Our files are the PNG type of each kind, hold exactly the picture (Pillow agrees) and load back here
// as the same kind with the same palette.
TEST_F(PngTest, EveryKindSavesAsItsOwnTypeAndReadsBackInPillow) {
    struct Expected {
        ImageKind kind;
        int depth, colorType;
        const char* pillowMode;
    };
    const std::string python = PillowPython();
    for (const Expected& e : {Expected{ImageKind::BW, 1, 0, "1"}, Expected{ImageKind::GRAY16, 4, 0, "L"},
                              Expected{ImageKind::GRAY256, 8, 0, "L"}, Expected{ImageKind::COLOR16, 4, 3, "P"},
                              Expected{ImageKind::COLOR256, 8, 3, "P"}, Expected{ImageKind::RGB, 8, 2, "RGB"}}) {
        for (const int width : {1, 37}) {
            SCOPED_TRACE(std::string(KindName(e.kind)) + " " + std::to_string(width));
            const ImagePtr image = MakeNoiseImage(e.kind, width, 23, 9);
            const std::string path = tempPath("ours.png");
            LumoSavePng(image.get(), path.c_str());
            const std::vector<uint8_t> file = ReadBytes(path);
            ASSERT_GT(file.size(), 29u);
            EXPECT_EQ(file[24], e.depth);
            EXPECT_EQ(file[25], e.colorType);
            EXPECT_TRUE(SamePixels(*image, *LumoLoadPng(path.c_str())));
            if (python.empty()) continue;
            const CommandResult read = RunCommand(python + " -c " + ShellQuote(kPillowReader) + " " + path);
            ASSERT_EQ(read.status, 0);
            std::string expected = std::string(e.pillowMode) + " " + std::to_string(width) + " 23 ";
            char hex[7];
            for (int y = 0; y < image->height; ++y)
                for (int x = 0; x < image->width; ++x) {
                    std::snprintf(hex, sizeof hex, "%06x", ShownColour(*image, x, y));
                    expected += hex;
                }
            EXPECT_EQ(read.output, expected + "\n");
        }
    }
    if (python.empty()) GTEST_SKIP() << "saved and loaded here; Pillow is not installed";
}

TEST_F(PngTest, ResolutionTravelsInPixelsPerMetre) {
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 5, 4);
    image->xResolution = 300;
    image->yResolution = 72;
    const std::vector<uint8_t> bytes = WriteBytes(*image);
    const std::vector<uint8_t> phys = Chunk("pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x0B, 0x13, 1});  // 11811, 2835, metre
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), phys.begin(), phys.end()), bytes.end());
    const ImagePtr loaded = LoadBytes(bytes);
    EXPECT_NEAR(loaded->xResolution, 300, 0.01);
    EXPECT_NEAR(loaded->yResolution, 72, 0.01);
    // No resolution, no chunk; and none is read from a pHYs that only states an aspect ratio.
    image->xResolution = image->yResolution = 0;
    const std::vector<uint8_t> plain = WriteBytes(*image);
    EXPECT_EQ(std::search(plain.begin(), plain.end(), phys.begin() + 4, phys.begin() + 8), plain.end());
    const std::vector<uint8_t> raw = {0, 1, 2, 0, 3, 4};
    const ImagePtr aspect =
        LoadBytes(File(Ihdr(2, 2, 8, 0), {Chunk("pHYs", {0, 0, 0, 2, 0, 0, 0, 1, 0}), Chunk("IDAT", StoredZlib(raw))}));
    EXPECT_EQ(aspect->xResolution, 0);
    EXPECT_EQ(PixelAt(*aspect, 1, 1), 4u);
}

using PngProfileTest = ProfileFileTest;

TEST_F(PngProfileTest, CompressionKeyChoosesTheZlibLevel) {
    ImagePtr image = LumoCreateImage(200, 150, COLOR, nullptr, 24);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) SetPixel(*image, x, y, static_cast<uint32_t>(x << 16 | y << 8 | (x ^ y)));
    const std::string stored = tempPath("0.png"), smallest = tempPath("9.png");
    ASSERT_TRUE(WriteProfileStringA("Lumo", "PngCompression", "0"));
    ASSERT_TRUE(SaveImageByExtension(image.get(), stored.c_str()));
    EXPECT_EQ(LumoGetIntOptionPng("compression"), 0);
    ASSERT_TRUE(WriteProfileStringA("Lumo", "PngCompression", "9"));
    ASSERT_TRUE(SaveImageByExtension(image.get(), smallest.c_str()));
    // Level 0 stores the rows (and their filter bytes) as they are; level 9 packs this pattern well.
    EXPECT_GT(ReadBytes(stored).size(), size_t{200 * 3 + 1} * 150);
    EXPECT_LT(ReadBytes(smallest).size() * 4, ReadBytes(stored).size());
    EXPECT_TRUE(SamePixels(*image, *LoadImageByExtension(stored.c_str())));
    EXPECT_TRUE(SamePixels(*image, *LoadImageByExtension(smallest.c_str())));
    // A level written by hand outside 0-9 saves at the nearest one.
    ASSERT_TRUE(WriteProfileStringA("Lumo", "PngCompression", "12"));
    ASSERT_TRUE(SaveImageByExtension(image.get(), tempPath("12.png").c_str()));
    EXPECT_EQ(ReadBytes(tempPath("12.png")), ReadBytes(smallest));
}

TEST_F(PngTest, HostileHeadersAreRefusedBeforeAllocating) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> idat = Chunk("IDAT", StoredZlib(std::vector<uint8_t>(100, 0)));
    // 12000 x 12000 RGB from 200 bytes: no deflate stream that short could hold 432 MB.
    EXPECT_LUMO_ERROR(LoadBytes(File(Ihdr(12000, 12000, 8, 2), {idat})), "LumoLoadPng",
                      "test.png: the header asks for 432012000 bytes of pixels from 144 bytes of data");
    EXPECT_LUMO_ERROR(LoadBytes(File(Ihdr(70000, 10, 8, 0), {idat})), "LumoLoadPng",
                      "Image size 70000 x 10 out of range (at most 65535 x 65535)");
    EXPECT_LUMO_ERROR(LoadBytes(File(Ihdr(0, 10, 8, 0), {idat})), "LumoLoadPng",
                      "Image size 0 x 10 out of range (at most 65535 x 65535)");
    LumoSetIntOption("maxpixels", 99);
    EXPECT_LUMO_ERROR(LoadBytes(File(Ihdr(10, 10, 8, 0), {idat})), "LumoLoadPng",
                      "Image size 10 x 10 (100 pixels) exceeds the limit of 99 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 178956970);
    // RGB wider than a record's row can hold is refused by the record, before the rows are read.
    EXPECT_LUMO_ERROR(LoadBytes(File(Ihdr(30000, 1, 8, 2), {Chunk("IDAT", StoredZlib(std::vector<uint8_t>(90001, 0)))})),
                      "LumoCreateImage", "Image too wide: 30000 pixels of 24 bits need 90000 bytes per row (at most 65535)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LUMO_ERROR(LoadBytes({'G', 'I', 'F', '8', '9', 'a'}), "LumoLoadPng", "Not a PNG file: test.png");
}

TEST_F(PngTest, AncillaryChunksArePassedOverUnread) {
    const std::vector<uint8_t> raw = {0, 10, 20, 0, 30, 40};
    const std::vector<uint8_t> idat = Chunk("IDAT", StoredZlib(raw));
    // A 9 MB comment, a text chunk with a broken CRC, and an ICC profile that would inflate to 200 MB
    // (its data is never read, so a short stand-in with the large length field will do at the end).
    std::vector<uint8_t> text = Chunk("tEXt", std::vector<uint8_t>(9 << 20, 'x'));
    std::vector<uint8_t> broken = Chunk("zTXt", {'a', 0, 0, 1, 2, 3});
    broken.back() ^= 1;
    const ImagePtr image = LoadBytes(File(Ihdr(2, 2, 8, 0), {text, broken, idat}));
    EXPECT_EQ(PixelAt(*image, 0, 0), 10u);
    EXPECT_EQ(PixelAt(*image, 1, 1), 40u);
    // A chunk whose length runs past the end of the file ends the data: a clean error.
    std::vector<uint8_t> endless = File(Ihdr(2, 2, 8, 0), {idat});
    const std::vector<uint8_t> huge = Chunk("iCCP", {'p', 0, 0}, 0x7FFFFFFF);
    endless.insert(endless.begin() + 33, huge.begin(), huge.end());
    try {
        LoadBytes(endless);
        ADD_FAILURE() << "a chunk past the end of the file was accepted";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(std::string(failure.text()).rfind("Corrupted PNG file test.png: ", 0), 0u) << failure.text();
    }
    // An unknown critical chunk cannot be passed over.
    EXPECT_THROW(LoadBytes(File(Ihdr(2, 2, 8, 0), {Chunk("ABCD", {1}), idat})), LumoFailure);
}

TEST_F(PngTest, TransparencyIsCompositedOverWhite) {
    // Gray with alpha, 2 x 1: black at alpha 0, 128 and 255; a tRNS key on 8-bit gray and 16-bit RGB.
    const std::vector<uint8_t> gray = {0, 0, 0, 0, 128, 50, 255};
    ImagePtr image = LoadBytes(File(Ihdr(3, 1, 8, 4), {Chunk("IDAT", StoredZlib(gray))}));
    EXPECT_EQ(KindOf(*image), ImageKind::GRAY256);
    EXPECT_EQ(PixelAt(*image, 0, 0), 255u);
    EXPECT_EQ(PixelAt(*image, 1, 0), 127u);  // 255 * 127 / 255
    EXPECT_EQ(PixelAt(*image, 2, 0), 50u);
    image = LoadBytes(File(Ihdr(2, 1, 8, 0), {Chunk("tRNS", {0, 7}), Chunk("IDAT", StoredZlib({0, 7, 8}))}));
    EXPECT_EQ(PixelAt(*image, 0, 0), 255u);
    EXPECT_EQ(PixelAt(*image, 1, 0), 8u);
    const std::vector<uint8_t> rgb16 = {0, 0x12, 0x34, 0, 0, 0xFF, 0xFF, 0x12, 0x34, 0, 0, 0xFF, 0xFE};
    image = LoadBytes(File(Ihdr(2, 1, 16, 2), {Chunk("tRNS", {0x12, 0x34, 0, 0, 0xFF, 0xFF}),
                                                Chunk("IDAT", StoredZlib(rgb16))}));
    EXPECT_EQ(PixelAt(*image, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(*image, 1, 0), 0x1200FFu);  // 0x1234 rounds to 0x12, 0xFFFE to 0xFF
    // A palette keeps its indices; its entries are seen through their alpha.
    const std::vector<uint8_t> plte = {200, 0, 0, 0, 0, 100, 10, 20, 30};
    image = LoadBytes(File(Ihdr(3, 1, 2, 3), {Chunk("PLTE", plte), Chunk("tRNS", {0, 128}),
                                               Chunk("IDAT", StoredZlib({0, 0b00011000}))}));
    EXPECT_EQ(KindOf(*image), ImageKind::COLOR16);
    EXPECT_EQ(PixelAt(*image, 0, 0), 0u);
    EXPECT_EQ(PixelAt(*image, 1, 0), 1u);
    EXPECT_EQ(PixelAt(*image, 2, 0), 2u);
    EXPECT_EQ(ShownColour(*image, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(ShownColour(*image, 1, 0), 0x7F7FB1u);  // (0, 0, 100) half over white
    EXPECT_EQ(ShownColour(*image, 2, 0), 0x0A141Eu);
}

}  // namespace
