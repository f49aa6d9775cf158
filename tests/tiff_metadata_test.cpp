#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_metadata.h"
#include "core/orientation.h"
#include "formats/bmp.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/exif_writer.h"
#include "formats/tiff/tiff.h"
#include "tests/support/lumo_test.h"

namespace {

const char kRgbProfile[] = "/usr/share/color/icc/ghostscript/a98.icc";
const char kGrayProfile[] = "/usr/share/color/icc/ghostscript/sgray.icc";

class TiffMetadataTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOption("keepmetadata", 1);
        LumoTest::TearDown();
    }
    bool haveTools() const { return HaveTool("exiftool") && !PillowPython().empty(); }

    // A 37 x 23 RGB photo as a camera's converter would leave it: the profile written by Pillow,
    // then the photo tags, Exif, GPS and XMP written by exiftool.
    std::string photo() {
        const std::string path = tempPath("photo.tif");
        const std::string script =
            "import sys\nfrom PIL import Image\nim = Image.new('RGB', (37, 23))\npx = im.load()\n"
            "for y in range(23):\n    for x in range(37): px[x, y] = (x * 7 % 256, y * 11 % 256, x * y % 256)\n"
            "im.save(sys.argv[1], icc_profile=open(sys.argv[2], 'rb').read())\n";
        EXPECT_EQ(RunCommand(PillowPython() + " -c " + ShellQuote(script) + " " + ShellQuote(path) + " " + kRgbProfile).status, 0);
        EXPECT_EQ(RunCommand("exiftool -q -overwrite_original -Make=Canon '-Model=EOS 5D' -Artist=Someone "
                             "'-Copyright=(c) Someone' '-ImageDescription=A canal' '-DateTimeOriginal=2024:05:06 07:08:09' "
                             "-ExposureTime=1/250 -FNumber=2.8 -ISO=200 -GPSLatitude=52.3702 -GPSLatitudeRef=N "
                             "-GPSLongitude=4.8952 -GPSLongitudeRef=E -GPSAltitude=12.5 -GPSAltitudeRef=0 "
                             "-XMP-dc:Title=Canal " + ShellQuote(path))
                      .status,
                  0);
        return path;
    }
    CommandResult lumo(const std::string& arguments) {
        return RunCommand("LUMO_PROFILE=" + ShellQuote(tempPath("WIN.INI")) + " " + ShellQuote(BuiltProgram("lumo")) +
                          " " + arguments + " 2>&1");
    }
};

// The fields exiftool reads, tab-separated, numbers as numbers.
const char kCheckedTags[] =
    "-Make -Model -Artist -Copyright -ImageDescription -DateTimeOriginal -ExposureTime -FNumber -ISO "
    "-GPSLatitude -GPSLongitude -GPSAltitude -XMP-dc:Title";

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    std::string last = line.substr(start);
    while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
    fields.push_back(last);
    return fields;
}

// Texts equal, numbers equal to 7 digits (libtiff writes Exif rationals through floats).
void ExpectSameFields(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> a = Fields(expected), b = Fields(actual);
    ASSERT_EQ(a.size(), b.size()) << expected << " / " << actual;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NE(a[i], "-") << "field " << i << " missing in the source";
        char* end = nullptr;
        const double x = std::strtod(a[i].c_str(), &end);
        if (end && *end == '\0' && !a[i].empty())
            EXPECT_NEAR(std::strtod(b[i].c_str(), nullptr), x, std::abs(x) * 1e-7) << "field " << i;
        else
            EXPECT_EQ(b[i], a[i]) << "field " << i;
    }
}

TEST_F(TiffMetadataTest, LoadKeepsProfileXmpAndExifExactly) {
    if (!haveTools()) GTEST_SKIP() << "needs exiftool and Pillow";
    const ImagePtr image = LumoLoadTiff(photo().c_str());
    const ImageMetadata* metadata = LumoGetMetadata(image.get());
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->icc, ReadBytes(kRgbProfile));
    EXPECT_NE(std::string(metadata->xmp.begin(), metadata->xmp.end()).find("Canal"), std::string::npos);
    const ExifBlock exif(metadata->exif);
    ASSERT_TRUE(exif.valid());
    EXPECT_FALSE(exif.damaged());
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagMake)), "Canon");
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagModel)), "EOS 5D");
    // The layout of the pixels is the file's business, not the Exif block's.
    EXPECT_FALSE(exif.find(ExifIfd::Main, kTagImageWidth));
    EXPECT_FALSE(exif.find(ExifIfd::Main, 0x0111 /* StripOffsets */));
    const ExifField* time = exif.find(ExifIfd::Exif, kTagExposureTime);
    ASSERT_TRUE(time);
    EXPECT_EQ(exif.u32(time->valueAt), 1u);  // the fraction as the file holds it
    EXPECT_EQ(exif.u32(time->valueAt + 4), 250u);
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Exif, kTagDateTimeOriginal)), "2024:05:06 07:08:09");
    const ExifField* latitude = exif.find(ExifIfd::Gps, kTagGpsLatitude);
    ASSERT_TRUE(latitude);
    EXPECT_NEAR(*exif.rational(*latitude, 0) + *exif.rational(*latitude, 1) / 60 + *exif.rational(*latitude, 2) / 3600,
                52.3702, 1e-6);

    LumoSetIntOption("keepmetadata", 0);  // the profile alone stays: it decides how the pixels look
    const ImagePtr bare = LumoLoadTiff(photo().c_str());
    ASSERT_TRUE(LumoGetMetadata(bare.get()));
    EXPECT_EQ(LumoGetMetadata(bare.get())->icc, ReadBytes(kRgbProfile));
    EXPECT_TRUE(LumoGetMetadata(bare.get())->exif.empty() && LumoGetMetadata(bare.get())->xmp.empty());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TiffMetadataTest, ConvertKeepsWhatExiftoolReadsAndReadersStillReadTheFile) {
    if (!haveTools()) GTEST_SKIP() << "needs exiftool and Pillow";
    const std::string source = photo(), target = tempPath("out.tif");
    for (const char* compression : {"Raw", "LZW", "JPEG"}) {
        SCOPED_TRACE(compression);
        const std::string set = std::string(compression) == "JPEG" ? "--set TiffColorCompression=JPEG"
                                                                   : std::string("--set TiffCompression=") + compression;
        const CommandResult run = lumo("convert " + set + " " + ShellQuote(source) + " -o " + ShellQuote(target));
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output, "");
        const std::string tags = std::string("exiftool -T -n ") + kCheckedTags + " ";
        ExpectSameFields(RunCommand(tags + ShellQuote(source)).output, RunCommand(tags + ShellQuote(target)).output);
        EXPECT_TRUE(RunCommand("exiftool -b -ICC_Profile " + ShellQuote(target) + " | cmp -s - " + kRgbProfile).status == 0)
            << "the profile's bytes changed";
        EXPECT_EQ(RunCommand("exiftool -T -ExifImageWidth -ExifImageHeight " + ShellQuote(target)).output, "37\t23\n");
        // The image directory is still the first and only one; libtiff, Pillow and ImageMagick read it.
        const CommandResult info = RunCommand("tiffinfo " + ShellQuote(target) + " 2>&1");
        EXPECT_EQ(info.status, 0);
        EXPECT_EQ(info.output.find("TIFF directory 1"), std::string::npos);
        EXPECT_EQ(info.output.find("arning"), std::string::npos) << info.output;
        EXPECT_EQ(RunCommand("identify -format '%w %h' " + ShellQuote(target)).output, "37 23");
        const std::string script =
            "import sys\nfrom PIL import Image\na = Image.open(sys.argv[1]); b = Image.open(sys.argv[2])\n"
            "print(a.size, sys.argv[3] == 'JPEG' or list(a.getdata()) == list(b.getdata()), "
            "a.getexif().get_ifd(0x8825)[1])\n";
        EXPECT_EQ(RunCommand(PillowPython() + " -c " + ShellQuote(script) + " " + ShellQuote(target) + " " +
                             ShellQuote(source) + " " + compression)
                      .output,
                  "(37, 23) True N\n");
    }
}

TEST_F(TiffMetadataTest, StripWritesNoneAndBmpDropsThemSilently) {
    if (!haveTools()) GTEST_SKIP() << "needs exiftool and Pillow";
    const std::string source = photo(), stripped = tempPath("stripped.tif"), bmp = tempPath("out.bmp");
    CommandResult run = lumo("convert --strip " + ShellQuote(source) + " -o " + ShellQuote(stripped));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(RunCommand("exiftool -T -Make -DateTimeOriginal -GPSLatitude -XMP-dc:Title -ICC_Profile " + ShellQuote(stripped)).output,
              "-\t-\t-\t-\t-\n");
    EXPECT_FALSE(LumoGetMetadata(LumoLoadTiff(stripped.c_str()).get()));

    run = lumo("convert " + ShellQuote(source) + " -o " + ShellQuote(bmp));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(RunCommand("identify -format '%w %h' " + ShellQuote(bmp)).output, "37 23");
}

// A TIFF made field by field: a 4 x 3 gray picture whose directory holds Make and Orientation and
// points at an Exif directory (ExposureTime) and a GPS directory (GPSLatitudeRef). The damage cases
// change one value.
enum class Damage { None, ExifPastEnd, ExifIsImageDirectory, GpsIsExif, HugeEntryCount, HugeValueCount, ValuePastEnd };

struct TinyTiff {
    bool bigEndian = false;
    int orientation = 1;
    Damage damage = Damage::None;
};

std::vector<uint8_t> MakeTinyTiff(const TinyTiff& spec) {
    std::vector<uint8_t> f(208, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        f[at + (spec.bigEndian ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
        f[at + (spec.bigEndian ? 1 : 0)] = static_cast<uint8_t>(v);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at + (spec.bigEndian ? 0 : 2), v >> 16);
        put16(at + (spec.bigEndian ? 2 : 0), v & 0xFFFF);
    };
    auto entry = [&](size_t at, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(at, tag);
        put16(at + 2, type);
        put32(at + 4, count);
        if (type == kExifShort && count == 1)
            put16(at + 8, value);  // left-justified
        else
            put32(at + 8, value);
    };
    std::memcpy(f.data(), spec.bigEndian ? "MM\0*" : "II*\0", 4);
    put32(4, 8);
    // Image directory at 8 (11 entries, ends at 146); Make's text at 146; Exif directory at 152 with
    // its rational at 170; GPS directory at 178; pixels at 196.
    const uint32_t exif = spec.damage == Damage::ExifPastEnd ? 100000 : spec.damage == Damage::ExifIsImageDirectory ? 8 : 152;
    put16(8, 11);
    size_t at = 10;
    entry(at, 256, kExifShort, 1, 4), at += 12;
    entry(at, 257, kExifShort, 1, 3), at += 12;
    entry(at, 258, kExifShort, 1, 8), at += 12;
    entry(at, 262, kExifShort, 1, 1), at += 12;
    entry(at, kTagMake, kExifAscii, 6, 146), at += 12;
    entry(at, 273, kExifLong, 1, 196), at += 12;
    entry(at, kTagOrientation, kExifShort, 1, static_cast<uint32_t>(spec.orientation)), at += 12;
    entry(at, 278, kExifShort, 1, 3), at += 12;
    entry(at, 279, kExifLong, 1, 12), at += 12;
    entry(at, kTagExifIfd, kExifLong, 1, exif), at += 12;
    entry(at, kTagGpsIfd, kExifLong, 1, spec.damage == Damage::GpsIsExif ? 152 : 178);
    std::memcpy(f.data() + 146, "Maker", 6);
    put16(152, spec.damage == Damage::HugeEntryCount ? 0xFFFF : 1);
    entry(154, kTagExposureTime, kExifRational, spec.damage == Damage::HugeValueCount ? 0x7FFFFFFF : 1,
          spec.damage == Damage::ValuePastEnd ? 0xFFFFFFF0 : 170);
    put32(170, 1);
    put32(174, 250);
    put16(178, 1);
    entry(180, kTagGpsLatitudeRef, kExifAscii, 2, 0);
    f[188] = 'N';
    for (int i = 0; i < 12; ++i) f[196 + i] = static_cast<uint8_t>(20 * i);
    return f;
}

struct DamageCase {
    Damage damage;
    const char* warning;  // empty: none
    bool exifKept;
    bool gpsKept;
};

class TiffMetadataDamage : public TiffMetadataTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(TiffMetadataDamage, GivesThePictureAndWhatCouldBeRead) {
    const DamageCase& c = GetParam();
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        warnings.clear();
        const std::string path = tempPath("tiny.tif");
        WriteBytes(path, MakeTinyTiff({bigEndian, 1, c.damage}));
        const ImagePtr image = LumoLoadTiff(path.c_str());
        ASSERT_EQ(image->width, 4);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(PixelAt(*image, i % 4, i / 4), 20u * i);
        if (*c.warning) {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_EQ(warnings[0].text, c.warning);
        } else {
            EXPECT_TRUE(warnings.empty());
        }
        const ImageMetadata* metadata = LumoGetMetadata(image.get());
        ASSERT_TRUE(metadata);
        const ExifBlock exif(metadata->exif);
        EXPECT_FALSE(exif.damaged());
        EXPECT_EQ(exif.bigEndian(), bigEndian);
        ASSERT_TRUE(exif.find(ExifIfd::Main, kTagMake));
        EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagMake)), "Maker");
        const ExifField* time = exif.find(ExifIfd::Exif, kTagExposureTime);
        EXPECT_EQ(time != nullptr, c.exifKept);
        if (time) {
            EXPECT_DOUBLE_EQ(*exif.rational(*time), 1.0 / 250);
        }
        EXPECT_EQ(exif.find(ExifIfd::Gps, kTagGpsLatitudeRef) != nullptr, c.gpsKept);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TiffMetadataDamage,
    ::testing::Values(DamageCase{Damage::None, "", true, true},
                      DamageCase{Damage::ExifPastEnd, "Damaged Exif directory left out", false, true},
                      DamageCase{Damage::ExifIsImageDirectory, "Damaged Exif directory left out", false, true},
                      DamageCase{Damage::GpsIsExif, "Damaged GPS directory left out", true, false},
                      DamageCase{Damage::HugeEntryCount, "Damaged Exif directory left out", false, true},
                      DamageCase{Damage::HugeValueCount, "Damaged Exif directory left out", false, true},
                      DamageCase{Damage::ValuePastEnd, "Damaged Exif directory left out", false, true}));

// Any byte of the Exif and GPS directories and their values changed: the picture, whole, every time.
TEST_F(TiffMetadataTest, ChangedExifBytesNeverCostThePicture) {
    const std::vector<uint8_t> good = MakeTinyTiff({});
    const std::string path = tempPath("changed.tif");
    for (size_t at = 152; at < 196; ++at) {
        for (const uint8_t value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(good[at] + 1)}) {
            std::vector<uint8_t> bytes = good;
            bytes[at] = value;
            WriteBytes(path, bytes);
            ImagePtr image;
            ASSERT_NO_THROW(image = LumoLoadTiff(path.c_str())) << "byte " << at;
            for (int i = 0; i < 12; ++i) ASSERT_EQ(PixelAt(*image, i % 4, i / 4), 20u * i) << "byte " << at;
            const ImageMetadata* metadata = LumoGetMetadata(image.get());
            ASSERT_TRUE(metadata);
            EXPECT_FALSE(ExifBlock(metadata->exif).damaged()) << "byte " << at;  // what is kept is sound
        }
    }
}

// A thousand entries all pointing at the same megabyte: the reading stops at a budget for all values
// together instead of allocating a gigabyte, and the directory is left out.
TEST_F(TiffMetadataTest, EntriesSharingOneHugeValueAreRefused) {
    std::vector<uint8_t> bytes = MakeTinyTiff({});
    const uint32_t value = static_cast<uint32_t>(bytes.size()), megabyte = 1 << 20;
    bytes.resize(bytes.size() + megabyte, 0x55);
    const uint32_t directory = static_cast<uint32_t>(bytes.size());
    auto put = [&](size_t at, uint32_t v, int size) {
        for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bytes.resize(bytes.size() + 2 + 1000 * 12 + 4, 0);
    put(directory, 1000, 2);
    for (uint32_t i = 0; i < 1000; ++i) {
        const size_t entry = directory + 2 + 12 * i;
        put(entry, 0x9000 + i, 2);
        put(entry + 2, kExifUndefined, 2);
        put(entry + 4, megabyte, 4);
        put(entry + 8, value, 4);
    }
    put(10 + 9 * 12 + 8, directory, 4);  // the image directory's Exif pointer
    const std::string path = tempPath("shared.tif");
    WriteBytes(path, bytes);
    const ImagePtr image = LumoLoadTiff(path.c_str());
    EXPECT_EQ(PixelAt(*image, 3, 2), 220u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "Damaged Exif directory left out");
    const ExifBlock exif(LumoGetMetadata(image.get())->exif);
    EXPECT_TRUE(exif.find(ExifIfd::Gps, kTagGpsLatitudeRef));
    EXPECT_FALSE(exif.find(ExifIfd::Exif, 0x9000));
}

// BigTIFF's wider entries and offsets read as well (tiffcp copies the photo tags of the main directory).
TEST_F(TiffMetadataTest, BigTiffKeepsItsPhotoTags) {
    if (!haveTools() || !HaveTool("tiffcp")) GTEST_SKIP() << "needs exiftool, Pillow and tiffcp";
    const std::string big = tempPath("big.tif");
    ASSERT_EQ(RunCommand("tiffcp -8 " + ShellQuote(photo()) + " " + ShellQuote(big)).status, 0);
    const ImagePtr image = LumoLoadTiff(big.c_str());
    const ImageMetadata* metadata = LumoGetMetadata(image.get());
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->icc, ReadBytes(kRgbProfile));
    const ExifBlock exif(metadata->exif);
    ASSERT_TRUE(exif.find(ExifIfd::Main, kTagModel));
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagModel)), "EOS 5D");  // 7 bytes: inline in a BigTIFF entry
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, 0x010E)), "A canal");
}

// The Exif block's Orientation is what the loaded pixels still need: 1 once the load turned the
// picture upright, the file's value when AutoRotate is off and the pixels stay as stored (a
// bottom-left file is read from the bottom either way).
TEST_F(TiffMetadataTest, KeptOrientationDescribesTheLoadedPixels) {
    const std::string path = tempPath("tiny.tif");
    WriteBytes(path, MakeTinyTiff({false, 4, Damage::None}));
    for (const int autoRotate : {1, 0}) {
        LumoSetIntOptionTiff("autorotate", autoRotate);
        ImagePtr image = LumoLoadTiff(path.c_str());
        EXPECT_EQ(PixelAt(*image, 0, 0), 160u);  // the bottom row on top
        EXPECT_EQ(ExifOrientationOf(LumoGetMetadata(image.get())->exif), 1);
    }
    WriteBytes(path, MakeTinyTiff({false, 6, Damage::None}));
    ImagePtr image = LumoLoadTiff(path.c_str());
    EXPECT_EQ(PixelAt(*image, 0, 0), 0u);
    EXPECT_EQ(ExifOrientationOf(LumoGetMetadata(image.get())->exif), 6);
    LumoSetIntOptionTiff("autorotate", 1);
    image = LumoLoadTiff(path.c_str());
    EXPECT_EQ(ExifOrientationOf(LumoGetMetadata(image.get())->exif), 1);
    EXPECT_EQ(image->width, 3);  // the 4 x 3 picture turned a quarter
}

// For every Orientation value, and both the strip reader (RGB) and libtiff's RGBA reader (RGB with
// alpha): the loaded pixels turned by the kept Orientation are the picture Pillow shows upright.
TEST_F(TiffMetadataTest, LoadedPixelsAndKeptOrientationGiveTheUprightPicture) {
    if (!haveTools()) GTEST_SKIP() << "needs exiftool and Pillow";
    const std::string script =
        "import sys\nfrom PIL import Image, ImageOps\n"
        "for mode in ('RGB', 'RGBA'):\n"
        "    im = Image.new(mode, (5, 3))\n"
        "    for y in range(3):\n"
        "        for x in range(5): im.putpixel((x, y), (40 * x, 80 * y, 10 + x + 5 * y, 255)[:len(mode)])\n"
        "    im.save(sys.argv[1] + '/' + mode + '.tif')\n";
    const std::string dir = tempDir().string();
    ASSERT_EQ(RunCommand(PillowPython() + " -c " + ShellQuote(script) + " " + ShellQuote(dir)).status, 0);
    // Pillow's TIFF reader turns the picture by its Orientation as it loads it.
    const std::string upright = "import sys\nfrom PIL import Image\nImage.open(sys.argv[1]).convert('RGB').save(sys.argv[2])\n";
    for (const char* mode : {"RGB", "RGBA"}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(mode) + " orientation " + std::to_string(orientation));
            const std::string tiff = dir + "/turned.tif", bmp = dir + "/upright.bmp";
            std::filesystem::remove(tiff);
            ASSERT_EQ(RunCommand("exiftool -q -Orientation#=" + std::to_string(orientation) + " -Make=M -o " + ShellQuote(tiff) +
                                 " " + ShellQuote(dir + "/" + mode + ".tif"))
                          .status,
                      0);
            ASSERT_EQ(RunCommand(PillowPython() + " -c " + ShellQuote(upright) + " " + ShellQuote(tiff) + " " + ShellQuote(bmp)).status, 0);
            const ImagePtr loaded = LumoLoadTiff(tiff.c_str());
            const ImageMetadata* metadata = LumoGetMetadata(loaded.get());
            ASSERT_TRUE(metadata);
            const ImagePtr turned = LumoOrientImage(loaded.get(), static_cast<Orientation>(ExifOrientationOf(metadata->exif)));
            EXPECT_TRUE(SamePixels(*LumoLoadBmp(bmp.c_str()), *turned));
        }
    }
}

// Saving writes the profile only beside pixels it describes, and the Exif fields a block carries
// even when the block was built rather than read.
TEST_F(TiffMetadataTest, SaveWritesProfileOnlyBesidePixelsOfItsColourSpace) {
    ExifWriter writer(true);  // a big-endian block from a camera, saved little-endian
    writer.addText(ExifIfd::Main, kTagModel, "Built");
    writer.addShort(ExifIfd::Main, kTagOrientation, 3);
    const uint32_t fnumber[] = {28, 10};
    writer.addRationals(ExifIfd::Exif, kTagFNumber, fnumber);
    writer.addLong(ExifIfd::Exif, kTagPixelXDimension, 9999);
    writer.addText(ExifIfd::Exif, 0xEEEE, "unknown to libtiff");  // left out
    struct Case {
        ImageKind kind;
        const char* profile;
        bool written;
    };
    for (const Case& c : {Case{ImageKind::RGB, kRgbProfile, true}, Case{ImageKind::COLOR256, kRgbProfile, true},
                          Case{ImageKind::GRAY256, kRgbProfile, false}, Case{ImageKind::GRAY256, kGrayProfile, true},
                          Case{ImageKind::BW, kGrayProfile, true}, Case{ImageKind::RGB, kGrayProfile, false}}) {
        SCOPED_TRACE(std::string(KindName(c.kind)) + " with " + c.profile);
        const ImagePtr image = MakePatternImage(c.kind, 13, 9);
        LumoSetMetadata(image.get(), {writer.finish(), {'<', 'x', '/', '>'}, ReadBytes(c.profile), ""});
        const std::string path = tempPath("saved.tif");
        LumoSaveTiff(image.get(), path.c_str());
        LumoSetIntOptionTiff("autorotate", 0);  // the pixels as saved, with the tag that would turn them
        const ImagePtr loaded = LumoLoadTiff(path.c_str());
        LumoSetIntOptionTiff("autorotate", 1);
        EXPECT_TRUE(SamePixels(*image, *loaded));
        const ImageMetadata* metadata = LumoGetMetadata(loaded.get());
        ASSERT_TRUE(metadata);
        EXPECT_EQ(metadata->icc, c.written ? ReadBytes(c.profile) : std::vector<uint8_t>());
        EXPECT_EQ(metadata->xmp, (std::vector<uint8_t>{'<', 'x', '/', '>'}));
        const ExifBlock exif(metadata->exif);
        EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagModel)), "Built");
        EXPECT_EQ(ExifOrientationOf(metadata->exif), 3);
        ASSERT_TRUE(exif.find(ExifIfd::Exif, kTagFNumber));
        EXPECT_NEAR(*exif.rational(*exif.find(ExifIfd::Exif, kTagFNumber)), 2.8, 1e-6);
        EXPECT_EQ(exif.integer(*exif.find(ExifIfd::Exif, kTagPixelXDimension)), 13);
        EXPECT_EQ(exif.integer(*exif.find(ExifIfd::Exif, kTagPixelYDimension)), 9);
        EXPECT_FALSE(exif.find(ExifIfd::Exif, 0xEEEE));
    }
    // Loading it back, our strip reader leaves a file's half turn to the viewer, and says so.
    for (const Report& warning : warnings)
        if (warning.text != "Can't handle this orientation: 3") ADD_FAILURE() << warning.module << ": " << warning.text;
}

TEST_F(TiffMetadataTest, GarbageExifBlockStillSavesAValidFile) {
    const ImagePtr image = MakePatternImage(ImageKind::RGB, 5, 4);
    std::vector<uint8_t> garbage = {'I', 'I', '*', 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 2, 3};
    LumoSetMetadata(image.get(), {garbage, {}, {1, 2, 3}, ""});  // a profile too short to be one
    const std::string path = tempPath("saved.tif");
    LumoSaveTiff(image.get(), path.c_str());
    const ImagePtr loaded = LumoLoadTiff(path.c_str());
    EXPECT_TRUE(SamePixels(*image, *loaded));
    EXPECT_FALSE(LumoGetMetadata(loaded.get()));
}

// Whatever a kept block holds (here a sound one with each byte in turn changed), the saver writes
// a file that loads with the same pixels.
TEST_F(TiffMetadataTest, ChangedBlockBytesStillSaveAValidFile) {
    ExifWriter writer;
    writer.addText(ExifIfd::Main, kTagMake, "Maker");
    writer.addShort(ExifIfd::Main, kTagOrientation, 1);
    const uint32_t time[] = {1, 250}, latitude[] = {52, 1, 22, 1, 1272, 100};
    writer.addRationals(ExifIfd::Exif, kTagExposureTime, time);
    writer.addShort(ExifIfd::Exif, kTagIsoSpeed, 200);
    const uint8_t version[] = {'0', '2', '3', '2'};
    writer.add(ExifIfd::Exif, 0x9000 /* ExifVersion */, kExifUndefined, 4, version);
    writer.addRationals(ExifIfd::Gps, kTagGpsLatitude, latitude);
    const std::vector<uint8_t> good = writer.finish();
    const ImagePtr image = MakePatternImage(ImageKind::RGB, 6, 5);
    const std::string path = tempPath("saved.tif");
    for (size_t at = 0; at < good.size(); ++at) {
        for (const uint8_t value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(good[at] ^ 1)}) {
            std::vector<uint8_t> block = good;
            block[at] = value;
            LumoSetMetadata(image.get(), {block, {}, {}, ""});
            ASSERT_NO_THROW(LumoSaveTiff(image.get(), path.c_str())) << "byte " << at;
            ImagePtr loaded;
            ASSERT_NO_THROW(loaded = LumoLoadTiff(path.c_str())) << "byte " << at;
            ASSERT_TRUE(SamePixels(*image, *loaded)) << "byte " << at;
        }
    }
}

}  // namespace
