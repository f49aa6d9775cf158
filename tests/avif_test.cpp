// What is particular to AVIF: quality 100 keeps every kind's colours exactly and the default quality
// stays above 35 dB; our files decode the same in avifdec and ImageMagick; files of avifenc (4:2:0,
// 4:2:2, 4:0:0, 10 and 12 bits, alpha, a sequence) load with avifdec's pixels seen over white; the
// quality and speed settings; the signature; a header that promises too large a picture is refused
// before anything is decoded, in little memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>

#include "core/convert.h"
#include "formats/avif/avif.h"
#include "formats/dispatch.h"
#include "formats/png/png.h"
#include "formats/signature.h"
#include "platform/profile.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

extern char** environ;

namespace {

class AvifTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionAvif("quality", 84);
        LumoSetIntOptionAvif("speed", 6);
        ClearProfileOverrides();
        LumoTest::TearDown();
    }
};

std::vector<uint8_t> Encode(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteAvif(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

ImagePtr Decode(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.avif");
    return LoadAvifFrom(file);
}

// A photo-like picture: smooth shading with edges and some fine detail.
ImagePtr PhotoLike(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double r = 128 + 100 * std::sin(x * 0.07) * std::cos(y * 0.05);
            const int g = (x * 255 / width + ((x / 16 + y / 16) % 2) * 40) % 256;
            const int b = static_cast<int>(200 - 150.0 * y / height + ((x * 7 + y * 3) % 11));
            SetPixel(*image, x, y, static_cast<uint32_t>(static_cast<int>(r)) << 16 | static_cast<uint32_t>(g) << 8 |
                                       static_cast<uint32_t>(b));
        }
    return image;
}

// The largest difference of a channel between the picture and a PPM/PGM of the same size.
int LargestDifference(const IMG& image, const PnmPicture& pnm) {
    EXPECT_EQ(pnm.width, image.width);
    EXPECT_EQ(pnm.height, image.height);
    if (pnm.width != image.width || pnm.height != image.height) return 256;
    int worst = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint32_t shown = ShownColour(image, x, y);
            for (int c = 0; c < 3; ++c) {
                const int channel = pnm.channels == 1 ? 0 : c;
                const int theirs = pnm.samples[(static_cast<size_t>(y) * pnm.width + x) * pnm.channels + channel];
                worst = std::max(worst, std::abs(static_cast<int>(shown >> (16 - 8 * c) & 0xFF) - theirs));
            }
        }
    return worst;
}

constexpr ImageKind kAllKinds[] = {ImageKind::BW,      ImageKind::GRAY16,   ImageKind::GRAY256,
                                   ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB};

TEST_F(AvifTest, QualityHundredKeepsEveryKindExactlyAndDefaultStaysAbove35Decibels) {
    LumoSetIntOptionAvif("quality", 100);
    for (const ImageKind kind : kAllKinds) {
        const ImagePtr image = MakeNoiseImage(kind, 41, 19, 3);
        const ImagePtr loaded = Decode(Encode(*image));
        const bool gray = kind == ImageKind::BW || kind == ImageKind::GRAY16 || kind == ImageKind::GRAY256;
        EXPECT_EQ(KindOf(*loaded), gray ? ImageKind::GRAY256 : ImageKind::RGB) << KindName(kind);
        EXPECT_EQ(Psnr(*image, *loaded), 99) << KindName(kind);
    }
    LumoSetIntOptionAvif("quality", 84);
    const ImagePtr photo = PhotoLike(160, 120);
    const std::vector<uint8_t> lossy = Encode(*photo);
    EXPECT_GE(Psnr(*photo, *Decode(lossy)), 35.0);
    const ImagePtr gray = LumoToGRAY256(photo.get());
    EXPECT_GE(Psnr(*gray, *Decode(Encode(*gray))), 35.0);
    // Lower qualities give smaller files; the speed changes the file, not the picture's size.
    LumoSetIntOptionAvif("quality", 30);
    const std::vector<uint8_t> small = Encode(*photo);
    EXPECT_LT(small.size(), lossy.size());
    EXPECT_GE(Psnr(*photo, *Decode(small)), 25.0);
    LumoSetIntOptionAvif("speed", 10);
    const ImagePtr fast = Decode(Encode(*photo));
    EXPECT_EQ(fast->width, 160);
    EXPECT_EQ(AvifQuantizerOf(84), 10);
    EXPECT_EQ(AvifQuantizerOf(100), 0);
    EXPECT_EQ(AvifQuantizerOf(0), 63);
    EXPECT_EQ(AvifQuantizerOf(150), 0);
}

TEST_F(AvifTest, ProfileKeysReachTheSaverThroughTheDispatch) {
    const ImagePtr photo = PhotoLike(64, 48);
    const std::string path = tempPath("p.avif");
    SetProfileOverride("AvifQuality", "100");
    ASSERT_TRUE(SaveImageByExtension(photo.get(), path.c_str()));
    EXPECT_TRUE(SamePixels(*photo, *LoadImageByExtension(path.c_str())));
    const size_t lossless = ReadBytes(path).size();
    SetProfileOverride("AvifQuality", "20");
    ASSERT_TRUE(SaveImageByExtension(photo.get(), path.c_str()));
    EXPECT_LT(ReadBytes(path).size() * 4, lossless);
}

// Our files, lossy and lossless, in avifdec: the same pixels as our loader gives. ImageMagick 6 reads
// them through libheif but hands on the colour planes as they are (Y, Cb, Cr; G, B, R through the
// identity matrix), which it turns into RGB by a matrix of its own, some levels away from libavif's
// for avifenc's files as for ours: gray must agree to a level, lossy colour roughly, and the planes
// of a lossless colour file exactly as those of avifenc's lossless file of the same picture.
TEST_F(AvifTest, OurFilesDecodeTheSameInAvifdecAndImageMagick) {
    if (!HaveTool("avifdec") || !HaveTool("avifenc") || !HaveTool("convert")) GTEST_SKIP() << "tools missing";
    const ImagePtr photo = PhotoLike(67, 45);
    auto magick = [](const std::string& path, const char* options) {
        const CommandResult result = RunCommand("convert " + ShellQuote(path) + options + " -depth 8 ppm:-");
        EXPECT_EQ(result.status, 0) << path;
        return ParsePnm(std::vector<uint8_t>(result.output.begin(), result.output.end()));
    };
    for (const int quality : {84, 100}) {
        LumoSetIntOptionAvif("quality", quality);
        for (const ImagePtr& image : {LumoToGRAY256(photo.get()), LumoToCOLOR256(photo.get())}) {
            const std::string what = std::to_string(quality) + " " + KindName(KindOf(*image));
            const std::string path = tempPath("ours.avif"), png = tempPath("avifdec.png");
            LumoSaveAvif(image.get(), path.c_str());
            const ImagePtr ours = LumoLoadAvif(path.c_str());
            ASSERT_EQ(RunCommand("avifdec -d 8 " + ShellQuote(path) + " " + ShellQuote(png) + " > /dev/null 2>&1").status, 0)
                << what;
            EXPECT_EQ(Psnr(*ours, *LumoLoadPng(png.c_str())), 99) << what;
            if (image->colorClass != COLOR) {
                EXPECT_LE(LargestDifference(*ours, magick(path, "")), 1) << what;
            } else if (quality < 100) {
                const std::string shown = tempPath("magick.png");
                ASSERT_EQ(RunCommand("convert " + ShellQuote(path) + " -colorspace sRGB -depth 8 " + ShellQuote(shown)).status, 0);
                EXPECT_GE(Psnr(*ours, *LumoLoadPng(shown.c_str())), 25.0) << what;
            } else {
                const std::string source = tempPath("source.png"), reference = tempPath("reference.avif");
                LumoSavePng(image.get(), source.c_str());
                ASSERT_EQ(RunCommand("avifenc -s 10 -l " + ShellQuote(source) + " " + ShellQuote(reference) + " > /dev/null 2>&1").status, 0);
                const PnmPicture theirs = magick(reference, ""), planes = magick(path, "");
                EXPECT_EQ(planes.width, theirs.width);
                EXPECT_TRUE(planes.samples == theirs.samples) << what;
            }
        }
    }
}

// avifenc's files of other layouts load with avifdec's pixels (avifdec keeps alpha in its PNG;
// our PNG loader sees it over white, as the AVIF loader does). The sequence gives its first frame.
TEST_F(AvifTest, ReferenceEncoderFilesLoadWithAvifdecsPixelsOverWhite) {
    if (!HaveTool("avifenc") || !HaveTool("avifdec") || !HaveTool("convert")) GTEST_SKIP() << "tools missing";
    const std::string rgb = tempPath("rgb.png"), rgba = tempPath("rgba.png"), second = tempPath("second.png");
    ASSERT_EQ(RunCommand("convert -size 37x23 gradient:red-blue -depth 8 " + ShellQuote(rgb)).status, 0);
    ASSERT_EQ(RunCommand("convert -size 37x23 gradient:red-blue \\( -size 37x23 gradient:white-black \\) -alpha off "
                         "-compose copy_opacity -composite -depth 16 " + ShellQuote(rgba)).status, 0);
    ASSERT_EQ(RunCommand("convert -size 37x23 xc:lime -depth 8 " + ShellQuote(second)).status, 0);
    struct Case {
        const char* name;
        std::string options;
        std::string inputs;
        ImageKind kind;
    };
    const Case cases[] = {
        {"420", "-y 420", ShellQuote(rgb), ImageKind::RGB},
        {"422 12-bit limited", "-y 422 -d 12 -r limited", ShellQuote(rgb), ImageKind::RGB},
        {"400", "-y 400", ShellQuote(rgb), ImageKind::GRAY256},
        {"alpha 10-bit", "-d 10", ShellQuote(rgba), ImageKind::RGB},
        {"alpha premultiplied", "-p", ShellQuote(rgba), ImageKind::RGB},
        {"lossless", "-l", ShellQuote(rgb), ImageKind::RGB},
        {"sequence", "", ShellQuote(rgb) + " " + ShellQuote(second), ImageKind::RGB},
    };
    for (const Case& c : cases) {
        const std::string avif = tempPath("ref.avif"), decoded = tempPath("ref.png");
        ASSERT_EQ(RunCommand("avifenc -s 10 " + c.options + " " + c.inputs + " " + ShellQuote(avif) + " > /dev/null 2>&1").status, 0)
            << c.name;
        ASSERT_EQ(RunCommand("avifdec -d 8 " + ShellQuote(avif) + " " + ShellQuote(decoded) + " > /dev/null 2>&1").status, 0)
            << c.name;
        const ImagePtr ours = LoadImageByExtension(avif.c_str());
        ASSERT_TRUE(ours) << c.name;
        EXPECT_EQ(KindOf(*ours), c.kind) << c.name;
        // avifdec writes 4:0:0 as a gray PNG: the same levels.
        EXPECT_EQ(Psnr(*LumoLoadPng(decoded.c_str()), *ours), 99) << c.name;
        if (std::string(c.name) == "sequence") {
            const uint32_t topLeft = ShownColour(*ours, 0, 0);
            EXPECT_GT(topLeft >> 16 & 0xFF, 200u) << "the first frame is red above, not the lime second frame";
        }
    }
}

// The ftyp box's brands decide: AVIF under any name loads as AVIF; HEIF brands are not taken.
TEST_F(AvifTest, SignatureNamesAvifAndAvisBrandsOnly) {
    const std::vector<uint8_t> file = Encode(*MakePatternImage(ImageKind::RGB, 9, 5));
    EXPECT_EQ(SignatureOf(file.data(), file.size()).extension, "avif");
    const std::string misnamed = tempPath("picture.jpg");
    WriteBytes(misnamed, file);
    const ImagePtr loaded = LoadImageByExtension(misnamed.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width, 9);
    auto ftyp = [](const std::string& major, const std::string& compatible) {
        const std::string box = std::string("\0\0\0\x18" "ftyp", 8) + major + std::string(4, '\0') + "mif1" + compatible;
        return std::vector<uint8_t>(box.begin(), box.end());
    };
    const std::vector<uint8_t> sequence = ftyp("avis", "msf1"), compatible = ftyp("mif1", "avif"),
                               heic = ftyp("heic", "heix");
    EXPECT_TRUE(LooksLikeAvif(sequence.data(), sequence.size()));
    EXPECT_TRUE(LooksLikeAvif(compatible.data(), compatible.size()));
    EXPECT_FALSE(LooksLikeAvif(heic.data(), heic.size()));
    EXPECT_FALSE(LooksLikeAvif(compatible.data(), 12));  // cut inside the box
    EXPECT_LUMO_ERROR(Decode(heic), "LumoLoadAvif", "Not an AVIF file: test.avif");
}

// Our file with its ispe box patched to width x height.
std::vector<uint8_t> AvifOfSize(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = Encode(*MakePatternImage(ImageKind::GRAY256, 16, 16));
    for (size_t i = 0; i + 16 <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, "ispe", 4) != 0) continue;
        for (int k = 0; k < 4; ++k) {
            bytes[i + 8 + k] = static_cast<uint8_t>(width >> (24 - 8 * k));
            bytes[i + 12 + k] = static_cast<uint8_t>(height >> (24 - 8 * k));
        }
        return bytes;
    }
    ADD_FAILURE() << "no ispe box";
    return bytes;
}

// The child's exit status and peak resident memory (kilobytes) of the built lumo with the arguments.
std::pair<int, long> RunLumo(std::vector<std::string> words) {
    words.insert(words.begin(), BuiltProgram("lumo"));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, 0};
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return {-1, 0};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

TEST_F(AvifTest, OversizedHeadersAreRefusedBeforeDecodingInLittleMemory) {
    const std::vector<uint8_t> bomb = AvifOfSize(65535, 65535);
    ASSERT_LT(bomb.size(), 1024u);
    EXPECT_LUMO_ERROR(Decode(bomb), "LumoLoadAvif",
                      "Image size 65535 x 65535 (4294836225 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    EXPECT_LUMO_ERROR(Decode(AvifOfSize(70000, 2)), "LumoLoadAvif", "Image size 70000 x 2 out of range (at most 65535 x 65535)");
    const std::string path = tempPath("bomb.avif");
    WriteBytes(path, bomb);
    EXPECT_THROW(ReadAvifInfo(path.c_str()), LumoFailure);
    // Under the limit, but 2560 x 19712 pixels from 323 bytes (found by the fuzzer: it took 8 s and
    // 450 MB to decode): refused by the bytes it holds.
    const std::vector<uint8_t> flat =
        ReadBytes(std::string(LUMO_SOURCE_DIR) + "/tests/data/crashers/avif/slow-2560x19712-in-323-bytes.avif");
    EXPECT_LUMO_ERROR(Decode(flat), "LumoLoadAvif",
                      "test.avif: the header asks for 151388160 bytes of pixels from 323 bytes of data");
    if (!std::filesystem::exists(BuiltProgram("lumo"))) GTEST_SKIP() << "lumo is not built";
    setenv("LUMO_PROFILE", tempPath("WIN.INI").c_str(), 1);
    const auto [status, peakKb] = RunLumo({"convert", path, "-o", tempPath("bomb.bmp")});
    EXPECT_NE(status, 0);
    EXPECT_LT(peakKb, 50 * 1024);
    EXPECT_FALSE(std::filesystem::exists(tempPath("bomb.bmp")));
}

TEST_F(AvifTest, AFailedSaveLeavesTheOldFile) {
    const std::string path = tempPath("kept.avif");
    WriteBytes(path, {1, 2, 3});
    const ImagePtr empty = LumoCreateImage(0, 4, COLOR, nullptr, 24);
    EXPECT_THROW(LumoSaveAvif(empty.get(), path.c_str()), LumoFailure);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
