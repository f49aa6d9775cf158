#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#include "formats/bmp.h"
#include "formats/gif/gif.h"
#include "formats/jpeg/jpeg.h"
#include "jobs/contact_sheet.h"
#include "tests/support/lumo_test.h"

namespace {

struct Place {
    int x, y;
};

// Drives the built lumo program as scripts do: exit status, standard output, messages on standard error.
class CliTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        profile_ = tempPath("WIN.INI");
    }
    CommandResult lumo(const std::string& arguments, bool withStandardError = false) {
        return RunCommand("LUMO_PROFILE=" + ShellQuote(profile_) + " " + ShellQuote(BuiltProgram("lumo")) + " " +
                          arguments + (withStandardError ? " 2>&1" : " 2>/dev/null"));
    }
    std::string sample(ImageKind kind, int width, int height, const std::string& name) {
        const std::string path = tempPath(name);
        SaveBmp(MakePatternImage(kind, width, height).get(), path.c_str());
        return path;
    }
    std::string profile_;
};

TEST_F(CliTest, InfoPrintsSizeAndKindPerFile) {
    const std::string a = sample(ImageKind::GRAY16, 33, 7, "a.bmp");
    const std::string b = sample(ImageKind::RGB, 1, 2, "b.bmp");
    const CommandResult result = lumo("info " + ShellQuote(a) + " " + ShellQuote(b));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, a + ": 33x7 GRAY16\n" + b + ": 1x2 RGB\n");
}

TEST_F(CliTest, ConvertsOneFileByTheOutputExtension) {
    const std::string input = sample(ImageKind::COLOR256, 9, 4, "in.bmp");
    const std::string output = tempPath("out.img");
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(output)).status, 0);
    EXPECT_EQ(ReadBytes(output).size(), 64u + 9 * 4);
    EXPECT_EQ(lumo("info " + ShellQuote(output)).output, output + ": 9x4 GRAY256\n");
}

TEST_F(CliTest, ReadsAndWritesPngKeepingTheKind) {
    const std::string input = sample(ImageKind::COLOR16, 9, 4, "in.bmp");
    const std::string out = tempPath("out");
    ASSERT_EQ(lumo("convert --set PngCompression=0 " + ShellQuote(input) + " -o " + ShellQuote(out) + " --format png")
                  .status,
              0);
    const std::string png = out + "/in.png", back = tempPath("back.bmp");
    EXPECT_EQ(lumo("info " + ShellQuote(png)).output, png + ": 9x4 COLOR16\n");
    ASSERT_EQ(lumo("convert " + ShellQuote(png) + " -o " + ShellQuote(back)).status, 0);
    EXPECT_EQ(ReadBytes(back), ReadBytes(input));
    EXPECT_EQ(lumo("convert --set PngCompression=10 " + ShellQuote(input) + " -o x.png", true).output,
              "lumo: PngCompression must be between 0 and 9\n");
}

TEST_F(CliTest, BatchNamesOutputsByBaseNameAndFormat) {
    const std::string a = sample(ImageKind::BW, 10, 10, "one.bmp");
    const std::string b = sample(ImageKind::RGB, 5, 3, "two.bmp");
    const std::string out = tempPath("out");
    EXPECT_EQ(lumo("convert -j 2 " + ShellQuote(a) + " " + ShellQuote(b) + " -o " + ShellQuote(out) +
                   " --format img").status,
              0);
    EXPECT_TRUE(std::filesystem::exists(out + "/one.img"));
    EXPECT_TRUE(std::filesystem::exists(out + "/two.img"));
}

TEST_F(CliTest, FailuresNameTheFileAndStopUnlessAskedToGoOn) {
    const std::string good = sample(ImageKind::GRAY256, 4, 4, "good.bmp");
    const std::string bad = tempPath("bad.bmp");
    WriteBytes(bad, {'X', 'Y', 0, 0});
    const std::string out = tempPath("out");

    CommandResult stopped = lumo("convert " + ShellQuote(bad) + " " + ShellQuote(good) + " -o " + ShellQuote(out) +
                                     " --format bmp",
                                 true);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.output.find("lumo: " + bad + ": Not a Bmp File: " + bad + " (module LumoLoadBmp)"),
              std::string::npos)
        << stopped.output;
    EXPECT_FALSE(std::filesystem::exists(out + "/good.bmp"));

    CommandResult kept = lumo("convert --keep-going " + ShellQuote(bad) + " " + ShellQuote(good) + " -o " +
                              ShellQuote(out) + " --format bmp");
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(std::filesystem::exists(out + "/good.bmp"));
}

TEST_F(CliTest, UnknownExtensionsAndUsageErrors) {
    const std::string input = sample(ImageKind::GRAY256, 4, 4, "in.bmp");
    CommandResult unknown = lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(tempPath("x.xyz")), true);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.output.find("Unknown file extension xyz for file"), std::string::npos);
    EXPECT_EQ(lumo("convert " + ShellQuote(input)).status, 2);  // no -o
    EXPECT_EQ(lumo("frobnicate").status, 2);
    EXPECT_EQ(lumo("convert --set NoEquals " + ShellQuote(input) + " -o x.bmp").status, 2);
    EXPECT_EQ(lumo("info " + ShellQuote(tempPath("missing.bmp"))).status, 1);
}

TEST_F(CliTest, AFailedConversionLeavesTheTargetIntact) {
    const std::string bad = tempPath("bad.bmp");
    WriteBytes(bad, {'B', 'M', 1});
    const std::string target = tempPath("target.img");
    WriteBytes(target, {7, 7, 7});
    EXPECT_EQ(lumo("convert " + ShellQuote(bad) + " -o " + ShellQuote(target)).status, 1);
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{7, 7, 7}));
}

TEST_F(CliTest, RescalesThenConvertsToTheAskedKind) {
    const std::string input = sample(ImageKind::RGB, 40, 30, "photo.bmp");
    const std::string gray = tempPath("gray.bmp");
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(gray) + " --rescale 8x6 --to gray256").status, 0);
    EXPECT_EQ(lumo("info " + ShellQuote(gray)).output, gray + ": 8x6 GRAY256\n");
    const std::string palette = tempPath("palette.bmp");
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(palette) + " --to COLOR256").status, 0);
    EXPECT_EQ(lumo("info " + ShellQuote(palette)).output, palette + ": 40x30 COLOR256\n");
    // Asking for the kind the picture already has keeps it.
    EXPECT_EQ(lumo("convert " + ShellQuote(gray) + " -o " + ShellQuote(tempPath("same.bmp")) + " --to gray256").status, 0);
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o x.bmp --to purple").status, 2);
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o x.bmp --rescale 0x6").status, 2);
}

// Each output pixel (x, y) against the input pixel the turn or mirror brings there.
TEST_F(CliTest, RotateAndFlipMovePixelsExactlyBeforeTheRescale) {
    const int W = 5, H = 3;
    const std::string input = sample(ImageKind::RGB, W, H, "in.bmp");
    ImagePtr source = LumoLoadBmp(input.c_str());
    const struct {
        const char* options;
        int width, height;
        std::function<Place(int, int)> from;
    } cases[] = {
        {"--rotate 90", H, W, [&](int x, int y) { return Place{y, H - 1 - x}; }},
        {"--rotate 180", W, H, [&](int x, int y) { return Place{W - 1 - x, H - 1 - y}; }},
        {"--rotate 270", H, W, [&](int x, int y) { return Place{W - 1 - y, x}; }},
        {"--flip h", W, H, [&](int x, int y) { return Place{W - 1 - x, y}; }},
        {"--flip V", W, H, [&](int x, int y) { return Place{x, H - 1 - y}; }},
        // The turn comes first whatever the order of the options: together a mirror across the diagonal.
        {"--flip h --rotate 90", H, W, [&](int x, int y) { return Place{y, x}; }},
    };
    for (const auto& c : cases) {
        const std::string output = tempPath("out.bmp");
        ASSERT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(output) + " " + c.options).status, 0)
            << c.options;
        ImagePtr result = LumoLoadBmp(output.c_str());
        ASSERT_EQ(result->width, c.width) << c.options;
        ASSERT_EQ(result->height, c.height) << c.options;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const Place at = c.from(x, y);
                ASSERT_EQ(PixelAt(*result, x, y), PixelAt(*source, at.x, at.y)) << c.options << " at " << x << ", " << y;
            }
    }
    // The size asked for is the turned picture's.
    const std::string resized = tempPath("resized.bmp");
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(resized) + " --rotate 90 --rescale 6x10 --to gray256")
                  .status,
              0);
    EXPECT_EQ(lumo("info " + ShellQuote(resized)).output, resized + ": 6x10 GRAY256\n");
    for (const char* refused : {"--rotate 45", "--rotate -90", "--rotate", "--flip x", "--flip"})
        EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o x.bmp " + refused).status, 2) << refused;
}

TEST_F(CliTest, ThresholdAndDitherComeFromTheProfile) {
    // A uniform gray of 128: with dithering off, the "Threshold" key alone decides black or white.
    ImagePtr image = LumoCreateImage(16, 2, GRAY, nullptr, 8);
    std::fill(image->bits, image->bits + PixelBytes(*image), 128);
    const std::string input = tempPath("gray.bmp");
    SaveBmp(image.get(), input.c_str());
    const std::string output = tempPath("bw.img");
    for (const auto& [threshold, level] : {std::pair{"128", 255}, std::pair{"129", 0}}) {
        ASSERT_EQ(lumo("convert --set NoDither=1 --set Threshold=" + std::string(threshold) + " " + ShellQuote(input) +
                       " -o " + ShellQuote(output) + " --to bw")
                      .status,
                  0);
        const std::vector<uint8_t> bytes = ReadBytes(output);
        ASSERT_EQ(bytes.size(), 64u + 32);
        EXPECT_EQ(bytes[64], level) << "threshold " << threshold;
        EXPECT_EQ(bytes.back(), level) << "threshold " << threshold;
    }
}

TEST_F(CliTest, SettingsAreWrittenReadBackAndRefusedAsOneChange) {
    const std::string foreign = "; my notes\r\n[windows]\r\nload=\r\n\r\n[Lumo]\r\nJpegQuality=abc\r\n[fonts]\r\nx=1\r\n";
    WriteBytes(profile_, std::vector<uint8_t>(foreign.begin(), foreign.end()));
    const std::string listing = lumo("settings").output;
    EXPECT_NE(listing.find("\nJpegQuality=abc        (default 75; not a valid value, read as 75)\n"), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("\nTiffBWCompression=     (default empty)\n"), std::string::npos) << listing;

    for (const char* refused : {"JpegQuality=90 Threshold=255", "JpegQuality=90 Bogus=1", "JpegQuality=90 JpegQuality"}) {
        EXPECT_EQ(lumo("settings " + std::string(refused)).status, 2) << refused;
        EXPECT_EQ(ReadBytes(profile_), std::vector<uint8_t>(foreign.begin(), foreign.end())) << refused;
    }
    EXPECT_EQ(lumo("settings JpegQuality=9", true).output, "lumo: JpegQuality=9: Quality must be between 10 and 100\n");

    ASSERT_EQ(lumo("settings jpegquality=90 TiffPredictor=Smart").status, 0);
    const std::vector<uint8_t> bytes = ReadBytes(profile_);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "; my notes\r\n[windows]\r\nload=\r\n\r\n[Lumo]\r\nJpegQuality=90\r\nTiffPredictor=Smart\r\n"
              "[fonts]\r\nx=1\r\n");
    const std::string after = lumo("settings").output;
    EXPECT_NE(after.find("\nJpegQuality=90         (default 75)\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\nTiffPredictor=Smart    (default Never)\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\nMaxPixels=178956970    (default 178956970)\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\nPngCompression=6       (default 6)\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\nWebpQuality=75         (default 75)\n"), std::string::npos) << after;
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 39);
}

TEST_F(CliTest, SetRefusesUnknownKeysAndInvalidValues) {
    const std::string input = sample(ImageKind::GRAY256, 4, 4, "in.bmp");
    const std::string output = tempPath("out.jpg");
    CommandResult refused = lumo("convert --set JpegQuality=5 " + ShellQuote(input) + " -o " + ShellQuote(output), true);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.output, "lumo: JpegQuality=5: Quality must be between 10 and 100\n");
    EXPECT_EQ(lumo("info --set JpegQualty=50 " + ShellQuote(input), true).output,
              "lumo: Unknown profile key JpegQualty\n");
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(lumo("convert --set jpegquality=50 " + ShellQuote(input) + " -o " + ShellQuote(output)).status, 0);
    EXPECT_FALSE(std::filesystem::exists(profile_));  // --set lasts one run and writes nothing
}

// Inputs and profiles that used to hang or crawl: a FIFO as picture or profile is refused at once with
// a message, and a 29 MB profile is not read (one warning, defaults) instead of read again per key.
TEST_F(CliTest, FifosAndHugeProfilesAreRefusedAtOnce) {
    const std::string input = sample(ImageKind::GRAY256, 4, 4, "in.bmp");
    const auto timed = [&](const std::string& arguments, double& seconds) {
        const auto start = std::chrono::steady_clock::now();
        // timeout: a regression fails the test instead of hanging it
        const CommandResult result = RunCommand("LUMO_PROFILE=" + ShellQuote(profile_) + " timeout 10 " +
                                                ShellQuote(BuiltProgram("lumo")) + " " + arguments + " 2>&1");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    };
    double seconds = 0;
    const std::string fifo = tempPath("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CommandResult fromFifo = timed("info " + ShellQuote(fifo), seconds);
    EXPECT_EQ(fromFifo.status, 1);
    EXPECT_NE(fromFifo.output.find("Not a regular file: " + fifo), std::string::npos) << fromFifo.output;
    EXPECT_LT(seconds, 1.0);

    const std::string output = tempPath("out.bmp");
    profile_ = fifo;
    const CommandResult fifoProfile = timed("convert " + ShellQuote(input) + " -o " + ShellQuote(output), seconds);
    EXPECT_EQ(fifoProfile.status, 0);
    EXPECT_EQ(fifoProfile.output,
              "lumo: The profile " + fifo + " is not a regular file: default settings are used\n");
    EXPECT_LT(seconds, 1.0);

    // A huge profile is refused without being read: the run takes about as long as one with a small
    // profile (best of three each, on a machine others share; the sanitizer build starts slowly).
    const auto bestOfThree = [&](const std::string& expectedOutput) {
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            const CommandResult result = timed("convert " + ShellQuote(input) + " -o " + ShellQuote(output), seconds);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.output, expectedOutput);
            best = std::min(best, seconds);
        }
        return best;
    };
    profile_ = tempPath("small.ini");
    WriteBytes(profile_, {'[', 'L', 'u', 'm', 'o', ']', '\n'});
    const double usual = bestOfThree("");

    profile_ = tempPath("huge.ini");
    std::string huge = "[Lumo]\nJpegQuality=90\n";
    for (int i = 0; huge.size() < 29u << 20; ++i) huge += "OldFile" + std::to_string(i) + "=/home/user/pictures/x.bmp\n";
    WriteBytes(profile_, std::vector<uint8_t>(huge.begin(), huge.end()));
    EXPECT_LT(bestOfThree("lumo: The profile " + profile_ + " is larger than 1 MiB: default settings are used\n"),
              usual + 0.15);
}

TEST_F(CliTest, ShowsAProgressLineOnATerminal) {
    if (!HaveTool("script")) GTEST_SKIP() << "no script(1) to make a terminal";
    const std::string input = sample(ImageKind::GRAY256, 64, 64, "in.bmp");
    const std::string command = "LUMO_PROFILE=" + ShellQuote(profile_) + " " + BuiltProgram("lumo") + " convert " +
                                input + " -o " + tempPath("out.bmp");
    const CommandResult result = RunCommand("script -qec " + ShellQuote(command) + " /dev/null");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("[1/1] " + input + " 100%"), std::string::npos) << result.output;
    // Not on a terminal: nothing on standard error.
    EXPECT_EQ(lumo("convert " + ShellQuote(input) + " -o " + ShellQuote(tempPath("out2.bmp")), true).output, "");
}

// Contact sheets from the command line: the same files whatever the number of worker processes, and
// the same as the engine writes for the viewer.
TEST_F(CliTest, MosaicSheetsAreTheSameForAnyNumberOfWorkers) {
    std::string files;
    std::vector<std::string> paths;
    for (int i = 0; i < 70; ++i) {
        const char* extension = i % 3 == 0 ? ".jpg" : i % 3 == 1 ? ".gif" : ".bmp";
        const std::string name = tempPath("p") + std::to_string(100 + i) + extension;
        const ImagePtr picture = MakePatternImage(i % 3 == 1 ? ImageKind::COLOR256 : ImageKind::RGB, 90 + i, 200 - i, i);
        if (i % 3 == 0) LumoSaveJpeg(picture.get(), name.c_str());
        else if (i % 3 == 1) LumoSaveGif(picture.get(), name.c_str());
        else SaveBmp(picture.get(), name.c_str());
        paths.push_back(name);
        files.append(" ").append(ShellQuote(name));
    }
    ContactSheetRequest request;
    request.files = paths;
    request.outputFolder = tempPath("engine");
    std::filesystem::create_directory(request.outputFolder);
    ASSERT_EQ(BuildContactSheets(request).sheets.size(), 2u);

    for (int jobs : {1, 2, 3}) {
        const std::string out = tempPath("j" + std::to_string(jobs));
        const CommandResult result = lumo("mosaic -j " + std::to_string(jobs) + " -o " + ShellQuote(out) + files);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, out + "/-mosaic.jpg: 640x480, 64 thumbnails\n" + out +
                                     "/-mosaic2.jpg: 240x180, 6 thumbnails\n");
        for (const char* name : {"-mosaic.jpg", "-mosaic.idx", "-mosaic2.jpg", "-mosaic2.idx"})
            EXPECT_EQ(ReadBytes(out + "/" + name), ReadBytes(request.outputFolder + "/" + name)) << jobs << " " << name;
    }
    EXPECT_EQ(lumo("mosaic --sheet 700x500" + files).status, 2);
    EXPECT_EQ(lumo("mosaic --cell 128X96 -o " + ShellQuote(tempPath("big")) + files).output,
              tempPath("big") + "/-mosaic.jpg: 640x480, 25 thumbnails\n" + tempPath("big") +
                  "/-mosaic2.jpg: 640x480, 25 thumbnails\n" + tempPath("big") + "/-mosaic3.jpg: 640x480, 20 thumbnails\n");
}

TEST_F(CliTest, MosaicStopsAtADamagedFileAndKeepsTheSheetSoFar) {
    const std::string good = sample(ImageKind::RGB, 40, 30, "good.bmp");
    const std::string bad = tempPath("bad.jpg");
    WriteBytes(bad, {0xFF, 0xD8, 0xFF});
    const std::string after = sample(ImageKind::RGB, 40, 30, "after.bmp");
    for (const char* jobs : {"1", "2"}) {
        const std::string out = tempPath(std::string("out") + jobs);
        const CommandResult result =
            lumo("mosaic -j " + std::string(jobs) + " -o " + ShellQuote(out) + " " + ShellQuote(good) + " " +
                     ShellQuote(bad) + " " + ShellQuote(after),
                 true);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.output.find("lumo: " + bad + ": "), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("(module LoadJpeg)\nlumo: stopped after 1 of 3 files\n"), std::string::npos)
            << result.output;
        EXPECT_NE(result.output.find(out + "/-mosaic.jpg: 160x120, 1 thumbnails\n"), std::string::npos) << result.output;
        const std::vector<uint8_t> index = ReadBytes(out + "/-mosaic.idx");
        EXPECT_EQ(std::string(index.begin(), index.end()), "*IDX index table\n../good.bmp    20   15   60   45\n");
    }
}

// lumo info lists a sheet's cells from its own table, marking pictures changed or gone since; --update
// remakes the changed cell, and a sheet of several is refused.
TEST_F(CliTest, InfoListsASheetsCellsAndUpdateBringsItUpToDate) {
    const std::string folder = tempPath("pics");
    std::filesystem::create_directory(folder);
    std::string files;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        SaveBmp(MakePatternImage(ImageKind::RGB, 80, 60, name[0]).get(), (folder + "/" + name).c_str());
        files += " " + ShellQuote(folder + "/" + name);
    }
    ASSERT_EQ(lumo("mosaic -o " + ShellQuote(folder) + files).status, 0);
    const std::string sheet = folder + "/-mosaic.jpg";
    SaveBmp(MakePatternImage(ImageKind::RGB, 80, 60, 9).get(), (folder + "/b.bmp").c_str());
    std::filesystem::rename(folder + "/c.bmp", folder + "/c.bak");

    CommandResult info = lumo("info " + ShellQuote(sheet));
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.output, sheet + ": 160x120 RGB\n  contact sheet 1, 3 cells of 80x60\n"
                                   "  cell 1: 0,0-80,60 a.bmp\n"
                                   "  cell 2: 80,0-160,60 b.bmp (changed since the sheet was made)\n"
                                   "  cell 3: 0,60-80,120 c.bmp (gone, changed since the sheet was made)\n");

    std::filesystem::rename(folder + "/c.bak", folder + "/c.bmp");
    const CommandResult update = lumo("mosaic --update " + ShellQuote(sheet));
    EXPECT_EQ(update.status, 0);
    EXPECT_EQ(update.output, "b.bmp: changed since the sheet was made\n" + sheet +
                                 ": 160x120, 3 thumbnails, 1 made again\n");
    EXPECT_EQ(lumo("info " + ShellQuote(sheet)).output.find("changed"), std::string::npos);
    EXPECT_EQ(lumo("mosaic --update " + ShellQuote(sheet)).output, sheet + ": up to date\n");

    // Pictures named after the sheet are added: a full run's layout over all four.
    SaveBmp(MakePatternImage(ImageKind::RGB, 40, 30, 4).get(), (folder + "/d.bmp").c_str());
    EXPECT_EQ(lumo("mosaic --update " + ShellQuote(sheet) + " " + ShellQuote(folder + "/d.bmp")).output,
              sheet + ": 160x120, 4 thumbnails, 4 made again (rebuilt)\n");

    const CommandResult plain = lumo("mosaic --update " + ShellQuote(folder + "/a.bmp"), true);
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.output.find("carries no cell table"), std::string::npos) << plain.output;
    EXPECT_EQ(lumo("mosaic", true).status, 2);
}

// A resumed run skips the files its log marks done whose output is still as logged, and redoes the
// ones whose output is gone or changed, logging each of those once more.
TEST_F(CliTest, ResumeSkipsDoneFilesWhoseOutputIsStillThere) {
    std::string inputs;
    for (const char* name : {"a", "b", "c", "d"}) inputs += " " + ShellQuote(sample(ImageKind::COLOR256, 17, 5, std::string(name) + ".bmp"));
    const std::string out = tempPath("out"), log = tempPath("run.jsonl");
    const std::string command = "convert" + inputs + " -o " + ShellQuote(out) + " --format png ";
    const CommandResult first = lumo(command + "--log " + ShellQuote(log), true);
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(first.output, "4 converted, 0 failed\n");
    std::filesystem::remove(out + "/b.png");
    std::vector<uint8_t> changed = ReadBytes(out + "/c.png");
    changed.push_back(0);
    WriteBytes(out + "/c.png", changed);

    const CommandResult resumed = lumo(command + "--resume " + ShellQuote(log), true);
    EXPECT_EQ(resumed.status, 0);
    EXPECT_EQ(resumed.output, "2 converted, 0 failed, 2 done before\n");
    const std::vector<uint8_t> bytes = ReadBytes(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    const auto lines = [&](const std::string& name) {
        size_t count = 0;
        for (size_t at = text.find("{\"input\":\"" + tempPath(name)); at != std::string::npos;
             at = text.find("{\"input\":\"" + tempPath(name), at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(lines("a.bmp"), 1u);
    EXPECT_EQ(lines("b.bmp"), 2u);
    EXPECT_EQ(lines("c.bmp"), 2u);
    EXPECT_EQ(ReadBytes(out + "/c.png").size() + 1, changed.size());
    EXPECT_EQ(lumo(command + "--resume " + ShellQuote(log), true).output, "0 converted, 0 failed, 4 done before\n");
}

// --verify loads each lossless output again: a byte damaged after the save fails the file with the
// reason, and the run's status says so.
TEST_F(CliTest, VerifyCatchesAnOutputDamagedAfterTheSave) {
    const std::string input = sample(ImageKind::RGB, 40, 30, "in.bmp");
    const std::string command = "convert " + ShellQuote(input) + " -o " + ShellQuote(tempPath("out")) + " --verify --format ";
    EXPECT_EQ(lumo(command + "bmp", true).status, 0);
    ::setenv("LUMO_TEST_DAMAGE_OUTPUT", "1", 1);
    const CommandResult damaged = lumo(command + "bmp", true);
    const CommandResult lossy = lumo(command + "jpg", true);  // not checked
    ::unsetenv("LUMO_TEST_DAMAGE_OUTPUT");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.output.find("in.bmp: The saved file's pixel ("), std::string::npos) << damaged.output;
    EXPECT_NE(damaged.output.find("(module VerifyOutput)"), std::string::npos) << damaged.output;
    EXPECT_FALSE(std::filesystem::exists(tempPath("out/in.bmp")));  // not left under its name
    EXPECT_EQ(lossy.status, 0) << lossy.output;
}

// A multi-page TIFF: lumo info lists the pages, --page converts the one asked for.
TEST_F(CliTest, InfoListsTheTiffPagesAndConvertTakesTheOneAsked) {
    const std::string file = tempPath("scan.tif");
    ASSERT_EQ(RunCommand("convert -size 30x20 xc:white -size 8x9 xc:black -monochrome -depth 1 " + ShellQuote(file)).status, 0);
    EXPECT_EQ(lumo("info " + ShellQuote(file)).output,
              file + ": 30x20 BW, 2 pages\n  page 1: 30x20 BW\n  page 2: 8x9 BW\n");
    const std::string out = tempPath("second.bmp");
    EXPECT_EQ(lumo("convert --page 2 " + ShellQuote(file) + " -o " + ShellQuote(out)).status, 0);
    EXPECT_EQ(lumo("info " + ShellQuote(out)).output, out + ": 8x9 BW\n");
    const CommandResult missing = lumo("convert --page 3 " + ShellQuote(file) + " -o " + ShellQuote(out), true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("has no page 3"), std::string::npos) << missing.output;
}

// Animations: lumo info counts the frames of GIF and WebP files, --frame converts the one asked for.
TEST_F(CliTest, InfoCountsTheFramesAndConvertTakesTheOneAsked) {
    const std::string gif = tempPath("anim.gif"), webp = tempPath("anim.webp"), out = tempPath("frame.bmp");
    ASSERT_EQ(RunCommand("convert -size 20x10 xc:red -size 20x10 xc:blue -size 20x10 xc:lime " + ShellQuote(gif) +
                         " && convert " + ShellQuote(gif) + " -define webp:lossless=true " + ShellQuote(webp))
                  .status,
              0);
    EXPECT_EQ(lumo("info " + ShellQuote(gif) + " " + ShellQuote(webp)).output,
              gif + ": 20x10 COLOR16, 3 frames\n" + webp + ": 20x10 RGB, 3 frames\n");
    for (const std::string& file : {gif, webp}) {
        EXPECT_EQ(lumo("convert --frame 2 " + ShellQuote(file) + " -o " + ShellQuote(out)).status, 0);
        EXPECT_EQ(PixelColour(*LumoLoadBmp(out.c_str()), 5, 5), 0x0000FFu) << file;
        const CommandResult missing = lumo("convert --frame 4 " + ShellQuote(file) + " -o " + ShellQuote(out), true);
        EXPECT_EQ(missing.status, 1);
        EXPECT_NE(missing.output.find("has no frame 4"), std::string::npos) << missing.output;
    }
}

// lumo mosaic -r: a sheet set in each folder that holds pictures (or in its mirror under -o), the
// sheets of an earlier run not taken for pictures.
TEST_F(CliTest, MosaicOverFoldersMakesASheetSetPerFolder) {
    std::filesystem::create_directories(tempDir() / "tree/a/b");
    for (const char* name : {"tree/x.bmp", "tree/a/y.bmp", "tree/a/z.bmp", "tree/a/b/w.bmp"})
        sample(ImageKind::RGB, 40, 30, name);
    const std::string tree = tempPath("tree");
    const CommandResult first = lumo("mosaic -r " + ShellQuote(tree));
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(first.output, tree + "/-mosaic.jpg: 80x60, 1 thumbnails\n" + tree + "/a/-mosaic.jpg: 160x60, 2 thumbnails\n" +
                                tree + "/a/b/-mosaic.jpg: 80x60, 1 thumbnails\n");
    EXPECT_EQ(lumo("mosaic -r " + ShellQuote(tree)).output, first.output);  // the sheets are not pictures
    const std::vector<uint8_t> index = ReadBytes(tree + "/a/-mosaic.idx");
    EXPECT_NE(std::string(index.begin(), index.end()).find("z.bmp"), std::string::npos);

    const CommandResult mirrored = lumo("mosaic -r --exclude b " + ShellQuote(tree) + " -o " + ShellQuote(tempPath("sheets")));
    EXPECT_EQ(mirrored.output, tempPath("sheets") + "/-mosaic.jpg: 80x60, 1 thumbnails\n" + tempPath("sheets") +
                                   "/a/-mosaic.jpg: 160x60, 2 thumbnails\n");
}

}  // namespace
