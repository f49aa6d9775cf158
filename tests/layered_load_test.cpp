// Loads in levels: each format with coarse levels hands them over coarsest first, each smaller than
// the next, and ends with the very picture a plain load gives; a receiver that gives up mid-load
// leaves nothing behind.
#include "formats/layered_load.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/jbig/jbig.h"
#include "formats/mok/mok.h"
#include "formats/mok/mok_pyramid.h"
#include "formats/pcd/pcd.h"
#include "tests/support/pcd_writer.h"
#include "tests/support/profile_fixture.h"

namespace {

struct Size {
    int width, height;
    bool operator==(const Size&) const = default;
};

// Byte for byte: header fields, palette and every row with its padding.
::testing::AssertionResult SameBytes(const IMG& expected, const IMG& actual) {
    if (expected.width != actual.width || expected.height != actual.height || expected.rowBytes != actual.rowBytes ||
        KindOf(expected) != KindOf(actual))
        return ::testing::AssertionFailure() << "size or kind differ";
    if (std::memcmp(expected.bits, actual.bits, PixelBytes(expected)) != 0)
        return ::testing::AssertionFailure() << "pixels differ";
    if ((expected.palette == nullptr) != (actual.palette == nullptr))
        return ::testing::AssertionFailure() << "palettes differ";
    return ::testing::AssertionSuccess();
}

class LayeredLoadTest : public ProfileFileTest {
protected:
    // Loads path in levels, noting the levels' sizes, and checks the result against a plain load.
    std::vector<Size> levelsOf(const std::string& path, ImageKind kind) {
        std::vector<Size> sizes;
        ImagePtr layered = LoadImageInLevels(path.c_str(), [&](const IMG& level) {
            EXPECT_EQ(KindOf(level), kind);
            sizes.push_back({level.width, level.height});
        });
        ImagePtr direct = LoadImageByExtension(path.c_str());
        EXPECT_TRUE(layered && direct);
        if (layered && direct) EXPECT_TRUE(SameBytes(*direct, *layered));
        if (layered) final_ = {layered->width, layered->height};
        // Coarsest first, each level smaller than the next and than the picture.
        for (size_t i = 0; i < sizes.size(); ++i) {
            const Size next = i + 1 < sizes.size() ? sizes[i + 1] : final_;
            EXPECT_LE(sizes[i].width, next.width);
            EXPECT_LE(sizes[i].height, next.height);
            EXPECT_LT(sizes[i].width * sizes[i].height, next.width * next.height);
        }
        return sizes;
    }
    Size final_{0, 0};
};

TEST_F(LayeredLoadTest, MokGivesEveryPyramidLevelAboveTheOneLoaded) {
    for (const ImageKind kind : {ImageKind::RGB, ImageKind::GRAY256}) {
        SCOPED_TRACE(KindName(kind));
        const std::string path = tempPath("odd.mok");
        ImagePtr picture = MakePatternImage(kind, 301, 203);
        LumoSaveMok(picture.get(), path.c_str());
        const std::vector<LevelSize> pyramid = PyramidSizes(301, 203);  // 301x203 ... 1x1

        std::vector<Size> levels = levelsOf(path, kind);
        EXPECT_EQ(final_, (Size{301, 203}));
        ASSERT_EQ(levels.size(), pyramid.size() - 1);
        for (size_t i = 0; i < levels.size(); ++i)
            EXPECT_EQ(levels[i], (Size{pyramid[pyramid.size() - 1 - i].width, pyramid[pyramid.size() - 1 - i].height}));

        // "MokRatio" 2 stops a level earlier: the half-size picture, the levels above it.
        writeProfile("[Lumo]\nMokRatio=2\n");
        levels = levelsOf(path, kind);
        EXPECT_EQ(final_, (Size{151, 102}));
        EXPECT_EQ(levels.size(), pyramid.size() - 2);
        writeProfile("");
    }
}

TEST_F(LayeredLoadTest, JbigGivesItsResolutionLayersAndKeepsTheReadLimit) {
    const std::string path = tempPath("layers.bie");
    ImagePtr picture = MakePatternImage(ImageKind::BW, 1001, 767);
    LumoSetIntOptionJbig("nblayers", 4);  // three differential layers above the lowest
    SaveJbig(picture.get(), path.c_str());
    LumoSetIntOptionJbig("nblayers", 1);

    std::vector<Size> levels = levelsOf(path, ImageKind::BW);
    EXPECT_EQ(final_, (Size{1001, 767}));
    EXPECT_EQ(levels, (std::vector<Size>{{126, 96}, {251, 192}, {501, 384}}));

    // A read limit stops the plain load at a layer; the levels end below that same layer.
    writeProfile("[Lumo]\nJbigMaxsizew=300\nJbigMaxsizeh=300\n");
    levels = levelsOf(path, ImageKind::BW);
    EXPECT_EQ(final_, (Size{251, 192}));
    EXPECT_EQ(levels, (std::vector<Size>{{126, 96}}));

    // A file without layers has nothing coarser to give.
    writeProfile("");
    const std::string flat = tempPath("flat.bie");
    LumoSetIntOptionJbig("lrlmaxw", 0);
    SaveJbig(picture.get(), flat.c_str());
    EXPECT_TRUE(levelsOf(flat, ImageKind::BW).empty());
}

TEST_F(LayeredLoadTest, PhotoCdGivesTheSmallerPicturesOfThePack) {
    pcd_writer::PackLayout layout;
    layout.fourBase = layout.sixteenBase = true;
    const std::string path = tempPath("img0001.pcd");
    WriteBytes(path, pcd_writer::WritePack(layout));

    writeProfile("[Lumo]\nPcdSize=5\n");
    EXPECT_EQ(levelsOf(path, ImageKind::RGB), (std::vector<Size>{{192, 128}, {768, 512}}));
    EXPECT_EQ(final_, (Size{3072, 2048}));
    writeProfile("[Lumo]\nPcdSize=4\nPcdCrSubsampling=0\n");
    EXPECT_EQ(levelsOf(path, ImageKind::RGB), (std::vector<Size>{{192, 128}}));
    EXPECT_EQ(LumoGetIntOptionPcd("crsubsampled"), 0);  // the coarse load's choice did not stay
    EXPECT_EQ(LumoGetIntOptionPcd("pcdsize"), 4);
    writeProfile("[Lumo]\nPcdSize=1\n");
    EXPECT_TRUE(levelsOf(path, ImageKind::RGB).empty());

    // A turned pack gives turned levels.
    layout.orientation = 1;
    WriteBytes(path, pcd_writer::WritePack(layout));
    writeProfile("[Lumo]\nPcdSize=3\n");
    EXPECT_EQ(levelsOf(path, ImageKind::RGB), (std::vector<Size>{{128, 192}}));
    EXPECT_EQ(final_, (Size{512, 768}));
}

TEST_F(LayeredLoadTest, OnlyFormatsWithLevelsAreLoadedInLevels) {
    const std::string bmp = tempPath("plain.bmp");
    ImagePtr picture = MakePatternImage(ImageKind::RGB, 40, 30);
    SaveBmp(picture.get(), bmp.c_str());
    EXPECT_FALSE(HasCoarseLevels(bmp.c_str()));
    EXPECT_TRUE(levelsOf(bmp, ImageKind::RGB).empty());
    // The signature decides, as for a plain load: a MOK file named .bmp has levels.
    const std::string disguised = tempPath("mok.bmp");
    LumoSaveMok(picture.get(), disguised.c_str());
    EXPECT_TRUE(HasCoarseLevels(disguised.c_str()));
    EXPECT_TRUE(HasCoarseLevels(tempPath("x.pcd").c_str()));
    EXPECT_FALSE(HasCoarseLevels(tempPath("overview.pcd").c_str()));
}

// A receiver that throws ends the load there; the counted blocks of the fixture show that nothing
// stays allocated, and the options are as they were.
TEST_F(LayeredLoadTest, AReceiverThatGivesUpLeavesNothingBehind) {
    const std::string mok = tempPath("big.mok");
    ImagePtr picture = MakePatternImage(ImageKind::RGB, 200, 150);
    LumoSaveMok(picture.get(), mok.c_str());
    const std::string bie = tempPath("layers.bie");
    LumoSetIntOptionJbig("nblayers", 3);
    SaveJbig(picture.get(), bie.c_str());
    LumoSetIntOptionJbig("nblayers", 1);
    pcd_writer::PackLayout layout;
    const std::string pcd = tempPath("img0001.pcd");
    WriteBytes(pcd, pcd_writer::WritePack(layout));
    writeProfile("[Lumo]\nPcdSize=3\n");

    for (const std::string& path : {mok, bie, pcd}) {
        SCOPED_TRACE(path);
        int calls = 0;
        EXPECT_THROW(LoadImageInLevels(path.c_str(),
                                       [&](const IMG&) {
                                           ++calls;
                                           throw std::runtime_error("closed");
                                       }),
                     std::runtime_error);
        EXPECT_EQ(calls, 1);
    }
    EXPECT_EQ(LumoGetIntOptionPcd("pcdsize"), 3);
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
}

// The progress of a MOK load in levels only rises, and runs inside the levels too (every few rows),
// so that a viewer can answer its user during the long last level.
TEST_F(LayeredLoadTest, MokProgressRisesWithinTheLevels) {
    const std::string path = tempPath("tall.mok");
    ImagePtr picture = MakePatternImage(ImageKind::GRAY256, 64, 512);
    LumoSaveMok(picture.get(), path.c_str());
    progress.clear();
    LoadImageInLevels(path.c_str(), [](const IMG&) {});
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress.back(), -2);
    const std::vector<int> values(progress.begin() + 1, progress.end() - 1);
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]);
    // The last level (256 coarse rows) reports at 16-row steps between 50 and 100.
    EXPECT_GE(std::count_if(values.begin(), values.end(), [](int v) { return v > 50 && v < 100; }), 10);
}

}  // namespace
