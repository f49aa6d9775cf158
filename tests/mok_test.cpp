// MOK: exact round trips at every size class, files checked byte for byte against streams worked
// out by hand from the format's rules, reduced loads, cut and damaged files, and the refusals.
#include "formats/mok/mok.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/mok/mok_blocks.h"
#include "formats/mok/mok_stream.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const IMG& image) {
    Bytes bytes;
    WriteMok(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

ImagePtr Decode(const Bytes& bytes, int ratio = 1) {
    LumoSetIntOptionMok("mokratio", ratio);
    InputFile file(bytes.data(), bytes.size(), "test.mok");
    ImagePtr image = LoadMokFrom(file);
    LumoSetIntOptionMok("mokratio", 1);
    return image;
}

// A GRAY256 picture from rows of levels, top row first.
ImagePtr GrayPicture(const std::vector<std::vector<int>>& rows) {
    ImagePtr image = LumoCreateImage(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), GRAY, nullptr, 8);
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            SetPixel(*image, static_cast<int>(x), static_cast<int>(y), rows[y][x]);
    return image;
}

// The stream bits of "0011 1101 ..." (spaces ignored), written the format's way: each byte filled
// from its most significant bit, the last byte completed with 0 bits.
Bytes FromBits(const std::string& bits) {
    Bytes bytes;
    int used = 0;
    for (const char bit : bits) {
        if (bit == ' ') continue;
        if (used % 8 == 0) bytes.push_back(0);
        if (bit == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> used % 8);
        ++used;
    }
    return bytes;
}

Bytes Header(char kind, int width, int height, const Bytes& top) {
    Bytes bytes = {'M', 'O', 'K', 'a', static_cast<uint8_t>(kind)};
    for (const int field : {width, height}) {  // big-endian
        bytes.push_back(static_cast<uint8_t>(field >> 8));
        bytes.push_back(static_cast<uint8_t>(field));
    }
    for (const uint8_t byte : top) bytes.push_back(byte);
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The next coarser pyramid level, written out plainly: the 2 x 2 block at (2j, 2i) with the
// coordinates past the edge clamped to the last row or column, summed and divided by 4.
ImagePtr ReferenceCoarser(const IMG& fine) {
    const int width = (fine.width + 1) / 2, height = (fine.height + 1) / 2;
    ImagePtr coarse = LumoCreateImage(width, height, fine.colorClass, nullptr, fine.bitsPerPixel);
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) {
            const int x1 = std::min(2 * j + 1, fine.width - 1), y1 = std::min(2 * i + 1, fine.height - 1);
            uint32_t value = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const auto at = [&](int x, int y) { return static_cast<int>(PixelAt(fine, x, y) >> shift & 0xFF); };
                value |= static_cast<uint32_t>((at(2 * j, 2 * i) + at(x1, 2 * i) + at(2 * j, y1) + at(x1, y1)) / 4)
                         << shift;
            }
            SetPixel(*coarse, j, i, value);
        }
    return coarse;
}

class MokTest : public LumoTest {};

// ---- Round trips ----

struct RoundTrip {
    ImageKind kind;
    int width;
    int height;
};

void PrintTo(const RoundTrip& trip, std::ostream* os) {
    *os << KindName(trip.kind) << " " << trip.width << "x" << trip.height;
}

class MokRoundTripTest : public LumoTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(MokRoundTripTest, SavedPicturesLoadBackExactly) {
    const RoundTrip& trip = GetParam();
    // Noise reaches every category (differences of up to 255); the pattern gives long runs.
    for (const ImagePtr& image : {MakeNoiseImage(trip.kind, trip.width, trip.height, 7),
                                  MakePatternImage(trip.kind, trip.width, trip.height)}) {
        const Bytes bytes = Encode(*image);
        const ImagePtr loaded = Decode(bytes);
        EXPECT_TRUE(SamePixels(*image, *loaded));
        // The file saver writes the same bytes, and the file loads the same.
        const std::string path = tempPath("round.mok");
        LumoSaveMok(image.get(), path.c_str());
        EXPECT_EQ(ReadBytes(path), bytes);
        EXPECT_TRUE(SamePixels(*image, *LumoLoadMok(path.c_str())));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MokRoundTripTest,
                         ::testing::Values(RoundTrip{ImageKind::GRAY256, 1, 1}, RoundTrip{ImageKind::RGB, 1, 1},
                                           RoundTrip{ImageKind::GRAY256, 1, 9}, RoundTrip{ImageKind::RGB, 1, 9},
                                           RoundTrip{ImageKind::GRAY256, 9, 1}, RoundTrip{ImageKind::RGB, 9, 1},
                                           RoundTrip{ImageKind::GRAY256, 2, 2}, RoundTrip{ImageKind::RGB, 2, 3},
                                           RoundTrip{ImageKind::GRAY256, 5, 3}, RoundTrip{ImageKind::RGB, 7, 5},
                                           RoundTrip{ImageKind::GRAY256, 64, 64}, RoundTrip{ImageKind::RGB, 37, 23},
                                           RoundTrip{ImageKind::GRAY256, 1001, 517},
                                           RoundTrip{ImageKind::RGB, 517, 1001}),
                         [](const auto& info) {
                             return std::string(KindName(info.param.kind)) + "_" + std::to_string(info.param.width) +
                                    "x" + std::to_string(info.param.height);
                         });

// ---- Files worked out by hand ----

TEST_F(MokTest, OnePixelFilesAreTheHeaderAlone) {
    const Bytes gray = Encode(*MakeUniformGray(1, 1, 0x5A));
    EXPECT_EQ(gray, Header('G', 1, 1, {0x5A}));
    const ImagePtr rgb = MakeUniformRGB(1, 1, 0x30, 0x20, 0x10);
    EXPECT_EQ(Encode(*rgb), Header('C', 1, 1, {0x10, 0x20, 0x30}));  // blue, green, red
    EXPECT_TRUE(SamePixels(*rgb, *Decode(Encode(*rgb))));
    EXPECT_EQ(PixelAt(*Decode(gray), 0, 0), 0x5Au);
}

// 4 x 4: level 1 is 20 41 / 100 255, the top (20 + 41 + 100 + 255) / 4 = 104.
TEST_F(MokTest, FourByFourFileMatchesTheHandCodedStream) {
    const ImagePtr image =
        GrayPicture({{20, 20, 40, 44}, {20, 21, 40, 40}, {100, 101, 255, 255}, {101, 100, 255, 255}});
    const Bytes stream = FromBits(
        // level 1: S 0; new category 8 after 4 (rank 7); -84, -63, -4 in 8 bits
        "00 1 11101 00110101 10000011 00111111"
        // level 0, row 0: S 1, category 1 after 4 (rank 1), 0 0 0; S 0, category 3 after 1 (rank 2), -1 3 -1
        "10 1 00 0 0 0   00 1 10 111 110 111"
        // row 1 starts from column 0's category 1: S 2, same category, 0 1 1; then 255 costs nothing
        "01 0 0 1 1");
    const Bytes expected = Concat(Header('G', 4, 4, {104}), stream);
    ASSERT_EQ(expected,
              (Bytes{'M', 'O', 'K', 'a', 'G', 0, 4, 0, 4, 104, 0x3D, 0x35, 0x83, 0x3F, 0xA0, 0x37, 0xDD, 0x30}));
    EXPECT_EQ(Encode(*image), expected);
    EXPECT_TRUE(SamePixels(*image, *Decode(expected)));
}

// 3 x 2: the odd column repeats its left one (level 1 is 0 150), the missing row of level 1 its top
// row (top (0 + 150 + 0 + 150) / 4 = 75).
TEST_F(MokTest, OddSizedFileMatchesTheHandCodedStream) {
    const ImagePtr image = GrayPicture({{0, 0, 200}, {0, 0, 100}});
    const Bytes stream = FromBits(
        // level 1: S 0; category 8 after 4 (rank 7); -75, 75, -75 in 8 bits
        "00 1 11101 10101101 11010010 10101101"
        // level 0: the 0 block costs its S; category 7 after 1 (rank 6); 50, 50, -50 in 7 bits
        "00   00 1 11110 0100110 0100110 0111001");
    const Bytes expected = Concat(Header('G', 3, 2, {75}), stream);
    ASSERT_EQ(expected,
              (Bytes{'M', 'O', 'K', 'a', 'G', 0, 3, 0, 2, 75, 0x3D, 0xAD, 0xD2, 0xAD, 0x0F, 0x93, 0x26, 0x72}));
    EXPECT_EQ(Encode(*image), expected);
    EXPECT_TRUE(SamePixels(*image, *Decode(expected)));
}

// 2 x 1 colour: blue, green and red blocks share one category state (green's 1 is coded after
// blue's 2), and the red 0 block costs its S.
TEST_F(MokTest, ColourComponentsShareTheCategoryState) {
    ImagePtr image = LumoCreateImage(2, 1, COLOR, nullptr, 24);
    SetPixel(*image, 0, 0, 0x00C80A);  // red 0, green 200, blue 10
    SetPixel(*image, 1, 0, 0x00C80C);
    const Bytes expected = Concat(Header('C', 2, 1, {11, 200, 0}), FromBits("00 1 10 11 10 11   00 1 00 0 0 0   00"));
    ASSERT_EQ(expected, (Bytes{'M', 'O', 'K', 'a', 'C', 0, 2, 0, 1, 11, 200, 0, 0x37, 0x64, 0x00}));
    EXPECT_EQ(Encode(*image), expected);
    EXPECT_TRUE(SamePixels(*image, *Decode(expected)));
}

// The whole file written plainly from the format's rules, bit by bit, as "0" and "1" characters.
Bytes ReferenceFile(const IMG& image) {
    std::vector<ImagePtr> above;  // levels 1 .. top
    for (const IMG* level = &image; level->width > 1 || level->height > 1; level = above.back().get())
        above.push_back(ReferenceCoarser(*level));
    const bool gray = image.bitsPerPixel == 8;
    const uint32_t top = PixelAt(above.empty() ? image : *above.back(), 0, 0);
    std::string bits;
    const auto put = [&bits](int value, int count) {
        for (int i = 0; i < count; ++i) bits += value >> i & 1 ? '1' : '0';
    };
    const auto category = [](int d) {
        int c = 1;
        while (c < 8 && (d < (c == 1 ? 0 : 1 - (1 << (c - 1))) || d > 1 << (c - 1))) ++c;
        return c;
    };
    const char* const rankCodes[] = {"", "00", "10", "01", "110", "11100", "11110", "11101"};
    for (int k = static_cast<int>(above.size()) - 1; k >= 0; --k) {
        const IMG& coarse = *above[k];
        const IMG& fine = k == 0 ? image : *above[k - 1];
        int previous = 4, rowStart = 4;
        for (int i = 0; i < coarse.height; ++i) {
            previous = rowStart;
            for (int j = 0; j < coarse.width; ++j)
                for (int shift = 0; shift < (gray ? 8 : 24); shift += 8) {  // blue, green, red
                    const auto at = [&](int x, int y) {
                        return static_cast<int>(
                            PixelAt(fine, std::min(x, fine.width - 1), std::min(y, fine.height - 1)) >> shift & 0xFF);
                    };
                    const int o = static_cast<int>(PixelAt(coarse, j, i) >> shift & 0xFF);
                    const int tl = at(2 * j, 2 * i) - o, tr = at(2 * j + 1, 2 * i) - o, bl = at(2 * j, 2 * i + 1) - o;
                    const int sum = tl + tr + bl + at(2 * j + 1, 2 * i + 1) - o;
                    if (o != 255) put(sum, 2);
                    if (o == 255 || (o == 0 && sum == 0)) {
                        previous = 1;
                        continue;
                    }
                    const int c = std::max({category(tl), category(tr), category(bl)});
                    if (j == 0) rowStart = c;
                    bits += c == previous ? "0" : std::string("1") + rankCodes[c < previous ? c : c - 1];
                    previous = c;
                    for (const int d : {tl, tr, bl}) put(d, c);
                }
        }
    }
    const std::vector<uint8_t> topBytes =
        gray ? Bytes{static_cast<uint8_t>(top)}
             : Bytes{static_cast<uint8_t>(top), static_cast<uint8_t>(top >> 8), static_cast<uint8_t>(top >> 16)};
    return Concat(Header(gray ? 'G' : 'C', image.width, image.height, topBytes), FromBits(bits));
}

// Patches of noise (every category), of ramps (small differences) and of flat white and black
// (the skipped blocks, at column 0 too), so that every rule of the coder shows in the stream.
ImagePtr MixedPicture(ImageKind kind, int width, int height) {
    ImagePtr image = MakeNoiseImage(kind, width, height, 11);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int patch = (x / 6 + y / 4 * 3) % 5;
            const uint32_t ramp = static_cast<uint32_t>(x * 3 + y) & 0xFF;
            if (patch == 1)
                SetPixel(*image, x, y, kind == ImageKind::RGB ? ramp << 16 | ramp << 8 | (ramp ^ 0x80) : ramp);
            if (patch == 2) SetPixel(*image, x, y, kind == ImageKind::RGB ? 0xFFFFFF : 0xFF);
            if (patch == 3) SetPixel(*image, x, y, 0);
        }
    return image;
}

TEST_F(MokTest, FilesMatchTheStreamWrittenPlainlyFromTheRules) {
    for (const ImageKind kind : {ImageKind::GRAY256, ImageKind::RGB})
        for (const auto& [width, height] : {std::pair{45, 31}, std::pair{32, 17}, std::pair{1, 21}, std::pair{21, 1}}) {
            const ImagePtr image = MixedPicture(kind, width, height);
            EXPECT_EQ(Encode(*image), ReferenceFile(*image)) << KindName(kind) << " " << width << "x" << height;
        }
}

TEST_F(MokTest, WhiteCostsNothingAndBlackTwoBitsPerBlock) {
    for (const ImageKind kind : {ImageKind::GRAY256, ImageKind::RGB}) {
        const bool gray = kind == ImageKind::GRAY256;
        const ImagePtr white = gray ? MakeUniformGray(37, 23, 255) : MakeUniformRGB(37, 23, 255, 255, 255);
        const ImagePtr black = gray ? MakeUniformGray(37, 23, 0) : MakeUniformRGB(37, 23, 0, 0, 0);
        const size_t header = gray ? 10 : 12;
        EXPECT_EQ(Encode(*white).size(), header);
        // Blocks: one per coarse sample of levels 1 (19 x 12) to 5 (1 x 1).
        const size_t blocks = (19 * 12 + 10 * 6 + 5 * 3 + 3 * 2 + 2 * 1) * (gray ? 1 : 3);
        const Bytes bytes = Encode(*black);
        EXPECT_EQ(bytes,
                  Concat(Header(gray ? 'G' : 'C', 37, 23, Bytes(header - 9, 0)), Bytes((2 * blocks + 7) / 8, 0)));
        EXPECT_TRUE(SamePixels(*white, *Decode(Encode(*white))));
        EXPECT_TRUE(SamePixels(*black, *Decode(bytes)));
    }
}

// The category codes of the format's tables: a new category c after p is announced by a 1 bit and
// its rank (c below p, c - 1 above), ranks 1..7 being 00, 10, 01, 110, 11100, 11110, 11101.
TEST(MokCategoryTest, CategoriesAndTheirCodesFollowTheTables) {
    using namespace mok_blocks;
    const int low[] = {0, 0, -1, -3, -7, -15, -31, -63}, high[] = {0, 1, 2, 4, 8, 16, 32, 64};
    for (int d = -255; d <= 255; ++d) {
        int expected = 8;
        for (int c = 7; c >= 1; --c)
            if (d >= low[c] && d <= high[c]) expected = c;
        EXPECT_EQ(kCategoryOf[d + 255], expected) << d;
    }
    const char* const rankCodes[] = {"", "00", "10", "01", "110", "11100", "11110", "11101", "11111"};
    for (int p = 1; p <= 8; ++p)
        for (int c = 1; c <= 9; ++c) {
            const std::string code = c == p ? "0" : std::string("1") + rankCodes[c < p ? c : c - 1];
            int sixBits = 0;
            for (size_t i = 0; i < code.size(); ++i) sixBits |= (code[i] - '0') << i;
            if (c <= 8) {
                const CategoryWord word = CategoryAnnouncement(p, c);
                EXPECT_EQ(word.length, code.size()) << p << " " << c;
                EXPECT_EQ(word.bits, sixBits) << p << " " << c;
            }
            // Whatever follows the code is not read.
            const CategoryRead read = ReadAnnouncement(p, sixBits | (63 << code.size() & 63));
            EXPECT_EQ(read.length, code.size()) << p << " " << c;
            EXPECT_EQ(read.category, c) << p << " " << c;
        }
}

// ---- Reduced loads ----

TEST_F(MokTest, RatioTwoOfFiveByThreeGivesPyramidLevelOne) {
    for (const ImageKind kind : {ImageKind::GRAY256, ImageKind::RGB}) {
        const ImagePtr image = MakeNoiseImage(kind, 5, 3, 3);
        const Bytes bytes = Encode(*image);
        const ImagePtr level1 = ReferenceCoarser(*image);
        ASSERT_EQ(level1->width, 3);
        ASSERT_EQ(level1->height, 2);
        progress.clear();
        EXPECT_TRUE(SamePixels(*level1, *Decode(bytes, 2)));
        EXPECT_EQ(progress, (std::vector<int>{-1, 50, 100, -2}));
        const ImagePtr level2 = ReferenceCoarser(*level1);  // 2 x 1, just below the 1 x 1 top
        EXPECT_TRUE(SamePixels(*level2, *Decode(bytes, 3)));
        for (const int ratio : {4, 5, 1000, 2147483647})
            EXPECT_TRUE(SamePixels(*level2, *Decode(bytes, ratio))) << ratio;
        // Ratios below 1 load the full size.
        for (const int ratio : {0, -5, -2147483647 - 1})
            EXPECT_TRUE(SamePixels(*image, *Decode(bytes, ratio))) << ratio;
    }
}

TEST_F(MokTest, EighthSizeLoadReadsOnlyTheFrontOfTheFile) {
    const ImagePtr image = MakeNoiseImage(ImageKind::RGB, 800, 600, 5);
    const Bytes bytes = Encode(*image);
    LumoSetIntOptionMok("mokratio", 4);
    InputFile file(bytes.data(), bytes.size(), "big.mok");
    const ImagePtr small = LoadMokFrom(file);
    LumoSetIntOptionMok("mokratio", 1);
    EXPECT_EQ(small->width, 100);
    EXPECT_EQ(small->height, 75);
    // The levels down to 1/8 hold about 1/64 of the data; reads grow from 4 KB, so at most about twice that.
    EXPECT_LT(static_cast<size_t>(file.position()), bytes.size() / 20) << bytes.size();
}

TEST_F(MokTest, PixelLimitAppliesToTheSizeLoaded) {
    const Bytes bytes = Encode(*MakePatternImage(ImageKind::GRAY256, 64, 64));
    LumoSetIntOption("maxpixels", 100);
    EXPECT_LUMO_ERROR(Decode(bytes), "LumoLoadMok",
                      "Image size 64 x 64 (4096 pixels) exceeds the limit of 100 pixels (raise MaxPixels)");
    EXPECT_EQ(Decode(bytes, 4)->width, 8);  // 64 pixels
    // A 12-byte file may promise a huge picture: refused from its header.
    EXPECT_LUMO_ERROR(Decode(Header('C', 60000, 60000, {1, 2, 3})), "LumoLoadMok",
                      "Image size 60000 x 60000 (3600000000 pixels) exceeds the limit of 100 pixels (raise MaxPixels)");
    LumoSetIntOption("maxpixels", 178956970);
    // Colour rows wider than the record holds are refused before anything is decoded.
    EXPECT_LUMO_ERROR(Decode(Header('C', 30000, 1, {1, 2, 3})), "LumoLoadMok",
                      "Image too wide: 30000 pixels of 24 bits need 90000 bytes per row (at most 65535)");
}

// ---- Cut and damaged files ----

// From the end of the file every byte reads as all ones. A 2 x 2 file cut after its header reads
// S 3, a category code 1 11 1 11 of rank 8, so category 9 after 4, and 9-bit fields of 511, i.e. -1:
// the block is 99 99 99 and 100 + 3 + 3 = 106.
TEST_F(MokTest, CutFileReadsAllOnesPastItsEnd) {
    EXPECT_TRUE(SamePixels(*GrayPicture({{99, 99}, {99, 106}}), *Decode(Header('G', 2, 2, {100}))));

    const Bytes whole = Encode(*MakeNoiseImage(ImageKind::RGB, 23, 17, 9));
    for (size_t cut = 12; cut < whole.size(); cut += 7) {
        const Bytes bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
        const ImagePtr image = Decode(bytes);
        EXPECT_EQ(image->width, 23);
        EXPECT_TRUE(SamePixels(*Decode(Concat(bytes, Bytes(whole.size(), 0xFF))), *image)) << cut;
    }
}

TEST_F(MokTest, DamagedHeadersAreRefused) {
    const Bytes gray = Encode(*MakePatternImage(ImageKind::GRAY256, 6, 4));
    for (size_t cut = 0; cut < 3; ++cut)
        EXPECT_LUMO_ERROR(Decode(Bytes(gray.begin(), gray.begin() + cut)), "", "Not a MOK a file");
    Bytes bytes = gray;
    bytes[1] = 'A';
    EXPECT_LUMO_ERROR(Decode(bytes), "", "Not a MOK a file");
    bytes = gray;
    bytes[3] = 'b';
    EXPECT_LUMO_ERROR(Decode(bytes), "", "Unknown MOK Version");
    EXPECT_LUMO_ERROR(Decode(Bytes(gray.begin(), gray.begin() + 3)), "", "Unknown MOK Version");
    for (size_t cut = 4; cut < 10; ++cut)
        EXPECT_LUMO_ERROR(Decode(Bytes(gray.begin(), gray.begin() + cut)), "LumoLoadMok",
                          "test.mok: the MOK header is cut short");
    // A picture without pixels has no pyramid.
    EXPECT_LUMO_ERROR(Decode(Header('G', 0, 5, {0})), "LumoLoadMok",
                      "Image size 0 x 5 out of range (at most 65535 x 65535)");
    EXPECT_LUMO_ERROR(Decode(Header('C', 7, 0, {0, 0, 0})), "LumoLoadMok",
                      "Image size 7 x 0 out of range (at most 65535 x 65535)");
}

// Only "G" means gray: any other kind byte loads as colour.
TEST_F(MokTest, KindOtherThanGrayLoadsAsColour) {
    const ImagePtr colour = MakeNoiseImage(ImageKind::RGB, 9, 6, 4);
    Bytes bytes = Encode(*colour);
    bytes[4] = 'X';
    EXPECT_TRUE(SamePixels(*colour, *Decode(bytes)));
    bytes = Encode(*MakeNoiseImage(ImageKind::GRAY256, 9, 6, 4));
    bytes[4] = 'c';
    const ImagePtr loaded = Decode(bytes);
    EXPECT_TRUE(IsKind(*loaded, ImageKind::RGB));
    EXPECT_EQ(loaded->width, 9);
    EXPECT_EQ(loaded->height, 6);
}

// ---- Saving and the stream ----

TEST_F(MokTest, OnlyGrayAndColourPicturesAreSaved) {
    const std::string path = tempPath("refused.mok");
    for (const ImageKind kind : {ImageKind::BW, ImageKind::GRAY16, ImageKind::COLOR16, ImageKind::COLOR256}) {
        EXPECT_LUMO_ERROR(LumoSaveMok(MakePatternImage(kind, 4, 4).get(), path.c_str()), "LumoSaveMok",
                          "MOK Supports only GrayScale 256 and RGB");
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_LUMO_ERROR(LumoSaveMok(LumoCreateImage(0, 3, GRAY, nullptr, 8).get(), path.c_str()), "LumoSaveMok",
                      "Can't save an empty picture (0 x 3) as MOK");
    EXPECT_LUMO_ERROR(Encode(*LumoCreateImage(3, 0, COLOR, nullptr, 24)), "LumoSaveMok",
                      "Can't save an empty picture (3 x 0) as MOK");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(MokTest, StreamFieldsGoLeastSignificantBitFirstFromTheHighBitOfEachByte) {
    const std::string path = tempPath("bits.mok");
    MokStreamPtr out = LumoOpenMok(path.c_str(), "wb");
    EXPECT_EQ(out->status(), "wb");
    out->putBits(6, 3);  // 0 1 1
    out->putBit(1);
    out->putBits(0x12345678, 32);
    for (int count = 0; count <= 32; ++count) out->putBits(0xA5A5A5A5u + count, count);
    LumoCloseMok(std::move(out));
    const Bytes bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes[0] >> 4, 0x7);      // 0111
    EXPECT_EQ(bytes.back() & 0x0F, 0);  // 3 + 1 + 32 + 528 bits: the last byte ends in 4 zero bits
    EXPECT_EQ(bytes.size(), (3 + 1 + 32 + 528 + 7) / 8u);

    MokStreamPtr in = LumoOpenMok(path.c_str(), "r");
    EXPECT_EQ(in->status(), "rb");
    EXPECT_EQ(in->getBits(3), 6u);
    EXPECT_EQ(in->getBit(), 1);
    EXPECT_EQ(in->getBits(32), 0x12345678u);
    for (int count = 0; count <= 32; ++count)
        EXPECT_EQ(in->getBits(count), count == 32 ? 0xA5A5A5A5u + 32 : (0xA5A5A5A5u + count) & ((1u << count) - 1));
    EXPECT_EQ(in->getBits(4), 0u);            // the padding
    EXPECT_EQ(in->getBits(32), 0xFFFFFFFFu);  // past the end
    LumoCloseMok(std::move(in));

    EXPECT_LUMO_ERROR(LumoOpenMok(path.c_str(), "a"), "LumoOpenMok", "Illegal status: a");
    const std::string missing = tempPath("missing.mok");
    EXPECT_LUMO_ERROR(LumoOpenMok(missing.c_str(), "r"), "LumoOpenMok", "Can't open file " + missing + ": No such file or directory");
    EXPECT_LUMO_ERROR(LumoLoadMok(missing.c_str()), "LumoOpenMok", "Can't open file " + missing + ": No such file or directory");
}

TEST_F(MokTest, RatioIsTheOnlyOption) {
    EXPECT_EQ(LumoGetIntOptionMok("mokratio"), 1);
    EXPECT_LUMO_ERROR(LumoSetIntOptionMok("MokRatio", 2), "LumoSetIntOptionMok", "Unknown MOK option: MokRatio");
    EXPECT_LUMO_ERROR(LumoGetIntOptionMok("ratio"), "LumoGetIntOptionMok", "Unknown MOK option: ratio");
}

}  // namespace
