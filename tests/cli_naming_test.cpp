// lumo convert as people who script conversions use it: where outputs go and what they are called,
// the names and contents a format is known by, why a file failed, pipes, resizing and the closing count.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "formats/bmp.h"
#include "formats/gif/gif.h"
#include "formats/jpeg/jpeg.h"
#include "tests/support/lumo_test.h"

namespace {

class CliNamingTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        profile_ = tempPath("WIN.INI");
    }
    // Runs lumo in the test's folder, standard error with standard output unless redirected in arguments.
    CommandResult lumo(const std::string& arguments, const std::string& prefix = "") {
        return RunCommand("cd " + ShellQuote(tempDir().string()) + " && " + prefix + "env LUMO_PROFILE=" +
                          ShellQuote(profile_) + " " + ShellQuote(BuiltProgram("lumo")) + " " + arguments + " 2>&1");
    }
    // The same picture as JPEG, GIF and BMP, each called hopper, and the GIF again as other.gif.
    void makeHoppers() {
        const ImagePtr picture = MakePatternImage(ImageKind::RGB, 40, 30);
        LumoSaveJpeg(picture.get(), tempPath("hopper.jpg").c_str());
        const ImagePtr palette = MakePatternImage(ImageKind::COLOR256, 40, 30);
        LumoSaveGif(palette.get(), tempPath("hopper.gif").c_str());
        SaveBmp(picture.get(), tempPath("hopper.bmp").c_str());
        std::filesystem::copy_file(tempPath("hopper.gif"), tempPath("other.gif"));
    }
    bool exists(const std::string& name) { return std::filesystem::exists(tempPath(name)); }
    std::string info(const std::string& name) { return lumo("info " + name).output; }
    std::string profile_;
};

TEST_F(CliNamingTest, SeveralInputsGoToAFolderAndNeverIntoAFileName) {
    makeHoppers();
    const CommandResult intoFile = lumo("convert hopper.jpg hopper.gif -o two.bmp");
    EXPECT_EQ(intoFile.status, 2);
    EXPECT_EQ(intoFile.output, "lumo: several inputs need -o FOLDER, not the file name two.bmp: nothing converted\n");
    EXPECT_FALSE(exists("two.bmp"));

    WriteBytes(tempPath("taken.img"), {1, 2, 3});
    EXPECT_EQ(lumo("convert hopper.jpg hopper.gif -o taken.img").status, 2);
    EXPECT_EQ(ReadBytes(tempPath("taken.img")), (std::vector<uint8_t>{1, 2, 3}));

    // A folder is made when missing; "--format .bmp" is "bmp", not "name..bmp".
    const CommandResult batch = lumo("convert hopper.jpg other.gif -o made/here --format .bmp");
    EXPECT_EQ(batch.status, 0);
    EXPECT_NE(batch.output.find("2 converted, 0 failed\n"), std::string::npos) << batch.output;
    EXPECT_EQ(info("made/here/hopper.bmp"), "made/here/hopper.bmp: 40x30 RGB\n");
    EXPECT_FALSE(exists("made/here/hopper..bmp"));
    EXPECT_EQ(lumo("convert hopper.jpg -o x --format xyz").status, 2);
    EXPECT_EQ(lumo("convert hopper.jpg -o b.png --format gif").status, 2);  // not a folder named b.png
    EXPECT_FALSE(exists("b.png"));
}

TEST_F(CliNamingTest, CollidingOutputNamesAreRefusedBeforeAnythingIsWritten) {
    makeHoppers();
    const CommandResult result = lumo("convert hopper.bmp hopper.jpg hopper.gif -o out --format bmp");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output, "lumo: hopper.bmp and hopper.jpg would both be written as out/hopper.bmp: nothing converted\n");
    EXPECT_FALSE(exists("out"));
    EXPECT_EQ(lumo("convert hopper.gif hopper.gif -o out").status, 2);  // one file named twice
    EXPECT_FALSE(exists("out"));
}

TEST_F(CliNamingTest, AFolderThatCannotBeMadeIsAFailureWithItsReason) {
    makeHoppers();
    WriteBytes(tempPath("plain"), {0});
    const CommandResult result = lumo("convert hopper.jpg other.gif -o plain/sub");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "lumo: Can't create folder plain/sub: Not a directory\n");
}

TEST_F(CliNamingTest, ConvertingAFileOntoItselfReplacesItWhole) {
    makeHoppers();
    ASSERT_EQ(lumo("convert hopper.bmp -o hopper.bmp --to gray256 --resize 50%").status, 0);
    EXPECT_EQ(info("hopper.bmp"), "hopper.bmp: 20x15 GRAY256\n");
}

TEST_F(CliNamingTest, JpegAndTiffAreReadAndWrittenUnderEverySpelling) {
    makeHoppers();
    ASSERT_EQ(lumo("convert hopper.bmp -o plain.jpg").status, 0);
    ASSERT_EQ(lumo("convert hopper.bmp -o long.JPEG").status, 0);
    EXPECT_EQ(ReadBytes(tempPath("long.JPEG")), ReadBytes(tempPath("plain.jpg")));
    ASSERT_EQ(lumo("convert long.JPEG -o short.jpe").status, 0);
    EXPECT_EQ(info("short.jpe"), "short.jpe: 40x30 RGB\n");
    ASSERT_EQ(lumo("convert hopper.gif -o page.TIFF").status, 0);
    ASSERT_EQ(lumo("convert page.TIFF -o page.tiff").status, 0);
    ASSERT_EQ(lumo("convert page.tiff -o back.bmp").status, 0);
    EXPECT_TRUE(SamePixels(*LumoLoadBmp(tempPath("back.bmp").c_str()), *LumoLoadGif(tempPath("hopper.gif").c_str())));
}

TEST_F(CliNamingTest, AFileLoadsByItsSignatureWhateverItsName) {
    makeHoppers();
    std::filesystem::copy_file(tempPath("hopper.jpg"), tempPath("photo.bmp"));
    const CommandResult result = lumo("convert photo.bmp -o photo.img");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "lumo: photo.bmp: warning: photo.bmp holds a jpg file, not bmp as its extension says: loaded as jpg "
              "(module LoadImageByExtension)\n");
    EXPECT_EQ(info("photo.img"), "photo.img: 40x30 GRAY256\n");
}

TEST_F(CliNamingTest, FailuresGiveTheSystemsReason) {
    makeHoppers();
    const CommandResult missing = lumo("convert none.jpg -o x.bmp");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output,
              "lumo: none.jpg: can't open JPEG file none.jpg: No such file or directory (module LumoLoadJpeg)\n");

    const CommandResult full = lumo("convert hopper.jpg -o /dev/full --format bmp");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.output, "lumo: hopper.jpg: Error writing file /dev/full: No space left on device (module SaveBmp)\n");
    EXPECT_EQ(lumo("convert hopper.jpg -o /dev/full").status, 2);  // a device has no extension to go by

    WriteBytes(tempPath("noise.fax"), {1, 2, 3, 4});  // no coding the fax loader recognises
    const CommandResult noFax = lumo("convert noise.fax -o x.bmp");
    EXPECT_EQ(noFax.status, 1);
    EXPECT_EQ(noFax.output, "lumo: noise.fax: No picture found in noise.fax (module ConvertFile)\n");

    // A folder the user may not write (root may write any, so root runs lumo as nobody here).
    std::filesystem::create_directory(tempPath("locked"));
    ::chmod(tempPath("locked").c_str(), 0555);
    ::chmod(tempDir().c_str(), 0777);
    ::chmod(tempPath("hopper.jpg").c_str(), 0644);
    const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const CommandResult locked = lumo("convert hopper.jpg -o locked/x.bmp", "HOME=/tmp " + asUser);
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.output, "lumo: hopper.jpg: Can't open file locked/x.bmp: Permission denied (module SaveBmp)\n");
}

TEST_F(CliNamingTest, LibjpegWarningsNameTheFile) {
    const ImagePtr picture = MakePatternImage(ImageKind::RGB, 200, 150);
    LumoSaveJpeg(picture.get(), tempPath("whole.jpg").c_str());
    std::vector<uint8_t> bytes = ReadBytes(tempPath("whole.jpg"));
    bytes.resize(bytes.size() / 2);
    WriteBytes(tempPath("cut.jpg"), bytes);
    const CommandResult result = lumo("convert cut.jpg -o cut.bmp");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "lumo: cut.jpg: warning: Premature end of JPEG file: cut.jpg (module LoadJpeg)\n");
}

TEST_F(CliNamingTest, QualityAndSettingsAreCheckedByTheDialogsRules) {
    makeHoppers();
    ASSERT_EQ(lumo("convert hopper.bmp -o q75.jpg").status, 0);
    ASSERT_EQ(lumo("convert hopper.bmp -o q75b.jpg --quality 75").status, 0);
    ASSERT_EQ(lumo("convert hopper.bmp -o q95.jpg --quality 95").status, 0);
    EXPECT_EQ(ReadBytes(tempPath("q75.jpg")), ReadBytes(tempPath("q75b.jpg")));
    EXPECT_GT(ReadBytes(tempPath("q95.jpg")).size(), ReadBytes(tempPath("q75.jpg")).size());
    for (const char* refused : {"--quality 5", "--quality abc", "--set JpegQuality=abc", "--set Bogus=1"})
        EXPECT_EQ(lumo("convert hopper.bmp -o bad.jpg " + std::string(refused)).status, 2) << refused;
    EXPECT_EQ(lumo("convert hopper.bmp -o bad.jpg --quality 101").output,
              "lumo: JpegQuality=101: Quality must be between 10 and 100\n");
    EXPECT_EQ(lumo("convert hopper.bmp -o bad.jpg --set GifInterlace=2").output,
              "lumo: GifInterlace must be one of 0, 1\n");
    EXPECT_FALSE(exists("bad.jpg"));
}

TEST_F(CliNamingTest, ResizeKeepsTheAspectUnlessToldNotTo) {
    makeHoppers();  // 40x30
    const struct {
        const char* size;
        const char* result;
    } cases[] = {{"50%", "20x15"}, {"150%", "60x45"}, {"20x", "20x15"}, {"x15", "20x15"},
                 {"20x20", "20x15"}, {"80x30", "40x30"}, {"20x20!", "20x20"}, {"1%", "1x1"}};
    for (const auto& c : cases) {
        ASSERT_EQ(lumo("convert hopper.bmp -o sized.bmp --resize " + std::string(c.size)).status, 0) << c.size;
        EXPECT_EQ(info("sized.bmp"), "sized.bmp: " + std::string(c.result) + " RGB\n") << c.size;
    }
    // The size is the turned picture's.
    ASSERT_EQ(lumo("convert hopper.bmp -o sized.bmp --rotate 90 --resize 15x").status, 0);
    EXPECT_EQ(info("sized.bmp"), "sized.bmp: 15x20 RGB\n");
    for (const char* refused : {"0%", "x", "20", "-5x", "20x20!!", "abc"})
        EXPECT_EQ(lumo("convert hopper.bmp -o sized.bmp --resize " + std::string(refused)).status, 2) << refused;
}

TEST_F(CliNamingTest, StandardInputAndOutputGiveTheBytesOfTheFileRoute) {
    makeHoppers();
    ASSERT_EQ(lumo("convert hopper.jpg -o file.gif").status, 0);
    ASSERT_EQ(lumo("convert - -o - --format gif < hopper.jpg > piped.gif").status, 0);
    EXPECT_EQ(ReadBytes(tempPath("piped.gif")), ReadBytes(tempPath("file.gif")));
    ASSERT_EQ(lumo("convert - -o fromstdin.tiff < hopper.gif").status, 0);
    EXPECT_EQ(info("fromstdin.tiff"), "fromstdin.tiff: 40x30 COLOR256\n");
    EXPECT_EQ(lumo("convert hopper.jpg -o -").status, 2);            // no format for standard output
    EXPECT_EQ(lumo("convert - hopper.gif -o out < hopper.jpg").status, 2);  // "-" stands alone
    EXPECT_EQ(lumo("convert - -o x.bmp < /dev/null").output,
              "lumo: -: the format of standard input is not known (IMG and fax files need a file name)\n");
}

TEST_F(CliNamingTest, ABatchEndsWithItsCount) {
    makeHoppers();
    WriteBytes(tempPath("bad.bmp"), {'B', 'M', 1});
    const CommandResult stopped = lumo("convert hopper.jpg bad.bmp other.gif -o out --format bmp");
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.output.find("\n1 converted, 1 failed\n"), std::string::npos) << stopped.output;
    std::filesystem::remove_all(tempPath("out"));
    const CommandResult kept = lumo("convert --keep-going -j 2 bad.bmp hopper.jpg other.gif -o out --format png");
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.output.find("2 converted, 1 failed: bad.bmp\n"), std::string::npos) << kept.output;
}

TEST_F(CliNamingTest, HelpAndVersion) {
    EXPECT_EQ(lumo("--version").output, "lumo 1.2e\n");
    // A change to the help is a decision: update tests/data/lumo_help.txt with it.
    const CommandResult help = lumo("--help");
    EXPECT_EQ(help.status, 0);
    const std::vector<uint8_t> golden = ReadBytes(std::string(LUMO_SOURCE_DIR) + "/tests/data/lumo_help.txt");
    EXPECT_EQ(help.output, std::string(golden.begin(), golden.end()));
}

}  // namespace
