#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "core/orientation.h"
#include "formats/memory_buffer.h"
#include "formats/tiff/tiff.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

// ---- A TIFF written field by field (little-endian, one strip), for the layouts no tool writes ----

constexpr uint16_t kShort = 3, kLong = 4, kRational = 5;
constexpr uint32_t kDataOffset = 0xFFFF0000;  // kDataOffset + n in a LONG value: n bytes into the data

struct Field {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values;  // rationals as numerator, denominator pairs
};

void Put16(std::vector<uint8_t>& out, uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

// Header, one directory, the values that do not fit an entry, then data. Untiled files get the data
// as one strip unless they say otherwise.
std::vector<uint8_t> BuildTiff(std::vector<Field> fields, const std::vector<uint8_t>& data) {
    const auto has = [&](uint16_t tag) {
        return std::any_of(fields.begin(), fields.end(), [&](const Field& f) { return f.tag == tag; });
    };
    if (!has(273) && !has(324)) fields.push_back({273, kLong, {kDataOffset}});
    if (!has(279) && !has(325)) fields.push_back({279, kLong, {static_cast<uint32_t>(data.size())}});
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
    std::vector<std::vector<uint8_t>> values;
    size_t extraSize = 0;
    for (const Field& f : fields) {
        std::vector<uint8_t> bytes;
        for (uint32_t v : f.values) f.type == kShort ? Put16(bytes, v) : Put32(bytes, v);
        if (bytes.size() > 4) extraSize += bytes.size();
        values.push_back(bytes);
    }
    const uint32_t extraAt = static_cast<uint32_t>(8 + 2 + 12 * fields.size() + 4);
    const uint32_t dataAt = static_cast<uint32_t>(extraAt + extraSize);
    std::vector<uint8_t> out = {'I', 'I', 42, 0};
    Put32(out, 8);
    Put16(out, static_cast<uint32_t>(fields.size()));
    std::vector<uint8_t> extra;
    for (size_t i = 0; i < fields.size(); ++i) {
        std::vector<uint8_t>& bytes = values[i];
        if (fields[i].type == kLong) {
            bytes.clear();
            for (uint32_t v : fields[i].values) Put32(bytes, v >= kDataOffset ? dataAt + (v - kDataOffset) : v);
        }
        Put16(out, fields[i].tag);
        Put16(out, fields[i].type);
        Put32(out, static_cast<uint32_t>(fields[i].type == kRational ? fields[i].values.size() / 2
                                                                     : fields[i].values.size()));
        if (bytes.size() <= 4) {
            bytes.resize(4, 0);
            out.insert(out.end(), bytes.begin(), bytes.end());
        } else {
            Put32(out, static_cast<uint32_t>(extraAt + extra.size()));
            extra.insert(extra.end(), bytes.begin(), bytes.end());
        }
    }
    Put32(out, 0);
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The fields of a plain strip image of one strip.
std::vector<Field> Basic(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples, uint32_t photometric) {
    return {{256, kLong, {width}},   {257, kLong, {height}},       {258, kShort, std::vector<uint32_t>(samples, bits)},
            {259, kShort, {1}},      {262, kShort, {photometric}}, {277, kShort, {samples}},
            {278, kLong, {height}}};
}

std::vector<Field> With(std::vector<Field> fields, const Field& field) {
    std::erase_if(fields, [&](const Field& f) { return f.tag == field.tag; });
    fields.push_back(field);
    return fields;
}

// A YCbCr file with the given subsampling: each block's luma bytes vary across the picture, the
// chroma pair across the blocks.
std::vector<uint8_t> YCbCrFile(uint32_t width, uint32_t height, uint32_t h, uint32_t v, size_t cutData = 0) {
    std::vector<uint8_t> data;
    const uint32_t across = (width + h - 1) / h, down = (height + v - 1) / v;
    for (uint32_t by = 0; by < down; ++by)
        for (uint32_t bx = 0; bx < across; ++bx) {
            for (uint32_t j = 0; j < v; ++j)
                for (uint32_t i = 0; i < h; ++i) data.push_back(uint8_t(40 + 7 * (bx * h + i) + 11 * (by * v + j)));
            data.push_back(uint8_t(90 + 13 * bx));
            data.push_back(uint8_t(200 - 9 * by));
        }
    data.resize(data.size() - cutData);
    auto fields = Basic(width, height, 8, 3, 6);
    fields.push_back({530, kShort, {h, v}});
    fields.push_back({532, kRational, {0, 1, 255, 1, 128, 1, 255, 1, 128, 1, 255, 1}});
    return BuildTiff(fields, data);
}

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes, const char* name = "test.tif") {
    MemoryBufferPtr buffer = AllocBuffer(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer->data);
    TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "r");
    if (!tiff) tiff.fail("LumoLoadTiff", "not opened");
    return LoadTiffFrom(tiff, name);
}

// Every sample of the image against the reference picture, within tolerance.
::testing::AssertionResult Matches(const IMG& image, const PnmPicture& expected, int tolerance) {
    const PnmPicture actual = PnmOf(image);
    if (expected.channels == 0) return ::testing::AssertionFailure() << "no reference picture";
    if (actual.width != expected.width || actual.height != expected.height || actual.channels != expected.channels)
        return ::testing::AssertionFailure() << actual.width << "x" << actual.height << "x" << actual.channels
                                             << ", expected " << expected.width << "x" << expected.height << "x"
                                             << expected.channels;
    for (size_t i = 0; i < actual.samples.size(); ++i)
        if (std::abs(actual.samples[i] - expected.samples[i]) > tolerance) {
            const size_t pixel = i / actual.channels;
            return ::testing::AssertionFailure() << "sample " << i % actual.channels << " of pixel ("
                                                 << pixel % actual.width << ", " << pixel / actual.width << ") is "
                                                 << int(actual.samples[i]) << ", expected " << int(expected.samples[i]);
        }
    return ::testing::AssertionSuccess();
}

PnmPicture FlippedVertically(PnmPicture picture) {
    const size_t row = static_cast<size_t>(picture.width) * picture.channels;
    for (int y = 0; y < picture.height / 2; ++y)
        std::swap_ranges(picture.samples.begin() + static_cast<long>(y * row),
                         picture.samples.begin() + static_cast<long>((y + 1) * row),
                         picture.samples.begin() + static_cast<long>((picture.height - 1 - y) * row));
    return picture;
}

constexpr const char* kBilevel = "/usr/bin/convert {src} -threshold 50% -depth 1 -compress none {tmp} && ";

class TiffLoadTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        if (!HaveTool("/usr/bin/convert") || !HaveTool("tiffcp")) GTEST_SKIP() << "reference tools missing";
        source_ = tempPath("source.ppm");
        WritePnm(*MakePatternImage(ImageKind::RGB, 37, 23, 5), source_);
    }
    void TearDown() override {
        LumoSetIntOption("maxpixels", 178956970);
        LumoTest::TearDown();
    }

    // Runs a shell command with {src}, {tmp} and {out} replaced by the source picture, a scratch TIFF
    // and the file to make.
    std::string Make(std::string command, const std::string& name = "made.tif") {
        const std::map<std::string, std::string> names = {
            {"{bw}", kBilevel}, {"{src}", ShellQuote(source_)}, {"{tmp}", ShellQuote(tempPath("scratch.tif"))},
            {"{out}", ShellQuote(tempPath(name))}, {"{py}", PillowPython()}};
        for (const auto& [key, value] : names)
            for (size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
        const CommandResult result = RunCommand(command + " 2>&1");
        EXPECT_EQ(result.status, 0) << command << "\n" << result.output;
        return tempPath(name);
    }
    // What ImageMagick decodes from the file (gray or colour samples).
    PnmPicture Reference(const std::string& path, bool gray) {
        return ParsePnm(ReadBytes(Make("/usr/bin/convert " + ShellQuote(path) + " -depth 8 " +
                                           (gray ? "pgm:{out}" : "ppm:{out}"),
                                       "reference.pnm")));
    }

    std::string source_;
};

// ---- Files made by the reference tools, loaded and compared with the tools' own decoding ----

struct ToolCase {
    const char* name;
    const char* command;  // makes {out}
    ImageKind kind;
    int tolerance;
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }
class TiffToolTest : public TiffLoadTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(TiffToolTest, LoadsWhatImageMagickDecodes) {
    const ToolCase& c = GetParam();
    if (std::strstr(c.command, "{py}") && PillowPython().empty()) GTEST_SKIP() << "Pillow missing";
    const std::string path = Make(c.command);
    ImagePtr image = LumoLoadTiff(path.c_str());
    EXPECT_EQ(KindName(KindOf(*image)), std::string(KindName(c.kind)));
    EXPECT_TRUE(Matches(*image, Reference(path, image->colorClass != COLOR), c.tolerance));
    EXPECT_TRUE(warnings.empty()) << warnings[0].text;
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffToolTest,
    ::testing::Values(
        ToolCase{"Uncompressed", "/usr/bin/convert {src} -depth 8 -compress none {out}", ImageKind::RGB, 0},
        ToolCase{"Lzw", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -c lzw {tmp} {out}", ImageKind::RGB, 0},
        ToolCase{"LzwPredictor", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -c lzw:2 -r 4 {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"PackBits", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -c packbits {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"Deflate", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -c zip {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"Jpeg", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -c jpeg -r 16 {tmp} {out}",
                 ImageKind::RGB, 12},
        ToolCase{"G3OneDimensional", "{bw}tiffcp -c g3 {tmp} {out}", ImageKind::BW, 0},
        ToolCase{"G3TwoDimensional", "{bw}tiffcp -c g3:2d {tmp} {out}", ImageKind::BW, 0},
        ToolCase{"G4", "{bw}tiffcp -c g4 {tmp} {out}", ImageKind::BW, 0},
        ToolCase{"BilevelMinIsWhite",
                 "/usr/bin/convert {src} -threshold 50% -depth 1 -define quantum:polarity=min-is-white "
                 "-compress none {out}",
                 ImageKind::BW, 0},
        ToolCase{"GrayMinIsWhite",
                 "/usr/bin/convert {src} -colorspace gray -depth 8 -define quantum:polarity=min-is-white "
                 "-compress none {out}",
                 ImageKind::GRAY256, 0},
        ToolCase{"Gray4", "/usr/bin/convert {src} -colorspace gray -depth 4 -compress none {out}", ImageKind::GRAY16,
                 0},
        ToolCase{"Gray8", "/usr/bin/convert {src} -colorspace gray -depth 8 -compress lzw {out}", ImageKind::GRAY256,
                 0},
        ToolCase{"Palette4", "/usr/bin/convert {src} -colors 12 -type palette -depth 4 -compress none {out}",
                 ImageKind::COLOR16, 0},
        // ImageMagick's quantized ColorMap entries are not all multiples of 257: it rounds them to 8
        // bits where the high byte is kept here.
        ToolCase{"Palette8", "/usr/bin/convert {src} -colors 200 -type palette -compress lzw {out}",
                 ImageKind::COLOR256, 1},
        ToolCase{"TiledRgb", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -t -w 16 -l 16 -c lzw {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"TiledGray4",
                 "/usr/bin/convert {src} -colorspace gray -depth 4 -compress none {tmp} && tiffcp -t -w 16 -l 32 "
                 "{tmp} {out}",
                 ImageKind::GRAY16, 0},
        ToolCase{"TiledBilevel", "{bw}tiffcp -t -w 16 -l 16 -c g4 {tmp} {out}", ImageKind::BW, 0},
        ToolCase{"TiledJpeg", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -t -w 16 -l 16 -c jpeg {tmp} {out}",
                 ImageKind::RGB, 12},
        ToolCase{"PlanarRgb", "/usr/bin/convert {src} -compress none {tmp} && tiffcp -p separate -r 5 -c lzw {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"PlanarTiledRgb",
                 "/usr/bin/convert {src} -compress none {tmp} && tiffcp -p separate -t -w 16 -l 16 {tmp} {out}",
                 ImageKind::RGB, 0},
        ToolCase{"Rgba", "/usr/bin/convert {src} -alpha set -compress none {out}", ImageKind::RGB, 0},
        ToolCase{"Cmyk", "/usr/bin/convert {src} -colorspace cmyk -compress none {out}", ImageKind::RGB, 2},
        ToolCase{"Gray16", "/usr/bin/convert {src} -colorspace gray -depth 16 -compress none {out}",
                 ImageKind::GRAY256, 1},
        ToolCase{"Rgb16", "/usr/bin/convert {src} -depth 16 -compress lzw {out}", ImageKind::RGB, 1},
        ToolCase{"Palette2", "/usr/bin/convert {src} -colors 4 -type palette -depth 2 -compress none {out}",
                 ImageKind::RGB, 0},
        ToolCase{"GrayWithAlpha",
                 "{py} -c \"from PIL import Image; Image.open({src}).convert('LA').save({out})\"",
                 ImageKind::GRAY256, 0}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

// ---- Orientation ----

// Every Orientation value in strips, tiles, separate planes, YCbCr and libtiff's RGBA reader (tiled
// planes): the load gives the picture the JPEG path's turn gives (LumoOrientImage of the stored rows).
TEST_F(TiffLoadTest, EveryOrientationLoadsUprightWhateverTheReader) {
    const ImagePtr stored = MakePatternImage(ImageKind::RGB, 37, 23, 5);  // what source_ holds
    const char* const layouts[] = {"-c none", "-c lzw -t -w 16 -l 16", "-c none -p separate",
                                   "-c none -p separate -t -w 16 -l 16", "-c none -r 5"};
    for (const char* layout : layouts)
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(layout) + ", orientation " + std::to_string(orientation));
            const std::string file = Make("/usr/bin/convert {src} -compress none {tmp} && tiffcp " + std::string(layout) +
                                          " {tmp} {out} && tiffset -s 274 " + std::to_string(orientation) + " {out}");
            const ImagePtr loaded = LumoLoadTiff(file.c_str());
            EXPECT_TRUE(SamePixels(*LumoOrientImage(stored.get(), static_cast<Orientation>(orientation)), *loaded));
            const ImageInfo info = ReadTiffInfo(file.c_str());
            EXPECT_EQ(info.width, loaded->width);
            EXPECT_EQ(info.height, loaded->height);
        }
    EXPECT_TRUE(warnings.empty());
}

// With AutoRotate off, a bottom-left file is still read upright; other values load as stored, with
// a warning.
TEST_F(TiffLoadTest, WithoutAutoRotateOtherOrientationsLoadAsStoredWithAWarning) {
    const PnmPicture stored = ParsePnm(ReadBytes(source_));  // the rows as the file stores them
    LumoSetIntOptionTiff("autorotate", 0);
    const std::string bottomLeft = Make("/usr/bin/convert {src} -compress none {out} && tiffset -s 274 4 {out}", "bl.tif");
    ImagePtr upright = LumoLoadTiff(bottomLeft.c_str());
    EXPECT_TRUE(Matches(*upright, FlippedVertically(stored), 0));
    EXPECT_TRUE(warnings.empty());

    const std::string rotated = Make("/usr/bin/convert {src} -compress none {tmp} && tiffcp -c lzw {tmp} {out} && "
                                     "tiffset -s 274 3 {out}", "br.tif");
    ImagePtr asStored = LumoLoadTiff(rotated.c_str());
    LumoSetIntOptionTiff("autorotate", 1);
    EXPECT_TRUE(Matches(*asStored, stored, 0));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "LumoLoadTiff");
    EXPECT_EQ(warnings[0].text, "Can't handle this orientation: 3");
}

// ---- Pages ----

// Each page of a scanned document: its size and kind listed, and loaded by the "page" option.
TEST_F(TiffLoadTest, PagesAreListedAndLoadedOneByOne) {
    const std::string file = Make("/usr/bin/convert {src} -size 20x50 xc:blue -size 64x48 pattern:checkerboard "
                                  "-monochrome -compress none {out}");
    const std::vector<ImageInfo> pages = ReadTiffPages(file.c_str());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[1].width, 20);
    EXPECT_EQ(pages[2].height, 48);
    LumoSetIntOptionTiff("page", 2);
    const ImagePtr second = LumoLoadTiff(file.c_str());
    const ImageInfo info = ReadTiffInfo(file.c_str());
    LumoSetIntOptionTiff("page", 4);
    EXPECT_LUMO_ERROR(LumoLoadTiff(file.c_str()), "LumoLoadTiff", file + " has no page 4");
    LumoSetIntOptionTiff("page", 1);
    EXPECT_EQ(second->width, 20);
    EXPECT_EQ(second->height, 50);
    EXPECT_EQ(info.width, 20);
    EXPECT_EQ(LumoLoadTiff(file.c_str())->width, 37);
}

// ---- YCbCr strips, read by our own converter ----

struct YCbCrCase {
    const char* name;
    uint32_t width, height, h, v;
};

void PrintTo(const YCbCrCase& c, std::ostream* os) { *os << c.name; }
class TiffYCbCrTest : public TiffLoadTest, public ::testing::WithParamInterface<YCbCrCase> {};

TEST_P(TiffYCbCrTest, PartialBlocksFillTheEdgesLikeLibtiffsConversion) {
    const YCbCrCase& c = GetParam();
    if (!HaveTool("tiff2rgba")) GTEST_SKIP();
    const std::string path = tempPath("ycbcr.tif");
    WriteBytes(path, YCbCrFile(c.width, c.height, c.h, c.v));
    ImagePtr image = LumoLoadTiff(path.c_str());
    ASSERT_TRUE(IsKind(*image, ImageKind::RGB));
    // libtiff's integer conversion rounds a little differently from ours.
    Make("tiff2rgba -n -c none " + ShellQuote(path) + " {out}", "rgb.tif");
    EXPECT_TRUE(Matches(*image, Reference(tempPath("rgb.tif"), false), 2));
}

INSTANTIATE_TEST_SUITE_P(Subsampling, TiffYCbCrTest,
                         ::testing::Values(YCbCrCase{"TwoByTwoOddSize", 7, 5, 2, 2},
                                           YCbCrCase{"FourByTwo", 9, 6, 4, 2}, YCbCrCase{"OneByOne", 5, 3, 1, 1},
                                           YCbCrCase{"TwoByOneOneColumn", 1, 3, 2, 1}),
                         [](const ::testing::TestParamInfo<YCbCrCase>& info) { return std::string(info.param.name); });

// Tiles whose width is not a multiple of 8 pixels start inside a byte of the image row.
TEST_F(TiffLoadTest, NarrowTilesOfPackedPixelsLandOnTheirPixels) {
    for (const uint32_t bits : {1u, 4u}) {
        const uint32_t width = 7, height = 3, tileWidth = 3, tileLength = 2;
        const uint32_t rowBytes = (tileWidth * bits + 7) / 8, tileBytes = rowBytes * tileLength;
        const auto level = [&](uint32_t x, uint32_t y) { return (x + 3 * y) % (1u << bits); };
        std::vector<uint8_t> data;
        std::vector<uint32_t> offsets, counts;
        for (uint32_t ty = 0; ty < height; ty += tileLength)
            for (uint32_t tx = 0; tx < width; tx += tileWidth) {
                offsets.push_back(kDataOffset + static_cast<uint32_t>(data.size()));
                counts.push_back(tileBytes);
                std::vector<uint8_t> tile(tileBytes, 0);
                for (uint32_t j = 0; j < tileLength; ++j)
                    for (uint32_t i = 0; i < tileWidth; ++i) {
                        const uint32_t bit = i * bits;
                        tile[j * rowBytes + bit / 8] |= uint8_t(level(tx + i, ty + j) << (8 - bits - bit % 8));
                    }
                data.insert(data.end(), tile.begin(), tile.end());
            }
        auto fields = Basic(width, height, bits, 1, 1);
        std::erase_if(fields, [](const Field& f) { return f.tag == 278; });
        fields.insert(fields.end(), {{322, kLong, {tileWidth}}, {323, kLong, {tileLength}}, {324, kLong, offsets},
                                     {325, kLong, counts}});
        ImagePtr image = LoadBytes(BuildTiff(fields, data));
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                EXPECT_EQ(PixelAt(*image, int(x), int(y)), level(x, y)) << bits << " bits, pixel " << x << ", " << y;
    }
}

// ---- Tags ----

TEST_F(TiffLoadTest, PaletteEntriesKeepTheirHighByte) {
    std::vector<uint32_t> map(3 * 16, 0);
    map[0] = 0xFFFF;        // red 0
    map[16 + 0] = 0xFF00;   // green 0
    map[32 + 0] = 0x00FF;   // blue 0
    map[1] = 0x8000;        // red 1
    auto fields = Basic(2, 1, 4, 1, 3);
    fields.push_back({320, kShort, map});
    ImagePtr image = LoadBytes(BuildTiff(fields, {0x01}));
    ASSERT_TRUE(IsKind(*image, ImageKind::COLOR16));
    EXPECT_EQ(image->palette[0], 255);
    EXPECT_EQ(image->palette[1], 255);
    EXPECT_EQ(image->palette[2], 0);
    EXPECT_EQ(image->palette[3], 128);
    EXPECT_EQ(PixelAt(*image, 0, 0), 0u);
    EXPECT_EQ(PixelAt(*image, 1, 0), 1u);
}

struct ResolutionCase {
    const char* name;
    std::vector<Field> fields;  // added to a 37-pixel-wide picture
    float x, y;
};

void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }
class TiffResolutionTest : public LumoTest, public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(TiffResolutionTest, BecomesDotsPerInch) {
    const ResolutionCase& c = GetParam();
    auto fields = Basic(37, 1, 8, 1, 1);
    fields.insert(fields.end(), c.fields.begin(), c.fields.end());
    ImagePtr image = LoadBytes(BuildTiff(fields, std::vector<uint8_t>(37, 9)));
    EXPECT_FLOAT_EQ(image->xResolution, c.x);
    EXPECT_FLOAT_EQ(image->yResolution, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Units, TiffResolutionTest,
    ::testing::Values(
        ResolutionCase{"Inch", {{282, kRational, {300, 1}}, {283, kRational, {150, 1}}, {296, kShort, {2}}}, 300, 150},
        ResolutionCase{"NoUnitTag", {{282, kRational, {72, 1}}, {283, kRational, {72, 1}}}, 72, 72},
        ResolutionCase{"Centimetre", {{282, kRational, {100, 1}}, {283, kRational, {50, 1}}, {296, kShort, {3}}},
                       254, 127},
        // 37 pixels over 4 inches: 9 dpi down, and across in the ratio of the two values.
        ResolutionCase{"NoAbsoluteUnit", {{282, kRational, {2, 1}}, {283, kRational, {1, 1}}, {296, kShort, {1}}},
                       18, 9},
        ResolutionCase{"NoAbsoluteUnitNoValues", {{296, kShort, {1}}}, 9, 9},
        ResolutionCase{"Absent", {}, 0, 0}),
    [](const ::testing::TestParamInfo<ResolutionCase>& info) { return std::string(info.param.name); });

// ---- Layouts that are refused, and what the refusal says ----

struct RefusalCase {
    const char* name;
    std::vector<uint8_t> file;
    const char* text;  // the whole message, or its start when it ends in "..."
    const char* module = "LumoLoadTiff";
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
class TiffRefusalTest : public LumoTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(TiffRefusalTest, IsAClearError) {
    const RefusalCase& c = GetParam();
    try {
        LoadBytes(c.file, "bad.tif");
        ADD_FAILURE() << "loaded";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), c.module);
        std::string expected = c.text;
        if (expected.ends_with("...")) {
            expected.resize(expected.size() - 3);
            EXPECT_EQ(std::string(failure.text()).substr(0, expected.size()), expected) << failure.text();
        } else {
            EXPECT_EQ(std::string(failure.text()), expected);
        }
    }
}

std::vector<uint8_t> Palette16Bit() {
    auto fields = Basic(1, 1, 16, 1, 3);
    fields.push_back({320, kShort, std::vector<uint32_t>(3 * 65536, 0)});
    return BuildTiff(fields, {0, 0});
}

std::vector<uint8_t> HugeTiles() {
    auto fields = Basic(1, 1, 8, 3, 2);
    std::erase_if(fields, [](const Field& f) { return f.tag == 278; });
    fields.push_back({322, kLong, {8192}});
    fields.push_back({323, kLong, {8192}});
    fields.push_back({324, kLong, {kDataOffset}});
    fields.push_back({325, kLong, {3}});
    return BuildTiff(fields, {1, 2, 3});
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffRefusalTest,
    ::testing::Values(
        RefusalCase{"OldStyleJpeg", BuildTiff(With(Basic(8, 8, 8, 1, 1), {259, kShort, {6}}), std::vector<uint8_t>(64)),
                    "Unable to read Old-Style JPEG compressed files"},
        RefusalCase{"TransparencyMask", BuildTiff(Basic(8, 1, 1, 1, 4), {0}),
                    "Can't handle photometric interpretation for bad.tif"},
        RefusalCase{"CieLab", BuildTiff(Basic(1, 1, 8, 3, 8), {0, 0, 0}),
                    "Can't handle photometric interpretation for bad.tif"},
        RefusalCase{"TwelveBitGray", BuildTiff(Basic(2, 1, 12, 1, 1), {0, 0, 0}),
                    "Can't load bad.tif: Sorry, can not handle images with 12-bit samples"},
        RefusalCase{"SixteenBitPalette", Palette16Bit(), "Can't handle palette images of 16 bits per sample: bad.tif"},
        RefusalCase{"ThreeInkSeparated", BuildTiff(Basic(1, 1, 8, 3, 5), {0, 0, 0}), "Can't load bad.tif: ..."},
        RefusalCase{"YCbCrSubsamplingThree",
                    BuildTiff(With(Basic(3, 3, 8, 3, 6), {530, kShort, {3, 3}}), std::vector<uint8_t>(11)),
                    "TIFFScanlineSize64: Invalid YCbCr subsampling"},
        RefusalCase{"WiderThanTheImageRecord", BuildTiff(Basic(70000, 1, 1, 1, 1), std::vector<uint8_t>(8750)),
                    "Image size 70000 x 1 out of range (at most 65535 x 65535)"},
        RefusalCase{"RgbRowsTooLong", BuildTiff(Basic(30000, 1, 8, 3, 2), std::vector<uint8_t>(90000)),
                    "Image too wide: ...", "LumoCreateImage"},
        RefusalCase{"EmptyPicture", BuildTiff(Basic(0, 5, 8, 1, 1), {0}), "..."},
        RefusalCase{"TilesFarLargerThanThePicture", HugeTiles(), "Tiles of 8192 x 8192 pixels are too large..."}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// A YCbCr strip cut short ends the load with an error rather than a read past the strip.
TEST_F(TiffLoadTest, AShortYCbCrStripIsAnError) {
    EXPECT_THROW(LoadBytes(YCbCrFile(7, 5, 2, 2, 6)), LumoFailure);
    EXPECT_FALSE(errors.empty());
}

TEST_F(TiffLoadTest, ThePixelLimitIsCheckedBeforeTheRasterIsAllocated) {
    const std::string path = Make("/usr/bin/convert {src} -alpha set -compress none {out}");
    LumoSetIntOption("maxpixels", 37 * 23 - 1);
    EXPECT_LUMO_ERROR(LumoLoadTiff(path.c_str()), "LumoLoadTiff",
                      "Image size 37 x 23 (851 pixels) exceeds the limit of 850 pixels (raise MaxPixels)");
}

// ---- Opening ----

TEST_F(TiffLoadTest, OnlyRegularTiffFilesOpen) {
    const std::string missing = tempPath("missing.tif");
    EXPECT_LUMO_ERROR(LumoLoadTiff(missing.c_str()), "LumoOpenTiff", "Can't open TIFF File " + missing + ": No such file or directory");
    const std::string text = tempPath("text.tif");
    WriteBytes(text, {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
    EXPECT_LUMO_ERROR(LumoLoadTiff(text.c_str()), "LumoOpenTiff", "Can't open TIFF File " + text);
    const std::string fifo = tempPath("fifo.tif");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_LUMO_ERROR(LumoLoadTiff(fifo.c_str()), "LumoOpenTiff", "Not a regular file: " + fifo);
    const std::string folder = tempDir().string();
    EXPECT_LUMO_ERROR(LumoLoadTiff(folder.c_str()), "LumoOpenTiff", "Not a regular file: " + folder);
}

// Every prefix of a file, and the file with any one byte changed, gives an image or a clean error.
TEST_F(TiffLoadTest, TruncatedAndDamagedFilesFailCleanly) {
    const std::vector<std::vector<uint8_t>> files = {
        ReadBytes(Make("/usr/bin/convert {src} -compress none {tmp} && tiffcp -c lzw:2 -r 3 {tmp} {out}", "a.tif")),
        ReadBytes(Make("{bw}tiffcp -t -w 16 -l 16 -c g4 {tmp} {out}", "b.tif")), YCbCrFile(7, 5, 2, 2)};
    for (const std::vector<uint8_t>& file : files) {
        for (size_t length = 0; length < file.size(); ++length) {
            try {
                LoadBytes({file.begin(), file.begin() + static_cast<long>(length)});
            } catch (const LumoFailure&) {
            }
        }
        for (size_t at = 0; at < std::min<size_t>(file.size(), 400); ++at) {
            std::vector<uint8_t> damaged = file;
            damaged[at] ^= 0xA5;
            try {
                LoadBytes(damaged);
            } catch (const LumoFailure&) {
            }
        }
    }
}

}  // namespace
