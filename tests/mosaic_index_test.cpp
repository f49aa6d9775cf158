// The index files of contact sheets: the lines the builder writes, the hit table read from the
// file beside a sheet, the Photo CD overview grid, hit tests.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "formats/jpeg/jpeg.h"
#include "formats/pcd/pcd_overview.h"
#include "tests/support/lumo_test.h"
#include "jobs/mosaic_index.h"

namespace {

std::string Header() { return kIndexHeader; }

TEST(MosaicIndexLines, NamesArePaddedToTwelveAndLongerNamesWrittenWhole) {
    EXPECT_EQ(IndexLine("a.gif", 0, 10, 80, 50), "a.gif           0   10   80   50\n");
    EXPECT_EQ(IndexLine("a long name.jpeg", 560, 420, 12345, -3), "a long name.jpeg  560  420 12345   -3\n");
    EXPECT_EQ(IndexLine(std::string(300, 'n'), 1, 2, 3, 4), std::string(300, 'n') + "    1    2    3    4\n");
}

class MosaicIndexTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionJpeg("ratio", 1);
        SetPcdOverviewCount(0);
        LumoTest::TearDown();
    }

    // Writes NAME.idx with the text and yields the path of the sheet NAME.jpg beside it.
    std::string writeIndex(const std::string& text, const std::string& sheet = "-mosaic.jpg") {
        const std::filesystem::path sheetPath = tempDir() / sheet;
        std::ofstream(std::filesystem::path(sheetPath).replace_extension(".idx"), std::ios::binary) << text;
        return sheetPath.string();
    }

    static void expectEntry(const MosaicEntry& entry, const std::string& name, int left, int top, int right,
                            int bottom) {
        EXPECT_EQ(entry.name, name);
        EXPECT_EQ(entry.left, left);
        EXPECT_EQ(entry.top, top);
        EXPECT_EQ(entry.right, right);
        EXPECT_EQ(entry.bottom, bottom);
    }
};

class MosaicRatioTest : public MosaicIndexTest, public ::testing::WithParamInterface<int> {};

TEST_P(MosaicRatioTest, RectanglesOfAJpegSheetAreDividedByTheLoadRatio) {
    const int ratio = GetParam();
    LumoSetIntOptionJpeg("ratio", ratio);
    const std::string sheet =
        writeIndex(Header() + IndexLine("a.jpg", 0, 0, 80, 60) + IndexLine("b.bmp", 81, 0, 161, 61), "-mosaic2.jpg");
    const auto table = LoadMosaicIndex(sheet);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 2u);
    expectEntry((*table)[0], "a.jpg", 0, 0, 80 / ratio, 60 / ratio);
    expectEntry((*table)[1], "b.bmp", 81 / ratio, 0, 161 / ratio, 61 / ratio);
}

INSTANTIATE_TEST_SUITE_P(Ratios, MosaicRatioTest, ::testing::Values(1, 2, 4));

TEST_F(MosaicIndexTest, OnlyJpegSheetsAreReducedAndARatioBelowOneCountsAsOne) {
    const std::string text = Header() + IndexLine("a.jpg", 10, 20, 90, 80);
    LumoSetIntOptionJpeg("ratio", 2);
    // A sheet in another format is loaded at full size whatever the JPEG option says.
    const auto bmpSheet = LoadMosaicIndex(writeIndex(text, "sheet.bmp"));
    ASSERT_TRUE(bmpSheet);
    expectEntry((*bmpSheet)[0], "a.jpg", 10, 20, 90, 80);
    // The JPEG loader reads 0 as 1; dividing by it must not happen either.
    LumoSetIntOptionJpeg("ratio", 0);
    const auto jpegSheet = LoadMosaicIndex(writeIndex(text, "SHEET.JPG"));
    ASSERT_TRUE(jpegSheet);
    expectEntry((*jpegSheet)[0], "a.jpg", 10, 20, 90, 80);
}

TEST_F(MosaicIndexTest, TableHoldsTheFirstHundredEntries) {
    std::string text = Header();
    for (int i = 0; i < 150; ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "p%d.jpg", i);
        text += IndexLine(name, i, i, i + 80, i + 60);
    }
    const auto table = LoadMosaicIndex(writeIndex(text));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), kMaxMosaicEntries);
    expectEntry(table->back(), "p99.jpg", 99, 99, 179, 159);
}

struct TableEnd {
    const char* what;
    std::string tail;   // after two good lines
    size_t entries;     // entries read in all
};
void PrintTo(const TableEnd& c, std::ostream* os) { *os << c.what; }

class MosaicTableEndTest : public MosaicIndexTest, public ::testing::WithParamInterface<TableEnd> {};

TEST_P(MosaicTableEndTest, ReadingStopsWhereTheTableEnds) {
    const TableEnd& end = GetParam();
    const auto table =
        LoadMosaicIndex(writeIndex(Header() + IndexLine("a.jpg", 0, 0, 80, 60) + IndexLine("b.jpg", 80, 0, 160, 60) +
                                   end.tail));
    ASSERT_TRUE(table) << end.what;
    EXPECT_EQ(table->size(), end.entries) << end.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ends, MosaicTableEndTest,
    ::testing::Values(TableEnd{"end of file", "", 2},
                      TableEnd{"last line without line end", "c.jpg 0 60 80 120", 3},
                      TableEnd{"short line", std::string("\n") + IndexLine("c.jpg", 0, 60, 80, 120), 2},
                      TableEnd{"three numbers", std::string("c.jpg 0 60 80\n") + IndexLine("d.jpg", 0, 60, 80, 120), 2},
                      TableEnd{"word for a number", "c.jpg 0 x 80 120\n", 2},
                      TableEnd{"numbers without a name", "   0   60   80  120\n", 2},
                      TableEnd{"number too large", "c.jpg 0 60 80 99999999999\n", 2}),
    [](const ::testing::TestParamInfo<TableEnd>& info) { return std::string("case") + std::to_string(info.index); });

TEST_F(MosaicIndexTest, NamesWithSpacesLongNamesAndCrLfLinesKeepTheirCells) {
    const std::string longName = std::string(120, 'x') + ".jpg";
    const auto table = LoadMosaicIndex(writeIndex(Header() + IndexLine("my holiday  photo.jpg", 0, 0, 80, 60) +
                                                  IndexLine(longName, 80, 0, 160, 60) +
                                                  "crlf.jpg 160 0 240 60\r\n" + "signed.jpg +5 -3 85 57\n"));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 4u);
    expectEntry((*table)[0], "my holiday  photo.jpg", 0, 0, 80, 60);
    expectEntry((*table)[1], longName, 80, 0, 160, 60);
    expectEntry((*table)[2], "crlf.jpg", 160, 0, 240, 60);
    expectEntry((*table)[3], "signed.jpg", 5, -3, 85, 57);
}

TEST_F(MosaicIndexTest, SheetWithoutIndexHasNoTable) {
    EXPECT_FALSE(LoadMosaicIndex((tempDir() / "photo.jpg").string()));
    std::filesystem::create_directory(tempDir() / "folder.idx");
    EXPECT_FALSE(LoadMosaicIndex((tempDir() / "folder.jpg").string()));
}

TEST_F(MosaicIndexTest, PhotoCdOverviewIsAGridOfCells) {
    std::filesystem::create_directories(tempDir() / "images");
    std::ofstream(tempDir() / "images" / "img0001.pcd") << "x";
    SetPcdOverviewCount(12);
    const auto table = LoadMosaicIndex((tempDir() / "OVERVIEW.PCD").string());
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 12u);
    expectEntry((*table)[0], "images/img0001.pcd", 0, 0, 96, 64);
    expectEntry((*table)[9], "IMAGES/IMG0010.PCD", 864, 0, 960, 64);  // absent: the upper-case disc name
    expectEntry((*table)[11], "IMAGES/IMG0012.PCD", 96, 64, 192, 128);

    SetPcdOverviewCount(130);
    EXPECT_EQ(LoadMosaicIndex((tempDir() / "overview.pcd").string())->size(), kMaxMosaicEntries);
    // Other Photo CD files are pictures, not overviews.
    EXPECT_FALSE(LoadMosaicIndex((tempDir() / "img0001.pcd").string()));
}

TEST(MosaicHits, EdgesAreInsideAndTheFirstCellWins) {
    const std::vector<MosaicEntry> cells = {{0, 0, 80, 60, "a"}, {80, 0, 160, 60, "b"}};
    EXPECT_EQ(MosaicHitTest(cells, 0, 0), 0);
    EXPECT_EQ(MosaicHitTest(cells, 80, 60), 0);  // the shared edge belongs to the first cell
    EXPECT_EQ(MosaicHitTest(cells, 81, 30), 1);
    EXPECT_EQ(MosaicHitTest(cells, 160, 60), 1);
    EXPECT_EQ(MosaicHitTest(cells, 161, 30), -1);
    EXPECT_EQ(MosaicHitTest(cells, 40, 61), -1);
    EXPECT_EQ(MosaicHitTest(cells, -1, 0), -1);
    EXPECT_EQ(MosaicHitTest({}, 0, 0), -1);
}

}  // namespace
