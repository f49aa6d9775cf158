// The LZW encoder against the plain 5003-slot string table, byte for byte: every minimum code size,
// pixels that crowd the table's slot 0 (where the plain table loses a string), long runs and noise,
// and the pixels handed over in pieces of every size, so that a piece can end anywhere: mid-string,
// on a full table, or just after a clear.
#include "formats/gif/gif_lzw_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/gif_reference.h"

namespace {

// The data bytes of the sub-blocks the encoder wrote, without their length bytes.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& pixels, int minCodeSize, size_t piece) {
    std::vector<uint8_t> blocks;
    const ByteSink sink = [&blocks](const uint8_t* bytes, size_t count) {
        blocks.insert(blocks.end(), bytes, bytes + count);
    };
    GifLzwEncoder encoder(minCodeSize, sink);
    for (size_t at = 0; at < pixels.size(); at += piece)
        encoder.encode(pixels.data() + at, std::min(piece, pixels.size() - at));
    encoder.finish();

    std::vector<uint8_t> data;
    for (size_t at = 0; at < blocks.size();) {
        const size_t length = blocks[at++];
        EXPECT_TRUE(length == 254 || at + length == blocks.size()) << "only the last sub-block is short";
        data.insert(data.end(), blocks.begin() + static_cast<long>(at), blocks.begin() + static_cast<long>(at + length));
        at += length;
    }
    return data;
}

enum class Mix { Noise, SlotZero, Runs };

std::vector<uint8_t> MakePixels(Mix mix, int minCodeSize, size_t count, uint32_t seed) {
    const uint32_t levels = 1u << minCodeSize;
    std::vector<uint8_t> pixels(count);
    uint32_t state = seed;
    const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    uint32_t value = 0;
    for (uint8_t& pixel : pixels) {
        const uint32_t r = next();
        switch (mix) {
            case Mix::Noise:
                value = r % levels;
                break;
            case Mix::SlotZero:
                // Index 0, and the index whose strings' first plain slot is 0 after prefix 0 or 16.
                value = r % 8 < 3 ? 0 : r % 8 < 5 ? 16 % levels : r % 8 < 6 ? 1 : (r >> 4) % levels;
                break;
            case Mix::Runs:
                if (r % 16 == 0) value = (r >> 4) % levels;
                break;
        }
        pixel = static_cast<uint8_t>(value);
    }
    return pixels;
}

struct Case {
    Mix mix;
    int minCodeSize;
    size_t count;
};
void PrintTo(const Case& c, std::ostream* os) {
    static const char* const kMixes[] = {"Noise", "SlotZero", "Runs"};
    *os << kMixes[static_cast<int>(c.mix)] << ", code size " << c.minCodeSize << ", " << c.count << " pixels";
}

class GifLzwEncoderTest : public testing::TestWithParam<Case> {};

TEST_P(GifLzwEncoderTest, WritesThePlainTablesStreamWhateverThePieces) {
    const Case c = GetParam();
    const std::vector<uint8_t> pixels = MakePixels(c.mix, c.minCodeSize, c.count, 7 + c.minCodeSize);
    const std::vector<uint8_t> expected = gif_reference::EncodeLzw(pixels, c.minCodeSize);
    for (const size_t piece : {c.count, size_t{1}, size_t{7}, size_t{4093}})
        EXPECT_EQ(Encode(pixels, c.minCodeSize, std::max<size_t>(piece, 1)), expected) << "pieces of " << piece;
}

INSTANTIATE_TEST_SUITE_P(Pictures, GifLzwEncoderTest,
                         testing::Values(Case{Mix::Noise, 2, 60000}, Case{Mix::Noise, 3, 60000},
                                         Case{Mix::Noise, 5, 60000}, Case{Mix::Noise, 8, 200000},
                                         Case{Mix::SlotZero, 4, 120000}, Case{Mix::SlotZero, 8, 300000},
                                         Case{Mix::Runs, 2, 100000}, Case{Mix::Runs, 8, 400000},
                                         Case{Mix::Noise, 8, 1}, Case{Mix::Noise, 8, 0}));

}  // namespace
