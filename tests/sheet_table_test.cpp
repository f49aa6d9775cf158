// The cell table a contact sheet carries in its JPEG file: its encoding and the refusal of damaged
// tables, the fingerprints that tell a changed or gone picture, a sheet opened from its table alone,
// and bringing a sheet up to date.
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "formats/bmp.h"
#include "formats/jpeg/jpeg.h"
#include "formats/jpeg/jpeg_segments.h"
#include "jobs/contact_sheet.h"
#include "jobs/mosaic_index.h"
#include "jobs/sheet_table.h"
#include "jobs/sheet_update.h"
#include "tests/support/profile_fixture.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SheetTable SampleTable(int cells, size_t nameLength = 8) {
    SheetTable table;
    table.width = 1024;
    table.height = 768;
    table.largestWidth = 1024;
    table.largestHeight = 768;
    table.cellWidth = 80;
    table.cellHeight = 60;
    table.sheetNumber = 2;
    table.continued = true;
    for (int i = 0; i < cells; ++i) {
        const int x = i % 12 * 80, y = i / 12 * 60;
        std::string name = "dir/" + std::to_string(i) + std::string(nameLength, 'n') + ".jpg";
        table.cells.push_back({x, y + 10, x + 80, y + 50, name,
                               {uint64_t(1000 + i), int64_t(1700000000) * 1000000000 + i, 0x0123456789ABCDEFULL ^ i}});
    }
    return table;
}

std::vector<std::span<const uint8_t>> Contents(const std::vector<std::vector<uint8_t>>& segments) {
    std::vector<std::span<const uint8_t>> contents;
    for (const std::vector<uint8_t>& segment : segments)
        contents.push_back(std::span<const uint8_t>(segment).subspan(kSheetTableSignature.size()));
    return contents;
}

TEST(SheetTableFormat, TablesComeBackWholeInOneOrSeveralSegments) {
    for (const SheetTable& table : {SampleTable(0), SampleTable(3), SampleTable(144, 600)}) {
        const std::vector<std::vector<uint8_t>> segments = EncodeSheetTable(table);
        for (const std::vector<uint8_t>& segment : segments) {
            EXPECT_LE(segment.size(), kAppSegmentCapacity);
            EXPECT_EQ(std::memcmp(segment.data(), "LUMO-SHEET\0", 11), 0);
        }
        const std::optional<SheetTable> back = ParseSheetTable(Contents(segments));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, table);
    }
    EXPECT_EQ(EncodeSheetTable(SampleTable(144, 600)).size(), 2u);  // 144 long paths need a second part

    // Parts found in another order are joined by their numbers.
    std::vector<std::vector<uint8_t>> segments = EncodeSheetTable(SampleTable(144, 600));
    std::swap(segments[0], segments[1]);
    EXPECT_EQ(ParseSheetTable(Contents(segments)), SampleTable(144, 600));
}

TEST(SheetTableFormat, DamagedTablesAreRefusedWhole) {
    const std::vector<std::vector<uint8_t>> good = EncodeSheetTable(SampleTable(3));
    const auto parses = [](std::vector<std::vector<uint8_t>> segments) {
        return ParseSheetTable(Contents(segments)).has_value();
    };
    ASSERT_TRUE(parses(good));
    EXPECT_FALSE(ParseSheetTable({}));
    // Cut anywhere after the signature: a part header, the fixed fields, a cell, a name.
    for (size_t keep = 11; keep < good[0].size(); ++keep) {
        std::vector<uint8_t> cut(good[0].begin(), good[0].begin() + static_cast<long>(keep));
        EXPECT_FALSE(parses({cut})) << keep;
    }
    auto edited = [&](size_t at, uint8_t value) {
        std::vector<std::vector<uint8_t>> s = good;
        s[0][at] = value;
        return s;
    };
    EXPECT_FALSE(parses(edited(11, 2)));  // unknown version
    EXPECT_FALSE(parses(edited(13, 2)));  // says two parts, one present
    EXPECT_FALSE(parses(edited(12, 1)));  // part 1 of 1
    constexpr size_t body = 14, count = body + 15, firstCell = count + 4;
    EXPECT_FALSE(parses(edited(count + 3, 0x40)));  // a cell count the bytes cannot hold
    EXPECT_FALSE(parses(edited(body + 8, 0)));      // cell width 0
    EXPECT_FALSE(parses(edited(firstCell + 5, 0x7F)));  // right edge far outside the sheet
    EXPECT_FALSE(parses(edited(firstCell + 32, 0xFF)));  // a name longer than what follows
    std::vector<std::vector<uint8_t>> extra = good;
    extra[0].push_back(0);
    EXPECT_FALSE(parses(extra));  // bytes left over
    std::vector<std::vector<uint8_t>> twice = EncodeSheetTable(SampleTable(144, 600));
    twice[1] = twice[0];
    EXPECT_FALSE(parses(twice));  // part 0 twice, part 1 missing
}

TEST(SheetTableFormat, MarkerWalkStopsAtNonsenseAndKeepsJfifFirst) {
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 6, 'J', 'F', 'I', 'F', 0xFF, 0xDA, 0, 2, 0xFF, 0xD9};
    ASSERT_TRUE(InsertAppSegments(jpeg, kSheetTableApp, EncodeSheetTable(SampleTable(2))));
    EXPECT_EQ(jpeg[10], 0xFF);
    EXPECT_EQ(jpeg[11], 0xE9);  // right after the JFIF segment
    EXPECT_EQ(SheetTableOfJpeg(jpeg), SampleTable(2));
    // A length running past the end, a byte that is not a marker: the walk ends without reading on.
    std::vector<uint8_t> lying = jpeg;
    lying[12] = 0xFF;
    EXPECT_FALSE(SheetTableOfJpeg(lying));
    EXPECT_FALSE(SheetTableOfJpeg(std::span<const uint8_t>(jpeg).first(40)));
    std::vector<uint8_t> notJpeg = {0x00, 0xD8};
    EXPECT_FALSE(InsertAppSegments(notJpeg, kSheetTableApp, {}));
    EXPECT_FALSE(InsertAppSegments(jpeg, kSheetTableApp, {std::vector<uint8_t>(kAppSegmentCapacity + 1)}));
}

TEST(SheetTableFormat, ContentHashSeesEveryByteAndTheLength) {
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    const uint64_t hash = ContentHash(bytes);
    for (size_t at : {0u, 7u, 8u, 500u, 995u, 999u}) {
        std::vector<uint8_t> changed = bytes;
        changed[at] ^= 1;
        EXPECT_NE(ContentHash(changed), hash) << at;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_NE(ContentHash(longer), hash);
    EXPECT_NE(ContentHash(std::vector<uint8_t>(8, 0)), ContentHash(std::vector<uint8_t>(16, 0)));
}

class SheetTableTest : public ProfileFileTest {
protected:
    // count BMP pictures p00.bmp, ... in folder (below the test's folder), each w x h.
    std::vector<std::string> pictures(const std::string& folder, int count, int w = 160, int h = 120) {
        fs::create_directories(tempDir() / folder);
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) files.push_back(picture(folder, i, w, h, i + 1));
        return files;
    }
    std::string picture(const std::string& folder, int i, int w, int h, int seed) {
        char name[32];
        std::snprintf(name, sizeof name, "p%02d.bmp", i);
        const std::string path = (tempDir() / folder / name).string();
        SaveBmp(MakePatternImage(ImageKind::RGB, w, h, seed).get(), path.c_str());
        return path;
    }
    ContactSheetResult build(const std::vector<std::string>& files, const std::string& folder) {
        ContactSheetRequest request;
        request.files = files;
        request.outputFolder = (tempDir() / folder).string();
        return BuildContactSheets(request);
    }
    std::string sheet(const std::string& folder) { return (tempDir() / folder / "-mosaic.jpg").string(); }
    std::string index(const std::string& folder) { return (tempDir() / folder / "-mosaic.idx").string(); }
};

TEST_F(SheetTableTest, SheetCarriesTheIndexCellsAndTheirPictures) {
    const std::vector<std::string> files = pictures("in", 5, 200, 100);
    ASSERT_FALSE(build(files, "in").failure);
    const std::optional<SheetTable> table = ReadSheetTable(sheet("in"));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->width, 240);
    EXPECT_EQ(table->height, 120);
    EXPECT_EQ(table->cellWidth, 80);
    EXPECT_EQ(table->sheetNumber, 1);
    EXPECT_FALSE(table->continued);
    ASSERT_EQ(table->cells.size(), 5u);
    EXPECT_EQ(table->cells[4], (SheetCell{80, 70, 160, 110, "p04.bmp", *FingerprintFile(files[4])}));
    // The index beside it still says the same, in today's words.
    std::string lines = kIndexHeader;
    for (const SheetCell& cell : table->cells) lines += IndexLine(cell.name, cell.left, cell.top, cell.right, cell.bottom);
    const std::vector<uint8_t> written = Bytes(index("in"));
    EXPECT_EQ(std::string(written.begin(), written.end()), lines);
    EXPECT_EQ(lines,
              "*IDX index table\n"
              "p00.bmp         0   10   80   50\n"
              "p01.bmp        80   10  160   50\n"
              "p02.bmp       160   10  240   50\n"
              "p03.bmp         0   70   80  110\n"
              "p04.bmp        80   70  160  110\n");
    // The sheet still loads as a plain JPEG.
    ImagePtr loaded = LumoLoadJpeg(sheet("in").c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width, 240);
}

TEST_F(SheetTableTest, EverySheetOfARunSaysWhetherMoreFollowed) {
    ContactSheetRequest request;
    request.files = pictures("in", 65);
    request.outputFolder = tempPath("in");
    ASSERT_EQ(BuildContactSheets(request).sheets.size(), 2u);
    const std::optional<SheetTable> first = ReadSheetTable(sheet("in"));
    const std::optional<SheetTable> second = ReadSheetTable(tempPath("in/-mosaic2.jpg"));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->cells.size(), 64u);
    EXPECT_TRUE(first->continued);
    EXPECT_EQ(second->sheetNumber, 2);
    EXPECT_FALSE(second->continued);
    EXPECT_EQ(second->cells.front().name, "p64.bmp");
    EXPECT_THROW(UpdateContactSheet({tempPath("in/-mosaic2.jpg"), {}}), LumoFailure);
    EXPECT_THROW(UpdateContactSheet({sheet("in"), {}}), LumoFailure);
}

TEST_F(SheetTableTest, MovedSheetOpensFromItsTableAndTellsChangedAndGonePictures) {
    const std::vector<std::string> files = pictures("in", 4);
    ASSERT_FALSE(build(files, "in").failure);
    // Copied elsewhere with its pictures but without its index, every file with a new time.
    fs::create_directories(tempDir() / "moved");
    for (const std::string& file : files) fs::copy_file(file, tempDir() / "moved" / fs::path(file).filename());
    fs::copy_file(sheet("in"), sheet("moved"));
    struct utimbuf later{2000000000, 2000000000};
    for (const auto& entry : fs::directory_iterator(tempDir() / "moved")) utime(entry.path().c_str(), &later);

    std::optional<std::vector<MosaicEntry>> entries = LoadMosaicIndex(sheet("moved"));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 4u);
    EXPECT_EQ((*entries)[3].name, "p03.bmp");
    EXPECT_EQ((*entries)[3].left, 80);
    EXPECT_EQ((*entries)[3].top, 60);
    for (const MosaicEntry& entry : *entries) EXPECT_EQ(MosaicEntryState(sheet("moved"), entry), PictureState::Same);

    // One picture redrawn at the same size (same length, other bytes), one deleted.
    picture("moved", 1, 160, 120, 99);
    fs::remove(tempDir() / "moved" / "p02.bmp");
    EXPECT_EQ(MosaicEntryState(sheet("moved"), (*entries)[0]), PictureState::Same);
    EXPECT_EQ(MosaicEntryState(sheet("moved"), (*entries)[1]), PictureState::Changed);
    EXPECT_EQ(MosaicEntryState(sheet("moved"), (*entries)[2]), PictureState::Gone);
    EXPECT_STREQ(PictureStateText(PictureState::Changed), "changed since the sheet was made");

    // With its index present the index names the cells and the table still tells the states.
    LumoSetIntOptionJpeg("ratio", 2);
    entries = LoadMosaicIndex(sheet("in"));
    LumoSetIntOptionJpeg("ratio", 1);
    ASSERT_TRUE(entries);
    EXPECT_EQ((*entries)[3].left, 40);
    picture("in", 3, 80, 60, 5);
    EXPECT_EQ(MosaicEntryState(sheet("in"), (*entries)[3]), PictureState::Changed);
}

TEST_F(SheetTableTest, UpdateRemakesChangedCellsAndEqualsAFullRun) {
    std::vector<std::string> files = pictures("in", 12, 320, 240);
    ASSERT_FALSE(build(files, "in").failure);
    const std::vector<uint8_t> before = Bytes(sheet("in"));

    // Nothing changed: both files stay as they are.
    SheetUpdateResult result = UpdateContactSheet({sheet("in"), {}});
    EXPECT_EQ(result.outcome, SheetUpdateResult::Outcome::UpToDate);
    EXPECT_EQ(Bytes(sheet("in")), before);

    // One picture changed, with another shape: its cell and the ones sharing its blocks are made again.
    picture("in", 5, 300, 100, 77);
    result = UpdateContactSheet({sheet("in"), {}});
    EXPECT_EQ(result.outcome, SheetUpdateResult::Outcome::Patched);
    EXPECT_EQ(result.changed, std::vector<std::string>{"p05.bmp"});
    EXPECT_LE(result.thumbnailsMade, 3);
    const std::vector<uint8_t> updatedSheet = Bytes(sheet("in")), updatedIndex = Bytes(index("in"));
    EXPECT_NE(updatedSheet, before);
    ASSERT_FALSE(build(files, "in").failure);
    EXPECT_EQ(updatedSheet, Bytes(sheet("in")));  // block for block what a full run writes
    EXPECT_EQ(updatedIndex, Bytes(index("in")));
    EXPECT_EQ(UpdateContactSheet({sheet("in"), {}}).outcome, SheetUpdateResult::Outcome::UpToDate);

    // A picture gone: the cells after it move up, as in a full run over the rest.
    fs::remove(files[2]);
    result = UpdateContactSheet({sheet("in"), {}});
    EXPECT_EQ(result.outcome, SheetUpdateResult::Outcome::Rebuilt);
    EXPECT_EQ(result.gone, std::vector<std::string>{"p02.bmp"});
    const std::vector<uint8_t> rebuilt = Bytes(sheet("in"));
    files.erase(files.begin() + 2);
    ASSERT_FALSE(build(files, "in").failure);
    EXPECT_EQ(rebuilt, Bytes(sheet("in")));
    EXPECT_EQ(ReadSheetTable(sheet("in"))->cells.size(), 11u);
}

TEST_F(SheetTableTest, TableIsReadFromAFileHeaderLargerThanOneRead) {
    // 144 long paths take two segments and over 64 KiB, after a photo-sized APP1 of other data.
    std::vector<uint8_t> bytes = CompressSheet(*MakePatternImage(ImageKind::RGB, 64, 48), "big");
    ASSERT_TRUE(InsertAppSegments(bytes, 1, {std::vector<uint8_t>(60000, 'x')}));
    AddSheetTable(bytes, SampleTable(144, 600));
    ASSERT_GT(bytes.size(), 140000u);
    std::ofstream(tempPath("big.jpg"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_EQ(ReadSheetTable(tempPath("big.jpg")), SampleTable(144, 600));
    EXPECT_TRUE(MarkersRunPastEnd(std::span(bytes).first(70000)));
    EXPECT_FALSE(MarkersRunPastEnd(bytes));
}

TEST_F(SheetTableTest, UpdateOfASheetWithoutTableOrFileIsRefused) {
    SaveBmp(MakePatternImage(ImageKind::RGB, 16, 16).get(), tempPath("a.bmp").c_str());
    ImagePtr plain = MakePatternImage(ImageKind::RGB, 64, 64);
    LumoSaveJpeg(plain.get(), tempPath("plain.jpg").c_str());
    EXPECT_THROW(UpdateContactSheet({tempPath("plain.jpg"), {}}), LumoFailure);
    EXPECT_THROW(UpdateContactSheet({tempPath("none.jpg"), {}}), LumoFailure);
    EXPECT_FALSE(ReadSheetTable(tempPath("plain.jpg")));

    // A table naming more cells than the sheet's grid holds, one of them changed: refused, not placed
    // outside the sheet.
    SheetTable hostile;
    hostile.width = hostile.largestWidth = 80;
    hostile.height = hostile.largestHeight = 60;
    hostile.cellWidth = 80;
    hostile.cellHeight = 60;
    for (int i = 0; i < 3; ++i) hostile.cells.push_back({0, 0, 80, 60, "a.bmp", {}});
    ImagePtr black = MakePatternImage(ImageKind::RGB, 80, 60);
    std::vector<uint8_t> bytes = CompressSheet(*black, "hostile");
    AddSheetTable(bytes, hostile);
    std::ofstream(tempPath("hostile.jpg"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_THROW(UpdateContactSheet({tempPath("hostile.jpg"), {}}), LumoFailure);
    EXPECT_EQ(Bytes(tempPath("hostile.jpg")), bytes);
    // A table of a larger sheet than the picture it rides in: refused too.
    hostile.width = hostile.largestWidth = 240;
    bytes = CompressSheet(*black, "hostile");
    AddSheetTable(bytes, hostile);
    std::ofstream(tempPath("wide.jpg"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_THROW(UpdateContactSheet({tempPath("wide.jpg"), {}}), LumoFailure);
    EXPECT_EQ(Bytes(tempPath("wide.jpg")), bytes);
    EXPECT_FALSE(LoadMosaicIndex(tempPath("plain.jpg")));
}

}  // namespace
