// Copy and Paste on the real frame with Qt's in-process clipboard: the three forms Copy offers and
// when they are made, pictures pasted from a DIB, a BMP file or a plain image, and clipboard data
// that lies about itself.
#include <QClipboard>
#include <QMimeData>

#include "formats/bmp.h"
#include "tests/support/bmp_builder.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/clipboard_image_data.h"
#include "viewer/commands/command_ids.h"
#include "viewer/dialogs/file_dialogs.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace command;

QClipboard& Clipboard() { return *QApplication::clipboard(); }

// The colours of a picture, top row first, as the record's kind says.
std::vector<QRgb> Colours(const IMG& image) {
    std::vector<QRgb> colours;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) colours.push_back(ColourOf(image, x, y));
    return colours;
}

std::vector<QRgb> Colours(const QImage& picture) {
    std::vector<QRgb> colours;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) colours.push_back(rgb.pixel(x, y) | 0xFF000000u);
    return colours;
}

QByteArray Bytes(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// A BMP file as another program would put it on the clipboard, with the file header or without.
std::vector<uint8_t> PackedDib(const BmpFields& fields) {
    std::vector<uint8_t> file = BuildBmp(fields);
    return {file.begin() + 14, file.end()};
}

class ClipboardTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        Clipboard().clear();
        start({});
    }
    void TearDown() override {
        Clipboard().clear();
        ViewerTest::TearDown();
    }

    ImageWindow& open(ImageKind kind, int width = 13, int height = 7) {
        EXPECT_TRUE(frame().openFileInNewWindow(writeBmp("source.bmp", kind, width, height)));
        return *frame().activeImageWindow();
    }
    // Puts data of one type on the clipboard, as another program would.
    static void offer(const char* type, const QByteArray& bytes) {
        auto* data = new QMimeData;
        data->setData(QString::fromLatin1(type), bytes);
        Clipboard().setMimeData(data);
    }
    // Pastes and yields the new window, or null when none came.
    ImageWindow* paste() {
        const int before = windowCount();
        frame().runCommand(Paste);
        settle();
        return windowCount() > before ? frame().activeImageWindow() : nullptr;
    }
};

// ---- Copy ----

class CopyKindTest : public ClipboardTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(CopyKindTest, OffersTheExactPictureInEveryFormOnlyWhenAsked) {
    ImageWindow& window = open(GetParam());
    const std::vector<QRgb> expected = Colours(*window.image());
    frame().runCommand(Copy);
    const auto* data = qobject_cast<const ClipboardImageData*>(Clipboard().mimeData());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->renderedCount(), 0);
    EXPECT_TRUE(data->hasImage());
    for (const char* type : {kBmpMimeType, kPngMimeType}) EXPECT_TRUE(data->hasFormat(QLatin1String(type))) << type;

    // The window goes, then a later change to another window must not matter: the data holds its copy.
    frame().runCommand(Close);
    settle();
    ASSERT_EQ(windowCount(), 0);

    const QByteArray bmp = data->data(QLatin1String(kBmpMimeType));
    EXPECT_EQ(data->renderedCount(), 1);
    ASSERT_TRUE(bmp.startsWith("BM"));
    InputFile file(reinterpret_cast<const uint8_t*>(bmp.constData()), static_cast<size_t>(bmp.size()), "copied.bmp");
    const ImagePtr fromBmp = LoadBmpFrom(file);
    ASSERT_EQ(KindOf(*fromBmp), GetParam());  // the saver's own file of the image
    EXPECT_EQ(Colours(*fromBmp), expected);

    EXPECT_EQ(Colours(QImage::fromData(data->data(QLatin1String(kPngMimeType)), "PNG")), expected);
    EXPECT_EQ(Colours(qvariant_cast<QImage>(data->imageData())), expected);
    EXPECT_EQ(data->renderedCount(), 3);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CopyKindTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB));

TEST_F(ClipboardTest, CopyTakesThePictureAsItIsThen) {
    ImageWindow& window = open(ImageKind::RGB);
    const std::vector<QRgb> copied = Colours(*window.image());
    frame().runCommand(Copy);
    frame().runCommand(ToBW);
    ASSERT_TRUE(IsKind(*window.image(), ImageKind::BW));
    EXPECT_EQ(Colours(qvariant_cast<QImage>(Clipboard().mimeData()->imageData())), copied);
}

TEST_F(ClipboardTest, CopyWithoutWindowLeavesTheClipboardAlone) {
    Clipboard().setText(QStringLiteral("words"));
    frame().runCommand(Copy);
    EXPECT_EQ(Clipboard().text(), QStringLiteral("words"));
}

// ---- Paste ----

TEST_F(ClipboardTest, PastedCopiesOpenUntitledModifiedWindows) {
    std::vector<SaveFileRequest> requests;
    const SaveFileDialog previous = SetSaveFileDialog([&](QWidget*, const SaveFileRequest& request, int&) {
        requests.push_back(request);
        return QString();
    });
    ImageWindow& source = open(ImageKind::COLOR16, 9, 5);
    const std::vector<QRgb> expected = Colours(*source.image());
    frame().runCommand(Copy);

    ImageWindow* first = paste();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("New 1"));
    EXPECT_TRUE(first->isModified());
    EXPECT_TRUE(first->filePath().isEmpty());
    EXPECT_TRUE(IsKind(*first->image(), ImageKind::COLOR16));
    EXPECT_EQ(Colours(*first->image()), expected);
    ImageWindow* second = paste();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->windowTitle(), QStringLiteral("New 2"));

    frame().runCommand(Save);  // an untitled window has no name to save under: Save asks for one
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].proposedName.isEmpty());
    EXPECT_TRUE(boxes.empty());
    SetSaveFileDialog(previous);
}

// Copy and Paste within the viewer: DIBs of 4 and 8 bits paste as colour images (gray levels
// become a gray palette), the others keep their kind.
TEST_F(ClipboardTest, RoundTripsKeepEveryPicture) {
    const std::pair<ImageKind, ImageKind> kinds[] = {
        {ImageKind::BW, ImageKind::BW},           {ImageKind::GRAY16, ImageKind::COLOR16},
        {ImageKind::GRAY256, ImageKind::COLOR256}, {ImageKind::COLOR16, ImageKind::COLOR16},
        {ImageKind::COLOR256, ImageKind::COLOR256}, {ImageKind::RGB, ImageKind::RGB}};
    for (const auto& [kind, pasted] : kinds) {
        const std::vector<QRgb> expected = Colours(*open(kind, 17, 3).image());
        frame().runCommand(Copy);
        ImageWindow* window = paste();
        ASSERT_NE(window, nullptr) << KindName(kind);
        EXPECT_EQ(KindOf(*window->image()), pasted) << KindName(kind);
        EXPECT_EQ(Colours(*window->image()), expected) << KindName(kind);
    }
}

struct ForeignDib {
    const char* name;
    BmpFields fields;
    bool packed;        // without the 14-byte file header
    ImageKind kind;
    std::vector<QRgb> colours;  // top row first
};
void PrintTo(const ForeignDib& c, std::ostream* os) { *os << c.name; }

class ForeignDibTest : public ClipboardTest, public ::testing::WithParamInterface<ForeignDib> {};

TEST_P(ForeignDibTest, PastesWithItsKindAndColours) {
    const ForeignDib& c = GetParam();
    offer(kBmpMimeType, Bytes(c.packed ? PackedDib(c.fields) : BuildBmp(c.fields)));
    ImageWindow* window = paste();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(KindOf(*window->image()), c.kind);
    EXPECT_EQ(Colours(*window->image()), c.colours);
    EXPECT_TRUE(boxes.empty());
}

constexpr QRgb kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
               kBlue = 0xFF0000FF;

INSTANTIATE_TEST_SUITE_P(
    Dibs, ForeignDibTest,
    ::testing::Values(
        // Bits 1 0 / 0 1 with white as colour 0: the picture stays as the table says, not inverted.
        ForeignDib{"white_first_1bit", {.width = 2, .height = 2, .bitCount = 1, .table = {0xFFFFFF, 0x000000},
                                        .pixels = StoredRows({{0x80}, {0x40}}, 4)},
                   true, ImageKind::BW, {kBlack, kWhite, kWhite, kBlack}},
        ForeignDib{"white_first_1bit_file", {.width = 2, .height = 1, .bitCount = 1, .table = {0xFFFFFF, 0x000000},
                                             .pixels = StoredRows({{0x40}}, 4)},
                   false, ImageKind::BW, {kWhite, kBlack}},
        // Six colours used of a 4-bit table: a 16-entry palette whose other entries are black.
        ForeignDib{"six_colours_4bit", {.width = 3, .height = 1, .bitCount = 4, .colorsUsed = 6,
                                        .table = {0xFF0000, 0x00FF00, 0x0000FF, 1, 2, 3},
                                        .pixels = StoredRows({{0x01, 0x20}}, 4)},
                   true, ImageKind::COLOR16, {kRed, kGreen, kBlue}},
        ForeignDib{"rgb_24bit_file", {.width = 2, .height = 1, .bitCount = 24,
                                      .pixels = StoredRows({{0, 0, 255, 255, 0, 0}}, 8)},
                   false, ImageKind::RGB, {kRed, kBlue}},
        ForeignDib{"core_header_8bit", {.infoSize = 12, .width = 1, .height = 1, .bitCount = 8,
                                        .table = std::vector<uint32_t>(256, 0x00FF00),
                                        .pixels = StoredRows({{7}}, 4)},
                   true, ImageKind::COLOR256, {kGreen}},
        // 5-6-5 bit fields and 32-bit pixels are pictures too: they paste as RGB.
        ForeignDib{"bitfields_16bit", {.width = 2, .height = 1, .bitCount = 16, .compression = 3,
                                       .masks = {0xF800, 0x07E0, 0x001F},
                                       .pixels = StoredRows({{0x00, 0xF8, 0x1F, 0x00}}, 4)},
                   true, ImageKind::RGB, {kRed, kBlue}},
        ForeignDib{"top_down_32bit", {.width = 1, .height = -2, .bitCount = 32,
                                      .pixels = StoredRows({{0, 0, 255, 0}, {255, 0, 0, 0}}, 4, true)},
                   true, ImageKind::RGB, {kRed, kBlue}}),
    [](const ::testing::TestParamInfo<ForeignDib>& info) { return std::string(info.param.name); });

// Pictures offered only as images go through a DIB of 1, 8 or 24 bits by their depth.
TEST_F(ClipboardTest, PlainImagesPasteByTheirDepth) {
    QImage mono(3, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setPixel(0, 0, 1);
    mono.setPixel(1, 0, 0);
    mono.setPixel(2, 0, 1);
    QImage indexed(2, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 0)});
    indexed.fill(0);
    indexed.setPixel(1, 1, 1);
    QImage sixteen(2, 1, QImage::Format_RGB16);
    sixteen.setPixel(0, 0, qRgb(255, 0, 0));
    sixteen.setPixel(1, 0, qRgb(0, 0, 255));
    QImage gray(3, 1, QImage::Format_Grayscale8);
    for (int x = 0; x < 3; ++x) gray.scanLine(0)[x] = static_cast<uchar>(x * 100 + 55);
    QImage alpha(3, 2, QImage::Format_ARGB32);
    alpha.fill(qRgba(0, 128, 255, 255));
    alpha.setPixel(2, 1, qRgba(1, 2, 3, 255));

    const std::pair<QImage, ImageKind> cases[] = {
        {mono, ImageKind::BW},     {indexed, ImageKind::COLOR256}, {gray, ImageKind::COLOR256},
        {sixteen, ImageKind::RGB}, {alpha, ImageKind::RGB}};
    for (const auto& [picture, kind] : cases) {
        Clipboard().setImage(picture);
        ImageWindow* window = paste();
        ASSERT_NE(window, nullptr) << picture.format();
        EXPECT_EQ(KindOf(*window->image()), kind) << picture.format();
        EXPECT_EQ(Colours(*window->image()), Colours(picture)) << picture.format();
    }
    EXPECT_TRUE(boxes.empty());
}

// ---- data that lies ----

struct Hostile {
    const char* name;
    std::vector<uint8_t> bytes;
};
void PrintTo(const Hostile& c, std::ostream* os) { *os << c.name; }

class HostileDibTest : public ClipboardTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileDibTest, PastesNothingAndSaysSo) {
    offer(kBmpMimeType, Bytes(GetParam().bytes));
    EXPECT_EQ(paste(), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "DIBToIMG Error");
}

// An 8x8 8-bit DIB with its table and rows, to be damaged field by field.
BmpFields Valid8Bit() {
    return {.width = 8, .height = 8, .bitCount = 8, .table = GrayTable(256, 1), .pixels = std::vector<uint8_t>(64, 9)};
}
std::vector<uint8_t> Damaged(BmpFields fields, bool packed = true) {
    return packed ? PackedDib(fields) : BuildBmp(fields);
}
std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t keep) {
    bytes.resize(keep);
    return bytes;
}
std::vector<uint8_t> WithHeaderSize(uint32_t size) {
    std::vector<uint8_t> bytes = PackedDib(Valid8Bit());
    bytes[0] = static_cast<uint8_t>(size);
    bytes[1] = static_cast<uint8_t>(size >> 8);
    bytes[2] = static_cast<uint8_t>(size >> 16);
    bytes[3] = static_cast<uint8_t>(size >> 24);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Dibs, HostileDibTest,
    ::testing::Values(
        Hostile{"three_bytes", {40, 0, 0}},
        Hostile{"header_cut", Cut(PackedDib(Valid8Bit()), 30)},
        Hostile{"table_cut", Cut(PackedDib(Valid8Bit()), 40 + 500)},
        Hostile{"last_row_cut", Cut(PackedDib(Valid8Bit()), 40 + 1024 + 63)},
        Hostile{"header_size_huge", WithHeaderSize(0xFFFFFFF0u)},
        Hostile{"header_size_20", WithHeaderSize(20)},
        Hostile{"height_beyond_rows", Damaged([] { BmpFields f = Valid8Bit(); f.height = 9; return f; }())},
        Hostile{"absurd_width", Damaged([] { BmpFields f = Valid8Bit(); f.width = 0x7FFFFFFF; return f; }())},
        Hostile{"absurd_height", Damaged([] { BmpFields f = Valid8Bit(); f.height = -0x7FFFFFFF; return f; }())},
        Hostile{"zero_width", Damaged([] { BmpFields f = Valid8Bit(); f.width = 0; return f; }())},
        Hostile{"colours_257", Damaged([] { BmpFields f = Valid8Bit(); f.colorsUsed = 257; return f; }())},
        Hostile{"colours_huge", Damaged([] { BmpFields f = Valid8Bit(); f.colorsUsed = 0xFFFFFFFFu; return f; }())},
        Hostile{"bit_count_2", Damaged([] { BmpFields f = Valid8Bit(); f.bitCount = 2; return f; }())},
        Hostile{"rle8", Damaged([] { BmpFields f = Valid8Bit(); f.compression = 1; return f; }())},
        Hostile{"masks_missing", Damaged({.width = 1, .height = 1, .bitCount = 16, .compression = 3})},
        Hostile{"pixel_offset_past_end",
                Damaged([] { BmpFields f = Valid8Bit(); f.pixelOffset = 0x7FFFFFF0u; return f; }(), false)},
        Hostile{"pixel_offset_in_header",
                Damaged([] { BmpFields f = Valid8Bit(); f.pixelOffset = 20; return f; }(), false)},
        Hostile{"rows_too_long_for_an_image",
                Damaged({.width = 30000, .height = 1, .bitCount = 16, .pixels = std::vector<uint8_t>(60000)})}),
    [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });

TEST_F(ClipboardTest, EmptyDibDataIsReportedAsMissing) {
    offer(kBmpMimeType, QByteArray());
    EXPECT_EQ(paste(), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't get DIB from Clipboard");
}

TEST_F(ClipboardTest, PasteWithoutPictureDoesNothing) {
    Clipboard().setText(QStringLiteral("words"));
    EXPECT_EQ(paste(), nullptr);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
