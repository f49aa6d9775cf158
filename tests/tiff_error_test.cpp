#include "formats/tiff/tiff_error.h"

#include <string>

#include "formats/memory_buffer.h"
#include "tests/support/lumo_test.h"

namespace {

class TiffErrorTest : public LumoTest {};

TEST_F(TiffErrorTest, ARefusedOpenKeepsLibtiffsMessageUntilTheCodecReportsIt) {
    MemoryBufferPtr buffer = AllocBuffer(16);
    std::fill_n(buffer->data, 16, uint8_t{'x'});
    TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "r");
    EXPECT_FALSE(tiff);
    EXPECT_NE(tiff.error().find("Not a TIFF"), std::string::npos) << tiff.error();
    EXPECT_TRUE(errors.empty());  // nothing reported while libtiff's frames were on the stack

    const std::string message = tiff.error();
    EXPECT_LUMO_ERROR(tiff.check("LumoLoadTiff"), "LumoLoadTiff", message);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(tiff.error().empty());
    tiff.check("LumoLoadTiff");  // reported once only
    EXPECT_LUMO_ERROR(tiff.fail("LumoLoadTiff", "Cannot read"), "LumoLoadTiff", "Cannot read");
}

TEST_F(TiffErrorTest, AnErrorWithoutAFailedCallStillEndsTheOperationAndTheFirstOneCounts) {
    MemoryBufferPtr buffer = AllocBuffer(0);
    TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "w");
    ASSERT_TRUE(tiff) << tiff.error();
    tiff.check("LumoSaveTiff");
    TIFFErrorExtR(tiff.get(), "TIFFFetchNormalTag", "Bad value %d", 7);
    TIFFErrorExtR(tiff.get(), "TIFFReadDirectory", "Giving up");
    EXPECT_LUMO_ERROR(tiff.check("LumoSaveTiff"), "LumoSaveTiff", "TIFFFetchNormalTag: Bad value 7");
}

TEST_F(TiffErrorTest, WarningsGoToTheHookAndHandlesKeepTheirErrorsApart) {
    MemoryBufferPtr first = AllocBuffer(0), second = AllocBuffer(0);
    TiffHandle a = OpenMemoryBufferTiff(first.get(), "w");
    TiffHandle b = OpenMemoryBufferTiff(second.get(), "w");
    ASSERT_TRUE(a && b);
    TIFFWarningExtR(a.get(), "TIFFReadDirectory", "Unknown field with tag %d", 65000);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "TIFFReadDirectory");
    EXPECT_EQ(warnings[0].text, "Unknown field with tag 65000");
    EXPECT_TRUE(a.error().empty());

    TIFFErrorExtR(a.get(), "TIFFWriteScanline", "Strip out of range");
    EXPECT_TRUE(b.error().empty());
    TiffHandle moved = std::move(a);  // the record travels with the handle
    TIFFErrorExtR(moved.get(), "TIFFWriteScanline", "later");
    EXPECT_EQ(moved.error(), "TIFFWriteScanline: Strip out of range");
    EXPECT_TRUE(errors.empty());
}

}  // namespace
