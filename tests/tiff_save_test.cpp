#include <sys/mman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/tiff/tiff.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

// Every option back to its default after each test.
class TiffSaveTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionTiff("compression", 1);
        LumoSetIntOptionTiff("optionsg3", 0);
        LumoSetIntOptionTiff("predictor", 0);
        LumoSetIntOptionTiff("rowsperstrip", 0);
        LumoSetIntOptionTiff("ycbcr", 0);
        LumoSetIntOptionTiff("hsubsampling", 2);
        LumoSetIntOptionTiff("vsubsampling", 2);
        LumoSetStringOptionTiff("software", kSoftwareName);
        LumoSetIntOption("verbose", 0);
        LumoTest::TearDown();
    }
};

std::vector<uint8_t> SaveToMemory(const IMG& image) {
    const MemoryBufferPtr buffer = SaveTiffToMemory(&image);
    return {buffer->data, buffer->data + buffer->size};
}

// A TIFF held in memory, opened for reading with libtiff itself (not our loader).
class TiffReader {
public:
    explicit TiffReader(const std::vector<uint8_t>& bytes) : buffer_(AllocBuffer(bytes.size())) {
        std::memcpy(buffer_->data, bytes.data(), bytes.size());
        tiff_ = OpenMemoryBufferTiff(buffer_.get(), "rc");  // "c": strips as written, not chopped for reading
    }
    TIFF* get() const { return tiff_.get(); }
    explicit operator bool() const { return static_cast<bool>(tiff_); }

    uint32_t u32(uint32_t tag) const {
        uint32_t value = 0;
        EXPECT_TRUE(TIFFGetField(get(), tag, &value)) << "tag " << tag;
        return value;
    }
    uint16_t u16(uint32_t tag) const {
        uint16_t value = 0;
        EXPECT_TRUE(TIFFGetField(get(), tag, &value)) << "tag " << tag;
        return value;
    }
    // Whether the file holds the tag (room for up to three values of any type).
    bool has(uint32_t tag) const {
        uint64_t values[3][4] = {};
        return TIFFGetField(get(), tag, values[0], values[1], values[2]) != 0;
    }
    std::string text(uint32_t tag) const {
        const char* value = nullptr;
        return TIFFGetField(get(), tag, &value) && value ? value : "";
    }

    // The picture through libtiff's RGBA reader, as red, green, blue from the top row.
    PnmPicture rgb() const {
        if (!get()) return {};
        PnmPicture picture{static_cast<int>(u32(TIFFTAG_IMAGEWIDTH)), static_cast<int>(u32(TIFFTAG_IMAGELENGTH)), 3, {}};
        std::vector<uint32_t> raster(static_cast<size_t>(picture.width) * picture.height);
        if (!TIFFReadRGBAImageOriented(get(), picture.width, picture.height, raster.data(), ORIENTATION_TOPLEFT, 0))
            return {};
        for (uint32_t pixel : raster) {
            picture.samples.push_back(static_cast<uint8_t>(TIFFGetR(pixel)));
            picture.samples.push_back(static_cast<uint8_t>(TIFFGetG(pixel)));
            picture.samples.push_back(static_cast<uint8_t>(TIFFGetB(pixel)));
        }
        return picture;
    }

private:
    MemoryBufferPtr buffer_;
    TiffHandle tiff_;
};

// The picture as three samples per pixel (gray levels repeated), for comparing any decoder's output.
PnmPicture AsRgb(PnmPicture picture) {
    if (picture.channels != 1) return picture;
    std::vector<uint8_t> rgb;
    for (uint8_t level : picture.samples) rgb.insert(rgb.end(), {level, level, level});
    return {picture.width, picture.height, 3, std::move(rgb)};
}

// Same size and every sample within tolerance (0: identical).
::testing::AssertionResult Close(const PnmPicture& expected, const PnmPicture& actual, int tolerance) {
    if (actual.channels == 0) return ::testing::AssertionFailure() << "no picture decoded";
    if (expected.width != actual.width || expected.height != actual.height)
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height;
    const PnmPicture a = AsRgb(expected);
    const PnmPicture b = AsRgb(actual);
    for (size_t i = 0; i < a.samples.size(); ++i)
        if (std::abs(a.samples[i] - b.samples[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "sample " << i % 3 << " of pixel (" << i / 3 % a.width << ", " << i / 3 / a.width << ") is "
                   << int{b.samples[i]} << ", expected " << int{a.samples[i]} << " within " << tolerance;
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------------------------
// Every kind with every compression, read back by libtiff and by the reference tools.
// ---------------------------------------------------------------------------------------------

struct SaveCase {
    const char* name;
    ImageKind kind;
    int compression;         // the option set
    int optionsG3 = 0;
    int predictor = 0;
    int ycbcr = 0;
    int tolerance = 0;       // largest sample difference allowed on reading back (lossy codings)
    int writtenCompression = 0;  // the Compression tag expected; 0: the one set
};

uint16_t ExpectedPhotometric(const SaveCase& c) {
    switch (c.kind) {
        case ImageKind::BW:
        case ImageKind::GRAY16:
        case ImageKind::GRAY256: return PHOTOMETRIC_MINISBLACK;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: return PHOTOMETRIC_PALETTE;
        case ImageKind::RGB: return c.ycbcr || c.compression == 7 ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;
    }
    return 0;
}

class TiffSaveCases : public TiffSaveTest, public ::testing::WithParamInterface<SaveCase> {
protected:
    void SetUp() override {
        TiffSaveTest::SetUp();
        const SaveCase& c = GetParam();
        LumoSetIntOptionTiff("compression", c.compression);
        LumoSetIntOptionTiff("optionsg3", c.optionsG3);
        LumoSetIntOptionTiff("predictor", c.predictor);
        LumoSetIntOptionTiff("ycbcr", c.ycbcr);
        // Several strips, the last one short, so strip boundaries are crossed.
        LumoSetIntOptionTiff("rowsperstrip", c.compression == 7 ? 16 : 7);
    }
};

// Lossy codings are checked on smooth pictures (gradients), where their error is small and bounded;
// the lossless ones on the full pattern with noise.
ImagePtr PictureFor(const SaveCase& c, int width, int height) {
    if (c.tolerance == 0) return MakePatternImage(c.kind, width, height);
    ImagePtr image = MakePatternImage(c.kind, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t red = static_cast<uint32_t>(x * 255 / (width - 1));
            const uint32_t green = static_cast<uint32_t>(y * 255 / (height - 1));
            const uint32_t blue = static_cast<uint32_t>((x + y) * 255 / (width + height - 2));
            SetPixel(*image, x, y, c.kind == ImageKind::RGB ? red << 16 | green << 8 | blue : (red + green) / 2);
        }
    return image;
}

// 37 x 41: odd rows of every depth end inside a byte, and the strips of 7 (JPEG 16) rows leave a short last strip.
constexpr int kWidth = 37;
constexpr int kHeight = 41;

TEST_P(TiffSaveCases, ReadBackByLibtiff) {
    const SaveCase& c = GetParam();
    const ImagePtr image = PictureFor(c, kWidth, kHeight);
    const std::vector<uint8_t> before = Snapshot(*image);
    const std::vector<uint8_t> bytes = SaveToMemory(*image);
    EXPECT_EQ(Snapshot(*image), before) << "the saver changed the image";
    EXPECT_TRUE(warnings.empty()) << warnings[0].module << ": " << warnings[0].text;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);

    TiffReader tiff(bytes);
    ASSERT_TRUE(tiff);
    EXPECT_EQ(tiff.u16(TIFFTAG_COMPRESSION), c.writtenCompression ? c.writtenCompression : c.compression);
    EXPECT_EQ(tiff.u16(TIFFTAG_PHOTOMETRIC), ExpectedPhotometric(c));
    // libtiff differences 8-bit samples only; our YCbCr blocks are never differenced.
    const bool predictor = c.predictor && c.compression == 5 && image->bitsPerPixel >= 8 && !c.ycbcr;
    EXPECT_EQ(tiff.has(TIFFTAG_PREDICTOR), predictor);
    if (c.optionsG3) {
        EXPECT_EQ(tiff.u32(TIFFTAG_GROUP3OPTIONS), static_cast<uint32_t>(c.optionsG3));
    }
    EXPECT_TRUE(Close(PnmOf(*image), tiff.rgb(), c.tolerance));
}

// The file on disk is the memory image of the same save (apart from the time stamp), and ImageMagick,
// tiffinfo and Pillow read it as we wrote it.
TEST_P(TiffSaveCases, ReadBackByReferenceTools) {
    const SaveCase& c = GetParam();
    const ImagePtr image = PictureFor(c, kWidth, kHeight);
    const std::string path = tempPath("picture.tif");
    LumoSaveTiff(image.get(), path.c_str());
    std::vector<uint8_t> file = ReadBytes(path);
    std::vector<uint8_t> memory = SaveToMemory(*image);
    ASSERT_EQ(file.size(), memory.size());
    const std::string fileDate = TiffReader(file).text(TIFFTAG_DATETIME);
    const std::string memoryDate = TiffReader(memory).text(TIFFTAG_DATETIME);
    ASSERT_EQ(fileDate.size(), 19u);
    if (fileDate != memoryDate) {  // the clock ticked between the two saves
        const auto at = std::search(memory.begin(), memory.end(), memoryDate.begin(), memoryDate.end());
        ASSERT_NE(at, memory.end());
        std::copy(fileDate.begin(), fileDate.end(), at);
    }
    EXPECT_TRUE(file == memory) << "file and memory bytes differ";

    // ImageMagick 6 takes the samples of subsampled YCbCr strips for pixels (it converts only JPEG's),
    // tiffcp refuses to copy them ("Can't copy/convert subsampled image"), and Pillow reads them only
    // through libtiff's codecs, not uncompressed.
    const bool ourYCbCr = c.ycbcr && c.compression != 7;
    if (HaveTool("tiffinfo")) {
        const CommandResult info = RunCommand("tiffinfo -D " + ShellQuote(path) + " 2>&1 >/dev/null");
        EXPECT_EQ(info.status, 0);
        EXPECT_EQ(info.output, "") << "tiffinfo complains";
    }
    if (HaveTool("tiffcp") && !ourYCbCr) {
        const std::string copy = tempPath("copy.tif");
        const CommandResult cp = RunCommand("tiffcp -c none " + ShellQuote(path) + " " + ShellQuote(copy) + " 2>&1");
        EXPECT_EQ(cp.status, 0);
        EXPECT_EQ(cp.output, "") << "tiffcp complains";
        EXPECT_TRUE(Close(PnmOf(*image), TiffReader(ReadBytes(copy)).rgb(), c.tolerance)) << "tiffcp";
    }
    if (HaveTool("convert") && !ourYCbCr) {
        const CommandResult ppm = RunCommand("convert " + ShellQuote(path) + " -depth 8 ppm:- 2>/dev/null");
        ASSERT_EQ(ppm.status, 0);
        EXPECT_TRUE(Close(PnmOf(*image), ParsePnm({ppm.output.begin(), ppm.output.end()}), c.tolerance))
            << "ImageMagick";
    }
    const std::string python = PillowPython();
    if (!python.empty() && c.compression != 7 && !(ourYCbCr && c.compression == 1)) {
        const std::string script =
            "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('RGB')\n"
            "sys.stdout.buffer.write(b'P6 %d %d 255\\n' % im.size + im.tobytes())\n";
        const CommandResult ppm =
            RunCommand(python + " -c " + ShellQuote(script) + " " + ShellQuote(path) + " 2>/dev/null");
        ASSERT_EQ(ppm.status, 0);
        EXPECT_TRUE(Close(PnmOf(*image), ParsePnm({ppm.output.begin(), ppm.output.end()}), c.tolerance)) << "Pillow";
    }
}

// Largest sample errors on the gradients: chroma averaged over 2 x 2 blocks, and JPEG at quality 75.
constexpr int kChromaTolerance = 8;
constexpr int kJpegTolerance = 12;

INSTANTIATE_TEST_SUITE_P(
    Kinds, TiffSaveCases,
    ::testing::Values(SaveCase{"BwNone", ImageKind::BW, 1}, SaveCase{"BwFax3", ImageKind::BW, 3},
                      SaveCase{"BwFax3TwoD", ImageKind::BW, 3, 1}, SaveCase{"BwFax4", ImageKind::BW, 4},
                      SaveCase{"BwLzwPredictor", ImageKind::BW, 5, 0, 1}, SaveCase{"BwPackBits", ImageKind::BW, 32773},
                      SaveCase{"BwJpegAsLzw", ImageKind::BW, 7, 0, 0, 0, 0, 5},
                      SaveCase{"Gray16None", ImageKind::GRAY16, 1},
                      SaveCase{"Gray16LzwPredictor", ImageKind::GRAY16, 5, 0, 1},
                      SaveCase{"Gray16PackBits", ImageKind::GRAY16, 32773},
                      SaveCase{"Gray16JpegAsLzw", ImageKind::GRAY16, 7, 0, 0, 0, 0, 5},
                      SaveCase{"Gray256None", ImageKind::GRAY256, 1}, SaveCase{"Gray256Lzw", ImageKind::GRAY256, 5},
                      SaveCase{"Gray256LzwPredictor", ImageKind::GRAY256, 5, 0, 1},
                      SaveCase{"Gray256PackBits", ImageKind::GRAY256, 32773},
                      SaveCase{"Gray256Jpeg", ImageKind::GRAY256, 7, 0, 0, 0, kJpegTolerance},
                      SaveCase{"Color16None", ImageKind::COLOR16, 1}, SaveCase{"Color16Lzw", ImageKind::COLOR16, 5},
                      SaveCase{"Color16PackBits", ImageKind::COLOR16, 32773},
                      SaveCase{"Color16JpegAsLzw", ImageKind::COLOR16, 7, 0, 0, 0, 0, 5},
                      SaveCase{"Color256None", ImageKind::COLOR256, 1},
                      SaveCase{"Color256LzwPredictor", ImageKind::COLOR256, 5, 0, 1},
                      SaveCase{"Color256PackBits", ImageKind::COLOR256, 32773},
                      SaveCase{"Color256JpegAsLzw", ImageKind::COLOR256, 7, 0, 0, 0, 0, 5},
                      SaveCase{"RgbNone", ImageKind::RGB, 1}, SaveCase{"RgbLzw", ImageKind::RGB, 5},
                      SaveCase{"RgbLzwPredictor", ImageKind::RGB, 5, 0, 1},
                      SaveCase{"RgbPackBits", ImageKind::RGB, 32773},
                      SaveCase{"RgbJpeg", ImageKind::RGB, 7, 0, 0, 0, kJpegTolerance},
                      SaveCase{"RgbJpegYCbCrOption", ImageKind::RGB, 7, 0, 0, 1, kJpegTolerance},
                      SaveCase{"RgbYCbCrNone", ImageKind::RGB, 1, 0, 0, 1, kChromaTolerance},
                      SaveCase{"RgbYCbCrLzwPredictor", ImageKind::RGB, 5, 0, 1, 1, kChromaTolerance},
                      SaveCase{"RgbYCbCrPackBits", ImageKind::RGB, 32773, 0, 0, 1, kChromaTolerance}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Rows per strip: the automatic rule, and the values it must never give.
// ---------------------------------------------------------------------------------------------

struct StripCase {
    const char* name;
    ImageKind kind;
    int width;
    int height;
    int compression;
    int rowsPerStripOption;
    int ycbcr;
    uint32_t expectedRows;
};

class TiffStripCases : public TiffSaveTest, public ::testing::WithParamInterface<StripCase> {};

TEST_P(TiffStripCases, RowsPerStripAndReadable) {
    const StripCase& c = GetParam();
    LumoSetIntOptionTiff("compression", c.compression);
    LumoSetIntOptionTiff("rowsperstrip", c.rowsPerStripOption);
    LumoSetIntOptionTiff("ycbcr", c.ycbcr);
    const ImagePtr image = MakeUniformRGB(c.width, c.height, 200, 40, 90);
    const ImagePtr picture = c.kind == ImageKind::RGB ? nullptr : MakeUniformGray(c.width, c.height, 77);
    const IMG& saved = picture ? *picture : *image;
    TiffReader tiff(SaveToMemory(saved));
    ASSERT_TRUE(tiff);
    EXPECT_EQ(tiff.u32(TIFFTAG_ROWSPERSTRIP), c.expectedRows);
    EXPECT_EQ(TIFFNumberOfStrips(tiff.get()), (c.height + c.expectedRows - 1) / c.expectedRows);
    // Lossy codings of one colour come back within a few steps.
    EXPECT_TRUE(Close(PnmOf(saved), tiff.rgb(), c.compression == 7 || c.ycbcr ? 3 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TiffStripCases,
    ::testing::Values(
        // 100 x 100 GRAY256: 10000 bytes, under 65000: one strip.
        StripCase{"SmallPictureOneStrip", ImageKind::GRAY256, 100, 100, 1, 0, 0, 100},
        // 1000 x 1000 GRAY256: 8192 / 1000 rows uncompressed, 16384 / 1000 compressed.
        StripCase{"UncompressedEightKilobytes", ImageKind::GRAY256, 1000, 1000, 1, 0, 0, 8},
        StripCase{"LzwSixteenKilobytes", ImageKind::GRAY256, 1000, 1000, 5, 0, 0, 16},
        StripCase{"PackBitsSixteenKilobytes", ImageKind::GRAY256, 1000, 1000, 32773, 0, 0, 16},
        // 1000 RGB pixels (3000 bytes): 4096 / 3000 = 1, times 16.
        StripCase{"JpegSixteenRowsPerFourKilobytes", ImageKind::RGB, 1000, 100, 7, 0, 0, 16},
        // Rows past the budget (9000 bytes > 8192, 30000 > 16384, 6000 > 4096) still get a strip.
        StripCase{"WideRowUncompressedOneRow", ImageKind::RGB, 3000, 30, 1, 0, 0, 1},
        StripCase{"WideRowLzwOneRow", ImageKind::RGB, 10000, 7, 5, 0, 0, 1},
        StripCase{"WideRowJpegSixteenRows", ImageKind::RGB, 2000, 40, 7, 0, 0, 16},
        StripCase{"WideRowJpegGraySixteenRows", ImageKind::GRAY256, 5000, 40, 7, 0, 0, 16},
        // A chosen value is written as it is, except where a codec needs whole blocks of rows.
        StripCase{"ChosenValue", ImageKind::RGB, 50, 50, 1, 5, 0, 5},
        StripCase{"ChosenValueJpegWholeMcuRows", ImageKind::RGB, 50, 50, 7, 5, 0, 16},
        StripCase{"ChosenValueJpegWholePicture", ImageKind::RGB, 50, 50, 7, 100, 0, 100},
        StripCase{"ChosenValueYCbCrWholeBlockRows", ImageKind::RGB, 50, 50, 1, 5, 1, 6},
        StripCase{"AutomaticYCbCrWholeBlockRows", ImageKind::RGB, 3000, 9, 1, 0, 1, 2}),
    [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Tags
// ---------------------------------------------------------------------------------------------

TEST_F(TiffSaveTest, ColorMapScalesEachValueTo16Bits) {
    const ImagePtr image = MakePatternImage(ImageKind::COLOR256, 4, 4);
    LumoSetPaletteEntry(image->palette, 0, 255, 0, 128);
    LumoSetPaletteEntry(image->palette, 255, 1, 254, 255);
    TiffReader tiff(SaveToMemory(*image));
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_COLORMAP, &red, &green, &blue));
    EXPECT_EQ(red[0], 65535);
    EXPECT_EQ(green[0], 0);
    EXPECT_EQ(blue[0], 128 * 257);
    EXPECT_EQ(red[255], 257);
    EXPECT_EQ(green[255], 254 * 257);
    EXPECT_EQ(blue[255], 65535);
}

TEST_F(TiffSaveTest, PaletteKindWithoutPaletteGetsBlackEntries) {
    ImagePtr image = MakePatternImage(ImageKind::COLOR16, 5, 3);
    LumoFreePalette(image->palette);
    image->palette = nullptr;
    TiffReader tiff(SaveToMemory(*image));
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_COLORMAP, &red, &green, &blue));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(red[i] | green[i] | blue[i], 0) << i;
}

TEST_F(TiffSaveTest, DateTimeIsTheLocalTimeOfTheSave) {
    const ImagePtr image = MakeUniformGray(3, 3, 9);
    const std::time_t before = std::time(nullptr);
    TiffReader tiff(SaveToMemory(*image));
    const std::time_t after = std::time(nullptr);
    const std::string stamp = tiff.text(TIFFTAG_DATETIME);
    ASSERT_EQ(stamp.size(), 19u) << stamp;
    std::tm written{};
    ASSERT_NE(strptime(stamp.c_str(), "%Y:%m:%d %H:%M:%S", &written), nullptr) << stamp;
    written.tm_isdst = -1;
    const std::time_t when = std::mktime(&written);
    EXPECT_GE(when, before);
    EXPECT_LE(when, after);
    // Zero-padded fields: "YYYY:MM:DD HH:MM:SS".
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y:%m:%d %H:%M:%S", &written);
    EXPECT_EQ(stamp, expected);
}

TEST_F(TiffSaveTest, SoftwareTagFollowsTheOption) {
    const ImagePtr image = MakeUniformGray(3, 3, 9);
    EXPECT_EQ(TiffReader(SaveToMemory(*image)).text(TIFFTAG_SOFTWARE), kSoftwareName);
    std::string name = "Batch 7";
    LumoSetStringOptionTiff("software", name.c_str());
    name = "changed";  // the option holds its own copy
    EXPECT_STREQ(LumoGetStringOptionTiff("software"), "Batch 7");
    EXPECT_EQ(TiffReader(SaveToMemory(*image)).text(TIFFTAG_SOFTWARE), "Batch 7");
    LumoSetStringOptionTiff("software", nullptr);
    EXPECT_FALSE(TiffReader(SaveToMemory(*image)).has(TIFFTAG_SOFTWARE));
}

TEST_F(TiffSaveTest, ResolutionWrittenOnlyWhenBothAreUsable) {
    ImagePtr image = MakeUniformGray(3, 3, 9);
    image->xResolution = 300;
    image->yResolution = 150;
    {
        TiffReader tiff(SaveToMemory(*image));
        float x = 0, y = 0;
        ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &x));
        ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &y));
        EXPECT_EQ(x, 300);
        EXPECT_EQ(y, 150);
        EXPECT_FALSE(tiff.has(TIFFTAG_RESOLUTIONUNIT));  // readers take inches
    }
    for (const auto& [x, y] : {std::pair{300.0f, 0.0f}, {0.0f, 300.0f}, {-72.0f, 72.0f}, {NAN, 72.0f}}) {
        image->xResolution = x;
        image->yResolution = y;
        TiffReader tiff(SaveToMemory(*image));
        EXPECT_FALSE(tiff.has(TIFFTAG_XRESOLUTION)) << x << " " << y;
        EXPECT_FALSE(tiff.has(TIFFTAG_YRESOLUTION)) << x << " " << y;
    }
}

// ---------------------------------------------------------------------------------------------
// Our YCbCr encoder
// ---------------------------------------------------------------------------------------------

std::vector<uint8_t> RawStrip(const TiffReader& tiff, uint32_t strip) {
    std::vector<uint8_t> bytes(static_cast<size_t>(TIFFRawStripSize(tiff.get(), strip)));
    bytes.resize(static_cast<size_t>(TIFFReadRawStrip(tiff.get(), strip, bytes.data(), static_cast<tmsize_t>(bytes.size()))));
    return bytes;
}

// A 3 x 3 picture in 2 x 2 blocks: four blocks, each 4 luma codes then Cb and Cr; block positions
// outside the picture hold luma 0, and the chroma is the mean of the pixels inside.
TEST_F(TiffSaveTest, YCbCrBlocksHoldLumaThenChromaWithFillOutside) {
    LumoSetIntOptionTiff("ycbcr", 1);
    ImagePtr image = MakeUniformRGB(3, 3, 255, 255, 255);
    SetPixel(*image, 0, 0, 0xFF0000);  // pure red top left: luma 76.245, Cb -43.03, Cr 127.5
    TiffReader tiff(SaveToMemory(*image));
    uint16_t h = 0, v = 0;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_YCBCRSUBSAMPLING, &h, &v));
    EXPECT_EQ(h, 2);
    EXPECT_EQ(v, 2);
    // Cb of the first block: (-43.03 + 3 x 0) / 4 = -10.76 -> 128 - 10.76 + 0.5 = 117.7 -> 117;
    // Cr: 127.5 / 4 = 31.9 -> 160.4 -> 160.
    const std::vector<uint8_t> expected = {76,  255, 255, 255, 117, 160,  // columns 0-1, rows 0-1
                                           255, 0,   255, 0,   128, 128,  // column 2 and fill
                                           255, 255, 0,   0,   128, 128,  // row 2 and fill
                                           255, 0,   0,   0,   128, 128};
    EXPECT_EQ(RawStrip(tiff, 0), expected);

    // Red alone: Cr code 128 + 127.5 + 0.5 = 256 stays at 255; Cb 128 - 43.03 + 0.5 -> 85.
    const ImagePtr red = MakeUniformRGB(1, 1, 255, 0, 0);
    LumoSetIntOptionTiff("hsubsampling", 1);
    LumoSetIntOptionTiff("vsubsampling", 1);
    TiffReader single(SaveToMemory(*red));
    EXPECT_EQ(RawStrip(single, 0), (std::vector<uint8_t>{76, 85, 255}));
}

// Red, green, blue and gray pictures saved as YCbCr come back as the same colours.
TEST_F(TiffSaveTest, YCbCrKeepsColours) {
    LumoSetIntOptionTiff("ycbcr", 1);
    for (const uint32_t colour : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0x808080u, 0xFFFFFFu, 0x000000u}) {
        const ImagePtr image = MakeUniformRGB(9, 7, colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF);
        EXPECT_TRUE(Close(PnmOf(*image), TiffReader(SaveToMemory(*image)).rgb(), 3)) << std::hex << colour;
    }
}

// The subsamplings TIFF allows read back through libtiff; the others are refused before writing.
class TiffSubsamplingCases : public TiffSaveTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(TiffSubsamplingCases, AllowedOnesReadBackOthersRefused) {
    const auto [h, v] = GetParam();
    LumoSetIntOptionTiff("ycbcr", 1);
    LumoSetIntOptionTiff("hsubsampling", h);
    LumoSetIntOptionTiff("vsubsampling", v);
    LumoSetIntOptionTiff("rowsperstrip", 3);  // rounded up to whole block rows
    const ImagePtr image = MakeUniformRGB(13, 11, 30, 160, 220);
    const bool allowed = (h == 1 || h == 2 || h == 4) && (v == 1 || v == 2 || v == 4) && v <= h;
    if (!allowed) {
        const std::string message = "Can't write YCbCr subsampling " + std::to_string(h) + " x " + std::to_string(v) +
                                    ": 1, 2 or 4 each way, vertical at most horizontal";
        EXPECT_LUMO_ERROR(SaveToMemory(*image), "LumoSaveTiff", message);
        return;
    }
    TiffReader tiff(SaveToMemory(*image));
    EXPECT_EQ(tiff.u32(TIFFTAG_ROWSPERSTRIP) % static_cast<uint32_t>(v), 0u);
    // Whole blocks only, the short last strip with its own length: no byte past the picture's blocks.
    uint64_t* counts = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &counts));
    uint64_t total = 0;
    for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tiff.get()); ++strip) total += counts[strip];
    EXPECT_EQ(total, static_cast<uint64_t>((13 + h - 1) / h) * ((11 + v - 1) / v) * (h * v + 2));
    EXPECT_TRUE(Close(PnmOf(*image), tiff.rgb(), 3));
}

std::string SubsamplingName(const ::testing::TestParamInfo<std::pair<int, int>>& info) {
    const auto number = [](int n) { return n < 0 ? "Minus" + std::to_string(-n) : std::to_string(n); };
    return number(info.param.first) + "By" + number(info.param.second);
}

INSTANTIATE_TEST_SUITE_P(Subsamplings, TiffSubsamplingCases,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 1}, std::pair{2, 2}, std::pair{4, 1},
                                           std::pair{4, 2}, std::pair{4, 4}, std::pair{1, 2}, std::pair{2, 4},
                                           std::pair{3, 3}, std::pair{0, 1}, std::pair{8, 8}, std::pair{2, -2}),
                         SubsamplingName);

// ---------------------------------------------------------------------------------------------
// Defined bytes, refusals and the safety of an existing file
// ---------------------------------------------------------------------------------------------

// Bits past the last pixel of a row hold whatever the image's padding holds; the file gets zeros.
TEST_F(TiffSaveTest, RowPaddingIsNotWritten) {
    for (const ImageKind kind : {ImageKind::BW, ImageKind::GRAY16}) {
        ImagePtr image = MakePatternImage(kind, kind == ImageKind::BW ? 10 : 3, 4);
        std::fill(image->bits, image->bits + PixelBytes(*image), 0xFF);
        const std::vector<uint8_t> strip = RawStrip(TiffReader(SaveToMemory(*image)), 0);
        ASSERT_EQ(strip.size(), 8u);
        for (size_t row = 0; row < 4; ++row) {
            EXPECT_EQ(strip[2 * row], 0xFF);
            EXPECT_EQ(strip[2 * row + 1], kind == ImageKind::BW ? 0xC0 : 0xF0) << KindName(kind) << " row " << row;
        }
    }
}

TEST_F(TiffSaveTest, OptionNamesAreExact) {
    EXPECT_LUMO_ERROR(LumoSetIntOptionTiff("Compression", 5), "LumoSetIntOptionTiff", "Unknown tiff option: Compression");
    EXPECT_LUMO_ERROR(LumoGetIntOptionTiff("software"), "LumoGetIntOptionTiff", "Unknown tiff option: software");
    EXPECT_LUMO_ERROR(LumoSetStringOptionTiff("compression", "x"), "LumoSetStringOptionTiff",
                      "Unknown tiff option: compression");
    EXPECT_LUMO_ERROR(LumoGetStringOptionTiff("soft"), "LumoGetStringOptionTiff", "Unknown tiff option: soft");
}

TEST_F(TiffSaveTest, CompressionLibtiffCannotWriteIsRefused) {
    const ImagePtr image = MakeUniformGray(4, 4, 1);
    LumoSetIntOptionTiff("compression", -1);  // the dispatch's "not decided"
    EXPECT_LUMO_ERROR(SaveToMemory(*image), "LumoSaveTiff", "Unknown TIFF compression -1");
    LumoSetIntOptionTiff("compression", 65536 + 5);  // not LZW cut to 16 bits
    EXPECT_LUMO_ERROR(SaveToMemory(*image), "LumoSaveTiff", "Unknown TIFF compression 65541");
    LumoSetIntOptionTiff("compression", 12345);
    EXPECT_LUMO_ERROR(SaveToMemory(*image), "LumoSaveTiff", "Unknown TIFF compression 12345");
}

TEST_F(TiffSaveTest, JpegOfAnotherKindIsAnnouncedWhenVerbose) {
    LumoSetIntOptionTiff("compression", 7);
    LumoSetIntOption("verbose", 1);
    const ImagePtr image = MakePatternImage(ImageKind::COLOR16, 4, 4);
    EXPECT_EQ(TiffReader(SaveToMemory(*image)).u16(TIFFTAG_COMPRESSION), 5);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "LumoSaveTiff");
    EXPECT_EQ(warnings[0].text, "JPEG needs an RGB or GRAY256 image: COLOR16 written with LZW");
}

TEST_F(TiffSaveTest, EmptyImageIsRefused) {
    const ImagePtr image = LumoCreateImage(5, 0, GRAY, nullptr, 8);
    EXPECT_LUMO_ERROR(SaveToMemory(*image), "LumoSaveTiff", "Can't save an empty image (5 x 0)");
}

TEST_F(TiffSaveTest, UnwritablePathIsReported) {
    const ImagePtr image = MakeUniformGray(4, 4, 1);
    const std::string path = tempPath("missing/picture.tif");
    EXPECT_LUMO_ERROR(LumoSaveTiff(image.get(), path.c_str()), "LumoOpenTiff", "Can't open TIFF File " + path + ": No such file or directory");
}

// A save that fails before or while writing pixels leaves the file that was there untouched.
TEST_F(TiffSaveTest, FailedSaveKeepsTheExistingFile) {
    const std::string path = tempPath("kept.tif");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(path, old);
    const ImagePtr gray = MakePatternImage(ImageKind::GRAY256, 20, 20);

    LumoSetIntOptionTiff("compression", 4);  // libtiff refuses fax coding of 8-bit samples
    try {
        LumoSaveTiff(gray.get(), path.c_str());
        ADD_FAILURE() << "no error";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), "LumoSaveTiff");
        EXPECT_NE(std::string(failure.text()).find("Bits/sample must be 1"), std::string::npos) << failure.text();
    }
    EXPECT_EQ(ReadBytes(path), old);

    LumoSetIntOptionTiff("compression", 1);
    LumoSetIntOptionTiff("ycbcr", 1);
    LumoSetIntOptionTiff("hsubsampling", 3);
    const ImagePtr rgb = MakePatternImage(ImageKind::RGB, 20, 20);
    EXPECT_ANY_THROW(LumoSaveTiff(rgb.get(), path.c_str()));
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()), {}), 1) << "a temporary file was left";
}

// A picture whose uncompressed file would pass 4 GiB is refused at once: 21844 x 65535 RGB is 4294639620
// bytes of pixels, and its 65535 one-row strips need 524280 bytes of offsets and counts (the rest: 4096
// for the directory and 10 for the software name). The pixels are a read-only mapping of zero pages, never touched.
TEST_F(TiffSaveTest, PictureBeyondClassicTiffIsRefused) {
    const int width = 21844;
    const int height = 65535;
    const size_t bytes = static_cast<size_t>(RowBytesFor(width, 24)) * height;
    void* pixels = ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pixels, MAP_FAILED);
    IMG image{width, static_cast<uint16_t>(RowBytesFor(width, 24)), height, COLOR, 24, 0, 0, nullptr,
              static_cast<uint8_t*>(pixels)};
    // Should the check miss, stop at the first row rather than write 4 GB.
    const LumoProgressHook previous = LumoSetProgressHandler([](int value) {
        if (value >= 0) throw LumoFailure("test", "pixels were written");
    });
    const std::string path = tempPath("huge.tif");
    EXPECT_LUMO_ERROR(LumoSaveTiff(&image, path.c_str()), "LumoSaveTiff",
                      "Image too large for a TIFF file: 21844 x 65535 RGB needs 4295168006 bytes, more than 4 GiB");
    EXPECT_FALSE(std::filesystem::exists(path));
    LumoSetProgressHandler(previous);
    ::munmap(pixels, bytes);
}

}  // namespace
