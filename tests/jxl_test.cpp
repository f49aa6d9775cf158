// What is particular to JPEG XL (read only): files of cjxl (lossless and lossy, gray, 16-bit, alpha,
// the container, an animation) load with djxl's pixels seen over white; the header info agrees with
// the load; cut and damaged files fail cleanly; a header that promises too large a picture is
// refused before anything is allocated.
#include <cstring>
#include <random>

#include "core/convert.h"
#include "formats/dispatch.h"
#include "formats/jxl/jxl.h"
#include "formats/png/png.h"
#include "formats/signature.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"

namespace {

ImagePtr Decode(const std::vector<uint8_t>& bytes) {
    InputFile file(bytes.data(), bytes.size(), "test.jxl");
    return LoadJxlFrom(file);
}

int LargestDifference(const IMG& a, const IMG& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t p = ShownColour(a, x, y), q = ShownColour(b, x, y);
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>(p >> shift & 0xFF) - static_cast<int>(q >> shift & 0xFF)));
        }
    return worst;
}

// cjxl's file of a picture ImageMagick draws, and djxl's PNG of it (alpha kept, which our PNG loader
// composites over white as the JPEG XL loader does). djxl writes the file's depth: its
// --bits_per_sample=8 scrambles 16-bit pictures in libjxl 0.7, so 16-bit PNGs are reduced by our
// PNG loader instead, which may round a level apart from libjxl.
struct Made {
    std::string jxl, png;
};

class JxlTest : public LumoTest {
protected:
    // picture: ImageMagick's arguments, ending in a name whose extension is the source's format.
    Made make(const std::string& name, const std::string& picture, const std::string& options) {
        const Made made{tempPath(name + ".jxl"), tempPath(name + "-djxl.png")};
        const std::string source = tempPath(name + picture.substr(picture.rfind('.')));
        EXPECT_EQ(RunCommand("convert " + picture.substr(0, picture.rfind(' ') + 1) + ShellQuote(source)).status, 0) << name;
        EXPECT_EQ(RunCommand("cjxl " + ShellQuote(source) + " " + ShellQuote(made.jxl) + " " + options + " > /dev/null 2>&1").status, 0)
            << name;
        EXPECT_EQ(RunCommand("djxl " + ShellQuote(made.jxl) + " " + ShellQuote(made.png) + " > /dev/null 2>&1").status, 0)
            << name;
        return made;
    }
};

TEST_F(JxlTest, ReferenceEncoderFilesLoadWithDjxlsPixelsOverWhite) {
    if (!HaveTool("cjxl") || !HaveTool("djxl") || !HaveTool("convert")) GTEST_SKIP() << "cjxl, djxl or ImageMagick missing";
    struct Case {
        const char* name;
        const char* picture;  // ImageMagick's arguments, ending in the source's extension
        const char* options;
        ImageKind kind;
    };
    const Case cases[] = {
        {"lossless", "-size 37x23 gradient:red-blue -depth 8 x.png", "-d 0", ImageKind::RGB},
        {"lossy", "-size 37x23 plasma:fractal -depth 8 x.png", "-d 1", ImageKind::RGB},
        {"gray", "-size 37x23 gradient:black-white -colorspace gray -depth 8 x.png", "-d 0", ImageKind::GRAY256},
        {"16-bit", "-size 37x23 gradient:red-blue -depth 16 x.ppm", "-d 0.5", ImageKind::RGB},
        {"alpha", "-size 37x23 gradient:red-blue ( -size 37x23 gradient:white-black ) -alpha off -compose copy_opacity "
                  "-composite -depth 8 x.png", "-d 0", ImageKind::RGB},
        {"container", "-size 37x23 gradient:green-yellow -depth 8 x.png", "-d 0 --container=1", ImageKind::RGB},
        {"animation", "-delay 10 -size 37x23 xc:red xc:lime -loop 0 x.gif", "", ImageKind::RGB},
    };
    for (const Case& c : cases) {
        std::string picture = c.picture;
        for (size_t at = 0; (at = picture.find_first_of("()", at)) != std::string::npos; at += 2) picture.insert(at, "\\");
        const Made made = make(c.name, picture, c.options);
        const ImagePtr ours = LoadImageByExtension(made.jxl.c_str());
        ASSERT_TRUE(ours) << c.name;
        EXPECT_EQ(KindOf(*ours), c.kind) << c.name;
        const std::optional<ImageInfo> info = ReadImageInfo(made.jxl.c_str());
        ASSERT_TRUE(info) << c.name;
        EXPECT_EQ(info->width, 37);
        EXPECT_EQ(info->kind, c.kind) << c.name;
        if (std::string(c.name) == "animation") {
            EXPECT_EQ(ShownColour(*ours, 5, 5), 0xFF0000u) << "the first frame is red";
            continue;  // djxl writes every frame
        }
        EXPECT_LE(LargestDifference(*LumoLoadPng(made.png.c_str()), *ours), std::string(c.name) == "16-bit" ? 1 : 0)
            << c.name;
    }
}

TEST_F(JxlTest, SignatureAndCutOrDamagedFiles) {
    if (!HaveTool("cjxl") || !HaveTool("convert")) GTEST_SKIP() << "cjxl or ImageMagick missing";
    const Made made = make("cut", "-size 29x17 plasma:fractal -depth 8 x.png", "-d 1");
    const std::vector<uint8_t> whole = ReadBytes(made.jxl);
    EXPECT_EQ(SignatureOf(whole.data(), whole.size()).extension, "jxl");
    const std::string misnamed = tempPath("picture.avif");
    WriteBytes(misnamed, whole);
    EXPECT_TRUE(LoadImageByExtension(misnamed.c_str()));
    EXPECT_LUMO_ERROR(Decode({0xFF, 0xD8, 0xFF}), "LumoLoadJxl", "Not a JPEG XL file: test.jxl");
    EXPECT_THROW(Decode(std::vector<uint8_t>(whole.begin(), whole.end() - 1)), LumoFailure);
    std::mt19937 random(7);
    for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 8) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
        EXPECT_THROW(Decode(bytes), LumoFailure) << cut;
        bytes = whole;
        bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        try {
            Decode(bytes);
        } catch (const LumoFailure&) {
        }
    }
}

// A codestream whose header asks for 65535 x 65535 pixels (and one of 70000 x 8): the size header
// written by hand (after FF 0A: a 0 bit for "not small", then height and width as 2-bit selector 3
// and 30 bits of size - 1, then the aspect ratio 0, least significant bits first; then the image
// metadata's "all default" bit).
std::vector<uint8_t> CodestreamOfSize(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = {0xFF, 0x0A};
    int count = 0;
    auto put = [&](uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++count) {
            if (count % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>((value >> i & 1) << (count % 8));
        }
    };
    put(0, 1);
    put(3, 2);
    put(height - 1, 30);
    put(0, 3);  // ratio 0: the width follows
    put(3, 2);
    put(width - 1, 30);
    put(1, 1);  // the image metadata: all default
    bytes.resize(bytes.size() + 64, 0);  // the rest of the header: defaults
    return bytes;
}

TEST_F(JxlTest, OversizedHeadersAreRefusedBeforeAllocating) {
    EXPECT_LUMO_ERROR(Decode(CodestreamOfSize(65535, 65535)), "LumoLoadJxl",
                      "Image size 65535 x 65535 (4294836225 pixels) exceeds the limit of 178956970 pixels (raise MaxPixels)");
    EXPECT_LUMO_ERROR(Decode(CodestreamOfSize(70000, 8)), "LumoLoadJxl", "Image size 70000 x 8 out of range (at most 65535 x 65535)");
}

}  // namespace
