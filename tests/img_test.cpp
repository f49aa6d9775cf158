#include "formats/img.h"

#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "core/convert.h"
#include "formats/byte_order.h"
#include "tests/support/lumo_test.h"

namespace {

class ImgTest : public LumoTest {};

// An IMG file: the 64-byte header (with `extra` bytes of 0xEE after it) and the given rows.
std::vector<uint8_t> ImgFile(int width, int height, const std::vector<uint8_t>& pixels, int extra = 0,
                             const char* magic = "IM") {
    std::vector<uint8_t> file(64 + extra, 0);
    file[0] = static_cast<uint8_t>(magic[0]);
    file[1] = static_cast<uint8_t>(magic[1]);
    WriteLE16(&file[2], extra);
    WriteLE16(&file[4], width);
    WriteLE16(&file[6], height);
    std::fill(file.begin() + 64, file.end(), 0xEE);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

std::vector<uint8_t> Levels(size_t count, unsigned seed = 3) {
    std::vector<uint8_t> levels(count);
    for (size_t i = 0; i < count; ++i) levels[i] = static_cast<uint8_t>(i * 41 + seed * (i / 7));
    return levels;
}

// The picture rows of a GRAY256 image, top row first, without padding.
std::vector<uint8_t> TopDownRows(const IMG& image) {
    std::vector<uint8_t> rows;
    for (int y = 0; y < image.height; ++y)
        rows.insert(rows.end(), PictureRow(image, y), PictureRow(image, y) + image.width);
    return rows;
}

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes, const char* name = "memory.img") {
    InputFile file(bytes.data(), bytes.size(), name);
    return LoadIMGFrom(file);
}

TEST_F(ImgTest, SavedFileIsTheHeaderThenUnpaddedRowsTopDown) {
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 3, 5);
    const std::string path = tempPath("three.img");
    LumoSaveIMG(image.get(), path.c_str());

    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 64u + 3 * 5);
    EXPECT_EQ(file, ImgFile(3, 5, TopDownRows(*image)));
    EXPECT_EQ(progress, (std::vector<int>{-1, 20, 40, 60, 80, 100, -2}));
}

TEST_F(ImgTest, LoadReadsRowsTopDownAfterTheExtraHeaderBytes) {
    const std::vector<uint8_t> pixels = Levels(7 * 4);
    // The magic is compared but a wrong one does not stop the load.
    for (const char* magic : {"IM", "XY"}) {
        progress.clear();
        ImagePtr image = LoadBytes(ImgFile(7, 4, pixels, 10, magic));
        ASSERT_TRUE(IsKind(*image, ImageKind::GRAY256));
        ASSERT_EQ(image->width, 7);
        ASSERT_EQ(image->height, 4);
        EXPECT_EQ(TopDownRows(*image), pixels) << magic;
        EXPECT_EQ(progress, (std::vector<int>{-1, 25, 50, 75, 100, -2}));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ImgTest, BilevelSavesAsLevelsZeroAndWhite) {
    ImagePtr bw = MakePatternImage(ImageKind::BW, 11, 6);
    const std::string path = tempPath("bw.img");
    LumoSaveIMG(bw.get(), path.c_str());

    ImagePtr loaded = LumoLoadIMG(path.c_str());
    ASSERT_TRUE(IsKind(*loaded, ImageKind::GRAY256));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 11; ++x)
            ASSERT_EQ(PixelAt(*loaded, x, y), PixelAt(*bw, x, y) ? 255u : 0u) << x << ", " << y;
}

class ImgRoundTripTest : public LumoTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(ImgRoundTripTest, EveryKindComesBackAsItsGrayVersion) {
    ImagePtr image = MakePatternImage(GetParam(), 13, 9, 5);
    const std::string path = tempPath("kind.img");
    LumoSaveIMG(image.get(), path.c_str());
    ImagePtr loaded = LumoLoadIMG(path.c_str());
    if (GetParam() == ImageKind::GRAY256)
        EXPECT_TRUE(SamePixels(*image, *loaded));
    else
        EXPECT_TRUE(SamePixels(*LumoToGRAY256(image.get()), *loaded));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ImgRoundTripTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(ImgTest, ShortFilesAndEmptyPicturesAreRefused) {
    // Header fields missing from a short file read as 0: a picture with no pixels.
    const auto refusal = [](int width, int height) {
        return "Image size " + std::to_string(width) + " x " + std::to_string(height) +
               " out of range (at most 65535 x 65535)";
    };
    EXPECT_LUMO_ERROR(LoadBytes({}), "LumoLoadIMG", refusal(0, 0));
    EXPECT_LUMO_ERROR(LoadBytes({'I', 'M', 0, 0, 5, 0}), "LumoLoadIMG", refusal(5, 0));  // the height is missing
    EXPECT_LUMO_ERROR(LoadBytes(ImgFile(0, 300, {})), "LumoLoadIMG", refusal(0, 300));
    EXPECT_TRUE(progress.empty());

    // An empty picture made in memory still saves.
    const std::string path = tempPath("empty.img");
    LumoSaveIMG(LumoCreateImage(0, 300, GRAY, nullptr, 8).get(), path.c_str());
    EXPECT_EQ(ReadBytes(path), ImgFile(0, 300, {}));
}

TEST_F(ImgTest, ShortRowIsReportedAsCorruption) {
    const std::vector<uint8_t> pixels = Levels(10 * 6);
    std::vector<uint8_t> cut = ImgFile(10, 6, pixels);
    cut.resize(cut.size() - 3);
    EXPECT_LUMO_ERROR(LoadBytes(cut, "cut.img"), "LumoLoadIMG", "IMG file cut.img corrupted");
    EXPECT_EQ(progress.back(), 100);  // the last row was started, the load never finished

    const std::string path = tempPath("cut.img");
    WriteBytes(path, ImgFile(10, 6, {pixels.begin(), pixels.begin() + 35}));
    EXPECT_LUMO_ERROR(LumoLoadIMG(path.c_str()), "LumoLoadIMG", "IMG file " + path + " corrupted");
    ASSERT_EQ(errors.size(), 2u);
}

TEST_F(ImgTest, PictureFarLargerThanTheFileIsRefusedBeforeAllocating) {
    const std::vector<uint8_t> file = ImgFile(13000, 13000, Levels(500));  // within the pixel limit
    try {
        LoadBytes(file, "huge.img");
        ADD_FAILURE() << "a 169 MB picture was accepted from 564 bytes";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), "LumoLoadIMG");
        EXPECT_NE(std::string(failure.text()).find("huge.img"), std::string::npos);
    }
    EXPECT_TRUE(progress.empty());
    // Widths whose padded rows do not fit the record are refused too.
    EXPECT_THROW(LoadBytes(ImgFile(65535, 1, Levels(65535))), LumoFailure);
}

TEST_F(ImgTest, DamagedFilesGiveAnImageOrAnErrorNeverACrash) {
    const std::vector<uint8_t> whole = ImgFile(9, 7, Levels(63), 2);
    for (size_t length = 0; length <= whole.size(); ++length) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
        // Until the height arrives the picture has no rows; after that every cut is short of data.
        const bool loads = length == whole.size();
        try {
            LoadBytes(cut);
            EXPECT_TRUE(loads) << "a cut at " << length << " loaded";
        } catch (const LumoFailure&) {
            EXPECT_FALSE(loads) << "a cut at " << length << " failed";
        }
    }
    for (size_t at = 0; at < whole.size(); ++at)
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<uint8_t> damaged = whole;
            damaged[at] ^= flip;
            try {
                ImagePtr image = LoadBytes(damaged);
                EXPECT_LE(static_cast<size_t>(image->width) * image->height, damaged.size());
            } catch (const LumoFailure&) {
            }
        }
}

TEST_F(ImgTest, MissingFilesAndFoldersAreReported) {
    const std::string missing = tempPath("missing.img");
    EXPECT_LUMO_ERROR(LumoLoadIMG(missing.c_str()), "LumoLoadIMG", "Can't open file " + missing + ": No such file or directory");
    const std::string nowhere = tempPath("no/such/folder.img");
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 4, 4);
    EXPECT_LUMO_ERROR(LumoSaveIMG(image.get(), nowhere.c_str()), "LumoSaveIMG", "Can't open file " + nowhere + ": No such file or directory");
}

TEST_F(ImgTest, FailedSaveLeavesTheExistingFileIntact) {
    const std::string path = tempPath("keep.img");
    const std::vector<uint8_t> original = ImgFile(2, 2, {1, 2, 3, 4});
    WriteBytes(path, original);
    ImagePtr large = MakePatternImage(ImageKind::GRAY256, 300, 300);

    // A file-size limit makes the writes fail part-way, as a full disk would.
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_LUMO_ERROR(LumoSaveIMG(large.get(), path.c_str()), "LumoSaveIMG", "Error writing file " + path + ": File too large");
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()), {}), 1);  // no temporary left behind
}

// The same pixels through ImageMagick: a raw gray file made by it must load as our picture, and
// ImageMagick must read our file as raw gray data after a 64-byte header.
TEST_F(ImgTest, ReferenceToolAgreesOnTheLayout) {
    if (!HaveTool("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
    const std::string pgm = tempPath("plasma.pgm");
    ASSERT_EQ(RunCommand("/usr/bin/convert -seed 7 -size 23x11 plasma:fractal -colorspace gray -depth 8 " +
                         ShellQuote(pgm))
                  .status,
              0);
    const std::vector<uint8_t> pgmBytes = ReadBytes(pgm);
    const std::string header = "P5\n23 11\n255\n";
    ASSERT_EQ(std::string(pgmBytes.begin(), pgmBytes.begin() + header.size()), header);
    const std::vector<uint8_t> reference(pgmBytes.begin() + header.size(), pgmBytes.end());
    ASSERT_EQ(reference.size(), 23u * 11);
    const std::string fromTool = tempPath("reference.img");
    WriteBytes(fromTool, ImgFile(23, 11, reference));
    ImagePtr loaded = LumoLoadIMG(fromTool.c_str());
    EXPECT_EQ(TopDownRows(*loaded), reference);

    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 23, 11, 9);
    const std::string ours = tempPath("ours.img");
    LumoSaveIMG(image.get(), ours.c_str());
    // "+64": the raw data starts after our header.
    const CommandResult raw =
        RunCommand("/usr/bin/convert -size 23x11+64 -depth 8 gray:" + ShellQuote(ours) + " gray:-");
    ASSERT_EQ(raw.status, 0);
    EXPECT_EQ(std::vector<uint8_t>(raw.output.begin(), raw.output.end()), TopDownRows(*image));
}

}  // namespace
