#include <sys/stat.h>

#include <map>

#include "formats/jpeg/jpeg_transform.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

// The segments of a JPEG file before its first scan, as (marker, contents), read independently of
// the code under test.
std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Segments(const std::vector<uint8_t>& file) {
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> segments;
    for (size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA;) {
        const size_t length = file[at + 2] << 8 | file[at + 3];
        if (at + 2 + length > file.size()) break;
        segments.emplace_back(file[at + 1], std::vector<uint8_t>(file.begin() + at + 4, file.begin() + at + 2 + length));
        at += 2 + length;
    }
    return segments;
}

// Where the k-th value of a table in the file (zigzag order) lies in the 8 x 8 block, row by row.
constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                              41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                              30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The 8-bit quantization tables a file defines, by table number, in block order; transposed, as a
// turn that swaps the sides transposes every block of coefficients and its table with it.
std::map<int, std::vector<int>> QuantizationTables(const std::vector<uint8_t>& file, bool transposed = false) {
    std::map<int, std::vector<int>> tables;
    for (const auto& [marker, contents] : Segments(file)) {
        if (marker != 0xDB) continue;
        for (size_t at = 0; at + 65 <= contents.size() && contents[at] >> 4 == 0; at += 65) {
            std::vector<int>& table = tables[contents[at] & 15];
            table.assign(64, 0);
            for (int k = 0; k < 64; ++k) {
                const int place = transposed ? kNatural[k] % 8 * 8 + kNatural[k] / 8 : kNatural[k];
                table[place] = contents[at + 1 + k];
            }
        }
    }
    return tables;
}

std::vector<uint8_t> SegmentOf(const std::vector<uint8_t>& file, uint8_t wanted) {
    for (const auto& [marker, contents] : Segments(file))
        if (marker == wanted) return contents;
    return {};
}

struct Sampling {
    const char* name;
    const char* cjpegOptions;
};
const Sampling kSamplings[] = {{"420", "-sample 2x2"}, {"444", "-sample 1x1"}, {"gray", "-grayscale"}};

struct Step {
    Orientation step;
    const char* jpegtranOptions;
};
const Step kSteps[] = {{Orientation::RotateRight, "-rotate 90"},      {Orientation::Rotate180, "-rotate 180"},
                       {Orientation::RotateLeft, "-rotate 270"},      {Orientation::FlipHorizontal, "-flip horizontal"},
                       {Orientation::FlipVertical, "-flip vertical"}, {Orientation::Transpose, "-transpose"},
                       {Orientation::Transverse, "-transverse"}};

class JpegTransformTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        if (!HaveTool("cjpeg") || !HaveTool("djpeg") || !HaveTool("jpegtran")) GTEST_SKIP() << "no libjpeg-turbo-progs";
    }
    // A JPEG made by cjpeg from a patterned picture.
    std::string makeJpeg(const std::string& name, int width, int height, const Sampling& sampling) {
        const std::string ppm = tempPath(name + ".ppm"), jpeg = tempPath(name + ".jpg");
        WritePnm(*MakePatternImage(ImageKind::RGB, width, height), ppm);
        EXPECT_EQ(RunCommand("cjpeg -quality 85 " + std::string(sampling.cjpegOptions) + " " + ShellQuote(ppm) + " > " +
                             ShellQuote(jpeg))
                      .status,
                  0);
        return jpeg;
    }
    // The pixels djpeg decodes, as a PNM file's bytes.
    std::vector<uint8_t> decoded(const std::string& jpeg) {
        const std::string pnm = jpeg + ".pnm";
        EXPECT_EQ(RunCommand("djpeg -pnm " + ShellQuote(jpeg) + " > " + ShellQuote(pnm)).status, 0);
        return ReadBytes(pnm);
    }
    std::string jpegtran(const std::string& input, const std::string& options, const std::string& name) {
        const std::string output = tempPath(name);
        EXPECT_EQ(RunCommand("jpegtran " + options + " -trim " + ShellQuote(input) + " > " + ShellQuote(output)).status, 0);
        return output;
    }
};

// Sizes that are whole MCUs in every sampling, and sizes with partial blocks on both edges.
TEST_F(JpegTransformTest, EveryStepMatchesJpegtranAndKeepsTheQuantizationTables) {
    for (const Sampling& sampling : kSamplings)
        for (auto [width, height] : {std::pair{48, 32}, {61, 45}, {17, 9}}) {
            const std::string name = std::string(sampling.name) + "-" + std::to_string(width) + "x" + std::to_string(height);
            const std::string input = makeJpeg(name, width, height, sampling);
            for (const Step& step : kSteps) {
                SCOPED_TRACE(name + " " + step.jpegtranOptions);
                warnings.clear();
                const std::string output = tempPath(name + "-ours.jpg");
                const JpegTurnSize size = LumoTurnJpegFile(input.c_str(), output.c_str(), {step.step, false, true});
                const std::string expected = jpegtran(input, step.jpegtranOptions, name + "-jpegtran.jpg");
                const std::vector<uint8_t> expectedPixels = decoded(expected);
                EXPECT_EQ(decoded(output), expectedPixels);
                const bool swaps = static_cast<int>(step.step) >= 5;
                EXPECT_EQ(QuantizationTables(ReadBytes(output)), QuantizationTables(ReadBytes(input), swaps));
                EXPECT_FALSE(QuantizationTables(ReadBytes(output)).empty());

                const PnmPicture picture = ParsePnm(expectedPixels);
                EXPECT_EQ(size.width, picture.width);
                EXPECT_EQ(size.height, picture.height);
                EXPECT_EQ(size.untrimmedWidth, swaps ? height : width);
                EXPECT_EQ(size.untrimmedHeight, swaps ? width : height);
                EXPECT_EQ(warnings.size(), size.trimmed() ? 1u : 0u);
                if (width == 48) {
                    EXPECT_FALSE(size.trimmed());
                }
            }
        }
}

TEST_F(JpegTransformTest, ATrimIsWarnedWithBothSizes) {
    const std::string input = makeJpeg("odd", 61, 45, kSamplings[0]);
    const std::string output = tempPath("turned.jpg");
    const JpegTurnSize size = LumoTurnJpegFile(input.c_str(), output.c_str(), {Orientation::RotateRight, false, true});
    EXPECT_EQ(size.width, 32);  // the 45 rows hold two whole 16-row MCUs; the partial one would move to the left
    EXPECT_EQ(size.height, 61);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].module, "TurnJpeg");
    EXPECT_EQ(warnings[0].text,
              output + ": the edge blocks that cannot turn exactly were trimmed: 32x61 instead of 45x61");
}

TEST_F(JpegTransformTest, AFileTurnedOntoItselfIsReplacedWhole) {
    const std::string input = makeJpeg("self", 48, 32, kSamplings[1]);
    const std::string expected = jpegtran(input, "-rotate 270", "expected.jpg");
    LumoTurnJpegFile(input.c_str(), input.c_str(), {Orientation::RotateLeft, false, true});
    EXPECT_EQ(decoded(input), decoded(expected));
}

// Damaged data fails with TurboJPEG's reason, and the existing target keeps its bytes.
TEST_F(JpegTransformTest, TruncatedAndForeignDataFailAndKeepTheTarget) {
    const std::string input = makeJpeg("whole", 200, 120, kSamplings[0]);
    const std::vector<uint8_t> whole = ReadBytes(input);
    const std::string truncated = tempPath("truncated.jpg"), foreign = tempPath("foreign.jpg");
    WriteBytes(truncated, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
    WriteBytes(foreign, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
    const std::string target = tempPath("target.jpg");
    const std::vector<uint8_t> kept = {1, 2, 3};
    WriteBytes(target, kept);
    const auto fileCount = [&] {
        return std::distance(std::filesystem::directory_iterator(tempDir()), std::filesystem::directory_iterator());
    };
    const long files = fileCount();

    EXPECT_LUMO_ERROR(LumoTurnJpegFile(truncated.c_str(), target.c_str(), {Orientation::RotateRight, true, true}),
                      "TurnJpeg", "Premature end of JPEG file (while turning " + truncated + ")");
    EXPECT_LUMO_ERROR(LumoTurnJpegFile(foreign.c_str(), target.c_str(), {Orientation::RotateRight, true, true}),
                      "TurnJpeg", "Not a JPEG file: starts with 0x47 0x49 (while turning " + foreign + ")");
    EXPECT_EQ(ReadBytes(target), kept);
    EXPECT_EQ(fileCount(), files);  // no temporary file left behind
}

// Every cut and every flipped byte gives a turned file or a clean error, never a crash.
TEST_F(JpegTransformTest, CutAndFlippedFilesGiveAFileOrAnError) {
    const std::vector<uint8_t> whole = ReadBytes(makeJpeg("small", 17, 9, kSamplings[0]));
    const auto turn = [](const std::vector<uint8_t>& bytes) {
        try {
            const TurnedJpeg turned = TurnJpegBytes(bytes, "damaged.jpg", {Orientation::Transverse, true, true});
            EXPECT_FALSE(turned.bytes.empty());
        } catch (const LumoFailure& failure) {
            EXPECT_EQ(failure.module(), "TurnJpeg");
        }
    };
    for (size_t length = 0; length < whole.size(); ++length)
        turn(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)));
    for (size_t at = 0; at < whole.size(); ++at) {
        std::vector<uint8_t> flipped = whole;
        flipped[at] ^= 0x5A;
        turn(flipped);
    }
}

// A header promising far more picture than its bytes could hold is refused before TurboJPEG
// allocates its coefficients.
TEST_F(JpegTransformTest, AHugeHeaderOnFewBytesIsRefused) {
    std::vector<uint8_t> file = ReadBytes(makeJpeg("small", 16, 16, kSamplings[2]));
    // The SOF0 segment: FF C0, length, precision, height, width.
    for (size_t at = 2; at + 9 < file.size(); ++at)
        if (file[at] == 0xFF && file[at + 1] == 0xC0) {
            file[at + 5] = file[at + 7] = 0x7F;  // 32767 x 32767
            file[at + 6] = file[at + 8] = 0xFF;
            break;
        }
    try {
        TurnJpegBytes(file, "huge.jpg", {Orientation::RotateRight, true, true});
        ADD_FAILURE() << "no error";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), "TurnJpeg");
        EXPECT_NE(std::string(failure.text()).find("huge.jpg: the header asks for"), std::string::npos) << failure.text();
    }
}

// The photographs: Exif, an ICC profile and a comment written by Pillow, read back by exiftool.
class LosslessCliTest : public JpegTransformTest {
protected:
    void SetUp() override {
        JpegTransformTest::SetUp();
        if (IsSkipped()) return;
        python_ = PillowPython();
        if (python_.empty() || !HaveTool("exiftool")) GTEST_SKIP() << "no Pillow or exiftool";
        profile_ = tempPath("WIN.INI");
        photo_ = tempPath("photo.jpg");
        const std::string script =
            "import sys\n"
            "from PIL import Image, ImageCms\n"
            "im = Image.radial_gradient('L').resize((61, 45)).convert('RGB')\n"
            "im.paste((200, 30, 40), (0, 0, 20, 10))\n"
            "exif = Image.Exif()\n"
            "exif[0x010F] = 'Maker'; exif[0x0110] = 'Model 7'; exif[0x0112] = 6\n"
            "exif[0x8769] = {0x9003: '2024:05:06 07:08:09', 0xA002: 61, 0xA003: 45}\n"
            "icc = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()\n"
            "im.save(sys.argv[1], quality=90, subsampling=2, exif=exif, icc_profile=icc, comment=b'kept comment')\n";
        ASSERT_EQ(RunCommand(python_ + " -c " + ShellQuote(script) + " " + ShellQuote(photo_)).status, 0);
    }
    CommandResult lumo(const std::string& arguments) {
        return RunCommand("LUMO_PROFILE=" + ShellQuote(profile_) + " " + ShellQuote(BuiltProgram("lumo")) + " " +
                          arguments + " 2>&1");
    }
    std::string exif(const std::string& file) {
        return RunCommand("exiftool -s -s -s -n -Make -Model -DateTimeOriginal -Orientation -ExifImageWidth "
                          "-ExifImageHeight -Comment " +
                          ShellQuote(file))
            .output;
    }
    std::string python_, profile_, photo_;
};

// Orientation 6 is shown turned right; turning that a further quarter is a half turn of the file,
// and the result is upright as stored.
TEST_F(LosslessCliTest, TheExifTurnComesFirstAndTheTagBecomesUpright) {
    const std::string output = tempPath("out.jpg");
    const CommandResult result = lumo("convert --rotate 90 --lossless " + ShellQuote(photo_) + " -o " + ShellQuote(output));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("trimmed: 48x32 instead of 61x45"), std::string::npos) << result.output;
    EXPECT_EQ(decoded(output), decoded(jpegtran(photo_, "-rotate 180", "half.jpg")));
    EXPECT_EQ(exif(output), "Maker\nModel 7\n2024:05:06 07:08:09\n1\n48\n32\nkept comment\n");
    const std::vector<uint8_t> in = ReadBytes(photo_), out = ReadBytes(output);
    EXPECT_FALSE(SegmentOf(in, 0xE2).empty());
    EXPECT_EQ(SegmentOf(out, 0xE2), SegmentOf(in, 0xE2));  // the ICC profile, byte for byte
    EXPECT_EQ(QuantizationTables(out), QuantizationTables(in));  // a half turn transposes nothing
    EXPECT_EQ(SegmentOf(out, 0xE1).size(), SegmentOf(in, 0xE1).size());
}

TEST_F(LosslessCliTest, WithoutAutoRotateOnlyTheTurnIsAppliedAndTheTagStays) {
    const std::string output = tempPath("out.jpg");
    const CommandResult result = lumo("convert --set AutoRotate=0 --rotate 90 --flip h --lossless " +
                                      ShellQuote(photo_) + " -o " + ShellQuote(output));
    EXPECT_EQ(result.status, 0) << result.output;
    // A quarter turn right, then a mirror: the transpose.
    EXPECT_EQ(decoded(output), decoded(jpegtran(photo_, "-transpose", "transposed.jpg")));
    EXPECT_EQ(exif(output), "Maker\nModel 7\n2024:05:06 07:08:09\n6\n45\n61\nkept comment\n");
}

TEST_F(LosslessCliTest, StripWritesNoMarkersAndNoTurnCopiesUpright) {
    const std::string stripped = tempPath("stripped.jpg"), copied = tempPath("copied.jpg");
    EXPECT_EQ(lumo("convert --strip --lossless " + ShellQuote(photo_) + " -o " + ShellQuote(stripped)).status, 0);
    for (const auto& [marker, contents] : Segments(ReadBytes(stripped)))
        EXPECT_FALSE(marker == 0xFE || (marker >= 0xE1 && marker <= 0xEF)) << std::hex << int(marker);
    EXPECT_EQ(lumo("convert --lossless " + ShellQuote(photo_) + " -o " + ShellQuote(copied)).status, 0);
    EXPECT_EQ(decoded(copied), decoded(jpegtran(photo_, "-rotate 90", "upright.jpg")));
    EXPECT_EQ(decoded(stripped), decoded(copied));
}

TEST_F(LosslessCliTest, BatchesTurnEveryJpegIntoTheFolder) {
    const std::string second = tempPath("second.jpg"), folder = tempPath("out");
    WriteBytes(second, ReadBytes(makeJpeg("plain", 48, 32, kSamplings[1])));
    const CommandResult result = lumo("convert --set AutoRotate=0 --flip v --lossless " + ShellQuote(photo_) + " " +
                                      ShellQuote(second) + " -o " + ShellQuote(folder));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(decoded(folder + "/photo.jpg"), decoded(jpegtran(photo_, "-flip vertical", "p.jpg")));
    EXPECT_EQ(decoded(folder + "/second.jpg"), decoded(jpegtran(second, "-flip vertical", "s.jpg")));
}

// Each refused request exits 2 and writes nothing.
TEST_F(LosslessCliTest, UsageErrorsWriteNothing) {
    const std::string png = tempPath("picture.jpg");  // a PNG under a JPEG name: the signature decides
    ASSERT_EQ(RunCommand(python_ + " -c \"from PIL import Image; Image.new('RGB', (4, 4)).save('" + png + "', 'PNG')\"")
                  .status,
              0);
    const std::string out = tempPath("never.jpg"), folder = tempPath("never");
    const std::string in = ShellQuote(photo_);
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"--lossless --rotate 90 " + ShellQuote(png) + " -o " + ShellQuote(out), "is not one"},
        {"--lossless --rotate 90 " + in + " " + ShellQuote(png) + " -o " + ShellQuote(folder), "is not one"},
        {"--lossless --rescale 10x10 " + in + " -o " + ShellQuote(out), "not with --rescale"},
        {"--lossless --resize 50% " + in + " -o " + ShellQuote(out), "not with --rescale"},
        {"--lossless --to gray256 " + in + " -o " + ShellQuote(out), "not with --rescale"},
        {"--lossless --to-srgb " + in + " -o " + ShellQuote(out), "not with --rescale"},
        {"--lossless " + in + " -o " + ShellQuote(tempPath("never.png")), "JPEG files only"},
        {"--lossless --format png " + in + " -o " + ShellQuote(folder), "JPEG files only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult result = lumo("convert " + c.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(std::filesystem::exists(tempPath("never.png")));
}

}  // namespace
