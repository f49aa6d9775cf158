// The JBIG codec against JBIG-KIT's own tools, made at run time: files pbmtojbg writes load with the
// pixels jbgtopbm gives (sequential, progressive, cut at a layer, several entities, several bit
// planes), the maximum size stops at a smaller layer, our files decode identically with jbgtopbm
// and carry the layers asked for, and cut files, lying headers and failing sinks fail cleanly.
#include <cstring>

#include "core/convert.h"
#include "formats/jbig/jbig.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pnm.h"

namespace {

// A bi-level picture as PBM holds it: rows top first, 1 = black.
struct Bits {
    int width = 0;
    int height = 0;
    std::vector<bool> black;
    bool operator==(const Bits&) const = default;
};

Bits BitsOf(const IMG& bw) {
    Bits bits{bw.width, bw.height, {}};
    for (int y = 0; y < bw.height; ++y)
        for (int x = 0; x < bw.width; ++x) bits.black.push_back(PixelAt(bw, x, y) == 0);
    return bits;
}

// Parses a raw PBM (P4) as jbgtopbm writes it; an empty picture when the bytes are no such file.
Bits ParsePbm(const std::vector<uint8_t>& bytes) {
    int width = 0, height = 0, length = 0;
    const std::string head(bytes.begin(), bytes.begin() + static_cast<long>(std::min<size_t>(bytes.size(), 40)));
    if (std::sscanf(head.c_str(), "P4 %d %d%n", &width, &height, &length) != 2) return {};
    const size_t start = static_cast<size_t>(length) + 1, lineBytes = (static_cast<size_t>(width) + 7) / 8;
    if (bytes.size() < start + lineBytes * height) return {};
    Bits bits{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bits.black.push_back(bytes[start + y * lineBytes + x / 8] >> (7 - x % 8) & 1);
    return bits;
}

void WritePbm(const IMG& bw, const std::string& path) {
    const std::string head = "P4\n" + std::to_string(bw.width) + " " + std::to_string(bw.height) + "\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    const size_t lineBytes = (static_cast<size_t>(bw.width) + 7) / 8;
    for (int y = 0; y < bw.height; ++y)
        for (size_t i = 0; i < lineBytes; ++i) {
            const int spare = i + 1 < lineBytes ? 0 : static_cast<int>(lineBytes * 8 - bw.width);
            bytes.push_back(static_cast<uint8_t>(~PictureRow(bw, y)[i] & 0xFF << spare));
        }
    WriteBytes(path, bytes);
}

std::vector<uint8_t> ToMemory(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteJbig(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

// The header reader tells the size the load gave.
void ExpectInfoOf(const std::string& file, const IMG& loaded) {
    const ImageInfo info = ReadJbigInfo(file.c_str());
    EXPECT_EQ(info.width, loaded.width) << file;
    EXPECT_EQ(info.height, loaded.height) << file;
    EXPECT_EQ(info.kind, ImageKind::BW) << file;
}

class JbigTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        if (!HaveTool("pbmtojbg") || !HaveTool("jbgtopbm")) GTEST_SKIP() << "JBIG-KIT's tools are not installed";
    }
    void TearDown() override {
        for (const char* name : {"lrlmaxw", "lrlmaxh", "maxsizew", "maxsizeh"}) LumoSetIntOptionJbig(name, 0);
        LumoSetIntOptionJbig("nblayers", 1);
        LumoSetIntOption("maxpixels", 178956970);
        LumoTest::TearDown();
    }

    // pbmtojbg with the options on the picture (PBM, or PGM for several planes); yields the file's path.
    std::string Encode(const std::string& input, const std::string& options, const std::string& name) {
        const std::string output = tempPath(name);
        EXPECT_EQ(RunCommand("pbmtojbg " + options + " " + input + " " + output + " 2>&1").status, 0) << options;
        return output;
    }
    // What jbgtopbm with the options makes of the file.
    Bits Reference(const std::string& file, const std::string& options = "") {
        const std::string output = tempPath("reference.pbm");
        EXPECT_EQ(RunCommand("jbgtopbm " + options + " " + file + " " + output + " 2>&1").status, 0) << options;
        return ParsePbm(ReadBytes(output));
    }
    std::string PatternPbm(int width, int height) {
        const std::string path = tempPath("pattern.pbm");
        WritePbm(*MakePatternImage(ImageKind::BW, width, height), path);
        return path;
    }
};

struct ToolCase {
    const char* name;
    const char* options;  // pbmtojbg's
    int width, height;    // of the picture the file decodes to
};
void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

class JbigToolFileTest : public JbigTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(JbigToolFileTest, LoadsThePixelsJbgtopbmGives) {
    const std::string file = Encode(PatternPbm(203, 157), GetParam().options, "tool.bie");
    const ImagePtr image = LumoLoadJbig(file.c_str());
    ExpectInfoOf(file, *image);
    const Bits reference = Reference(file);
    ASSERT_EQ(reference.width, GetParam().width);
    ASSERT_EQ(reference.height, GetParam().height);
    EXPECT_TRUE(BitsOf(*image) == reference);
    for (int k = 0; k < image->height; ++k)  // the row padding is 0
        for (int bit = image->width; bit < 8 * image->rowBytes; ++bit)
            ASSERT_EQ(MemoryRow(*image, k)[bit / 8] >> (7 - bit % 8) & 1, 0) << "row " << k << ", bit " << bit;
}

INSTANTIATE_TEST_SUITE_P(
    Files, JbigToolFileTest,
    ::testing::Values(ToolCase{"Sequential", "-q", 203, 157}, ToolCase{"ThreeLayers", "-d 3", 203, 157},
                      ToolCase{"HighestLayerTwoOfThree", "-d 3 -h 2", 102, 79},
                      ToolCase{"LayerInnerOrderPlainStripes", "-d 2 -o 0 -p 0 -s 5", 203, 157},
                      ToolCase{"ResetStripesAndComment", "-q -r -C hello -m 0", 203, 157},
                      ToolCase{"TallerInTheHeaderThenNewLength", "-q -Y 300", 203, 157},
                      ToolCase{"LayersThenNewLength", "-d 2 -Y 400", 203, 157}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JbigTest, MaximumSizeStopsAtTheLargestLayerWithin) {
    // Layers of 650 x 470: 82 x 59, 163 x 118, 325 x 235, 650 x 470.
    const std::string pbm = PatternPbm(650, 470);
    const std::string progressive = Encode(pbm, "-d 3", "progressive.bie");
    const std::string sequential = Encode(pbm, "-q", "sequential.bie");
    LumoSetIntOptionJbig("maxsizew", 160);
    LumoSetIntOptionJbig("maxsizeh", 120);
    const ImagePtr small = LumoLoadJbig(progressive.c_str());
    ExpectInfoOf(progressive, *small);
    EXPECT_EQ(small->width, 82);
    EXPECT_EQ(small->height, 59);
    EXPECT_TRUE(BitsOf(*small) == Reference(progressive, "-x 160 -y 120"));
    // Both sizes must be set; a file without layers loads whole.
    EXPECT_EQ(LumoLoadJbig(sequential.c_str())->width, 650);
    LumoSetIntOptionJbig("maxsizeh", 0);
    EXPECT_EQ(LumoLoadJbig(progressive.c_str())->width, 650);
    // A NEWLEN that shortens the picture moves the layer the load stops at.
    const std::string shortened = Encode(pbm, "-d 3 -Y 1000", "shortened.bie");
    LumoSetIntOptionJbig("maxsizeh", 120);
    const ImagePtr stopped = LumoLoadJbig(shortened.c_str());
    EXPECT_EQ(stopped->height, 59);
    ExpectInfoOf(shortened, *stopped);
}

TEST_F(JbigTest, EntitiesThatFollowEachOtherAddTheirLayers) {
    // JBIG-KIT continues an entity only when the sizes are multiples of the layers' scale.
    const std::string pbm = PatternPbm(200, 160);
    std::vector<uint8_t> bytes = ReadBytes(Encode(pbm, "-d 3 -h 1", "low.bie"));
    const std::vector<uint8_t> high = ReadBytes(Encode(pbm, "-d 3 -l 2", "high.bie"));
    bytes.insert(bytes.end(), high.begin(), high.end());
    const std::string both = tempPath("both.bie");
    WriteBytes(both, bytes);
    const ImagePtr image = LumoLoadJbig(both.c_str());
    ExpectInfoOf(both, *image);
    EXPECT_TRUE(BitsOf(*image) == BitsOf(*MakePatternImage(ImageKind::BW, 200, 160)));
    // The first entity alone ends at its own top layer; a maximum size that the second entity's
    // first layer exceeds still lets that layer be decoded (the decoder checks only inside an entity).
    const std::string low = Encode(pbm, "-d 3 -h 1", "low.bie");
    ExpectInfoOf(low, *LumoLoadJbig(low.c_str()));
    LumoSetIntOptionJbig("maxsizew", 60);
    LumoSetIntOptionJbig("maxsizeh", 60);
    const ImagePtr stopped = LumoLoadJbig(both.c_str());
    EXPECT_EQ(stopped->width, 100);
    ExpectInfoOf(both, *stopped);
    EXPECT_TRUE(BitsOf(*image) == Reference(both, "-m"));
}

TEST_F(JbigTest, GrayFilesLoadTheirFirstPlane) {
    const std::string pgm = tempPath("gray.pgm");
    WritePnm(*MakePatternImage(ImageKind::GRAY256, 61, 43), pgm);
    const std::string file = Encode(pgm, "-q", "gray.bie");
    EXPECT_TRUE(BitsOf(*LumoLoadJbig(file.c_str())) == Reference(file, "-p 0"));
}

struct SaveCase {
    const char* name;
    ImageKind kind;
    int width, height;
    int layers, lowestWidth, lowestHeight;
    int expectedLayers;  // the D field of the header
};
void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class JbigSaveTest : public JbigTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(JbigSaveTest, JbgtopbmDecodesWhatWasSavedWithTheLayersAskedFor) {
    const SaveCase& c = GetParam();
    const ImagePtr image = MakePatternImage(c.kind, c.width, c.height);
    const ImagePtr before = MakePatternImage(c.kind, c.width, c.height);
    const ImagePtr bw = c.kind == ImageKind::BW ? MakePatternImage(c.kind, c.width, c.height) : LumoToBW(image.get());
    LumoSetIntOptionJbig("nblayers", c.layers);
    LumoSetIntOptionJbig("lrlmaxw", c.lowestWidth);
    LumoSetIntOptionJbig("lrlmaxh", c.lowestHeight);
    const std::string path = tempPath("saved.bie");
    SaveJbig(image.get(), path.c_str());
    EXPECT_TRUE(SamePixels(*before, *image)) << "the caller's image changed";

    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 20u);
    EXPECT_EQ(bytes[0], 0);  // the lowest layer first
    EXPECT_EQ(bytes[1], c.expectedLayers);
    EXPECT_EQ(bytes[2], 1);  // one plane
    EXPECT_EQ(ReadBytes(path), ToMemory(*image));
    EXPECT_TRUE(Reference(path) == BitsOf(*bw));
    EXPECT_TRUE(SamePixels(*bw, *LumoLoadJbig(path.c_str())));
    if (c.lowestWidth && c.layers <= 1) {
        LumoSetIntOptionJbig("maxsizew", c.lowestWidth);
        LumoSetIntOptionJbig("maxsizeh", c.lowestHeight);
        const ImagePtr lowest = LumoLoadJbig(path.c_str());
        EXPECT_LE(lowest->width, c.lowestWidth);
        EXPECT_LE(lowest->height, c.lowestHeight);
        EXPECT_GT(lowest->width * 2, c.lowestWidth);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, JbigSaveTest,
    ::testing::Values(SaveCase{"SingleLayer", ImageKind::BW, 203, 157, 1, 0, 0, 0},
                      SaveCase{"GrayThresholded", ImageKind::GRAY256, 61, 43, 1, 0, 0, 0},
                      SaveCase{"ThreeLayersWhateverTheLowestSize", ImageKind::BW, 300, 200, 3, 32, 32, 2},
                      SaveCase{"LowestLayerWithin64x48", ImageKind::BW, 300, 200, 1, 64, 48, 3},
                      SaveCase{"ColourInTwoLayers", ImageKind::RGB, 45, 30, 2, 0, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JbigTest, RowPaddingDoesNotReachTheFile) {
    ImagePtr image = MakePatternImage(ImageKind::BW, 13, 9);
    const std::vector<uint8_t> clean = ToMemory(*image);
    for (int k = 0; k < image->height; ++k) MemoryRow(*image, k)[1] |= 0x07, MemoryRow(*image, k)[3] = 0xFF;
    EXPECT_EQ(ToMemory(*image), clean);
}

TEST_F(JbigTest, CutAndDamagedFilesReportTheDecodersText) {
    const std::vector<uint8_t> whole = ToMemory(*MakePatternImage(ImageKind::BW, 203, 157));
    const std::string path = tempPath("cut.bie");
    for (const size_t size : {size_t{0}, size_t{19}, size_t{20}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(size);
        WriteBytes(path, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)));
        EXPECT_LUMO_ERROR(LumoLoadJbig(path.c_str()), "LumoLoadJbig",
                          "Problem with input file '" + path + "': Unexpected end of input data stream\n");
    }
    std::vector<uint8_t> damaged = whole;
    damaged[3] = 1;  // a padding byte of the header
    WriteBytes(path, damaged);
    EXPECT_LUMO_ERROR(LumoLoadJbig(path.c_str()), "LumoLoadJbig",
                      "Problem with input file '" + path + "': Input data stream contains invalid data\n");
    EXPECT_LUMO_ERROR(LumoLoadJbig(tempPath("none.bie").c_str()), "LumoLoadJbig",
                      "Can't open file " + tempPath("none.bie") + ": No such file or directory");
}

// A header of width x height pixels in planes bit planes, then some data.
std::vector<uint8_t> Header(uint32_t width, uint32_t height, uint8_t planes, uint8_t lowest = 0, uint8_t layers = 0) {
    const uint8_t header[20] = {lowest, layers, planes, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 0, 3, 0x1C};
    std::vector<uint8_t> bytes(1020, 0x55);
    std::copy(header, header + 20, bytes.begin());
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    return bytes;
}

TEST_F(JbigTest, HeadersBeyondTheLimitsAreRefusedBeforeTheDecoderAllocates) {
    const auto load = [](const std::vector<uint8_t>& bytes) {
        InputFile file(bytes.data(), bytes.size(), "big.bie");
        return LoadJbigFrom(file);
    };
    EXPECT_LUMO_ERROR(load(Header(65535, 65535, 1)), "LumoLoadJbig",
                      "Image size 65535 x 65535 (4294836225 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    EXPECT_LUMO_ERROR(load(Header(0x7FFFFFFF, 8, 1)), "LumoLoadJbig",
                      "Image size 2147483647 x 8 out of range (at most 65535 x 65535)");
    EXPECT_LUMO_ERROR(load(Header(4000, 4000, 255)), "LumoLoadJbig",
                      "big.bie: 255 bit planes of 4000 x 4000 pixels exceed the limit of 178956970 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 0);  // the record's own limit still bounds all planes together
    EXPECT_LUMO_ERROR(load(Header(65535, 65535, 2)), "LumoLoadJbig",
                      "big.bie: 2 bit planes of 65535 x 65535 pixels exceed the limit of 4294836225 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 178956970);
    // A complete picture followed by an entity that claims to continue it at a huge size.
    std::vector<uint8_t> bytes = ToMemory(*MakePatternImage(ImageKind::BW, 16, 16));
    const std::vector<uint8_t> next = Header(60000, 60000, 1, 1, 1);
    bytes.insert(bytes.end(), next.begin(), next.end());
    EXPECT_LUMO_ERROR(load(bytes), "LumoLoadJbig",
                      "Image size 60000 x 60000 (3600000000 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
}

TEST_F(JbigTest, WriteFailuresAndEmptyOutputAreReported) {
    const ImagePtr image = MakePatternImage(ImageKind::BW, 300, 200);
    for (const size_t failAfter : {size_t{0}, size_t{200}}) {
        size_t written = 0;
        bool failed = false;
        EXPECT_LUMO_ERROR(WriteJbig(image.get(),
                                    [&](const uint8_t*, size_t count) {
                                        EXPECT_FALSE(failed) << "written to after it failed";
                                        failed = written + count > failAfter;
                                        if (failed) LumoError("TestSink", "Disk full");
                                        written += count;
                                    }),
                          "TestSink", "Disk full");
        EXPECT_EQ(errors.size(), 1u) << "reported once";
        errors.clear();
    }
    LumoSetIntOptionJbig("nblayers", 32);  // more than JBIG-KIT can write: it gives out nothing
    EXPECT_LUMO_ERROR(WriteJbig(image.get(), [](const uint8_t*, size_t) {}), "SaveJbig", "The JBIG encoder wrote no data");
    const ImagePtr empty = LumoCreateImage(0, 5, BILEVEL, nullptr, 1);
    EXPECT_LUMO_ERROR(WriteJbig(empty.get(), [](const uint8_t*, size_t) {}), "SaveJbig", "Can't save an empty image (0 x 5)");
    EXPECT_LUMO_ERROR(SaveJbig(image.get(), tempPath("no/such/folder.bie").c_str()), "SaveJbig",
                      "Can't open file " + tempPath("no/such/folder.bie") + ": No such file or directory");
}

}  // namespace
