// Animated GIFs as the viewer plays them: frames composed on the logical screen with every disposal
// method, transparency, local tables, interlacing and frames smaller than the screen, checked
// against Pillow's frames composed over white.
#include "formats/gif/gif_frames.h"

#include <algorithm>
#include <iterator>

#include "core/messages.h"
#include "formats/gif/gif.h"
#include "tests/support/gif_builder.h"
#include "tests/support/lumo_test.h"

namespace {

using namespace gif_builder;

struct FrameSpec {
    int left, top, width, height;
    int disposal;     // 0-3
    int delay;        // hundredths
    int transparent;  // index, or -1 without
    bool localTable, interlaced;
    int seed;
};

// Codes that store each index as a literal (the table fills behind them, as an encoder's would).
std::vector<uint8_t> LiteralData(int codeSize, const std::vector<int>& indices) {
    std::vector<int> codes{1 << codeSize};
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i && i % 200 == 0) codes.push_back(1 << codeSize);  // a clear keeps the codes short
        codes.push_back(indices[i]);
    }
    codes.push_back((1 << codeSize) + 1);
    return SubBlocks(PackCodes(codeSize, codes), 255);
}

// A screen of 24 x 16 with an 8-entry global table, a loop extension and the frames given.
std::vector<uint8_t> Animation(const std::vector<FrameSpec>& frames, int repeats) {
    std::vector<uint8_t> b{'G', 'I', 'F', '8', '9', 'a'};
    AppendLE16(b, 24);
    AppendLE16(b, 16);
    Append(b, {0x82, 0, 0});
    for (int i = 0; i < 8; ++i) Append(b, {30 * i, 255 - 30 * i, (i * 97) & 255});
    Append(b, {'!', 0xFF, 11});
    for (char c : std::string("NETSCAPE2.0")) b.push_back(static_cast<uint8_t>(c));
    Append(b, {3, 1});
    AppendLE16(b, repeats);
    Append(b, {0});
    for (const FrameSpec& f : frames) {
        Append(b, {'!', 0xF9, 4, f.disposal << 2 | (f.transparent >= 0 ? 1 : 0)});
        AppendLE16(b, f.delay);
        Append(b, {f.transparent >= 0 ? f.transparent : 0, 0});
        Append(b, {','});
        for (int v : {f.left, f.top, f.width, f.height}) AppendLE16(b, v);
        Append(b, {(f.localTable ? 0x80 | 3 : 0) | (f.interlaced ? 0x40 : 0)});  // a local table of 16
        if (f.localTable)
            for (int i = 0; i < 16; ++i) Append(b, {(i * 53 + f.seed) & 255, (i * 29) & 255, 200 - 9 * i});
        std::vector<int> indices;
        for (int i = 0; i < f.width * f.height; ++i) indices.push_back((i * 7 + f.seed * (i / f.width)) % (f.localTable ? 16 : 8));
        const int codeSize = f.localTable ? 4 : 3;
        Append(b, {codeSize});
        const std::vector<uint8_t> data = LiteralData(codeSize, indices);
        b.insert(b.end(), data.begin(), data.end());
    }
    Append(b, {';'});
    return b;
}

class GifFramesTest : public LumoTest {};

// Each frame's screen against Pillow's frame composed over white, with the delays and loop count.
TEST_F(GifFramesTest, FramesEqualPillowsComposedOverWhite) {
    if (PillowPython().empty()) GTEST_SKIP() << "needs Pillow";
    const std::vector<FrameSpec> specs = {
        {0, 0, 20, 12, 1, 0, 3, false, false, 1},   // leave; transparent pixels show the white screen
        {4, 3, 8, 6, 2, 1, 5, true, true, 2},       // cleared to the background after; local table, interlaced
        {12, 5, 10, 9, 3, 25, 0, false, false, 3},  // restored to what was before it
        {2, 8, 6, 6, 1, 7, -1, true, false, 4},     // no transparency
        {0, 0, 24, 16, 1, 3, 6, false, true, 5},    // the whole screen, interlaced
    };
    const std::string path = tempPath("anim.gif");
    WriteBytes(path, Animation(specs, 0));
    const std::string script =
        "import sys\nfrom PIL import Image, ImageSequence\nim = Image.open(sys.argv[1])\n"
        "out = sys.stdout.buffer\nout.write(b'%d\\n' % im.info.get('loop', -1))\n"
        "for frame in ImageSequence.Iterator(im):\n"
        "    white = Image.new('RGBA', im.size, (255, 255, 255, 255))\n"
        "    white.alpha_composite(frame.convert('RGBA'))\n"
        "    out.write(b'%d ' % frame.info.get('duration', 0)); out.write(white.convert('RGB').tobytes())\n";
    const CommandResult pillow = RunCommand(PillowPython() + " -c " + ShellQuote(script) + " " + ShellQuote(path));
    ASSERT_EQ(pillow.status, 0) << pillow.output;
    size_t at = pillow.output.find('\n') + 1;
    EXPECT_EQ(pillow.output.substr(0, at), "0\n");

    GifFrames frames(path.c_str());
    const int delays[] = {10, 10, 25, 7, 3};  // under 2 hundredths shows as 10
    for (size_t k = 0; k < specs.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k + 1));
        ASSERT_TRUE(frames.next());
        EXPECT_EQ(frames.delay(), delays[k]);
        const size_t space = pillow.output.find(' ', at);
        ASSERT_NE(space, std::string::npos);
        at = space + 1;
        const IMG& screen = frames.screen();
        ASSERT_EQ(screen.width, 24);
        ASSERT_EQ(screen.height, 16);
        int differing = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x) {
                const auto* rgb = reinterpret_cast<const uint8_t*>(pillow.output.data() + at + 3 * (y * 24 + x));
                const uint32_t expected = static_cast<uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
                if (PixelColour(screen, x, y) != expected && differing++ < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << PixelColour(screen, x, y)
                                  << ", Pillow's " << expected;
            }
        at += 3 * 24 * 16;
    }
    EXPECT_EQ(frames.plays(), 0);  // known once the first frame is read
    EXPECT_FALSE(frames.next());
    EXPECT_EQ(frames.count(), specs.size());
    EXPECT_EQ(CountGifFrames(path.c_str()), specs.size());

    // "No disposal specified" leaves the frame in place, as browsers do (Pillow takes it otherwise).
    std::vector<FrameSpec> unspecified = specs;
    unspecified[3].disposal = 0;
    const std::vector<uint8_t> bytes = Animation(unspecified, 0);
    GifFrames left(path.c_str()), zero(bytes.data(), bytes.size(), "zero.gif");
    while (left.next()) {
        ASSERT_TRUE(zero.next());
        EXPECT_TRUE(SamePixels(left.screen(), zero.screen())) << "frame " << left.count();
    }
}

// The first image alone stays what LumoLoadGif gives; "frame" N gives the composed screen; frames
// reaching past the screen are clipped; a file cut inside a later frame ends with the frames before.
TEST_F(GifFramesTest, FrameOptionClippingAndCutFiles) {
    const std::vector<FrameSpec> specs = {{0, 0, 5, 4, 1, 10, -1, false, false, 1},
                                          {20, 12, 9, 9, 1, 10, -1, true, false, 2}};
    const std::vector<uint8_t> bytes = Animation(specs, 2);
    const std::string path = tempPath("clip.gif");
    WriteBytes(path, bytes);
    EXPECT_EQ(LumoLoadGif(path.c_str())->width, 5);
    LumoSetIntOptionGif("frame", 2);
    const ImagePtr second = LumoLoadGif(path.c_str());
    LumoSetIntOptionGif("frame", 3);
    EXPECT_LUMO_ERROR(LumoLoadGif(path.c_str()), "LumoLoadGif", path + " has no frame 3");
    LumoSetIntOptionGif("frame", 0);
    ASSERT_EQ(second->width, 24);
    EXPECT_EQ(PixelColour(*second, 10, 10), 0xFFFFFFu);  // never drawn on
    EXPECT_NE(PixelColour(*second, 23, 15), 0xFFFFFFu);  // the clipped frame's corner

    GifFrames frames(bytes.data(), bytes.size() - 30, "cut.gif");
    EXPECT_TRUE(frames.next());
    EXPECT_EQ(frames.plays(), 3);
    EXPECT_FALSE(frames.next());
    EXPECT_EQ(frames.count(), 1u);
    for (size_t cut = 0; cut < bytes.size(); cut += 3) {
        try {
            GifFrames reader(bytes.data(), cut, "cut.gif");
            while (reader.next()) {
            }
        } catch (const LumoFailure&) {
        }
    }
}

constexpr uint8_t kControl[] = {'!', 0xF9};

// A tiny file declaring a huge screen, or a huge frame, is refused before the memory is taken.
TEST_F(GifFramesTest, HugeScreensAndFramesAreRefusedBeforeAllocating) {
    std::vector<uint8_t> screen = Animation({{0, 0, 2, 2, 0, 0, -1, false, false, 1}}, 0);
    screen[6] = screen[7] = screen[8] = screen[9] = 0xFF;  // 65535 x 65535
    EXPECT_THROW(GifFrames(screen.data(), screen.size(), "huge.gif"), LumoFailure);
    std::vector<uint8_t> frame = Animation({{0, 0, 2, 2, 0, 0, -1, false, false, 1}}, 0);
    const size_t control = static_cast<size_t>(std::search(frame.begin(), frame.end(), std::begin(kControl), std::end(kControl)) - frame.begin());
    const size_t separator = control + 8, width = separator + 5;  // after the 8-byte graphic control extension
    ASSERT_EQ(frame[separator], ',');
    frame[width] = frame[width + 1] = frame[width + 2] = frame[width + 3] = 0xFF;  // 65535 x 65535
    GifFrames reader(frame.data(), frame.size(), "frame.gif");
    EXPECT_THROW(reader.next(), LumoFailure);
}

}  // namespace
