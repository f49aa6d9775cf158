#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "core/memory.h"
#include "formats/bmp.h"
#include "formats/bmp_dib.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/lumo_test.h"

// Files are described with designated initializers: the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.bmp");
    return LoadBmpFrom(file);
}

// Picture rows as hex digits, top row first: one digit per pixel (indices below 16).
std::vector<std::string> HexRows(const IMG& image) {
    std::vector<std::string> rows;
    for (int y = 0; y < image.height; ++y) {
        std::string row;
        for (int x = 0; x < image.width; ++x) row += "0123456789abcdef"[PixelAt(image, x, y) & 15];
        rows.push_back(row);
    }
    return rows;
}

class BmpTest : public LumoTest {
protected:
    ImagePtr SaveAndLoad(const IMG& image) {
        SaveBmp(&image, tempPath("saved.bmp").c_str());
        return LumoLoadBmp(tempPath("saved.bmp").c_str());
    }
};

TEST_F(BmpTest, CompressOptionIsOnlyStored) {
    EXPECT_EQ(LumoGetIntOptionBmp("compress"), 0);
    LumoSetIntOptionBmp("compress", 1);
    EXPECT_EQ(LumoGetIntOptionBmp("compress"), 1);
    SaveBmp(MakePatternImage(ImageKind::GRAY256, 5, 3).get(), tempPath("a.bmp").c_str());
    LumoSetIntOptionBmp("compress", 0);
    EXPECT_EQ(ReadBytes(tempPath("a.bmp"))[30], 0);  // the compression field
    EXPECT_LUMO_ERROR(LumoSetIntOptionBmp("Compress", 1), "LumoSetIntOptionBmp", "Unknown Bmp option: Compress");
    EXPECT_LUMO_ERROR(LumoGetIntOptionBmp("quality"), "LumoGetIntOptionBmp", "Unknown Bmp option: quality");
}

struct KindSize {
    ImageKind kind;
    int width;
    int height;
};
void PrintTo(const KindSize& c, std::ostream* os) { *os << KindName(c.kind) << " " << c.width << "x" << c.height; }
class BmpKindTest : public BmpTest, public ::testing::WithParamInterface<KindSize> {};

TEST_P(BmpKindTest, SavedFilesReadBackHereAndInReferenceDecoders) {
    const KindSize& c = GetParam();
    ImagePtr image = MakePatternImage(c.kind, c.width, c.height, 7);
    ImagePtr loaded = SaveAndLoad(*image);
    EXPECT_TRUE(SamePixels(*image, *loaded));
    const std::vector<uint8_t> file = ReadBytes(tempPath("saved.bmp"));
    const size_t table = c.kind == ImageKind::RGB ? 0 : 4u << image->bitsPerPixel;
    EXPECT_EQ(file.size(), 54 + table + PixelBytes(*image));
    EXPECT_EQ(file[10], (54 + table) & 0xFF);

    const std::vector<uint8_t> rgb = RgbPixels(*image);
    if (!PillowPython().empty()) {
        EXPECT_EQ(PillowRgb(tempPath("saved.bmp")), rgb) << "Pillow";
    }
    if (HaveTool("/usr/bin/convert")) {
        EXPECT_EQ(MagickRgb(tempPath("saved.bmp")), rgb) << "ImageMagick";
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BmpKindTest,
                         ::testing::Values(KindSize{ImageKind::BW, 33, 5}, KindSize{ImageKind::BW, 1, 3},
                                           KindSize{ImageKind::GRAY16, 3, 7}, KindSize{ImageKind::GRAY256, 33, 3},
                                           KindSize{ImageKind::COLOR16, 33, 5}, KindSize{ImageKind::COLOR256, 3, 9},
                                           KindSize{ImageKind::RGB, 1, 1}, KindSize{ImageKind::RGB, 33, 7}));

// A file written by a reference tool from a pattern picture loads with exactly the pixels
// that tool decodes from it.
struct ToolCase {
    const char* name;
    bool pillow;          // written by Pillow (python expression on im), else by ImageMagick
    const char* command;  // ImageMagick options ending in the output format prefix
    ImageKind source;
    int width;
    int height;
    int expectedKind;  // ImageKind, or -1 when the tool picks
};
void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }
class BmpToolTest : public BmpTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(BmpToolTest, LoadsWhatTheWriterDecodes) {
    const ToolCase& c = GetParam();
    const std::string python = PillowPython();
    if (c.pillow ? python.empty() : !HaveTool("/usr/bin/convert")) GTEST_SKIP() << "reference tool missing";
    const std::string source = tempPath("source.ppm"), target = tempPath("tool.bmp");
    WritePpm(*MakePatternImage(c.source, c.width, c.height, 3), source);
    const std::string command =
        c.pillow ? python + " -c " +
                       ShellQuote(std::string("import sys; from PIL import Image; im = Image.open(sys.argv[1]); (") +
                                  c.command + ").save(sys.argv[2])") +
                       " " + ShellQuote(source) + " " + ShellQuote(target)
                 : "/usr/bin/convert " + ShellQuote(source) + " " + c.command + ShellQuote(target);
    ASSERT_EQ(RunCommand(command).status, 0) << command;
    ImagePtr loaded = LumoLoadBmp(target.c_str());
    if (c.expectedKind >= 0) {
        EXPECT_EQ(KindName(KindOf(*loaded)), KindName(static_cast<ImageKind>(c.expectedKind)));
    }
    EXPECT_EQ(RgbPixels(*loaded), c.pillow ? PillowRgb(target) : MagickRgb(target));
    EXPECT_TRUE(warnings.empty());
}

constexpr int kAny = -1;
INSTANTIATE_TEST_SUITE_P(
    Writers, BmpToolTest,
    ::testing::Values(
        ToolCase{"MagickV5", false, "", ImageKind::RGB, 33, 7, static_cast<int>(ImageKind::RGB)},
        ToolCase{"MagickV4", false, "-define bmp:format=bmp4 ", ImageKind::RGB, 3, 5, kAny},
        ToolCase{"MagickInfo", false, "BMP3:", ImageKind::RGB, 1, 3, kAny},
        ToolCase{"MagickCore", false, "BMP2:", ImageKind::RGB, 5, 3, kAny},
        ToolCase{"MagickCorePalette", false, "-type palette BMP2:", ImageKind::COLOR256, 33, 3, kAny},
        ToolCase{"MagickPalette8", false, "-type palette BMP3:", ImageKind::COLOR256, 33, 5,
                 static_cast<int>(ImageKind::COLOR256)},
        ToolCase{"MagickPalette4", false, "-type palette BMP3:", ImageKind::COLOR16, 7, 3,
                 static_cast<int>(ImageKind::COLOR16)},
        ToolCase{"MagickRle8", false, "-type palette -compress RLE BMP3:", ImageKind::COLOR256, 33, 9, kAny},
        ToolCase{"MagickGray", false, "-type grayscale BMP3:", ImageKind::GRAY256, 5, 5, kAny},
        ToolCase{"MagickBilevel", false, "-type bilevel BMP3:", ImageKind::BW, 33, 3,
                 static_cast<int>(ImageKind::BW)},
        ToolCase{"MagickTwoColours", false, "-colors 2 -type palette BMP3:", ImageKind::COLOR16, 9, 3,
                 static_cast<int>(ImageKind::COLOR16)},
        ToolCase{"Magick565", false, "-define bmp:subtype=RGB565 ", ImageKind::RGB, 33, 3, kAny},
        ToolCase{"Magick555", false, "-define bmp:subtype=RGB555 ", ImageKind::RGB, 3, 3, kAny},
        ToolCase{"MagickAlpha32", false, "-alpha set -channel A -evaluate set 50% +channel ", ImageKind::RGB, 3, 5,
                 kAny},
        ToolCase{"PillowBilevel", true, "im.convert('1')", ImageKind::GRAY256, 33, 5,
                 static_cast<int>(ImageKind::BW)},
        ToolCase{"PillowGray", true, "im.convert('L')", ImageKind::GRAY256, 3, 7,
                 static_cast<int>(ImageKind::GRAY256)},
        ToolCase{"PillowPalette", true, "im.quantize(200)", ImageKind::COLOR256, 33, 3,
                 static_cast<int>(ImageKind::COLOR256)},
        ToolCase{"PillowRgb", true, "im", ImageKind::RGB, 1, 1, static_cast<int>(ImageKind::RGB)},
        ToolCase{"PillowRgba", true, "im.convert('RGBA')", ImageKind::RGB, 3, 5, kAny}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

// Hand-built files in every header version and pixel layout, checked against ImageMagick's
// decoding of the same bytes (and Pillow's where it reads the layout the same way).
struct LayoutCase {
    const char* name;
    BmpFields fields;
    bool pillowAgrees;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }
class BmpLayoutTest : public BmpTest, public ::testing::WithParamInterface<LayoutCase> {};

BmpFields WithPattern(BmpFields f, unsigned seed = 5) {
    const size_t rowBytes = static_cast<size_t>(RowBytesFor(f.width, f.bitCount));
    const int rows = f.height < 0 ? -f.height : f.height;
    uint32_t state = seed;
    for (size_t i = 0; i < rowBytes * rows; ++i) {
        state = state * 69069 + 1;
        f.pixels.push_back(static_cast<uint8_t>(state >> 24));
    }
    return f;
}

TEST_P(BmpLayoutTest, DecodesLikeImageMagick) {
    const LayoutCase& c = GetParam();
    if (!HaveTool("/usr/bin/convert")) GTEST_SKIP();
    const std::vector<uint8_t> bytes = BuildBmp(c.fields);
    WriteBytes(tempPath("layout.bmp"), bytes);
    const std::vector<uint8_t> rgb = RgbPixels(*LoadBytes(bytes));
    EXPECT_EQ(rgb, MagickRgb(tempPath("layout.bmp")));
    if (c.pillowAgrees && !PillowPython().empty()) {
        EXPECT_EQ(rgb, PillowRgb(tempPath("layout.bmp")));
    }
    EXPECT_TRUE(warnings.empty());
}

// Pillow scales 5-bit components by v * 255 / 31 truncated; ImageMagick and this loader repeat the bits.
INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpLayoutTest,
    ::testing::Values(
        LayoutCase{"Core8", WithPattern({.infoSize = 12, .width = 5, .height = 3, .bitCount = 8,
                                         .table = GrayTable(256, 3)}), true},
        LayoutCase{"Core1", WithPattern({.infoSize = 12, .width = 9, .height = 2, .bitCount = 1,
                                         .table = {0x102030, 0xF0E0D0}}), true},
        LayoutCase{"V4Palette", WithPattern({.infoSize = 108, .width = 7, .height = 3, .bitCount = 4,
                                             .table = GrayTable(16, 15)}), true},
        LayoutCase{"V5Gray", WithPattern({.infoSize = 124, .width = 3, .height = 5, .bitCount = 8,
                                          .table = GrayTable(256, 1)}), true},
        LayoutCase{"TopDown24", WithPattern({.width = 3, .height = -5}), true},
        LayoutCase{"TopDown4", WithPattern({.width = 5, .height = -3, .bitCount = 4, .table = GrayTable(16, 9)}), true},
        LayoutCase{"Default16", WithPattern({.width = 33, .height = 3, .bitCount = 16}), false},
        LayoutCase{"Default32", WithPattern({.width = 3, .height = 3, .bitCount = 32}), true},
        LayoutCase{"Fields565", WithPattern({.width = 7, .height = 3, .bitCount = 16, .compression = 3,
                                             .masks = {0xF800, 0x07E0, 0x001F}}), false},
        LayoutCase{"Fields565V5", WithPattern({.infoSize = 124, .width = 7, .height = -3, .bitCount = 16,
                                               .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}}), false},
        LayoutCase{"Fields888", WithPattern({.width = 3, .height = 2, .bitCount = 32, .compression = 3,
                                             .masks = {0xFF, 0xFF00, 0xFF0000}}), false}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST_F(BmpTest, BitFieldsOfAnyWidthFillEightBits) {
    // 1-, 3- and 12-bit fields: repeated bits for narrow fields, the top 8 bits of wide ones.
    BmpFields f{.width = 2, .height = 1, .bitCount = 32, .compression = 3, .masks = {0x1, 0xE, 0xFFF0000}};
    f.pixels = {0x0F, 0x00, 0x01, 0x0F, 0x00, 0x00, 0x34, 0x01};  // (1, 7, 0xF01), (0, 0, 0x134)
    ImagePtr image = LoadBytes(BuildBmp(f));
    EXPECT_EQ(PixelAt(*image, 0, 0), 0xFFFFF0u);
    EXPECT_EQ(PixelAt(*image, 1, 0), 0x000013u);
}

// Run-length codes and the picture they give, top row first.
struct RleCase {
    const char* name;
    uint16_t bitCount;
    int width;
    int height;
    std::vector<uint8_t> codes;
    std::vector<std::string> picture;
};
void PrintTo(const RleCase& c, std::ostream* os) { *os << c.name; }
class BmpRleTest : public BmpTest, public ::testing::WithParamInterface<RleCase> {};

TEST_P(BmpRleTest, DecodesCodes) {
    const RleCase& c = GetParam();
    BmpFields f{.width = c.width, .height = c.height, .bitCount = c.bitCount,
                .compression = c.bitCount == 8 ? 1u : 2u, .table = GrayTable(1 << c.bitCount, 1), .pixels = c.codes};
    ImagePtr image = LoadBytes(BuildBmp(f));
    EXPECT_EQ(HexRows(*image), c.picture);
    EXPECT_TRUE(warnings.empty());
}

std::vector<uint8_t> RunsTo8000ThenMore() {
    std::vector<uint8_t> codes;
    for (int i = 0; i < 31; ++i) codes.insert(codes.end(), {255, 1});
    codes.insert(codes.end(), {95, 1, 2, 3, 0, 1});  // x reaches 8000: the run of 3s opens the next row
    return codes;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, BmpRleTest,
    ::testing::Values(
        RleCase{"DeltaPastRightEdgeWrapsToColumn0", 8, 4, 2, {2, 5, 0, 2, 3, 0, 1, 7, 0, 0, 4, 9, 0, 1},
                {"9999", "7500"}},
        RleCase{"DeltaDownKeepsColumn", 8, 3, 3, {1, 4, 0, 2, 1, 1, 1, 5, 0, 0, 3, 6, 0, 1}, {"666", "005", "400"}},
        RleCase{"DeltaBelowLastRowStops", 8, 2, 2, {1, 4, 0, 2, 0, 2, 1, 5, 0, 1}, {"00", "40"}},
        RleCase{"Rle4RunAlternatesNibbles", 4, 4, 1, {3, 0x12, 0, 0, 0, 1}, {"1210"}},
        RleCase{"Rle8AbsoluteRunsArePadded", 8, 8, 1, {0, 3, 1, 2, 3, 0xEE, 0, 4, 4, 5, 6, 7, 0, 1}, {"12345670"}},
        RleCase{"Rle4AbsoluteRunsArePadded", 4, 8, 1, {0, 5, 0x12, 0x34, 0x50, 0xEE, 0, 3, 0x67, 0x80, 0, 1},
                {"12345678"}},
        RleCase{"EndOfBitmapLeavesRestZero", 8, 2, 3, {2, 1, 0, 1, 2, 2}, {"00", "00", "11"}},
        RleCase{"RunsPastWidthAreDropped", 4, 3, 1, {9, 0xAB, 0, 0, 0, 1}, {"aba"}},
        RleCase{"RowEndsAt8000WithoutEndOfLine", 8, 4, 2, RunsTo8000ThenMore(), {"3300", "1111"}},
        RleCase{"MissingEndOfBitmapIsComplete", 8, 1, 2, {1, 1, 0, 0, 1, 2, 0, 0}, {"2", "1"}}),
    [](const ::testing::TestParamInfo<RleCase>& info) { return std::string(info.param.name); });

TEST_F(BmpTest, RleRowsWiderThan8000KeepTheirEndOfLineCodes) {
    std::vector<uint8_t> codes;
    for (int i = 0; i < 32; ++i) codes.insert(codes.end(), {250, 1});
    codes.insert(codes.end(), {0, 0, 1, 2, 0, 0, 0, 1});
    ImagePtr image = LoadBytes(BuildBmp({.width = 8000, .height = 2, .bitCount = 8, .compression = 1,
                                         .table = GrayTable(256, 1), .pixels = codes}));
    EXPECT_EQ(PixelAt(*image, 7999, 1), 1u);
    EXPECT_EQ(PixelAt(*image, 0, 0), 2u);
}

TEST_F(BmpTest, RleEncodedPicturesMatchReferenceDecoders) {
    for (ImageKind kind : {ImageKind::COLOR16, ImageKind::COLOR256}) {
        ImagePtr image = MakePatternImage(kind, 37, 5, 9);
        for (int x = 4; x < 20; ++x) SetPixel(*image, x, 2, 3);  // a long run among the short ones
        std::vector<uint32_t> table;
        for (int i = 0; i < (1 << image->bitsPerPixel); ++i)
            table.push_back(static_cast<uint32_t>(image->palette[3 * i] << 16 | image->palette[3 * i + 1] << 8 |
                                                  image->palette[3 * i + 2]));
        const std::vector<uint8_t> bytes =
            BuildBmp({.width = 37, .height = 5, .bitCount = image->bitsPerPixel,
                      .compression = kind == ImageKind::COLOR16 ? 2u : 1u, .table = table,
                      .pixels = EncodeRle(*image)});
        EXPECT_TRUE(SamePixels(*image, *LoadBytes(bytes))) << KindName(kind);
        WriteBytes(tempPath("rle.bmp"), bytes);
        // Pillow leaves out the last pixel of an odd-length absolute RLE4 run: compare RLE8 only.
        if (kind == ImageKind::COLOR256 && !PillowPython().empty()) {
            EXPECT_EQ(PillowRgb(tempPath("rle.bmp")), RgbPixels(*image)) << KindName(kind);
        }
        if (HaveTool("/usr/bin/convert")) {
            EXPECT_EQ(MagickRgb(tempPath("rle.bmp")), RgbPixels(*image)) << KindName(kind);
        }
    }
}

TEST_F(BmpTest, TopDownRleIsTurnedUpright) {
    ImagePtr image = LoadBytes(BuildBmp({.width = 2, .height = -2, .bitCount = 8, .compression = 1,
                                         .table = GrayTable(256, 1), .pixels = {2, 1, 0, 0, 2, 2, 0, 1}}));
    EXPECT_EQ(HexRows(*image), (std::vector<std::string>{"11", "22"}));
}

// Which kind a colour table gives, and the colours the pixels show.
struct TableCase {
    const char* name;
    uint16_t bitCount;
    std::vector<uint32_t> table;
    uint32_t colorsUsed;
    ImageKind kind;
};
void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }
class BmpTableTest : public BmpTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(BmpTableTest, KindAndColoursFollowTheTable) {
    const TableCase& c = GetParam();
    const int width = 16 / c.bitCount * 8;  // every index of a 1- or 4-bit file, many of an 8-bit one
    BmpFields f = WithPattern({.width = width, .height = 3, .bitCount = c.bitCount, .colorsUsed = c.colorsUsed,
                               .table = c.table});
    ImagePtr image = LoadBytes(BuildBmp(f));
    EXPECT_EQ(KindName(KindOf(*image)), KindName(c.kind));
    // Each pixel shows the table entry of its stored index; entries the file lacks are black.
    const size_t rowBytes = static_cast<size_t>(RowBytesFor(width, c.bitCount));
    std::vector<uint8_t> expected;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* row = f.pixels.data() + (2 - y) * rowBytes;
            const int bit = x * c.bitCount;
            const unsigned index = (row[bit / 8] >> (8 - c.bitCount - bit % 8)) & ((1u << c.bitCount) - 1);
            const bool supplied = index < c.table.size() && index < (c.colorsUsed ? c.colorsUsed : 256u);
            const uint32_t color = supplied ? c.table[index] : 0;
            expected.insert(expected.end(), {static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                                             static_cast<uint8_t>(color)});
        }
    EXPECT_EQ(RgbPixels(*image), expected);
    EXPECT_TRUE(warnings.empty());
}

std::vector<uint32_t> Changed(std::vector<uint32_t> table, size_t index, uint32_t color) {
    table[index] = color;
    return table;
}
std::vector<uint32_t> Extended(std::vector<uint32_t> table, size_t entries) {
    table.resize(entries, 0x123456);
    return table;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, BmpTableTest,
    ::testing::Values(TableCase{"BlackWhite", 1, {0x000000, 0xFFFFFF}, 0, ImageKind::BW},
                      TableCase{"WhiteBlackIsInverted", 1, {0xFFFFFF, 0x000000}, 0, ImageKind::BW},
                      TableCase{"TwoColours", 1, {0xFF0000, 0x0000FF}, 0, ImageKind::COLOR16},
                      TableCase{"OneEntryWhite", 1, {0xFFFFFF}, 1, ImageKind::BW},
                      TableCase{"Gray16Ramp", 4, GrayTable(16, 17), 0, ImageKind::GRAY16},
                      TableCase{"Gray16StepOff", 4, GrayTable(16, 16), 0, ImageKind::COLOR16},
                      TableCase{"Gray256Ramp", 8, GrayTable(256, 1), 0, ImageKind::GRAY256},
                      TableCase{"Gray256OneEntryChanged", 8, Changed(GrayTable(256, 1), 200, 0xC8C8C9), 0,
                                ImageKind::COLOR256},
                      TableCase{"FewColoursUsed", 8, GrayTable(3, 1), 3, ImageKind::COLOR256},
                      TableCase{"SurplusEntriesSkipped", 4, Extended(GrayTable(16, 17), 20), 20, ImageKind::GRAY16}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.name); });

TEST_F(BmpTest, ResolutionsInPixelsPerMetre) {
    ImagePtr image = MakePatternImage(ImageKind::GRAY16, 3, 3);
    auto savedFields = [&](float x, float y) {
        image->xResolution = x;
        image->yResolution = y;
        SaveBmp(image.get(), tempPath("r.bmp").c_str());
        const std::vector<uint8_t> file = ReadBytes(tempPath("r.bmp"));
        return std::pair<long, long>(file[38] | file[39] << 8 | file[40] << 16,
                                     file[42] | file[43] << 8 | file[44] << 16);
    };
    EXPECT_EQ(savedFields(0, 0), (std::pair<long, long>(5906, 5906)));
    EXPECT_EQ(savedFields(300, 0), (std::pair<long, long>(5906, 5906)));
    EXPECT_EQ(savedFields(72, 72), (std::pair<long, long>(2834, 2834)));
    EXPECT_EQ(savedFields(96, 300), (std::pair<long, long>(3779, 11811)));
    ImagePtr loaded = LumoLoadBmp(tempPath("r.bmp").c_str());
    EXPECT_NEAR(loaded->xResolution, 95.99, 0.01);
    EXPECT_NEAR(LoadBytes(BuildBmp({.xPixelsPerMetre = 2834}))->xResolution, 71.98, 0.01);
}

// A 4-bit OS/2 file of 5 x 12 pixels using colours 0..2, with a table of 16 entries or of only the
// 3 it uses (the pixel offset then says where the pixels start). ImageMagick reads a full table
// before it seeks to the pixels, so the file holds more pixel bytes than the table lacks.
std::vector<uint8_t> Os2File(bool shortTable) {
    std::vector<uint32_t> table = {0x102030, 0xA0B0C0, 0xFF0000};
    if (!shortTable) table.resize(16, 0x000000);
    std::vector<std::vector<uint8_t>> rows;
    for (int i = 0; i < 4; ++i) rows.insert(rows.end(), {{0x01, 0x21, 0x00}, {0x22, 0x10, 0x10}, {0x10, 0x02, 0x20}});
    return BuildBmp({.infoSize = 12, .width = 5, .height = 12, .bitCount = 4, .table = table,
                     .pixels = StoredRows(rows, 4)});
}

TEST_F(BmpTest, ShortOs2TableEndsWherePixelsStart) {
    const std::vector<uint8_t> plain = Os2File(false), cut = Os2File(true);
    ASSERT_EQ(plain.size() - cut.size(), 13u * 3);
    const std::vector<uint8_t> rgb = RgbPixels(*LoadBytes(plain));
    EXPECT_EQ(RgbPixels(*LoadBytes(cut)), rgb);
    EXPECT_EQ(PixelAt(*LoadBytes(cut), 1, 0), 1u);
    WriteBytes(tempPath("cut.bmp"), cut);
    if (!PillowPython().empty()) {
        EXPECT_EQ(PillowRgb(tempPath("cut.bmp")), rgb) << "Pillow";
    }
    if (HaveTool("/usr/bin/convert")) {
        EXPECT_EQ(MagickRgb(tempPath("cut.bmp")), rgb) << "ImageMagick";
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(BmpTest, PixelsAreReadFromTheOffset) {
    // Bytes between the table and the pixels are passed over.
    BmpFields f{.width = 2, .height = 1, .bitCount = 8, .table = GrayTable(256, 1), .pixels = {0xEE, 0xEE, 7, 9, 0, 0}};
    f.pixelOffset = 14 + 40 + 1024 + 2;
    EXPECT_EQ(HexRows(*LoadBytes(BuildBmp(f))), (std::vector<std::string>{"79"}));

    // A colours-used count far past the table reads the table, not the pixels, as colours.
    f = {.width = 2, .height = 1, .bitCount = 8, .colorsUsed = 0x10000000, .table = GrayTable(256, 1),
         .pixels = {7, 9, 0, 0}};
    const ImagePtr image = LoadBytes(BuildBmp(f));
    EXPECT_TRUE(IsKind(*image, ImageKind::GRAY256));
    EXPECT_EQ(HexRows(*image), (std::vector<std::string>{"79"}));

    // An offset inside the headers gives a table of no entries: the bytes from there are pixels.
    f = {.width = 2, .height = 1, .bitCount = 8, .table = {0x000102}, .pixels = {}};
    f.pixelOffset = 54;
    const ImagePtr early = LoadBytes(BuildBmp(f));
    EXPECT_EQ(PixelAt(*early, 0, 0), 2u);
    EXPECT_EQ(PixelAt(*early, 1, 0), 1u);
}

TEST_F(BmpTest, PlanesFieldIsNotUsed) {
    const BmpFields f{.width = 2, .height = 1, .bitCount = 8, .table = GrayTable(256, 1), .pixels = {7, 9, 0, 0}};
    BmpFields other = f;
    for (uint16_t planes : {0, 2, 7}) {
        other.planes = planes;
        EXPECT_EQ(HexRows(*LoadBytes(BuildBmp(other))), HexRows(*LoadBytes(BuildBmp(f)))) << planes;
    }
}

// A damaged header and the error it gives.
struct BadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* module;
    const char* text;
};
void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }
class BmpBadHeaderTest : public BmpTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BmpBadHeaderTest, IsRefused) {
    const BadCase& c = GetParam();
    EXPECT_LUMO_ERROR(LoadBytes(c.bytes), c.module, c.text);
}

std::vector<uint8_t> Patched(BmpFields f, size_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> file = BuildBmp(f);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(offset));
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BmpBadHeaderTest,
    ::testing::Values(
        BadCase{"WrongMagic", Patched({}, 0, {'B', 'A'}), "LumoLoadBmp", "Not a Bmp File: test.bmp"},
        BadCase{"Empty", {}, "LumoLoadBmp", "Not a Bmp File: test.bmp"},
        BadCase{"CutInInfoHeader", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0}, "LumoLoadBmp",
                "Truncated Bmp header: test.bmp"},
        BadCase{"UnknownCompression", BuildBmp({.compression = 4}), "LoadBmp", "Unknown Compression scheme for BMP"},
        BadCase{"Rle8In4BitFile", BuildBmp({.bitCount = 4, .compression = 1}), "LoadBmp",
                "Unknown Compression scheme for BMP"},
        BadCase{"BitFieldsIn24BitFile", BuildBmp({.compression = 3, .masks = {1, 2, 4}}), "LoadBmp",
                "Unknown Compression scheme for BMP"},
        BadCase{"OffsetPastTheEnd", BuildBmp({.pixels = {1, 2, 3, 0}, .pixelOffset = 59}), "LumoLoadBmp",
                "Bmp file test.bmp: pixel data offset 59 lies outside 54..58 (headers to end of file)"},
        BadCase{"OffsetInsideTheHeader", BuildBmp({.pixels = {1, 2, 3, 0}, .pixelOffset = 50}), "LumoLoadBmp",
                "Bmp file test.bmp: pixel data offset 50 lies outside 54..58 (headers to end of file)"},
        BadCase{"TwoBitPixels", BuildBmp({.bitCount = 2}), "LumoLoadBmp", "Unsupported Bmp bit count 2: test.bmp"},
        BadCase{"HeaderSize20", Patched({}, 14, {20}), "LumoLoadBmp", "Unsupported Bmp header size 20: test.bmp"},
        BadCase{"TooWide", BuildBmp({.width = 70000}), "LumoLoadBmp", "Unsupported Bmp image size 70000 x 1: test.bmp"},
        BadCase{"NegativeWidth", BuildBmp({.width = -3}), "LumoLoadBmp", "Unsupported Bmp image size -3 x 1: test.bmp"},
        BadCase{"TooTall", BuildBmp({.height = -70000}), "LumoLoadBmp",
                "Unsupported Bmp image size 1 x -70000: test.bmp"},
        BadCase{"RowTooLong", BuildBmp({.width = 30000}), "LumoCreateImage",
                "Image too wide: 30000 pixels of 24 bits need 90000 bytes per row (at most 65535)"},
        BadCase{"PictureNotInFile", BuildBmp({.width = 10000, .height = 10000}), "LumoLoadBmp",
                "test.bmp: the header asks for 300000000 bytes of pixels from 0 bytes of data"},
        BadCase{"RlePictureNotInFile", BuildBmp({.width = 12000, .height = 12000, .bitCount = 8, .compression = 1,
                                                 .table = GrayTable(256, 1), .pixels = {0, 1}}),
                "LumoLoadBmp", "test.bmp: the header asks for 144000000 bytes of pixels from 2 bytes of data"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST_F(BmpTest, MissingFileCannotBeOpened) {
    const std::string path = tempPath("none.bmp");
    EXPECT_LUMO_ERROR(LumoLoadBmp(path.c_str()), "LumoLoadBmp", "Can't open file " + path + ": No such file or directory");
}

TEST_F(BmpTest, TruncatedRowsAreZeroAndNamed) {
    ImagePtr image = MakePatternImage(ImageKind::RGB, 5, 4);
    SaveBmp(image.get(), tempPath("t.bmp").c_str());
    std::vector<uint8_t> bytes = ReadBytes(tempPath("t.bmp"));
    bytes.resize(54 + 16 + 5);  // the bottom row and 5 bytes of the next
    ImagePtr loaded = LoadBytes(bytes);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(*loaded, x, 3), PixelAt(*image, x, 3));
    EXPECT_EQ(PixelAt(*loaded, 0, 2), PixelAt(*image, 0, 2));
    EXPECT_EQ(PixelAt(*loaded, 1, 2), PixelAt(*image, 1, 2) & 0x00FFFF);  // its red byte is missing
    for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelAt(*loaded, 4, y), 0u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "File test.bmp is truncated: the pixels it lacks are set to 0");
}

// Every cut and every damaged byte of files of each layout gives an image or a clean error.
TEST_F(BmpTest, CutAndDamagedFilesNeverCrash) {
    ImagePtr palette = MakePatternImage(ImageKind::COLOR256, 9, 4);
    std::vector<uint32_t> table(256, 0x405060);
    const std::vector<std::vector<uint8_t>> files = {
        BuildBmp(WithPattern({.infoSize = 124, .width = 5, .height = -3, .bitCount = 16, .compression = 3,
                              .masks = {0xF800, 0x07E0, 0x001F}})),
        BuildBmp(WithPattern({.width = 11, .height = 3, .bitCount = 1, .table = {0xFF0000, 0x00FF00}})),
        BuildBmp(WithPattern({.infoSize = 12, .width = 4, .height = 3, .bitCount = 4, .table = GrayTable(16, 17)})),
        BuildBmp({.width = 9, .height = 4, .bitCount = 8, .compression = 1, .table = table,
                  .pixels = EncodeRle(*palette)}),
        BuildBmp({.width = 4, .height = 3, .bitCount = 4, .compression = 2, .table = GrayTable(16, 1),
                  .pixels = {0, 2, 3, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 2, 1, 0, 1}}),
    };
    int images = 0, failures = 0;
    for (const std::vector<uint8_t>& file : files) {
        for (size_t length = 0; length <= file.size(); ++length) {
            try {
                const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(length));
                images += LoadBytes(cut) != nullptr;
            } catch (const LumoFailure&) {
                ++failures;
            }
        }
        for (size_t i = 0; i < file.size(); ++i)
            for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                std::vector<uint8_t> damaged = file;
                damaged[i] ^= value;
                try {
                    images += LoadBytes(damaged) != nullptr;
                } catch (const LumoFailure&) {
                    ++failures;
                }
            }
    }
    EXPECT_GT(images, 0);
    EXPECT_GT(failures, 0);
}

TEST_F(BmpTest, FailedSaveLeavesTheTargetIntact) {
    const std::string target = tempPath("keep.bmp");
    SaveBmp(MakePatternImage(ImageKind::GRAY16, 5, 5).get(), target.c_str());
    const std::vector<uint8_t> before = ReadBytes(target);
    ImagePtr big = MakePatternImage(ImageKind::RGB, 300, 300);

    // The file system refuses to grow the file beyond 64 KiB: a real write error mid-way.
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_LUMO_ERROR(SaveBmp(big.get(), target.c_str()), "SaveBmp", "Error writing file " + target + ": File too large");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(ReadBytes(target), before);

    // A failure raised while the rows are written (here by the progress hook) unwinds the same way.
    const LumoProgressHook previous = LumoSetProgressHandler([](int value) {
        if (value == 50) LumoError("test", "stopped");
    });
    EXPECT_LUMO_ERROR(SaveBmp(big.get(), target.c_str()), "test", "stopped");
    LumoSetProgressHandler(previous);
    EXPECT_EQ(ReadBytes(target), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()), {}), 1);  // no temporary file left
}

TEST_F(BmpTest, ProgressRunsOncePerRowOnLoadAndSave) {
    const std::vector<int> expected = {-1, 33, 66, 100, -2};
    SaveBmp(MakePatternImage(ImageKind::COLOR16, 4, 3).get(), tempPath("p.bmp").c_str());
    EXPECT_EQ(progress, expected);
    progress.clear();
    LumoLoadBmp(tempPath("p.bmp").c_str());
    EXPECT_EQ(progress, expected);
    progress.clear();
    LoadBytes(BuildBmp({.width = 2, .height = 3, .bitCount = 8, .compression = 1, .table = GrayTable(256, 1),
                        .pixels = {0, 0, 0, 0, 0, 0, 0, 1}}));
    EXPECT_EQ(progress, expected);
}

// ---- device-independent bitmaps in memory (the clipboard's) ----

DibImage ReadDib(const std::vector<uint8_t>& bytes) { return DibToImage(bytes.data(), bytes.size()); }
std::vector<uint8_t> Packed(const std::vector<uint8_t>& file) { return {file.begin() + 14, file.end()}; }

// The saver's file is its file header, the DIB header MakeDibHeader builds and the rows; read back
// as a packed DIB or as the file, every kind gives the same picture, 4- and 8-bit ones as palettes.
TEST_P(BmpKindTest, DibHeaderIsTheSaversAndReadsBack) {
    const KindSize& c = GetParam();
    ImagePtr image = MakePatternImage(c.kind, c.width, c.height);
    image->xResolution = image->yResolution = 72;
    SaveBmp(image.get(), tempPath("a.bmp").c_str());
    const std::vector<uint8_t> file = ReadBytes(tempPath("a.bmp"));
    const std::vector<uint8_t> header = MakeDibHeader(DibFormatOf(*image));
    ASSERT_GE(file.size(), 14 + header.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin() + 14));

    for (const std::vector<uint8_t>& dib : {file, Packed(file)}) {
        const DibImage read = ReadDib(dib);
        ASSERT_NE(read.image, nullptr) << read.problem;
        EXPECT_EQ(RgbPixels(*read.image), RgbPixels(*image));
        EXPECT_EQ(read.image->bitsPerPixel, image->bitsPerPixel);
        EXPECT_EQ(read.image->colorClass, image->bitsPerPixel == 1 || image->bitsPerPixel == 24 ? image->colorClass
                                                                                                : static_cast<uint8_t>(COLOR));
        EXPECT_NEAR(read.image->xResolution, 72, 0.1);
    }
}

TEST_F(BmpTest, DibTableEntriesNotStoredAreBlack) {
    // Two colours stored of a 4-bit table, then the rows: the rows must not be read as colours.
    const std::vector<uint8_t> dib = Packed(BuildBmp(
        {.width = 8, .height = 1, .bitCount = 4, .colorsUsed = 2, .table = {0x112233, 0x445566},
         .pixels = {0x01, 0x10, 0xFF, 0xFF}}));
    const DibImage read = ReadDib(dib);
    ASSERT_NE(read.image, nullptr);
    ASSERT_TRUE(IsKind(*read.image, ImageKind::COLOR16));
    const uint8_t* palette = read.image->palette;
    EXPECT_EQ(std::vector<uint8_t>(palette, palette + 6), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
    EXPECT_EQ(std::vector<uint8_t>(palette + 6, palette + 48), std::vector<uint8_t>(42, 0));
}

// Each check names what it refused.
TEST_F(BmpTest, DibRefusalsSayWhy) {
    const BmpFields valid = {.width = 4, .height = 2, .bitCount = 8, .table = GrayTable(256, 1),
                             .pixels = std::vector<uint8_t>(8, 1)};
    auto with = [&](auto change) {
        BmpFields f = valid;
        change(f);
        return Packed(BuildBmp(f));
    };
    std::vector<uint8_t> shortRows = Packed(BuildBmp(valid));
    shortRows.pop_back();
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{40, 0}, "the block is shorter than a header"},
        {{64, 0, 0, 0, 1, 0}, "the header runs past the block"},
        {{20, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0}, "the header size is not one of a DIB"},
        {with([](BmpFields& f) { f.colorsUsed = 257; }), "more than 256 colours"},
        {with([](BmpFields& f) { f.width = 70000; }), "the width or height is not one an image can have"},
        {with([](BmpFields& f) { f.compression = 1; }), "the rows are compressed"},
        {with([](BmpFields& f) { f.bitCount = 2; }), "the bit count is not 1, 4, 8, 16, 24 or 32"},
        {with([](BmpFields& f) { f.table.resize(100); }), "the colour table runs past the block"},
        {shortRows, "the rows run past the block"},
    };
    for (const auto& [bytes, problem] : cases) {
        const DibImage read = ReadDib(bytes);
        EXPECT_EQ(read.image, nullptr) << problem;
        EXPECT_EQ(read.problem ? std::string(read.problem) : "", problem);
    }
}

// Every cut of a DIB is refused (the reader never pads); every damaged byte gives an image or a
// refusal, never a read outside the block (the sanitizer build watches).
TEST_F(BmpTest, CutAndDamagedDibsAreRefusedOrRead) {
    const std::vector<std::vector<uint8_t>> dibs = {
        Packed(BuildBmp(WithPattern({.infoSize = 124, .width = 5, .height = -3, .bitCount = 16, .compression = 3,
                                     .masks = {0xF800, 0x07E0, 0x001F}}))),
        Packed(BuildBmp(WithPattern({.width = 5, .height = 3, .bitCount = 16, .compression = 3,
                                     .masks = {0xF800, 0x07E0, 0x001F}}))),
        Packed(BuildBmp(WithPattern({.width = 11, .height = 3, .bitCount = 1, .table = {0xFFFFFF, 0}}))),
        Packed(BuildBmp(WithPattern({.infoSize = 12, .width = 4, .height = 3, .bitCount = 4,
                                     .table = GrayTable(16, 17)}))),
        Packed(BuildBmp(WithPattern({.width = 3, .height = 2, .bitCount = 8, .colorsUsed = 3,
                                     .table = {1, 2, 3}}))),
        BuildBmp(WithPattern({.width = 3, .height = 2, .bitCount = 32})),
    };
    int images = 0, refusals = 0;
    for (const std::vector<uint8_t>& dib : dibs) {
        ASSERT_NE(ReadDib(dib).image, nullptr);
        for (size_t length = 0; length < dib.size(); ++length) {
            // A copy of exactly that length, so that the sanitizer sees any read past it.
            const std::vector<uint8_t> cut(dib.begin(), dib.begin() + static_cast<long>(length));
            const DibImage read = DibToImage(cut.data(), cut.size());
            EXPECT_EQ(read.image, nullptr) << "length " << length;
            EXPECT_NE(read.problem, nullptr);
        }
        for (size_t i = 0; i < dib.size(); ++i)
            for (uint8_t value : {0x01, 0x7F, 0x80, 0xFF}) {
                std::vector<uint8_t> damaged = dib;
                damaged[i] ^= value;
                const DibImage read = ReadDib(damaged);
                EXPECT_TRUE(read.image || read.problem);
                read.image ? ++images : ++refusals;
            }
    }
    EXPECT_GT(images, 0);
    EXPECT_GT(refusals, 0);
}

}  // namespace
