#include <sys/mman.h>

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
        tiff_ = OpenMemoryBufferTiff(buffer_.get(), "r");
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

    if (HaveTool("tiffinfo")) {
        const CommandResult info = RunCommand("tiffinfo -D " + ShellQuote(path) + " 2>&1 >/dev/null");
        EXPECT_EQ(info.status, 0);
        EXPECT_EQ(info.output, "") << "tiffinfo complains";
    }
    // ImageMagick 6 takes the samples of subsampled YCbCr strips for pixels (it converts only JPEG's),
    // and Pillow reads such strips only through libtiff's codecs, not uncompressed.
    const bool ourYCbCr = c.ycbcr && c.compression != 7;
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

}  // namespace
