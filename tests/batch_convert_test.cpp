// The batch converter: naming, the run and its report, the source lists, and a converted folder of
// mixed formats read back by ImageMagick.
#include <filesystem>

#include "core/messages.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/gif/gif.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/tiff/tiff.h"
#include "jobs/batch_convert.h"
#include "jobs/file_lists.h"
#include "platform/message_box.h"
#include "platform/status_text.h"
#include "tests/support/pnm.h"
#include "tests/support/profile_fixture.h"

namespace {

class BatchConvertTest : public ProfileFileTest {
protected:
    void SetUp() override {
        ProfileFileTest::SetUp();
        in_ = tempPath("in");
        out_ = tempPath("out");
        std::filesystem::create_directories(in_);
        std::filesystem::create_directories(out_);
    }
    void TearDown() override {
        SetMessageBoxFunction({});
        SetStatusTextFunction({});
        ProfileFileTest::TearDown();
    }
    // A BMP picture in the source folder.
    std::string source(const std::string& name, ImageKind kind = ImageKind::RGB, int w = 23, int h = 17) {
        SaveBmp(MakePatternImage(kind, w, h).get(), (in_ + "/" + name).c_str());
        return name;
    }
    BatchRequest request(std::vector<std::string> files, const std::string& extension) {
        BatchRequest batch;
        batch.sourceFolder = in_;
        batch.files = std::move(files);
        batch.destinationFolder = out_;
        batch.extension = extension;
        return batch;
    }
    std::string in_, out_;
};

// photo.bmp and photo.gif both make photo.jpg: neither is converted rather than one lost.
TEST_F(BatchConvertTest, FilesThatWouldShareATargetStopTheRunBeforeAnythingIsWritten) {
    source("first.bmp");
    source("photo.bmp");
    LumoSaveGif(MakePatternImage(ImageKind::COLOR256, 5, 5).get(), (in_ + "/photo.gif").c_str());
    const BatchResult result = RunBatchConvert(request({"first.bmp", "photo.bmp", "photo.gif"}, "jpg"));
    EXPECT_EQ(result.converted, 0u);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].index, 2u);
    EXPECT_EQ(result.failures[0].message, "photo.bmp and photo.gif would both be written as " + out_ + "/photo.jpg");
    EXPECT_TRUE(std::filesystem::is_empty(out_));
}

TEST_F(BatchConvertTest, GifIntoAnotherFolderAsTiffKeepsItsBaseNameAndPixels) {
    const ImagePtr picture = MakePatternImage(ImageKind::COLOR256, 31, 9);
    LumoSaveGif(picture.get(), (in_ + "/photo.gif").c_str());
    std::vector<std::string> texts;
    SetStatusTextFunction([&](const char* text) { texts.push_back(text); });

    const BatchResult result = RunBatchConvert(request({"photo.gif"}, "tif"));
    EXPECT_EQ(result.converted, 1u);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.written, std::vector<std::string>{out_ + "/photo.tif"});
    EXPECT_EQ(texts, std::vector<std::string>{"Converting file photo.gif (1/1)"});
    const ImagePtr back = LumoLoadTiff((out_ + "/photo.tif").c_str());
    EXPECT_TRUE(SamePixels(*picture, *back));
}

TEST_F(BatchConvertTest, NoFileConvertsNothing) {
    const BatchResult result = RunBatchConvert(request({}, "jpg"));
    EXPECT_EQ(result.converted, 0u);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_TRUE(std::filesystem::is_empty(out_));
}

TEST_F(BatchConvertTest, NamesJoinFoldersWithOneSeparator) {
    EXPECT_EQ(BatchTargetName("/out", "photo.gif", "tif"), "/out/photo.tif");
    EXPECT_EQ(BatchTargetName("/out/", "archive.tar.gz", "bmp"), "/out/archive.tar.bmp");
    EXPECT_EQ(BatchTargetName("", "sub/photo.JPG", "mok"), "photo.mok");
    EXPECT_EQ(PathInFolder("C:\\IN\\", "a.gif"), "C:\\IN\\a.gif");
    EXPECT_EQ(PathInFolder("", "a.gif"), "a.gif");
}

// MOK is offered as an output although the source list never shows MOK files (the sheets' list does).
TEST_F(BatchConvertTest, SourceListsMatchWithoutRegardToCaseAndMokIsOnlyATarget) {
    for (const char* name : {"b.jpg", "A.JPG", "c.Tif", "d.mok", "e.txt", "f.fax", "a.jpg", "g.JPEG", "h.jpe", "i.tiff"})
        WriteBytes(in_ + "/" + name, {1});
    std::filesystem::create_directory(in_ + "/folder.jpg");
    EXPECT_EQ(ListMatchingFiles(in_, kBatchSourcePatterns),
              (std::vector<std::string>{"A.JPG", "a.jpg", "b.jpg", "c.Tif", "f.fax", "g.JPEG", "h.jpe", "i.tiff"}));
    EXPECT_EQ(ListMatchingFiles(in_, kSheetSourcePatterns),
              (std::vector<std::string>{"A.JPG", "a.jpg", "b.jpg", "c.Tif", "d.mok", "f.fax", "g.JPEG", "h.jpe",
                                        "i.tiff"}));
    EXPECT_TRUE(ListMatchingFiles(in_ + "/missing", kBatchSourcePatterns).empty());
    const auto mok = std::find_if(std::begin(kBatchOutputFormats), std::end(kBatchOutputFormats),
                                  [](const OutputFormat& f) { return std::string(f.name) == "Mok"; });
    ASSERT_NE(mok, std::end(kBatchOutputFormats));
    EXPECT_STREQ(mok->extension, "mok");
    EXPECT_TRUE(MatchesPattern("x.tar.jpg", "*.jpg"));
    EXPECT_FALSE(MatchesPattern("x.jpg.txt", "*.jpg"));
    EXPECT_TRUE(MatchesPattern("IMG0001.PCD", "img????.pcd"));
}

TEST_F(BatchConvertTest, FailureStopsTheRunAndNamesTheFileUnlessAskedToGoOn) {
    const std::vector<std::string> files = {source("one.bmp"), "bad.bmp", source("three.bmp")};
    WriteBytes(in_ + "/bad.bmp", {'B', 'M', 1});
    LumoSetIntOption("showprogress", 1);

    const BatchResult stopped = RunBatchConvert(request(files, "bmp"));
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
    LumoSetIntOption("showprogress", 0);
    EXPECT_EQ(stopped.converted, 1u);
    ASSERT_EQ(stopped.failures.size(), 1u);
    EXPECT_EQ(stopped.failures[0].index, 1u);
    EXPECT_EQ(stopped.failures[0].file, "bad.bmp");
    EXPECT_EQ(stopped.failures[0].module, "LumoLoadBmp");
    EXPECT_FALSE(std::filesystem::exists(out_ + "/three.bmp"));

    BatchRequest goOn = request(files, "bmp");
    goOn.keepGoing = true;
    const BatchResult kept = RunBatchConvert(goOn);
    EXPECT_EQ(kept.converted, 2u);
    EXPECT_EQ(kept.failures.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(out_ + "/three.bmp"));
}

TEST_F(BatchConvertTest, UnknownExtensionIsAFailureNotASilentSkip) {
    std::vector<std::string> boxes;
    SetMessageBoxFunction([&](const char*, const char* text, MessageIcon) { boxes.push_back(text); });
    WriteBytes(in_ + "/notes.txt", {1});
    const BatchResult result = RunBatchConvert(request({"notes.txt", source("after.bmp")}, "tif"));
    EXPECT_EQ(result.converted, 0u);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].message, "Unknown file extension");
    EXPECT_EQ(boxes, std::vector<std::string>{"Unknown file extension txt for file " + in_ + "/notes.txt"});
}

TEST_F(BatchConvertTest, FileConvertedOntoItselfIsReadWholeFirst) {
    const ImagePtr picture = MakePatternImage(ImageKind::GRAY256, 301, 203);
    SaveBmp(picture.get(), (in_ + "/self.bmp").c_str());
    BatchRequest same = request({"self.bmp"}, "bmp");
    same.destinationFolder = in_;
    EXPECT_EQ(RunBatchConvert(same).converted, 1u);
    EXPECT_TRUE(SamePixels(*picture, *LumoLoadBmp((in_ + "/self.bmp").c_str())));
}

// Every picture of a mixed folder, converted to each format ImageMagick reads, reads back in ImageMagick
// as we read it; where the format is lossless for the picture, as the source itself.
TEST_F(BatchConvertTest, ConvertedMixedFolderReadsBackInImageMagick) {
    if (!HaveTool("convert")) GTEST_SKIP() << "no ImageMagick";
    writeProfile("[Lumo]\nJpegFast=0\n");  // our JPEG reads with ImageMagick's IDCT and upsampling
    std::vector<std::string> files = {source("rgb.bmp", ImageKind::RGB), source("gray.bmp", ImageKind::GRAY256)};
    LumoSaveGif(MakePatternImage(ImageKind::COLOR256, 23, 17, 3).get(), (in_ + "/palette.gif").c_str());
    LumoSaveTiff(MakePatternImage(ImageKind::GRAY16, 23, 17, 4).get(), (in_ + "/levels.tif").c_str());
    SaveJbig(MakePatternImage(ImageKind::BW, 23, 17, 5).get(), (in_ + "/page.bie").c_str());
    LumoSaveJpeg(MakePatternImage(ImageKind::RGB, 23, 17, 6).get(), (in_ + "/photo.jpg").c_str());
    files.insert(files.end(), {"palette.gif", "levels.tif", "page.bie", "photo.jpg"});

    struct Target {
        const char* extension;
        bool lossless;  // for every source kind
        int tolerance;  // mean difference allowed between the two decoders
    };
    for (const Target& target : {Target{"tif", true, 0}, Target{"bmp", true, 0}, Target{"gif", false, 0},
                                 Target{"bie", false, 0}, Target{"jpg", false, 1}}) {
        const BatchResult result = RunBatchConvert(request(files, target.extension));
        ASSERT_EQ(result.converted, files.size()) << target.extension;
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string written = result.written[i];
            const CommandResult magick = RunCommand("convert " + ShellQuote(written) + " -strip -depth 8 ppm:-");
            ASSERT_EQ(magick.status, 0) << written;
            const PnmPicture theirs = ParsePnm(std::vector<uint8_t>(magick.output.begin(), magick.output.end()));
            const ImagePtr ours = LoadImageByExtension(written.c_str());
            const ImagePtr original = LoadImageByExtension((in_ + "/" + files[i]).c_str());
            const PnmPicture expected = PnmOf(target.lossless ? *original : *ours);
            ASSERT_EQ(theirs.width, expected.width) << written;
            ASSERT_EQ(theirs.height, expected.height) << written;
            const auto sample = [](const PnmPicture& picture, size_t p, int c) {
                return picture.samples[p * picture.channels + (picture.channels == 3 ? c : 0)];
            };
            const long samples = long{theirs.width} * theirs.height * 3;
            long difference = 0;
            for (size_t p = 0; p < size_t(theirs.width) * theirs.height; ++p)
                for (int c = 0; c < 3; ++c) difference += std::abs(sample(theirs, p, c) - sample(expected, p, c));
            EXPECT_LE(difference, target.tolerance * samples) << written;
        }
    }
}

}  // namespace

// A rescale that shrinks a JPEG 2x or more both ways decodes it reduced: the same pixels as a full
// conversion with the profile's JpegRatio at the reduction chosen, and the size asked for.
class ReducedDecodeTest : public BatchConvertTest {
protected:
    void SetUp() override {
        BatchConvertTest::SetUp();
        photo_ = in_ + "/photo.jpg";
        LumoSaveJpeg(MakePatternImage(ImageKind::RGB, 640, 480, 3).get(), photo_.c_str());
    }
    // The conversion to BMP as loaded back; ratio is the profile's JpegRatio.
    ImagePtr convert(ImageTransform transform, int ratio = 1) {
        writeProfile("[Lumo]\nJpegRatio=" + std::to_string(ratio) + "\n");
        const std::string target = out_ + "/converted.bmp";
        EXPECT_TRUE(ConvertFile(photo_, target, transform));
        return LumoLoadBmp(target.c_str());
    }
    static ImageTransform rescale(int width, int height, bool exact = false) {
        ImageTransform transform;
        transform.width = width;
        transform.height = height;
        transform.exactScale = exact;
        return transform;
    }
    std::string photo_;
};

TEST_F(ReducedDecodeTest, DecodesAtTheLargestReductionStillAtLeastTheTarget) {
    // 640 x 480 to 150 x 100: a quarter (160 x 120) is the largest reduction at least that large.
    const ImagePtr reduced = convert(rescale(150, 100));
    EXPECT_EQ(reduced->width, 150);
    EXPECT_EQ(reduced->height, 100);
    EXPECT_TRUE(SamePixels(*convert(rescale(150, 100, true), 4), *reduced));
    EXPECT_FALSE(SamePixels(*convert(rescale(150, 100, true), 2), *reduced));
    // --exact-scale decodes at full size.
    EXPECT_FALSE(SamePixels(*convert(rescale(150, 100, true)), *reduced));
}

TEST_F(ReducedDecodeTest, IsNotUsedWhenEitherSideShrinksLessThanTwiceOrTheProfileReducesAlready) {
    const ImagePtr shrunk = convert(rescale(400, 60));
    EXPECT_EQ(shrunk->width, 400);
    EXPECT_TRUE(SamePixels(*convert(rescale(400, 60, true)), *shrunk));
    EXPECT_TRUE(SamePixels(*convert(rescale(1000, 100, true)), *convert(rescale(1000, 100))));
    // The user's JpegRatio=2 stays in force, whether the rescale shrinks a little or a lot.
    EXPECT_TRUE(SamePixels(*convert(rescale(400, 60, true), 2), *convert(rescale(400, 60), 2)));
    EXPECT_TRUE(SamePixels(*convert(rescale(80, 60, true), 2), *convert(rescale(80, 60), 2)));
}

TEST_F(ReducedDecodeTest, AQuarterTurnSwapsTheSidesTheTargetRefersTo) {
    // 100 x 150 after the turn is 150 x 100 of the file: a quarter, not the eighth that 100 x 150 would allow.
    ImageTransform turned = rescale(100, 150);
    turned.rotation = Orientation::RotateRight;
    const ImagePtr reduced = convert(turned);
    EXPECT_EQ(reduced->width, 100);
    EXPECT_EQ(reduced->height, 150);
    turned.exactScale = true;
    EXPECT_TRUE(SamePixels(*convert(turned, 4), *reduced));
}

TEST_F(ReducedDecodeTest, FullSizeDecodingIsRestoredAfterAFailedLoad) {
    std::vector<uint8_t> bytes = ReadBytes(photo_);
    bytes.resize(300);  // the header and a little of the scan
    WriteBytes(in_ + "/short.jpg", bytes);
    EXPECT_THROW(ConvertFile(in_ + "/short.jpg", out_ + "/short.bmp", rescale(80, 60)), LumoFailure);
    EXPECT_EQ(LumoGetIntOptionJpeg("thumbnailmode"), 0);
    EXPECT_EQ(LumoGetIntOptionJpeg("thumbnailw"), 80);
    EXPECT_EQ(LumoGetIntOptionJpeg("thumbnailh"), 60);
    const ImagePtr full = LoadImageByExtension(photo_.c_str());
    EXPECT_EQ(full->width, 640);
}
