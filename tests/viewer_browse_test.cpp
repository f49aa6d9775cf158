// Looking at photographs: the zoom ladder and Fit to Window, pictures that open fitted, Ctrl+wheel
// around the mouse, stepping through a folder, the turn and mirror commands, and shortened titles.
#include <QFontMetrics>
#include <QMdiSubWindow>
#include <QWheelEvent>
#include <filesystem>

#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/commands/command_table.h"
#include "viewer/commands/folder_pictures.h"
#include "viewer/windows/window_title.h"
#include "viewer/windows/zoom_steps.h"

namespace {

using namespace command;

// ---- the zoom ladder and the fit ----

TEST(ZoomLadder, StepsToTheNextStopFromAnyZoomAndStopsAtTheLimits) {
    const std::pair<int, std::pair<int, int>> cases[] = {
        {100, {150, 75}}, {10, {25, 10}},  {1000, {1000, 800}}, {37, {50, 33}},
        {33, {50, 25}},   {110, {150, 100}}, {990, {1000, 800}}, {11, {25, 10}},
    };
    for (const auto& [zoom, steps] : cases) {
        EXPECT_EQ(ZoomStepUp(zoom), steps.first) << zoom;
        EXPECT_EQ(ZoomStepDown(zoom), steps.second) << zoom;
    }
}

TEST(ZoomLadder, FitIsTheLargestZoomThatShowsTheWholePicture) {
    const QSize room(800, 600);
    EXPECT_EQ(FitZoom({4000, 1000}, room), 20);   // wide: the width decides
    EXPECT_EQ(FitZoom({1000, 3000}, room), 20);   // tall: the height decides
    EXPECT_EQ(FitZoom({3000, 2000}, room), 26);   // 800 / 3000 of the width; the height would allow 30 %
    EXPECT_EQ(FitZoom({200, 100}, room), 400);    // small: enlarged until a side touches
    EXPECT_EQ(FitZoom({8, 8}, room), 1000);       // ... but not past the largest zoom
    EXPECT_EQ(FitZoom({80000, 10}, room), 10);    // nor under the smallest
    EXPECT_EQ(FitZoom({800, 600}, room), 100);
    for (const QSize picture : {QSize(4000, 1000), QSize(1000, 3000), QSize(3001, 1999), QSize(333, 777)}) {
        const int zoom = FitZoom(picture, room);
        EXPECT_LE(picture.width() * zoom / 100.0, room.width()) << zoom;
        EXPECT_LE(picture.height() * zoom / 100.0, room.height()) << zoom;
        EXPECT_TRUE(picture.width() * (zoom + 1) / 100.0 > room.width() ||
                    picture.height() * (zoom + 1) / 100.0 > room.height())
            << zoom;
    }
    // Opening: only pictures larger than the room are made smaller; none are enlarged.
    EXPECT_EQ(OpeningZoom({200, 100}, room), 100);
    EXPECT_EQ(OpeningZoom({800, 600}, room), 100);
    EXPECT_EQ(OpeningZoom({801, 600}, room), 99);
    EXPECT_EQ(OpeningZoom({1000, 3000}, room), 20);
}

class BrowseTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        folder_ = tempPath("pictures");
        std::filesystem::create_directories(folder_);
    }

    ImageWindow& open(const QString& path) {
        if (!started()) startWithoutSignOn();
        EXPECT_TRUE(frame().openFileInNewWindow(path));
        settle();
        return *frame().activeImageWindow();
    }
    QString picture(const std::string& name, int width, int height, ImageKind kind = ImageKind::RGB) {
        return writeBmp("pictures/" + name, kind, width, height);
    }
    QString shown() { return frame().statusStrip().shownText(); }
    void showActiveFrame() {
        frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
    }
    static QString nameOf(const ImageWindow& window) { return QFileInfo(window.filePath()).fileName(); }

    std::string folder_;
};

TEST_F(BrowseTest, LargePicturesOpenFittedAndSmallOnesAtFullSize) {
    // The first window opens maximised.
    ImageWindow& small = open(picture("small.bmp", 40, 30));
    EXPECT_EQ(small.zoom(), 100);
    // Fit to Window enlarges it until a side touches the window's edge.
    frame().runCommand(FitToWindow);
    EXPECT_EQ(small.zoom(), FitZoom({40, 30}, small.maximumViewportSize()));
    EXPECT_GT(small.zoom(), 100);
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(
        QStringLiteral("40 x 30 16.7 M colors (zoom=%1 %)").arg(small.zoom())));
    frame().subWindowOf(&small)->close();
    settle();

    ImageWindow& wide = open(picture("wide.bmp", 3000, 600));
    const QSize room = wide.maximumViewportSize();
    ASSERT_LT(room.width(), 3000);
    EXPECT_EQ(wide.zoom(), FitZoom({3000, 600}, room));
    EXPECT_EQ(wide.scrollMaximum(), QPoint(0, 0));  // the whole picture shows
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(
        QStringLiteral("3000 x 600 16.7 M colors (zoom=%1 %)").arg(wide.zoom())));

    // Another window is cascaded: the fitted picture lies within the area, frame and all.
    ImageWindow& tall = open(picture("tall.bmp", 500, 2500));
    QMdiSubWindow* subWindow = frame().subWindowOf(&tall);
    ASSERT_FALSE(subWindow->isMaximized());
    EXPECT_LT(tall.zoom(), 100);
    EXPECT_TRUE(frame().mdiArea().viewport()->rect().contains(subWindow->geometry())) << tall.zoom();
    EXPECT_EQ(tall.scrollMaximum(), QPoint(0, 0));
    ImageWindow& little = open(picture("little.bmp", 40, 30));
    EXPECT_EQ(little.zoom(), 100);

    // Without "OpenFitted" a large picture opens at 100 % in a window as large as itself, which
    // reaches past the area: Fit to Window fits it to what shows of the window.
    setProfile("OpenFitted", "0");
    ImageWindow& whole = open(picture("whole.bmp", 3000, 600));
    EXPECT_EQ(whole.zoom(), 100);
    frame().runCommand(FitToWindow);
    EXPECT_LT(whole.zoom(), 100);
    const QPoint place = frame().subWindowOf(&whole)->pos();
    EXPECT_LE(whole.zoomedImageSize().width(), frame().mdiArea().viewport()->width() - place.x());
    EXPECT_LE(whole.zoomedImageSize().height(), frame().mdiArea().viewport()->height() - place.y());
}

TEST_F(BrowseTest, MainKeyboardZoomKeysClimbTheLadderAndTheKeypadKeepsItsSteps) {
    ImageWindow& window = open(picture("photo.bmp", 60, 40));
    ASSERT_EQ(window.zoom(), 100);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ShiftModifier);  // "+" above "=" on many keyboards
    EXPECT_EQ(window.zoom(), 150);
    QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(window.zoom(), 200);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Minus);
    QTest::keyClick(&window, Qt::Key_Minus);
    EXPECT_EQ(window.zoom(), 75);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(window.zoom(), 85);
    QTest::keyClick(&window, Qt::Key_Plus);
    EXPECT_EQ(window.zoom(), 100);
    EXPECT_TRUE(frame().statusStrip().statusText().contains(QStringLiteral("(zoom=100 %)")));

    window.setZoom(1000);
    QTest::keyClick(&window, Qt::Key_Plus);
    EXPECT_EQ(window.zoom(), 1000);
    window.setZoom(10);
    QTest::keyClick(&window, Qt::Key_Minus);
    EXPECT_EQ(window.zoom(), 10);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::AltModifier);  // not a zoom key
    EXPECT_EQ(window.zoom(), 10);
}

void Wheel(QWidget* target, QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

TEST_F(BrowseTest, ControlWheelZoomsAroundTheMouse) {
    setProfile("OpenFitted", "0");
    ImageWindow& window = open(picture("photo.bmp", 2000, 1500));
    window.setScrollPosition({300, 200});
    const QPoint mouse(150, 100);
    const QPointF before = QPointF(window.scrollPosition()) + QPointF(mouse) * 100.0 / window.zoom();

    Wheel(window.viewport(), mouse, 120, Qt::ControlModifier);
    ASSERT_EQ(window.zoom(), 150);
    const QPointF after = QPointF(window.scrollPosition()) + QPointF(mouse) * 100.0 / window.zoom();
    EXPECT_NEAR(after.x(), before.x(), 1.0);
    EXPECT_NEAR(after.y(), before.y(), 1.0);

    // A fine-grained wheel zooms once its turns add up to a notch.
    Wheel(window.viewport(), mouse, -60, Qt::ControlModifier);
    EXPECT_EQ(window.zoom(), 150);
    Wheel(window.viewport(), mouse, -60, Qt::ControlModifier);
    EXPECT_EQ(window.zoom(), 100);
    Wheel(window.viewport(), mouse, -240, Qt::ControlModifier);
    EXPECT_EQ(window.zoom(), 67);

    // The wheel alone scrolls.
    const QPoint position = window.scrollPosition();
    Wheel(window.viewport(), mouse, -120, Qt::NoModifier);
    EXPECT_EQ(window.zoom(), 67);
    EXPECT_GT(window.scrollPosition().y(), position.y());
}

TEST_F(BrowseTest, DesktopKeysOpenCloseAndFitBesideTheOldOnes) {
    startWithoutSignOn();
    CommandSurface& surface = frame().commandSurface();
    EXPECT_EQ(surface.action(Open)->shortcuts(),
              QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_F12), QKeySequence(Qt::CTRL | Qt::Key_O)}));
    EXPECT_EQ(surface.action(Close)->shortcuts(),
              QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)}));
    EXPECT_EQ(surface.action(NextImage)->shortcuts(),
              QList<QKeySequence>({QKeySequence(Qt::Key_Space), QKeySequence(Qt::ALT | Qt::Key_Right)}));
    EXPECT_EQ(surface.action(PreviousImage)->shortcuts(),
              QList<QKeySequence>({QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Left)}));
    // Each key sends one command only.
    QList<QKeySequence> seen;
    for (const CommandInfo& command : Commands())
        if (QAction* action = surface.action(command.id))
            for (const QKeySequence& keys : action->shortcuts()) {
                EXPECT_FALSE(seen.contains(keys)) << keys.toString().toStdString();
                seen.append(keys);
            }

    ImageWindow& window = open(picture("photo.bmp", 30, 20));
    showActiveFrame();
    QTest::keyClick(&window, Qt::Key_F);
    EXPECT_EQ(window.zoom(), FitZoom({30, 20}, window.maximumViewportSize()));
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    settle();
    EXPECT_EQ(windowCount(), 0);
}

// ---- stepping through a folder ----

TEST(FolderOrder, NamesCompareWithoutCaseAndNumbersByValue) {
    const QStringList sorted = {"a.jpg", "B.jpg", "img2.jpg", "IMG9.jpg", "img10.jpg", "img010b.jpg", "img100.jpg", "z.jpg"};
    for (qsizetype i = 0; i < sorted.size(); ++i)
        for (qsizetype j = 0; j < sorted.size(); ++j) {
            const int expected = i < j ? -1 : i > j ? 1 : 0;
            EXPECT_EQ(CompareFileNames(sorted[i], sorted[j]), expected) << sorted[i].toStdString() << " " << sorted[j].toStdString();
        }
    // Names that read alike still have one fixed order.
    EXPECT_NE(CompareFileNames("img01.jpg", "img1.jpg"), 0);
    EXPECT_EQ(CompareFileNames("img01.jpg", "img1.jpg"), -CompareFileNames("img1.jpg", "img01.jpg"));
    EXPECT_NE(CompareFileNames("A.jpg", "a.jpg"), 0);
}

TEST(FolderOrder, StepGoesOnAroundTheEndAndFindsItsPlaceByName) {
    const QStringList pictures = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    StepOrder next = StepCandidates(pictures, "b.jpg", true);
    EXPECT_EQ(next.names, QStringList({"c.jpg", "d.jpg", "a.jpg"}));
    EXPECT_EQ(next.wrapIndex, 2);
    StepOrder previous = StepCandidates(pictures, "b.jpg", false);
    EXPECT_EQ(previous.names, QStringList({"a.jpg", "d.jpg", "c.jpg"}));
    EXPECT_EQ(previous.wrapIndex, 1);
    // A file deleted since it opened: the step starts from where its name would be.
    next = StepCandidates(pictures, "bb.jpg", true);
    EXPECT_EQ(next.names, QStringList({"c.jpg", "d.jpg", "a.jpg", "b.jpg"}));
    EXPECT_EQ(StepCandidates({"a.jpg"}, "a.jpg", true).names, QStringList());
}

TEST_F(BrowseTest, FolderListsOnlyPicturesTheViewerReadsInNameOrder) {
    for (const char* name : {"img10.bmp", "IMG9.BMP", "b.gif", "A.jpg", "notes.txt", "archive.zip", ".hidden.bmp", "page.ps"})
        writeText(std::string("pictures/") + name, "x");
    std::filesystem::create_directories(folder_ + "/sub.bmp");  // a folder with a picture's name
    EXPECT_EQ(PicturesInFolder(QString::fromStdString(folder_)),
              QStringList({"A.jpg", "b.gif", "IMG9.BMP", "img10.bmp"}));
}

TEST_F(BrowseTest, NextAndPreviousStepThroughTheFolderSkippingBrokenFiles) {
    const QString first = picture("a.bmp", 30, 20);
    picture("B.bmp", 31, 21);
    writeText("pictures/c.bmp", "BM not a bitmap");
    picture("img9.bmp", 32, 22);
    picture("img10.bmp", 3000, 2200);
    writeText("pictures/readme.txt", "not a picture");
    ImageWindow& window = open(first);

    frame().runCommand(NextImage);
    EXPECT_EQ(nameOf(window), "B.bmp");
    EXPECT_EQ(window.windowTitle(), QString::fromStdString(folder_ + "/B.bmp"));
    frame().runCommand(NextImage);
    settle();
    EXPECT_EQ(nameOf(window), "img9.bmp");
    EXPECT_TRUE(shown().startsWith(QStringLiteral("Skipped c.bmp ("))) << shown().toStdString();
    EXPECT_TRUE(boxes.empty());  // the broken file shows no message box
    EXPECT_TRUE(frame().statusStrip().statusText().startsWith(QStringLiteral("32 x 22 ")));

    // The large picture of the folder is fitted as it would be on opening.
    frame().runCommand(NextImage);
    EXPECT_EQ(nameOf(window), "img10.bmp");
    EXPECT_EQ(window.zoom(), window.fitZoom());
    frame().runCommand(NextImage);  // around the end
    settle();
    EXPECT_EQ(nameOf(window), "a.bmp");
    EXPECT_EQ(window.zoom(), 100);
    EXPECT_EQ(shown(), "Back to the first image of the folder");
    frame().runCommand(PreviousImage);
    settle();
    EXPECT_EQ(nameOf(window), "img10.bmp");
    EXPECT_EQ(shown(), "Back to the last image of the folder");
    EXPECT_EQ(windowCount(), 1);
    EXPECT_TRUE(frame().commandSurface().recentFiles().isEmpty());  // browsing is not opening

    // The keys, on the image window that has the focus.
    showActiveFrame();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* name;
    } keys[] = {{Qt::Key_Space, Qt::NoModifier, "a.bmp"},
                {Qt::Key_Right, Qt::AltModifier, "B.bmp"},
                {Qt::Key_Left, Qt::AltModifier, "a.bmp"},
                {Qt::Key_Backspace, Qt::NoModifier, "img10.bmp"}};
    for (const auto& key : keys) {
        QTest::keyClick(frame().activeImageWindow(), key.key, key.modifiers);
        EXPECT_EQ(nameOf(window), key.name) << QTest::toString(key.key);
    }
    EXPECT_EQ(window.scrollPosition(), QPoint(0, 0));  // Alt+Left did not scroll as Left does
}

TEST_F(BrowseTest, ChangedImageAsksBeforeTheStepAndLonePicturesStay) {
    const QString first = picture("a.bmp", 30, 20);
    picture("b.bmp", 30, 20);
    ImageWindow& window = open(first);
    frame().runCommand(RotateRight);
    ASSERT_TRUE(window.isModified());

    answer = Answer::Cancel;
    frame().runCommand(NextImage);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, QStringLiteral("Save %1 ?").arg(first));
    EXPECT_EQ(nameOf(window), "a.bmp");
    EXPECT_TRUE(window.isModified());

    answer = Answer::No;
    frame().runCommand(NextImage);
    EXPECT_EQ(nameOf(window), "b.bmp");
    EXPECT_FALSE(window.isModified());
    EXPECT_EQ(window.image()->width, 30);  // a.bmp was not saved turned
    frame().runCommand(NextImage);
    EXPECT_EQ(LumoLoadBmp(first.toUtf8().constData())->width, 30);

    // A picture alone in its folder, and a pasted one without folder, stay with a note.
    std::filesystem::create_directories(tempPath("alone"));
    ImageWindow& alone = open(writeBmp("alone/only.bmp", ImageKind::GRAY256, 8, 8));
    frame().runCommand(NextImage);
    settle();
    EXPECT_EQ(nameOf(alone), "only.bmp");
    EXPECT_EQ(shown(), "No other image in this folder");
    frame().openImageInNewWindow(MakePatternImage(ImageKind::RGB, 8, 8));
    frame().runCommand(PreviousImage);
    settle();
    EXPECT_EQ(shown(), "This image does not come from a folder");
    EXPECT_TRUE(boxes.empty());
}

// ---- turning and mirroring ----

TEST_F(BrowseTest, TurnCommandsMoveEveryPixelAndMarkTheImageChanged) {
    const int W = 7, H = 4;
    ImagePtr original = MakePatternImage(ImageKind::COLOR16, W, H, 3);
    startWithoutSignOn();
    ImageWindow* window = frame().openImageInNewWindow(MakePatternImage(ImageKind::COLOR16, W, H, 3));
    EXPECT_TRUE(frame().commandSurface().action(RotateLeft)->isEnabled());
    const struct {
        int id;
        int width, height;
        std::function<std::pair<int, int>(int, int)> from;  // the original pixel shown at (x, y)
    } cases[] = {
        {RotateRight, H, W, [&](int x, int y) { return std::pair{y, H - 1 - x}; }},
        {RotateLeft, H, W, [&](int x, int y) { return std::pair{W - 1 - y, x}; }},
        {FlipHorizontal, W, H, [&](int x, int y) { return std::pair{W - 1 - x, y}; }},
        {FlipVertical, W, H, [&](int x, int y) { return std::pair{x, H - 1 - y}; }},
    };
    for (const auto& c : cases) {
        window->setImage(MakePatternImage(ImageKind::COLOR16, W, H, 3));
        window->setModified(false);
        frame().runCommand(c.id);
        const IMG& turned = *window->image();
        ASSERT_EQ(turned.width, c.width) << c.id;
        ASSERT_EQ(turned.height, c.height) << c.id;
        EXPECT_EQ(KindOf(turned), ImageKind::COLOR16);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const auto [sx, sy] = c.from(x, y);
                ASSERT_EQ(ColourOf(turned, x, y), ColourOf(*original, sx, sy)) << c.id << " at " << x << ", " << y;
            }
        EXPECT_TRUE(window->isModified()) << c.id;
        EXPECT_TRUE(frame().commandSurface().action(Save)->isEnabled()) << c.id;
    }
    // Four quarter turns give the picture back, and the screen shows what the image holds.
    window->setImage(MakePatternImage(ImageKind::COLOR16, W, H, 3));
    for (int i = 0; i < 4; ++i) frame().runCommand(RotateLeft);
    EXPECT_TRUE(SamePixels(*original, *window->image()));
    frame().runCommand(RotateRight);
    settle();
    const QImage pixels = ViewportPixels(*window);
    for (int y = 0; y < W; ++y)
        for (int x = 0; x < H; ++x) ASSERT_EQ(pixels.pixel(x, y), ColourOf(*window->image(), x, y));
}

TEST_F(BrowseTest, TurnsAreGreyedWithoutImageAndAFittedPictureStaysWhole) {
    startWithoutSignOn();
    for (const int id : {RotateLeft, RotateRight, FlipHorizontal, FlipVertical, FitToWindow, NextImage, PreviousImage})
        EXPECT_FALSE(frame().commandSurface().action(id)->isEnabled()) << id;
    ImageWindow& window = open(picture("landscape.bmp", 3000, 1000));
    for (const int id : {RotateLeft, RotateRight, FlipHorizontal, FlipVertical, FitToWindow, NextImage, PreviousImage})
        EXPECT_TRUE(frame().commandSurface().action(id)->isEnabled()) << id;
    ASSERT_EQ(window.zoom(), window.fitZoom());
    frame().runCommand(RotateRight);
    EXPECT_EQ(window.image()->height, 3000);
    EXPECT_EQ(window.zoom(), window.fitZoom());
    EXPECT_EQ(window.scrollMaximum(), QPoint(0, 0));
}

// ---- titles ----

TEST(WindowTitle, LongPathsKeepTheNameAndShortenTheFolder) {
    const QFontMetrics metrics(QApplication::font());
    const QString path = "/srv/photos/2024/summer holidays in the mountains/day three/IMG_20240712_101500.jpg";
    EXPECT_EQ(ShortenedTitle(path, metrics, metrics.horizontalAdvance(path)), path);
    for (const int width : {500, 380, 300}) {
        const QString title = ShortenedTitle(path, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(title), width) << title.toStdString();
        EXPECT_TRUE(title.startsWith("IMG_20240712_101500.jpg - ")) << title.toStdString();
        EXPECT_TRUE(title.contains(QChar(0x2026))) << title.toStdString();
    }
    // With room for some folders: where the path starts and where it ends.
    const QString title = ShortenedTitle(path, metrics, metrics.horizontalAdvance("IMG_20240712_101500.jpg - /srv/\u2026/day three") + 2);
    EXPECT_EQ(title, "IMG_20240712_101500.jpg - /srv/\u2026/day three");
    // Too narrow even for the name: the name alone.
    EXPECT_EQ(ShortenedTitle(path, metrics, metrics.horizontalAdvance("IMG_2024")), "IMG_20240712_101500.jpg");
    // The home folder reads as "~".
    const QString home = QDir::homePath() + "/Pictures/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/photo.jpg";
    EXPECT_TRUE(ShortenedTitle(home, metrics, 300).startsWith("photo.jpg - ~/")) << ShortenedTitle(home, metrics, 300).toStdString();
}

TEST_F(BrowseTest, TitleBarShortensALongPathWhileTheWindowKeepsItsFile) {
    const std::string deep = "pictures/" + std::string(60, 'f') + "/" + std::string(60, 'g');
    std::filesystem::create_directories(tempPath(deep));
    const QString path = writeBmp(deep + "/holiday.bmp", ImageKind::RGB, 20, 10);
    open(picture("first.bmp", 20, 10));
    ImageWindow& window = open(path);  // cascaded: its title bar is as wide as the picture
    settle();
    QMdiSubWindow* subWindow = frame().subWindowOf(&window);
    EXPECT_EQ(window.windowTitle(), path);
    EXPECT_EQ(subWindow->windowTitle(), "holiday.bmp");  // a narrow title bar: the name
    EXPECT_EQ(frame().imageWindowTitles().last(), path);
    subWindow->showMaximized();
    settle();
    EXPECT_TRUE(frame().windowTitle().startsWith("Lumo v1.2e - [holiday.bmp - /")) << frame().windowTitle().toStdString();
    EXPECT_TRUE(frame().windowTitle().contains(QChar(0x2026))) << frame().windowTitle().toStdString();
}

}  // namespace
