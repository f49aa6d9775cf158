// Colour management: pictures with an embedded profile against Little CMS's own tools (jpgicc,
// tificc) on photo-like pictures, damaged profiles, and the cost of pictures without one.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/convert.h"
#include "core/orientation.h"
#include "core/rescale.h"
#include "core/image_metadata.h"
#include "formats/colour/colour_profile.h"
#include "formats/colour/srgb_conversion.h"
#include "formats/bmp.h"
#include "formats/jpeg/jpeg.h"
#include "formats/tiff/tiff.h"
#include "jobs/transform.h"
#include "tests/support/icc_profiles.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

const char* kCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
const char* kSrgbProfile = "/usr/share/color/icc/ghostscript/srgb.icc";

int MaxDifference(const PnmPicture& a, const PnmPicture& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.samples.size(), b.samples.size());
    int most = 0;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i)
        most = std::max(most, std::abs(int(a.samples[i]) - int(b.samples[i])));
    return most;
}

class ColourTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        LumoSetIntOptionJpeg("readrgb", 1);
    }
    void TearDown() override {
        LumoSetIntOptionJpeg("readrgb", readRgb_);
        LumoTest::TearDown();
    }

    bool haveTools() {
        python_ = PillowPython();
        return !python_.empty() && HaveTool("jpgicc") && HaveTool("djpeg");
    }
    // The picture as a JPEG made by Pillow with the profile embedded.
    std::string pillowJpeg(const IMG& image, const std::vector<uint8_t>& profile, const std::string& name) {
        const std::string pnm = tempPath(name + ".pnm"), icc = tempPath(name + ".icc"), jpeg = tempPath(name + ".jpg");
        WritePnm(image, pnm);
        WriteBytes(icc, profile);
        const std::string script = "from PIL import Image; Image.open('" + pnm + "').save('" + jpeg +
                                   "', quality=95, icc_profile=open('" + icc + "', 'rb').read())";
        EXPECT_EQ(RunCommand(python_ + " -c " + ShellQuote(script)).status, 0);
        return jpeg;
    }
    // jpgicc's conversion of the file to sRGB at its defaults, decoded by djpeg.
    PnmPicture jpgiccReference(const std::string& jpeg) {
        const std::string converted = jpeg + ".srgb.jpg", pnm = jpeg + ".srgb.pnm";
        EXPECT_EQ(RunCommand("jpgicc -q 100 " + ShellQuote(jpeg) + " " + ShellQuote(converted) + " 2>/dev/null").status, 0);
        EXPECT_EQ(RunCommand("djpeg -pnm -outfile " + ShellQuote(pnm) + " " + ShellQuote(converted)).status, 0);
        return ParsePnm(ReadBytes(pnm));
    }

    std::string python_;
    int readRgb_ = LumoGetIntOptionJpeg("readrgb");
};

TEST_F(ColourTest, DisplayP3PhotoConvertsAsJpgiccDoes) {
    if (!haveTools()) GTEST_SKIP() << "needs Pillow, jpgicc and djpeg";
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    const std::string jpeg = pillowJpeg(*PhotoLike(160, 120), p3, "p3");
    const PnmPicture reference = jpgiccReference(jpeg);

    ImagePtr image = LumoLoadJpeg(jpeg.c_str());
    const PnmPicture stored = PnmOf(*image);
    AttachProfile(image.get(), p3);  // what the loader keeps of the file
    const long transforms = ColourTransformsMade();
    ASSERT_TRUE(ConvertImageToSrgb(image.get()));
    EXPECT_EQ(ColourTransformsMade(), transforms + 1);
    EXPECT_LE(MaxDifference(reference, PnmOf(*image)), 2);
    EXPECT_GT(MaxDifference(stored, PnmOf(*image)), 20) << "P3 greens and reds lie far outside sRGB";
    // The result is sRGB: it carries no profile any more, and the rest of its metadata stays.
    ASSERT_NE(LumoGetMetadata(image.get()), nullptr);
    EXPECT_TRUE(LumoGetMetadata(image.get())->icc.empty());
    EXPECT_EQ(LumoGetMetadata(image.get())->comment, "kept");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ColourTest, LumoConvertToSrgbGivesJpgiccPixels) {
    if (!haveTools()) GTEST_SKIP() << "needs Pillow, jpgicc and djpeg";
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    const std::string jpeg = pillowJpeg(*PhotoLike(160, 120), p3, "cli");
    const ImagePtr loaded = LumoLoadJpeg(jpeg.c_str());
    ASSERT_NE(LumoGetMetadata(loaded.get()), nullptr);
    EXPECT_EQ(LumoGetMetadata(loaded.get())->icc, p3);
    const PnmPicture reference = jpgiccReference(jpeg);
    const std::string converted = tempPath("srgb.bmp"), plain = tempPath("plain.bmp");
    const std::string lumo = "LUMO_PROFILE=" + ShellQuote(tempPath("WIN.INI")) + " " + BuiltProgram("lumo") +
                             " convert --set JpegFast=0 " + ShellQuote(jpeg) + " -o ";
    ASSERT_EQ(RunCommand(lumo + ShellQuote(converted) + " --to-srgb").status, 0);
    ASSERT_EQ(RunCommand(lumo + ShellQuote(plain)).status, 0);
    EXPECT_LE(MaxDifference(reference, PnmOf(*LumoLoadBmp(converted.c_str()))), 2);
    EXPECT_GT(MaxDifference(reference, PnmOf(*LumoLoadBmp(plain.c_str()))), 20);
}

TEST_F(ColourTest, ToSrgbComesAfterTheTurnAndBeforeTheRescale) {
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    ImagePtr photo = PhotoLike(40, 30);
    AttachProfile(photo.get(), p3);
    ImageTransform transform;
    transform.toSrgb = true;
    transform.rotation = Orientation::RotateRight;
    transform.width = 20;
    transform.height = 27;
    ImagePtr result = ApplyTransform(std::move(photo), transform);

    ImagePtr expected = PhotoLike(40, 30);
    AttachProfile(expected.get(), p3);
    ASSERT_TRUE(ConvertImageToSrgb(expected.get()));
    expected = LumoRescale(LumoOrientImage(expected.get(), Orientation::RotateRight).get(), 20, 27);
    EXPECT_TRUE(SamePixels(*expected, *result));
    EXPECT_TRUE(LumoGetMetadata(result.get())->icc.empty());

    // Without --to-srgb the profile stays with the pixels.
    ImagePtr plain = PhotoLike(40, 30);
    AttachProfile(plain.get(), p3);
    transform.toSrgb = false;
    EXPECT_EQ(LumoGetMetadata(ApplyTransform(std::move(plain), transform).get())->icc, p3);
}

TEST_F(ColourTest, PaletteEntriesConvertAsRgbPixelsDo) {
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    ImagePtr rgb = PhotoLike(64, 48);
    ImagePtr palette = LumoToCOLOR256(rgb.get());
    ImagePtr expanded = LumoToRGB(palette.get());  // the palette picture's colours as RGB pixels
    AttachProfile(palette.get(), p3);
    AttachProfile(expanded.get(), p3);
    ASSERT_TRUE(ConvertImageToSrgb(palette.get()));
    ASSERT_TRUE(ConvertImageToSrgb(expanded.get()));
    EXPECT_TRUE(SamePixels(*expanded, *LumoToRGB(palette.get())));
}

TEST_F(ColourTest, GrayWithGrayProfileStaysGrayAndMatchesJpgicc) {
    if (!haveTools()) GTEST_SKIP() << "needs Pillow, jpgicc and djpeg";
    const std::vector<uint8_t> gray = LinearGrayProfile();
    ImagePtr ramp = LumoToGRAY256(PhotoLike(128, 64).get());
    const std::string jpeg = pillowJpeg(*ramp, gray, "gray");
    const PnmPicture reference = jpgiccReference(jpeg);  // jpgicc writes sRGB colour: red = green = blue

    ImagePtr image = LumoLoadJpeg(jpeg.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::GRAY256));
    AttachProfile(image.get(), gray);
    ASSERT_TRUE(ConvertImageToSrgb(image.get()));
    ASSERT_TRUE(IsKind(*image, ImageKind::GRAY256));
    PnmPicture greens = reference;
    greens.channels = 1;
    greens.samples.clear();
    for (size_t i = 1; i < reference.samples.size(); i += 3) greens.samples.push_back(reference.samples[i]);
    EXPECT_LE(MaxDifference(greens, PnmOf(*image)), 2);

    // GRAY16 keeps its 16 levels, each moved to the level nearest the GRAY256 result.
    ImagePtr levels = LumoCreateImage(16, 1, GRAY, nullptr, 4);
    ImagePtr wide = LumoCreateImage(16, 1, GRAY, nullptr, 8);
    for (int x = 0; x < 16; ++x) SetPixel(*levels, x, 0, x), SetPixel(*wide, x, 0, x * 17);
    AttachProfile(levels.get(), gray);
    AttachProfile(wide.get(), gray);
    ASSERT_TRUE(ConvertImageToSrgb(levels.get()));
    ASSERT_TRUE(ConvertImageToSrgb(wide.get()));
    for (int x = 0; x < 16; ++x) EXPECT_EQ(PixelAt(*levels, x, 0), (PixelAt(*wide, x, 0) + 8) / 17) << x;
    EXPECT_GT(PixelAt(*levels, 8, 0), 10u) << "linear mid-tones come out lighter on the sRGB curve";
}

// Damaged, foreign and hostile profiles: one warning, the picture as it was, and for the viewer no copy.
TEST_F(ColourTest, UnusableProfilesWarnAndLeaveThePicture) {
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    std::vector<uint8_t> truncated(p3.begin(), p3.begin() + p3.size() / 2);
    std::vector<uint8_t> garbage(p3.size());
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 73 + 11);
    std::copy(p3.begin(), p3.begin() + 20, garbage.begin());  // a believable size and "RGB " space
    std::vector<uint8_t> hostileTags = p3;
    for (size_t i = 132; i < std::min<size_t>(hostileTags.size(), 132 + 12 * 9); ++i) hostileTags[i] = 0xFF;
    const std::vector<uint8_t> cmyk = ReadBytes(kCmykProfile);
    const struct {
        const char* what;
        std::vector<uint8_t> profile;
        const char* warning;
    } cases[] = {
        {"truncated", truncated, "Colour profile ignored: damaged or truncated"},
        {"garbage", garbage, nullptr},
        {"hostile tag table", hostileTags, nullptr},
        {"CMYK on RGB", cmyk, "Colour profile ignored: a CMYK profile does not fit RGB pixels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        warnings.clear();
        ImagePtr photo = PhotoLike(33, 17);
        ImagePtr original = PhotoLike(33, 17);
        AttachProfile(photo.get(), c.profile);
        EXPECT_EQ(SrgbCopyOf(*photo), nullptr);
        EXPECT_FALSE(ConvertImageToSrgb(photo.get()));
        EXPECT_TRUE(SamePixels(*original, *photo));
        EXPECT_EQ(LumoGetMetadata(photo.get())->icc, c.profile) << "a failed conversion keeps what the file had";
        ASSERT_EQ(warnings.size(), 2u);
        EXPECT_EQ(warnings[0].module, "ColourProfile");
        if (c.warning) EXPECT_EQ(warnings[0].text, c.warning);
        else EXPECT_EQ(warnings[0].text.rfind("Colour profile ignored: ", 0), 0u) << warnings[0].text;
    }
    // A gray profile does not fit colour pixels either, nor an RGB one gray pixels.
    warnings.clear();
    ImagePtr gray = LumoToGRAY256(PhotoLike(8, 8).get());
    AttachProfile(gray.get(), p3);
    EXPECT_FALSE(ConvertImageToSrgb(gray.get()));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "Colour profile ignored: a RGB profile does not fit gray pixels");
}

// Every byte of the profile changed in turn: a conversion or a warning, never a crash (under the
// sanitizer build, never a read outside the profile).
TEST_F(ColourTest, ProfilesWithAnyByteChangedAreConvertedOrRefused) {
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    for (size_t i = 0; i < p3.size(); ++i) {
        std::vector<uint8_t> changed = p3;
        changed[i] ^= 0xFF;
        warnings.clear();
        ImagePtr photo = PhotoLike(7, 5);
        AttachProfile(photo.get(), changed);
        if (!ConvertImageToSrgb(photo.get())) {
            ASSERT_EQ(warnings.size(), 1u) << "byte " << i;
        }
    }
}

TEST_F(ColourTest, PicturesWithoutProfileCostNothing) {
    const long transforms = ColourTransformsMade();
    for (ImageKind kind : {ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                           ImageKind::COLOR256, ImageKind::RGB}) {
        ImagePtr image = MakePatternImage(kind, 21, 13);
        ImagePtr original = MakePatternImage(kind, 21, 13);
        EXPECT_EQ(SrgbCopyOf(*image), nullptr);
        EXPECT_FALSE(ConvertImageToSrgb(image.get()));
        EXPECT_TRUE(SamePixels(*original, *image));
        // Metadata without a profile is no profile either.
        ImageMetadata exifOnly;
        exifOnly.comment = "no profile";
        LumoSetMetadata(image.get(), exifOnly);
        EXPECT_FALSE(ConvertImageToSrgb(image.get()));
    }
    ImagePtr bw = MakePatternImage(ImageKind::BW, 9, 9);
    AttachProfile(bw.get(), LinearGrayProfile());
    EXPECT_FALSE(ConvertImageToSrgb(bw.get()));  // black and white stay black and white
    EXPECT_EQ(ColourTransformsMade(), transforms);
    EXPECT_TRUE(warnings.empty());
}

// Most cameras and phones embed an sRGB profile: its pictures are left as they are, with no display copy.
TEST_F(ColourTest, SrgbProfilesLeaveThePixels) {
    for (const std::vector<uint8_t>& srgb : {ReadBytes(kSrgbProfile), SavedSrgbProfile()}) {
        ImagePtr photo = PhotoLike(40, 30);
        AttachProfile(photo.get(), srgb);
        EXPECT_EQ(SrgbCopyOf(*photo), nullptr);
        ASSERT_TRUE(ConvertImageToSrgb(photo.get()));
        EXPECT_TRUE(SamePixels(*PhotoLike(40, 30), *photo));
        EXPECT_TRUE(LumoGetMetadata(photo.get())->icc.empty());
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ColourTest, SrgbCopyLeavesTheImageAsItIs) {
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    ImagePtr photo = PhotoLike(50, 20);
    AttachProfile(photo.get(), p3);
    ImagePtr copy = SrgbCopyOf(*photo);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(SamePixels(*PhotoLike(50, 20), *photo));
    EXPECT_EQ(LumoGetMetadata(photo.get())->icc, p3);
    ASSERT_TRUE(ConvertImageToSrgb(photo.get()));
    EXPECT_TRUE(SamePixels(*photo, *copy));
}

TEST_F(ColourTest, ProfileDescriptionNamesTheProfile) {
    EXPECT_EQ(ProfileDescription(DisplayP3Profile()), "Display P3");
    const std::vector<uint8_t> p3 = DisplayP3Profile();
    EXPECT_EQ(ProfileDescription(std::span(p3).first(200)), std::nullopt);
    EXPECT_EQ(ProfileDescription({}), std::nullopt);
    EXPECT_TRUE(warnings.empty());
}

// CMYK files with a profile go through it, as Little CMS's own tools convert them.
class CmykTest : public ColourTest {
protected:
    bool haveCmykTools() {
        return std::filesystem::exists(kCmykProfile) && std::filesystem::exists(kSrgbProfile) && HaveTool("convert") &&
               HaveTool("identify");
    }
    // The photo separated by ImageMagick through the CMYK profile, which it embeds.
    std::string separated(const std::string& name) {
        const std::string pnm = tempPath(name + ".ppm"), file = tempPath(name);
        WritePnm(*PhotoLike(96, 64), pnm);
        EXPECT_EQ(RunCommand("convert " + ShellQuote(pnm) + " -profile " + kSrgbProfile + " -profile " + kCmykProfile +
                             " -quality 95 " + ShellQuote(file))
                      .status,
                  0);
        const CommandResult kind = RunCommand("identify -format '%[colorspace] %[profile:icc]' " + ShellQuote(file));
        EXPECT_EQ(kind.output.rfind("CMYK ", 0), 0u) << kind.output;
        return file;
    }
};

TEST_F(CmykTest, CmykJpegWithProfileMatchesJpgicc) {
    if (!haveTools() || !haveCmykTools()) GTEST_SKIP() << "needs ImageMagick, jpgicc, djpeg and the CMYK profile";
    const std::string jpeg = separated("ink.jpg");
    const PnmPicture reference = jpgiccReference(jpeg);
    const long transforms = ColourTransformsMade();
    ImagePtr image = LumoLoadJpeg(jpeg.c_str());
    EXPECT_EQ(ColourTransformsMade(), transforms + 1);
    ASSERT_TRUE(IsKind(*image, ImageKind::RGB));
    EXPECT_LE(MaxDifference(reference, PnmOf(*image)), 2);
    const ImageMetadata* metadata = LumoGetMetadata(image.get());
    EXPECT_TRUE(!metadata || metadata->icc.empty()) << "the CMYK profile no longer describes the pixels";
    EXPECT_TRUE(warnings.empty());

    // Without the profile the plain formula gives other colours.
    const std::string bare = jpeg + ".bare.jpg";
    ASSERT_EQ(RunCommand("convert " + ShellQuote(jpeg) + " +profile icc " + ShellQuote(bare)).status, 0);
    EXPECT_GT(MaxDifference(reference, PnmOf(*LumoLoadJpeg(bare.c_str()))), 10);
}

TEST_F(CmykTest, CmykTiffWithProfileMatchesTificc) {
    if (!haveCmykTools() || !HaveTool("tificc")) GTEST_SKIP() << "needs ImageMagick, tificc and the CMYK profile";
    const std::string tiff = separated("ink.tif");
    const std::string converted = tiff + ".srgb.tif", pnm = tiff + ".ppm";
    ASSERT_EQ(RunCommand("tificc " + ShellQuote(tiff) + " " + ShellQuote(converted) + " 2>/dev/null").status, 0);
    ASSERT_EQ(RunCommand("convert " + ShellQuote(converted) + " -depth 8 ppm:" + ShellQuote(pnm)).status, 0);
    const PnmPicture reference = ParsePnm(ReadBytes(pnm));
    ImagePtr image = LumoLoadTiff(tiff.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::RGB));
    EXPECT_LE(MaxDifference(reference, PnmOf(*image)), 2);
    const ImageMetadata* metadata = LumoGetMetadata(image.get());
    EXPECT_TRUE(!metadata || metadata->icc.empty());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(CmykTest, CmykJpegWithBrokenProfileWarnsAndUsesThePlainFormula) {
    if (!haveCmykTools() || !HaveTool("exiftool")) GTEST_SKIP() << "needs ImageMagick, exiftool and the CMYK profile";
    const std::string jpeg = separated("ink.jpg");
    const std::string bare = jpeg + ".bare.jpg", broken = jpeg + ".broken.jpg", icc = tempPath("broken.icc");
    ASSERT_EQ(RunCommand("convert " + ShellQuote(jpeg) + " +profile icc " + ShellQuote(bare)).status, 0);
    std::vector<uint8_t> profile = ReadBytes(kCmykProfile);
    profile.resize(profile.size() - 100);  // cut short: its header states more than it holds
    WriteBytes(icc, profile);
    ASSERT_EQ(RunCommand("exiftool -q -o " + ShellQuote(broken) + " '-icc_profile<=" + icc + "' " + ShellQuote(bare))
                  .status,
              0);
    ImagePtr plain = LumoLoadJpeg(bare.c_str());
    EXPECT_TRUE(warnings.empty());
    ImagePtr image = LumoLoadJpeg(broken.c_str());
    EXPECT_TRUE(SamePixels(*plain, *image));
    ASSERT_EQ(warnings.size(), 1u);  // the loader leaves the cut profile out
    EXPECT_EQ(warnings[0].text, "Damaged ICC profile left out: " + broken);
}

}  // namespace
