// Metadata kept beside the image record: owned by the image and freed with it, carried by the
// operations that make one picture from another, and the Exif walker and edits that read and
// change it, on blocks built here in both byte orders and on damaged ones.
#include <gtest/gtest.h>

#include <cstring>

#include "core/image_metadata.h"
#include "core/orientation.h"
#include "core/rescale.h"
#include "formats/byte_order.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/icc_header.h"
#include "jobs/conversion.h"
#include "support/lumo_test.h"

namespace {

class ImageMetadataTest : public LumoTest {};

ImageMetadata SomeMetadata() {
    ImageMetadata metadata;
    metadata.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
    metadata.icc = std::vector<uint8_t>(200, 7);
    metadata.comment = "taken at dawn";
    return metadata;
}

// A TIFF-structure block with a main directory (Make, Orientation, a pointer to the Exif
// directory) and an Exif directory (ExposureTime, PixelXDimension as SHORT, PixelYDimension as
// LONG), in either byte order.
class BlockBuilder {
public:
    explicit BlockBuilder(bool bigEndian) : big_(bigEndian) {}

    std::vector<uint8_t> build() {
        bytes_ = {big_ ? uint8_t{'M'} : uint8_t{'I'}, big_ ? uint8_t{'M'} : uint8_t{'I'}};
        u16(42), u32(8);
        // Main directory at 8: 3 entries, then the next-directory offset.
        const size_t exifAt = 8 + 2 + 3 * 12 + 4;
        const size_t makeAt = exifAt + 2 + 3 * 12 + 4;
        const size_t rationalAt = makeAt + 8;
        u16(3);
        entry(kTagMake, kExifAscii, 8, static_cast<uint32_t>(makeAt));
        entry(kTagOrientation, kExifShort, 1, 0), patchShortValue(6);
        entry(kTagExifIfd, kExifLong, 1, static_cast<uint32_t>(exifAt));
        u32(0);
        u16(3);
        entry(kTagExposureTime, kExifRational, 1, static_cast<uint32_t>(rationalAt));
        entry(kTagPixelXDimension, kExifShort, 1, 0), patchShortValue(640);
        entry(kTagPixelYDimension, kExifLong, 1, 480);
        u32(0);
        for (char c : std::string("Camera\0\0", 8)) bytes_.push_back(static_cast<uint8_t>(c));
        u32(1), u32(125);
        return bytes_;
    }

private:
    void u16(uint32_t v) {
        bytes_.resize(bytes_.size() + 2);
        big_ ? WriteBE16(&bytes_[bytes_.size() - 2], v) : WriteLE16(&bytes_[bytes_.size() - 2], v);
    }
    void u32(uint32_t v) {
        bytes_.resize(bytes_.size() + 4);
        big_ ? WriteBE32(&bytes_[bytes_.size() - 4], v) : WriteLE32(&bytes_[bytes_.size() - 4], v);
    }
    void entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) { u16(tag), u16(type), u32(count), u32(value); }
    // A SHORT value sits in the first two bytes of the value field, whatever the byte order.
    void patchShortValue(uint32_t v) {
        uint8_t* at = &bytes_[bytes_.size() - 4];
        big_ ? WriteBE16(at, v) : WriteLE16(at, v);
        at[2] = at[3] = 0;
    }

    bool big_;
    std::vector<uint8_t> bytes_;
};

}  // namespace

TEST_F(ImageMetadataTest, KeptBesideTheImageAndFreedWithIt) {
    ImagePtr image = MakePatternImage(ImageKind::RGB, 8, 6);
    EXPECT_EQ(LumoGetMetadata(image.get()), nullptr);
    LumoSetMetadata(image.get(), SomeMetadata());
    ASSERT_NE(LumoGetMetadata(image.get()), nullptr);
    EXPECT_EQ(LumoGetMetadata(image.get())->comment, "taken at dawn");

    // Empty metadata is none; a freed image's address reused by a new image carries nothing.
    LumoSetMetadata(image.get(), ImageMetadata{});
    EXPECT_EQ(LumoGetMetadata(image.get()), nullptr);
    LumoSetMetadata(image.get(), SomeMetadata());
    const IMG* address = image.get();
    image.reset();
    for (int i = 0; i < 4; ++i) {
        ImagePtr fresh = MakePatternImage(ImageKind::RGB, 8, 6);
        if (fresh.get() == address) {
            EXPECT_EQ(LumoGetMetadata(fresh.get()), nullptr);
        }
    }
}

TEST_F(ImageMetadataTest, TurnsRescalesAndConversionsCarryIt) {
    ImagePtr image = MakePatternImage(ImageKind::RGB, 16, 10);
    LumoSetMetadata(image.get(), SomeMetadata());
    const ImagePtr turned = LumoOrientImage(image.get(), Orientation::RotateRight);
    const ImagePtr rescaled = LumoRescale(turned.get(), 5, 8);
    const ImagePtr gray = ConvertWithUserSettings(rescaled.get(), ImageKind::GRAY256);
    const ImagePtr palette = ConvertWithUserSettings(image.get(), ImageKind::COLOR256);
    for (const IMG* derived : {turned.get(), rescaled.get(), gray.get(), palette.get()}) {
        ASSERT_NE(LumoGetMetadata(derived), nullptr);
        EXPECT_EQ(LumoGetMetadata(derived)->icc, SomeMetadata().icc);
        EXPECT_NE(LumoGetMetadata(derived), LumoGetMetadata(image.get()));  // a copy of its own
    }
    // Copying from an image without metadata clears the target's.
    const ImagePtr plain = MakePatternImage(ImageKind::RGB, 2, 2);
    LumoCopyMetadata(plain.get(), gray.get());
    EXPECT_EQ(LumoGetMetadata(gray.get()), nullptr);
}

TEST_F(ImageMetadataTest, ExifFieldsReadInBothByteOrders) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        const std::vector<uint8_t> block = BlockBuilder(big).build();
        const ExifBlock exif(block);
        ASSERT_TRUE(exif.valid());
        EXPECT_FALSE(exif.damaged());
        EXPECT_EQ(exif.text(*exif.find(ExifIfd::Main, kTagMake)), "Camera");
        EXPECT_DOUBLE_EQ(*exif.rational(*exif.find(ExifIfd::Exif, kTagExposureTime)), 1.0 / 125);
        EXPECT_EQ(*exif.integer(*exif.find(ExifIfd::Exif, kTagPixelYDimension)), 480);
        EXPECT_EQ(ExifOrientationOf(block), 6);
    }
}

TEST_F(ImageMetadataTest, EditsKeepTheLengthAndChangeOnlyTheirFields) {
    for (const bool big : {false, true}) {
        std::vector<uint8_t> block = BlockBuilder(big).build();
        const std::vector<uint8_t> before = block;
        EXPECT_TRUE(SetExifOrientation(block, 1));
        EXPECT_TRUE(SetExifPixelSize(block, 320, 70000));
        ASSERT_EQ(block.size(), before.size());
        const ExifBlock exif(block);
        EXPECT_EQ(ExifOrientationOf(block), 1);
        EXPECT_EQ(*exif.integer(*exif.find(ExifIfd::Exif, kTagPixelXDimension)), 320);
        EXPECT_EQ(*exif.integer(*exif.find(ExifIfd::Exif, kTagPixelYDimension)), 70000);
        size_t changed = 0;
        for (size_t i = 0; i < block.size(); ++i) changed += block[i] != before[i];
        EXPECT_LE(changed, 8u);  // within the three values: 2 + 2 + 4 bytes

        // A SHORT field cannot hold 70000: it is left as it was.
        SetExifPixelSize(block, 70000, 480);
        EXPECT_EQ(*ExifBlock(block).integer(*exif.find(ExifIfd::Exif, kTagPixelXDimension)), 320);
    }
    std::vector<uint8_t> none = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(SetExifOrientation(none, 1));
    EXPECT_FALSE(SetExifPixelSize(none, 1, 1));
}

// Every cut of a valid block, offsets outside it and directories that point at each other are read
// without going past the block (the sanitizer build checks that), keeping what came before.
TEST_F(ImageMetadataTest, DamagedBlocksAreReadSafely) {
    const std::vector<uint8_t> block = BlockBuilder(false).build();
    for (size_t cut = 0; cut < block.size(); ++cut) {
        const std::vector<uint8_t> shorter(block.begin(), block.begin() + static_cast<long>(cut));
        const ExifBlock exif(shorter);
        for (const ExifField& field : exif.fields()) exif.text(field), exif.integer(field), exif.rational(field);
        std::vector<uint8_t> edited = shorter;
        SetExifOrientation(edited, 1), SetExifPixelSize(edited, 1, 1);
    }
    std::vector<uint8_t> loop = block;
    WriteLE32(&loop[8 + 2 + 2 * 12 + 8], 8);  // the Exif directory pointer leads back to the main one
    const ExifBlock looped(loop);
    EXPECT_TRUE(looped.damaged());
    EXPECT_NE(looped.find(ExifIfd::Main, kTagMake), nullptr);

    std::vector<uint8_t> lying = block;
    WriteLE32(&lying[8 + 2 + 4], 0x7FFFFFFF);  // Make's count: far more bytes than the block has
    const ExifBlock counted(lying);
    EXPECT_TRUE(counted.damaged());
    EXPECT_EQ(counted.find(ExifIfd::Main, kTagMake), nullptr);
    EXPECT_EQ(ExifOrientationOf(lying), 6);

    EXPECT_FALSE(ExifBlock(std::vector<uint8_t>{'X', 'X', 42, 0, 8, 0, 0, 0}).valid());
}

TEST_F(ImageMetadataTest, ProfileHeadersNameTheirColourSpace) {
    std::vector<uint8_t> profile(128, 0);
    WriteBE32(profile.data(), 128);
    std::memcpy(&profile[16], "RGB ", 4);
    EXPECT_EQ(ProfileColourSpace(profile), IccColourSpace::Rgb);
    std::memcpy(&profile[16], "GRAY", 4);
    EXPECT_EQ(ProfileColourSpace(profile), IccColourSpace::Gray);
    std::memcpy(&profile[16], "CMYK", 4);
    EXPECT_EQ(ProfileColourSpace(profile), IccColourSpace::Cmyk);
    WriteBE32(profile.data(), 4000);  // a size the bytes do not have: a cut profile
    EXPECT_EQ(ProfileColourSpace(profile), IccColourSpace::Unknown);
    EXPECT_EQ(ProfileColourSpace(std::vector<uint8_t>(20, 0)), IccColourSpace::Unknown);
}
