// What is particular to JPEG XL: lossless files keep every kind's colours exactly and the default
// quality stays above 35 dB; the quality, lossless and effort settings, through the dispatch too;
// our files decode in djxl to the pixels our loader gives; a failed save leaves the old file. Files
// of cjxl (lossless and lossy, gray, 16-bit, alpha, the container, an animation) load with djxl's
// pixels seen over white; the header info agrees with the load; cut and damaged files fail cleanly;
// a header that promises too large a picture is refused before anything is allocated.
#include <cmath>
#include <cstring>
#include <random>

#include "core/convert.h"
#include "formats/dispatch.h"
#include "formats/jxl/jxl.h"
#include "formats/png/png.h"
#include "formats/signature.h"
#include "platform/profile.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/icc_profiles.h"
#include "tests/support/lumo_test.h"

namespace {

ImagePtr Decode(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.jxl");
    return LoadJxlFrom(file);
}

std::vector<uint8_t> Encode(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteJxl(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

constexpr ImageKind kAllKinds[] = {ImageKind::BW,      ImageKind::GRAY16,   ImageKind::GRAY256,
                                   ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB};

bool IsGrayKind(ImageKind kind) { return kind == ImageKind::BW || kind == ImageKind::GRAY16 || kind == ImageKind::GRAY256; }

int LargestDifference(const IMG& a, const IMG& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t p = ShownColour(a, x, y), q = ShownColour(b, x, y);
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>(p >> shift & 0xFF) - static_cast<int>(q >> shift & 0xFF)));
        }
    return worst;
}

// cjxl's file of a picture ImageMagick draws, and djxl's PNG of it (alpha kept, which our PNG loader
// composites over white as the JPEG XL loader does). djxl writes the file's depth: its
// --bits_per_sample=8 scrambles 16-bit pictures in libjxl 0.7, so 16-bit PNGs are reduced by our
// PNG loader instead, which may round a level apart from libjxl.
struct Made {
    std::string jxl, png;
};

class JxlTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionJxl("quality", 90);
        LumoSetIntOptionJxl("lossless", 0);
        LumoSetIntOptionJxl("effort", 7);
        ClearProfileOverrides();
        LumoTest::TearDown();
    }
    // picture: ImageMagick's arguments, ending in a name whose extension is the source's format.
    Made make(const std::string& name, const std::string& picture, const std::string& options) {
        const Made made{tempPath(name + ".jxl"), tempPath(name + "-djxl.png")};
        const std::string source = tempPath(name + picture.substr(picture.rfind('.')));
        EXPECT_EQ(RunCommand("convert " + picture.substr(0, picture.rfind(' ') + 1) + ShellQuote(source)).status, 0) << name;
        EXPECT_EQ(RunCommand("cjxl " + ShellQuote(source) + " " + ShellQuote(made.jxl) + " " + options + " > /dev/null 2>&1").status, 0)
            << name;
        EXPECT_EQ(RunCommand("djxl " + ShellQuote(made.jxl) + " " + ShellQuote(made.png) + " > /dev/null 2>&1").status, 0)
            << name;
        return made;
    }
};

TEST_F(JxlTest, ReferenceEncoderFilesLoadWithDjxlsPixelsOverWhite) {
    if (!HaveTool("cjxl") || !HaveTool("djxl") || !HaveTool("convert")) GTEST_SKIP() << "cjxl, djxl or ImageMagick missing";
    struct Case {
        const char* name;
        const char* picture;  // ImageMagick's arguments, ending in the source's extension
        const char* options;
        ImageKind kind;
    };
    const Case cases[] = {
        {"lossless", "-size 37x23 gradient:red-blue -depth 8 x.png", "-d 0", ImageKind::RGB},
        {"lossy", "-size 37x23 plasma:fractal -depth 8 x.png", "-d 1", ImageKind::RGB},
        {"gray", "-size 37x23 gradient:black-white -colorspace gray -depth 8 x.png", "-d 0", ImageKind::GRAY256},
        {"16-bit", "-size 37x23 gradient:red-blue -depth 16 x.ppm", "-d 0.5", ImageKind::RGB},
        {"alpha", "-size 37x23 gradient:red-blue ( -size 37x23 gradient:white-black ) -alpha off -compose copy_opacity "
                  "-composite -depth 8 x.png", "-d 0", ImageKind::RGB},
        {"container", "-size 37x23 gradient:green-yellow -depth 8 x.png", "-d 0 --container=1", ImageKind::RGB},
        {"animation", "-delay 10 -size 37x23 xc:red xc:lime -loop 0 x.gif", "", ImageKind::RGB},
    };
    for (const Case& c : cases) {
        std::string picture = c.picture;
        for (size_t at = 0; (at = picture.find_first_of("()", at)) != std::string::npos; at += 2) picture.insert(at, "\\");
        const Made made = make(c.name, picture, c.options);
        const ImagePtr ours = LoadImageByExtension(made.jxl.c_str());
        ASSERT_TRUE(ours) << c.name;
        EXPECT_EQ(KindOf(*ours), c.kind) << c.name;
        const std::optional<ImageInfo> info = ReadImageInfo(made.jxl.c_str());
        ASSERT_TRUE(info) << c.name;
        EXPECT_EQ(info->width, 37);
        EXPECT_EQ(info->kind, c.kind) << c.name;
        if (std::string(c.name) == "animation") {
            EXPECT_EQ(ShownColour(*ours, 5, 5), 0xFF0000u) << "the first frame is red";
            continue;  // djxl writes every frame
        }
        EXPECT_LE(LargestDifference(*LumoLoadPng(made.png.c_str()), *ours), std::string(c.name) == "16-bit" ? 1 : 0)
            << c.name;
    }
}

TEST_F(JxlTest, SignatureAndCutOrDamagedFiles) {
    if (!HaveTool("cjxl") || !HaveTool("convert")) GTEST_SKIP() << "cjxl or ImageMagick missing";
    const Made made = make("cut", "-size 29x17 plasma:fractal -depth 8 x.png", "-d 1");
    const std::vector<uint8_t> whole = ReadBytes(made.jxl);
    EXPECT_EQ(SignatureOf(whole.data(), whole.size()).extension, "jxl");
    const std::string misnamed = tempPath("picture.avif");
    WriteBytes(misnamed, whole);
    EXPECT_TRUE(LoadImageByExtension(misnamed.c_str()));
    EXPECT_LUMO_ERROR(Decode({0xFF, 0xD8, 0xFF}), "LumoLoadJxl", "Not a JPEG XL file: test.jxl");
    EXPECT_THROW(Decode(std::vector<uint8_t>(whole.begin(), whole.end() - 1)), LumoFailure);
    std::mt19937 random(7);
    for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 8) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
        EXPECT_THROW(Decode(bytes), LumoFailure) << cut;
        bytes = whole;
        bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        try {
            Decode(bytes);
        } catch (const LumoFailure&) {
        }
    }
}

// A codestream whose header asks for 65535 x 65535 pixels (and one of 70000 x 8): the size header
// written by hand (after FF 0A: a 0 bit for "not small", then height and width as 2-bit selector 3
// and 30 bits of size - 1, then the aspect ratio 0, least significant bits first; then the image
// metadata's "all default" bit).
std::vector<uint8_t> CodestreamOfSize(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = {0xFF, 0x0A};
    int count = 0;
    auto put = [&](uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++count) {
            if (count % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>((value >> i & 1) << (count % 8));
        }
    };
    put(0, 1);
    put(3, 2);
    put(height - 1, 30);
    put(0, 3);  // ratio 0: the width follows
    put(3, 2);
    put(width - 1, 30);
    put(1, 1);  // the image metadata: all default
    bytes.resize(bytes.size() + 64, 0);  // the rest of the header: defaults
    return bytes;
}

TEST_F(JxlTest, OversizedHeadersAreRefusedBeforeAllocating) {
    EXPECT_LUMO_ERROR(Decode(CodestreamOfSize(65535, 65535)), "LumoLoadJxl",
                      "Image size 65535 x 65535 (4294836225 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    EXPECT_LUMO_ERROR(Decode(CodestreamOfSize(70000, 8)), "LumoLoadJxl", "Image size 70000 x 8 out of range (at most 65535 x 65535)");
}

TEST_F(JxlTest, LosslessKeepsEveryKindExactlyAndDefaultStaysAbove35Decibels) {
    for (const int setting : {0, 1}) {  // JxlLossless, or quality 100
        LumoSetIntOptionJxl("lossless", setting);
        LumoSetIntOptionJxl("quality", setting ? 90 : 100);
        for (const ImageKind kind : kAllKinds) {
            const ImagePtr image = MakeNoiseImage(kind, 41, 19, 3);
            const ImagePtr loaded = Decode(Encode(*image));
            EXPECT_EQ(KindOf(*loaded), IsGrayKind(kind) ? ImageKind::GRAY256 : ImageKind::RGB) << KindName(kind);
            EXPECT_EQ(Psnr(*image, *loaded), 99) << KindName(kind) << " lossless " << setting;
        }
    }
    LumoSetIntOptionJxl("lossless", 0);
    LumoSetIntOptionJxl("quality", 90);
    const ImagePtr photo = PhotoLike(160, 120);
    const std::vector<uint8_t> lossy = Encode(*photo);
    EXPECT_GE(Psnr(*photo, *Decode(lossy)), 35.0);
    const ImagePtr gray = LumoToGRAY256(photo.get());
    const ImagePtr grayLoaded = Decode(Encode(*gray));
    EXPECT_EQ(KindOf(*grayLoaded), ImageKind::GRAY256);
    EXPECT_GE(Psnr(*gray, *grayLoaded), 35.0);
    // Lower qualities give smaller files; the lowest ones, past libjxl's largest distance, still save.
    LumoSetIntOptionJxl("quality", 30);
    const std::vector<uint8_t> small = Encode(*photo);
    EXPECT_LT(small.size(), lossy.size());
    EXPECT_GE(Psnr(*photo, *Decode(small)), 25.0);
    LumoSetIntOptionJxl("quality", 0);
    const std::vector<uint8_t> smallest = Encode(*photo);
    EXPECT_LT(smallest.size(), small.size());
    EXPECT_EQ(Decode(smallest)->width, 160);
}

// The distances are cjxl's for its -q, as it prints them; where its curve passes 25, the largest
// distance libjxl takes (cjxl then fails), the saver stays at 25.
TEST_F(JxlTest, QualityFollowsTheReferenceEncodersDistances) {
    EXPECT_EQ(JxlDistanceOf(100), 0.0);
    EXPECT_EQ(JxlDistanceOf(150), 0.0);
    EXPECT_EQ(JxlDistanceOf(4), 25.0);
    EXPECT_EQ(JxlDistanceOf(-3), 25.0);
    if (!HaveTool("cjxl")) GTEST_SKIP() << "cjxl missing";
    const std::string png = tempPath("photo.png");
    LumoSavePng(PhotoLike(64, 48).get(), png.c_str());
    for (const int quality : {99, 90, 45, 30, 29, 15, 5}) {
        const CommandResult result = RunCommand("cjxl " + ShellQuote(png) + " " + ShellQuote(tempPath("ref.jxl")) +
                                                " -q " + std::to_string(quality) + " 2>&1");
        char expected[32];
        std::snprintf(expected, sizeof expected, "d%.3f,", JxlDistanceOf(quality));
        EXPECT_NE(result.output.find(expected), std::string::npos) << quality << ": " << result.output;
    }
}

// The keys reach the saver through the dispatch: lossless wins over any quality; the effort changes
// the file, not the picture (0, set by hand, is taken as 1).
TEST_F(JxlTest, ProfileKeysReachTheSaverThroughTheDispatch) {
    const ImagePtr photo = PhotoLike(64, 48);
    const std::string path = tempPath("p.jxl");
    auto save = [&](const char* lossless, const char* quality, const char* effort) {
        SetProfileOverride("JxlLossless", lossless);
        SetProfileOverride("JxlQuality", quality);
        SetProfileOverride("JxlEffort", effort);
        EXPECT_TRUE(SaveImageByExtension(photo.get(), path.c_str()));
        return ReadBytes(path);
    };
    const std::vector<uint8_t> lossless = save("1", "10", "7");
    EXPECT_TRUE(SamePixels(*photo, *LoadImageByExtension(path.c_str())));
    EXPECT_LT(save("0", "10", "7").size() * 2, lossless.size());
    const std::vector<uint8_t> fastest = save("1", "90", "1");
    EXPECT_TRUE(SamePixels(*photo, *LoadImageByExtension(path.c_str())));
    EXPECT_LT(lossless.size(), fastest.size());
    EXPECT_EQ(save("1", "90", "0"), fastest);
}

// Our files, lossy and lossless, gray and colour, in djxl: the pixels our loader gives (and, for
// lossless files, the picture saved). ImageMagick's build here has no JPEG XL delegate.
TEST_F(JxlTest, OurFilesDecodeTheSameInDjxl) {
    if (!HaveTool("djxl")) GTEST_SKIP() << "djxl missing";
    const ImagePtr photo = PhotoLike(67, 45);
    for (const int lossless : {0, 1}) {
        LumoSetIntOptionJxl("lossless", lossless);
        for (const ImagePtr& image : {LumoToGRAY256(photo.get()), LumoToCOLOR256(photo.get()), LumoToBW(photo.get()),
                                      MakeNoiseImage(ImageKind::RGB, 67, 45, 5)}) {
            const std::string what = std::string(lossless ? "lossless " : "lossy ") + KindName(KindOf(*image));
            const std::string path = tempPath("ours.jxl"), png = tempPath("djxl.png");
            LumoSaveJxl(image.get(), path.c_str());
            ASSERT_EQ(RunCommand("djxl " + ShellQuote(path) + " " + ShellQuote(png) + " --num_threads=1 > /dev/null 2>&1").status, 0)
                << what;
            const ImagePtr ours = LumoLoadJxl(path.c_str()), theirs = LumoLoadPng(png.c_str());
            EXPECT_EQ(KindOf(*theirs), image->colorClass == COLOR ? ImageKind::RGB : ImageKind::GRAY256) << what;
            EXPECT_EQ(LargestDifference(*ours, *theirs), 0) << what;
            if (lossless) {
                EXPECT_EQ(LargestDifference(*image, *theirs), 0) << what;
            }
        }
    }
}

TEST_F(JxlTest, AFailedSaveLeavesTheOldFileAndUnwindsTheEncoder) {
    const std::string path = tempPath("kept.jxl");
    WriteBytes(path, {1, 2, 3});
    const ImagePtr empty = LumoCreateImage(0, 4, COLOR, nullptr, 24);
    EXPECT_LUMO_ERROR(LumoSaveJxl(empty.get(), path.c_str()), "LumoSaveJxl", "Can't save an empty image (0 x 4)");
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    // A sink that fails after the first piece: the failure comes out, and nothing is leaked (TearDown).
    LumoSetIntOptionJxl("lossless", 1);
    const ImagePtr noise = MakeNoiseImage(ImageKind::RGB, 300, 300, 9);  // some 270 KB: several pieces
    int calls = 0;
    EXPECT_THROW(WriteJxl(noise.get(),
                          [&calls](const uint8_t*, size_t) {
                              if (++calls == 2) throw std::runtime_error("disk full");
                          }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2);
}

}  // namespace
