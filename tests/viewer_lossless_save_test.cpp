// Rotate and Flip, then Save or Save as, on a picture loaded from a JPEG: the file's compressed blocks
// are turned (compared with jpegtran), unless something else changed the picture or the file.
#include <chrono>
#include <filesystem>

#include "tests/support/pnm.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/dialogs/file_dialogs.h"

namespace {

using namespace command;

class LosslessSaveTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (!HaveTool("cjpeg") || !HaveTool("djpeg") || !HaveTool("jpegtran") || !HaveTool("exiftool"))
            GTEST_SKIP() << "no libjpeg-turbo-progs or exiftool";
        previousSave_ = SetSaveFileDialog([this](QWidget*, const SaveFileRequest&, int&) { return saveAnswer; });
        start({});
    }
    void TearDown() override {
        if (started()) SetSaveFileDialog(previousSave_);
        ViewerTest::TearDown();
    }

    // A 4:2:0 JPEG made by cjpeg, with an Exif Orientation when one is given.
    std::string makeJpeg(const std::string& name, int width, int height, int orientation = 0) {
        const std::string ppm = tempPath(name + ".ppm"), jpeg = tempPath(name);
        WritePnm(*MakePatternImage(ImageKind::RGB, width, height), ppm);
        EXPECT_EQ(RunCommand("cjpeg -sample 2x2 " + ShellQuote(ppm) + " > " + ShellQuote(jpeg)).status, 0);
        if (orientation) {
            EXPECT_EQ(RunCommand("exiftool -q -overwrite_original -n -Orientation=" + std::to_string(orientation) +
                                 " " + ShellQuote(jpeg))
                          .status,
                      0);
        }
        return jpeg;
    }
    std::vector<uint8_t> decoded(const std::string& jpeg) {
        const std::string pnm = jpeg + ".ppm";
        EXPECT_EQ(RunCommand("djpeg -pnm " + ShellQuote(jpeg) + " > " + ShellQuote(pnm)).status, 0);
        return ReadBytes(pnm);
    }
    std::vector<uint8_t> jpegtranned(const std::string& input, const std::string& options) {
        const std::string output = tempPath("jpegtran-" + std::to_string(++references_) + ".jpg");
        EXPECT_EQ(RunCommand("jpegtran " + options + " -trim " + ShellQuote(input) + " > " + ShellQuote(output)).status, 0);
        return decoded(output);
    }
    std::string tag(const std::string& file, const std::string& name) {
        return RunCommand("exiftool -s -s -s -n -" + name + " " + ShellQuote(file)).output;
    }
    // Re-encoded files carry the saver's comment; turned ones keep the markers cjpeg wrote (none).
    bool recompressed(const std::string& file) { return tag(file, "Comment") == "Created by Lumo\n"; }

    ImageWindow& open(const std::string& path) {
        EXPECT_TRUE(frame().openFileInNewWindow(QString::fromStdString(path)));
        return *frame().activeImageWindow();
    }

    QString saveAnswer;

private:
    SaveFileDialog previousSave_;
    int references_ = 0;
};

// Orientation 6 is shown turned right; Rotate Right makes it a half turn of the file. The partial
// edge blocks are trimmed, and the window shows the file as written.
TEST_F(LosslessSaveTest, SaveTurnsTheFileItselfAfterTheExifTurn) {
    const std::string file = makeJpeg("photo.jpg", 61, 45, 6);
    const std::vector<uint8_t> expected = jpegtranned(file, "-rotate 180");
    ImageWindow& window = open(file);
    EXPECT_EQ(window.image()->width, 45);
    frame().runCommand(RotateRight);
    ASSERT_TRUE(window.isModified());
    frame().runCommand(Save);

    EXPECT_EQ(decoded(file), expected);
    EXPECT_FALSE(recompressed(file));
    EXPECT_EQ(tag(file, "Orientation"), "1\n");
    EXPECT_FALSE(window.isModified());
    EXPECT_EQ(window.image()->width, 48);  // reloaded: 61x45 trimmed to whole 16-pixel blocks
    EXPECT_EQ(window.image()->height, 32);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, file + " was turned without recompressing; the edge blocks that cannot turn exactly "
                                        "were trimmed: 48x32 instead of 61x45");
}

// Save as under a new JPEG name turns the loaded file into it; the window then belongs to the new
// file and a further turn is lossless again, relative to that file.
TEST_F(LosslessSaveTest, SaveAsTurnsIntoTheNewFileAndTurnsGoOnFromThere) {
    const std::string file = makeJpeg("whole.jpg", 48, 32);
    const std::vector<uint8_t> original = ReadBytes(file);
    ImageWindow& window = open(file);
    frame().runCommand(FlipHorizontal);
    frame().runCommand(RotateLeft);
    const std::string copy = tempPath("copy.JPEG");
    saveAnswer = QString::fromStdString(copy);
    frame().runCommand(SaveAs);
    EXPECT_EQ(ReadBytes(file), original);
    // Mirrored, then a quarter turn left: the transpose.
    EXPECT_EQ(decoded(copy), jpegtranned(file, "-transpose"));
    EXPECT_FALSE(recompressed(copy));
    EXPECT_EQ(window.windowTitle(), saveAnswer);
    EXPECT_FALSE(window.isModified());
    EXPECT_TRUE(boxes.empty());

    const std::vector<uint8_t> next = jpegtranned(copy, "-rotate 90");
    frame().runCommand(RotateRight);
    frame().runCommand(Save);
    EXPECT_EQ(decoded(copy), next);
    EXPECT_FALSE(recompressed(copy));
}

// Another change to the picture, a file replaced on disk, or a name of another format: the usual save.
TEST_F(LosslessSaveTest, OtherChangesAndChangedFilesSaveTheUsualWay) {
    const std::string converted = makeJpeg("converted.jpg", 48, 32);
    open(converted);
    frame().runCommand(RotateRight);
    frame().runCommand(ToGray256);
    frame().runCommand(RotateLeft);
    frame().runCommand(Save);
    EXPECT_TRUE(recompressed(converted));

    const std::string replaced = makeJpeg("replaced.jpg", 48, 32);
    open(replaced);
    frame().runCommand(FlipVertical);
    const std::vector<uint8_t> bytes = ReadBytes(replaced);
    WriteBytes(replaced, bytes);
    std::filesystem::last_write_time(replaced, std::filesystem::last_write_time(replaced) - std::chrono::hours(1));
    frame().runCommand(Save);
    EXPECT_TRUE(recompressed(replaced));

    const std::string source = makeJpeg("source.jpg", 48, 32);
    open(source);
    frame().runCommand(FlipVertical);
    const std::string bmp = tempPath("flipped.bmp");
    saveAnswer = QString::fromStdString(bmp);
    frame().runCommand(SaveAs);
    const ImagePtr saved = LumoLoadBmp(bmp.c_str());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->width, 48);
}

}  // namespace
