#include "formats/pcd/pcd.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/status_text.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"
#include "tests/support/pcd_writer.h"

namespace {

using namespace pcd_writer;

class PcdTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionPcd("pcdsize", 3);
        LumoSetIntOptionPcd("crsubsampled", 1);
        LumoSetIntOptionPcd("numthumbnail", 0);
        LumoTest::TearDown();
    }
};

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes, int size, int subsampled = 1) {
    LumoSetIntOptionPcd("pcdsize", size);
    LumoSetIntOptionPcd("crsubsampled", subsampled);
    InputFile file(bytes.data(), bytes.size(), "memory.pcd");
    return LoadPcdFrom(file);
}

// A plane of the reference model, computed apart from the loader: new arrays, no work in place.
struct Plane {
    int w = 0, h = 0;
    std::vector<int> s;
    int& at(int x, int y) { return s[static_cast<size_t>(y) * w + x]; }
    int at(int x, int y) const { return s[static_cast<size_t>(y) * w + x]; }
};

Plane PlaneOf(const std::vector<uint8_t>& samples, int w, int h) { return {w, h, {samples.begin(), samples.end()}}; }

// 2x: even rows take the source samples with rounded means between them; odd rows the rounded mean
// of the rows above and below (of four samples at odd columns); the last column and row repeat.
Plane Up(const Plane& p) {
    Plane out{2 * p.w, 2 * p.h, std::vector<int>(static_cast<size_t>(4) * p.w * p.h)};
    for (int r = 0; r < p.h; ++r)
        for (int i = 0; i < p.w; ++i) {
            out.at(2 * i, 2 * r) = p.at(i, r);
            out.at(2 * i + 1, 2 * r) = i + 1 < p.w ? (p.at(i, r) + p.at(i + 1, r) + 1) / 2 : p.at(i, r);
        }
    for (int k = 0; k + 1 < p.h; ++k)
        for (int x = 0; x < out.w; ++x) {
            const int a = out.at(x, 2 * k), b = out.at(x, 2 * k + 2);
            if (x % 2 == 0 || x >= out.w - 2)
                out.at(x, 2 * k + 1) = (a + b + 1) / 2;
            else
                out.at(x, 2 * k + 1) =
                    (out.at(x - 1, 2 * k) + out.at(x + 1, 2 * k) + out.at(x - 1, 2 * k + 2) + out.at(x + 1, 2 * k + 2) + 2) / 4;
        }
    for (int x = 0; x < out.w; ++x) out.at(x, out.h - 1) = out.at(x, out.h - 2);
    return out;
}

Plane Down(const Plane& p) {
    Plane out{p.w / 2, p.h / 2, std::vector<int>(static_cast<size_t>(p.w / 2) * (p.h / 2))};
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x) out.at(x, y) = p.at(2 * x, 2 * y);
    return out;
}

// Adds the residuals of the rows of one header plane, clamped to 0..255.
Plane Apply(Plane p, const std::vector<ResidualRow>& rows, int plane) {
    for (const ResidualRow& row : rows) {
        if (row.plane != plane) continue;
        const int y = plane == 0 ? row.row : row.row / 2;
        for (size_t x = 0; x < row.values.size(); ++x)
            p.at(static_cast<int>(x), y) = std::clamp(p.at(static_cast<int>(x), y) + row.values[x], 0, 255);
    }
    return p;
}

// PhotoYCC to RGB with 12 fraction bits, written out as the sums of the formulas.
uint32_t Rgb(int y, int c1, int c2) {
    const auto clamp = [](int v) { return static_cast<uint32_t>(std::clamp(v >> 12, 0, 255)); };
    const int luma = 5564 * y + 2048;
    const uint32_t r = clamp(luma + 7461 * c2 - 1022138);
    const uint32_t g = clamp(luma + 274934 - 1762 * c1 + 520268 - 3798 * c2);
    const uint32_t b = clamp(luma + 9085 * c1 - 1417185);
    return r << 16 | g << 8 | b;
}

::testing::AssertionResult MatchesModel(const IMG& image, const Plane& y, const Plane& c1, const Plane& c2) {
    if (!IsKind(image, ImageKind::RGB) || image.width != y.w || image.height != y.h)
        return ::testing::AssertionFailure() << "image " << image.width << "x" << image.height << ", expected "
                                             << y.w << "x" << y.h << " RGB";
    for (int row = 0; row < y.h; ++row)
        for (int x = 0; x < y.w; ++x) {
            const uint32_t expected = Rgb(y.at(x, row), c1.at(x, row), c2.at(x, row));
            if (PixelAt(image, x, row) != expected)
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << row << ") is " << std::hex
                                                     << PixelAt(image, x, row) << ", expected " << expected;
        }
    return ::testing::AssertionSuccess();
}

// Residual rows with values across the table's range (the full table's extremes clamp samples).
ResidualRow Row(int plane, int row, int width, bool full, int seed = 0) {
    ResidualRow r{plane, row, {}};
    for (int i = 0; i < width; ++i)
        r.values.push_back(full ? (i * 37 + row * 11 + seed) % 256 - 128 : (i + row + seed) % 17 - 8);
    return r;
}

// A chroma-2 table with a 16-bit code (1111111110000000 for 100) beside the short ones.
Table LongCodeTable() {
    Table table = SmallTable();
    table.push_back({16, 0xFF80, 100});
    return table;
}

// One pack with every part: 4Base residuals with the 256-entry table (rows that never appear keep
// their interpolated values), 16Base residuals in all three planes.
const PackLayout& FullLayout() {
    static const PackLayout layout = [] {
        PackLayout l;
        l.fourBase = l.sixteenBase = true;
        l.fourBaseTable = FullTable();
        for (int row : {0, 1, 2, 500, 1023}) l.fourBaseRows.push_back(Row(0, row, 1536, true));
        l.sixteenTables[1] = FullTable();
        l.sixteenTables[2] = LongCodeTable();
        l.sixteenRows = {Row(0, 0, 3072, false), Row(2, 0, 1536, true), Row(3, 1, 1536, false),
                         Row(0, 7, 3072, false), Row(2, 2, 1536, true, 5), Row(3, 1001, 1536, false),
                         Row(0, 2047, 3072, false), Row(2, 2046, 1536, true), Row(3, 2047, 1536, false)};
        for (int i = 0; i < 1536; i += 9) l.sixteenRows[5].values[static_cast<size_t>(i)] = 100;
        return l;
    }();
    return layout;
}

const std::vector<uint8_t>& FullPack() {
    static const std::vector<uint8_t> bytes = WritePack(FullLayout());
    return bytes;
}

struct Model {
    Plane y, c1, c2;
};

// What each size and chroma variant must give, from the pictures and residuals of the layout.
Model Expected(const PackLayout& l, int size, bool fullChroma) {
    const auto chroma = [](const YccPicture& p, bool second) {
        return PlaneOf(second ? p.chroma2 : p.chroma1, p.width / 2, p.height / 2);
    };
    const auto luma = [](const YccPicture& p) { return PlaneOf(p.luma, p.width, p.height); };
    switch (size) {
        case 1:
        case 2: {
            const YccPicture& own = size == 1 ? l.base16 : l.base4;
            const YccPicture& next = size == 1 ? l.base4 : l.base;
            if (fullChroma) return {luma(own), chroma(next, false), chroma(next, true)};
            return {luma(own), Up(chroma(own, false)), Up(chroma(own, true))};
        }
        case 3:
            if (fullChroma)
                return {luma(l.base), Down(Apply(Up(Up(chroma(l.base, false))), l.sixteenRows, 2)),
                        Down(Apply(Up(Up(chroma(l.base, true))), l.sixteenRows, 3))};
            return {luma(l.base), Up(chroma(l.base, false)), Up(chroma(l.base, true))};
        case 4: {
            Model m{Apply(Up(luma(l.base)), l.fourBaseRows, 0), Up(Up(chroma(l.base, false))),
                    Up(Up(chroma(l.base, true)))};
            if (fullChroma) m.c1 = Apply(m.c1, l.sixteenRows, 2), m.c2 = Apply(m.c2, l.sixteenRows, 3);
            return m;
        }
        default:
            return {Apply(Up(Apply(Up(luma(l.base)), l.fourBaseRows, 0)), l.sixteenRows, 0),
                    Up(Apply(Up(Up(chroma(l.base, false))), l.sixteenRows, 2)),
                    Up(Apply(Up(Up(chroma(l.base, true))), l.sixteenRows, 3))};
    }
}

// ImageMagick writes the three uncompressed pictures of a pack from a picture of its own and reads
// them back with its own chroma interpolation. Its conversion to RGB is another mapping of PhotoYCC
// than the format's, so its samples are taken raw (as YCC) and converted with the formula above:
// our sizes 1 to 3 must then agree with its reading of the same file within two levels, all but a
// pixel or so.
TEST_F(PcdTest, SizesOneToThreeAgreeWithImageMagick) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    ImagePtr picture = MakePatternImage(ImageKind::RGB, 768, 512, 7);
    const std::string source = tempPath("source.ppm"), pack = tempPath("pack.pcd");
    WritePnm(*picture, source);
    ASSERT_EQ(RunCommand("convert " + ShellQuote(source) + " PCD:" + ShellQuote(pack)).status, 0);
    for (int size = 1; size <= 3; ++size) {
        LumoSetIntOptionPcd("pcdsize", size);
        ImagePtr ours = LumoLoadPcd(pack.c_str());
        const std::string theirs = tempPath("theirs.ppm");
        ASSERT_EQ(RunCommand("convert " + ShellQuote(pack + "[" + std::to_string(size) + "]") + " -set colorspace sRGB -depth 8 ppm:" +
                             ShellQuote(theirs)).status, 0);
        const PnmPicture reference = ParsePnm(ReadBytes(theirs));
        PnmPicture mine = PnmOf(*ours);
        PnmPicture converted = reference;
        for (size_t i = 0; i + 2 < converted.samples.size(); i += 3) {
            const uint32_t rgb = Rgb(reference.samples[i], reference.samples[i + 1], reference.samples[i + 2]);
            converted.samples[i] = static_cast<uint8_t>(rgb >> 16);
            converted.samples[i + 1] = static_cast<uint8_t>(rgb >> 8);
            converted.samples[i + 2] = static_cast<uint8_t>(rgb);
        }
        ASSERT_EQ(reference.width, mine.width);
        ASSERT_EQ(reference.height, mine.height);
        long total = 0;
        int outliers = 0;
        for (size_t i = 0; i < mine.samples.size(); ++i) {
            const int d = std::abs(mine.samples[i] - converted.samples[i]);
            total += d;
            outliers += d > 2;
        }
        const double mean = static_cast<double>(total) / static_cast<double>(mine.samples.size());
        // ImageMagick rounds a few interpolated samples the other way; one pixel of its 768x512 reading
        // differs more (14 levels in one component at the time of writing).
        EXPECT_LT(mean, 0.05) << "size " << size;
        EXPECT_LE(outliers, 3) << "size " << size;
    }
}

struct SizeCase {
    int size;
    int subsampled;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << "size " << c.size << ", crsubsampled " << c.subsampled; }

class PcdSizeTest : public PcdTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PcdSizeTest, PixelsFollowTheInterpolationResidualsAndColourFormulas) {
    const auto [size, subsampled] = GetParam();
    ImagePtr image = LoadBytes(FullPack(), size, subsampled);
    ASSERT_TRUE(image);
    const Model m = Expected(FullLayout(), size, subsampled == 0 && size < 5);
    EXPECT_TRUE(MatchesModel(*image, m.y, m.c1, m.c2));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(progress, (std::vector<int>{-1, 30, 45, 60, 75, 80, 90, -2}));
}

INSTANTIATE_TEST_SUITE_P(AllSizes, PcdSizeTest,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{1, 0}, SizeCase{2, 1}, SizeCase{2, 0},
                                           SizeCase{3, 1}, SizeCase{3, 0}, SizeCase{4, 1}, SizeCase{4, 0},
                                           SizeCase{5, 1}, SizeCase{5, 0}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                             return "Size" + std::to_string(info.param.size) +
                                    (info.param.subsampled ? "Subsampled" : "FullChroma");
                         });

TEST_F(PcdTest, FullChromaOfTheSmallSizesIsTheNextPicturesChromaNotAnInterpolation) {
    // The reference model says so too; this guards against both sides sharing a mistake.
    ImagePtr subsampled = LoadBytes(FullPack(), 1, 1);
    ImagePtr full = LoadBytes(FullPack(), 1, 0);
    int differing = 0;
    for (int x = 0; x < 192; ++x) differing += PixelAt(*subsampled, x, 5) != PixelAt(*full, x, 5);
    EXPECT_GT(differing, 50);
}

TEST_F(PcdTest, ChromaOnlyLoadsTakeTheirDataFromTheOffsetInTheSectorAfterTheMark) {
    PackLayout l = FullLayout();
    l.sixteenDataOffset = 30;  // the data is written at n + 30 too, and n + 14 is then spoiled
    PackSectors where;
    std::vector<uint8_t> bytes = WritePack(l, &where);
    std::fill(bytes.begin() + static_cast<long>((where.sixteenBaseMark + 14) * kSector),
              bytes.begin() + static_cast<long>((where.sixteenBaseMark + 15) * kSector), 0x55);
    ImagePtr image = LoadBytes(bytes, 4, 0);
    const Model m = Expected(l, 4, true);
    EXPECT_TRUE(MatchesModel(*image, m.y, m.c1, m.c2));
}

TEST_F(PcdTest, ThreeLargestTablesRunIntoTheSectorAfterTheirs) {
    PackLayout l = FullLayout();
    for (Table& table : l.sixteenTables) table = FullTable();  // 3 x 1025 bytes: the third starts past 2048
    for (ResidualRow& row : l.sixteenRows) row = Row(row.plane, row.row, static_cast<int>(row.values.size()), true, 3);
    ImagePtr image = LoadBytes(WritePack(l), 5);
    const Model m = Expected(l, 5, false);
    EXPECT_TRUE(MatchesModel(*image, m.y, m.c1, m.c2));
}

struct OrientationCase {
    int field;
    const char* name;
};

void PrintTo(const OrientationCase& c, std::ostream* os) { *os << c.name; }

class PcdOrientationTest : public PcdTest, public ::testing::WithParamInterface<OrientationCase> {};

TEST_P(PcdOrientationTest, TurnsThePictureAsTheAttributeSectorSays) {
    PackLayout l;
    l.orientation = GetParam().field | 0xFC;  // only the low two bits count
    ImagePtr stored = LoadBytes(WritePack(PackLayout{}), 1);
    ImagePtr image = LoadBytes(WritePack(l), 1);
    const int field = GetParam().field;
    const bool turned = field == 1 || field == 3;
    ASSERT_EQ(image->width, turned ? 128 : 192);
    ASSERT_EQ(image->height, turned ? 192 : 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 192; ++x) {
            const int column = field == 1 ? y : field == 3 ? 127 - y : x;
            const int row = field == 1 ? 191 - x : field == 3 ? x : y;
            ASSERT_EQ(PixelAt(*image, column, row), PixelAt(*stored, x, y)) << x << ", " << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Orientations, PcdOrientationTest,
                         ::testing::Values(OrientationCase{0, "AsStored"}, OrientationCase{1, "CounterClockwise"},
                                           OrientationCase{2, "TwoAsStored"}, OrientationCase{3, "Clockwise"}),
                         [](const ::testing::TestParamInfo<OrientationCase>& info) { return info.param.name; });

TEST_F(PcdTest, ResidualsClampAtBothEnds) {
    PackLayout l;
    l.fourBase = true;
    l.base = YccPicture::Flat(768, 512, 250, 156, 137);
    l.base.luma[0] = 3;  // top-left sample: 3 - 100 clamps to 0
    l.fourBaseTable = FullTable();
    ResidualRow row{0, 0, std::vector<int>(1536, 100)};
    row.values[0] = -100;
    l.fourBaseRows = {row};
    ImagePtr image = LoadBytes(WritePack(l), 4);
    EXPECT_EQ(PixelAt(*image, 0, 0), Rgb(0, 156, 137));
    EXPECT_EQ(PixelAt(*image, 700, 0), Rgb(255, 156, 137));
    EXPECT_EQ(PixelAt(*image, 700, 1), Rgb(250, 156, 137));  // rows without residuals keep the picture
}

TEST_F(PcdTest, AnEndHeaderBeforeTheLastRowEndsTheSection) {
    PackLayout l;
    l.fourBase = true;
    l.fourBaseRows = {Row(0, 3, 1536, false, 1)};
    ImagePtr residuals = LoadBytes(WritePack(l), 4);
    l.fourBaseRows.clear();
    ImagePtr plain = LoadBytes(WritePack(l), 4);
    EXPECT_NE(PixelAt(*residuals, 1, 3), PixelAt(*plain, 1, 3));
    for (int y : {0, 2, 4, 1023}) EXPECT_EQ(PixelAt(*residuals, 1, y), PixelAt(*plain, 1, y));
}

TEST_F(PcdTest, OnlyTheSizeNamedByTheOptionIsRead) {
    // Sizes 1 and 2 need nothing past Base/4 and the Base picture respectively.
    const std::vector<uint8_t>& all = FullPack();
    EXPECT_TRUE(LoadBytes({all.begin(), all.begin() + 95 * 2048}, 2));
    EXPECT_TRUE(LoadBytes({all.begin(), all.begin() + 23 * 2048}, 1));
    EXPECT_TRUE(LoadBytes({all.begin(), all.begin() + 384 * 2048}, 3));
}

// The failures of the loader, each from a crafted file (or option), each with nothing left allocated.
struct FailureCase {
    const char* name;
    int size;
    int subsampled;
    std::vector<uint8_t> (*bytes)();
    const char* message;
};

PackLayout FourBaseLayout(std::vector<ResidualRow> rows, int end = 1024) {
    PackLayout l;
    l.fourBase = true;
    l.fourBaseRows = std::move(rows);
    l.fourBaseEnd = end;
    return l;
}

std::vector<uint8_t> Pack(const PackLayout& l) { return WritePack(l); }

const FailureCase kFailures[] = {
    {"FileShorterThanTheAttributeSector", 3, 1, [] { return std::vector<uint8_t>(3000); },
     "Error while reading PCD file."},
    {"FileEndsInsideBase", 3, 1, [] { return std::vector<uint8_t>(FullPack().begin(), FullPack().begin() + 300 * 2048); },
     "Error while reading PCD file."},
    {"FileEndsInsideTheFourBaseSection", 4, 1,
     [] {
         std::vector<uint8_t> bytes = Pack(FourBaseLayout({Row(0, 0, 1536, false), Row(0, 1, 1536, false)}));
         bytes.resize(390 * 2048);
         return bytes;
     },
     "Error while reading PCD file."},
    {"NoSixteenBaseMarkBeforeTheEnd", 3, 0, [] { return Pack(FourBaseLayout({})); }, "Error while reading PCD file."},
    {"CodeLongerThanSixteenBits", 4, 1,
     [] {
         PackLayout l = FourBaseLayout({});
         l.fourBaseTable.push_back({17, 0xFFFF, 1});
         return Pack(l);
     },
     "Error in Huffman Code Table"},
    {"SixteenBaseTableWithALongCode", 5, 1,
     [] {
         PackLayout l = FullLayout();
         l.sixteenTables[2].push_back({17, 0xFFFF, 1});
         return Pack(l);
     },
     "Error in Huffman Code Table"},
    {"IncompleteRow", 4, 1,
     [] { return Pack(FourBaseLayout({{0, 5, std::vector<int>(1535, 1)}, Row(0, 6, 1536, false)})); },
     "Error in Huffman Sequence"},
    {"IncompleteLastRowBeforeTheEnd", 4, 1, [] { return Pack(FourBaseLayout({{0, 5, std::vector<int>(10, 1)}})); },
     "Error in Huffman Sequence"},
    {"RowPastTheHeight", 4, 1, [] { return Pack(FourBaseLayout({Row(0, 5, 1536, false)}, 1025)); },
     "Error in Huffman Sequence"},
    {"PlaneOne", 4, 1, [] { return Pack(FourBaseLayout({{1, 0, {}}})); }, "Error in Huffman Sequence"},
    {"ChromaRowInALumaOnlySection", 4, 1, [] { return Pack(FourBaseLayout({Row(2, 0, 768, false)})); },
     "Error in Huffman Sequence"},
    {"DataBeforeTheFirstRowHeader", 4, 1, [] { return Pack(FourBaseLayout({{-1, 0, {1, 2, 3}}, Row(0, 0, 1536, false)})); },
     "Error in Huffman Sequence"},
    {"TooManyValuesInARow", 4, 1, [] { return Pack(FourBaseLayout({{0, 0, std::vector<int>(1537, 2)}})); },
     "Error in Huffman Sequence"},
    {"NoMatchingCode", 4, 1,
     [] {
         std::vector<uint8_t> bytes = Pack(FourBaseLayout({Row(0, 0, 1536, false)}));
         const std::vector<uint8_t> onlyZero = TableBytes({{1, 0x0000, 0}});  // "100" (+1) matches nothing
         std::copy(onlyZero.begin(), onlyZero.end(), bytes.begin() + 388 * 2048);
         return bytes;
     },
     "Error in Huffman Sequence"},
    {"SizeZero", 0, 1, [] { return FullPack(); }, "Can't read this PCD file."},
    {"SizeSeven", 7, 1, [] { return FullPack(); }, "Can't read this PCD file."},
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class PcdFailureTest : public PcdTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PcdFailureTest, ReportsTheErrorAndReleasesEverything) {
    const FailureCase& c = GetParam();
    const std::vector<uint8_t> bytes = c.bytes();
    EXPECT_LUMO_ERROR(LoadBytes(bytes, c.size, c.subsampled), "LumoLoadPcd", c.message);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.message);
}

INSTANTIATE_TEST_SUITE_P(Failures, PcdFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(PcdTest, MissingFileAndNegativeThumbnailNumber) {
    const std::string path = tempPath("nothing.pcd");
    EXPECT_LUMO_ERROR(LumoLoadPcd(path.c_str()), "LumoLoadPcd", "Can't open PCD file " + path + ": No such file or directory");
    LumoSetIntOptionPcd("pcdsize", 6);
    LumoSetIntOptionPcd("numthumbnail", -1);
    InputFile file(FullPack().data(), FullPack().size(), "memory.pcd");
    EXPECT_LUMO_ERROR(LoadPcdFrom(file), "LumoLoadPcd", "Error while seeking in PCD file.");
}

TEST_F(PcdTest, AFileCutAnywhereGivesAnImageOrAReadError) {
    PackLayout l = FourBaseLayout({Row(0, 0, 1536, false), Row(0, 900, 1536, false)});
    const std::vector<uint8_t> whole = WritePack(l);
    for (size_t length = 0; length < whole.size(); length += 4099) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
        for (int size : {1, 4}) {
            try {
                ImagePtr image = LoadBytes(cut, size);
                EXPECT_GE(length, size == 1 ? 4u * 2048 + 36864 : 390u * 2048);  // the end of Base/16, of the 4Base data
            } catch (const LumoFailure& failure) {
                EXPECT_STREQ(failure.text(), "Error while reading PCD file.") << length;
            }
        }
    }
}

TEST_F(PcdTest, OptionsAndProfileKeys) {
    EXPECT_EQ(LumoGetIntOptionPcd("pcdsize"), 3);
    EXPECT_EQ(LumoGetIntOptionPcd("crsubsampled"), 1);
    EXPECT_EQ(LumoGetIntOptionPcd("numthumbnail"), 0);
    EXPECT_LUMO_ERROR(LumoSetIntOptionPcd("size", 1), "LumoSetIntOptionPcd", "Unknown PCD option: size");
    EXPECT_LUMO_ERROR(LumoGetIntOptionPcd("PcdSize"), "LumoGetIntOptionPcd", "Unknown PCD option: PcdSize");
    const auto keys = PcdProfileKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_STREQ(keys[0].key, "PcdSize");
    EXPECT_STREQ(keys[0].option, "pcdsize");
    EXPECT_STREQ(keys[1].key, "PcdCrSubsampling");
    EXPECT_STREQ(keys[1].option, "crsubsampled");
}

// Overview files: thumbnails of one colour each, so every cell of the sheet is one colour too.
YccPicture Thumbnail(int k) {
    return YccPicture::Flat(192, 128, static_cast<uint8_t>(40 + 2 * k), static_cast<uint8_t>(100 + k),
                            static_cast<uint8_t>(180 - k));
}

std::vector<uint8_t> OverviewOf(int count) {
    std::vector<YccPicture> thumbnails;
    for (int k = 0; k < count; ++k) thumbnails.push_back(Thumbnail(k));
    return WriteOverview(thumbnails);
}

class PcdOverviewTest : public PcdTest {
protected:
    void SetUp() override {
        PcdTest::SetUp();
        previousStatus_ = SetStatusTextFunction([this](const char* text) { statusTexts.push_back(text); });
    }
    void TearDown() override {
        SetStatusTextFunction(previousStatus_);
        SetPcdOverviewCount(0);
        PcdTest::TearDown();
    }

    ImagePtr sheetOf(int count) {
        const std::string path = tempPath("overview.pcd");
        WriteBytes(path, OverviewOf(count));
        return LoadPcdOverview(path.c_str());
    }

    std::vector<std::string> statusTexts;

private:
    StatusTextFunction previousStatus_;
};

TEST_F(PcdOverviewTest, TwelveThumbnailsFillTwelveCellsAndAreRecorded) {
    ImagePtr sheet = sheetOf(12);
    ASSERT_EQ(sheet->width, 960);
    ASSERT_EQ(sheet->height, 640);
    for (int cell = 0; cell < 100; ++cell) {
        const int left = 96 * (cell % 10), top = 64 * (cell / 10);
        const YccPicture t = Thumbnail(cell);
        const uint32_t expected = cell < 12 ? Rgb(t.luma[0], t.chroma1[0], t.chroma2[0]) : 0;
        for (int y : {top, top + 63})
            for (int x : {left, left + 95}) ASSERT_EQ(PixelAt(*sheet, x, y), expected) << "cell " << cell;
    }
    EXPECT_EQ(LoadPcdOverviewCount(), 12);
    ASSERT_EQ(statusTexts.size(), 13u);  // the thirteenth load finds the end
    EXPECT_EQ(statusTexts[0], "Loading thumbnail n'1");
    EXPECT_EQ(statusTexts[12], "Loading thumbnail n'13");
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(progress.empty());  // progress is off during the sheet
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
    EXPECT_EQ(LumoGetIntOptionPcd("pcdsize"), 6);
}

TEST_F(PcdOverviewTest, OnlyTheFirstHundredThumbnailsArePlaced) {
    ImagePtr sheet = sheetOf(101);
    EXPECT_EQ(LoadPcdOverviewCount(), 100);
    EXPECT_EQ(statusTexts.size(), 100u);
    const YccPicture last = Thumbnail(99);
    EXPECT_EQ(PixelAt(*sheet, 959, 639), Rgb(last.luma[0], last.chroma1[0], last.chroma2[0]));
}

TEST_F(PcdOverviewTest, AnEmptyOverviewGivesABlackSheetAndTheCallersProgressSettingStays) {
    LumoSetIntOption("showprogress", 0);
    ImagePtr sheet = sheetOf(0);
    EXPECT_EQ(LoadPcdOverviewCount(), 0);
    EXPECT_EQ(PixelAt(*sheet, 0, 0), 0u);
    EXPECT_EQ(LumoGetIntOption("showprogress"), 0);
}

TEST_F(PcdOverviewTest, AMissingOverviewFileIsReportedAndTheSheetReleased) {
    SetPcdOverviewCount(7);
    const std::string path = tempPath("OVERVIEW.PCD");
    EXPECT_LUMO_ERROR(LoadPcdOverview(path.c_str()), "LumoLoadPcd", "Can't open PCD file " + path + ": No such file or directory");
    EXPECT_EQ(LoadPcdOverviewCount(), 7);  // the last sheet's count stands
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
}

TEST_F(PcdOverviewTest, AThumbnailPastTheEndIsNoImageAndNoMessage) {
    const std::vector<uint8_t> bytes = OverviewOf(12);
    LumoSetIntOptionPcd("pcdsize", 6);
    LumoSetIntOptionPcd("numthumbnail", 11);
    {
        InputFile file(bytes.data(), bytes.size(), "overview.pcd");
        ImagePtr last = LoadPcdFrom(file);
        ASSERT_TRUE(last);
        EXPECT_EQ(last->width, 192);
        EXPECT_EQ(last->height, 128);
    }
    LumoSetIntOptionPcd("numthumbnail", 12);
    InputFile file(bytes.data(), bytes.size(), "overview.pcd");
    EXPECT_FALSE(LoadPcdFrom(file));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(progress.back(), -2);
}

TEST_F(PcdOverviewTest, HeaderInfoOfAThumbnailKnowsWhereTheFileEnds) {
    std::vector<uint8_t> bytes = OverviewOf(12);
    LumoSetIntOptionPcd("pcdsize", 6);
    const auto info = [&](int thumbnail) {
        LumoSetIntOptionPcd("numthumbnail", thumbnail);
        InputFile file(bytes.data(), bytes.size(), "overview.pcd");
        return ReadPcdInfoFrom(file);
    };
    ASSERT_TRUE(info(11));
    EXPECT_EQ(info(11)->width, 192);
    EXPECT_EQ(info(11)->height, 128);
    EXPECT_FALSE(info(12));
    bytes.pop_back();  // the last thumbnail lacks its last byte: the loader gives no image
    EXPECT_FALSE(info(11));
    LumoSetIntOptionPcd("numthumbnail", 11);
    InputFile file(bytes.data(), bytes.size(), "overview.pcd");
    EXPECT_FALSE(LoadPcdFrom(file));
    EXPECT_LUMO_ERROR(info(-1), "LumoLoadPcd", "Error while seeking in PCD file.");
    EXPECT_TRUE(statusTexts.empty());
}

}  // namespace

namespace {

// Writes the seed corpus of the fuzz harness (fuzz/pcd_fuzz.cpp explains the option bytes and the
// compact form) into the folder named by LUMO_PCD_SEEDS. Run on demand with
// --gtest_also_run_disabled_tests --gtest_filter=*WriteFuzzSeeds*.
void WriteSeed(const std::string& folder, const std::string& name, int size, int subsampled, int thumbnail,
               const std::vector<uint8_t>& file, bool compact, int orientation = 0) {
    const uint8_t header[] = {static_cast<uint8_t>(size - 1), static_cast<uint8_t>(subsampled),
                              static_cast<uint8_t>(thumbnail), static_cast<uint8_t>(compact ? 'Z' : 'R'),
                              static_cast<uint8_t>(orientation)};
    std::vector<uint8_t> seed(header, header + (compact ? 5 : 4));  // the orientation byte in the compact form only
    if (compact) {
        seed.insert(seed.end(), file.begin() + 384 * 2048, file.end());
    } else {
        seed.insert(seed.end(), file.begin() + 4, file.end());
    }
    WriteBytes(folder + "/" + name, seed);
}

TEST_F(PcdTest, DISABLED_WriteFuzzSeeds) {
    const char* folder = std::getenv("LUMO_PCD_SEEDS");
    ASSERT_TRUE(folder);
    PackLayout small;
    small.orientation = 3;
    std::vector<uint8_t> base16 = WritePack(small);
    base16.resize(4 * 2048 + 36864);
    WriteSeed(folder, "base16_clockwise.pcd", 1, 1, 0, base16, false);
    WriteSeed(folder, "overview_two_thumbnails.pcd", 6, 1, 1, WriteOverview({Thumbnail(0), Thumbnail(1)}), false);

    PackLayout l;
    l.fourBase = l.sixteenBase = true;
    l.fourBaseRows = {Row(0, 0, 1536, false), Row(0, 1023, 1536, false)};
    l.sixteenTables[2] = LongCodeTable();
    l.sixteenRows = {Row(0, 1, 3072, false), Row(2, 4, 1536, false), Row(3, 5, 1536, false)};
    const std::vector<uint8_t> pack = WritePack(l);
    WriteSeed(folder, "four_base.pcd", 4, 1, 0, pack, true, 1);
    WriteSeed(folder, "four_base_full_chroma.pcd", 4, 0, 0, pack, true);
    WriteSeed(folder, "sixteen_base.pcd", 5, 1, 0, pack, true);
    WriteSeed(folder, "base_full_chroma_search.pcd", 3, 0, 0, pack, true);
    PackLayout full = l;
    full.fourBaseTable = FullTable();
    full.fourBaseRows = {Row(0, 2, 1536, true)};
    WriteSeed(folder, "four_base_full_table.pcd", 4, 1, 0, WritePack(full), true);
}

}  // namespace
