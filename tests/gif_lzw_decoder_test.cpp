// The GIF decoder on data longer than it holds at a time: strings copied in chunks near the end of
// the picture, codes that straddle its refills, and files that end inside the data.
#include <algorithm>

#include "formats/gif/gif.h"
#include "tests/support/gif_builder.h"
#include "tests/support/gif_reference.h"
#include "tests/support/lumo_test.h"

namespace {

using namespace gif_builder;

class GifLzwDecoderTest : public LumoTest {};

ImagePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "memory.gif");
    return LoadGifFrom(file);
}

std::vector<uint8_t> Indices(const IMG& image) {
    std::vector<uint8_t> indices;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) indices.push_back(static_cast<uint8_t>(PixelAt(image, x, y)));
    return indices;
}

// Indices 1..levels-1 (never 0, so that zeros show where decoding stopped): noise, short runs and
// now and then a run of hundreds, which makes strings far longer than a copy chunk.
std::vector<uint8_t> MixedIndices(size_t count, int levels, uint32_t seed) {
    std::vector<uint8_t> indices;
    const auto next = [&seed](uint32_t n) { return ((seed = seed * 1664525u + 1013904223u) >> 8) % n; };
    while (indices.size() < count) {
        const uint32_t kind = next(1000);
        const size_t run = kind < 3 ? 50 + next(400) : kind < 300 ? 1 + next(6) : 1;
        indices.insert(indices.end(), run, static_cast<uint8_t>(1 + next(static_cast<uint32_t>(levels - 1))));
    }
    indices.resize(count);
    return indices;
}

// A picture of width x height whose data sub-blocks are blocks; 16-entry palettes for code sizes
// up to 4 (decoded through a work buffer), 256 entries above (decoded in place).
GifParts Picture(int width, int height, int codeSize, std::vector<uint8_t> blocks) {
    GifParts parts;
    parts.screenFlags = codeSize <= 4 ? 0x83 : 0x87;
    parts.width = width;
    parts.height = height;
    parts.codeSize = codeSize;
    parts.blocks = std::move(blocks);
    return parts;
}

struct LongStream {
    const char* name;
    int codeSize;
    size_t blockSize;
};
void PrintTo(const LongStream& c, std::ostream* os) { *os << c.name; }

class LongStreamTest : public GifLzwDecoderTest, public ::testing::WithParamInterface<LongStream> {};

TEST_P(LongStreamTest, DecodesEveryPixel) {
    const LongStream& c = GetParam();
    const int width = 1013, height = 711;
    const std::vector<uint8_t> indices = MixedIndices(size_t{width} * height, 1 << std::min(c.codeSize, 8), 7);
    const std::vector<uint8_t> data = gif_reference::EncodeLzw(indices, c.codeSize);
    ASSERT_GT(data.size(), 65536u) << "the data must outgrow the decoder's buffer";
    ImagePtr image = LoadBytes(Picture(width, height, c.codeSize, SubBlocks(data, c.blockSize)).build());
    EXPECT_EQ(Indices(*image), indices);
    EXPECT_TRUE(warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(Streams, LongStreamTest,
                         ::testing::Values(LongStream{"two_bit_codes_in_single_bytes", 2, 1},
                                           LongStream{"four_bit_codes_in_odd_blocks", 4, 7},
                                           LongStream{"eight_bit_codes_in_two_byte_blocks", 8, 2},
                                           LongStream{"eight_bit_codes_in_full_blocks", 8, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

// Long random code streams with clears, strings being defined, codes past the table and no end
// code decode as the plain decoder decodes them, with the same warnings.
TEST_F(GifLzwDecoderTest, LongDamagedStreamsDecodeAsThePlainDecoder) {
    uint32_t state = 11;
    const auto next = [&state](uint32_t n) { return ((state = state * 1664525u + 1013904223u) >> 8) % n; };
    for (const int codeSize : {3, 11}) {
        const int clear = 1 << codeSize;
        std::vector<int> codes;
        CodeWidths widths(codeSize);
        for (int i = 0; i < 300000; ++i) {
            const uint32_t r = next(10000);
            int code = r < 3      ? clear
                       : r < 300  ? widths.maxCode()
                       : r < 305  ? widths.maxCode() + 1 + static_cast<int>(next(3))
                       : r < 2500 ? static_cast<int>(next(static_cast<uint32_t>(clear)))
                                  : clear + 2 + static_cast<int>(next(static_cast<uint32_t>(widths.maxCode() - clear - 1)));
            if (code >= 1 << widths.width()) code = static_cast<int>(next(static_cast<uint32_t>(clear)));
            codes.push_back(code);
            widths.after(code);
        }
        const std::vector<uint8_t> data = PackCodes(codeSize, codes);
        for (const size_t blockSize : {size_t{3}, size_t{255}}) {
            warnings.clear();
            // More pixels than the codes make, so that the data runs out.
            const GifParts parts = Picture(1500, 1000, codeSize, SubBlocks(data, blockSize));
            ImagePtr image = LoadBytes(parts.build());
            const gif_reference::Decoded expected = gif_reference::DecodeLzw(data, codeSize, size_t{1500} * 1000);
            ASSERT_EQ(Indices(*image), expected.pixels) << "code size " << codeSize << ", blocks of " << blockSize;
            std::vector<std::string> texts;
            for (const Report& w : warnings) texts.push_back(w.text);
            EXPECT_EQ(texts, expected.warnings) << "code size " << codeSize << ", blocks of " << blockSize;
        }
    }
}

// The data is read ahead of the decoding, but a file that ends inside it fails only when the
// decoder needs the missing bytes: every pixel the whole sub-blocks hold is decoded first, with its
// progress reports, and a file that holds every pixel's codes loads whatever follows them.
TEST_F(GifLzwDecoderTest, AFileEndingInTheDataFailsOnlyWhenTheMissingBytesAreNeeded) {
    const int width = 800, height = 400;
    const std::vector<uint8_t> indices = MixedIndices(size_t{width} * height, 256, 3);
    const std::vector<uint8_t> blocks = SubBlocks(gif_reference::EncodeLzw(indices, 8), 255);
    const std::vector<uint8_t> file = Picture(width, height, 8, blocks).build();
    const size_t dataStart = file.size() - blocks.size() - 1;
    const size_t wholeBlocks = blocks.size() / 256 * 3 / 4;
    ASSERT_GT(wholeBlocks * 255, 2u * 65536);

    // The same whole blocks, then the end of the data: decoded up to a first zero.
    std::vector<uint8_t> ended(file.begin(), file.begin() + static_cast<long>(dataStart + 256 * wholeBlocks));
    Append(ended, {0, ';'});
    const std::vector<uint8_t> partial = Indices(*LoadBytes(ended));
    const size_t decoded = static_cast<size_t>(std::find(partial.begin(), partial.end(), 0) - partial.begin());
    ASSERT_GT(decoded, 0u);
    ASSERT_LT(decoded, partial.size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + static_cast<long>(decoded), indices.begin()));

    // Cut inside the next block: the rows up to the one that needs it are reported, then the error.
    progress.clear();
    warnings.clear();
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(dataStart + 256 * wholeBlocks + 100));
    EXPECT_LUMO_ERROR(LoadBytes(cut), "LumoLoadGif", "Premature EOF in GIF file");
    std::vector<int> rows{-1};
    for (size_t y = 0; y <= decoded / width; ++y) rows.push_back(static_cast<int>(y * 100 / height));
    EXPECT_EQ(progress, rows);
    EXPECT_TRUE(warnings.empty());

    // Every pixel's codes are there; the zero-length block and the trailer are not.
    errors.clear();
    const std::vector<uint8_t> complete(file.begin(), file.end() - 2);
    EXPECT_EQ(Indices(*LoadBytes(complete)), indices);
    EXPECT_TRUE(errors.empty());
}

}  // namespace
