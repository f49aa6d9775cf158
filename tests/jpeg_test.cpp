#include "formats/jpeg/jpeg.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

#include <jpeglib.h>

#include "bench/photo.h"
#include "core/convert.h"
#include "formats/dispatch.h"
#include "formats/jpeg/exif_orientation.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

using OptionList = std::vector<std::pair<const char*, int>>;

const OptionList kDefaultOptions = {{"quality", 75},      {"readrgb", 1},       {"forcegray", 0},
                                    {"optimize", 0},      {"fast", 0},          {"ratio", 1},
                                    {"crsubsampling", 2}, {"usefloat", 0},      {"thumbnailw", 80},
                                    {"thumbnailh", 60},   {"thumbnailmode", 0}, {"autorotate", 1}};

void SetOptions(const OptionList& options) {
    for (const auto& [name, value] : options) LumoSetIntOptionJpeg(name, value);
}

// The options are module-wide: every test starts from the defaults and leaves them behind.
class JpegTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        ResetOptions();
    }
    void TearDown() override {
        ResetOptions();
        LumoTest::TearDown();
    }
    static void ResetOptions() {
        SetOptions(kDefaultOptions);
        LumoSetStringOptionJpeg("comment", "Created by Lumo");
    }

    // A JPEG made by a reference encoder from a photo-like picture: tool is "cjpeg" or "convert".
    std::string EncodeWith(const std::string& tool, const std::string& arguments, int width = 75, int height = 53) {
        const std::string source = tempPath("source.ppm"), jpeg = tempPath("reference.jpg");
        WritePnm(*MakePhotoLikeImage(width, height), source);
        const std::string command = tool == "cjpeg"
                                        ? "cjpeg " + arguments + " " + ShellQuote(source) + " > " + ShellQuote(jpeg)
                                        : "/usr/bin/convert " + ShellQuote(source) + " " + arguments + " " +
                                              ShellQuote(jpeg);
        EXPECT_EQ(RunCommand(command).status, 0) << command;
        return jpeg;
    }

    // What a reference decoder makes of the file, as PNM (after names the output for ImageMagick).
    static PnmPicture DecodeWith(const std::string& command, const std::string& jpeg, const std::string& after = "") {
        const CommandResult result = RunCommand(command + " " + ShellQuote(jpeg) + " " + after);
        EXPECT_EQ(result.status, 0) << command;
        return ParsePnm(std::vector<uint8_t>(result.output.begin(), result.output.end()));
    }
};

std::vector<uint8_t> ToBytes(const std::string& text) { return {text.begin(), text.end()}; }

// The first sample where two pictures differ, or success.
::testing::AssertionResult SamePicture(const PnmPicture& expected, const PnmPicture& actual, int tolerance = 0) {
    if (expected.channels == 0) return ::testing::AssertionFailure() << "no reference picture";
    if (expected.width != actual.width || expected.height != actual.height || expected.channels != actual.channels)
        return ::testing::AssertionFailure() << actual.width << "x" << actual.height << "x" << actual.channels
                                             << ", expected " << expected.width << "x" << expected.height << "x"
                                             << expected.channels;
    for (size_t i = 0; i < expected.samples.size(); ++i)
        if (std::abs(expected.samples[i] - actual.samples[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "sample " << i % expected.channels << " of pixel (" << i / expected.channels % expected.width
                   << ", " << i / expected.channels / expected.width << ") is " << int{actual.samples[i]}
                   << ", expected " << int{expected.samples[i]};
    return ::testing::AssertionSuccess();
}

bool HaveReferenceCodecs() { return HaveTool("cjpeg") && HaveTool("djpeg") && HaveTool("/usr/bin/convert"); }

// libjpeg's warnings about damaged data go to the standard error stream; the damage loops mute them.
class MutedStandardError {
public:
    MutedStandardError() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    ~MutedStandardError() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_;
};

// ---------------------------------------------------------------------------------------------
// Loading: every reference file decodes to exactly what djpeg makes of it with matching settings.

struct ReferenceFile {
    const char* name;
    const char* tool;
    const char* arguments;
    bool gray = false;  // a one-component file
};
void PrintTo(const ReferenceFile& c, std::ostream* os) { *os << c.name; }

const ReferenceFile kReferenceFiles[] = {
    {"cjpeg_420", "cjpeg", "-sample 2x2"},
    {"cjpeg_422", "cjpeg", "-sample 2x1 -quality 90"},
    {"cjpeg_444", "cjpeg", "-sample 1x1"},
    {"cjpeg_gray", "cjpeg", "-grayscale", true},
    {"cjpeg_progressive", "cjpeg", "-progressive -sample 2x2"},
    {"cjpeg_restarts", "cjpeg", "-restart 1 -optimize"},
    {"cjpeg_arithmetic", "cjpeg", "-arithmetic -progressive -sample 1x1"},
    {"cjpeg_rgb", "cjpeg", "-rgb"},
    {"magick_420", "convert", "-sampling-factor 2x2 -quality 85"},
    {"magick_progressive", "convert", "-interlace Plane -sampling-factor 1x1"},
    {"magick_gray", "convert", "-colorspace Gray -type Grayscale", true},
};

struct DecodeSettings {
    const char* name;
    OptionList options;
    const char* djpeg;            // the djpeg switches that ask for the same decoding
    const char* djpegGray = nullptr;  // the same for gray files, when it differs
};
void PrintTo(const DecodeSettings& c, std::ostream* os) { *os << c.name; }

const DecodeSettings kDecodeSettings[] = {
    {"accurate", {}, "djpeg -dct int"},
    {"fast", {{"fast", 1}}, "djpeg -dct fast -nosmooth -dither ordered"},
    {"float_wins_over_fast", {{"fast", 1}, {"usefloat", 1}}, "djpeg -dct float -nosmooth -dither ordered"},
    {"half", {{"ratio", 2}}, "djpeg -scale 1/2"},
    {"eighth_fast", {{"ratio", 8}, {"fast", 1}}, "djpeg -scale 1/8 -dct fast -nosmooth"},
    // Gray files are not quantized: libjpeg's quantizer would move levels (white 255 to 254).
    {"quantized", {{"readrgb", 0}}, "djpeg -colors 256", "djpeg"},
    {"quantized_fast", {{"readrgb", 0}, {"fast", 1}}, "djpeg -colors 256 -dct fast -nosmooth -dither ordered",
     "djpeg -dct fast"},
    {"forced_gray", {{"forcegray", 1}, {"readrgb", 0}}, "djpeg -grayscale"},
};

class JpegDecodeCrossCheck
    : public JpegTest,
      public ::testing::WithParamInterface<std::tuple<ReferenceFile, DecodeSettings>> {};

TEST_P(JpegDecodeCrossCheck, DecodesLikeDjpeg) {
    if (!HaveReferenceCodecs()) GTEST_SKIP() << "cjpeg, djpeg or ImageMagick missing";
    const auto& [file, settings] = GetParam();
    const std::string jpeg = EncodeWith(file.tool, file.arguments);
    SetOptions(settings.options);

    ImagePtr image = LumoLoadJpeg(jpeg.c_str());
    const PnmPicture expected = DecodeWith(file.gray && settings.djpegGray ? settings.djpegGray : settings.djpeg, jpeg);
    EXPECT_TRUE(SamePicture(expected, PnmOf(*image)));
    const bool quantized = std::string(settings.name).starts_with("quantized") && expected.channels == 3;
    EXPECT_EQ(KindName(KindOf(*image)),
              std::string(expected.channels == 1 ? "GRAY256" : quantized ? "COLOR256" : "RGB"));
    EXPECT_TRUE(errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, JpegDecodeCrossCheck,
                         ::testing::Combine(::testing::ValuesIn(kReferenceFiles), ::testing::ValuesIn(kDecodeSettings)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

TEST_F(JpegTest, ProgressPerRowBothWaysAndLoadingFromMemory) {
    const std::string path = tempPath("progress.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(9, 4).get(), path.c_str());
    ImagePtr fromFile = LumoLoadJpeg(path.c_str());
    EXPECT_EQ(progress, (std::vector<int>{-1, 25, 50, 75, 100, -2, -1, 25, 50, 75, 100, -2}));

    const std::vector<uint8_t> bytes = ReadBytes(path);
    InputFile memory(bytes.data(), bytes.size(), "memory.jpg");
    EXPECT_TRUE(SamePixels(*fromFile, *LoadJpegFrom(memory)));
}

// Targets 80 x 60: the largest reduction that keeps the picture at least as large as the targets.
struct ThumbnailCase {
    int width, height;           // of the file
    int loadedWidth, loadedHeight;
};
void PrintTo(const ThumbnailCase& c, std::ostream* os) { *os << c.width << "x" << c.height; }

class JpegThumbnailTest : public JpegTest, public ::testing::WithParamInterface<ThumbnailCase> {};

TEST_P(JpegThumbnailTest, PicksTheScaleFromTheFileSize) {
    const ThumbnailCase& c = GetParam();
    const std::string path = tempPath("thumbnail.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(c.width, c.height).get(), path.c_str());
    LumoSetIntOptionJpeg("ratio", 2);  // ignored in thumbnail mode
    LumoSetIntOptionJpeg("thumbnailmode", 1);
    ImagePtr image = LumoLoadJpeg(path.c_str());
    EXPECT_EQ(image->width, c.loadedWidth);
    EXPECT_EQ(image->height, c.loadedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegThumbnailTest,
                         ::testing::Values(ThumbnailCase{640, 480, 80, 60}, ThumbnailCase{400, 300, 100, 75},
                                           ThumbnailCase{100, 100, 100, 100}, ThumbnailCase{170, 130, 85, 65},
                                           ThumbnailCase{2000, 150, 1000, 75}));

TEST_F(JpegTest, ThumbnailTargetsBelowOneCountAsOne) {
    const std::string path = tempPath("small.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(64, 40).get(), path.c_str());
    LumoSetIntOptionJpeg("thumbnailmode", 1);
    LumoSetIntOptionJpeg("thumbnailw", 0);
    LumoSetIntOptionJpeg("thumbnailh", -5);
    EXPECT_EQ(LumoLoadJpeg(path.c_str())->width, 8);  // the smallest scale, 1/8
    LumoSetIntOptionJpeg("thumbnailmode", 0);
    LumoSetIntOptionJpeg("ratio", 0);  // no reduction, rather than an enlargement
    EXPECT_EQ(LumoLoadJpeg(path.c_str())->width, 64);
}

// Photos made by Pillow with each Exif Orientation value load as Pillow's exif_transpose shows them,
// in thumbnail mode too, and saving them again stores no tag that would turn them a second time.
TEST_F(JpegTest, PhotosLoadUprightAsTheirOrientationTagSays) {
    const std::string python = PillowPython();
    if (python.empty()) GTEST_SKIP() << "no Pillow";
    const std::string source = tempPath("source.ppm");
    WritePnm(*MakePhotoLikeImage(48, 24), source);
    const std::string script =
        "import sys\nfrom PIL import Image, ImageOps\n"
        "base, folder = Image.open(sys.argv[1]), sys.argv[2]\n"
        "for v in range(1, 9):\n"
        "    exif = Image.Exif(); exif[0x0112] = v\n"
        "    base.save(f'{folder}/o{v}.jpg', quality=95, exif=exif.tobytes())\n"
        "    ImageOps.exif_transpose(Image.open(f'{folder}/o{v}.jpg')).save(f'{folder}/o{v}.ppm')\n";
    WriteBytes(tempPath("make.py"), ToBytes(script));
    ASSERT_EQ(RunCommand(python + " " + ShellQuote(tempPath("make.py")) + " " + ShellQuote(source) + " " +
                         ShellQuote(tempPath(""))).status, 0);
    for (int v = 1; v <= 8; ++v) {
        SCOPED_TRACE(v);
        const std::string name = tempPath("o") + std::to_string(v), jpeg = name + ".jpg";
        const ImagePtr upright = LumoLoadJpeg(jpeg.c_str());
        EXPECT_TRUE(SamePicture(ParsePnm(ReadBytes(name + ".ppm")), PnmOf(*upright), 2));

        const std::string again = tempPath("again.jpg");
        LumoSaveJpeg(upright.get(), again.c_str());
        EXPECT_EQ(LumoLoadJpeg(again.c_str())->width, 48 / (v >= 5 ? 2 : 1));

        LumoSetIntOptionJpeg("thumbnailmode", 1);  // the upright sides are measured against the targets
        LumoSetIntOptionJpeg("thumbnailw", v >= 5 ? 12 : 24);  // half the upright sides: a 1/2 decode
        LumoSetIntOptionJpeg("thumbnailh", v >= 5 ? 24 : 12);
        EXPECT_EQ(LumoLoadJpeg(jpeg.c_str())->width, v >= 5 ? 12 : 24);
        LumoSetIntOptionJpeg("thumbnailmode", 0);
        LumoSetIntOptionJpeg("autorotate", 0);
        EXPECT_EQ(LumoLoadJpeg(jpeg.c_str())->width, 48);
        LumoSetIntOptionJpeg("autorotate", 1);
    }
}

// Exif blocks are read from files anyone made: every cut of a valid block, and offsets that point
// outside it, give "upright" without reading past the block (the sanitizer build checks that).
TEST_F(JpegTest, DamagedExifBlocksCountAsUpright) {
    const uint8_t block[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                             0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ExifOrientation(block, sizeof block), 6);
    for (size_t cut = 0; cut < sizeof block - 4; ++cut) {
        std::vector<uint8_t> shorter(block, block + cut);  // its own allocation, so a read past it is caught
        EXPECT_EQ(ExifOrientation(shorter.data(), shorter.size()), 1) << cut;
    }
    std::vector<uint8_t> lying(block, block + sizeof block);
    lying[13] = 0xF0;  // the directory offset points past the end
    EXPECT_EQ(ExifOrientation(lying.data(), lying.size()), 1);
    lying[13] = 8;
    lying[25] = 9;  // no such orientation
    EXPECT_EQ(ExifOrientation(lying.data(), lying.size()), 1);
}

TEST_F(JpegTest, VerboseLoadAnnouncesTheReduction) {
    const std::string path = tempPath("reduced.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(32, 16).get(), path.c_str());
    LumoSetIntOptionJpeg("ratio", 4);
    LumoLoadJpeg(path.c_str());
    EXPECT_TRUE(warnings.empty());  // only when verbose

    LumoSetIntOption("verbose", 1);
    ImagePtr image = LumoLoadJpeg(path.c_str());
    LumoSetIntOption("verbose", 0);
    EXPECT_EQ(image->width, 8);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "");
    EXPECT_EQ(warnings[0].text, "Loading reduced JPEG image (1/4)");
}

TEST_F(JpegTest, QuantizedPaletteIsPaddedToFullLength) {
    // One colour: libjpeg's map has a single entry; the other 255 must be defined (black), not read past.
    const std::string path = tempPath("flat.jpg");
    LumoSaveJpeg(MakeUniformRGB(24, 16, 200, 40, 90).get(), path.c_str());
    LumoSetIntOptionJpeg("readrgb", 0);
    ImagePtr image = LumoLoadJpeg(path.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::COLOR256));
    EXPECT_EQ(std::vector<uint8_t>(image->palette + 3, image->palette + 3 * 256), std::vector<uint8_t>(3 * 255, 0));
    EXPECT_EQ(PixelAt(*image, 5, 5), 0u);
    EXPECT_NEAR(image->palette[0], 200, 6);  // the colour after compression
}

// ---------------------------------------------------------------------------------------------
// Four-component files: ink is converted to light with the convention the file follows.

// Ink amounts (0 = none) of a picture that sweeps every ink independently.
std::vector<uint8_t> InkPicture(int width, int height) {
    std::vector<uint8_t> ink;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ink.insert(ink.end(), {static_cast<uint8_t>(x * 255 / (width - 1)),
                                   static_cast<uint8_t>(y * 255 / (height - 1)),
                                   static_cast<uint8_t>((x + y) * 255 / (width + height - 2)),
                                   static_cast<uint8_t>((x * 7 + y * 3) % 64 * 2)});
    return ink;
}

// Writes a four-component file with libjpeg itself (the reference encoders take no ink): quality 100,
// full-resolution components, stored as space (JCS_CMYK or JCS_YCCK). With Adobe's marker the samples are
// stored inverted (255 = no ink), as Photoshop writes them; without it, as ink amounts.
void WriteInkJpeg(const std::string& path, int width, int height, const std::vector<uint8_t>& ink,
                  J_COLOR_SPACE space, bool adobeMarker) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, space);
    for (int c = 0; c < cinfo.num_components; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < row.size(); ++i) {
            const uint8_t amount = ink[static_cast<size_t>(y) * row.size() + i];
            row[i] = adobeMarker ? static_cast<uint8_t>(255 - amount) : amount;
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// The light a pixel of ink reflects: red = (255 - C)(255 - K) / 255, and so on.
PnmPicture LightOf(const std::vector<uint8_t>& ink, int width, int height) {
    PnmPicture picture{width, height, 3, {}};
    for (size_t i = 0; i < ink.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            picture.samples.push_back(static_cast<uint8_t>((255 - ink[i + c]) * (255 - ink[i + 3]) / 255.0 + 0.5));
    return picture;
}

struct InkFile {
    const char* name;
    J_COLOR_SPACE space;
    bool adobeMarker;
};
void PrintTo(const InkFile& c, std::ostream* os) { *os << c.name; }

class JpegInkTest : public JpegTest, public ::testing::WithParamInterface<InkFile> {};

TEST_P(JpegInkTest, LoadsAsTheColoursTheInkMakes) {
    const InkFile& file = GetParam();
    constexpr int kWidth = 48, kHeight = 32;
    const std::vector<uint8_t> ink = InkPicture(kWidth, kHeight);
    const std::string path = tempPath("ink.jpg");
    WriteInkJpeg(path, kWidth, kHeight, ink, file.space, file.adobeMarker);

    ImagePtr image = LumoLoadJpeg(path.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::RGB));
    // Quality 100 keeps every ink within a few levels; a wrong convention would be off by up to 255.
    EXPECT_TRUE(SamePicture(LightOf(ink, kWidth, kHeight), PnmOf(*image), 4));
    if (file.adobeMarker && HaveTool("/usr/bin/convert")) {
        EXPECT_TRUE(SamePicture(DecodeWith("/usr/bin/convert", path, "-depth 8 ppm:-"), PnmOf(*image), 1));
    }

    LumoSetIntOptionJpeg("forcegray", 1);
    ImagePtr gray = LumoLoadJpeg(path.c_str());
    EXPECT_TRUE(SamePixels(*LumoToGRAY256(image.get()), *gray));
    LumoSetIntOptionJpeg("forcegray", 0);
    LumoSetIntOptionJpeg("readrgb", 0);
    EXPECT_TRUE(IsKind(*LumoLoadJpeg(path.c_str()), ImageKind::COLOR256));
}

INSTANTIATE_TEST_SUITE_P(Conventions, JpegInkTest,
                         ::testing::Values(InkFile{"AdobeCmyk", JCS_CMYK, true}, InkFile{"AdobeYcck", JCS_YCCK, true},
                                           InkFile{"PlainCmyk", JCS_CMYK, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegTest, ImageMagickCmykFileLoadsAsImageMagickShowsIt) {
    if (!HaveReferenceCodecs()) GTEST_SKIP() << "ImageMagick missing";
    const std::string jpeg = EncodeWith("convert", "-colorspace CMYK -quality 95");
    ImagePtr image = LumoLoadJpeg(jpeg.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::RGB));
    EXPECT_TRUE(SamePicture(DecodeWith("/usr/bin/convert", jpeg, "-depth 8 ppm:-"), PnmOf(*image), 1));
}

// ---------------------------------------------------------------------------------------------
// Saving.

struct EncodeSettings {
    const char* name;
    OptionList options;
    bool gray;          // save the picture as GRAY256
    const char* cjpeg;  // the cjpeg switches that ask for the same encoding
};
void PrintTo(const EncodeSettings& c, std::ostream* os) { *os << c.name; }

const EncodeSettings kEncodeSettings[] = {
    {"defaults", {}, false, "-quality 75 -sample 2x2"},
    {"optimized_full_chroma", {{"quality", 90}, {"optimize", 1}, {"crsubsampling", 1}}, false,
     "-quality 90 -optimize -sample 1x1"},
    {"fast", {{"quality", 50}, {"fast", 1}}, false, "-quality 50 -dct fast -sample 2x2"},
    {"float_wins_over_fast", {{"quality", 60}, {"fast", 1}, {"usefloat", 1}}, false, "-quality 60 -dct float"},
    {"gray", {{"quality", 85}}, true, "-quality 85"},
    {"gray_optimized_low", {{"quality", 20}, {"optimize", 1}, {"crsubsampling", 1}}, true, "-quality 20 -optimize"},
};

class JpegEncodeCrossCheck : public JpegTest, public ::testing::WithParamInterface<EncodeSettings> {};

TEST_P(JpegEncodeCrossCheck, WritesTheBytesCjpegWrites) {
    if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
    const EncodeSettings& settings = GetParam();
    ImagePtr photo = MakePhotoLikeImage(75, 53);
    if (settings.gray) photo = LumoToGRAY256(photo.get());
    const std::string ours = tempPath("ours.jpg"), source = tempPath("source.pnm");
    SetOptions(settings.options);
    LumoSetStringOptionJpeg("comment", nullptr);  // cjpeg writes no comment
    LumoSaveJpeg(photo.get(), ours.c_str());

    WritePnm(*photo, source);
    const CommandResult theirs =
        RunCommand(std::string("cjpeg -baseline ") + settings.cjpeg + " " + ShellQuote(source));
    ASSERT_EQ(theirs.status, 0);
    EXPECT_TRUE(ReadBytes(ours) == ToBytes(theirs.output));
}

INSTANTIATE_TEST_SUITE_P(Settings, JpegEncodeCrossCheck, ::testing::ValuesIn(kEncodeSettings),
                         [](const auto& info) { return std::string(info.param.name); });

class JpegKindTest : public JpegTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(JpegKindTest, EveryKindSavesAsItsGrayOrRgbVersionAndStaysUntouched) {
    if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
    ImagePtr image = MakePatternImage(GetParam(), 37, 21, 3);
    const std::vector<uint8_t> before = Snapshot(*image);
    const std::string ours = tempPath("kind.jpg"), source = tempPath("kind.pnm");
    LumoSetStringOptionJpeg("comment", nullptr);
    LumoSaveJpeg(image.get(), ours.c_str());
    EXPECT_EQ(Snapshot(*image), before);

    // Palette kinds are written as their colours, BW and GRAY16 as their levels: exactly what cjpeg
    // writes for the picture the image shows.
    WritePnm(*image, source);
    const CommandResult theirs = RunCommand("cjpeg -baseline " + ShellQuote(source));
    EXPECT_TRUE(ReadBytes(ours) == ToBytes(theirs.output));
    EXPECT_EQ(KindName(KindOf(*LumoLoadJpeg(ours.c_str()))),
              std::string(image->colorClass == COLOR ? "RGB" : "GRAY256"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegKindTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(JpegTest, SavedFileCarriesTheCommentAndSamplingAskedFor) {
    if (!HaveTool("rdjpgcom") || !HaveTool("identify")) GTEST_SKIP() << "rdjpgcom or identify missing";
    const std::string path = tempPath("marked.jpg");
    const auto comment = [&] { return RunCommand("rdjpgcom " + ShellQuote(path)).output; };
    const auto sampling = [&] {
        return RunCommand("identify -format '%[jpeg:sampling-factor]' " + ShellQuote(path)).output;
    };
    ImagePtr photo = MakePhotoLikeImage(40, 24);

    LumoSaveJpeg(photo.get(), path.c_str());
    EXPECT_EQ(comment(), "Created by Lumo\n");
    EXPECT_EQ(sampling(), "2x2,1x1,1x1");

    {
        std::string text = "Sheet 3 of 7";  // the option keeps its own copy
        LumoSetStringOptionJpeg("comment", text.c_str());
        text.assign(text.size(), 'x');
    }
    LumoSetIntOptionJpeg("crsubsampling", 1);
    LumoSaveJpeg(photo.get(), path.c_str());
    EXPECT_EQ(comment(), "Sheet 3 of 7\n");
    EXPECT_EQ(sampling(), "1x1,1x1,1x1");
    EXPECT_STREQ(LumoGetStringOptionJpeg("comment"), "Sheet 3 of 7");

    LumoSetStringOptionJpeg("comment", nullptr);
    LumoSaveJpeg(photo.get(), path.c_str());
    EXPECT_EQ(LumoGetStringOptionJpeg("comment"), nullptr);
    EXPECT_EQ(comment(), "");
}

TEST_F(JpegTest, KindsLibjpegDoesNotTakeSaveLikeTheirConvertedCopies) {
    // Their rows are expanded one at a time as they are fed, not through a copy of the whole picture.
    for (ImageKind kind : {ImageKind::BW, ImageKind::GRAY16, ImageKind::COLOR16, ImageKind::COLOR256}) {
        const ImagePtr image = MakePatternImage(kind, 37, 11);
        const ImagePtr copy = image->colorClass == COLOR ? LumoToRGB(image.get()) : LumoToGRAY256(image.get());
        const std::string direct = tempPath("direct.jpg"), converted = tempPath("converted.jpg");
        LumoSaveJpeg(image.get(), direct.c_str());
        LumoSaveJpeg(copy.get(), converted.c_str());
        EXPECT_EQ(ReadBytes(direct), ReadBytes(converted)) << KindName(kind);
    }
}

TEST_F(JpegTest, FailedSaveReportsAndLeavesTheExistingFile) {
    const std::string path = tempPath("existing.jpg");
    WriteBytes(path, {1, 2, 3});
    ImagePtr empty = LumoCreateImage(0, 5, COLOR, nullptr, 24);
    EXPECT_LUMO_ERROR(LumoSaveJpeg(empty.get(), path.c_str()), "SaveJpeg",
                      "Empty JPEG image (DNL not supported) (while saving " + path + ")");
    LumoSetIntOptionJpeg("crsubsampling", 5);
    EXPECT_LUMO_ERROR(LumoSaveJpeg(MakePhotoLikeImage(8, 8).get(), path.c_str()), "SaveJpeg",
                      "Bogus sampling factors (while saving " + path + ")");
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()), {}), 1);  // no temporary file left

    const std::string nowhere = tempPath("missing/x.jpg");
    EXPECT_LUMO_ERROR(LumoSaveJpeg(empty.get(), nowhere.c_str()), "LumoSaveJpeg", "Can't open file " + nowhere + ": No such file or directory\n");
}

// ---------------------------------------------------------------------------------------------
// Damaged files and failures.

TEST_F(JpegTest, LoadFailuresCarryTheLibraryMessageAndThePath) {
    MutedStandardError muted;  // libjpeg warns about the cut data before it gives up
    const std::string missing = tempPath("missing.jpg");
    EXPECT_LUMO_ERROR(LumoLoadJpeg(missing.c_str()), "LumoLoadJpeg", "can't open JPEG file " + missing + ": No such file or directory");

    const std::string path = tempPath("damaged.jpg");
    WriteBytes(path, {'B', 'M', 0, 0});
    EXPECT_LUMO_ERROR(LumoLoadJpeg(path.c_str()), "LoadJpeg",
                      "Not a JPEG file: starts with 0x42 0x4d (while loading " + path + ")");

    LumoSaveJpeg(MakePhotoLikeImage(16, 16).get(), path.c_str());
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.resize(100);  // inside the quantization tables: libjpeg meets its own end-of-image marker
    WriteBytes(path, bytes);
    EXPECT_LUMO_ERROR(LumoLoadJpeg(path.c_str()), "LoadJpeg",
                      "JPEG datastream contains no image (while loading " + path + ")");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[2].module, "LoadJpeg");
}

// libjpeg's warning about a file cut short reaches the warning hook once, naming the file.
TEST_F(JpegTest, LibjpegWarningsGoThroughTheHookWithTheFileName) {
    const std::string path = tempPath("cut.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(64, 64).get(), path.c_str());
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.resize(bytes.size() / 2);
    WriteBytes(path, bytes);
    const ImagePtr image = LumoLoadJpeg(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 64);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "LoadJpeg");
    EXPECT_EQ(warnings[0].text, "Premature end of JPEG file: " + path);
}

// The position of the height field of the first SOF marker.
size_t FrameHeightOffset(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size();) {
        if (jpeg[i] != 0xFF) return 0;
        const uint8_t marker = jpeg[i + 1];
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA) return i + 5;
        i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return 0;
}

TEST_F(JpegTest, HugeSizeClaimsAreRefusedBeforeAllocating) {
    if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
    std::vector<uint8_t> bytes = ReadBytes(EncodeWith("cjpeg", "-progressive", 16, 16));
    const size_t at = FrameHeightOffset(bytes);
    ASSERT_NE(at, 0u);
    for (size_t i : {at, at + 1, at + 2, at + 3}) bytes[i] = 0xFD;  // 65021 x 65021
    const std::string path = tempPath("huge.jpg");
    WriteBytes(path, bytes);
    EXPECT_LUMO_ERROR(LumoLoadJpeg(path.c_str()), "LoadJpeg",
                      "Image size 65021 x 65021 (4227730441 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    for (size_t i : {at, at + 2}) bytes[i] = 0x30;  // 12288 x 12288: within the pixel limit
    for (size_t i : {at + 1, at + 3}) bytes[i] = 0x00;
    WriteBytes(path, bytes);
    try {
        LumoLoadJpeg(path.c_str());
        ADD_FAILURE() << "a 12288 x 12288 picture was loaded from " << bytes.size() << " bytes";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), "LoadJpeg");
        EXPECT_NE(std::string(failure.text()).find("asks for"), std::string::npos) << failure.text();
    }
    // Reduced to 1/8 the gray picture itself would pass, but libjpeg would keep every coefficient of the
    // progressive file at full size: its memory is capped too.
    LumoSetIntOptionJpeg("ratio", 8);
    LumoSetIntOptionJpeg("forcegray", 1);
    EXPECT_LUMO_ERROR(LumoLoadJpeg(path.c_str()), "LoadJpeg",
                      "Backing store not supported (while loading " + path + ")");
}

TEST_F(JpegTest, EndlessScanRepeatsAreCutShort) {
    if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
    // A progressive file whose last scan is repeated until the file holds over a thousand scans.
    std::vector<uint8_t> bytes = ReadBytes(EncodeWith("cjpeg", "-progressive", 16, 16));
    size_t lastScan = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) lastScan = i;
    ASSERT_NE(lastScan, 0u);
    const std::vector<uint8_t> scan(bytes.begin() + static_cast<long>(lastScan), bytes.end() - 2);
    bytes.resize(bytes.size() - 2);
    for (int i = 0; i < 1000; ++i) bytes.insert(bytes.end(), scan.begin(), scan.end());
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    const std::string path = tempPath("scans.jpg");
    WriteBytes(path, bytes);
    MutedStandardError muted;
    EXPECT_LUMO_ERROR(LumoLoadJpeg(path.c_str()), "LoadJpeg",
                      "Too many scans in JPEG file (while loading " + path + ")");
}

// Every truncation and a flipped byte at every position: an image or a clean error, nothing leaked.
class JpegDamageTest : public JpegTest, public ::testing::WithParamInterface<ReferenceFile> {};

TEST_P(JpegDamageTest, TruncatedAndFlippedFilesFailCleanly) {
    if (!HaveReferenceCodecs()) GTEST_SKIP() << "cjpeg missing";
    const std::vector<uint8_t> good = ReadBytes(EncodeWith(GetParam().tool, GetParam().arguments, 21, 13));
    int loaded = 0, refused = 0;
    const auto attempt = [&](const std::vector<uint8_t>& bytes) {
        try {
            InputFile file(bytes.data(), bytes.size(), "damaged.jpg");
            ImagePtr image = LoadJpegFrom(file);
            ++loaded;
        } catch (const LumoFailure& failure) {
            // A damaged size field may ask for rows the image record cannot hold: LumoCreateImage refuses it.
            ASSERT_TRUE(failure.module() == "LoadJpeg" || failure.module() == "LumoCreateImage") << failure.module();
            ++refused;
        }
    };
    MutedStandardError muted;
    for (size_t length = 0; length < good.size(); ++length)
        attempt(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length)));
    for (int mask : {0xFF, 0x10}) {
        for (size_t at = 0; at < good.size(); ++at) {
            std::vector<uint8_t> bytes = good;
            bytes[at] ^= static_cast<uint8_t>(mask);
            for (int option = 0; option < 3; ++option) {  // also through the quantizer and the reduced path
                SetOptions({{"readrgb", option != 1}, {"ratio", option == 2 ? 4 : 1}, {"fast", option}});
                attempt(bytes);
            }
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, JpegDamageTest,
                         ::testing::Values(kReferenceFiles[0], kReferenceFiles[3], kReferenceFiles[4],
                                           kReferenceFiles[5], kReferenceFiles[6]),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegTest, UnknownOptionNamesAreReportedByTheirFunction) {
    EXPECT_LUMO_ERROR(LumoSetIntOptionJpeg("Quality", 1), "LumoSetIntOptionJpeg", "Unknown JPEG option: Quality");
    EXPECT_LUMO_ERROR(LumoGetIntOptionJpeg("comment"), "LumoGetIntOptionJpeg", "Unknown JPEG option: comment");
    EXPECT_LUMO_ERROR(LumoSetStringOptionJpeg("quality", "x"), "LumoSetStringOptionJpeg",
                      "Unknown JPEG option: quality");
    EXPECT_LUMO_ERROR(LumoGetStringOptionJpeg("title"), "LumoGetStringOptionJpeg", "Unknown JPEG option: title");
}

TEST_F(JpegTest, DispatchRoutesJpgInAnyCaseWithTheProfileSettings) {
    const std::string profile = tempPath("WIN.INI");
    WriteBytes(profile, ToBytes("[Lumo]\nJpegForceGray=1\n"));
    const char* previous = std::getenv("LUMO_PROFILE");
    const std::string saved = previous ? previous : "";
    ::setenv("LUMO_PROFILE", profile.c_str(), 1);
    const std::string path = tempPath("PHOTO.JPG");
    ASSERT_TRUE(SaveImageByExtension(MakePhotoLikeImage(20, 10).get(), path.c_str()));
    ImagePtr image = LoadImageByExtension(path.c_str());
    previous ? ::setenv("LUMO_PROFILE", saved.c_str(), 1) : ::unsetenv("LUMO_PROFILE");
    ASSERT_TRUE(image);
    EXPECT_TRUE(IsKind(*image, ImageKind::GRAY256));
}

}  // namespace

// The header-only info of a file with an Exif Orientation tag of 6 (a quarter turn) tells the sides of
// the upright, possibly reduced picture, as the load gives it.
TEST_F(JpegTest, HeaderInfoTellsTheTurnedAndReducedSize) {
    const std::string plain = tempPath("plain.jpg"), turned = tempPath("turned.jpg");
    LumoSaveJpeg(MakePhotoLikeImage(32, 16).get(), plain.c_str());
    const uint8_t app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                            0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> bytes = ReadBytes(plain);
    bytes.insert(bytes.begin() + 2, std::begin(app1), std::end(app1));  // right after the start-of-image marker
    WriteBytes(turned, bytes);

    for (const int ratio : {1, 2}) {
        for (const int autoRotate : {1, 0}) {
            SCOPED_TRACE(testing::Message() << "ratio " << ratio << ", autorotate " << autoRotate);
            LumoSetIntOptionJpeg("ratio", ratio);
            LumoSetIntOptionJpeg("autorotate", autoRotate);
            const ImageInfo info = ReadJpegInfo(turned.c_str());
            const ImagePtr loaded = LumoLoadJpeg(turned.c_str());
            EXPECT_EQ(info.width, loaded->width);
            EXPECT_EQ(info.height, loaded->height);
            EXPECT_EQ(info.width, (autoRotate ? 16 : 32) / ratio);
            EXPECT_EQ(info.kind, ImageKind::RGB);
        }
    }
    LumoSetIntOptionJpeg("ratio", 1);
    LumoSetIntOptionJpeg("autorotate", 1);
}
