#include <tiffio.h>

#include <cstdlib>
#include <filesystem>

#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/jpeg/jpeg.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "tests/support/lumo_test.h"

namespace {

struct SplitCase {
    const char* path;
    const char* directory;
    const char* baseName;
    const char* extension;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class SplitFileNameTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFileNameTest, SplitsDirectoryBaseAndExtension) {
    const SplitCase& c = GetParam();
    const SplitName split = SplitFileName(c.path);
    EXPECT_EQ(split.directory, c.directory);
    EXPECT_EQ(split.baseName, c.baseName);
    EXPECT_EQ(split.extension, c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitFileNameTest,
    ::testing::Values(SplitCase{"archive.tar.gz", "", "archive.tar", "gz"},
                      SplitCase{"D:\\data.dir\\readme", "D:\\", "data", "dir\\readme"},
                      SplitCase{"D:\\IMAGES\\IMG0001.PCD", "D:\\IMAGES\\", "IMG0001", "PCD"},
                      SplitCase{"D:photo.jpg", "D:", "photo", "jpg"},
                      SplitCase{"/home/ann/photo.JPG", "/home/ann/", "photo", "JPG"},
                      SplitCase{"/home/ann/notes", "/home/ann/", "notes", ""},
                      SplitCase{"shot 12:30.bmp", "", "shot 12:30", "bmp"},  // a colon inside a name is no drive
                      SplitCase{"/x.bmp", "", "/x", "bmp"},  // a separator in the first place stays in the name
                      SplitCase{"dir/sub/.hidden", "dir/sub/", "", "hidden"},
                      SplitCase{"plain", "", "plain", ""}, SplitCase{"", "", "", ""}));

class DispatchTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        ::setenv("LUMO_PROFILE", tempPath("WIN.INI").c_str(), 1);
        previousBox_ = SetMessageBoxFunction([this](const char* caption, const char* text, MessageIcon) {
            boxes.push_back(std::string(caption) + "|" + text);
        });
    }
    void TearDown() override {
        SetMessageBoxFunction(previousBox_);
        ::unsetenv("LUMO_PROFILE");
        LumoTest::TearDown();
    }
    void setProfile(const char* key, const char* value) { ASSERT_TRUE(WriteProfileStringA("Lumo", key, value)); }

    std::vector<std::string> boxes;

private:
    MessageBoxFunction previousBox_;
};

TEST_F(DispatchTest, ExtensionsMatchWithoutRegardToCase) {
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 7, 5);
    const std::string path = tempPath("PHOTO.BmP");
    ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
    ImagePtr loaded = LoadImageByExtension(path.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(SamePixels(*image, *loaded));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DispatchTest, UnknownExtensionsShowAnErrorBoxAndDoNothing) {
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 4, 4);
    const std::string eps = tempPath("picture.eps");
    EXPECT_FALSE(SaveImageByExtension(image.get(), eps.c_str()));
    EXPECT_FALSE(std::filesystem::exists(eps));
    EXPECT_EQ(LoadImageByExtension(tempPath("notes").c_str()), nullptr);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Error|Unknown file extension eps for file " + eps);
    EXPECT_EQ(boxes[1], "Error|Unknown file extension  for file " + tempPath("notes"));
    EXPECT_TRUE(errors.empty());  // shown directly, not through the error hook
}

// The viewer lists a folder's pictures by this answer: it must agree with what the loader takes.
TEST_F(DispatchTest, HasLoaderForAnswersAsTheLoaderChooses) {
    for (const char* name : {"a.jpg", "/x/B.TIF", "c.gif", "d.bie", "e.Bmp", "f.img", "g.mok", "overview.pcd", "h.pcd", "i.fax"})
        EXPECT_TRUE(HasLoaderFor(name)) << name;
    // Written only (PostScript), not pictures at all, or no extension.
    for (const char* name : {"a.ps", "notes.txt", "archive.tar.gz", "README", "/dir.jpg/file", ".jpg.txt"})
        EXPECT_FALSE(HasLoaderFor(name)) << name;
    EXPECT_TRUE(boxes.empty());  // asking shows nothing
}

// Every format with a signature is read by it whatever the name; a name that says otherwise is
// overruled with a warning, and the formats without one (IMG, fax) still go by their extension.
TEST_F(DispatchTest, FilesWithASignatureLoadByItWhateverTheirName) {
    const ImagePtr gray = MakePatternImage(ImageKind::GRAY256, 21, 13);
    for (const char* extension : {"tif", "gif", "bmp", "bie", "mok", "jpg", "png", "webp"}) {
        const ImagePtr image = MakePatternImage(std::string(extension) == "bie" ? ImageKind::BW : ImageKind::GRAY256, 21, 13);
        const std::string saved = tempPath(std::string("picture.") + extension);
        ASSERT_TRUE(SaveImageByExtension(image.get(), saved.c_str())) << extension;
        for (const char* other : {"dat", "img", "fax"}) {
            const std::string renamed = tempPath(std::string("renamed.") + other);
            std::filesystem::copy_file(saved, renamed, std::filesystem::copy_options::overwrite_existing);
            warnings.clear();
            const ImagePtr loaded = LoadImageByExtension(renamed.c_str());
            ASSERT_TRUE(loaded) << extension << " as " << other;
            EXPECT_EQ(loaded->width, 21) << extension << " as " << other;
            EXPECT_EQ(loaded->height, 13) << extension << " as " << other;
            // An unknown extension claims nothing; a known one that disagrees is named with the format read.
            if (std::string(other) == "dat") {
                EXPECT_TRUE(warnings.empty()) << extension;
            } else {
                ASSERT_EQ(warnings.size(), 1u) << extension << " as " << other;
                EXPECT_EQ(warnings[0].text, renamed + " holds a " + extension + " file, not " + other +
                                                " as its extension says: loaded as " + extension);
            }
        }
    }
    const std::string img = tempPath("plain.img");
    ASSERT_TRUE(SaveImageByExtension(gray.get(), img.c_str()));
    warnings.clear();
    const ImagePtr loaded = LoadImageByExtension(img.c_str());
    EXPECT_TRUE(SamePixels(*gray, *loaded));
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(boxes.empty());
}

// Raw fax pages have no signature: their first codes must not pass for another format's header.
TEST_F(DispatchTest, RawFaxPagesStillGoByTheirExtension) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "no pbmtog3 to code a page";
    for (const char* options : {"", "-reversebits"}) {
        const std::string pbm = tempPath("page.pbm"), fax = tempPath("page.fax");
        const std::string header = "P4\n1728 60\n";
        std::vector<uint8_t> bytes(header.begin(), header.end());
        for (int y = 0; y < 60; ++y)  // white with two black bars
            for (int x = 0; x < 216; ++x) bytes.push_back((y / 10 == 1 && x > 12 && x < 50) || (y / 10 == 4 && x > 100) ? 0xFF : 0);
        WriteBytes(pbm, bytes);
        ASSERT_EQ(RunCommand("pbmtog3 " + std::string(options) + " " + pbm + " > " + fax).status, 0);
        warnings.clear();
        const ImagePtr page = LoadImageByExtension(fax.c_str());
        ASSERT_TRUE(page) << options;
        EXPECT_EQ(page->width, 1728);
        EXPECT_TRUE(warnings.empty()) << options << ": " << (warnings.empty() ? "" : warnings[0].text);
    }
}

TEST_F(DispatchTest, JpegAndTiffHaveTheirLongerSpellingsInAnyCase) {
    const ImagePtr image = MakePatternImage(ImageKind::RGB, 9, 6);
    for (const char* name : {"a.jpeg", "b.JPE", "c.tiff", "d.TIFF"}) {
        const std::string path = tempPath(name);
        ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str())) << name;
        EXPECT_TRUE(HasLoaderFor(path.c_str())) << name;
        EXPECT_TRUE(HasSaverFor(path.c_str())) << name;
        const ImagePtr loaded = LoadImageByExtension(path.c_str());
        ASSERT_TRUE(loaded) << name;
        EXPECT_EQ(loaded->width, 9) << name;
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(DispatchTest, CodecFailuresUnwindFromTheCodec) {
    const std::string missing = tempPath("missing.bmp");
    EXPECT_LUMO_ERROR(LoadImageByExtension(missing.c_str()), "LumoLoadBmp", "Can't open file " + missing + ": No such file or directory");
}

TEST_F(DispatchTest, CopiesTheCodecsKeysForTheDirectionItRuns) {
    const ImagePtr image = MakePatternImage(ImageKind::RGB, 64, 48);
    const std::string low = tempPath("low.jpg"), high = tempPath("high.jpg");
    setProfile("JpegQuality", "10");
    ASSERT_TRUE(SaveImageByExtension(image.get(), low.c_str()));
    EXPECT_EQ(LumoGetIntOptionJpeg("quality"), 10);
    setProfile("JpegQuality", "x");  // no number: the key's default, 75
    setProfile("JpegRatio", "2");
    ASSERT_TRUE(SaveImageByExtension(image.get(), high.c_str()));
    EXPECT_EQ(LumoGetIntOptionJpeg("quality"), 75);
    EXPECT_LT(ReadBytes(low).size(), ReadBytes(high).size());

    // Loading copies the load keys only: the ratio, not the quality.
    LumoSetIntOptionJpeg("quality", 33);
    const ImagePtr loaded = LoadImageByExtension(high.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width, 32);
    EXPECT_EQ(LumoGetIntOptionJpeg("quality"), 33);
}

TEST_F(DispatchTest, EveryLoadCopiesMaxPixelsIntoTheGlobalLimit) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 20, 10);
    for (const char* name : {"p.bmp", "p.gif", "p.img", "p.jpg", "p.png", "p.webp"}) {
        const std::string path = tempPath(name);
        ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
        setProfile("MaxPixels", "199");
        try {
            LoadImageByExtension(path.c_str());
            ADD_FAILURE() << name << " loaded past the limit";
        } catch (const LumoFailure& failure) {
            EXPECT_EQ(std::string(failure.text()),
                      "Image size 20 x 10 (200 pixels) exceeds the limit of 199 pixels (raise MaxPixels)")
                << name;
        }
        setProfile("MaxPixels", "200");
        EXPECT_TRUE(LoadImageByExtension(path.c_str())) << name;
        setProfile("MaxPixels", "0");  // no limit of its own
        EXPECT_TRUE(LoadImageByExtension(path.c_str())) << name;
        EXPECT_EQ(LumoGetIntOption("maxpixels"), 0);
    }
    setProfile("MaxPixels", "x");  // no number: the default
    ASSERT_TRUE(LoadImageByExtension(tempPath("p.bmp").c_str()));
    EXPECT_EQ(LumoGetIntOption("maxpixels"), 178956970);
}

struct TiffRuleCase {
    ImageKind kind;
    std::vector<std::pair<const char*, const char*>> profile;
    int compression;
    int optionsG3;
    int predictor;
};
void PrintTo(const TiffRuleCase& c, std::ostream* os) {
    *os << KindName(c.kind);
    for (const auto& [key, value] : c.profile) *os << " " << key << "=" << value;
}

class TiffRuleTest : public DispatchTest, public ::testing::WithParamInterface<TiffRuleCase> {};

TEST_P(TiffRuleTest, ProfileDecidesTheCompression) {
    const TiffRuleCase& c = GetParam();
    for (const auto& [key, value] : c.profile) setProfile(key, value);
    const TiffSaveSettings settings = DecideTiffCompression(*MakePatternImage(c.kind, 2, 2));
    EXPECT_EQ(settings.compression, c.compression);
    EXPECT_EQ(settings.optionsG3, c.optionsG3);
    EXPECT_EQ(settings.predictor, c.predictor);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, TiffRuleTest,
    ::testing::Values(
        TiffRuleCase{ImageKind::GRAY256, {}, 5, -1, 0},  // defaults: LZW, predictor "Never"
        TiffRuleCase{ImageKind::BW, {{"TiffBWCompression", "FAX3"}}, 3, 0, -1},
        TiffRuleCase{ImageKind::BW, {{"TiffBWCompression", "FAX32D"}}, 3, 1, -1},
        TiffRuleCase{ImageKind::BW, {{"TiffBWCompression", "FAX4"}}, 4, -1, -1},
        TiffRuleCase{ImageKind::BW, {{"TiffBWCompression", "fax4"}, {"TiffCompression", "Raw"}}, 1, -1, -1},
        TiffRuleCase{ImageKind::GRAY256, {{"TiffBWCompression", "FAX4"}}, 5, -1, 0},  // the BW key is for BW only
        TiffRuleCase{ImageKind::RGB, {{"TiffColorCompression", "JPEG"}}, 7, -1, -1},
        TiffRuleCase{ImageKind::COLOR256, {{"TiffColorCompression", "JPEG"}}, 5, -1, 0},
        TiffRuleCase{ImageKind::RGB, {{"TiffCompression", "lzw"}}, -1, -1, -1},  // values are case-sensitive
        TiffRuleCase{ImageKind::RGB, {{"TiffCompression", "Packbits"}}, 32773, -1, -1},
        TiffRuleCase{ImageKind::RGB, {{"TiffPredictor", "Always"}}, 5, -1, 1},
        TiffRuleCase{ImageKind::RGB, {{"TiffPredictor", "Smart"}}, 5, -1, 1},
        TiffRuleCase{ImageKind::GRAY256, {{"TiffPredictor", "Smart"}}, 5, -1, 1},
        TiffRuleCase{ImageKind::COLOR256, {{"TiffPredictor", "Smart"}}, 5, -1, 0},
        TiffRuleCase{ImageKind::GRAY16, {{"TiffPredictor", "Sometimes"}}, 5, -1, -1}));

TEST_F(DispatchTest, TheProfileIsReadAgainBeforeEveryCall) {
    const ImagePtr image = MakePatternImage(ImageKind::RGB, 2, 2);
    EXPECT_EQ(DecideTiffCompression(*image).compression, 5);
    setProfile("TiffCompression", "Raw");
    EXPECT_EQ(DecideTiffCompression(*image).compression, 1);
    SetProfileOverride("TiffCompression", "Packbits");
    EXPECT_EQ(DecideTiffCompression(*image).compression, 32773);
    ClearProfileOverrides();
}

// The compression tag and Software text of a saved TIFF, read back with libtiff.
std::pair<int, std::string> TiffCompressionAndSoftware(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return {-1, ""};
    uint16_t compression = 0;
    const char* software = "";
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_SOFTWARE, &software);
    std::pair<int, std::string> result{compression, software};
    TIFFClose(tiff);
    return result;
}

TEST_F(DispatchTest, TiffSavesFollowTheRuleAndNameTheProgram) {
    const std::string path = tempPath("rule.tif");
    setProfile("TiffBWCompression", "FAX4");
    setProfile("TiffCompression", "Packbits");
    ASSERT_TRUE(SaveImageByExtension(MakePatternImage(ImageKind::BW, 40, 30).get(), path.c_str()));
    EXPECT_EQ(TiffCompressionAndSoftware(path), std::make_pair(4, std::string("Lumo 1.2e")));
    ASSERT_TRUE(SaveImageByExtension(MakePatternImage(ImageKind::RGB, 40, 30).get(), path.c_str()));
    EXPECT_EQ(TiffCompressionAndSoftware(path).first, 32773);

    // A value the rule does not know leaves the compression undecided: the save is refused and an
    // existing file stays as it was.
    const std::vector<uint8_t> before = ReadBytes(path);
    setProfile("TiffCompression", "lzw");
    EXPECT_THROW(SaveImageByExtension(MakePatternImage(ImageKind::RGB, 4, 4).get(), path.c_str()), LumoFailure);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(DispatchTest, PostScriptSavesTakeTheirKeysFromTheProfile) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 8, 8);
    const std::string path = tempPath("page.PS");
    ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.substr(0, text.find('\n')), "%!PS-Adobe-3.0");  // "PSEps" defaults to 0
    setProfile("PSEps", "1");
    setProfile("PSLevel2", "1");
    ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
    bytes = ReadBytes(path);
    text.assign(bytes.begin(), bytes.end());
    EXPECT_EQ(text.substr(0, text.find('\n')), "%!PS-Adobe-3.0 EPSF-3.0");
    EXPECT_NE(text.find("/LZWDecode filter"), std::string::npos);
    EXPECT_EQ(LoadImageByExtension(path.c_str()), nullptr);  // nothing loads PostScript
}

}  // namespace
