// What every codec shares, over one table of codecs: a round trip through every writer by extension,
// the writer's memory bytes equal to its file's, cut and damaged files that fail cleanly, unknown
// options refused, header info equal to what a load gives (Photo CD apart, from the tests' writer);
// the pixel limit checked before allocating, empty pictures refused, and savers that write the same
// bytes for the same picture whatever its row padding holds. A codec joins with a row.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>

#include "core/convert.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/g3/g3.h"
#include "formats/byte_order.h"
#include "formats/image_info.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/input_file.h"
#include "formats/jpeg/jpeg.h"
#include "formats/memory_buffer.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/png/png.h"
#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"
#include "platform/profile.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/gif_builder.h"
#include "tests/support/lumo_test.h"
#include "tests/support/pcd_writer.h"

extern char** environ;

// Files are built from designated fields; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using gif_builder::GifParts;

constexpr const char* kLimitMessage = "Image size %ld x %ld (%lld pixels) exceeds the limit of %d pixels (raise MaxPixels)";

std::string LimitText(long width, long height, int limit) {
    char text[160];
    std::snprintf(text, sizeof text, kLimitMessage, width, height, static_cast<long long>(width) * height, limit);
    return text;
}

std::string SizeText(long width, long height) {
    return "Image size " + std::to_string(width) + " x " + std::to_string(height) + " out of range (at most 65535 x 65535)";
}

template <ImagePtr (*Load)(InputFile&)>
ImagePtr LoadFrom(const std::vector<uint8_t>& bytes, const char* name) {
    InputFile file(bytes.data(), bytes.size(), name);
    return Load(file);
}
ImagePtr LoadBmp(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadBmpFrom>(bytes, "test.bmp"); }
ImagePtr LoadGif(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadGifFrom>(bytes, "test.gif"); }
ImagePtr LoadImg(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadIMGFrom>(bytes, "test.img"); }
ImagePtr LoadJpg(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadJpegFrom>(bytes, "test.jpg"); }
ImagePtr LoadTif(const std::vector<uint8_t>& bytes) {
    MemoryBufferPtr buffer = AllocBuffer(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer->data);
    TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "r");
    if (!tiff) tiff.fail("LumoOpenTiff", "Can't open TIFF File test.tif");
    return LoadTiffFrom(tiff, "test.tif");
}
ImagePtr LoadMok(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadMokFrom>(bytes, "test.mok"); }
ImagePtr LoadBie(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadJbigFrom>(bytes, "test.bie"); }
ImagePtr LoadPng(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadPngFrom>(bytes, "test.png"); }
ImagePtr LoadWebp(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadWebpFrom>(bytes, "test.webp"); }
ImagePtr LoadAvif(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadAvifFrom>(bytes, "test.avif"); }
ImagePtr LoadJxl(const std::vector<uint8_t>& bytes) { return LoadFrom<LoadJxlFrom>(bytes, "test.jxl"); }

// A GIF whose descriptor promises 65535 x 65535 pixels of a 256-colour table and which holds enough
// LZW data (1.6 MB) that no "more than the data could give" rule refuses it.
std::vector<uint8_t> GifBomb() {
    GifParts parts;
    parts.screenFlags = 0x87;
    parts.width = parts.height = 65535;
    parts.codeSize = 8;
    parts.blocks = gif_builder::SubBlocks(std::vector<uint8_t>(1600000, 0), 255);
    return parts.build();
}

// An RLE8 file of 32768 x 32768 pixels whose 4 MB of codes could, by the run-length rule, hold them.
std::vector<uint8_t> Rle8Bomb() {
    std::vector<uint8_t> codes(4 << 20, 0);  // pairs 0, 0: end of line
    return BuildBmp({.width = 32768, .height = 32768, .bitCount = 8, .compression = 1,
                     .table = GrayTable(256, 1), .pixels = codes});
}

// A JPEG of the pattern with the frame header's size patched to width x height.
std::vector<uint8_t> JpegOfSize(const std::string& path, int width, int height) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 16, 16);
    LumoSaveJpeg(image.get(), path.c_str());
    std::vector<uint8_t> bytes = ReadBytes(path);
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC1 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = static_cast<uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<uint8_t>(height);
            bytes[i + 7] = static_cast<uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<uint8_t>(width);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

std::vector<uint8_t> ImgOfSize(int width, int height, size_t dataBytes) {
    std::vector<uint8_t> bytes(64 + dataBytes, 0);
    bytes[0] = 'I';
    bytes[1] = 'M';
    bytes[4] = static_cast<uint8_t>(width);
    bytes[5] = static_cast<uint8_t>(width >> 8);
    bytes[6] = static_cast<uint8_t>(height);
    bytes[7] = static_cast<uint8_t>(height >> 8);
    return bytes;
}

class CodecsTest : public LumoTest {
protected:
    void TearDown() override {
        LumoSetIntOption("maxpixels", 178956970);
        LumoTest::TearDown();
    }
};

TEST_F(CodecsTest, PicturesPastTheLimitAreRefusedBeforeAllocating) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LUMO_ERROR(LoadGif(GifBomb()), "LumoLoadGif", LimitText(65535, 65535, 178956970));
    EXPECT_LUMO_ERROR(LoadBmp(Rle8Bomb()), "LumoLoadBmp", LimitText(32768, 32768, 178956970));
    EXPECT_LUMO_ERROR(LoadImg(ImgOfSize(40000, 40000, 1)), "LumoLoadIMG", LimitText(40000, 40000, 178956970));
    EXPECT_LUMO_ERROR(LoadJpg(JpegOfSize(tempPath("big.jpg"), 60000, 50000)), "LoadJpeg",
                      LimitText(60000, 50000, 178956970));
    // Nothing was decoded: the refusals come from the headers alone.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(warnings.empty());

    // The option moves the limit both ways; 0 leaves only the record's own limits.
    const ImagePtr image = MakePatternImage(ImageKind::COLOR256, 30, 20);
    const std::string path = tempPath("p.gif");
    LumoSaveGif(image.get(), path.c_str());
    LumoSetIntOption("maxpixels", 599);
    EXPECT_LUMO_ERROR(LumoLoadGif(path.c_str()), "LumoLoadGif", LimitText(30, 20, 599));
    LumoSetIntOption("maxpixels", 600);
    EXPECT_TRUE(SamePixels(*image, *LumoLoadGif(path.c_str())));
    LumoSetIntOption("maxpixels", 0);
    EXPECT_TRUE(SamePixels(*image, *LumoLoadGif(path.c_str())));
}

TEST_F(CodecsTest, TinyBmpCannotPromiseALargePicture) {
    // 70 bytes: the headers and 16 bytes of pixels for a 4728 x 4728 picture of 64 MB.
    const std::vector<uint8_t> bytes =
        BuildBmp({.width = 4728, .height = 4728, .pixels = std::vector<uint8_t>(16, 0x55)});
    ASSERT_EQ(bytes.size(), 70u);
    EXPECT_LUMO_ERROR(LoadBmp(bytes), "LumoLoadBmp",
                      "test.bmp: the header asks for 67061952 bytes of pixels from 16 bytes of data");
    // A small picture cut short still loads, its missing rows 0.
    const ImagePtr cut = LoadBmp(BuildBmp({.width = 100, .height = 100, .pixels = std::vector<uint8_t>(16, 0x55)}));
    EXPECT_EQ(PixelAt(*cut, 0, 99), 0x555555u);
    EXPECT_EQ(PixelAt(*cut, 0, 0), 0u);
}

TEST_F(CodecsTest, EmptyPicturesAreRefused) {
    EXPECT_LUMO_ERROR(LoadBmp(BuildBmp({.width = 0, .height = 5})), "LumoLoadBmp", SizeText(0, 5));
    EXPECT_LUMO_ERROR(LoadBmp(BuildBmp({.width = 3, .height = 0})), "LumoLoadBmp", SizeText(3, 0));
    EXPECT_LUMO_ERROR(LoadBmp(BuildBmp({.infoSize = 12, .width = 0, .height = 2, .bitCount = 24})), "LumoLoadBmp",
                      SizeText(0, 2));
    GifParts gif;
    gif.height = 0;
    EXPECT_LUMO_ERROR(LoadGif(gif.build()), "LumoLoadGif", SizeText(4, 0));
    gif.height = 2;
    gif.width = 0;
    EXPECT_LUMO_ERROR(LoadGif(gif.build()), "LumoLoadGif", SizeText(0, 2));
    EXPECT_LUMO_ERROR(LoadImg(ImgOfSize(0, 7, 0)), "LumoLoadIMG", SizeText(0, 7));
    EXPECT_LUMO_ERROR(LoadImg(ImgOfSize(7, 0, 0)), "LumoLoadIMG", SizeText(7, 0));
}

// One codec as the shared tests see it.
struct Codec {
    const char* extension;
    ImagePtr (*loadFrom)(const std::vector<uint8_t>& bytes);  // null for a writer only
    void (*write)(const IMG* image, const ByteSink& sink);  // null for a loader only
    int tolerance;                       // largest colour difference a round trip may show (lossy codecs)
    bool toGray;                         // the format holds gray only: colours come back as their gray
    bool toBW;                           // the format holds bi-level only: pictures come back as their BW
    void (*setIntOption)(const char* name, int value);
    const char* optionModule;            // the setter's module name
    const char* unknownOptionText;       // its message for the name "NoSuchOption"
    bool stamped = false;                // files hold the time of saving: memory and file may differ there
    bool grayAndRgbOnly = false;         // the writer refuses the other kinds
};

void PrintTo(const Codec& codec, std::ostream* os) { *os << codec.extension; }

// A smooth picture of 228 colours: few enough for a palette to hold exactly, smooth enough for JPEG.
ImagePtr SmoothPicture(ImageKind kind, int width, int height) {
    ImagePtr rgb = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(*rgb, x, y, static_cast<uint32_t>((x / 2 * 12) << 16 | (y / 2 * 20) << 8 | 96));
    return kind == ImageKind::RGB ? std::move(rgb) : LumoToGRAY256(rgb.get());
}

void WriteJpegSink(const IMG* image, const ByteSink& sink) { WriteJpeg(image, sink, "memory"); }
void WriteTiffSink(const IMG* image, const ByteSink& sink) {
    const MemoryBufferPtr file = SaveTiffToMemory(image);
    sink(file->data, file->size);
}

const Codec kCodecs[] = {
    {"tif", LoadTif, WriteTiffSink, 0, false, false, LumoSetIntOptionTiff, "LumoSetIntOptionTiff",
     "Unknown tiff option: NoSuchOption", true},
    {"bmp", LoadBmp, WriteBmp, 0, false, false, LumoSetIntOptionBmp, "LumoSetIntOptionBmp", "Unknown Bmp option: NoSuchOption"},
    {"gif", LoadGif, WriteGif, 0, false, false, LumoSetIntOptionGif, "LumoSetIntOptionGif", "Unknown Gif option: NoSuchOption"},
    {"img", LoadImg, WriteIMG, 0, true, false, nullptr, nullptr, nullptr},
    {"bie", LoadBie, WriteJbig, 0, false, true, LumoSetIntOptionJbig, "LumoSetIntOptionJbig",
     "Unknown Jbig option: NoSuchOption"},
    {"mok", LoadMok, WriteMok, 0, false, false, LumoSetIntOptionMok, "LumoSetIntOptionMok",
     "Unknown MOK option: NoSuchOption", false, true},
    {"pcd", nullptr, nullptr, 0, false, false, LumoSetIntOptionPcd, "LumoSetIntOptionPcd", "Unknown PCD option: NoSuchOption"},
    {"fax", nullptr, nullptr, 0, false, false, LumoSetIntOptionG3, "LumoSetIntOptionG3", "Unknown G3 option: NoSuchOption"},
    {"jpg", LoadJpg, WriteJpegSink, 16, false, false, LumoSetIntOptionJpeg, "LumoSetIntOptionJpeg",
     "Unknown JPEG option: NoSuchOption"},
    {"png", LoadPng, WritePng, 0, false, false, LumoSetIntOptionPng, "LumoSetIntOptionPng", "Unknown PNG option: NoSuchOption"},
    // Lossy at the default quality (the lossless files have their own round trip in webp_test).
    {"webp", LoadWebp, WriteWebp, 24, false, false, LumoSetIntOptionWebp, "LumoSetIntOptionWebp",
     "Unknown WebP option: NoSuchOption"},
    {"avif", LoadAvif, WriteAvif, 8, false, false, LumoSetIntOptionAvif, "LumoSetIntOptionAvif",
     "Unknown AVIF option: NoSuchOption"},
    // Lossy at the default quality (lossless files have their own round trip in jxl_test). Distance 1
    // bounds the error as seen, not per level: cjxl -d 1 moves a level of the colour steps by 36 too.
    {"jxl", LoadJxl, WriteJxl, 40, false, false, LumoSetIntOptionJxl, "LumoSetIntOptionJxl",
     "Unknown JPEG XL option: NoSuchOption"},
};

std::vector<uint8_t> WriteToMemory(const Codec& codec, const IMG& image) {
    std::vector<uint8_t> bytes;
    codec.write(&image, [&bytes](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); });
    return bytes;
}

int ChannelDifference(uint32_t a, uint32_t b) {
    int largest = 0;
    for (int shift = 0; shift < 24; shift += 8)
        largest = std::max(largest, std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)));
    return largest;
}

constexpr ImageKind kAllKinds[] = {ImageKind::BW,       ImageKind::GRAY16,   ImageKind::GRAY256,
                                   ImageKind::COLOR16,  ImageKind::COLOR256, ImageKind::RGB};

class CodecTableTest : public LumoTest, public ::testing::WithParamInterface<Codec> {};

TEST_P(CodecTableTest, EveryKindRoundTripsThroughTheWriterByExtension) {
    const Codec& codec = GetParam();
    if (!codec.write) GTEST_SKIP() << "a loader only (its own tests load files of other programs)";
    for (const ImageKind kind : kAllKinds) {
        const bool smooth = kind == ImageKind::RGB || kind == ImageKind::GRAY256;
        const ImagePtr image = smooth ? SmoothPicture(kind, 37, 23) : MakePatternImage(kind, 37, 23);
        const std::string path = tempPath(std::string(KindName(kind)) + "." + codec.extension);
        if (codec.grayAndRgbOnly && kind != ImageKind::GRAY256 && kind != ImageKind::RGB) {
            EXPECT_THROW(SaveImageByExtension(image.get(), path.c_str()), LumoFailure) << KindName(kind);
            EXPECT_FALSE(std::filesystem::exists(path)) << KindName(kind);
            continue;
        }
        ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str())) << KindName(kind);
        const std::vector<uint8_t> file = ReadBytes(path), memory = WriteToMemory(codec, *image);
        ASSERT_EQ(file.size(), memory.size()) << KindName(kind);
        // A time stamp ("1996:01:05 14:03:09") may have moved on between the two saves.
        const size_t differing = std::inner_product(file.begin(), file.end(), memory.begin(), size_t{0},
                                                    std::plus<>(), std::not_equal_to<>());
        EXPECT_LE(differing, codec.stamped ? 19u : 0u) << KindName(kind) << ": memory and file differ";
        if (!codec.loadFrom) continue;
        // A lossy codec is held to its tolerance on the smooth pictures only.
        const bool compared = codec.tolerance == 0 || smooth;
        const ImagePtr loaded = LoadImageByExtension(path.c_str());
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->width, image->width);
        ASSERT_EQ(loaded->height, image->height);
        ImagePtr expected;
        if (codec.toGray && image->colorClass == COLOR) expected = LumoToGRAY256(image.get());
        if (codec.toBW && kind != ImageKind::BW) expected = LumoToBW(image.get());
        const IMG& reference = expected ? *expected : *image;
        int worst = 0;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x)
                worst = std::max(worst, ChannelDifference(ShownColour(reference, x, y), ShownColour(*loaded, x, y)));
        if (compared) {
            EXPECT_LE(worst, codec.tolerance) << KindName(kind);
        }
    }
}

TEST_P(CodecTableTest, CutAndDamagedFilesLoadOrFailCleanly) {
    const Codec& codec = GetParam();
    if (!codec.loadFrom || !codec.write) GTEST_SKIP() << "a writer only, or a loader only";
    for (const ImageKind kind : {ImageKind::BW, ImageKind::COLOR256, ImageKind::RGB}) {
        if (codec.grayAndRgbOnly && kind != ImageKind::RGB) continue;
        const std::vector<uint8_t> whole = WriteToMemory(codec, *MakePatternImage(kind, 29, 17));
        std::mt19937 random(static_cast<unsigned>(kind));
        for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 8) {
            std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
            try {
                codec.loadFrom(bytes);
            } catch (const LumoFailure&) {
            }
            bytes = whole;
            bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
            try {
                codec.loadFrom(bytes);
            } catch (const LumoFailure&) {
            }
        }
    }
    // The sanitizer build turns any read outside the data into a failure; here only leaks are counted.
}

TEST_P(CodecTableTest, UnknownOptionsAreRefused) {
    const Codec& codec = GetParam();
    if (!codec.setIntOption) GTEST_SKIP() << "no options";
    EXPECT_LUMO_ERROR(codec.setIntOption("NoSuchOption", 1), codec.optionModule, codec.unknownOptionText);
}

// Where a header reader gives the info, the first bytes that hold all of it: a file cut there still
// tells its size and kind, since no pixel data is read. Zero for the formats that are loaded.
size_t HeaderBytes(const std::string& extension, const std::vector<uint8_t>& file) {
    if (extension == "bmp") return ReadLE32(file.data() + 10);  // the offset of the pixel rows
    if (extension == "png") return 33;                          // the signature and IHDR
    if (extension == "img") return 64;                          // the fixed header
    if (extension == "webp") return file[15] == 'L' ? 25 : 30;  // RIFF, the frame's chunk and its header
    if (extension == "mok") return file[4] == 'G' ? 10 : 12;    // the fixed header and the top pixel
    if (extension == "bie") return 20;                          // the bi-level image header
    if (extension == "gif") {
        const size_t table = file[10] & 0x80 ? 3u << ((file[10] & 7) + 1) : 0;
        return 13 + table + 10;  // the screen, its colour table, the image descriptor (our files have no extensions)
    }
    if (extension == "jpg") {
        for (size_t i = 2; i + 3 < file.size(); i += 2 + ReadBE16(file.data() + i + 2))
            if (file[i + 1] == 0xDA) return i + 2 + ReadBE16(file.data() + i + 2);  // through the scan header
        ADD_FAILURE() << "no scan header";
    }
    return 0;
}

// libtiff writes the strips first and the directory after them: in our little-endian files the
// bytes from the header up to the directory are the compressed pixels. Filling them with 0xFF makes
// the LZW strips undecodable, while the directory still tells the size and kind.
std::vector<uint8_t> WithTiffStripsDamaged(std::vector<uint8_t> file) {
    const uint32_t directory = ReadLE32(file.data() + 4);
    EXPECT_TRUE(file[0] == 'I' && directory > 8 && directory < file.size());
    std::fill(file.begin() + 8, file.begin() + std::min<long>(directory, static_cast<long>(file.size())), 0xFF);
    return file;
}

using ProfileSettings = std::vector<std::pair<std::string, std::string>>;

// The settings that change the kind or the size a load gives, one set at a time: the header info
// must follow them as the loader does.
std::vector<ProfileSettings> SettingsThatChangeTheLoad(const std::string& extension) {
    if (extension == "jpg")
        return {{{"JpegRatio", "1"}}, {{"JpegRatio", "4"}}, {{"JpegReadRgb", "0"}}, {{"JpegForceGray", "1"}}};
    if (extension == "mok") return {{{"MokRatio", "1"}}, {{"MokRatio", "2"}}, {{"MokRatio", "3"}}, {{"MokRatio", "4"}}};
    if (extension == "bie")  // 37 x 23 in 3 differential layers: 19 x 12, 10 x 6, 5 x 3 below it
        return {{},
                {{"JbigLayers", "3"}},
                {{"JbigLayers", "3"}, {"JbigMaxsizew", "16"}, {"JbigMaxsizeh", "16"}},
                {{"JbigLayers", "3"}, {"JbigMaxsizew", "20"}, {"JbigMaxsizeh", "12"}},
                {{"JbigLayers", "3"}, {"JbigMaxsizew", "4"}, {"JbigMaxsizeh", "4"}},
                {{"JbigLayers", "1"}, {"JbigMaxsizew", "16"}, {"JbigMaxsizeh", "16"}}};
    return {{}};
}

std::string Describe(ImageKind kind, const ProfileSettings& settings) {
    std::string text = KindName(kind);
    for (const auto& [key, value] : settings) text += " " + key + "=" + value;
    return text;
}

TEST_P(CodecTableTest, HeaderInfoEqualsWhatAFullLoadGives) {
    const Codec& codec = GetParam();
    if (!codec.loadFrom || !codec.write) GTEST_SKIP() << "a writer only, or a loader only";
    for (const ProfileSettings& settings : SettingsThatChangeTheLoad(codec.extension)) {
        for (const auto& [key, value] : settings) SetProfileOverride(key, value);
        for (const ImageKind kind : kAllKinds) {
            if (codec.grayAndRgbOnly && kind != ImageKind::GRAY256 && kind != ImageKind::RGB) continue;
            const std::string path = tempPath(std::string(KindName(kind)) + "." + codec.extension);
            ASSERT_TRUE(SaveImageByExtension(MakePatternImage(kind, 37, 23).get(), path.c_str()));
            const std::string what = Describe(kind, settings);
            const ImageInfo loaded = InfoOf(*LoadImageByExtension(path.c_str()));
            const std::optional<ImageInfo> info = ReadImageInfo(path.c_str());
            ASSERT_TRUE(info) << what;
            EXPECT_EQ(info->width, loaded.width) << what;
            EXPECT_EQ(info->height, loaded.height) << what;
            EXPECT_EQ(info->kind, loaded.kind) << what;

            std::vector<uint8_t> bytes = ReadBytes(path);
            if (codec.extension == std::string("tif")) {
                bytes = WithTiffStripsDamaged(bytes);
            } else {
                const size_t header = HeaderBytes(codec.extension, bytes);
                if (header == 0) continue;
                ASSERT_LT(header, bytes.size()) << what;
                bytes.resize(header);
            }
            const std::string cut = tempPath(std::string("cut.") + codec.extension);
            WriteBytes(cut, bytes);
            const std::optional<ImageInfo> cutInfo = ReadImageInfo(cut.c_str());
            ASSERT_TRUE(cutInfo) << what;
            EXPECT_EQ(cutInfo->width, loaded.width) << what;
            EXPECT_EQ(cutInfo->height, loaded.height) << what;
            EXPECT_EQ(cutInfo->kind, loaded.kind) << what;
            // The damage is real: a load of the same file fails.
            if (codec.extension == std::string("tif")) {
                EXPECT_THROW(LoadImageByExtension(cut.c_str()), LumoFailure) << what;
            }
        }
        ClearProfileOverrides();
    }
}

// Header readers meet the same damage as the loaders: a cut or a flipped byte in the first bytes
// gives info or a clean LumoFailure, and where both the info and a load succeed they agree.
TEST_P(CodecTableTest, HeaderInfoOfCutAndDamagedFilesFailsCleanlyOrAgreesWithTheLoad) {
    const Codec& codec = GetParam();
    if (!codec.loadFrom || !codec.write) GTEST_SKIP() << "a writer only, or a loader only";
    const ImageKind kind = codec.grayAndRgbOnly ? ImageKind::RGB : ImageKind::COLOR256;
    const std::vector<uint8_t> whole = WriteToMemory(codec, *MakePatternImage(kind, 29, 17));
    const std::string path = tempPath(std::string("damaged.") + codec.extension);
    std::mt19937 random(7);
    auto check = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        WriteBytes(path, bytes);
        std::optional<ImageInfo> info, loaded;
        try {
            info = ReadImageInfo(path.c_str());
        } catch (const LumoFailure&) {
        }
        try {
            if (const ImagePtr image = LoadImageByExtension(path.c_str())) loaded = InfoOf(*image);
        } catch (const LumoFailure&) {
        }
        if (!info || !loaded) return;
        EXPECT_EQ(info->width, loaded->width) << what;
        EXPECT_EQ(info->height, loaded->height) << what;
        EXPECT_EQ(info->kind, loaded->kind) << what;
    };
    for (size_t cut = 0; cut < whole.size(); cut += cut < 64 ? 1 : 1 + cut / 4)
        check(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)), "cut at " + std::to_string(cut));
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes = whole;
        const size_t at = random() % std::min<size_t>(bytes.size(), 64);
        bytes[at] ^= static_cast<uint8_t>(1 + random() % 255);
        check(bytes, "byte " + std::to_string(at) + " flipped");
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecTableTest, ::testing::ValuesIn(kCodecs),
                         [](const auto& info) { return std::string(info.param.extension); });

// Photo CD has no writer: packs and overview files come from the tests' writer. The size follows
// PcdSize and the orientation of the attribute sector; the chroma setting changes neither.
TEST_F(CodecsTest, PhotoCdHeaderInfoEqualsWhatAFullLoadGives) {
    const std::string path = tempPath("pack.pcd"), cut = tempPath("cut.pcd");
    for (const int orientation : {0, 1, 2, 3}) {
        pcd_writer::PackLayout layout;
        layout.orientation = orientation;
        layout.fourBase = layout.sixteenBase = true;
        const std::vector<uint8_t> pack = pcd_writer::WritePack(layout);
        WriteBytes(path, pack);
        // Through the attribute sector only: no picture can be read, the size can.
        WriteBytes(cut, std::vector<uint8_t>(pack.begin(), pack.begin() + 2 * pcd_writer::kSector));
        for (const char* size : {"1", "2", "3", "4", "5"}) {
            for (const char* subsampled : {"0", "1"}) {
                SetProfileOverride("PcdSize", size);
                SetProfileOverride("PcdCrSubsampling", subsampled);
                const std::string what = "orientation " + std::to_string(orientation) + ", PcdSize=" + size +
                                         ", PcdCrSubsampling=" + subsampled;
                const ImageInfo loaded = InfoOf(*LoadImageByExtension(path.c_str()));
                for (const std::string& file : {path, cut}) {
                    const std::optional<ImageInfo> info = ReadImageInfo(file.c_str());
                    ASSERT_TRUE(info) << what << " " << file;
                    EXPECT_EQ(info->width, loaded.width) << what << " " << file;
                    EXPECT_EQ(info->height, loaded.height) << what << " " << file;
                    EXPECT_EQ(info->kind, ImageKind::RGB) << what << " " << file;
                }
                EXPECT_THROW(LoadImageByExtension(cut.c_str()), LumoFailure) << what;
            }
        }
        ClearProfileOverrides();
    }
    // Too short for the attribute sector: the loader's read error.
    WriteBytes(cut, std::vector<uint8_t>(3000, 0));
    EXPECT_LUMO_ERROR(ReadImageInfo(cut.c_str()), "LumoLoadPcd", "Error while reading PCD file.");

    // The overview sheet has one size whatever the file holds.
    const std::string overview = tempPath("overview.pcd");
    for (const size_t thumbnails : {0u, 3u}) {
        WriteBytes(overview, pcd_writer::WriteOverview(std::vector<pcd_writer::YccPicture>(
                                 thumbnails, pcd_writer::YccPicture::Flat(192, 128, 90, 100, 110))));
        const ImageInfo loaded = InfoOf(*LoadImageByExtension(overview.c_str()));
        const std::optional<ImageInfo> info = ReadImageInfo(overview.c_str());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, loaded.width);
        EXPECT_EQ(info->height, loaded.height);
        EXPECT_EQ(info->kind, loaded.kind);
    }
}

// The header reader is chosen as the loader is: by the file's signature before its extension.
TEST_F(CodecsTest, HeaderInfoFollowsTheSignatureLikeTheLoader) {
    const ImagePtr image = MakePatternImage(ImageKind::GRAY256, 21, 13);
    const std::string mok = tempPath("picture.mok"), misnamed = tempPath("picture.bmp");
    LumoSaveMok(image.get(), mok.c_str());
    WriteBytes(misnamed, ReadBytes(mok));
    SetProfileOverride("MokRatio", "2");
    const std::optional<ImageInfo> info = ReadImageInfo(misnamed.c_str());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 11);
    EXPECT_EQ(info->height, 7);
    EXPECT_EQ(info->kind, ImageKind::GRAY256);
    EXPECT_EQ(LoadImageByExtension(misnamed.c_str())->width, 11);
    ClearProfileOverrides();
}

// Sets every bit after the pixels of each stored row (padding and the rest of a last partial byte).
void FillPadding(IMG& image, unsigned seed) {
    std::mt19937 random(seed);
    const size_t usedBits = static_cast<size_t>(image.width) * image.bitsPerPixel;
    for (int k = 0; k < image.height; ++k) {
        uint8_t* row = MemoryRow(image, k);
        for (size_t bit = usedBits; bit < 8u * image.rowBytes; ++bit)
            if (random() & 1) row[bit / 8] ^= static_cast<uint8_t>(0x80 >> bit % 8);
    }
}

class DeterministicSaveTest : public LumoTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(DeterministicSaveTest, SamePictureGivesTheSameBytesWhateverThePadding) {
    for (const char* extension : {"bmp", "gif", "img", "jpg", "png", "webp", "jxl"}) {
        std::vector<uint8_t> saved[2];
        for (unsigned copy = 0; copy < 2; ++copy) {
            ImagePtr image = MakePatternImage(GetParam(), 7, 5);  // 7 pixels leave padding at every depth
            FillPadding(*image, 10 + copy);
            const std::string path = tempPath(std::to_string(copy) + "." + extension);
            ASSERT_TRUE(SaveImageByExtension(image.get(), path.c_str()));
            saved[copy] = ReadBytes(path);
        }
        EXPECT_EQ(saved[0], saved[1]) << extension;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeterministicSaveTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(CodecsTest, SavedBmpRowsHaveZeroPadding) {
    ImagePtr image = MakePatternImage(ImageKind::BW, 3, 2);
    FillPadding(*image, 3);
    const std::string path = tempPath("bw.bmp");
    SaveBmp(image.get(), path.c_str());
    const std::vector<uint8_t> bytes = ReadBytes(path);
    for (int k = 0; k < 2; ++k) {
        const uint8_t* row = bytes.data() + 62 + 4 * k;
        EXPECT_EQ(row[0] & 0x1F, 0) << k;
        EXPECT_EQ(row[1] | row[2] | row[3], 0) << k;
    }
}

// Runs the built lumo with the arguments and a profile of its own; yields the exit status and the
// child's peak resident memory in kilobytes. A small Python starts it and reports both on a line in
// the file named by report: the peak a process reports counts the memory of the process it was
// forked from, so a child of this test program would count the tests' own.
std::pair<int, long> RunLumo(const std::vector<std::string>& arguments, const std::string& profile,
                             const std::string& report) {
    std::vector<std::string> words = {"/usr/bin/python3", "-c",
                                      "import resource, subprocess, sys\n"
                                      "status = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode\n"
                                      "print(status, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)",
                                      BuiltProgram("lumo")};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = {"LUMO_PROFILE=" + profile};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "LUMO_PROFILE=", 13) != 0) environment.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, 0};
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, 0};
    const std::vector<uint8_t> line = ReadBytes(report);
    int exitStatus = -1;
    long peakKb = 0;
    if (std::sscanf(std::string(line.begin(), line.end()).c_str(), "%d %ld", &exitStatus, &peakKb) != 2) return {-1, 0};
    return {exitStatus, peakKb};
}

TEST_F(CodecsTest, LumoRefusesTheGifBombInLittleMemory) {
    if (!std::filesystem::exists(BuiltProgram("lumo"))) GTEST_SKIP() << "lumo is not built";
    const std::string bomb = tempPath("bomb.gif"), profile = tempPath("WIN.INI");
    WriteBytes(bomb, GifBomb());
    const auto [status, peakKb] = RunLumo({"convert", bomb, "-o", tempPath("bomb.jpg")}, profile, tempPath("report"));
    EXPECT_NE(status, 0);
    EXPECT_GT(peakKb, 0);  // the run was measured
    EXPECT_LT(peakKb, 100 * 1024);
    EXPECT_FALSE(std::filesystem::exists(tempPath("bomb.jpg")));

    // --set moves the limit for the run: a 30 x 20 picture needs 600 pixels.
    const std::string small = tempPath("small.bmp");
    SaveBmp(MakePatternImage(ImageKind::RGB, 30, 20).get(), small.c_str());
    EXPECT_NE(RunLumo({"info", "--set", "MaxPixels=599", small}, profile, tempPath("report")).first, 0);
    EXPECT_EQ(RunLumo({"info", "--set", "MaxPixels=600", small}, profile, tempPath("report")).first, 0);
}

}  // namespace
