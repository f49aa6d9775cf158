#include "formats/tiff/tiff_lzw_encoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <random>
#include <string>
#include <vector>

#include "formats/tiff/tiff.h"
#include "tests/support/lumo_test.h"

namespace {

// A strict reader of one LZW strip, written from the TIFF rules rather than from libtiff (Pillow
// and ImageMagick decode TIFF LZW through libtiff): ClearCode first, codes 9 bits wide and one bit
// wider once the table reaches 511, 1023 and 2047 entries, no entry at 4094 or beyond (the writer
// must clear first), EndOfInformation last and nothing after it but the zero bits of the last byte.
struct Decoded {
    std::string error;           // empty when the stream follows the rules
    std::vector<uint8_t> bytes;
    size_t codes = 0;            // every code read, ClearCode and EndOfInformation included
    size_t clears = 0;
    int endWidth = 0;            // the width of the EndOfInformation code
};

Decoded DecodeStrict(std::span<const uint8_t> stream) {
    Decoded result;
    size_t bitPosition = 0;
    const auto read = [&](int width) -> int {
        if (bitPosition + width > stream.size() * 8) return -1;
        int code = 0;
        for (int i = 0; i < width; ++i, ++bitPosition)
            code = code << 1 | (stream[bitPosition / 8] >> (7 - bitPosition % 8) & 1);
        return code;
    };
    std::vector<std::vector<uint8_t>> table;
    int width = 9;
    int previous = -1;  // code read before this one since the last clear
    for (;;) {
        const int code = read(width);
        if (code < 0) return result.error = "no EndOfInformation code", result;
        ++result.codes;
        if (result.codes == 1 && code != 256) return result.error = "first code is not ClearCode", result;
        if (code == 256) {
            ++result.clears;
            table.assign(258, {});
            for (int i = 0; i < 256; ++i) table[i] = {static_cast<uint8_t>(i)};
            width = 9;
            previous = -1;
            continue;
        }
        if (code == 257) break;
        if (code > static_cast<int>(table.size()) || (code == static_cast<int>(table.size()) && previous < 0))
            return result.error = "code " + std::to_string(code) + " not in the table", result;
        if (previous >= 0) {
            if (table.size() >= 4094) return result.error = "table passes 4094 entries without a clear", result;
            std::vector<uint8_t> entry = table[previous];
            entry.push_back(code < static_cast<int>(table.size()) ? table[code][0] : table[previous][0]);
            table.push_back(std::move(entry));
            if (table.size() + 1 >= (size_t{1} << width) && width < 12) ++width;
        }
        result.bytes.insert(result.bytes.end(), table[code].begin(), table[code].end());
        previous = code;
    }
    result.endWidth = width;
    if ((stream.size() * 8 - bitPosition) >= 8) return result.error = "bytes after EndOfInformation", result;
    if (bitPosition % 8 && (stream.back() & (0xFF >> bitPosition % 8)))
        return result.error = "padding bits are not zero", result;
    return result;
}

// Bytes in which no pair of neighbours occurs twice (a de Bruijn sequence of 256 symbols, order 2:
// the Lyndon words 0, 0 1, 0 2 .. 255 in order): every byte is a code of its own, so count bytes
// fill the table with exactly count - 1 strings plus the one the reader adds for the last code.
std::vector<uint8_t> DistinctPairs(size_t count) {
    std::vector<uint8_t> bytes;
    for (int a = 0; a < 256 && bytes.size() < count; ++a) {
        bytes.push_back(static_cast<uint8_t>(a));
        for (int b = a + 1; b < 256; ++b) bytes.insert(bytes.end(), {static_cast<uint8_t>(a), static_cast<uint8_t>(b)});
    }
    bytes.resize(count);
    return bytes;
}

std::vector<uint8_t> Noise(size_t count) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

struct StripCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int width;           // the strip saved as a gray picture of this width, all rows in one strip
    size_t clears;       // expected ClearCodes (0: not checked) ...
    int endWidth;        // expected width of the EndOfInformation code (0: not checked)
    bool atLeast = false;  // ... or the least number of ClearCodes expected
};

// Distinct pairs: the reader's table holds 257 + count entries when the EndOfInformation code comes
// (less the 3836 of each clear), so the count decides the width of that code exactly.
StripCase Pairs(const char* name, size_t count, size_t clears, int endWidth) {
    return {name, DistinctPairs(count), static_cast<int>(count), clears, endWidth};
}

std::vector<StripCase> StripCases() {
    return {
        {"OneByte", {0x5A}, 1, 1, 9},
        // 775 codes, strings of 1 to 775 bytes: the table reaches 1032 entries.
        {"RunOfOneByteValue", std::vector<uint8_t>(300000, 0xC3), 1000, 1, 11},
        // Random bytes fill the table every 5 KB or so.
        {"NoiseClearsManyTimes", Noise(1 << 20), 1024, 100, 0, true},
        Pairs("Table510", 253, 1, 9), Pairs("Table511", 254, 1, 10), Pairs("Table512", 255, 1, 10),
        Pairs("Table1022", 765, 1, 10), Pairs("Table1023", 766, 1, 11), Pairs("Table1024", 767, 1, 11),
        Pairs("Table2046", 1789, 1, 11), Pairs("Table2047", 1790, 1, 12), Pairs("Table2048", 1791, 1, 12),
        // The 3836th code takes the table to 4094: a ClearCode follows it, even as the last code.
        Pairs("Table4093", 3835, 1, 12), Pairs("Table4094", 3836, 2, 9), Pairs("AfterClear", 3837, 2, 9),
        Pairs("SecondTable4094", 7672, 3, 9), Pairs("SecondTableFirstCode", 7673, 3, 9),
    };
}

class TiffLzwStrips : public LumoTest, public ::testing::WithParamInterface<StripCase> {
protected:
    void TearDown() override {
        LumoSetIntOptionTiff("compression", 1);
        LumoSetIntOptionTiff("rowsperstrip", 0);
        LumoTest::TearDown();
    }
};

TEST_P(TiffLzwStrips, ReadBackByEveryDecoder) {
    const StripCase& c = GetParam();
    TiffLzwEncoder encoder;
    const std::span<const uint8_t> coded = encoder.encode(c.bytes.data(), c.bytes.size());
    const std::vector<uint8_t> stream(coded.begin(), coded.end());
    EXPECT_LE(stream.size(), TiffLzwEncoder::maxEncodedSize(c.bytes.size()));
    const Decoded strict = DecodeStrict(stream);
    ASSERT_EQ(strict.error, "");
    EXPECT_TRUE(strict.bytes == c.bytes) << "strict reader: other bytes";
    if (c.atLeast) {
        EXPECT_GE(strict.clears, c.clears);
    } else if (c.clears) {
        EXPECT_EQ(strict.clears, c.clears);
    }
    if (c.endWidth) {
        EXPECT_EQ(strict.endWidth, c.endWidth);
    }
    if (c.endWidth && c.width == static_cast<int>(c.bytes.size())) {  // distinct pairs: one code per byte
        EXPECT_EQ(strict.codes, c.bytes.size() + strict.clears + 1);
    }

    // The same bytes saved as one strip of a gray picture, read by libtiff's decoder and the tools.
    const int height = static_cast<int>(c.bytes.size() / c.width);
    const ImagePtr image = LumoCreateImage(c.width, height, GRAY, nullptr, 8);
    for (int y = 0; y < height; ++y) std::memcpy(PictureRow(*image, y), c.bytes.data() + size_t{1} * y * c.width, c.width);
    LumoSetIntOptionTiff("compression", 5);
    LumoSetIntOptionTiff("rowsperstrip", height);
    const std::string path = tempPath("strip.tif");
    LumoSaveTiff(image.get(), path.c_str());

    TiffHandle tiff = LumoOpenTiff(path.c_str(), "r");
    ASSERT_EQ(TIFFNumberOfStrips(tiff.get()), 1u);
    std::vector<uint8_t> raw(stream.size() + 1);
    ASSERT_EQ(TIFFReadRawStrip(tiff.get(), 0, raw.data(), static_cast<tmsize_t>(raw.size())),
              static_cast<tmsize_t>(stream.size()));
    raw.resize(stream.size());
    EXPECT_TRUE(raw == stream) << "the saver's strip differs from the encoder's";
    std::vector<uint8_t> decoded(c.bytes.size());
    EXPECT_EQ(TIFFReadEncodedStrip(tiff.get(), 0, decoded.data(), static_cast<tmsize_t>(decoded.size())),
              static_cast<tmsize_t>(decoded.size()));
    EXPECT_EQ(tiff.error(), "");
    EXPECT_TRUE(decoded == c.bytes) << "libtiff: other bytes";
    EXPECT_TRUE(warnings.empty()) << warnings[0].text;

    const std::string python = PillowPython();
    if (!python.empty()) {
        const std::string script = "import sys\nfrom PIL import Image\nsys.stdout.buffer.write(Image.open(sys.argv[1]).tobytes())\n";
        const CommandResult pillow = RunCommand(python + " -c " + ShellQuote(script) + " " + ShellQuote(path) + " 2>/dev/null");
        EXPECT_EQ(pillow.status, 0);
        EXPECT_TRUE(std::vector<uint8_t>(pillow.output.begin(), pillow.output.end()) == c.bytes) << "Pillow";
    }
    if (HaveTool("convert")) {
        const CommandResult magick = RunCommand("convert " + ShellQuote(path) + " -depth 8 gray:- 2>/dev/null");
        EXPECT_EQ(magick.status, 0);
        EXPECT_TRUE(std::vector<uint8_t>(magick.output.begin(), magick.output.end()) == c.bytes) << "ImageMagick";
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, TiffLzwStrips, ::testing::ValuesIn(StripCases()),
                         [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); });

// An empty strip is still a whole stream, and a table left full by one strip is not seen by the next.
TEST(TiffLzwEncoder, EachStripStartsAfresh) {
    TiffLzwEncoder encoder;
    const std::span<const uint8_t> empty = encoder.encode(nullptr, 0);
    EXPECT_EQ(std::vector<uint8_t>(empty.begin(), empty.end()), (std::vector<uint8_t>{0x80, 0x40, 0x40}));  // 256, 257 in 9 bits each

    const std::vector<uint8_t> first = DistinctPairs(3000);
    const std::vector<uint8_t> second(first.begin(), first.begin() + 100);
    encoder.encode(first.data(), first.size());
    const std::span<const uint8_t> coded = encoder.encode(second.data(), second.size());
    TiffLzwEncoder fresh;
    const std::span<const uint8_t> expected = fresh.encode(second.data(), second.size());
    EXPECT_TRUE(std::equal(coded.begin(), coded.end(), expected.begin(), expected.end()));
    EXPECT_EQ(DecodeStrict({coded.begin(), coded.end()}).bytes, second);
}

// ---------------------------------------------------------------------------------------------
// The saver's strips: rows as the file holds them (red, green, blue; padding zeroed; differenced
// with the predictor), each strip a stream of its own.
// ---------------------------------------------------------------------------------------------

struct KindCase {
    ImageKind kind;
    bool predictor;
};

class TiffLzwSaverStrips : public LumoTest, public ::testing::WithParamInterface<KindCase> {
protected:
    void TearDown() override {
        LumoSetIntOptionTiff("compression", 1);
        LumoSetIntOptionTiff("predictor", 0);
        LumoSetIntOptionTiff("rowsperstrip", 0);
        LumoTest::TearDown();
    }
};

TEST_P(TiffLzwSaverStrips, StripsHoldThePackedRows) {
    const auto [kind, predictor] = GetParam();
    // 61 x 23: rows of 1 and 4 bits end inside a byte; strips of 5 rows leave a short last one.
    const ImagePtr image = MakePatternImage(kind, 61, 23);
    std::memset(image->bits, 0xFF, image->rowBytes);  // the bottom row, padding bytes included
    LumoSetIntOptionTiff("compression", 5);
    LumoSetIntOptionTiff("predictor", predictor);
    LumoSetIntOptionTiff("rowsperstrip", 5);
    const std::string path = tempPath("kind.tif");
    LumoSaveTiff(image.get(), path.c_str());

    const int bits = image->bitsPerPixel;
    const size_t rowBytes = (size_t{61} * bits + 7) / 8;
    const bool differenced = predictor && bits >= 8;
    const size_t step = bits == 24 ? 3 : 1;
    TiffHandle tiff = LumoOpenTiff(path.c_str(), "r");
    ASSERT_EQ(TIFFNumberOfStrips(tiff.get()), 5u);
    for (int strip = 0; strip < 5; ++strip) {
        // What the strip must hold, built here from the pixels.
        std::vector<uint8_t> rows, coded;
        for (int y = strip * 5; y < std::min(23, strip * 5 + 5); ++y) {
            std::vector<uint8_t> row(rowBytes, 0);
            for (int x = 0; x < 61; ++x) {
                const uint32_t value = PixelAt(*image, x, y);
                if (bits == 24)
                    for (int s = 0; s < 3; ++s) row[3 * x + s] = static_cast<uint8_t>(value >> (16 - 8 * s));
                else
                    row[x * bits / 8] |= static_cast<uint8_t>(value << (8 - bits - x * bits % 8));
            }
            rows.insert(rows.end(), row.begin(), row.end());
            for (size_t i = rowBytes; differenced && i-- > step;) row[i] = static_cast<uint8_t>(row[i] - row[i - step]);
            coded.insert(coded.end(), row.begin(), row.end());
        }
        std::vector<uint8_t> raw(static_cast<size_t>(TIFFRawStripSize(tiff.get(), strip)));
        raw.resize(static_cast<size_t>(TIFFReadRawStrip(tiff.get(), strip, raw.data(), static_cast<tmsize_t>(raw.size()))));
        const Decoded strict = DecodeStrict(raw);
        EXPECT_EQ(strict.error, "") << "strip " << strip;
        EXPECT_TRUE(strict.bytes == coded) << "strip " << strip << " as coded";
        std::vector<uint8_t> decoded(rows.size());
        EXPECT_EQ(TIFFReadEncodedStrip(tiff.get(), strip, decoded.data(), static_cast<tmsize_t>(decoded.size())),
                  static_cast<tmsize_t>(decoded.size()));
        EXPECT_TRUE(decoded == rows) << "strip " << strip << " through libtiff";
    }
    EXPECT_EQ(tiff.error(), "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, TiffLzwSaverStrips,
                         ::testing::Values(KindCase{ImageKind::BW, false}, KindCase{ImageKind::GRAY16, false},
                                           KindCase{ImageKind::GRAY256, false}, KindCase{ImageKind::GRAY256, true},
                                           KindCase{ImageKind::COLOR16, false}, KindCase{ImageKind::COLOR256, false},
                                           KindCase{ImageKind::COLOR256, true}, KindCase{ImageKind::RGB, false},
                                           KindCase{ImageKind::RGB, true}),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                             return std::string(KindName(info.param.kind)) + (info.param.predictor ? "Predictor" : "");
                         });

}  // namespace
