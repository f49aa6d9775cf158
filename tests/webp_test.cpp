// What is particular to WebP: lossless files of every kind come back exact and lossy ones within
// 35 dB; our files read in dwebp, Pillow and ImageMagick with our pixels; files of cwebp, img2webp,
// webpmux, Pillow and ImageMagick (lossy, lossless, alpha, animated) load with the pixels the reference
// decoders give, seen over white; the quality and lossless keys; reduced-size decoding for the
// contact sheets; headers that promise huge pictures refused before anything large is allocated.
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/convert.h"
#include "core/rescale.h"
#include "formats/animation.h"
#include "formats/dispatch.h"
#include "formats/image_info.h"
#include "formats/webp/webp.h"
#include "formats/webp/webp_frames.h"
#include "jobs/output_check.h"
#include "jobs/thumbnail.h"
#include "platform/profile.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/profile_fixture.h"

namespace {

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.webp");
    return LoadWebpFrom(file);
}

// The shown colours, top row first, red, green, blue.
std::vector<uint8_t> Colours(const IMG& image) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t{3} * image.width * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint32_t c = PixelColour(image, x, y);
            rgb.insert(rgb.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
        }
    return rgb;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    double squares = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
    if (squares == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

int WorstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// A picture of each kind that a photo-like coding can hold: smooth colours and gray ramps, palettes
// of neighbouring colours in bands (a photo reduced to few colours), areas of black and white.
ImagePtr PictureOf(ImageKind kind, int width, int height) {
    ImagePtr rgb = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(*rgb, x, y, static_cast<uint32_t>((x * 255 / width) << 16 | (y * 255 / height) << 8 | 96));
    switch (kind) {
        case ImageKind::RGB: return rgb;
        case ImageKind::GRAY256: return LumoToGRAY256(rgb.get());
        default: break;
    }
    ImagePtr image = MakePatternImage(kind, width, height);
    const int levels = kind == ImageKind::BW ? 2 : kind == ImageKind::COLOR256 ? 256 : 16;
    if (image->palette)
        for (int i = 0; i < levels; ++i)
            LumoSetPaletteEntry(image->palette, i, i * 255 / (levels - 1), 255 - i * 128 / (levels - 1), 96);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int band = kind == ImageKind::BW ? (x / 16 + y / 16) % 2 : (x + y) * levels / (width + height);
            SetPixel(*image, x, y, static_cast<uint32_t>(band));
        }
    return image;
}

constexpr ImageKind kAllKinds[] = {ImageKind::BW,      ImageKind::GRAY16,   ImageKind::GRAY256,
                                   ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB};

// The pixels of a PPM or PAM file with 3 or 4 channels, over white, top row first.
std::vector<uint8_t> ReadNetpbm(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    int channels = 3;
    size_t start = 0;
    if (text.starts_with("P7")) {
        channels = text.find("DEPTH 4") != std::string::npos ? 4 : 3;
        start = text.find("ENDHDR\n") + 7;
    } else {
        size_t at = 2;
        for (int fields = 0; fields < 3; ++fields) {
            while (std::isspace(static_cast<unsigned char>(text[at]))) ++at;
            while (std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        }
        start = at + 1;
    }
    std::vector<uint8_t> rgb;
    for (size_t i = start; i + channels <= bytes.size(); i += channels)
        for (int c = 0; c < 3; ++c) {
            const int alpha = channels == 4 ? bytes[i + 3] : 255;
            rgb.push_back(static_cast<uint8_t>((bytes[i + c] * alpha + 255 * (255 - alpha) + 127) / 255));
        }
    return rgb;
}

std::vector<uint8_t> DwebpPixels(const std::string& path, const std::string& out) {
    const std::string command = "dwebp -quiet -pam " + ShellQuote(path) + " -o " + ShellQuote(out) + " 2>&1";
    EXPECT_EQ(RunCommand(command).status, 0) << command;
    return ReadNetpbm(out);
}

// The first frame as ImageMagick decodes it, over white.
std::vector<uint8_t> MagickPixels(const std::string& path, const std::string& out) {
    const std::string command = "/usr/bin/convert " + ShellQuote(path + "[0]") +
                                " -background white -alpha remove -alpha off -depth 8 rgb:" + ShellQuote(out) + " 2>&1";
    EXPECT_EQ(RunCommand(command).status, 0) << command;
    return ReadBytes(out);
}

// Prints the RGB bytes in hex of a frame Pillow reads (the first unless a number follows), over white.
constexpr const char* kPillowReader = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.seek(int(sys.argv[2]) if len(sys.argv) > 2 else 0)
im = im.convert('RGBA')
white = Image.new('RGBA', im.size, (255, 255, 255, 255))
print(Image.alpha_composite(white, im).convert('RGB').tobytes().hex())
)";

std::vector<uint8_t> PillowPixels(const std::string& python, const std::string& path, int frame = 0) {
    const CommandResult read =
        RunCommand(python + " -c " + ShellQuote(kPillowReader) + " " + ShellQuote(path) + " " + std::to_string(frame));
    EXPECT_EQ(read.status, 0) << read.output;
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i + 1 < read.output.size() && std::isxdigit(static_cast<unsigned char>(read.output[i])); i += 2)
        rgb.push_back(static_cast<uint8_t>(std::stoi(read.output.substr(i, 2), nullptr, 16)));
    return rgb;
}

bool HaveReferenceTools() { return HaveTool("dwebp") && HaveTool("cwebp") && HaveTool("/usr/bin/convert"); }

using WebpTest = LumoTest;
using WebpProfileTest = ProfileFileTest;

TEST_F(WebpProfileTest, EveryKindRoundTripsLosslessExactlyAndLossyWithin35dB) {
    for (const char* lossless : {"1", "0"}) {
        ASSERT_TRUE(WriteProfileStringA("Lumo", "WebpLossless", lossless));
        for (const ImageKind kind : kAllKinds) {
            const ImagePtr image = PictureOf(kind, 96, 64);
            const std::string path = tempPath(std::string(KindName(kind)) + lossless + ".webp");
            ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
            const std::vector<uint8_t> file = ReadBytes(path);
            ASSERT_GT(file.size(), 16u);
            EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), *lossless == '1' ? "VP8L" : "VP8 ");
            const ImagePtr loaded = LoadImageByExtension(path.c_str());
            EXPECT_EQ(KindOf(*loaded), ImageKind::RGB);
            if (*lossless == '1') {
                EXPECT_EQ(Colours(*loaded), Colours(*image)) << KindName(kind);
            } else {
                EXPECT_GE(Psnr(Colours(*loaded), Colours(*image)), 35.0) << KindName(kind);
            }
            // The output check of lumo convert --verify trusts lossless files only.
            EXPECT_EQ(SavesExactly("webp", *image), *lossless == '1');
        }
    }
}

TEST_F(WebpProfileTest, QualityKeyTradesSizeForFidelity) {
    const ImagePtr image = MakeNoiseImage(ImageKind::RGB, 64, 48, 3);
    std::vector<uint8_t> files[3];
    const char* qualities[] = {"10", "90", "250"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WriteProfileStringA("Lumo", "WebpQuality", qualities[i]));
        const std::string path = tempPath(std::string(qualities[i]) + ".webp");
        ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
        files[i] = ReadBytes(path);
    }
    EXPECT_EQ(LumoGetIntOptionWebp("quality"), 250);
    EXPECT_LT(files[0].size() * 2, files[1].size());
    EXPECT_LT(Psnr(Colours(*LoadBytes(files[0])), Colours(*image)), Psnr(Colours(*LoadBytes(files[1])), Colours(*image)));
    // A quality written by hand beyond 100 saves at 100.
    ASSERT_TRUE(WriteProfileStringA("Lumo", "WebpQuality", "100"));
    ASSERT_TRUE(SaveImageByExtension(image.get(), tempPath("100.webp").c_str()));
    EXPECT_EQ(ReadBytes(tempPath("100.webp")), files[2]);
}

// Our files, lossy and lossless, with and without the kinds libwebp does not hold: the reference
// decoder (the same library) gives our pixels exactly; Pillow and ImageMagick, which decode through
// libwebp too, give them as well.
TEST_F(WebpTest, OurFilesReadInTheReferenceDecoders) {
    if (!HaveReferenceTools()) GTEST_SKIP() << "needs dwebp and ImageMagick";
    const std::string python = PillowPython();
    for (const int lossless : {0, 1}) {
        LumoSetIntOptionWebp("lossless", lossless);
        for (const ImageKind kind : {ImageKind::COLOR16, ImageKind::GRAY256, ImageKind::RGB}) {
            const ImagePtr image = kind == ImageKind::RGB ? MakeNoiseImage(kind, 37, 23, 9) : PictureOf(kind, 37, 23);
            const std::string path = tempPath("ours.webp");
            LumoSaveWebp(image.get(), path.c_str());
            const std::vector<uint8_t> ours = Colours(*LumoLoadWebp(path.c_str()));
            if (lossless) {
                EXPECT_EQ(ours, Colours(*image));
            }
            const std::string what = std::string(KindName(kind)) + (lossless ? " lossless" : " lossy");
            EXPECT_EQ(DwebpPixels(path, tempPath("out.pam")), ours) << what;
            EXPECT_EQ(MagickPixels(path, tempPath("out.rgb")), ours) << what;
            if (!python.empty()) {
                EXPECT_EQ(PillowPixels(python, path), ours) << what;
            }
        }
    }
    LumoSetIntOptionWebp("lossless", 0);
}

struct ForeignWebp {
    const char* name;
    const char* command;  // makes OUT from SOURCE (an RGBA PNG) and SOURCE2 (another)
    int tolerance;        // alpha: premultiplied or not, the references round their own way
    bool animated;        // dwebp reads no animation: the others are the references
};
void PrintTo(const ForeignWebp& c, std::ostream* os) { *os << c.name; }

class ForeignWebpTest : public LumoTest, public ::testing::WithParamInterface<ForeignWebp> {};

TEST_P(ForeignWebpTest, LoadsThePixelsTheReferenceDecodersGive) {
    const ForeignWebp& c = GetParam();
    const std::string python = PillowPython();
    if (!HaveReferenceTools() || python.empty()) GTEST_SKIP() << "needs the WebP tools, Pillow and ImageMagick";
    const std::string source = tempPath("source.png"), source2 = tempPath("source2.png"), out = tempPath("foreign.webp");
    const std::string make = "/usr/bin/convert -seed 4 -size 37x23 plasma:fractal " + ShellQuote(source2) +
                             " && /usr/bin/convert " + ShellQuote(source2) +
                             " -alpha set -channel A -fx '(i*7+j*3)/64' " + ShellQuote(source) + " 2>&1";
    ASSERT_EQ(RunCommand(make).status, 0) << make;
    std::string command = c.command;
    for (const auto& [word, value] : {std::pair<std::string, std::string>{"SOURCE2", source2}, {"SOURCE", source},
                                      {"OUT", out}, {"PYTHON", python}})
        for (size_t at; (at = command.find(word)) != std::string::npos;) command.replace(at, word.size(), ShellQuote(value));
    ASSERT_EQ(RunCommand(command + " 2>&1").status, 0) << command;

    const ImagePtr image = LumoLoadWebp(out.c_str());
    ASSERT_EQ(image->width, 37);
    ASSERT_EQ(image->height, 23);
    const std::vector<uint8_t> ours = Colours(*image);
    if (!c.animated) {
        EXPECT_LE(WorstDifference(DwebpPixels(out, tempPath("ref.pam")), ours), c.tolerance) << "dwebp";
    }
    EXPECT_LE(WorstDifference(MagickPixels(out, tempPath("ref.rgb")), ours), c.tolerance) << "ImageMagick";
    EXPECT_LE(WorstDifference(PillowPixels(python, out), ours), c.tolerance) << "Pillow";
    const std::optional<ImageInfo> info = ReadImageInfo(out.c_str());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 37);
    EXPECT_EQ(info->height, 23);
    EXPECT_TRUE(warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ForeignWebpTest,
    ::testing::Values(
        ForeignWebp{"cwebp_lossy", "cwebp -quiet SOURCE2 -o OUT", 0, false},
        ForeignWebp{"cwebp_lossless", "cwebp -quiet -lossless SOURCE2 -o OUT", 0, false},
        ForeignWebp{"cwebp_lossy_alpha", "cwebp -quiet SOURCE -o OUT", 1, false},
        ForeignWebp{"cwebp_lossless_alpha", "cwebp -quiet -lossless -exact SOURCE -o OUT", 1, false},
        ForeignWebp{"cwebp_scaled_sharp", "cwebp -quiet -sharp_yuv -m 6 -q 90 SOURCE2 -o OUT", 0, false},
        ForeignWebp{"magick_lossless_alpha", "/usr/bin/convert SOURCE -define webp:lossless=true OUT", 1, false},
        ForeignWebp{"pillow_lossy", "PYTHON -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], quality=60)' SOURCE2 OUT", 0, false},
        ForeignWebp{"img2webp_animated", "img2webp -loop 0 -lossy SOURCE -d 100 -lossless SOURCE2 -o OUT", 1, true},
        ForeignWebp{"pillow_animated",
                    "PYTHON -c 'import sys; from PIL import Image; a = Image.open(sys.argv[1]); b = Image.open(sys.argv[2]); "
                    "a.save(sys.argv[3], save_all=True, append_images=[b], lossless=True, duration=80)' SOURCE SOURCE2 OUT",
                    1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The first frame of an animation as the canvas shows it: a frame smaller than the canvas, placed
// away from its corner, leaves the rest of the canvas transparent, which loads white whatever
// background colour the file suggests; the later frames change nothing.
TEST_F(WebpTest, AnimationLoadsItsFirstFrameOnTheCanvas) {
    if (!HaveTool("webpmux")) GTEST_SKIP() << "needs webpmux";
    LumoSetIntOptionWebp("lossless", 1);
    const ImagePtr first = MakeNoiseImage(ImageKind::RGB, 10, 6, 1), second = MakeNoiseImage(ImageKind::RGB, 20, 12, 2);
    const std::string a = tempPath("a.webp"), b = tempPath("b.webp"), animated = tempPath("animated.webp");
    LumoSaveWebp(first.get(), a.c_str());
    LumoSaveWebp(second.get(), b.c_str());
    LumoSetIntOptionWebp("lossless", 0);
    const std::string command = "webpmux -frame " + ShellQuote(a) + " +100+4+2+0-b -frame " + ShellQuote(b) +
                                " +100+0+0+0-b -loop 0 -bgcolor 255,0,0,255 -o " + ShellQuote(animated) + " 2>&1";
    ASSERT_EQ(RunCommand(command).status, 0) << command;
    const ImagePtr image = LumoLoadWebp(animated.c_str());
    ASSERT_EQ(image->width, 20);
    ASSERT_EQ(image->height, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inFrame = x >= 4 && x < 14 && y >= 2 && y < 8;
            ASSERT_EQ(PixelColour(*image, x, y), inFrame ? PixelColour(*first, x - 4, y - 2) : 0xFFFFFFu) << x << "," << y;
        }
    const std::optional<ImageInfo> info = ReadImageInfo(animated.c_str());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 20);
    EXPECT_EQ(info->height, 12);
    EXPECT_EQ(info->kind, ImageKind::RGB);
}

// The frames a viewer plays: each equal to Pillow's frame over white, through a frame with holes
// blended over the last, one disposed to the background and one replacing what is under it; the
// durations with a frame of 5 ms shown for 100 ms; the loop count; "frame" N loads frame N.
TEST_F(WebpTest, FramesPlayAsPillowComposesThem) {
    const std::string python = PillowPython();
    if (!HaveTool("webpmux") || python.empty()) GTEST_SKIP() << "needs webpmux and Pillow";
    const std::string base = tempPath("base.webp"), holes = tempPath("holes.webp"), patch = tempPath("patch.webp");
    LumoSetIntOptionWebp("lossless", 1);
    LumoSaveWebp(MakeNoiseImage(ImageKind::RGB, 24, 16, 1).get(), base.c_str());
    LumoSaveWebp(MakeNoiseImage(ImageKind::RGB, 6, 5, 3).get(), patch.c_str());
    LumoSetIntOptionWebp("lossless", 0);
    ASSERT_EQ(RunCommand("/usr/bin/convert -size 10x8 xc:none -fill '#2040c0' -draw 'rectangle 2,1 7,5' "
                         "-define webp:lossless=true " + ShellQuote(holes)).status, 0);
    const std::string animated = tempPath("animated.webp");
    const std::string command = "webpmux -frame " + ShellQuote(base) + " +70+0+0+0-b -frame " + ShellQuote(holes) +
                                " +40+5+3+1+b -frame " + ShellQuote(patch) + " +5+16+9+0-b -frame " + ShellQuote(base) +
                                " +30+0+0+0+b -loop 2 -o " + ShellQuote(animated) + " 2>&1";
    ASSERT_EQ(RunCommand(command).status, 0) << command;

    WebpFrames frames(animated.c_str());
    EXPECT_EQ(frames.frameCount(), 4u);
    const int delays[] = {70, 40, 100, 30};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k + 1));
        ASSERT_TRUE(frames.next());
        EXPECT_EQ(frames.delayMs(), delays[k]);
        const ImagePtr screen = frames.copyScreen();
        EXPECT_EQ(Colours(*screen), PillowPixels(python, animated, k));
        LumoSetIntOptionWebp("frame", k + 1);
        EXPECT_EQ(Colours(*LumoLoadWebp(animated.c_str())), Colours(*screen));
    }
    EXPECT_FALSE(frames.next());
    EXPECT_EQ(frames.plays(), 2);
    LumoSetIntOptionWebp("frame", 5);
    EXPECT_THROW(LumoLoadWebp(animated.c_str()), LumoFailure);
    LumoSetIntOptionWebp("frame", 0);

    EXPECT_EQ(CountAnimationFrames(animated.c_str()), 4u);
    EXPECT_NE(OpenAnimation(animated.c_str()), nullptr);
    EXPECT_EQ(CountAnimationFrames(base.c_str()), 1u);
    EXPECT_EQ(OpenAnimation(base.c_str()), nullptr);
}

// The contact sheets take a still picture decoded straight to the size of its cell, close to the
// full picture scaled down; the next ordinary load is at full size again.
TEST_F(WebpTest, ThumbnailsAreDecodedAtTheCellSize) {
    const ImagePtr image = PictureOf(ImageKind::RGB, 400, 300);
    const std::string path = tempPath("big.webp");
    LumoSaveWebp(image.get(), path.c_str());
    const ImagePtr thumbnail = LoadThumbnail(path.c_str(), {160, 100});
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width, 133);
    EXPECT_EQ(thumbnail->height, 100);
    const ImagePtr scaled = LumoRescaleConvert(LumoLoadWebp(path.c_str()).get(), 133, 100, COLOR, 24);
    EXPECT_GE(Psnr(Colours(*thumbnail), Colours(*scaled)), 30.0);
    EXPECT_EQ(MakeCellPicture(path.c_str(), {160, 100})->width, 133);
    EXPECT_EQ(LumoGetIntOptionWebp("thumbnailw"), 0);
    EXPECT_EQ(LumoLoadWebp(path.c_str())->width, 400);
    // A picture that fits its cell already is decoded as it is.
    EXPECT_EQ(LoadThumbnail(path.c_str(), {400, 300})->width, 400);
}

// Appends the bits of value, lowest first, as the lossless header packs them.
void PutBits(std::vector<uint8_t>& bytes, size_t& bit, uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++bit) {
        if (bit / 8 >= bytes.size()) bytes.push_back(0);
        if (value >> i & 1) bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] | 1 << bit % 8);
    }
}

// A lossless file of a few hundred bytes whose header names width x height.
std::vector<uint8_t> LosslessOfSize(int width, int height) {
    std::vector<uint8_t> data = {0x2F};  // the lossless signature
    size_t bit = 8;
    PutBits(data, bit, static_cast<uint32_t>(width - 1), 14);
    PutBits(data, bit, static_cast<uint32_t>(height - 1), 14);
    PutBits(data, bit, 0, 4);  // no alpha, version 0
    data.resize(400, 0);
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'L'};
    for (const size_t size : {data.size()}) file.insert(file.end(), {uint8_t(size), uint8_t(size >> 8), 0, 0});
    file.insert(file.end(), data.begin(), data.end());
    const size_t riff = file.size() - 8;
    file[4] = static_cast<uint8_t>(riff);
    file[5] = static_cast<uint8_t>(riff >> 8);
    return file;
}

// An extended header of a canvas width x height, with the animation flag, and nothing after it.
std::vector<uint8_t> CanvasOfSize(uint32_t width, uint32_t height) {
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0,
                                 0x02, 0, 0, 0};
    for (const uint32_t side : {width - 1, height - 1}) file.insert(file.end(), {uint8_t(side), uint8_t(side >> 8), uint8_t(side >> 16)});
    return file;
}

TEST_F(WebpTest, HeadersThatPromiseHugePicturesAreRefusedBeforeAllocating) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> small = LosslessOfSize(10000, 10000);
    ASSERT_LT(small.size(), 1024u);
    EXPECT_LUMO_ERROR(LoadBytes(small), "LumoLoadWebp",
                      "test.webp: the header asks for 300000000 bytes of pixels from 420 bytes of data");
    EXPECT_LUMO_ERROR(LoadBytes(LosslessOfSize(16384, 16384)), "LumoLoadWebp",
                      "Image size 16384 x 16384 (268435456 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    EXPECT_LUMO_ERROR(LoadBytes(CanvasOfSize(100000, 3)), "LumoLoadWebp",
                      "Image size 100000 x 3 out of range (at most 65535 x 65535)");
    LumoSetIntOption("maxpixels", 99);
    EXPECT_LUMO_ERROR(LoadBytes(LosslessOfSize(10, 10)), "LumoLoadWebp",
                      "Image size 10 x 10 (100 pixels) exceeds the limit of 99 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 178956970);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LUMO_ERROR(LoadBytes({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}), "LumoLoadWebp",
                      "Not a WebP file: test.webp");
}

// Runs the built lumo with its output thrown away and its own profile; yields the exit status and
// its peak resident memory in kilobytes. A small Python starts it: a child counts the memory of the
// process it was forked from, so a child of this test program would count the tests' own.
std::pair<int, long> RunLumo(const std::vector<std::string>& arguments, const std::string& profile) {
    std::string command = "LUMO_PROFILE=" + ShellQuote(profile) + " /usr/bin/python3 -c " +
                          ShellQuote("import resource, subprocess, sys\n"
                                     "status = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL,"
                                     " stderr=subprocess.DEVNULL).returncode\n"
                                     "print(status, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)") +
                          " " + ShellQuote(BuiltProgram("lumo"));
    for (const std::string& argument : arguments) command += " " + ShellQuote(argument);
    const CommandResult run = RunCommand(command);
    int status = -1;
    long peakKb = 0;
    if (run.status != 0 || std::sscanf(run.output.c_str(), "%d %ld", &status, &peakKb) != 2) return {-1, 0};
    return {status, peakKb};
}

// The built lumo turns the small bombs away in little memory, and leaves the target it would have
// replaced as it was.
TEST_F(WebpTest, LumoRefusesTheBombsInLittleMemory) {
    if (!std::filesystem::exists(BuiltProgram("lumo"))) GTEST_SKIP() << "lumo is not built";
    const std::string target = tempPath("out.bmp");
    WriteBytes(target, {'k', 'e', 'p', 't'});
    for (const auto& bomb : {LosslessOfSize(10000, 10000), LosslessOfSize(5000, 4000), LosslessOfSize(16384, 16384)}) {
        const std::string path = tempPath("bomb.webp");
        WriteBytes(path, bomb);
        const auto [status, peakKb] = RunLumo({"convert", path, "-o", target}, tempPath("WIN.INI"));
        EXPECT_NE(status, 0);
        EXPECT_GT(peakKb, 0);
        EXPECT_LT(peakKb, 50 * 1024) << bomb.size();
        EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
    }
}

// A picture WebP cannot hold is refused, and the file it would have replaced is left as it was.
TEST_F(WebpTest, SavesRefusedLeaveTheTargetIntact) {
    const std::string path = tempPath("kept.webp");
    WriteBytes(path, {'o', 'l', 'd'});
    const ImagePtr wide = LumoCreateImage(16384, 1, GRAY, nullptr, 8);
    std::memset(wide->bits, 0, PixelBytes(*wide));
    EXPECT_LUMO_ERROR(LumoSaveWebp(wide.get(), path.c_str()), "LumoSaveWebp",
                      "Can't save a picture over 16383 x 16383 pixels as WebP (16384 x 1)");
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists("/dev/full") && [] {
        try {
            LumoSaveWebp(MakePatternImage(ImageKind::RGB, 40, 30).get(), "/dev/full");
            return true;
        } catch (const LumoFailure&) {
            return false;
        }
    }()) << "a failed write was reported as a save";
}

}  // namespace
