// Contact sheets on real files: sheet sizing and naming, placing and index lines, the reduced loaders
// of the thumbnail table, and what a failing file leaves behind.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "formats/bmp.h"
#include "formats/gif/gif.h"
#include "formats/jpeg/jpeg.h"
#include "formats/mok/mok.h"
#include "jobs/contact_sheet.h"
#include "jobs/mosaic_index.h"
#include "platform/message_box.h"
#include "platform/status_text.h"
#include "tests/support/profile_fixture.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

// Mean absolute difference of the sheet's pixels at (x, y) onwards and the picture's (both RGB).
double MeanDifference(const IMG& sheet, int x, int y, const IMG& picture) {
    long total = 0;
    for (int j = 0; j < picture.height; ++j)
        for (int i = 0; i < picture.width * 3; ++i)
            total += std::abs(PictureRow(sheet, y + j)[3 * x + i] - PictureRow(picture, j)[i]);
    return static_cast<double>(total) / (picture.width * picture.height * 3);
}

int Brightness(const IMG& rgb, int x, int y) {
    const uint8_t* pixel = PictureRow(rgb, y) + 3 * x;
    return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

class ContactSheetTest : public ProfileFileTest {
protected:
    void TearDown() override {
        SetMessageBoxFunction({});
        SetStatusTextFunction({});
        LumoTest::TearDown();
    }

    // count BMP pictures of size w x h named p00.bmp, p01.bmp, ... in the test's folder.
    std::vector<std::string> pictures(int count, int w = 100, int h = 75) {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "p%02d.bmp", i);
            files.push_back(tempPath(name));
            SaveBmp(MakePatternImage(ImageKind::RGB, w, h, i + 1).get(), files.back().c_str());
        }
        return files;
    }

    ContactSheetResult build(std::vector<std::string> files, PixelSize sheet = kSheetSizes[0],
                             PixelSize cell = kCellSizes[0]) {
        ContactSheetRequest request;
        request.files = std::move(files);
        request.sheet = sheet;
        request.cell = cell;
        request.outputFolder = tempDir().string();
        return BuildContactSheets(request);
    }

    std::vector<std::string> sheetFilesOnDisk() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(tempDir()))
            if (entry.path().filename().string().rfind("-mosaic", 0) == 0) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct Grid {
    int files;
    std::vector<std::tuple<int, int, int>> sheets;  // width, height, thumbnails of each sheet written
    std::vector<std::string> onDisk;
};
void PrintTo(const Grid& grid, std::ostream* os) { *os << grid.files << " files"; }

class SheetGridTest : public ContactSheetTest, public ::testing::WithParamInterface<Grid> {};

// The sheet shrinks to the files left; a sheet started after a full one for no more files is never saved.
TEST_P(SheetGridTest, SheetsAreSizedForTheFilesLeft) {
    const Grid& grid = GetParam();
    const ContactSheetResult result = build(pictures(grid.files));
    ASSERT_FALSE(result.failure) << DescribeFailure(*result.failure);
    EXPECT_EQ(result.filesProcessed, static_cast<size_t>(grid.files));
    ASSERT_EQ(result.sheets.size(), grid.sheets.size());
    for (size_t k = 0; k < grid.sheets.size(); ++k) {
        const auto [width, height, thumbnails] = grid.sheets[k];
        const SheetWritten& sheet = result.sheets[k];
        EXPECT_EQ(sheet.path, tempPath(SheetFileName(static_cast<int>(k + 1), "jpg")));
        EXPECT_EQ(sheet.indexPath, tempPath(SheetFileName(static_cast<int>(k + 1), "idx")));
        const ImagePtr decoded = LumoLoadJpeg(sheet.path.c_str());
        EXPECT_EQ(decoded->width, width);
        EXPECT_EQ(decoded->height, height);
        const std::vector<std::string> lines = ReadLines(sheet.indexPath);
        ASSERT_EQ(lines.size(), static_cast<size_t>(thumbnails) + 1);
        EXPECT_EQ(lines[0], "*IDX index table");
        EXPECT_EQ(sheet.thumbnails, thumbnails);
    }
    EXPECT_EQ(sheetFilesOnDisk(), grid.onDisk);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, SheetGridTest,
    ::testing::Values(Grid{30, {{480, 300, 30}}, {"-mosaic.idx", "-mosaic.jpg"}},
                      Grid{64, {{640, 480, 64}}, {"-mosaic.idx", "-mosaic.jpg"}},
                      Grid{65, {{640, 480, 64}, {160, 60, 1}}, {"-mosaic.idx", "-mosaic.jpg", "-mosaic2.idx", "-mosaic2.jpg"}},
                      Grid{1, {{80, 60, 1}}, {"-mosaic.idx", "-mosaic.jpg"}},
                      Grid{0, {}, {}}),
    [](const ::testing::TestParamInfo<Grid>& info) { return std::to_string(info.param.files) + "files"; });

TEST_F(ContactSheetTest, SecondSheetOfSixtyFiveLeavesItsSecondCellBlack) {
    const ContactSheetResult result = build(pictures(65));
    ASSERT_EQ(result.sheets.size(), 2u);
    const ImagePtr second = LumoLoadJpeg(result.sheets[1].path.c_str());
    EXPECT_GT(Brightness(*second, 40, 30), 20);  // the pattern picture
    for (int x = 84; x < 160; x += 8)
        for (int y = 4; y < 60; y += 8) EXPECT_LT(Brightness(*second, x, y), 8) << x << "," << y;
    EXPECT_EQ(ReadLines(result.sheets[1].indexPath)[1], "p64.bmp         0    0   80   60");
}

TEST_F(ContactSheetTest, WidePictureIsFittedAndCentredInItsCell) {
    // A 200 x 100 GIF of one colour becomes 80 x 40 at (0, 10) of the first cell.
    ImagePtr gif = LumoCreateImage(200, 100, COLOR, CreateIMGPalette(256), 8);
    std::fill(gif->bits, gif->bits + PixelBytes(*gif), 0);
    LumoSetPaletteEntry(gif->palette, 0, 240, 200, 160);
    const std::string path = tempPath("wide.gif");
    LumoSaveGif(gif.get(), path.c_str());

    const ContactSheetResult result = build({path});
    ASSERT_EQ(result.sheets.size(), 1u);
    EXPECT_EQ(ReadLines(result.sheets[0].indexPath)[1], "wide.gif        0   10   80   50");
    const ImagePtr sheet = LumoLoadJpeg(result.sheets[0].path.c_str());
    ASSERT_EQ(sheet->width, 80);
    for (int x : {1, 40, 78}) {
        EXPECT_LT(Brightness(*sheet, x, 8), 100) << x;  // black above and below the picture
        EXPECT_GT(Brightness(*sheet, x, 11), 100) << x;
        EXPECT_GT(Brightness(*sheet, x, 48), 100) << x;
        EXPECT_LT(Brightness(*sheet, x, 51), 100) << x;
    }
}

TEST_F(ContactSheetTest, SmallRgbPictureIsPastedUnscaled) {
    // A checkerboard of 3-pixel squares: a shift or a rescale by one pixel shows at once.
    ImagePtr picture = LumoCreateImage(60, 60, COLOR, nullptr, 24);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) SetPixel(*picture, x, y, (x / 3 + y / 3) % 2 ? 0xE0E0E0 : 0x202020);
    const std::string path = tempPath("square.bmp");
    SaveBmp(picture.get(), path.c_str());

    const ContactSheetResult result = build({path});
    EXPECT_EQ(ReadLines(result.sheets[0].indexPath)[1], "square.bmp     10    0   70   60");
    const ImagePtr sheet = LumoLoadJpeg(result.sheets[0].path.c_str());
    EXPECT_LT(MeanDifference(*sheet, 10, 0, *picture), 16);
    EXPECT_GT(MeanDifference(*sheet, 11, 0, *picture), 40);
    EXPECT_GT(MeanDifference(*sheet, 9, 0, *picture), 40);
}

TEST_F(ContactSheetTest, ThinPictureKeepsARowInsteadOfStoppingTheRun) {
    const std::string path = tempPath("line.bmp");
    SaveBmp(MakePatternImage(ImageKind::GRAY256, 1000, 2).get(), path.c_str());
    const ContactSheetResult result = build({path});
    ASSERT_FALSE(result.failure) << DescribeFailure(*result.failure);
    EXPECT_EQ(ReadLines(result.sheets[0].indexPath)[1], "line.bmp        0   29   80   30");
}

TEST_F(ContactSheetTest, StatusTextsNameEachFileAndProgressBarIsOffDuringTheRun) {
    std::vector<std::string> texts;
    SetStatusTextFunction([&](const char* text) { texts.push_back(text); });
    std::vector<int> progressDuringRun;
    LumoSetIntOption("showprogress", 1);
    ContactSheetRequest request;
    request.files = pictures(2);
    request.outputFolder = tempDir().string();
    request.onFile = [&](size_t, size_t, const std::string&) {
        progressDuringRun.push_back(LumoGetIntOption("showprogress"));
    };
    BuildContactSheets(request);
    EXPECT_EQ(texts, (std::vector<std::string>{"Processing file " + request.files[0] + " (1/2)",
                                               "Processing file " + request.files[1] + " (2/2)"}));
    EXPECT_EQ(progressDuringRun, (std::vector<int>{0, 0}));
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
    LumoSetIntOption("showprogress", 0);
}

TEST_F(ContactSheetTest, FileWithoutThumbnailCountsAsProcessedAndTakesNoCell) {
    std::vector<std::pair<std::string, std::string>> boxes;
    SetMessageBoxFunction([&](const char* caption, const char* text, MessageIcon) { boxes.emplace_back(caption, text); });
    std::vector<std::string> files = pictures(2);
    files.insert(files.begin() + 1, tempPath("notes.txt"));
    const ContactSheetResult result = build(files);
    EXPECT_EQ(result.filesProcessed, 3u);
    EXPECT_EQ(result.skipped, std::vector<std::string>{files[1]});
    EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{{files[1], "Unknown file extension"}}));
    const std::vector<std::string> lines = ReadLines(result.sheets[0].indexPath);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, 7), "p00.bmp");
    EXPECT_EQ(lines[2].substr(0, 17), "p01.bmp        80");  // the next cell: the skipped file left no gap
}

// A damaged file stops the run; the sheet being filled is saved with what it holds, its index matching.
TEST_F(ContactSheetTest, FailingFileStopsTheRunAndTheSheetSoFarIsKept) {
    std::vector<std::string> files = pictures(70);
    const std::string damaged = tempPath("damaged.jpg");
    WriteBytes(damaged, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
    files.insert(files.begin() + 66, damaged);

    const ContactSheetResult result = build(files);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->index, 66u);
    EXPECT_EQ(result.failure->file, damaged);
    EXPECT_EQ(result.failure->module, "LoadJpeg");
    EXPECT_EQ(result.filesProcessed, 66u);
    ASSERT_EQ(result.sheets.size(), 2u);
    EXPECT_EQ(result.sheets[1].thumbnails, 2);
    const std::vector<std::string> lines = ReadLines(result.sheets[1].indexPath);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(0, 7), "p65.bmp");
    // The second sheet was sized for the 8 files counted as left when it started (the one just placed
    // among them): 3 x 3 cells.
    const ImagePtr second = LumoLoadJpeg(result.sheets[1].path.c_str());
    EXPECT_EQ(second->width, 240);
    EXPECT_EQ(second->height, 180);
    // A failed JPEG thumbnail leaves the loader at full size for the next ordinary load.
    EXPECT_EQ(LumoGetIntOptionJpeg("thumbnailmode"), 0);
    EXPECT_EQ(LumoGetIntOptionJpeg("quality"), 85);
    EXPECT_EQ(LumoGetIntOptionJpeg("optimize"), 1);
    EXPECT_EQ(LumoGetIntOptionJpeg("fast"), 0);
    LumoSetIntOptionJpeg("quality", 75);
    LumoSetIntOptionJpeg("optimize", 0);
}

TEST_F(ContactSheetTest, IndexThatCannotBeCreatedStopsTheRunBeforeAnySheet) {
    // A "folder" that is a file: nothing can be created in it, whoever runs the test.
    const std::string folder = tempPath("plain-file");
    WriteBytes(folder, {1});
    ContactSheetRequest request;
    request.files = pictures(3);
    request.outputFolder = folder;
    const ContactSheetResult result = BuildContactSheets(request);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->module, "Mosaic");
    EXPECT_EQ(result.failure->message, "Can't create index file " + folder + "/-mosaic.idx: Not a directory");
    EXPECT_EQ(result.failure->file, request.files[0]);
    EXPECT_EQ(result.filesProcessed, 0u);
    EXPECT_TRUE(result.sheets.empty());
}

TEST_F(ContactSheetTest, ThumbnailsAreLoadedReduced) {
    // JPEG: 640 x 480 decodes at 1/8 straight into an 80 x 60 cell; 400 x 300 at 1/4 (100 x 75).
    for (const auto& [w, h, loadedW] : {std::tuple{640, 480, 80}, std::tuple{400, 300, 100}}) {
        const std::string path = tempPath("photo.JPG");
        LumoSaveJpeg(MakePatternImage(ImageKind::RGB, w, h).get(), path.c_str());
        const ImagePtr thumbnail = LoadThumbnail(path.c_str(), {80, 60});
        EXPECT_EQ(thumbnail->width, loadedW);
        EXPECT_EQ(LumoGetIntOptionJpeg("thumbnailmode"), 0);
    }
    // MOK: the eighth-size level.
    const std::string mok = tempPath("big.mok");
    LumoSaveMok(MakePatternImage(ImageKind::GRAY256, 320, 240).get(), mok.c_str());
    EXPECT_EQ(LoadThumbnail(mok.c_str(), {80, 60})->width, 40);
    LumoSetIntOptionMok("mokratio", 1);
}

// What the builder writes, the reader of an opened sheet reads back: names with spaces or longer than
// the padded column keep their cells, and files in another folder are found from the sheet's folder.
TEST_F(ContactSheetTest, IndexReadsBackAsTheHitTableOfTheSheet) {
    std::filesystem::create_directories(tempDir() / "in");
    const std::vector<std::string> names = {"in/my holiday photo.bmp", "in/" + std::string(90, 'x') + ".bmp", "in/c.bmp"};
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back(tempPath(name));
        SaveBmp(MakePatternImage(ImageKind::COLOR16, 160, 60).get(), files.back().c_str());
    }
    ContactSheetRequest request;
    request.files = files;
    request.outputFolder = tempPath("sheets");
    std::filesystem::create_directories(request.outputFolder);
    const ContactSheetResult result = BuildContactSheets(request);
    ASSERT_EQ(result.sheets.size(), 1u);

    const auto table = LoadMosaicIndex(result.sheets[0].path);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const MosaicEntry& entry = (*table)[i];
        EXPECT_EQ(entry.name, "../" + names[i]);
        EXPECT_TRUE(std::filesystem::exists(request.outputFolder + "/" + entry.name));
        // 160 x 60 becomes 80 x 30, centred in cell i of a 2 x 2 sheet.
        EXPECT_EQ(entry.left, int(i % 2) * 80);
        EXPECT_EQ(entry.top, int(i / 2) * 60 + 15);
        EXPECT_EQ(entry.right - entry.left, 80);
        EXPECT_EQ(entry.bottom - entry.top, 30);
    }
}

TEST(IndexedNames, NamesAreRelativeToTheSheetsFolder) {
    EXPECT_EQ(IndexedName("a.jpg", ""), "a.jpg");
    EXPECT_EQ(IndexedName("/pics/a b.jpg", "/pics"), "a b.jpg");
    EXPECT_EQ(IndexedName("/pics/a.jpg", "/pics/"), "a.jpg");
    EXPECT_EQ(IndexedName("/pics/in/a.jpg", "/pics/out"), "../in/a.jpg");
    EXPECT_EQ(IndexedName("in/./x/../a.jpg", "in"), "a.jpg");
    EXPECT_EQ(SheetFileName(1, "jpg"), "-mosaic.jpg");
    EXPECT_EQ(SheetFileName(12, "idx"), "-mosaic12.idx");
}

}  // namespace
