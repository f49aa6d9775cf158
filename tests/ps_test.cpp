#include "formats/ps/ps.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "formats/tiff/tiff.h"
#include "platform/replace_file.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

namespace fs = std::filesystem;

class PSTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        savedPredictor_ = LumoGetIntOptionTiff("predictor");
        savedRowsPerStrip_ = LumoGetIntOptionTiff("rowsperstrip");
        savedCompression_ = LumoGetIntOptionTiff("compression");
        savedDirectory_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(savedDirectory_);
        ReplacementFile::UseNamedTemporaries(false);
        LumoSetIntOptionPS("eps", 1);
        LumoSetIntOptionPS("level2", 0);
        LumoSetFloatOptionPS("pw", 0);
        LumoSetFloatOptionPS("ph", 0);
        LumoSetIntOptionTiff("predictor", savedPredictor_);
        LumoSetIntOptionTiff("rowsperstrip", savedRowsPerStrip_);
        LumoSetIntOptionTiff("compression", savedCompression_);
        LumoTest::TearDown();
    }
    void SkipWithoutGhostscript() {
        if (!HaveTool("gs")) GTEST_SKIP() << "Ghostscript (gs) is not installed";
    }

private:
    int savedPredictor_ = 0, savedRowsPerStrip_ = 0, savedCompression_ = 0;
    fs::path savedDirectory_;
};

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
    const std::vector<std::string> lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// The hexadecimal lines of a Level 1 body: after the drawing operator, up to the page end.
std::vector<std::string> HexLinesOf(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    auto first = std::find_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l == "image" || l == "false 3 colorimage"; });
    if (first == lines.end()) return {};
    return {first + 1, std::find(first + 1, lines.end(), std::string("end"))};
}

// A picture Ghostscript wrote: its PGM/PPM header carries a comment line, which goes before parsing.
PnmPicture ReadRendering(const std::string& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() > 3 && bytes[3] == '#') {
        const auto end = std::find(bytes.begin() + 3, bytes.end(), uint8_t{'\n'});
        if (end != bytes.end()) bytes.erase(bytes.begin() + 3, end + 1);
    }
    return ParsePnm(bytes);
}

struct Rendering {
    PnmPicture picture;
    std::string leftOver;  // the operand count and the extra dictionaries the page left, one per line
};

// Renders the file with Ghostscript: an EPS cropped to its bounding box, anything else on a page of
// the given size in points. prelude runs first (it can take operators away).
// Always in colour: Ghostscript's gray device drops the lowest bit of some levels, its colour device
// draws every gray level exactly.
Rendering Render(const std::string& file, bool eps, int widthPoints, int heightPoints,
                 const std::string& resolution = "72", const std::string& prelude = "") {
    const std::string output = file + ".ppm";
    std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r" + resolution +
                          " -sOutputFile=" + ShellQuote(output);
    if (eps)
        command += " -dEPSCrop";
    else
        command += " -dFIXEDMEDIA -dDEVICEWIDTHPOINTS=" + std::to_string(widthPoints) +
                   " -dDEVICEHEIGHTPOINTS=" + std::to_string(heightPoints);
    command += " -c " + ShellQuote(prelude + " /lumoDicts countdictstack def") + " -f " + ShellQuote(file) +
               " -c " + ShellQuote("count = countdictstack lumoDicts sub =") + " 2>&1";
    const CommandResult result = RunCommand(command);
    EXPECT_EQ(result.status, 0) << result.output;
    return {ReadRendering(output), result.output};
}

// A gray picture as red, green, blue samples.
PnmPicture AsColour(const PnmPicture& picture) {
    if (picture.channels != 1) return picture;
    PnmPicture colour{picture.width, picture.height, 3, {}};
    for (const uint8_t level : picture.samples) colour.samples.insert(colour.samples.end(), {level, level, level});
    return colour;
}

// The picture the image should render as, in red, green, blue.
PnmPicture Expected(const IMG& image) { return AsColour(PnmOf(image)); }

// Where two pictures first differ, for a readable failure.
::testing::AssertionResult SamePicture(const PnmPicture& expected, const PnmPicture& actual) {
    if (actual.width != expected.width || actual.height != expected.height || actual.channels != expected.channels)
        return ::testing::AssertionFailure() << "rendered " << actual.width << "x" << actual.height << "x"
                                             << actual.channels << ", expected " << expected.width << "x"
                                             << expected.height << "x" << expected.channels;
    for (size_t i = 0; i < expected.samples.size(); ++i)
        if (expected.samples[i] != actual.samples[i]) {
            const size_t pixel = i / static_cast<size_t>(expected.channels);
            return ::testing::AssertionFailure()
                   << "sample " << int(actual.samples[i]) << " instead of " << int(expected.samples[i]) << " at ("
                   << pixel % static_cast<size_t>(expected.width) << ", "
                   << pixel / static_cast<size_t>(expected.width) << ")";
        }
    return ::testing::AssertionSuccess();
}

bool IsGrayKind(ImageKind kind) {
    return kind == ImageKind::BW || kind == ImageKind::GRAY16 || kind == ImageKind::GRAY256;
}

// ---- Every kind drawn back by Ghostscript, Level 1 and Level 2, EPS and plain ----

using RenderCase = std::tuple<ImageKind, bool /*level2*/, bool /*eps*/>;

class PSRenderTest : public PSTest, public ::testing::WithParamInterface<RenderCase> {};

// 37 pixels: rows end inside a byte (BW, GRAY16, odd 4-bit palette width) and wrap across lines.
TEST_P(PSRenderTest, DrawsThePixelsAndLeavesTheStacksAsFound) {
    SkipWithoutGhostscript();
    const auto [kind, level2, eps] = GetParam();
    const ImagePtr image = MakePatternImage(kind, 37, 5, 3);
    LumoSetIntOptionPS("level2", level2);
    LumoSetIntOptionPS("eps", eps);
    const std::string path = tempPath("picture.ps");
    LumoSavePS(image.get(), path.c_str());

    const std::string text = ReadText(path);
    const bool compressed = level2 && IsGrayKind(kind);
    EXPECT_EQ(text.find("/CCITTFaxDecode filter") != std::string::npos, compressed && kind == ImageKind::BW);
    EXPECT_EQ(text.find("/LZWDecode filter") != std::string::npos, compressed && kind != ImageKind::BW);

    const Rendering rendering = Render(path, eps, 37, 5);
    EXPECT_TRUE(SamePicture(Expected(*image), rendering.picture));
    EXPECT_EQ(rendering.leftOver, "0\n0\n");
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, PSRenderTest,
    ::testing::Combine(::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                         ImageKind::COLOR256, ImageKind::RGB),
                       ::testing::Bool(), ::testing::Bool()),
    [](const ::testing::TestParamInfo<RenderCase>& info) {
        return std::string(KindName(std::get<0>(info.param))) + (std::get<1>(info.param) ? "_Level2" : "_Level1") +
               (std::get<2>(info.param) ? "_EPS" : "_Plain");
    });

TEST_F(PSTest, AnImageAtItsResolutionFillsItsBoundingBox) {
    SkipWithoutGhostscript();
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 50, 25, 5);
    image->xResolution = 150;
    image->yResolution = 100;
    const std::string path = tempPath("dpi.ps");
    LumoSavePS(image.get(), path.c_str());
    EXPECT_TRUE(HasLine(ReadText(path), "%%BoundingBox: 0 0 24 18"));
    EXPECT_TRUE(SamePicture(Expected(*image), Render(path, true, 0, 0, "150x100").picture));
}

// Without colorimage the prologue draws colour images as gray: (red + green + blue) / 3.
TEST_F(PSTest, ColourImagesFallBackToGrayWithoutColorimage) {
    SkipWithoutGhostscript();
    const std::string hide = "/where { dup /colorimage eq { pop false } { systemdict /where get exec } ifelse } def";
    for (const ImageKind kind : {ImageKind::RGB, ImageKind::COLOR16}) {
        SCOPED_TRACE(KindName(kind));
        const ImagePtr image = MakePatternImage(kind, 13, 4, 9);
        const std::string path = tempPath("fallback.ps");
        LumoSavePS(image.get(), path.c_str());
        const PnmPicture colour = Expected(*image);
        PnmPicture gray{colour.width, colour.height, 1, {}};
        for (size_t i = 0; i < colour.samples.size(); i += 3) {
            const int sum = colour.samples[i] + colour.samples[i + 1] + colour.samples[i + 2];
            gray.samples.push_back(static_cast<uint8_t>(sum / 3));
        }
        const Rendering rendering = Render(path, true, 0, 0, "72", hide);
        EXPECT_TRUE(SamePicture(AsColour(gray), rendering.picture));
        EXPECT_EQ(rendering.leftOver, "0\n0\n");
    }
}

// ---- Header, bounding box and scale ----

struct GeometryCase {
    const char* name;
    int width, height;
    float xResolution, yResolution;
    float pw, ph;
    const char* boundingBox;
    const char* scale;
};

class PSGeometryTest : public PSTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(PSGeometryTest, BoundingBoxAndScale) {
    const GeometryCase& c = GetParam();
    const ImagePtr image = MakePatternImage(ImageKind::BW, c.width, c.height);
    image->xResolution = c.xResolution;
    image->yResolution = c.yResolution;
    LumoSetFloatOptionPS("pw", c.pw);
    LumoSetFloatOptionPS("ph", c.ph);
    const std::string path = tempPath("geometry.ps");
    LumoSavePS(image.get(), path.c_str());
    const std::string text = ReadText(path);
    EXPECT_TRUE(HasLine(text, std::string("%%BoundingBox: ") + c.boundingBox)) << text.substr(0, 300);
    EXPECT_TRUE(HasLine(text, std::string(c.scale) + " scale")) << text.substr(0, 300);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PSGeometryTest,
    ::testing::Values(
        GeometryCase{"UnstatedResolutionIs72Dpi", 300, 200, 0, 0, 0, 0, "0 0 300 200", "300.000000 200.000000"},
        GeometryCase{"At150Dpi", 300, 200, 150, 150, 0, 0, "0 0 144 96", "144.000000 96.000000"},
        GeometryCase{"WholePointsStayWhole", 100, 100, 300, 300, 0, 0, "0 0 24 24", "24.000000 24.000000"},
        GeometryCase{"FractionRoundsUp", 101, 100, 300, 300, 0, 0, "0 0 25 24", "24.240000 24.000000"},
        GeometryCase{"PrintedSizeScalesOnly", 300, 200, 150, 150, 2, 3, "0 0 144 96", "144.000000 216.000000"},
        GeometryCase{"PrintedWidthAloneIsIgnored", 300, 200, 150, 150, 2, 0, "0 0 144 96", "144.000000 96.000000"},
        GeometryCase{"NegativeResolutionIs72Dpi", 30, 20, -150, 0, 0, 0, "0 0 30 20", "30.000000 20.000000"}),
    [](const ::testing::TestParamInfo<GeometryCase>& info) { return std::string(info.param.name); });

TEST_F(PSTest, SingleImageFileLayout) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 3, 2);
    const std::string path = tempPath("one.ps");
    LumoSavePS(image.get(), path.c_str());
    const std::vector<std::string> lines = Lines(ReadText(path));
    ASSERT_GE(lines.size(), 14u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-3.0 EPSF-3.0");
    EXPECT_EQ(lines[1], "%%Creator: lumo");
    EXPECT_EQ(lines[2], "%%Title: " + path);
    EXPECT_TRUE(std::regex_match(lines[3], std::regex("%%CreationDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                                                      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                      "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
        << lines[3];
    const std::vector<std::string> rest(lines.begin() + 4, lines.begin() + 14);
    EXPECT_EQ(rest, (std::vector<std::string>{"%%Origin: 0 0", "%%BoundingBox: 0 0 3 2", "%%Pages: (atend)",
                                              "%%EndComments", "%%Page: 1 1", "gsave", "100 dict begin",
                                              "3.000000 2.000000 scale", "%%ImageData: 3 2 8 1 0 1 2 \"image\"",
                                              "/scanLine 3 string def"}));
    const std::vector<std::string> tail(lines.end() - 6, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"end", "grestore", "showpage", "%%Trailer", "%%Pages: 1", "%%EOF"}));

    LumoSetIntOptionPS("eps", 0);
    LumoSavePS(image.get(), path.c_str());
    EXPECT_EQ(Lines(ReadText(path))[0], "%!PS-Adobe-3.0");
}

// A file name cannot end the Title comment and slip PostScript into the file.
TEST_F(PSTest, LineEndsInTheTitleAreMasked) {
    const ImagePtr image = MakePatternImage(ImageKind::BW, 8, 1);
    const std::string path = tempPath("a\nshowpage\rb.ps");
    LumoSavePS(image.get(), path.c_str());
    const std::string text = ReadText(path);
    EXPECT_TRUE(HasLine(text, "%%Title: " + tempPath("a?showpage?b.ps")));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 0);
}

// ---- Hexadecimal lines ----

struct HexCase {
    const char* name;
    ImageKind kind;
    int width, height;
    std::vector<size_t> lineLengths;
};

class PSHexTest : public PSTest, public ::testing::WithParamInterface<HexCase> {};

TEST_P(PSHexTest, LinesHoldWholeUnitsUpTo35Bytes) {
    const HexCase& c = GetParam();
    const ImagePtr image = MakePatternImage(c.kind, c.width, c.height);
    const std::string path = tempPath("hex.ps");
    LumoSavePS(image.get(), path.c_str());
    const std::vector<std::string> hex = HexLinesOf(ReadText(path));
    std::vector<size_t> lengths;
    for (const std::string& line : hex) {
        lengths.push_back(line.size());
        EXPECT_EQ(line.find_first_not_of("0123456789abcdef"), std::string::npos) << line;
    }
    EXPECT_EQ(lengths, c.lineLengths);
}

INSTANTIATE_TEST_SUITE_P(
    Units, PSHexTest,
    ::testing::Values(HexCase{"GrayRowOf35BytesIsOneLine", ImageKind::GRAY256, 35, 2, {70, 70}},
                      HexCase{"GrayRowOf36BytesRunsOn", ImageKind::GRAY256, 36, 2, {70, 70, 4}},
                      HexCase{"BilevelRowsRunOn", ImageKind::BW, 100, 3, {70, 8}},
                      HexCase{"RgbElevenPixelsPerLine", ImageKind::RGB, 12, 1, {66, 6}},
                      HexCase{"Palette256ElevenPixelsPerLine", ImageKind::COLOR256, 12, 1, {66, 6}},
                      HexCase{"Palette16FiveBytesPerLine", ImageKind::COLOR16, 12, 1, {60, 12}},
                      HexCase{"Palette16OddWidthSendsNoFiller", ImageKind::COLOR16, 11, 2, {66, 66}}),
    [](const ::testing::TestParamInfo<HexCase>& info) { return std::string(info.param.name); });

TEST_F(PSTest, RgbPixelsGoOutAsRedGreenBlue) {
    ImagePtr image = MakePatternImage(ImageKind::RGB, 2, 1);
    SetPixel(*image, 0, 0, 0xFF0000);
    SetPixel(*image, 1, 0, 0x123456);
    const std::string path = tempPath("red.ps");
    LumoSavePS(image.get(), path.c_str());
    EXPECT_EQ(HexLinesOf(ReadText(path)), std::vector<std::string>{"ff0000123456"});
}

TEST_F(PSTest, ColourPrologueIsSentAsStored) {
    const ImagePtr image = MakePatternImage(ImageKind::COLOR256, 2, 2);
    const std::string path = tempPath("prologue.ps");
    LumoSavePS(image.get(), path.c_str());
    const std::string text = ReadText(path);
    const size_t start = text.find("/bwproc {\n");
    const size_t end = text.find("} ifelse\n%%ImageData");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string prologue = text.substr(start, end + 9 - start);
    EXPECT_EQ(prologue.size(), 367u);
    const std::vector<std::string> lines = Lines(prologue);
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[4], "\tadd 2 1 roll 1 sub dup 0 eq {");
    EXPECT_EQ(lines[5], "\t    pop 3 idiv");
    EXPECT_EQ(lines[11], "\t} { 2 1 roll } ifelse");
    EXPECT_EQ(lines[16], "    /colorimage {pop pop /rgbproc exch def {bwproc} image} bind def");
}

// ---- Documents ----

// A document is never declared EPS: it has no bounding box and may hold several pages.
TEST_F(PSTest, EmptyDocumentHasNoPages) {
    const std::string path = tempPath("empty.ps");
    LumoClosePS(LumoOpenPS(path.c_str()));
    const std::string text = ReadText(path);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-3.0");
    EXPECT_EQ(lines[2], "%%Title: " + path);
    EXPECT_EQ(text.find("BoundingBox"), std::string::npos);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"%%Origin: 0 0", "%%Pages: (atend)", "%%EndComments", "%%Trailer",
                                        "%%Pages: 0", "%%EOF"}));
}

TEST_F(PSTest, DocumentPagesAreNumberedAndDrawn) {
    LumoSetIntOptionPS("level2", 1);
    const ImageKind kinds[] = {ImageKind::COLOR16, ImageKind::RGB, ImageKind::COLOR256};
    std::vector<ImagePtr> images;
    const std::string path = tempPath("pages.ps");
    PSDocumentPtr document = LumoOpenPS(path.c_str());
    for (const ImageKind kind : kinds) {
        images.push_back(MakePatternImage(kind, 17, 6, static_cast<unsigned>(images.size() + 2)));
        LumoAddPagePS(images.back().get(), *document);
    }
    LumoClosePS(std::move(document));

    const std::string text = ReadText(path);
    for (const char* line : {"%%Page: 1 1", "%%Page: 2 2", "%%Page: 3 3", "%%Pages: 3"})
        EXPECT_TRUE(HasLine(text, line)) << line;
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("%%PageBoundingBox: 0 0 17 6")), 3);

    if (!HaveTool("gs")) GTEST_SKIP() << "Ghostscript (gs) is not installed";
    const std::string pattern = tempPath("page%d.ppm");
    const CommandResult result = RunCommand(
        "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -dFIXEDMEDIA -dDEVICEWIDTHPOINTS=17 "
        "-dDEVICEHEIGHTPOINTS=6 -sOutputFile=" + ShellQuote(pattern) + " " + ShellQuote(path) + " 2>&1");
    ASSERT_EQ(result.status, 0) << result.output;
    for (size_t page = 0; page < images.size(); ++page)
        EXPECT_TRUE(SamePicture(Expected(*images[page]),
                                ReadRendering(tempPath("page" + std::to_string(page + 1) + ".ppm"))))
            << "page " << page + 1;
    EXPECT_FALSE(fs::exists(tempPath("page4.ppm")));
}

// ---- Failures and what they leave behind ----

TEST_F(PSTest, AbandonedDocumentLeavesTheTargetAsItWas) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY16, 9, 4);
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
        ReplacementFile::UseNamedTemporaries(named);
        const fs::path folder = tempDir() / (named ? "named" : "unnamed");
        fs::create_directory(folder);
        const std::string path = (folder / "old.ps").string();
        WriteBytes(path, {'o', 'l', 'd'});
        {
            PSDocumentPtr document = LumoOpenPS(path.c_str());
            LumoAddPagePS(image.get(), *document);
        }  // dropped without LumoClosePS, as an operation that failed half-way drops it
        EXPECT_EQ(ReadText(path), "old");
        EXPECT_EQ(Entries(folder), std::set<std::string>{"old.ps"});
    }
}

TEST_F(PSTest, OutputThatCannotBeCreatedIsReported) {
    const ImagePtr image = MakePatternImage(ImageKind::BW, 8, 8);
    const std::string path = tempPath("no-such-folder/out.ps");
    EXPECT_LUMO_ERROR(LumoSavePS(image.get(), path.c_str()), "OpenPSMono", "Can't open file " + path + ": No such file or directory");
    EXPECT_LUMO_ERROR(LumoOpenPS(path.c_str()), "LumoOpenPS", "Can't open file " + path + ": No such file or directory");
}

// The embedded TIFF lives in memory: neither the working folder nor the target's folder gets a
// temporary. The TIFF options the PostScript writer changes for it come back as they were, and a
// predictor asked for TIFF files does not reach the LZW data (LZWDecode would not undo it).
TEST_F(PSTest, Level2LeavesNoFilesAndRestoresTheTiffOptions) {
    const fs::path work = tempDir() / "work", out = tempDir() / "out";
    fs::create_directory(work);
    fs::create_directory(out);
    fs::current_path(work);
    ReplacementFile::UseNamedTemporaries(true);
    LumoSetIntOptionTiff("predictor", 1);
    LumoSetIntOptionTiff("rowsperstrip", 3);
    LumoSetIntOptionPS("level2", 1);
    const ImagePtr bw = MakePatternImage(ImageKind::BW, 40, 9, 4);
    const ImagePtr gray = MakePatternImage(ImageKind::GRAY256, 40, 9, 4);
    LumoSavePS(bw.get(), (out / "bw.ps").c_str());
    LumoSavePS(gray.get(), (out / "gray.ps").c_str());

    EXPECT_TRUE(Entries(work).empty());
    EXPECT_EQ(Entries(out), (std::set<std::string>{"bw.ps", "gray.ps"}));
    EXPECT_EQ(LumoGetIntOptionTiff("predictor"), 1);
    EXPECT_EQ(LumoGetIntOptionTiff("rowsperstrip"), 3);
    EXPECT_EQ(LumoGetIntOptionTiff("compression"), 5);  // the gray file's, as the last save set it

    if (!HaveTool("gs")) GTEST_SKIP() << "Ghostscript (gs) is not installed";
    EXPECT_TRUE(SamePicture(Expected(*gray), Render((out / "gray.ps").string(), true, 0, 0).picture));
}

// A TIFF save that fails (here: stopped from the progress hook while it writes rows) ends the
// PostScript save: the existing file stays, no temporary is left, and the TIFF options come back.
TEST_F(PSTest, FailedLevel2SaveLeavesTheTargetAndTheTiffOptions) {
    const fs::path work = tempDir() / "work", out = tempDir() / "out";
    fs::create_directory(work);
    fs::create_directory(out);
    fs::current_path(work);
    ReplacementFile::UseNamedTemporaries(true);
    const std::string path = (out / "old.ps").string();
    WriteBytes(path, {'o', 'l', 'd'});
    LumoSetIntOptionTiff("predictor", 1);
    LumoSetIntOptionTiff("rowsperstrip", 2);
    LumoSetIntOptionPS("level2", 1);
    const ImagePtr image = MakePatternImage(ImageKind::GRAY16, 20, 10);

    const LumoProgressHook previous =
        LumoSetProgressHandler([](int value) { if (value >= 0) throw LumoFailure("LumoSaveTiff", "stopped"); });
    EXPECT_LUMO_ERROR(LumoSavePS(image.get(), path.c_str()), "LumoSaveTiff", "stopped");
    LumoSetProgressHandler(previous);

    EXPECT_EQ(ReadText(path), "old");
    EXPECT_EQ(Entries(out), std::set<std::string>{"old.ps"});
    EXPECT_TRUE(Entries(work).empty());
    EXPECT_EQ(LumoGetIntOptionTiff("predictor"), 1);
    EXPECT_EQ(LumoGetIntOptionTiff("rowsperstrip"), 2);
}

TEST_F(PSTest, UnknownOptionNamesAreReported) {
    EXPECT_LUMO_ERROR(LumoSetIntOptionPS("EPS", 1), "LumoSetIntOptionPS", "Unknown PS option: EPS");
    EXPECT_LUMO_ERROR(LumoGetIntOptionPS("pw"), "LumoGetIntOptionPS", "Unknown PS option: pw");
    EXPECT_LUMO_ERROR(LumoSetFloatOptionPS("level2", 1), "LumoSetFloatOptionPS", "Unknown PS option: level2");
    EXPECT_LUMO_ERROR(LumoGetFloatOptionPS("width"), "LumoGetFloatOptionPS", "Unknown PS option: width");
}

}  // namespace
