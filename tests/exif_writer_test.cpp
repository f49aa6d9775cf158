#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/metadata/exif_block.h"
#include "formats/metadata/exif_writer.h"

namespace {

// Every directory, in both byte orders: what the writer was given is what the walker reads back,
// with the sub-directory pointers the writer made itself.
class ExifWriterRoundTrip : public ::testing::TestWithParam<bool> {};

TEST_P(ExifWriterRoundTrip, FieldsOfEveryDirectoryReadBack) {
    const bool bigEndian = GetParam();
    ExifWriter writer(bigEndian);
    EXPECT_TRUE(writer.addText(ExifIfd::Main, kTagModel, "EOS 5D"));  // given before Make: sorted on writing
    EXPECT_TRUE(writer.addText(ExifIfd::Main, kTagMake, "Canon"));
    EXPECT_TRUE(writer.addShort(ExifIfd::Main, kTagOrientation, 6));
    const uint32_t exposure[] = {1, 250};
    EXPECT_TRUE(writer.addRationals(ExifIfd::Exif, kTagExposureTime, exposure));
    EXPECT_TRUE(writer.addLong(ExifIfd::Exif, kTagPixelXDimension, 4000));
    EXPECT_TRUE(writer.addText(ExifIfd::Exif, kTagDateTimeOriginal, "2024:05:06 07:08:09"));
    const uint8_t makerNote[] = {1, 2, 3, 4, 5, 6, 7};  // odd length: the next value stays on an even offset
    EXPECT_TRUE(writer.add(ExifIfd::Exif, 0x927C, kExifUndefined, 7, makerNote));
    EXPECT_TRUE(writer.addText(ExifIfd::Interop, 0x0001, "R98"));
    const uint32_t latitude[] = {52, 1, 22, 1, 1272, 100};
    EXPECT_TRUE(writer.addText(ExifIfd::Gps, kTagGpsLatitudeRef, "N"));
    EXPECT_TRUE(writer.addRationals(ExifIfd::Gps, kTagGpsLatitude, latitude));
    const std::vector<uint8_t> block = writer.finish();

    ASSERT_GE(block.size(), 8u);
    EXPECT_EQ(std::memcmp(block.data(), bigEndian ? "MM\0*" : "II*\0", 4), 0);
    const ExifBlock exif(block);
    ASSERT_TRUE(exif.valid());
    EXPECT_FALSE(exif.damaged());
    EXPECT_EQ(exif.bigEndian(), bigEndian);

    ASSERT_TRUE(exif.find(ExifIfd::Main, kTagMake));
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagMake)), "Canon");
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagModel)), "EOS 5D");
    EXPECT_EQ(ExifOrientationOf(block), 6);
    const ExifField* time = exif.find(ExifIfd::Exif, kTagExposureTime);
    ASSERT_TRUE(time);
    EXPECT_EQ(exif.u32(time->valueAt), 1u);
    EXPECT_EQ(exif.u32(time->valueAt + 4), 250u);
    EXPECT_EQ(exif.integer(*exif.find(ExifIfd::Exif, kTagPixelXDimension)), 4000);
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Exif, kTagDateTimeOriginal)), "2024:05:06 07:08:09");
    const std::span<const uint8_t> note = exif.bytes(*exif.find(ExifIfd::Exif, 0x927C));
    EXPECT_EQ(std::vector<uint8_t>(note.begin(), note.end()), std::vector<uint8_t>(makerNote, makerNote + 7));
    ASSERT_TRUE(exif.find(ExifIfd::Interop, 0x0001));
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Interop, 0x0001)), "R98");
    const ExifField* gps = exif.find(ExifIfd::Gps, kTagGpsLatitude);
    ASSERT_TRUE(gps);
    EXPECT_EQ(gps->count, 3u);
    EXPECT_DOUBLE_EQ(*exif.rational(*gps, 2), 12.72);

    // Directories sorted by tag, every directory and out-of-line value on a word boundary.
    for (ExifIfd ifd : {ExifIfd::Main, ExifIfd::Exif, ExifIfd::Interop, ExifIfd::Gps}) {
        int previous = -1;
        for (const ExifField& field : exif.fields()) {
            if (field.ifd != ifd) continue;
            EXPECT_GT(field.tag, previous);
            previous = field.tag;
            EXPECT_EQ(field.entryAt % 2, 0u);
            if (ExifTypeSize(field.type) * field.count > 4) EXPECT_EQ(field.valueAt % 2, 0u) << field.tag;
        }
    }
    // The in-place edits find the fields the writer laid out.
    std::vector<uint8_t> edited = block;
    EXPECT_TRUE(SetExifOrientation(edited, 1));
    EXPECT_EQ(ExifOrientationOf(edited), 1);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ExifWriterRoundTrip, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

TEST(ExifWriter, SubDirectoryPointersAreTheWritersOwn) {
    ExifWriter writer;
    const uint8_t bogus[] = {0xFF, 0xFF, 0, 0};
    EXPECT_FALSE(writer.add(ExifIfd::Main, kTagExifIfd, kExifLong, 1, bogus));
    EXPECT_FALSE(writer.add(ExifIfd::Main, kTagGpsIfd, kExifLong, 1, bogus));
    EXPECT_FALSE(writer.add(ExifIfd::Exif, kTagInteropIfd, kExifLong, 1, bogus));
    EXPECT_TRUE(writer.empty());
    EXPECT_TRUE(writer.finish().empty());

    // A GPS field alone still gets a main directory pointing at it, and no Exif directory.
    EXPECT_TRUE(writer.addText(ExifIfd::Gps, kTagGpsLatitudeRef, "S"));
    const std::vector<uint8_t> block = writer.finish();
    const ExifBlock exif(block);
    EXPECT_FALSE(exif.damaged());
    EXPECT_TRUE(exif.find(ExifIfd::Main, kTagGpsIfd));
    EXPECT_FALSE(exif.find(ExifIfd::Main, kTagExifIfd));
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Gps, kTagGpsLatitudeRef)), "S");
}

TEST(ExifWriter, RefusesWhatItCannotLayOut) {
    ExifWriter writer;
    const uint8_t three[] = {1, 2, 3};
    EXPECT_FALSE(writer.add(ExifIfd::Thumbnail, kTagMake, kExifAscii, 3, three));  // thumbnails are not written
    EXPECT_FALSE(writer.add(ExifIfd::Main, kTagMake, 99, 3, three));              // no such type
    EXPECT_FALSE(writer.add(ExifIfd::Main, kTagOrientation, kExifShort, 2, three)); // 3 bytes are no 2 shorts
    EXPECT_FALSE(writer.addRationals(ExifIfd::Exif, kTagFNumber, std::span<const uint32_t>(reinterpret_cast<const uint32_t*>(three), 0)));
    EXPECT_TRUE(writer.addText(ExifIfd::Main, kTagMake, "First"));
    EXPECT_FALSE(writer.addText(ExifIfd::Main, kTagMake, "Second"));  // one field per tag and directory
    EXPECT_TRUE(writer.addText(ExifIfd::Exif, kTagMake, "Other directory"));
    const std::vector<uint8_t> block = writer.finish();
    const ExifBlock exif(block);
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagMake)), "First");
    EXPECT_EQ(exif.text(*exif.find(ExifIfd::Exif, kTagMake)), "Other directory");
}

}  // namespace
