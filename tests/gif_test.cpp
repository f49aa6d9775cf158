#include "formats/gif/gif.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>

#include "core/convert.h"
#include "formats/dispatch.h"
#include "platform/profile.h"
#include "tests/support/gif_builder.h"
#include "tests/support/gif_reference.h"
#include "tests/support/lumo_test.h"

namespace {

using namespace gif_builder;

class GifTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOptionGif("interlace", 0);
        LumoTest::TearDown();
    }
};

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "memory.gif");
    return LoadGifFrom(file);
}

std::vector<uint8_t> SaveBytes(const IMG& image) {
    std::vector<uint8_t> bytes;
    WriteGif(&image, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    return bytes;
}

std::vector<uint32_t> Indices(const IMG& image) {
    std::vector<uint32_t> indices;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) indices.push_back(PixelAt(image, x, y));
    return indices;
}

// The data sub-blocks of a file we wrote (one global table, no extensions): their sizes and bytes.
std::pair<std::vector<int>, std::vector<uint8_t>> DataBlocks(const std::vector<uint8_t>& file) {
    size_t at = 13 + 3 * (2 << (file[10] & 7)) + 10 + 1;
    std::vector<int> sizes;
    std::vector<uint8_t> data;
    while (at < file.size()) {
        const int n = file[at++];
        sizes.push_back(n);
        if (n == 0) break;
        data.insert(data.end(), file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + n));
        at += n;
    }
    return {sizes, data};
}

// How Pillow reads a GIF: mode, size, palette and indices (gray levels in mode L, whose palette is i, i, i).
struct PillowView {
    std::string mode;
    int width = 0, height = 0;
    std::vector<int> palette;
    std::vector<uint32_t> indices;
};

std::vector<int> Numbers(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
}

PillowView ReadWithPillow(const std::string& python, const std::string& path) {
    static const char* script =
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "print(im.mode, im.size[0], im.size[1])\n"
        "print(' '.join(map(str, im.getpalette() if im.mode == 'P' else [])))\n"
        "print(' '.join(map(str, im.getdata())))\n";
    const CommandResult result = RunCommand(python + " -c " + ShellQuote(script) + " " + ShellQuote(path));
    EXPECT_EQ(result.status, 0) << result.output;
    std::istringstream lines(result.output);
    PillowView view;
    std::string line;
    lines >> view.mode >> view.width >> view.height;
    std::getline(lines, line);
    std::getline(lines, line);
    view.palette = Numbers(line);
    std::getline(lines, line);
    for (int v : Numbers(line)) view.indices.push_back(static_cast<uint32_t>(v));
    return view;
}

// Our image holds what Pillow read: the same indices and, for the entries Pillow reports, colours.
void ExpectSameAsPillow(const IMG& image, const PillowView& view) {
    ASSERT_EQ(image.width, view.width);
    ASSERT_EQ(image.height, view.height);
    EXPECT_EQ(Indices(image), view.indices);
    const int entries = 1 << image.bitsPerPixel;
    for (int i = 0; i < entries; ++i) {
        if (view.mode == "L") {
            EXPECT_EQ(image.palette[3 * i], i) << "entry " << i;
        } else if (3 * i + 2 < static_cast<int>(view.palette.size())) {
            for (int c = 0; c < 3; ++c) EXPECT_EQ(image.palette[3 * i + c], view.palette[3 * i + c]) << "entry " << i;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Files written by other programs load with the indices and colours Pillow reads.

struct ForeignFile {
    const char* name;
    const char* tool;  // "pillow" or "magick"
    const char* arguments;
    const char* version;
    ImageKind kind;
};
void PrintTo(const ForeignFile& c, std::ostream* os) { *os << c.name; }

// Arguments: width, height, colours, interlace, extra ("comment", "transparency" or "-").
const char* kPillowWriter =
    "import sys\nfrom PIL import Image\n"
    "out, w, h, n, interlace, extra = sys.argv[1], *map(int, sys.argv[2:6]), sys.argv[6]\n"
    "im = Image.new('P', (w, h))\n"
    "im.putpalette([(i * 53 + c * 101) % 256 for i in range(n) for c in range(3)])\n"
    "im.putdata([(x * 7 + y * 13 + (x * y) % 5) % n for y in range(h) for x in range(w)])\n"
    "kw = {'interlace': interlace, 'optimize': False}\n"
    "if extra == 'comment': kw['comment'] = b'made for a test'\n"
    "if extra == 'transparency': kw['transparency'] = 1\n"
    "im.save(out, 'GIF', **kw)\n";

class ForeignGifTest : public GifTest, public ::testing::WithParamInterface<ForeignFile> {};

TEST_P(ForeignGifTest, LoadsTheIndicesAndColoursPillowReads) {
    const ForeignFile& c = GetParam();
    const std::string python = PillowPython();
    if (python.empty() || !HaveTool("/usr/bin/convert")) GTEST_SKIP() << "needs Pillow and ImageMagick";
    const std::string path = tempPath("foreign.gif");
    const std::string arguments = c.arguments;
    const std::string command =
        std::string(c.tool) == "pillow"
            ? python + " -c " + ShellQuote(kPillowWriter) + " " + path + " " + arguments
            : "/usr/bin/convert " + arguments + (arguments.back() == ':' ? "" : " ") + path;  // "GIF87:" + path
    ASSERT_EQ(RunCommand(command + " 2>&1").status, 0) << command;
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(std::string(file.begin() + 3, file.begin() + 6), c.version);

    ImagePtr image = LumoLoadGif(path.c_str());
    EXPECT_EQ(KindOf(*image), c.kind);
    ExpectSameAsPillow(*image, ReadWithPillow(python, path));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Writers, ForeignGifTest,
    ::testing::Values(
        ForeignFile{"pillow_2_colours", "pillow", "13 7 2 0 -", "87a", ImageKind::COLOR16},
        ForeignFile{"pillow_16_interlaced", "pillow", "31 29 16 1 -", "87a", ImageKind::COLOR16},
        ForeignFile{"pillow_32_colours", "pillow", "33 17 32 0 -", "87a", ImageKind::COLOR256},
        ForeignFile{"pillow_256_interlaced", "pillow", "67 41 256 1 -", "87a", ImageKind::COLOR256},
        ForeignFile{"pillow_comment", "pillow", "9 5 16 0 comment", "89a", ImageKind::COLOR16},
        ForeignFile{"pillow_graphic_control", "pillow", "21 3 64 0 transparency", "89a", ImageKind::COLOR256},
        ForeignFile{"magick_16_gradient_87a", "magick",
                    "-size 37x23 gradient:red-blue -dither None -colors 16 GIF87:", "87a", ImageKind::COLOR16},
        ForeignFile{"magick_256_interlaced", "magick",
                    "-seed 4 -size 61x45 plasma:fractal -dither None -colors 256 -interlace GIF", "89a",
                    ImageKind::COLOR256},
        ForeignFile{"magick_2_colours_comment", "magick", "-size 13x9 pattern:checkerboard -colors 2 -comment hello",
                    "89a", ImageKind::COLOR16},
        ForeignFile{"magick_one_pixel", "magick", "-size 1x1 xc:red", "89a", ImageKind::COLOR16}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Our files: Pillow and our loader read back what was saved.

struct SaveCase {
    ImageKind kind;
    int width, height;
    bool interlace;
};
void PrintTo(const SaveCase& c, std::ostream* os) { *os << KindName(c.kind) << " " << c.width << "x" << c.height; if (c.interlace) *os << " interlaced"; }

class GifSaveTest : public GifTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(GifSaveTest, PillowAndOurLoaderReadBackTheSavedIndices) {
    const SaveCase& c = GetParam();
    ImagePtr image = MakePatternImage(c.kind, c.width, c.height, 9);
    LumoSetIntOptionGif("interlace", c.interlace);
    const std::string path = tempPath("ours.gif");
    LumoSaveGif(image.get(), path.c_str());

    // Non-palette kinds are saved as their conversion; the image passed in is left alone.
    ImagePtr expected = c.kind == ImageKind::COLOR16 || c.kind == ImageKind::COLOR256 ? nullptr
                        : c.kind == ImageKind::BW || c.kind == ImageKind::GRAY16      ? LumoToCOLOR16(image.get())
                                                                                      : LumoToCOLOR256(image.get());
    const IMG& palettized = expected ? *expected : *image;
    EXPECT_TRUE(SamePixels(*MakePatternImage(c.kind, c.width, c.height, 9), *image));

    ImagePtr loaded = LumoLoadGif(path.c_str());
    EXPECT_EQ(Indices(*loaded), Indices(palettized));
    EXPECT_TRUE(SamePixels(palettized, *loaded));
    EXPECT_TRUE(warnings.empty());

    const std::string python = PillowPython();
    if (python.empty()) GTEST_SKIP() << "needs Pillow";
    ExpectSameAsPillow(palettized, ReadWithPillow(python, path));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GifSaveTest,
    ::testing::Values(SaveCase{ImageKind::COLOR16, 37, 23, false}, SaveCase{ImageKind::COLOR16, 1, 1, true},
                      SaveCase{ImageKind::COLOR256, 301, 97, false}, SaveCase{ImageKind::COLOR256, 64, 33, true},
                      SaveCase{ImageKind::BW, 45, 19, false}, SaveCase{ImageKind::GRAY16, 17, 12, true},
                      SaveCase{ImageKind::GRAY256, 30, 20, false}, SaveCase{ImageKind::RGB, 29, 31, true}),
    [](const auto& info) {
        return std::string(KindName(info.param.kind)) + (info.param.interlace ? "_interlaced" : "");
    });

TEST_F(GifTest, SavedStreamHasTheFixedHeaderAnd254ByteSubBlocks) {
    // Noise defeats compression, so the data spans many sub-blocks and several table clears.
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 200, 150, 3);
    uint32_t state = 7;
    for (size_t i = 0; i < PixelBytes(*image); ++i)
        image->bits[i] = static_cast<uint8_t>((state = state * 69069 + 1) >> 24);
    const std::vector<uint8_t> file = SaveBytes(*image);

    const std::vector<uint8_t> header{'G', 'I', 'F', '8', '7', 'a', 200, 0, 150, 0, 0xE7, 0, 0};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
    EXPECT_TRUE(std::equal(image->palette, image->palette + 768, file.begin() + 13));
    const std::vector<uint8_t> descriptor{',', 0, 0, 0, 0, 200, 0, 150, 0, 0, 8};
    EXPECT_TRUE(std::equal(descriptor.begin(), descriptor.end(), file.begin() + 13 + 768));

    const auto [sizes, data] = DataBlocks(file);
    ASSERT_GT(sizes.size(), 3u);
    for (size_t i = 0; i + 2 < sizes.size(); ++i) ASSERT_EQ(sizes[i], 254) << "block " << i;
    EXPECT_GT(sizes[sizes.size() - 2], 0);
    EXPECT_LE(sizes[sizes.size() - 2], 254);
    EXPECT_EQ(sizes.back(), 0);
    EXPECT_EQ(file.back(), ';');
    EXPECT_EQ(file.size(), 13 + 768 + 11 + data.size() + sizes.size() + 1);

    // The first code clears; every later clear comes exactly when the decoder's table is full.
    const auto codes = UnpackCodes(8, data);
    ASSERT_EQ(codes.front().first, 256);
    ASSERT_EQ(codes.back().first, 257);
    int clears = 0;
    for (size_t i = 1; i < codes.size(); ++i) {
        if (codes[i].first == 256) {
            ++clears;
            EXPECT_EQ(codes[i].second, 4096) << "clear at code " << i;
        }
        if (codes[i].second == 4096 && codes[i - 1].second == 4096) ADD_FAILURE() << "full table not cleared at " << i;
    }
    EXPECT_GE(clears, 2);
}

TEST_F(GifTest, EncoderProbeTreatsTheKeyZeroAsAnEmptySlot) {
    // "16 1" takes slot 0, so the string "0 0" (key 0) lands in slot 5002. The string "21 157"
    // collides in slot 2501 and its probe reaches slot 5002, where the key 0 ends the search:
    // "21 157" takes that slot over, and the last "0 0" can no longer be found and is sent as
    // two codes instead of code 260.
    ImagePtr image = LumoCreateImage(10, 1, COLOR, CreateIMGPalette(256), 8);
    std::memset(image->palette, 0, 768);
    const uint8_t pixels[] = {16, 1, 0, 0, 5, 156, 21, 157, 0, 0};
    std::memcpy(PictureRow(*image, 0), pixels, sizeof pixels);

    std::vector<int> codes;
    for (const auto& [code, next] : UnpackCodes(8, DataBlocks(SaveBytes(*image)).second)) codes.push_back(code);
    EXPECT_EQ(codes, (std::vector<int>{256, 16, 1, 0, 0, 5, 156, 21, 157, 0, 0, 257}));
}

// Pictures crowded with the indices 0, 1 and 16 make the strings "16 1" and "0 0" meet the table's
// slot 0 again and again; the rest is noise. The stream must be the plain table's, byte for byte.
TEST_F(GifTest, EncoderMatchesThePlainStringTable) {
    uint32_t state = 11;
    for (auto [kind, width, height] : {std::tuple{ImageKind::COLOR256, 301, 211},
                                       {ImageKind::COLOR256, 64, 1},
                                       {ImageKind::COLOR16, 257, 199},
                                       {ImageKind::COLOR256, 1000, 300}}) {
        ImagePtr image = MakePatternImage(kind, width, height, 2);
        const int levels = kind == ImageKind::COLOR16 ? 16 : 256;
        std::vector<uint8_t> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                state = state * 1103515245u + 12345u;
                const uint32_t r = state >> 16 & 127;
                const uint32_t value = r < 50 ? 0 : r < 75 ? 16 % levels : r < 100 ? 1 : (state >> 8) % levels;
                SetPixel(*image, x, y, value);
                pixels.push_back(static_cast<uint8_t>(value));
            }
        const int minCodeSize = kind == ImageKind::COLOR16 ? 4 : 8;
        EXPECT_EQ(DataBlocks(SaveBytes(*image)).second, gif_reference::EncodeLzw(pixels, minCodeSize))
            << width << " x " << height;
    }
}

// Random code streams, with clears, strings being defined, codes past the table and early end
// codes, decode as the plain decoder decodes them, with the same warnings.
TEST_F(GifTest, DecoderMatchesThePlainDecoder) {
    uint32_t state = 5;
    const auto next = [&state](uint32_t n) { return ((state = state * 1664525u + 1013904223u) >> 8 & 0xFFFFFF) % n; };
    for (int round = 0; round < 60; ++round) {
        const int codeSize = std::vector<int>{2, 3, 4, 8, 11}[round % 5];
        const int clear = 1 << codeSize;
        std::vector<int> codes;
        CodeWidths widths(codeSize);
        for (int i = 0; i < 3000; ++i) {
            const uint32_t r = next(1000);
            int code = r < 3                                        ? clear
                       : r < 5 && i > 2500 && codes.back() != clear ? clear + 1
                       : r < 40                                     ? widths.maxCode()
                       : r < 50 ? std::min(widths.maxCode() + 1 + static_cast<int>(next(5)), (1 << widths.width()) - 1)
                       : r < 500
                           ? static_cast<int>(next(static_cast<uint32_t>(clear)))
                           : clear + 2 + static_cast<int>(next(static_cast<uint32_t>(widths.maxCode() - clear - 1)));
            if (code >= 1 << widths.width()) code = static_cast<int>(next(static_cast<uint32_t>(clear)));
            codes.push_back(code);
            widths.after(code);
        }
        const std::vector<uint8_t> data = PackCodes(codeSize, codes);
        GifParts parts;
        parts.width = 97;
        parts.height = 61 + round;
        parts.codeSize = codeSize;
        parts.imageFlags = round % 2 ? 0 : 0x87;  // 8-bit pictures are decoded in place, 4-bit ones are not
        parts.localTable.assign(round % 2 ? 0 : 768, 0);
        parts.blocks = SubBlocks(data, std::vector<size_t>{1, 2, 7, 255}[round % 4]);
        warnings.clear();
        ImagePtr image = LoadBytes(parts.build());
        const gif_reference::Decoded expected =
            gif_reference::DecodeLzw(data, codeSize, static_cast<size_t>(parts.width) * parts.height);
        std::vector<uint32_t> want(expected.pixels.begin(), expected.pixels.end());
        if (image->bitsPerPixel == 4)
            for (uint32_t& v : want) v &= 0x0F;
        ASSERT_EQ(Indices(*image), want) << "round " << round;
        std::vector<std::string> texts;
        for (const Report& w : warnings) texts.push_back(w.text);
        EXPECT_EQ(texts, expected.warnings) << "round " << round;
    }
}

TEST_F(GifTest, BilevelSavesAsSixteenEntriesWithBlackPadding) {
    ImagePtr bw = MakePatternImage(ImageKind::BW, 9, 4);
    const std::vector<uint8_t> file = SaveBytes(*bw);
    EXPECT_EQ(file[10], 0xE3);
    std::vector<uint8_t> table(48, 0);
    table[3] = table[4] = table[5] = 255;  // entry 1 white, entries 2-15 black
    EXPECT_TRUE(std::equal(table.begin(), table.end(), file.begin() + 13));
    EXPECT_EQ(file[13 + 48 + 10], 4);  // minimum code size
}

TEST_F(GifTest, InterlacedRowsAreWrittenInPassOrder) {
    for (int height = 1; height <= 17; ++height) {
        ImagePtr image = MakePatternImage(ImageKind::COLOR16, 5, height, height);
        LumoSetIntOptionGif("interlace", 1);
        std::vector<uint8_t> file = SaveBytes(*image);
        ASSERT_EQ(file[13 + 48 + 9], 0x40);
        EXPECT_TRUE(SamePixels(*image, *LoadBytes(file))) << "height " << height;

        // Read without the flag, the rows come in the order they were written.
        file[13 + 48 + 9] = 0;
        ImagePtr stored = LoadBytes(file);
        std::vector<int> order;
        for (int first : {0, 4, 2, 1})
            for (int y = first; y < height; y += first == 0 || first == 4 ? 8 : first == 2 ? 4 : 2) order.push_back(y);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(PixelAt(*stored, x, row), PixelAt(*image, x, order[row])) << "height " << height;
    }
}

TEST_F(GifTest, ProgressFollowsRowsAndPasses) {
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 3, 4);
    const std::string path = tempPath("p.gif");
    const std::vector<std::pair<int, std::vector<int>>> expected = {
        {0, {-1, 25, 50, 75, 100, -2, -1, 0, 25, 50, 75, -2}},
        {1, {-1, 0, 66, 100, 100, -2, -1, 0, 22, 45, 67, 90, 92, 95, 97, -2}}};
    for (const auto& [interlace, values] : expected) {
        progress.clear();
        LumoSetIntOptionGif("interlace", interlace);
        LumoSaveGif(image.get(), path.c_str());
        LumoLoadGif(path.c_str());
        EXPECT_EQ(progress, values) << "interlace " << interlace;
    }
}

TEST_F(GifTest, EmptyPicturesSaveButAreRefusedOnLoad) {
    for (auto [width, height] : {std::pair{0, 3}, {4, 0}}) {
        ImagePtr empty = LumoCreateImage(width, height, COLOR, CreateIMGPalette(16), 4);
        std::memset(empty->palette, 0, 48);
        const std::vector<uint8_t> bytes = SaveBytes(*empty);
        EXPECT_LUMO_ERROR(LoadBytes(bytes), "LumoLoadGif",
                          "Image size " + std::to_string(width) + " x " + std::to_string(height) +
                              " out of range (at most 65535 x 65535)");
    }
    EXPECT_TRUE(warnings.empty());
}

// ---------------------------------------------------------------------------------------------
// Loading hand-built streams.

struct HandBuiltStream {
    const char* name;
    int codeSize;
    std::vector<int> codes;
    std::vector<uint32_t> indices;
    std::vector<std::string> warnings;
};
void PrintTo(const HandBuiltStream& c, std::ostream* os) { *os << c.name; }

class GifStreamTest : public GifTest, public ::testing::WithParamInterface<HandBuiltStream> {};

TEST_P(GifStreamTest, DecodesToTheseIndicesAndWarnings) {
    const HandBuiltStream& c = GetParam();
    GifParts parts;
    parts.width = static_cast<int>(c.indices.size());
    parts.height = 1;
    parts.codeSize = c.codeSize;
    parts.blocks = SubBlocks(PackCodes(c.codeSize, c.codes), 255);
    EXPECT_EQ(Indices(*LoadBytes(parts.build())), c.indices);
    std::vector<std::string> texts;
    for (const Report& w : warnings) texts.push_back(w.text);
    EXPECT_EQ(texts, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, GifStreamTest,
    ::testing::Values(
        // clear, 1, 6 (the string being defined: "1 1"), clear twice, 3, 0, and the end code a pixel early
        HandBuiltStream{"repeats", 2, {4, 1, 6, 4, 4, 3, 0, 5}, {1, 1, 1, 3, 0, 0, 0}, {"Premature end of GIF image"}},
        // After the clear the end code is corrupt (0); 7 lies beyond the next free entry 6 and stands
        // for the previous string, 0, plus its first pixel.
        HandBuiltStream{
            "corrupt", 2, {4, 5, 7, 2, 5}, {0, 0, 0, 2}, {"Corrupt data in GIF file", "Corrupt data in GIF file"}},
        // A minimum code size of 1: clear code 2, end code 3, literals 0 and 1.
        HandBuiltStream{"code_size_1", 1, {2, 1, 0, 1, 3}, {1, 0, 1}, {"Bogus codesize 1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GifTest, CodesStraddleSubBlocksOfAnySize) {
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 80, 40, 5);
    const std::vector<uint8_t> file = SaveBytes(*image);
    const auto [sizes, data] = DataBlocks(file);
    for (size_t blockSize : {1, 2, 3, 7, 255}) {
        GifParts parts;
        parts.screenFlags = 0x87;
        parts.width = 80;
        parts.height = 40;
        parts.codeSize = 8;
        parts.blocks = SubBlocks(data, blockSize);
        EXPECT_EQ(Indices(*LoadBytes(parts.build())), Indices(*image)) << "blocks of " << blockSize;
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(GifTest, EndedDataLeavesZerosAfterOneWarningEach) {
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 120, 60, 2);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x) SetPixel(*image, x, y, 1 + (x / 8 + y / 4) % 200);
    const std::vector<uint8_t> file = SaveBytes(*image);
    const auto [sizes, data] = DataBlocks(file);
    // Keep the header and the first sub-block, then end the data and the file.
    std::vector<uint8_t> cut(file.begin(), file.begin() + 13 + 768 + 11 + 1 + 254);
    Append(cut, {0, ';'});
    ImagePtr loaded = LoadBytes(cut);
    ASSERT_EQ(loaded->width, 120);
    ASSERT_EQ(loaded->height, 60);
    const std::vector<uint32_t> got = Indices(*loaded), want = Indices(*image);
    size_t same = 0;
    while (same < got.size() && got[same] == want[same]) ++same;
    EXPECT_GT(same, 254u);  // what the first block held
    EXPECT_LT(same, got.size() / 2);
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(same), got.end(), [](uint32_t v) { return v == 0; }));
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].text, "Ran out of GIF bits");
    EXPECT_EQ(warnings[1].text, "Premature end of GIF image");

    // A file that stops inside a sub-block is an error.
    std::vector<uint8_t> torn(file.begin(), file.begin() + 13 + 768 + 11 + 1 + 100);
    EXPECT_LUMO_ERROR(LoadBytes(torn), "LumoLoadGif", "Premature EOF in GIF file");
}

TEST_F(GifTest, ExtensionsAndStrayBytesAreSkipped) {
    GifParts parts;
    parts.aspect = 49;
    parts.beforeImage = {'!', 0xFE, 3, 'a', 'b', 'c', 0, '!', 0xF9, 4, 1, 0, 0, 0, 0};
    parts.version = "87a";
    const std::vector<uint32_t> expected{0, 1, 2, 3, 3, 2, 1, 0};
    EXPECT_EQ(Indices(*LoadBytes(parts.build())), expected);
    EXPECT_TRUE(warnings.empty());

    parts.aspect = 17;
    parts.beforeImage.push_back(0x00);
    EXPECT_EQ(Indices(*LoadBytes(parts.build())), expected);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].text, "Warning: nonsquare pixels in input");
    EXPECT_EQ(warnings[1].text, "Bogus input char 0x00, ignoring");
    EXPECT_EQ(warnings[1].module, "LumoLoadGif");
}

TEST_F(GifTest, LocalTablesReplaceEntriesAndGrowASmallPalette) {
    GifParts parts;
    parts.screenFlags = 0x80;  // a global table of 2 entries: a 16-entry palette
    parts.imageFlags = 0x85;   // a local table of 64 entries
    for (int i = 0; i < 64; ++i) Append(parts.localTable, {i, 2 * i, 3 * i});
    ImagePtr image = LoadBytes(parts.build());
    ASSERT_TRUE(IsKind(*image, ImageKind::COLOR256));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(image->palette[3 * i + 2], 3 * i);
    for (int i = 64; i < 256; ++i) EXPECT_EQ(image->palette[3 * i], 0);

    // A local table of 4 entries over a 256-entry global table gives a COLOR16 picture.
    parts.screenFlags = 0x87;
    parts.imageFlags = 0x81;
    parts.localTable.assign(12, 9);
    image = LoadBytes(parts.build());
    ASSERT_TRUE(IsKind(*image, ImageKind::COLOR16));
    EXPECT_EQ(image->palette[0], 9);
    EXPECT_EQ(image->palette[3 * 4], 40);  // global entry 4 stays
}

struct BadFile {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* module;
    std::string text;
};
void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, size_t size) {
    return {bytes.begin(), bytes.begin() + static_cast<long>(size)};
}
std::vector<uint8_t> WithVersion(const char* v) {
    GifParts p;
    p.version = v;
    return p.build();
}
std::vector<uint8_t> WithCodeSize(int size) {
    GifParts p;
    p.codeSize = size;
    return p.build();
}

class GifBadFileTest : public GifTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(GifBadFileTest, IsRefusedWithItsMessage) {
    EXPECT_LUMO_ERROR(LoadBytes(GetParam().bytes), GetParam().module, GetParam().text);
}

const std::vector<uint8_t> kGood = GifParts().build();
INSTANTIATE_TEST_SUITE_P(
    Files, GifBadFileTest,
    ::testing::Values(BadFile{"empty", {}, "LumoLoadGif", "Not a GIF file"},
                      BadFile{"five_bytes", Cut(kGood, 5), "LumoLoadGif", "Not a GIF file"},
                      BadFile{"png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}, "LumoLoadGif", "Not a GIF file"},
                      BadFile{"version", WithVersion("90a"), "LoadGif", "Unexpected GIF version number '90a'"},
                      BadFile{"short_screen", Cut(kGood, 12), "LumoLoadGif", "Premature EOF in GIF file"},
                      BadFile{"short_table", Cut(kGood, 20), "LumoLoadGif", "Premature EOF in GIF file"},
                      BadFile{"no_image", Cut(kGood, 25), "LumoLoadGif", "Premature EOF in GIF file"},
                      BadFile{"short_descriptor", Cut(kGood, 30), "LumoLoadGif", "Premature EOF in GIF file"},
                      BadFile{"no_code_size", Cut(kGood, 35), "LumoLoadGif", "Premature EOF in GIF file"},
                      BadFile{"trailer_first",
                              [] {
                                  auto b = Cut(kGood, 25);
                                  b.push_back(';');
                                  return b;
                              }(),
                              "LumoLoadGif", "Too few images in GIF file"},
                      BadFile{"code_size_12", WithCodeSize(12), "LumoLoadGif", "Bogus codesize 12"},
                      BadFile{"code_size_255", WithCodeSize(255), "LumoLoadGif", "Bogus codesize 255"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GifTest, HugeHeadersAreRefusedBeforeAllocating) {
    GifParts parts;
    // Within the pixel limit; the smaller one is 1.1 million pixels from 17 bytes of data.
    for (auto [size, interlaced] : {std::pair{13000, 0}, {13000, 0x40}, {1050, 0}}) {
        parts.width = parts.height = size;
        parts.imageFlags = interlaced;
        try {
            LoadBytes(parts.build());
            ADD_FAILURE() << "a " << size << " x " << size << " picture from a few bytes was accepted";
        } catch (const LumoFailure& failure) {
            EXPECT_EQ(failure.module(), "LumoLoadGif");
            EXPECT_NE(std::string(failure.text()).find("the header asks for"), std::string::npos) << failure.text();
        }
    }
}

TEST_F(GifTest, OpenFailuresAndUnknownOptionsUseTheirOwnWords) {
    const std::string missing = tempPath("missing.gif");
    EXPECT_LUMO_ERROR(LumoLoadGif(missing.c_str()), "LumoLoadGif", "Can't open " + missing + ": No such file or directory");
    ImagePtr image = MakePatternImage(ImageKind::COLOR16, 2, 2);
    EXPECT_LUMO_ERROR(LumoSaveGif(image.get(), tempDir().c_str()), "LumoSaveGif",
                      "Can't Open file " + tempDir().string() + ": Is a directory");
    EXPECT_LUMO_ERROR(LumoSetIntOptionGif("Interlace", 1), "LumoSetIntOptionGif", "Unknown Gif option: Interlace");
    EXPECT_LUMO_ERROR(LumoGetIntOptionGif("dither"), "LumoGetIntOptionGif", "Unknown Gif option: dither");
}

TEST_F(GifTest, DispatchSetsInterlaceFromTheProfile) {
    ::setenv("LUMO_PROFILE", tempPath("WIN.INI").c_str(), 1);
    ASSERT_TRUE(WriteProfileStringA("Lumo", "GifInterlace", "1"));
    ImagePtr image = MakePatternImage(ImageKind::COLOR16, 6, 9);
    const std::string path = tempPath("D.GIF");
    SaveImageByExtension(image.get(), path.c_str());
    ::unsetenv("LUMO_PROFILE");
    EXPECT_EQ(ReadBytes(path)[13 + 48 + 9], 0x40);
    EXPECT_TRUE(SamePixels(*image, *LoadImageByExtension(path.c_str())));
}

// Every truncation and many single-byte changes give an image or a clean error.
TEST_F(GifTest, TruncatedAndDamagedFilesNeverCrash) {
    GifParts parts;
    parts.beforeImage = {'!', 0xFE, 2, 'h', 'i', 0};
    parts.imageFlags = 0xC2;  // interlaced, local table of 8 entries
    for (int i = 0; i < 8; ++i) Append(parts.localTable, {i, i, i});
    parts.width = 11;
    parts.height = 9;
    ImagePtr picture = MakePatternImage(ImageKind::COLOR16, 11, 9, 4);
    for (size_t i = 0; i < PixelBytes(*picture); ++i) picture->bits[i] &= 0x77;  // indices below 8
    const std::vector<uint8_t> saved = SaveBytes(*picture);
    parts.codeSize = 4;
    parts.blocks = SubBlocks(DataBlocks(saved).second, 5);
    const std::vector<uint8_t> file = parts.build();

    for (size_t size = 0; size < file.size(); ++size) {
        try {
            LoadBytes(Cut(file, size));
        } catch (const LumoFailure& failure) {
            EXPECT_EQ(std::string(failure.text()), size < 6 ? "Not a GIF file" : "Premature EOF in GIF file") << size;
        }
    }
    for (size_t at = 0; at < file.size(); ++at)
        for (uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
            std::vector<uint8_t> damaged = file;
            damaged[at] ^= flip;
            try {
                LoadBytes(damaged);
            } catch (const LumoFailure&) {
            }
        }
}

}  // namespace
