// What photos carry beside their pixels (Exif, XMP, ICC profile, comment), kept through loads and
// saves: the real lumo program checked with exiftool and Pillow on photos Pillow made, and the codecs
// in the process for what the program's output cannot show (warnings, damaged and oversized blocks).
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/image_metadata.h"
#include "formats/jpeg/jpeg.h"
#include "formats/metadata/exif_block.h"
#include "formats/png/png.h"
#include "jobs/thumbnail.h"
#include "tests/support/lumo_test.h"
#include "tests/support/png_builder.h"

namespace {

const std::string kIccFolder = "/usr/share/color/icc/ghostscript/";
const std::string kRgbProfile = kIccFolder + "a98.icc";
const std::string kGrayProfile = kIccFolder + "sgray.icc";
// The fields a photographer looks for, as exiftool reads them (numbers as numbers).
const std::string kPhotoFields = "-Make -Model -DateTimeOriginal -GPSLatitude -GPSLongitude -XMP-dc:Creator -Comment";

class MetadataTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        if (PillowPython().empty() || !HaveTool("exiftool")) GTEST_SKIP() << "Pillow or exiftool missing";
        if (!std::filesystem::exists(kRgbProfile) || !std::filesystem::exists(kGrayProfile))
            GTEST_SKIP() << "Ghostscript's ICC profiles missing";
        profile_ = tempPath("WIN.INI");
        WriteBytes(profile_, {});
    }
    void TearDown() override {
        LumoSetIntOption("keepmetadata", 1);
        LumoSetStringOptionJpeg("comment", "Created by Lumo");
        LumoTest::TearDown();
    }

    // A JPEG made by Pillow carrying everything (tests/support/photo_with_metadata.py, with arguments).
    std::string photo(const std::string& name, const std::string& arguments = "") {
        const std::string path = tempPath(name);
        const CommandResult made = RunCommand(PillowPython() + " " +
                                              ShellQuote(std::string(LUMO_SOURCE_DIR) + "/tests/support/photo_with_metadata.py") +
                                              " " + ShellQuote(path) + " --xmp --comment Holiday " + arguments + " 2>&1");
        EXPECT_EQ(made.status, 0) << made.output;
        return path;
    }
    std::string rgbPhoto(const std::string& name, const std::string& arguments = "") {
        return photo(name, "--icc " + ShellQuote(kRgbProfile) + " " + arguments);
    }
    CommandResult lumo(const std::string& arguments) {
        return RunCommand("LUMO_PROFILE=" + ShellQuote(profile_) + " " + ShellQuote(BuiltProgram("lumo")) + " " +
                          arguments + " 2>&1");
    }
    // Converts input to output with the extra arguments; the conversion must succeed.
    std::string convert(const std::string& input, const std::string& output, const std::string& arguments = "") {
        const std::string path = tempPath(output);
        const CommandResult result = lumo("convert " + arguments + " " + ShellQuote(input) + " -o " + ShellQuote(path));
        EXPECT_EQ(result.status, 0) << result.output;
        return path;
    }
    // exiftool's JSON of the tags, without the line that names the file.
    static std::string fields(const std::string& path, const std::string& tags) {
        return RunCommand("exiftool -j -n -sort " + tags + " " + ShellQuote(path) + " | grep -v SourceFile").output;
    }
    static std::vector<uint8_t> embeddedProfile(const std::string& path) {
        const std::string out = path + ".icc";
        RunCommand("exiftool -b -ICC_Profile " + ShellQuote(path) + " > " + ShellQuote(out));
        return ReadBytes(out);
    }

    std::string profile_;
};

// The formats that hold metadata. TIFF has no comment, and its own directory is Exif to exiftool.
class MetadataFormatTest : public MetadataTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(MetadataFormatTest, ConversionKeepsWhatThePhotoCarriesAndStripLeavesNone) {
    const std::string input = rgbPhoto("in.jpg");
    const std::string expected = fields(input, kPhotoFields);
    ASSERT_NE(expected.find("Acme Optics"), std::string::npos) << expected;
    ASSERT_NE(expected.find("Ann Example"), std::string::npos) << expected;
    ASSERT_NE(expected.find("52.52"), std::string::npos) << expected;  // 52 deg 31' 12.5"

    const bool tiff = GetParam() == "tif";
    const std::string kept = convert(input, "kept." + GetParam());
    EXPECT_EQ(fields(kept, kPhotoFields), tiff ? fields(input, kPhotoFields + " --Comment") : expected);
    EXPECT_EQ(embeddedProfile(kept), ReadBytes(kRgbProfile));

    const std::string exifTags = tiff ? " -ExifIFD:all -GPS:all" : " -Exif:all";
    for (const std::string off : {"--strip", "--set KeepMetadata=0"}) {
        const std::string stripped = convert(input, "stripped." + GetParam(), off);
        EXPECT_EQ(fields(stripped, kPhotoFields + exifTags + " -XMP:all -ICC_Profile:all"), "[{\n}]\n") << off;
    }
}

TEST_P(MetadataFormatTest, TurnedPhotoIsSavedUprightWithOrientationOne) {
    const std::string input = rgbPhoto("turned.jpg", "--size 40x24 --orientation 6");
    // Decoded as Pillow decodes (libjpeg's accurate IDCT and smooth upsampling).
    const std::string output = convert(input, "upright." + GetParam(), "--set JpegFast=0");
    EXPECT_EQ(fields(output, "-Orientation -ExifImageWidth -ExifImageHeight -Make"),
              "[{\n  \"ExifImageHeight\": 40,\n  \"ExifImageWidth\": 24,\n  \"Make\": \"Acme Optics\",\n"
              "  \"Orientation\": 1\n}]\n");
    // Pillow turns the input by its tag; the saved pixels must be the same, except that JPEG output
    // is compressed once more (this busy pattern then differs by about 5 levels on average; a
    // picture turned the wrong way differs by over 100).
    const CommandResult compared = RunCommand(
        PillowPython() + " -c 'import sys\nfrom PIL import Image, ImageOps\n"
                         "a = ImageOps.exif_transpose(Image.open(sys.argv[1])).convert(\"RGB\")\n"
                         "b = Image.open(sys.argv[2]).convert(\"RGB\")\n"
                         "d = [abs(x - y) for p, q in zip(a.getdata(), b.getdata()) for x, y in zip(p, q)]\n"
                         "print(b.size, sum(d) / len(d))' " +
        ShellQuote(input) + " " + ShellQuote(output));
    const double allowance = GetParam() == "jpg" ? 10 : 0;
    double meanDifference = -1;
    ASSERT_EQ(std::sscanf(compared.output.c_str(), "(24, 40) %lf", &meanDifference), 1) << compared.output;
    EXPECT_LE(meanDifference, allowance);
}

TEST_P(MetadataFormatTest, RescaleUpdatesTheExifPixelSize) {
    const std::string input = rgbPhoto("big.jpg", "--size 64x48");
    EXPECT_EQ(fields(convert(input, "half." + GetParam(), "--resize 50%"), "-ExifImageWidth -ExifImageHeight -Model"),
              "[{\n  \"ExifImageHeight\": 24,\n  \"ExifImageWidth\": 32,\n  \"Model\": \"Snapper 5\"\n}]\n");
}

// A profile goes only beside pixels of its colour space: gray files take gray profiles, colour
// and palette files RGB ones; the other fields stay.
TEST_P(MetadataFormatTest, ProfileIsKeptOnlyBesidePixelsItDescribes) {
    const std::string rgb = rgbPhoto("rgb.jpg");
    const std::string gray = photo("gray.jpg", "--gray --icc " + ShellQuote(kGrayProfile));
    struct Case {
        std::string input, kind;
        std::vector<uint8_t> profile;
    };
    const Case cases[] = {
        {rgb, "gray256", {}},
        {rgb, "color256", ReadBytes(kRgbProfile)},
        {gray, "gray256", ReadBytes(kGrayProfile)},
        {gray, "rgb", {}},
    };
    for (const Case& c : cases) {
        const std::string output = convert(c.input, "to_" + c.kind + "." + GetParam(), "--to " + c.kind);
        EXPECT_EQ(embeddedProfile(output), c.profile) << c.input << " to " << c.kind;
        EXPECT_EQ(fields(output, "-Make"), "[{\n  \"Make\": \"Acme Optics\"\n}]\n") << c.input << " to " << c.kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataFormatTest, ::testing::Values("jpg", "png", "tif"),
                         [](const auto& info) { return info.param; });

TEST_F(MetadataTest, FormatsWithoutMetadataConvertAndDropIt) {
    const std::string input = rgbPhoto("in.jpg");
    for (const std::string extension : {"bmp", "gif", "img", "mok", "bie", "ps"}) {
        const std::string output = convert(input, "out." + extension);
        EXPECT_GT(ReadBytes(output).size(), 0u) << extension;
        if (extension == "bmp" || extension == "gif") {
            EXPECT_EQ(fields(output, kPhotoFields + " -ICC_Profile:all"), "[{\n}]\n") << extension;
        }
    }
}

// The picture's own comment wins over the program's "Created by Lumo"; without one, the program's
// text is written; --strip writes no comment at all.
TEST_F(MetadataTest, JpegCommentIsThePhotosOwnElseTheProgramsAndNoneWhenStripped) {
    const std::string withComment = rgbPhoto("with.jpg");
    const std::string withoutComment = tempPath("without.jpg");
    ASSERT_EQ(lumo("convert --strip " + ShellQuote(withComment) + " -o " + ShellQuote(tempPath("plain.bmp"))).status, 0);
    ASSERT_EQ(lumo("convert " + ShellQuote(tempPath("plain.bmp")) + " -o " + ShellQuote(withoutComment)).status, 0);
    EXPECT_EQ(fields(convert(withComment, "a.jpg"), "-Comment"), "[{\n  \"Comment\": \"Holiday\"\n}]\n");
    EXPECT_EQ(fields(withoutComment, "-Comment"), "[{\n  \"Comment\": \"Created by Lumo\"\n}]\n");
    EXPECT_EQ(fields(convert(withComment, "b.jpg", "--strip"), "-Comment"), "[{\n}]\n");
}

// In the process: the blocks themselves, byte for byte, and what only the hooks can tell.
class MetadataCodecTest : public MetadataTest {
protected:
    ImageMetadata loaded(const std::string& path, ImagePtr (*load)(const char*)) {
        const ImagePtr image = load(path.c_str());
        const ImageMetadata* metadata = LumoGetMetadata(image.get());
        return metadata ? *metadata : ImageMetadata{};
    }
    // The ordered warning texts received so far.
    static std::vector<std::string> warningTexts() {
        std::vector<std::string> texts;
        for (const Report& report : warnings) texts.push_back(report.text);
        return texts;
    }
};

TEST_F(MetadataCodecTest, JpegAndPngSaveTheBlocksByteForByte) {
    const ImageMetadata original = loaded(rgbPhoto("in.jpg", "--thumbnail"), LumoLoadJpeg);
    ASSERT_TRUE(ExifBlock(original.exif).valid());
    ASSERT_EQ(original.icc, ReadBytes(kRgbProfile));
    ASSERT_NE(std::string(original.xmp.begin(), original.xmp.end()).find("Ann Example"), std::string::npos);
    ASSERT_EQ(original.comment, "Holiday");

    const ImagePtr image = LumoLoadJpeg(tempPath("in.jpg").c_str());
    struct Codec {
        const char* name;
        void (*save)(const IMG*, const char*);
        ImagePtr (*load)(const char*);
    };
    for (const auto& [name, save, load] : {Codec{"out.jpg", LumoSaveJpeg, LumoLoadJpeg}, Codec{"out.png", LumoSavePng, LumoLoadPng}}) {
        save(image.get(), tempPath(name).c_str());
        const ImageMetadata back = loaded(tempPath(name), load);
        EXPECT_EQ(back.exif, original.exif) << name;  // same size: the pixel-size edit changes nothing
        EXPECT_EQ(back.icc, original.icc) << name;
        EXPECT_EQ(back.xmp, original.xmp) << name;
        EXPECT_EQ(back.comment, original.comment) << name;
    }
    // Without metadata kept a load keeps the profile alone: it still decides how the pixels look.
    LumoSetIntOption("keepmetadata", 0);
    for (const auto& [name, save, load] : {Codec{"in.jpg", LumoSaveJpeg, LumoLoadJpeg}, Codec{"out.png", LumoSavePng, LumoLoadPng}}) {
        const ImagePtr bare = load(tempPath(name).c_str());
        ASSERT_NE(LumoGetMetadata(bare.get()), nullptr) << name;
        EXPECT_EQ(LumoGetMetadata(bare.get())->icc, original.icc) << name;
        EXPECT_TRUE(LumoGetMetadata(bare.get())->exif.empty() && LumoGetMetadata(bare.get())->xmp.empty() &&
                    LumoGetMetadata(bare.get())->comment.empty()) << name;
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(MetadataCodecTest, ContactSheetThumbnailsCarryNone) {
    const std::string input = rgbPhoto("in.jpg", "--size 200x150");
    const ImagePtr thumbnail = LoadThumbnail(input.c_str(), {40, 30});
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(LumoGetMetadata(thumbnail.get()), nullptr);
    EXPECT_NE(LumoGetMetadata(LumoLoadJpeg(input.c_str()).get()), nullptr);  // the same file, loaded in full
}

// Marker segments spliced into a valid JPEG right after its SOI marker.
std::vector<uint8_t> WithMarkers(std::vector<uint8_t> jpeg, const std::vector<std::vector<uint8_t>>& segments) {
    std::vector<uint8_t> inserted;
    for (const std::vector<uint8_t>& segment : segments) inserted.insert(inserted.end(), segment.begin(), segment.end());
    jpeg.insert(jpeg.begin() + 2, inserted.begin(), inserted.end());
    return jpeg;
}

std::vector<uint8_t> Segment(int marker, const std::string& signature, const std::vector<uint8_t>& data) {
    const size_t length = 2 + signature.size() + data.size();
    std::vector<uint8_t> segment;
    segment.reserve(2 + length);
    for (const int byte : {0xFF, marker, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)})
        segment.push_back(static_cast<uint8_t>(byte));
    segment.insert(segment.end(), signature.begin(), signature.end());
    segment.insert(segment.end(), data.begin(), data.end());
    return segment;
}

// One APP2 chunk of an ICC profile: sequence number and chunk count, then the bytes.
std::vector<uint8_t> IccChunk(int sequence, int count, std::vector<uint8_t> bytes) {
    bytes.insert(bytes.begin(), {static_cast<uint8_t>(sequence), static_cast<uint8_t>(count)});
    return Segment(0xE2, std::string("ICC_PROFILE\0", 12), bytes);
}

// Damaged blocks cost the block (with a warning where something is left out), never the picture.
// A damaged Exif block that still is one is the user's data and stays as it was.
TEST_F(MetadataCodecTest, DamagedJpegBlocksLeaveThePicture) {
    const std::string base = tempPath("plain.jpg");
    LumoSetStringOptionJpeg("comment", nullptr);
    LumoSaveJpeg(MakePatternImage(ImageKind::RGB, 16, 8).get(), base.c_str());
    const std::vector<uint8_t> jpeg = ReadBytes(base);
    const std::vector<uint8_t> profile = ReadBytes(kRgbProfile);
    const std::vector<uint8_t> firstHalf(profile.begin(), profile.begin() + 300), secondHalf(profile.begin() + 300, profile.end());
    // A big-endian TIFF header whose main directory lies far outside the block.
    const std::vector<uint8_t> lyingExif = {'M', 'M', 0, 42, 0x7F, 0, 0, 0, 1, 2, 3, 4};

    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> segments;
        std::vector<uint8_t> exif, icc;
        std::vector<std::string> warnings;
    };
    const std::string file = tempPath("case.jpg");
    const Case cases[] = {
        {"lying exif", {Segment(0xE1, std::string("Exif\0\0", 6), lyingExif)}, lyingExif, {}, {}},
        {"not exif", {Segment(0xE1, std::string("Exif\0\0", 6), {'X', 'X', 1, 2, 3, 4, 5, 6})}, {}, {},
         {"Exif marker without an Exif block left out: " + file}},
        {"whole profile in two chunks", {IccChunk(1, 2, firstHalf), IccChunk(2, 2, secondHalf)}, {}, profile, {}},
        {"second chunk missing", {IccChunk(1, 2, firstHalf)}, {}, {}, {"Corrupt JPEG data: bad ICC marker: " + file}},
        {"chunk counts differ", {IccChunk(1, 2, firstHalf), IccChunk(2, 3, secondHalf)}, {}, {},
         {"Corrupt JPEG data: bad ICC marker: " + file}},
        {"sequence number 0", {IccChunk(0, 1, profile)}, {}, {}, {"Corrupt JPEG data: bad ICC marker: " + file}},
        {"profile cut short", {IccChunk(1, 1, firstHalf)}, {}, {}, {"Damaged ICC profile left out: " + file}},
    };
    for (const Case& c : cases) {
        warnings.clear();
        WriteBytes(file, WithMarkers(jpeg, c.segments));
        const ImagePtr image = LumoLoadJpeg(file.c_str());
        EXPECT_EQ(image->width, 16) << c.name;
        const ImageMetadata* metadata = LumoGetMetadata(image.get());
        EXPECT_EQ(metadata ? metadata->exif : std::vector<uint8_t>{}, c.exif) << c.name;
        EXPECT_EQ(metadata ? metadata->icc : std::vector<uint8_t>{}, c.icc) << c.name;
        EXPECT_EQ(warningTexts(), c.warnings) << c.name;
    }
}

// Blocks larger than one marker holds are left out of a JPEG with a warning (PNG chunks hold them).
TEST_F(MetadataCodecTest, OversizedBlocksAreLeftOutOfJpegWithAWarning) {
    const std::string input = rgbPhoto("in.jpg");
    ImagePtr image = LumoLoadJpeg(input.c_str());
    ImageMetadata metadata = *LumoGetMetadata(image.get());
    metadata.exif.resize(65528, 0);  // one byte more than fits after "Exif\0\0"
    metadata.xmp.resize(65503, ' ');
    const ImageMetadata big = metadata;
    LumoSetMetadata(image.get(), std::move(metadata));
    LumoSaveJpeg(image.get(), tempPath("out.jpg").c_str());
    EXPECT_EQ(warningTexts(), (std::vector<std::string>{
                                  "Exif block of 65528 bytes too large for a JPEG marker: left out",
                                  "XMP packet of 65503 bytes too large for a JPEG marker: left out"}));
    const ImageMetadata jpeg = loaded(tempPath("out.jpg"), LumoLoadJpeg);
    EXPECT_TRUE(jpeg.exif.empty());
    EXPECT_TRUE(jpeg.xmp.empty());
    EXPECT_EQ(jpeg.icc, big.icc);
    LumoSavePng(image.get(), tempPath("out.png").c_str());
    const ImageMetadata png = loaded(tempPath("out.png"), LumoLoadPng);
    EXPECT_EQ(png.exif, big.exif);
    EXPECT_EQ(png.xmp, big.xmp);
}

// PNG: libspng drops malformed chunks itself; a profile that inflates past the chunk limit loads the
// picture again without metadata, with a warning, instead of failing.
TEST_F(MetadataCodecTest, DamagedPngChunksLeaveThePicture) {
    using namespace png_builder;
    const std::vector<uint8_t> profile = ReadBytes(kRgbProfile);
    const auto iccp = [](const std::vector<uint8_t>& compressed) {
        std::vector<uint8_t> data = {'p', 0, 0};  // name, NUL, compression method 0
        data.insert(data.end(), compressed.begin(), compressed.end());
        return Chunk("iCCP", data);
    };
    const auto comment = [](const std::string& text) {
        std::vector<uint8_t> data = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
        data.insert(data.end(), text.begin(), text.end());
        return Chunk("tEXt", data);
    };
    std::vector<uint8_t> raw(1 + 3 * 4, 0x40);  // one row of 4 RGB pixels
    raw[0] = 0;                                  // after filter type 0 (none)
    const std::vector<uint8_t> idat = Chunk("IDAT", StoredZlib(raw));
    std::vector<uint8_t> cutZlib = StoredZlib(profile);
    cutZlib.resize(cutZlib.size() / 2);
    const std::vector<uint8_t> huge(size_t{3} << 20, 0);  // inflates past libspng's 1 MiB allowance
    const std::vector<uint8_t> shortProfile(profile.begin(), profile.begin() + 200);

    const std::string file = tempPath("case.png");
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> chunks;
        std::vector<uint8_t> icc;
        std::string comment;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {"whole profile", {iccp(StoredZlib(profile)), comment("kept")}, profile, "kept", {}},
        {"inflate data cut short", {iccp(cutZlib), comment("kept")}, {}, "kept", {}},
        {"profile cut short", {iccp(StoredZlib(shortProfile))}, {}, "", {"Damaged ICC profile left out: " + file}},
        {"profile past the limit", {iccp(StoredZlib(huge)), comment("dropped")}, {}, "",
         {"Metadata over 1048576 bytes left out: " + file}},
    };
    for (const Case& c : cases) {
        warnings.clear();
        std::vector<std::vector<uint8_t>> chunks = c.chunks;
        chunks.push_back(idat);
        WriteBytes(file, File(Ihdr(4, 1, 8, 2), chunks));
        const ImagePtr image = LumoLoadPng(file.c_str());
        EXPECT_EQ(PixelAt(*image, 3, 0), 0x404040u) << c.name;
        const ImageMetadata* metadata = LumoGetMetadata(image.get());
        EXPECT_EQ(metadata ? metadata->icc : std::vector<uint8_t>{}, c.icc) << c.name;
        EXPECT_EQ(metadata ? metadata->comment : std::string{}, c.comment) << c.name;
        EXPECT_EQ(warningTexts(), c.warnings) << c.name;
    }
}

}  // namespace
