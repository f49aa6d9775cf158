#include "formats/g3/g3.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/g3/g3_detect.h"
#include "formats/g3/g3_repair.h"
#include "tests/support/lumo_test.h"

namespace {

constexpr int kRowBytes = 216;

// A fax page as a PBM holds it: rows of 216 bytes, top row first, 1 = black. Marks are short black
// runs in 2- or 3-row bands and tall bars, so no row ends in black and no black streak stands alone
// in one row: the repair passes leave the page as it is.
using Page = std::vector<std::vector<uint8_t>>;

Page MakePage(int rows, unsigned seed = 7) {
    std::mt19937 random(seed);
    Page page(static_cast<size_t>(rows), std::vector<uint8_t>(kRowBytes, 0));
    for (int y = 0; y < rows; ++y) {
        if (y % 40 >= 28) continue;  // leading between lines of text
        const unsigned band = static_cast<unsigned>(y / 3);
        for (int b = 4; b < kRowBytes - 8; ++b) {
            const unsigned mark = (static_cast<unsigned>(b) * 2654435761u ^ band * 40503u) >> 11;
            if (mark % 5 == 0) page[static_cast<size_t>(y)][static_cast<size_t>(b)] = static_cast<uint8_t>(0x3C ^ (mark & 0x81));
        }
        if (y % 40 < 20) page[static_cast<size_t>(y)][static_cast<size_t>(100 + random() % 8)] |= 0x18;
    }
    return page;
}

std::vector<uint8_t> PbmBytes(const Page& page) {
    const std::string header = "P4\n1728 " + std::to_string(page.size()) + "\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (const auto& row : page) bytes.insert(bytes.end(), row.begin(), row.end());
    return bytes;
}

// The page as the loader must give it: BW rows, 1 = white.
::testing::AssertionResult ShowsPage(const IMG& image, const Page& page) {
    if (image.width != 1728 || image.height != static_cast<int>(page.size()) || image.bitsPerPixel != 1)
        return ::testing::AssertionFailure() << "got " << image.width << " x " << image.height << " at "
                                             << int{image.bitsPerPixel} << " bits, want 1728 x " << page.size();
    for (int y = 0; y < image.height; ++y)
        for (int b = 0; b < kRowBytes; ++b)
            if (PictureRow(image, y)[b] != static_cast<uint8_t>(~page[static_cast<size_t>(y)][static_cast<size_t>(b)]))
                return ::testing::AssertionFailure() << "row " << y << " differs at byte " << b;
    return ::testing::AssertionSuccess();
}

// A min-is-white TIFF of the page, uncompressed, for tiffcp to recode.
void WriteSourceTiff(const std::string& path, const Page& page, float yResolution) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 1728);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.size()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<double>(yResolution));
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    for (size_t y = 0; y < page.size(); ++y)
        ASSERT_EQ(TIFFWriteScanline(tiff, const_cast<uint8_t*>(page[y].data()), static_cast<uint32_t>(y), 0), 1);
    TIFFClose(tiff);
}

// The bytes of the single strip of a TIFF, found through its StripOffsets and StripByteCounts.
std::vector<uint8_t> SingleStrip(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return {};
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    const bool found = TIFFNumberOfStrips(tiff) == 1 && TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) &&
                       TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts);
    const uint64_t offset = found ? offsets[0] : 0;
    const uint64_t count = found ? counts[0] : 0;
    TIFFClose(tiff);
    const std::vector<uint8_t> file = ReadBytes(path);
    if (!found || offset + count > file.size()) return {};
    return {file.begin() + static_cast<long>(offset), file.begin() + static_cast<long>(offset + count)};
}

enum class Maker { Pbmtog3, Pbmtog3Reversed, ImageMagick, Tiffcp };

struct Encoding {
    const char* name;
    Maker maker;
    const char* tiffcpCoding;    // "g3:2d" or "g3"
    const char* tiffcpOrder;     // "lsb2msb" or "msb2lsb"
    float yResolution;           // of the source TIFF: over 150 dpi libtiff codes K = 4, else K = 2
    int twoD;                    // what the load must detect
    int msbToLsb;
};

class G3Test : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionG3("stretch", 0);
        LumoSetIntOption("verbose", 0);
        LumoTest::TearDown();
    }

    // The page coded by a reference tool, as a headerless fax file.
    std::vector<uint8_t> Encode(const Page& page, const Encoding& encoding) {
        const std::string pbm = tempPath("page.pbm");
        const std::string fax = tempPath("page.fax");
        WriteBytes(pbm, PbmBytes(page));
        std::string command;
        switch (encoding.maker) {
            case Maker::Pbmtog3: command = "pbmtog3 " + pbm + " > " + fax; break;
            case Maker::Pbmtog3Reversed: command = "pbmtog3 -reversebits " + pbm + " > " + fax; break;
            case Maker::ImageMagick: command = "convert " + pbm + " G3:" + fax; break;
            case Maker::Tiffcp: {
                const std::string source = tempPath("page.tif");
                WriteSourceTiff(source, page, encoding.yResolution);
                const std::string coded = tempPath("coded.tif");
                command = std::string("tiffcp -c ") + encoding.tiffcpCoding + " -f " + encoding.tiffcpOrder +
                          " -r 1000000 " + source + " " + coded;
                EXPECT_EQ(RunCommand(command).status, 0) << command;
                return SingleStrip(coded);
            }
        }
        EXPECT_EQ(RunCommand(command).status, 0) << command;
        return ReadBytes(fax);
    }

    ImagePtr Load(const std::vector<uint8_t>& bytes) {
        InputFile file(bytes.data(), bytes.size(), "page.fax");
        return LoadG3From(file);
    }
};

const char* ToolOf(Maker maker) {
    switch (maker) {
        case Maker::Pbmtog3:
        case Maker::Pbmtog3Reversed: return "pbmtog3";
        case Maker::ImageMagick: return "convert";
        default: return "tiffcp";
    }
}

class G3EncodingTest : public G3Test, public ::testing::WithParamInterface<Encoding> {};

TEST_P(G3EncodingTest, CleanPageLoadsWithItsPixelsAndTheDetectedCoding) {
    const Encoding& encoding = GetParam();
    if (!HaveTool(ToolOf(encoding.maker))) GTEST_SKIP() << ToolOf(encoding.maker) << " is not installed";
    const Page page = MakePage(400);
    const std::vector<uint8_t> fax = Encode(page, encoding);
    ASSERT_GT(fax.size(), 100u);
    // Whatever the caller set is overwritten by what the data shows.
    LumoSetIntOptionG3("2d", !encoding.twoD);
    LumoSetIntOptionG3("msbtolsb", !encoding.msbToLsb);

    ImagePtr image = Load(fax);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(ShowsPage(*image, page));
    EXPECT_EQ(image->xResolution, 196.0f);
    EXPECT_EQ(image->yResolution, 196.0f);
    EXPECT_EQ(LumoGetIntOptionG3("2d"), encoding.twoD);
    EXPECT_EQ(LumoGetIntOptionG3("msbtolsb"), encoding.msbToLsb);
    EXPECT_TRUE(warnings.empty()) << warnings.front().module << ": " << warnings.front().text;
    EXPECT_TRUE(errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ReferenceEncoders, G3EncodingTest,
    ::testing::Values(Encoding{"pbmtog3_1d_msb_first", Maker::Pbmtog3, "", "", 0, 0, 1},
                      Encoding{"pbmtog3_1d_lsb_first", Maker::Pbmtog3Reversed, "", "", 0, 0, 0},
                      Encoding{"imagemagick_1d", Maker::ImageMagick, "", "", 0, 0, 1},
                      Encoding{"tiffcp_1d_lsb_first", Maker::Tiffcp, "g3", "lsb2msb", 196, 0, 0},
                      Encoding{"tiffcp_2d_k4_lsb_first", Maker::Tiffcp, "g3:2d", "lsb2msb", 196, 1, 0},
                      Encoding{"tiffcp_2d_k4_msb_first", Maker::Tiffcp, "g3:2d", "msb2lsb", 196, 1, 1},
                      Encoding{"tiffcp_2d_k2_lsb_first", Maker::Tiffcp, "g3:2d", "lsb2msb", 98, 1, 0},
                      Encoding{"tiffcp_2d_k2_msb_first", Maker::Tiffcp, "g3:2d", "msb2lsb", 98, 1, 1}),
    [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

TEST_F(G3Test, ConstantKFactorIsSeenInTheMarkersAndOneDimensionalDataIsNot) {
    if (!HaveTool("tiffcp") || !HaveTool("pbmtog3")) GTEST_SKIP() << "tiffcp or pbmtog3 is not installed";
    const Page page = MakePage(300);
    for (const float resolution : {98.0f, 196.0f}) {
        const std::vector<uint8_t> twoD = Encode(page, {"", Maker::Tiffcp, "g3:2d", "msb2lsb", resolution, 1, 1});
        EXPECT_EQ(ScanMarkerPattern(twoD, true).irregularity, 0) << resolution << " dpi";
        EXPECT_GE(ScanMarkerPattern(twoD, true).endOfLines, 300);
        EXPECT_EQ(ScanMarkerPattern(twoD, false).irregularity, 100);
    }
    const std::vector<uint8_t> oneD = Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    EXPECT_EQ(ScanMarkerPattern(oneD, true).irregularity, 100);
    EXPECT_GE(ScanMarkerPattern(oneD, true).endOfLines, 300);
}

// 2-D data closed by the end-of-page marker of T.4 (six EOLs, each with its tag bit 1): no extra rows.
TEST_F(G3Test, EndOfPageMarkerOfTwoDimensionalDataAddsNoRows) {
    if (!HaveTool("tiffcp")) GTEST_SKIP() << "tiffcp is not installed";
    const Page page = MakePage(200);
    std::vector<uint8_t> fax = Encode(page, {"", Maker::Tiffcp, "g3:2d", "lsb2msb", 196, 1, 0});
    std::string bits;
    for (int i = 0; i < 6; ++i) bits += "0000000000011";
    bits += "000";
    for (size_t at = 0; at < bits.size(); at += 8) {
        uint8_t byte = 0;
        for (size_t k = 0; k < 8 && at + k < bits.size(); ++k) byte |= static_cast<uint8_t>((bits[at + k] - '0') << k);
        fax.push_back(byte);
    }
    ImagePtr image = Load(fax);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(ShowsPage(*image, page));
}

TEST_F(G3Test, ShortOrForeignDataGivesNoImageAndNoMessage) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const Page page = MakePage(300);
    const std::vector<uint8_t> fax = Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    std::vector<uint8_t> noise(20000);
    std::mt19937 random(11);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    std::string text;
    while (text.size() < 20000) text += "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n";
    const std::vector<std::vector<uint8_t>> inputs = {
        {fax.begin(), fax.begin() + 99}, {}, noise, std::vector<uint8_t>(5000, 0), {text.begin(), text.end()}};
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(Load(inputs[i]), nullptr) << "input " << i;
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(warnings.empty()) << warnings.front().module << ": " << warnings.front().text;
    EXPECT_TRUE(progress.empty());
}

TEST_F(G3Test, StretchStoresEveryRowTwice) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const Page page = MakePage(1000);
    LumoSetIntOptionG3("stretch", 1);
    ImagePtr image = Load(Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1}));
    ASSERT_NE(image, nullptr);
    Page doubled;
    for (const auto& row : page) doubled.insert(doubled.end(), 2, row);
    EXPECT_TRUE(ShowsPage(*image, doubled));
}

TEST_F(G3Test, ProgressStaysWithinRangeWhenRowsTakeFewBytes) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const Page blank(1000, std::vector<uint8_t>(kRowBytes, 0));  // about 4 bytes per row
    ImagePtr image = Load(Encode(blank, {"", Maker::Pbmtog3, "", "", 0, 0, 1}));
    ASSERT_NE(image, nullptr);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);
    EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin() + 1, progress.end() - 1));
}

// The bit index just after each end-of-line marker (MSB-first data).
std::vector<size_t> RowStarts(const std::vector<uint8_t>& data) {
    std::vector<size_t> starts;
    int zeros = 0;
    for (size_t bit = 0; bit < data.size() * 8; ++bit) {
        if (data[bit / 8] >> (7 - bit % 8) & 1) {
            if (zeros >= 11) starts.push_back(bit + 1);
            zeros = 0;
        } else {
            ++zeros;
        }
    }
    return starts;
}

// Makes the row that starts at startBit begin with 000000001, which begins no white run code.
void BreakRow(std::vector<uint8_t>& data, size_t startBit) {
    for (size_t k = 0; k < 9; ++k) {
        const size_t bit = startBit + k;
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
        data[bit / 8] = static_cast<uint8_t>(k == 8 ? data[bit / 8] | mask : data[bit / 8] & ~mask);
    }
}

TEST_F(G3Test, BadRowsAreReplacedByTheLastGoodRowAndCounted) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const Page page = MakePage(400);
    std::vector<uint8_t> fax = Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    const std::vector<size_t> starts = RowStarts(fax);
    ASSERT_GE(starts.size(), 400u);
    // Row k of the page follows marker k (pbmtog3 writes a marker ahead of every row).
    for (const int row : {0, 101, 102, 103, 250}) BreakRow(fax, starts[static_cast<size_t>(row)]);
    LumoSetIntOption("verbose", 1);

    ImagePtr image = Load(fax);
    ASSERT_NE(image, nullptr);
    Page expected = page;
    expected[0].assign(kRowBytes, 0);  // no good row yet: white
    for (const int row : {101, 102, 103}) expected[static_cast<size_t>(row)] = page[100];
    expected[250] = page[249];
    EXPECT_TRUE(ShowsPage(*image, expected));
    EXPECT_EQ(LumoGetIntOptionG3("2d"), 0);
    EXPECT_EQ(LumoGetIntOptionG3("msbtolsb"), 1);

    int badCodeWarnings = 0;
    for (const Report& warning : warnings)
        if (warning.module == "Fax3Decode1D" && warning.text.rfind("Bad code word at line", 0) == 0) ++badCodeWarnings;
    EXPECT_EQ(badCodeWarnings, 5);
    ASSERT_GE(warnings.size(), 3u);
    const std::vector<Report> totals(warnings.end() - 3, warnings.end());
    EXPECT_EQ(totals[0].module, "LoadG3");
    EXPECT_EQ(totals[0].text, "\n400 rows in input");
    EXPECT_EQ(totals[1].text, "5 total bad rows");
    EXPECT_EQ(totals[2].text, "3 max consecutive bad rows");
    EXPECT_TRUE(errors.empty());
}

// A damaged row whose end came out black takes its right part from the row above.
TEST_F(G3Test, BadRowsAreRepairedAfterLoading) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    Page page = MakePage(300);
    for (int row : {150, 151}) std::fill(page[static_cast<size_t>(row)].begin() + 200, page[static_cast<size_t>(row)].end(), 0xFF);
    std::vector<uint8_t> fax = Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    BreakRow(fax, RowStarts(fax)[20]);
    ImagePtr image = Load(fax);
    ASSERT_NE(image, nullptr);
    Page expected = page;
    expected[20] = page[19];
    for (int row : {150, 151}) std::copy(page[149].begin() + 201, page[149].end(), expected[static_cast<size_t>(row)].begin() + 201);
    EXPECT_TRUE(ShowsPage(*image, expected));
}

// Truncated and damaged files give a picture or none, never an error, and leak nothing.
TEST_F(G3Test, CutAndDamagedFilesNeverFail) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const std::vector<uint8_t> fax = Encode(MakePage(150), {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    for (size_t size = 0; size < fax.size(); size += 97)
        EXPECT_NO_THROW(Load({fax.begin(), fax.begin() + static_cast<long>(size)})) << "cut at " << size;
    std::mt19937 random(5);
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> damaged = fax;
        for (int k = 0; k < 1 + i % 7; ++k) damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        ImagePtr image;
        EXPECT_NO_THROW(image = Load(damaged)) << "damage " << i;
        if (image) {
            EXPECT_EQ(image->width, 1728);
        }
    }
    EXPECT_TRUE(errors.empty());
}

// The global pixel limit counts the rows as they come, so a long fax is refused, never cut.
TEST_F(G3Test, PixelLimitRefusesAPageOneRowTooLong) {
    if (!HaveTool("pbmtog3")) GTEST_SKIP() << "pbmtog3 is not installed";
    const Page page = MakePage(400);
    const std::vector<uint8_t> fax = Encode(page, {"", Maker::Pbmtog3, "", "", 0, 0, 1});
    const int previous = LumoGetIntOption("maxpixels");
    LumoSetIntOption("maxpixels", 1728 * 400 - 1);
    EXPECT_LUMO_ERROR(Load(fax), "LumoLoadG3",
                      "Image size 1728 x 400 (691200 pixels) exceeds the limit of 691199 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 1728 * 400);
    ImagePtr image;
    EXPECT_NO_THROW(image = Load(fax));
    LumoSetIntOption("maxpixels", previous);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(ShowsPage(*image, page));
}

TEST_F(G3Test, FailuresNameTheirOperation) {
    EXPECT_LUMO_ERROR(LumoLoadG3(tempPath("missing.fax").c_str()), "LumoLoadG3",
                      "Can't open input file " + tempPath("missing.fax") + ": No such file or directory");
    EXPECT_LUMO_ERROR(LumoSetIntOptionG3("3d", 1), "LumoSetIntOptionG3", "Unknown G3 option: 3d");
    EXPECT_LUMO_ERROR(LumoGetIntOptionG3("Stretch"), "LumoGetIntOptionG3", "Unknown G3 option: Stretch");
}

// Repair passes on a drawn picture: 1 = white; rows from the top.
class G3RepairTest : public LumoTest {
protected:
    G3RepairTest() : image_(LumoCreateImage(1728, 5, BILEVEL, nullptr, 1)) {
        for (int y = 0; y < 5; ++y) std::memset(PictureRow(*image_, y), 0xA5, kRowBytes);
    }
    uint8_t* row(int y) { return PictureRow(*image_, y); }
    ImagePtr image_;
};

TEST_F(G3RepairTest, BlackRowEndKeepsItsFirstByteAndTakesTheRestFromAbove) {
    std::memset(row(2) + kRowBytes - 6, 0x00, 6);
    std::memset(row(3) + kRowBytes - 3, 0x00, 3);  // 3 black bytes: left alone
    std::memset(row(0) + kRowBytes - 4, 0x00, 4);  // the top row turns white
    RepairG3Picture(*image_, 1);
    EXPECT_EQ(row(2)[kRowBytes - 6], 0x00);
    EXPECT_EQ(row(2)[kRowBytes - 5], 0xA5);
    EXPECT_EQ(row(2)[kRowBytes - 1], 0xA5);
    EXPECT_EQ(row(3)[kRowBytes - 1], 0x00);
    EXPECT_EQ(row(0)[kRowBytes - 4], 0x00);
    EXPECT_EQ(row(0)[kRowBytes - 3], 0xFF);
}

TEST_F(G3RepairTest, LoneBlackStreaksLongerThanThreeBytesAreRepaired) {
    std::memset(row(1) + 10, 0x00, 4);
    std::memset(row(3) + 10, 0x00, 3);
    std::memset(row(2) + 50, 0x00, 5);
    row(3)[52] = 0x00;  // black below one byte: the streak is broken there, both parts are short
    RepairG3Picture(*image_, 1);
    EXPECT_EQ(row(1)[10], 0xA5);
    EXPECT_EQ(row(1)[13], 0xA5);
    EXPECT_EQ(row(3)[10], 0x00);
    EXPECT_EQ(row(2)[50], 0x00);
    EXPECT_EQ(row(2)[54], 0x00);
}

TEST_F(G3RepairTest, WhiteStreaksAreRepairedOnlyAfterTwentyErrors) {
    std::memset(row(2) + 20, 0xFF, 3);
    for (const int errorCount : {19, 20}) {
        std::memset(row(2) + 20, 0xFF, 3);
        RepairG3Picture(*image_, errorCount);
        EXPECT_EQ(row(2)[20], errorCount >= 20 ? 0xA5 : 0xFF) << errorCount << " errors";
        EXPECT_EQ(row(2)[22], errorCount >= 20 ? 0xA5 : 0xFF) << errorCount << " errors";
    }
    std::memset(row(3) + 30, 0xFF, 2);  // 2 bytes: too short
    RepairG3Picture(*image_, 20);
    EXPECT_EQ(row(3)[30], 0xFF);
}

struct ScoreCase {
    const char* name;
    int rows, errors;
    bool twoD;
    int score;
};

class G3ScoreTest : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(G3ScoreTest, TrialScoreWeighsErrorsByHowManyRowsWereSeen) {
    const ScoreCase& c = GetParam();
    EXPECT_EQ(ScoreTrial(c.rows, c.errors, c.twoD), c.score);
}

INSTANTIATE_TEST_SUITE_P(Scores, G3ScoreTest,
                         ::testing::Values(ScoreCase{"fifty_rows_are_too_few", 50, 0, false, 0},
                                           ScoreCase{"few_rows_need_98_percent", 100, 3, false, 0},
                                           ScoreCase{"few_rows_cost_three_per_percent", 100, 2, false, 94},
                                           ScoreCase{"some_rows_cost_two_per_percent", 300, 6, false, 96},
                                           ScoreCase{"many_rows_score_their_share", 500, 7, false, 98},
                                           ScoreCase{"two_d_must_be_clearly_better", 500, 7, true, 96},
                                           ScoreCase{"two_d_with_no_rows", 10, 0, true, -100}),
                         [](const ::testing::TestParamInfo<ScoreCase>& info) { return std::string(info.param.name); });

}  // namespace
