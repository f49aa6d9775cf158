#include "formats/memory_buffer.h"

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <vector>

#include "tests/support/lumo_test.h"

namespace {

class MemoryBufferTest : public LumoTest {};

constexpr toff_t kRefused = static_cast<toff_t>(-1);

// A buffer as OpenMemoryBufferTiff leaves it, without libtiff writing a header into it.
MemoryBufferPtr StartedBuffer(size_t size, const char* mode) {
    MemoryBufferPtr buffer = AllocBuffer(size);
    buffer->mode = mode;
    return buffer;
}

std::vector<uint8_t> Sequence(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

std::vector<uint8_t> Contents(const MemoryBuffer& buffer) { return {buffer.data, buffer.data + buffer.size}; }

TEST_F(MemoryBufferTest, WritingGrowsInStepsAndClosingTrimsToTheData) {
    MemoryBufferPtr buffer = StartedBuffer(1000, "w");
    const std::vector<uint8_t> bytes = Sequence(20000);
    for (size_t at = 0; at < bytes.size(); at += 400)
        ASSERT_EQ(MemoryBufferWrite(buffer.get(), const_cast<uint8_t*>(&bytes[at]), 400), 400);
    EXPECT_EQ(buffer->size, 25576u);
    EXPECT_EQ(buffer->length, 20000u);
    EXPECT_EQ(MemoryBufferSize(buffer.get()), 20000u);

    EXPECT_EQ(MemoryBufferClose(buffer.get()), 0);
    EXPECT_EQ(buffer->size, 20000u);
    EXPECT_EQ(Contents(*buffer), bytes);
}

TEST_F(MemoryBufferTest, SeeksMoveLikeAFileAndNeverLeaveTheBlock) {
    MemoryBufferPtr buffer = StartedBuffer(64, "w");
    const std::vector<uint8_t> bytes = Sequence(100);
    MemoryBufferWrite(buffer.get(), const_cast<uint8_t*>(bytes.data()), 100);
    MemoryBufferSeek(buffer.get(), 10, SEEK_SET);

    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 0, SEEK_END), 100u);  // the end of the data, not of the block
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(-30), SEEK_CUR), 70u);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(-5), SEEK_END), 95u);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 12, 7), 95u);  // unknown whence: the position stays
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 3, SEEK_SET), 3u);

    // Before the start: refused, the position stays.
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(-4), SEEK_CUR), kRefused);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(-101), SEEK_END), kRefused);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(INT64_MIN), SEEK_SET), kRefused);
    EXPECT_EQ(buffer->position, buffer->data + 3);

    // Offsets whose sum overflows, or beyond what a block may hold, are refused without allocating.
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), static_cast<toff_t>(INT64_MAX), SEEK_CUR), kRefused);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), (toff_t{1} << 32) + 1, SEEK_SET), kRefused);
    EXPECT_EQ(MemoryBufferWrite(buffer.get(), const_cast<uint8_t*>(bytes.data()), INT64_MAX), -1);
    EXPECT_EQ(buffer->position, buffer->data + 3);
    EXPECT_EQ(buffer->length, 100u);
}

TEST_F(MemoryBufferTest, WritingPastTheDataLeavesZerosInTheGap) {
    MemoryBufferPtr buffer = StartedBuffer(16, "w");
    std::memset(buffer->data, 0xAA, 16);  // stale bytes from an earlier use of the block
    uint8_t tail[3] = {1, 2, 3};
    MemoryBufferWrite(buffer.get(), tail, 2);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 9000, SEEK_SET), 9000u);  // beyond the block: it grows
    EXPECT_GE(buffer->size, 9000u);
    MemoryBufferWrite(buffer.get(), tail, 3);
    MemoryBufferClose(buffer.get());

    std::vector<uint8_t> expected(9003, 0);
    expected[0] = 1, expected[1] = 2;
    expected[9000] = 1, expected[9001] = 2, expected[9002] = 3;
    EXPECT_EQ(Contents(*buffer), expected);
}

TEST_F(MemoryBufferTest, ReadingServesTheBlockAndStopsAtItsEnd) {
    MemoryBufferPtr buffer = StartedBuffer(10, "w");
    const std::vector<uint8_t> bytes = Sequence(50);
    MemoryBufferWrite(buffer.get(), const_cast<uint8_t*>(bytes.data()), 50);
    uint8_t got[64] = {};
    EXPECT_EQ(MemoryBufferRead(buffer.get(), got, 4), -1);  // no reading while writing
    MemoryBufferClose(buffer.get());

    buffer->mode = "r";
    buffer->length = 0;
    buffer->position = buffer->data;
    EXPECT_EQ(MemoryBufferSize(buffer.get()), 50u);
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 0, SEEK_END), 50u);  // the end is the data, as for a file
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 40, SEEK_SET), 40u);
    EXPECT_EQ(MemoryBufferRead(buffer.get(), got, 64), 10);
    EXPECT_TRUE(std::equal(got, got + 10, bytes.begin() + 40));
    EXPECT_EQ(MemoryBufferRead(buffer.get(), got, 64), 0);
    // A reading buffer never grows: a seek past its end stops there, so libtiff sees the short seek.
    EXPECT_EQ(MemoryBufferSeek(buffer.get(), 5000, SEEK_SET), 50u);
    EXPECT_EQ(buffer->size, 50u);
    EXPECT_EQ(MemoryBufferRead(buffer.get(), got, 1), 0);
}

TEST_F(MemoryBufferTest, ResizingKeepsThePositionAndReportsFailure) {
    MemoryBufferPtr buffer = AllocBuffer(0);
    ASSERT_NE(buffer->data, nullptr);
    ReallocBuffer(buffer.get(), 300);
    buffer->position = buffer->data + 200;
    ReallocBuffer(buffer.get(), 5000);
    EXPECT_EQ(buffer->position - buffer->data, 200);
    ReallocBuffer(buffer.get(), 100);  // the position cannot stay past the block
    EXPECT_EQ(buffer->position - buffer->data, 100);

    EXPECT_LUMO_ERROR(ReallocBuffer(buffer.get(), SIZE_MAX / 2), "ReallocBuffer", "Out of Memory");
    EXPECT_EQ(buffer->size, 100u);
    EXPECT_LUMO_ERROR(AllocBuffer(SIZE_MAX / 2), "AllocBuffer", "Out of Memory");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].module, "AllocBuffer");
}

// A small picture libtiff writes into the buffer with the given compression and depth.
struct TiffCase {
    uint16_t compression;
    uint16_t bitsPerSample;
    const char* name;
};
void PrintTo(const TiffCase& c, std::ostream* os) { *os << c.name; }

class MemoryTiffTest : public LumoTest, public ::testing::WithParamInterface<TiffCase> {
protected:
    static constexpr uint32_t kWidth = 45;
    static constexpr uint32_t kHeight = 23;

    size_t rowBytes() const { return (kWidth * GetParam().bitsPerSample + 7) / 8; }

    // Top-down rows with a pattern that differs on every row.
    std::vector<uint8_t> picture() const {
        std::vector<uint8_t> rows(rowBytes() * kHeight);
        for (uint32_t y = 0; y < kHeight; ++y)
            for (size_t i = 0; i < rowBytes(); ++i)
                rows[y * rowBytes() + i] = static_cast<uint8_t>((i * 13 + y * 29) ^ (i * y));
        if (GetParam().bitsPerSample == 1 && kWidth % 8)  // unused bits of the last byte read back as 0
            for (uint32_t y = 0; y < kHeight; ++y) rows[y * rowBytes() + rowBytes() - 1] &= 0xFF << (8 - kWidth % 8);
        return rows;
    }

    void writeTiff(MemoryBuffer* buffer, const std::vector<uint8_t>& rows) {
        TiffHandle handle = OpenMemoryBufferTiff(buffer, "w");
        ASSERT_TRUE(handle) << handle.error();
        TIFF* tiff = handle.get();
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, GetParam().bitsPerSample);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, GetParam().compression);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 5);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 98.0);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        std::vector<uint8_t> row(rowBytes());
        for (uint32_t y = 0; y < kHeight; ++y) {
            std::copy_n(rows.begin() + y * rowBytes(), rowBytes(), row.begin());  // encoders may scribble on it
            ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1) << handle.error();
        }
        handle.close("writeTiff");
        EXPECT_TRUE(errors.empty());
    }

    // The rows libtiff reads back from the buffer, or empty when it refuses or reports an error at some point.
    std::vector<uint8_t> readTiff(MemoryBuffer* buffer) {
        TiffHandle handle = OpenMemoryBufferTiff(buffer, "r");
        if (!handle) return {};
        TIFF* tiff = handle.get();
        uint32_t width = 0, height = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        std::vector<uint8_t> rows;
        if (width == kWidth && height == kHeight) {
            rows.resize(rowBytes() * kHeight);
            for (uint32_t y = 0; y < kHeight && !rows.empty(); ++y)
                if (TIFFReadScanline(tiff, rows.data() + y * rowBytes(), y, 0) != 1) rows.clear();
        }
        if (!handle.error().empty()) rows.clear();
        return rows;
    }
};

TEST_P(MemoryTiffTest, LibtiffWritesAndReadsBackTheSamePicture) {
    MemoryBufferPtr buffer = AllocBuffer(100);
    const std::vector<uint8_t> rows = picture();
    writeTiff(buffer.get(), rows);
    EXPECT_EQ(buffer->size, buffer->length);  // trimmed to the data on close
    EXPECT_EQ(readTiff(buffer.get()), rows);

    TiffHandle handle = OpenMemoryBufferTiff(buffer.get(), "r");
    ASSERT_TRUE(handle);
    TIFF* tiff = handle.get();
    EXPECT_STREQ(TIFFFileName(tiff), "Memory Buffer");
    uint16_t compression = 0;
    float xResolution = 0;
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution);
    EXPECT_EQ(compression, GetParam().compression);
    EXPECT_EQ(xResolution, 204.0f);
}

TEST_P(MemoryTiffTest, ReferenceToolsReadTheBufferAsATiffFile) {
    if (!HaveTool("tiffinfo") || !HaveTool("/usr/bin/convert")) GTEST_SKIP() << "libtiff-tools or ImageMagick missing";
    MemoryBufferPtr buffer = AllocBuffer(100);
    const std::vector<uint8_t> rows = picture();
    writeTiff(buffer.get(), rows);
    const std::string path = tempPath("buffer.tif");
    WriteBytes(path, Contents(*buffer));

    const CommandResult info = RunCommand("tiffinfo " + ShellQuote(path) + " 2>&1");
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("Image Width: 45 Image Length: 23"), std::string::npos) << info.output;

    // ImageMagick's gray levels: 1-bit samples become 0 and 255.
    const CommandResult pixels = RunCommand("/usr/bin/convert " + ShellQuote(path) + " -depth 8 gray:-");
    ASSERT_EQ(pixels.status, 0);
    ASSERT_EQ(pixels.output.size(), size_t{kWidth} * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint8_t* row = rows.data() + y * rowBytes();
            const uint8_t expected = GetParam().bitsPerSample == 8 ? row[x] : ((row[x / 8] >> (7 - x % 8)) & 1) * 255;
            ASSERT_EQ(static_cast<uint8_t>(pixels.output[y * kWidth + x]), expected) << "at " << x << ", " << y;
        }
}

TEST_P(MemoryTiffTest, TruncatedBuffersAreRefusedWithoutReadingOutside) {
    MemoryBufferPtr written = AllocBuffer(100);
    writeTiff(written.get(), picture());
    const std::vector<uint8_t> whole = Contents(*written);
    for (size_t length = 0; length < whole.size(); length += 1 + length / 64) {
        MemoryBufferPtr cut = AllocBuffer(length);
        std::copy_n(whole.begin(), length, cut->data);
        const std::vector<uint8_t> rows = readTiff(cut.get());
        EXPECT_TRUE(rows.empty() || rows == picture()) << "garbled picture from a cut at " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Compressions, MemoryTiffTest,
                         ::testing::Values(TiffCase{COMPRESSION_NONE, 8, "None"}, TiffCase{COMPRESSION_LZW, 8, "Lzw"},
                                           TiffCase{COMPRESSION_PACKBITS, 8, "PackBits"},
                                           TiffCase{COMPRESSION_CCITTFAX3, 1, "Group3"},
                                           TiffCase{COMPRESSION_CCITTFAX4, 1, "Group4"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
