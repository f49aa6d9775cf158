// Image windows: painting every kind from its rows, zoom and its keys, scrolling, the half-size
// picture of bi-level images, display copies for poorer screens, contact sheets, the save question,
// the full-screen view, and the time to the first paint of a large photograph.
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <cstdio>

#include "formats/jpeg/jpeg.h"
#include "jobs/contact_sheet.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/windows/dib_view.h"
#include "viewer/windows/full_screen_view.h"
#include "tests/viewer_support/viewer_fixture.h"

namespace {

class ImageWindowTest : public ViewerTest {
protected:
    ImageWindow& open(const QString& path) {
        if (!started()) start({});
        frame().openFileInNewWindow(path);
        settle();
        ImageWindow* window = frame().activeImageWindow();
        EXPECT_NE(window, nullptr);
        return *window;
    }
};

// Records the regions the viewport is asked to paint.
class PaintRecorder : public QObject {
public:
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) regions.append(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

class PaintKindTest : public ImageWindowTest, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(PaintKindTest, PaintsTheRowsTheRightWayUpWithWhiteBeyond) {
    ImagePtr source = MakePatternImage(GetParam(), 37, 23, 5);
    ImagePtr copy = MakePatternImage(GetParam(), 37, 23, 5);
    ImageWindow& window = show(std::move(source));
    QImage pixels = ViewportPixels(window);
    ASSERT_GT(pixels.width(), 40);
    ASSERT_GT(pixels.height(), 30);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) ASSERT_EQ(pixels.pixel(x, y), ColourOf(*copy, x, y)) << x << ", " << y;
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(pixels.pixel(37, 0), white);
    EXPECT_EQ(pixels.pixel(0, 23), white);
    EXPECT_EQ(pixels.pixel(pixels.width() - 1, pixels.height() - 1), white);
    // Narrower and lower than the window: nothing to scroll.
    EXPECT_EQ(window.scrollMaximum(), QPoint(0, 0));

    // Twice the size: every pixel becomes a 2 x 2 block.
    window.setZoom(200);
    pixels = ViewportPixels(window);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(pixels.pixel(2 * x, 2 * y), ColourOf(*copy, x, y)) << x << ", " << y;
            ASSERT_EQ(pixels.pixel(2 * x + 1, 2 * y + 1), ColourOf(*copy, x, y)) << x << ", " << y;
        }
    EXPECT_EQ(pixels.pixel(74, 10), white);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PaintKindTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(ImageWindowTest, DisplayViewWrapsTheRowsWithoutCopying) {
    for (const ImageKind kind : {ImageKind::BW, ImageKind::GRAY256, ImageKind::COLOR256, ImageKind::RGB}) {
        ImagePtr image = MakePatternImage(kind, 13, 7);
        const DibView view(*image);
        EXPECT_EQ(view.rows().constBits(), image->bits) << KindName(kind);
        EXPECT_EQ(view.rows().bytesPerLine(), image->rowBytes);
    }
    // 4-bit rows cannot be wrapped; their colours still come from the palette.
    ImagePtr colour16 = MakePatternImage(ImageKind::COLOR16, 5, 5);
    const DibView view(*colour16);
    EXPECT_TRUE(view.rows().isNull());
    ASSERT_EQ(view.colorTable().size(), 16);
    EXPECT_EQ(view.colorTable()[3], qRgb(colour16->palette[9], colour16->palette[10], colour16->palette[11]));
}

TEST_F(ImageWindowTest, KeypadZoomStepsByTenWithinTenToAThousand) {
    ImageWindow& window = show(MakePatternImage(ImageKind::RGB, 50, 40));
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(window.zoom(), 110);
    QTest::keyClick(&window, Qt::Key_Plus);  // the main keyboard's plus climbs the zoom ladder instead
    EXPECT_EQ(window.zoom(), 150);
    window.setZoom(110);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(window.zoom(), 90);
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(QStringLiteral("50 x 40 16.7 M colors (zoom=90 %)")));

    window.setZoom(1000);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(window.zoom(), 1000);
    window.setZoom(10);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(window.zoom(), 10);
    window.setZoom(9);
    window.setZoom(1001);
    EXPECT_EQ(window.zoom(), 10);

    frame().runCommand(command::Zoom150);
    EXPECT_EQ(window.zoom(), 150);
    frame().runCommand(command::Zoom50);
    EXPECT_EQ(window.zoom(), 50);
}

TEST_F(ImageWindowTest, ScrollRangesAndKeysCountImagePixels) {
    ImageWindow& window = show(MakePatternImage(ImageKind::RGB, 3000, 2000));
    const QSize client = window.viewport()->size();
    ASSERT_LT(client.width() + 200, 3000);
    ASSERT_LT(client.height() + 200, 2000);
    EXPECT_EQ(window.scrollMaximum(), QPoint(3000 - client.width(), 2000 - client.height()));
    const QPoint last = window.scrollMaximum();

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QPoint position;
    } steps[] = {
        {Qt::Key_Down, Qt::NoModifier, {0, 32}},
        {Qt::Key_PageDown, Qt::NoModifier, {0, 128}},
        {Qt::Key_Up, Qt::NoModifier, {0, 96}},
        {Qt::Key_PageUp, Qt::NoModifier, {0, 0}},
        {Qt::Key_PageUp, Qt::NoModifier, {0, 0}},  // clamped at the top
        {Qt::Key_PageDown, Qt::ControlModifier, {0, last.y()}},
        {Qt::Key_Down, Qt::NoModifier, {0, last.y()}},  // clamped at the bottom
        {Qt::Key_PageUp, Qt::ControlModifier, {0, 0}},
        {Qt::Key_Right, Qt::NoModifier, {96, 0}},
        {Qt::Key_End, Qt::NoModifier, {last.x(), 0}},
        {Qt::Key_Left, Qt::NoModifier, {last.x() - 96, 0}},
        {Qt::Key_Home, Qt::NoModifier, {0, 0}},
        {Qt::Key_Left, Qt::NoModifier, {0, 0}},
    };
    for (const auto& step : steps) {
        QTest::keyClick(&window, step.key, step.modifiers);
        EXPECT_EQ(window.scrollPosition(), step.position) << QTest::toString(step.key);
    }

    // At 200 % the window shows half as many image pixels.
    window.setZoom(200);
    settle();
    const QSize zoomedClient = window.viewport()->size();
    EXPECT_EQ(window.scrollMaximum(),
              QPoint(3000 - zoomedClient.width() * 100 / 200, 2000 - zoomedClient.height() * 100 / 200));
}

TEST_F(ImageWindowTest, ScrollingPaintsOnlyTheUncoveredBand) {
    ImagePtr copy = MakePatternImage(ImageKind::COLOR256, 2000, 2000, 3);
    ImageWindow& window = show(MakePatternImage(ImageKind::COLOR256, 2000, 2000, 3));
    PaintRecorder recorder;
    window.viewport()->installEventFilter(&recorder);
    window.viewport()->repaint();
    recorder.regions.clear();

    QTest::keyClick(&window, Qt::Key_Down);
    settle();
    const QSize client = window.viewport()->size();
    ASSERT_FALSE(recorder.regions.isEmpty());
    QRegion painted;
    for (const QRegion& region : recorder.regions) painted += region;
    EXPECT_EQ(painted.boundingRect(), QRect(0, client.height() - 32, client.width(), 32));

    // What is on screen after the move is the picture 32 rows further down.
    const QImage pixels = window.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const QPoint point : {QPoint(0, 0), QPoint(17, 5), QPoint(client.width() - 1, client.height() - 1)})
        EXPECT_EQ(pixels.pixel(point), ColourOf(*copy, point.x(), point.y() + 32)) << point.x() << ", " << point.y();
    window.viewport()->removeEventFilter(&recorder);
}

TEST_F(ImageWindowTest, BiLevelImagesShowTheirHalfSizePictureAtSmallZoom) {
    ImagePtr copy = MakePatternImage(ImageKind::BW, 64, 40, 9);
    ImageWindow& window = show(MakePatternImage(ImageKind::BW, 64, 40, 9));
    window.setZoom(50);
    const ImageDisplay& display = window.display();
    ASSERT_TRUE(display.showsHalfSize());
    const IMG* half = display.halfSizeImage();
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(KindOf(*half), ImageKind::GRAY256);
    EXPECT_EQ(half->width, 32);
    EXPECT_EQ(half->height, 20);
    QImage pixels = ViewportPixels(window);
    bool someGray = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint32_t level = PixelAt(*half, x, y);
            ASSERT_EQ(pixels.pixel(x, y), qRgb(level, level, level)) << x << ", " << y;
            someGray |= level != 0 && level != 255;
        }
    EXPECT_TRUE(someGray);
    EXPECT_EQ(pixels.pixel(32, 0), qRgb(255, 255, 255));

    window.setZoom(100);
    EXPECT_FALSE(display.showsHalfSize());
    EXPECT_EQ(display.displayImage(), window.image());
    pixels = ViewportPixels(window);
    EXPECT_EQ(pixels.pixel(3, 4), ColourOf(*copy, 3, 4));
    window.setZoom(40);  // the half-size picture is kept, not made again
    EXPECT_EQ(display.halfSizeImage(), half);

    // A colour image only stretches; a bi-level image one pixel wide still gets its half picture.
    ImageWindow& colour = show(MakePatternImage(ImageKind::RGB, 20, 20));
    colour.setZoom(50);
    EXPECT_EQ(colour.display().halfSizeImage(), nullptr);
    ImageWindow& thin = show(MakePatternImage(ImageKind::BW, 1, 9));
    thin.setZoom(50);
    ASSERT_NE(thin.display().halfSizeImage(), nullptr);
    EXPECT_EQ(thin.display().halfSizeImage()->width, 1);
    EXPECT_TRUE(boxes.empty());
}

struct DepthCase {
    const char* depth;
    ImageKind kind;
    std::optional<ImageKind> shownAs;
    const char* status;
};

void PrintTo(const DepthCase& test, std::ostream* out) {
    *out << KindName(test.kind) << " at depth " << test.depth;
}

class ScreenDepthTest : public ImageWindowTest, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(ScreenDepthTest, ImagesAreShownThroughACopyTheScreenCanShow) {
    const DepthCase& test = GetParam();
    ::setenv("LUMO_SCREEN_DEPTH", test.depth, 1);
    const QString path = writeBmp("picture.bmp", test.kind, 24, 16);
    start({});
    QSignalSpy shown(&frame().statusStrip(), &StatusStrip::textShown);
    ImageWindow& window = open(path);
    const IMG* copy = window.display().convertedCopy();
    if (!test.shownAs) {
        EXPECT_EQ(copy, nullptr);
        EXPECT_EQ(window.display().displayImage(), window.image());
        return;
    }
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(KindOf(*copy), *test.shownAs);
    EXPECT_EQ(window.display().displayImage(), copy);
    QStringList texts;
    for (const QList<QVariant>& signal : shown) texts.append(signal.at(0).toString());
    EXPECT_TRUE(texts.contains(QString::fromLatin1(test.status))) << texts.join(QStringLiteral(" | ")).toStdString();
    // The status line still describes the image itself, and the copy is what is painted.
    EXPECT_EQ(KindOf(*window.image()), test.kind);
    const QImage pixels = ViewportPixels(window);
    EXPECT_EQ(pixels.pixel(5, 7), ColourOf(*copy, 5, 7));
}

INSTANTIATE_TEST_SUITE_P(
    Depths, ScreenDepthTest,
    ::testing::Values(DepthCase{"8", ImageKind::RGB, ImageKind::COLOR256, "Converting to 256 colors..."},
                      DepthCase{"8", ImageKind::GRAY256, std::nullopt, ""},
                      DepthCase{"4", ImageKind::RGB, ImageKind::COLOR16, "Converting to 16 colors..."},
                      DepthCase{"4", ImageKind::COLOR256, ImageKind::COLOR16, "Converting to 16 colors..."},
                      DepthCase{"4", ImageKind::GRAY256, ImageKind::GRAY16, "Converting to GrayScale 16 levels..."},
                      DepthCase{"4", ImageKind::GRAY16, std::nullopt, ""},
                      DepthCase{"1", ImageKind::GRAY16, ImageKind::BW, "Converting to BW..."},
                      DepthCase{"24", ImageKind::RGB, std::nullopt, ""}));

class MosaicTest : public ImageWindowTest {
protected:
    // A 200 x 100 sheet with two thumbnails side by side and its index.
    QString writeSheet() {
        ImagePtr sheet = MakePatternImage(ImageKind::RGB, 200, 100);
        LumoSaveJpeg(sheet.get(), tempPath("sheet-mosaic.jpg").c_str());
        writeText("sheet-mosaic.idx",
                  "*IDX index table\n"
                  "left.bmp        0    0  100  100\n"
                  "right.bmp     100    0  200  100\n");
        writeBmp("left.bmp", ImageKind::GRAY256, 8, 8);
        writeBmp("right.bmp", ImageKind::RGB, 8, 8);
        return QString::fromStdString(tempPath("sheet-mosaic.jpg"));
    }
    QString shown() { return frame().statusStrip().shownText(); }
    // A mouse move without buttons, delivered at once (a real pointer would move asynchronously).
    static void hover(QWidget* viewport, QPoint point) {
        QMouseEvent move(QEvent::MouseMove, QPointF(point), viewport->mapToGlobal(QPointF(point)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    }
    QString hint(const char* name) {
        return QStringLiteral("Double Click here to load ") + QString::fromStdString(tempPath(name));
    }
};

TEST_F(MosaicTest, HoverNamesTheThumbnailAndDoubleClickOpensIt) {
    ImageWindow& sheet = open(writeSheet());
    ASSERT_NE(sheet.mosaicEntries(), nullptr);
    ASSERT_EQ(sheet.mosaicEntries()->size(), 2u);
    QWidget* viewport = sheet.viewport();

    hover(viewport, QPoint(30, 40));
    EXPECT_EQ(shown(), hint("left.bmp"));
    hover(viewport, QPoint(100, 99));  // right and bottom edges belong to the rectangle
    EXPECT_EQ(shown(), hint("left.bmp"));
    hover(viewport, QPoint(150, 10));
    EXPECT_EQ(shown(), hint("right.bmp"));
    hover(viewport, QPoint(300, 10));  // off the sheet: the status line comes back
    EXPECT_EQ(shown(), frame().statusStrip().statusText());
    EXPECT_TRUE(shown().startsWith(QStringLiteral("200 x 100 16.7 M colors")));

    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    settle();
    EXPECT_EQ(windowCount(), 1);
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(150, 50));
    settle();
    ASSERT_EQ(windowCount(), 2);
    EXPECT_EQ(frame().activeImageWindow()->filePath(), QString::fromStdString(tempPath("right.bmp")));
}

TEST_F(MosaicTest, SheetWithoutIndexNamesItsCellsAndMarksChangedAndGonePictures) {
    ContactSheetRequest request;
    request.files = {writeBmp("a.bmp", ImageKind::RGB, 80, 60).toStdString(),
                     writeBmp("b.bmp", ImageKind::RGB, 80, 60).toStdString(),
                     writeBmp("c.bmp", ImageKind::RGB, 80, 60).toStdString()};
    request.outputFolder = tempDir().string();
    ASSERT_EQ(BuildContactSheets(request).sheets.size(), 1u);
    std::filesystem::remove(tempPath("-mosaic.idx"));
    writeBmp("b.bmp", ImageKind::GRAY256, 80, 60);  // redrawn since
    std::filesystem::remove(tempPath("c.bmp"));

    ImageWindow& sheet = open(QString::fromStdString(tempPath("-mosaic.jpg")));
    ASSERT_NE(sheet.mosaicEntries(), nullptr);
    ASSERT_EQ(sheet.mosaicEntries()->size(), 3u);
    hover(sheet.viewport(), QPoint(40, 30));
    EXPECT_EQ(shown(), hint("a.bmp"));
    hover(sheet.viewport(), QPoint(120, 30));
    EXPECT_EQ(shown(), hint("b.bmp") + " (changed since the sheet was made)");
    hover(sheet.viewport(), QPoint(40, 90));
    EXPECT_EQ(shown(), hint("c.bmp") + " (gone, changed since the sheet was made)");
}

TEST_F(MosaicTest, SheetLoadedAtHalfSizeHasItsRectanglesHalved) {
    setProfile("JpegRatio", "2");
    ImageWindow& sheet = open(writeSheet());
    ASSERT_EQ(sheet.image()->width, 100);
    ASSERT_NE(sheet.mosaicEntries(), nullptr);
    EXPECT_EQ(sheet.mosaicEntryAt(QPoint(60, 10)), 1);
    EXPECT_EQ(sheet.mosaicEntryAt(QPoint(49, 49)), 0);
    EXPECT_EQ(sheet.mosaicEntryAt(QPoint(10, 51)), -1);
    EXPECT_EQ(sheet.mosaicFile(1), QString::fromStdString(tempPath("right.bmp")));
}

TEST_F(MosaicTest, PictureWithoutIndexHasNoThumbnails) {
    ImageWindow& window = open(writeBmp("plain.bmp", ImageKind::RGB, 50, 50));
    EXPECT_EQ(window.mosaicEntries(), nullptr);
    hover(window.viewport(), QPoint(10, 10));
    EXPECT_EQ(shown(), frame().statusStrip().statusText());
}

TEST_F(ImageWindowTest, FailedFirstLoadLeavesNoWindowBehind) {
    start({});
    writeText("broken.jpg", "\xFF\xD8\xFF\xE0 not really a JPEG");
    frame().openFileInNewWindow(QString::fromStdString(tempPath("broken.jpg")));
    frame().openFileInNewWindow(QString::fromStdString(tempPath("absent.gif")));
    settle();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(windowCount(), 0);
    for (QWidget* widget : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<ImageWindow*>(widget), nullptr);
    EXPECT_EQ(frame().activeImageWindow(), nullptr);
    // libjpeg's warning on the cut file is the last thing the status line was given, with the file's name.
    EXPECT_EQ(frame().statusStrip().statusText().toStdString(),
              "Lumo Warning:Premature end of JPEG file: " + tempPath("broken.jpg") + " (module LoadJpeg)");
}

TEST_F(ImageWindowTest, SaveQuestionGuardsUnsavedChanges) {
    ImageWindow& window = open(writeBmp("edited.bmp", ImageKind::RGB, 30, 30));
    QMdiSubWindow* subWindow = frame().subWindowOf(&window);
    window.setModified(true);

    answer = Answer::Cancel;
    EXPECT_FALSE(subWindow->close());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, QStringLiteral("Save ?"));
    EXPECT_EQ(questions[0].text, QStringLiteral("Save %1 ?").arg(QString::fromStdString(tempPath("edited.bmp"))));
    EXPECT_EQ(windowCount(), 1);

    answer = Answer::No;
    EXPECT_TRUE(subWindow->close());
    settle();
    EXPECT_EQ(windowCount(), 0);
    EXPECT_EQ(questions.size(), 2u);

    // Unchanged windows close without a question.
    ImageWindow& plain = open(writeBmp("plain.bmp", ImageKind::BW, 30, 30));
    EXPECT_TRUE(frame().subWindowOf(&plain)->close());
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(ImageWindowTest, FullScreenFitsThePictureAndAnyKeyLeaves) {
    EXPECT_EQ(FitToScreen({1600, 1200}, {800, 600}), QRect(0, 0, 800, 600));
    EXPECT_EQ(FitToScreen({100, 50}, {800, 600}), QRect(350, 275, 100, 50));  // never enlarged
    EXPECT_EQ(FitToScreen({1000, 200}, {800, 600}), QRect(0, 220, 800, 160));
    EXPECT_EQ(FitToScreen({300, 1200}, {800, 600}), QRect(325, 0, 150, 600));
    EXPECT_EQ(FitToScreen({0, 10}, {800, 600}), QRect());

    ImagePtr copy = MakePatternImage(ImageKind::COLOR256, 40, 30);
    ImageWindow& window = show(MakePatternImage(ImageKind::COLOR256, 40, 30));
    frame().runCommand(command::FullScreen);
    settle();
    FullScreenView* view = window.fullScreenView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->geometry(), window.screen()->geometry());
    const QRect target = view->pictureRect();
    EXPECT_EQ(target.size(), QSize(40, 30));
    const QImage pixels = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(pixels.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(pixels.pixel(target.topLeft() + QPoint(3, 2)), ColourOf(*copy, 3, 2));

    QTest::keyClick(view, Qt::Key_Space);
    settle();
    EXPECT_EQ(window.fullScreenView(), nullptr);
}

TEST_F(ImageWindowTest, ActivationAndHelpKeysFollowTheWindowWithTheFocus) {
    ImageWindow& first = show(MakePatternImage(ImageKind::GRAY16, 11, 12));
    show(MakePatternImage(ImageKind::RGB, 21, 22));
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(QStringLiteral("21 x 22 ")));
    frame().activateImageWindow(0);
    EXPECT_EQ(frame().activeImageWindow(), &first);
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(QStringLiteral("11 x 12 Grayscale 16 levels")));
    EXPECT_EQ(frame().imageWindowTitles(), QStringList({QStringLiteral("New 1"), QStringLiteral("New 2")}));

    QTest::keyClick(&first, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(frame().commandSurface().inHelpMode());
    QTest::keyClick(&first, Qt::Key_Escape);
    EXPECT_FALSE(frame().commandSurface().inHelpMode());
}

// Opening a 4000 x 3000 photograph and painting it at 100 % and at 25 %.
TEST_F(ImageWindowTest, LargePhotographIsOnScreenQuickly) {
    const std::string path = tempPath("large.jpg");
    {
        ImagePtr photo = MakePatternImage(ImageKind::RGB, 4000, 3000);
        LumoSaveJpeg(photo.get(), path.c_str());
    }
    start({});
    double seconds[2] = {};
    const int zooms[2] = {100, 25};
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        frame().openFileInNewWindow(QString::fromStdString(path));
        ImageWindow* window = frame().activeImageWindow();
        ASSERT_NE(window, nullptr);
        window->setZoom(zooms[i]);
        window->viewport()->repaint();
        seconds[i] = timer.nsecsElapsed() / 1e9;
        std::printf("open + first paint of 4000 x 3000 JPEG at %d %%: %.3f s\n", zooms[i], seconds[i]);
    }
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(seconds[0], 0.6);
    EXPECT_LT(seconds[1], 0.6);
#endif
}

}  // namespace
