// The photographer's summary of an Exif block, and the ICC profile's description: blocks built here
// in both byte orders, blocks written by Pillow and exiftool, and damaged blocks.
#include "formats/metadata/exif_summary.h"

#include <gtest/gtest.h>

#include "formats/colour/colour_profile.h"
#include "tests/support/exif_builder.h"
#include "tests/support/icc_profiles.h"
#include "tests/support/lumo_test.h"

namespace {

class ExifSummaryByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(ExifSummaryByteOrder, CameraBlockGivesEveryField) {
    const std::vector<uint8_t> block = CameraExif(GetParam()).build();
    const ExifSummary summary = SummarizeExif(block);
    EXPECT_EQ(summary.camera, "Canon EOS 5D Mark IV");
    EXPECT_EQ(summary.lens, "Canon EF35mm f/2 IS USM");
    EXPECT_EQ(summary.dateTaken, "2024-05-01 10:20:30");  // DateTimeOriginal, not DateTime
    EXPECT_EQ(summary.exposureTime, "1/125 s");
    EXPECT_EQ(summary.aperture, "f/2.8");
    EXPECT_EQ(summary.iso, "ISO 400");
    EXPECT_EQ(summary.focalLength, "35 mm");
    EXPECT_EQ(summary.position, "48.858222\u00B0 N, 2.294500\u00B0 E");
    EXPECT_EQ(summary.altitude, "35 m");
    EXPECT_FALSE(summary.empty());
}

INSTANTIATE_TEST_SUITE_P(Orders, ExifSummaryByteOrder, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

TEST(ExifSummary, MakeIsNotRepeatedInTheModel) {
    const struct {
        const char* make;
        const char* model;
        const char* camera;
    } cases[] = {
        {"Canon", "Canon EOS R5", "Canon EOS R5"},
        {"NIKON CORPORATION", "NIKON D750", "NIKON D750"},  // the model starts with the make's first word
        {"SONY", "sony ILCE-7M3", "sony ILCE-7M3"},
        {"Apple", "iPhone 12", "Apple iPhone 12"},
        {"FUJIFILM", "X-T4", "FUJIFILM X-T4"},
        {"Leica Camera AG", "LEICA Q2", "LEICA Q2"},
        {"Sam", "Samsung S21", "Sam Samsung S21"},  // a word that merely begins the same is not the make
        {"  Canon  ", "", "Canon"},                  // make alone, blanks trimmed
        {"", "X100V", "X100V"},
    };
    for (const auto& c : cases) {
        ExifBuilder exif;
        if (*c.make) exif.ascii(ExifIfd::Main, kTagMake, c.make);
        if (*c.model) exif.ascii(ExifIfd::Main, kTagModel, c.model);
        EXPECT_EQ(SummarizeExif(exif.build()).camera, c.camera) << c.make << " / " << c.model;
    }
}

TEST(ExifSummary, ExposureTexts) {
    const struct {
        uint32_t numerator, denominator;
        const char* text;
    } times[] = {{1, 4000, "1/4000 s"}, {10, 1250, "1/125 s"}, {1, 4, "1/4 s"}, {1, 3, "0.3 s"},
                 {2, 1, "2 s"},         {15, 10, "1.5 s"},     {30, 1, "30 s"}};
    for (const auto& t : times) {
        ExifBuilder exif;
        exif.rationals(ExifIfd::Exif, kTagExposureTime, {{t.numerator, t.denominator}});
        EXPECT_EQ(SummarizeExif(exif.build()).exposureTime, t.text) << t.numerator << "/" << t.denominator;
    }
    ExifBuilder exif;
    exif.rationals(ExifIfd::Exif, kTagFNumber, {{8, 1}}).rationals(ExifIfd::Exif, kTagFocalLength, {{42, 10}});
    const ExifSummary summary = SummarizeExif(exif.build());
    EXPECT_EQ(summary.aperture, "f/8");
    EXPECT_EQ(summary.focalLength, "4.2 mm");
    EXPECT_EQ(summary.camera, "");
    EXPECT_EQ(summary.position, "");
}

TEST(ExifSummary, SouthWestBelowSeaLevelAndTheDateFallBack) {
    ExifBuilder exif(true);
    exif.ascii(ExifIfd::Main, kTagDateTime, "2023:12:24 18:00:05")
        .ascii(ExifIfd::Exif, kTagDateTimeOriginal, "0000:00:00 00:00:00")  // clock never set
        .ascii(ExifIfd::Gps, kTagGpsLatitudeRef, "S")
        .rationals(ExifIfd::Gps, kTagGpsLatitude, {{3386, 100}, {0, 1}, {0, 1}})
        .ascii(ExifIfd::Gps, kTagGpsLongitudeRef, "W")
        .rationals(ExifIfd::Gps, kTagGpsLongitude, {{151, 1}, {12, 1}, {36, 1}})
        .byteValue(ExifIfd::Gps, kTagGpsAltitudeRef, 1)
        .rationals(ExifIfd::Gps, kTagGpsAltitude, {{125, 10}});
    const ExifSummary summary = SummarizeExif(exif.build());
    EXPECT_EQ(summary.dateTaken, "2023-12-24 18:00:05");
    EXPECT_EQ(summary.position, "33.860000\u00B0 S, 151.210000\u00B0 W");
    EXPECT_EQ(summary.altitude, "12.5 m below sea level");
}

// Every kind of damage drops the field it touches and leaves the others.
TEST(ExifSummary, DamagedFieldsAreLeftOut) {
    ExifBuilder exif;
    exif.ascii(ExifIfd::Main, kTagMake, "Canon")
        .ascii(ExifIfd::Main, kTagModel, "Canon EOS 5D Mark IV")
        .rationals(ExifIfd::Exif, kTagExposureTime, {{1, 0}})  // zero denominator
        .rationals(ExifIfd::Exif, kTagFNumber, {{0, 0}})
        .rationals(ExifIfd::Exif, kTagFocalLength, {{static_cast<uint32_t>(-35), 1}}, kExifSRational)  // negative
        .shortValue(ExifIfd::Exif, kTagIsoSpeed, 0)
        .ascii(ExifIfd::Exif, kTagDateTimeOriginal, "    :  :     :  :  ")  // blank
        .rationals(ExifIfd::Exif, kTagLensModel, {{1, 2}})                  // not text
        .ascii(ExifIfd::Gps, kTagGpsLatitudeRef, "N")
        .rationals(ExifIfd::Gps, kTagGpsLatitude, {{48, 1}, {51, 1}, {296, 0}})
        .ascii(ExifIfd::Gps, kTagGpsLongitudeRef, "E")
        .rationals(ExifIfd::Gps, kTagGpsLongitude, {{2, 1}, {17, 1}, {402, 10}})
        .rationals(ExifIfd::Gps, kTagGpsAltitude, {{35, 0}});
    std::vector<uint8_t> block = exif.build();
    // The model's text points past the end of the block.
    exif.patch32(block, exif.entryAt(ExifIfd::Main, kTagModel) + 8, static_cast<uint32_t>(block.size() - 4));
    const ExifSummary summary = SummarizeExif(block);
    EXPECT_EQ(summary.camera, "Canon");
    EXPECT_TRUE(summary.exposureTime.empty() && summary.aperture.empty() && summary.focalLength.empty() &&
                summary.iso.empty() && summary.dateTaken.empty() && summary.lens.empty() &&
                summary.position.empty() && summary.altitude.empty())
        << summary.exposureTime << summary.aperture << summary.focalLength << summary.iso << summary.dateTaken
        << summary.lens << summary.position << summary.altitude;
}

TEST(ExifSummary, PositionNeedsBothCoordinatesInRangeWithTheirReferences) {
    auto position = [](const char* latitudeRef, uint32_t latitude, const char* longitudeRef, uint32_t longitude) {
        ExifBuilder exif;
        if (*latitudeRef) exif.ascii(ExifIfd::Gps, kTagGpsLatitudeRef, latitudeRef);
        exif.rationals(ExifIfd::Gps, kTagGpsLatitude, {{latitude, 1}, {0, 1}, {0, 1}});
        if (*longitudeRef) exif.ascii(ExifIfd::Gps, kTagGpsLongitudeRef, longitudeRef);
        exif.rationals(ExifIfd::Gps, kTagGpsLongitude, {{longitude, 1}, {30, 1}, {0, 1}});
        return SummarizeExif(exif.build()).position;
    };
    EXPECT_EQ(position("n", 10, "e", 20), "10.000000\u00B0 N, 20.500000\u00B0 E");
    EXPECT_EQ(position("N", 91, "E", 20), "");   // beyond the pole
    EXPECT_EQ(position("N", 10, "E", 180), "");  // 180.5 degrees
    EXPECT_EQ(position("", 10, "E", 20), "");    // which hemisphere is not said
    EXPECT_EQ(position("N", 10, "X", 20), "");
}

// The walker's pointers: a GPS directory outside the block gives no position, and a block cut at
// any length or with any byte changed is read without reaching outside it (the sanitizer build
// checks that) and keeps the fields that still lie within.
TEST(ExifSummary, CutAndFlippedBlocksAreReadSafely) {
    ExifBuilder exif = CameraExif(true);
    std::vector<uint8_t> block = exif.build();
    std::vector<uint8_t> lostGps = block;
    exif.patch32(lostGps, exif.entryAt(ExifIfd::Main, kTagGpsIfd) + 8, 0xFFFFFFF0u);
    const ExifSummary withoutGps = SummarizeExif(lostGps);
    EXPECT_EQ(withoutGps.position, "");
    EXPECT_EQ(withoutGps.camera, "Canon EOS 5D Mark IV");

    for (size_t length = 0; length < block.size(); ++length) {
        const ExifSummary cut = SummarizeExif(std::span(block).first(length));
        if (length < 8) {
            EXPECT_TRUE(cut.empty()) << length;
        }
    }
    for (size_t at = 0; at < block.size(); ++at) {
        std::vector<uint8_t> flipped = block;
        flipped[at] ^= 0xA5;
        SummarizeExif(flipped);
    }
    EXPECT_TRUE(SummarizeExif(std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42}).empty());
}

// Blocks the reference tools write: Pillow's (big-endian) and the same fields after exiftool turned
// them into a little-endian block. Read back from the JPEG files with exiftool.
class ToolExifTest : public LumoTest {};

TEST_F(ToolExifTest, PillowAndExiftoolBlocks) {
    const std::string python = PillowPython();
    if (python.empty() || !HaveTool("exiftool")) GTEST_SKIP() << "needs Pillow and exiftool";
    const std::string big = tempPath("pillow.jpg"), plain = tempPath("plain.jpg"), little = tempPath("little.jpg");
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "from PIL.TiffImagePlugin import IFDRational as R\n"
        "e = Image.Exif()\n"
        "e[0x010F] = 'NIKON CORPORATION'; e[0x0110] = 'NIKON Z 6'\n"
        "e[0x8769] = {0x9003: '2025:07:14 16:45:00', 0x829A: R(1, 500), 0x829D: R(56, 10), 0x8827: 100,\n"
        "             0x920A: R(50, 1), 0xA434: 'NIKKOR Z 50mm f/1.8 S'}\n"
        "e[0x8825] = {1: 'N', 2: (R(45), R(49), R(3.5)), 3: 'E', 4: (R(6), R(51), R(54)), 5: b'\\x00', 6: R(4810)}\n"
        "Image.new('RGB', (16, 8), (200, 100, 50)).save(sys.argv[1], exif=e.tobytes())\n"
        "Image.new('RGB', (16, 8), (200, 100, 50)).save(sys.argv[2])\n";
    ASSERT_EQ(RunCommand(python + " -c " + ShellQuote(script) + " " + ShellQuote(big) + " " + ShellQuote(plain)).status, 0);
    // exiftool chooses the byte order only for a block it makes anew: Pillow's fields copied into a
    // photo without Exif.
    ASSERT_EQ(RunCommand("exiftool -q -tagsFromFile " + ShellQuote(big) + " -all:all -ExifByteOrder=II -o " +
                         ShellQuote(little) + " " + ShellQuote(plain))
                  .status,
              0);
    for (const std::string& file : {big, little}) {
        const std::string blockFile = file + ".exif";
        ASSERT_EQ(RunCommand("exiftool -b -EXIF " + ShellQuote(file) + " > " + ShellQuote(blockFile)).status, 0);
        const std::vector<uint8_t> block = ReadBytes(blockFile);
        ASSERT_GT(block.size(), 8u);
        EXPECT_EQ(block[0], file == big ? 'M' : 'I') << file;
        const ExifSummary summary = SummarizeExif(block);
        EXPECT_EQ(summary.camera, "NIKON Z 6") << file;
        EXPECT_EQ(summary.lens, "NIKKOR Z 50mm f/1.8 S");
        EXPECT_EQ(summary.dateTaken, "2025-07-14 16:45:00");
        EXPECT_EQ(summary.exposureTime, "1/500 s");
        EXPECT_EQ(summary.aperture, "f/5.6");
        EXPECT_EQ(summary.iso, "ISO 100");
        EXPECT_EQ(summary.focalLength, "50 mm");
        EXPECT_EQ(summary.position, "45.817639\u00B0 N, 6.865000\u00B0 E");
        EXPECT_EQ(summary.altitude, "4810 m");
    }
}

// ---- ICC profile description ----

TEST(IccDescription, DescriptionOfAProfile) {
    EXPECT_EQ(ProfileDescription(ProfileDescribedAs("Wide Gamut Test RGB")), "Wide Gamut Test RGB");
    EXPECT_EQ(ProfileDescription(ProfileDescribedAs(nullptr)), "");
}

TEST(IccDescription, UnreadableProfilesGiveNothing) {
    const std::vector<uint8_t> profile = ProfileDescribedAs("Test");
    EXPECT_EQ(ProfileDescription({}), std::nullopt);
    EXPECT_EQ(ProfileDescription(std::vector<uint8_t>(600, 0x41)), std::nullopt);
    EXPECT_EQ(ProfileDescription(std::span(profile).first(100)), std::nullopt);  // not even the header
    // Cut anywhere or with a byte changed: a description or nothing, never a read outside.
    for (size_t length = 0; length < profile.size(); length += 7) ProfileDescription(std::span(profile).first(length));
    for (size_t at = 0; at < profile.size(); ++at) {
        std::vector<uint8_t> flipped = profile;
        flipped[at] ^= 0x5A;
        ProfileDescription(flipped);
    }
}

}  // namespace
