// The frame: start-up, status line and progress bar, hooks and recovery, toolbar, closing, cascade,
// drag and drop, and the command line.
#include <QAction>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QUrl>

#include "core/memory.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "platform/status_text.h"
#include "viewer/shell/hooks.h"
#include "viewer/windows/image_info.h"
#include "viewer/windows/mdi_layout.h"
#include "viewer/shell/sign_on_box.h"
#include "viewer/shell/toolbar_strip.h"
#include "viewer/shell/viewer_colors.h"
#include "tests/viewer_support/viewer_fixture.h"

namespace {

using FrameTest = ViewerTest;

const QRegularExpression kFreeMemoryLine(QStringLiteral("^\\d+ Ko free - Ressources left: \\d+ %$"));

TEST_F(FrameTest, WithoutFilesTheSignOnShowsAndAKeyEndsIt) {
    FrameWindow& window = start();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Lumo v1.2e"));
    EXPECT_TRUE(window.isVisible());
    SignOnBox* signOn = viewer().signOnBox();
    ASSERT_NE(signOn, nullptr);
    EXPECT_TRUE(signOn->isVisible());
    EXPECT_EQ(signOn->windowTitle(), QStringLiteral("Lumo for Windows"));
    EXPECT_EQ(windowCount(), 0);
    EXPECT_TRUE(kFreeMemoryLine.match(window.statusStrip().statusText()).hasMatch())
        << window.statusStrip().statusText().toStdString();

    // The key that ends the sign-on still reaches the frame: Shift+F1 enters the help mode.
    QTest::keyClick(&window, Qt::Key_F1, Qt::ShiftModifier);
    settle();
    EXPECT_EQ(viewer().signOnBox(), nullptr);
    EXPECT_TRUE(window.commandSurface().inHelpMode());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.commandSurface().inHelpMode());
}

TEST_F(FrameTest, NamedFilesOpenWithoutSignOnAndStayOutOfTheRecentList) {
    const QString first = writeBmp("first.bmp", ImageKind::RGB, 30, 20);
    const QString spaced = writeBmp("name with spaces.bmp", ImageKind::GRAY256, 10, 12);
    FrameWindow& window = start({first, spaced});
    EXPECT_EQ(viewer().signOnBox(), nullptr);
    ASSERT_EQ(windowCount(), 2);
    EXPECT_EQ(window.imageWindowTitles(), QStringList({first, spaced}));
    EXPECT_TRUE(window.commandSurface().recentFiles().isEmpty());
    // The last one opened is the active window and the status line describes it.
    ASSERT_NE(window.activeImageWindow(), nullptr);
    EXPECT_EQ(window.activeImageWindow()->filePath(), spaced);
    EXPECT_TRUE(window.statusStrip().statusText().startsWith(QStringLiteral("10 x 12 Grayscale 256 levels (zoom=100 %) - ")));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FrameTest, ImageInfoLineNamesEveryKindAndTheLoadTime) {
    FrameWindow& window = start({});
    const struct {
        ImageKind kind;
        const char* text;
    } kinds[] = {{ImageKind::BW, "B/W"},
                 {ImageKind::GRAY16, "Grayscale 16 levels"},
                 {ImageKind::GRAY256, "Grayscale 256 levels"},
                 {ImageKind::COLOR16, "16 colors"},
                 {ImageKind::COLOR256, "256 colors"},
                 {ImageKind::RGB, "16.7 M colors"}};
    for (const auto& [kind, text] : kinds) {
        window.openImageInNewWindow(MakePatternImage(kind, 7, 5));
        const QString status = window.statusStrip().statusText();
        const QRegularExpression expected(QStringLiteral("^7 x 5 %1 \\(zoom=100 %\\) - \\d+ Ko free - Ressources left: \\d+ %$")
                                              .arg(QRegularExpression::escape(QString::fromLatin1(text))));
        EXPECT_TRUE(expected.match(status).hasMatch()) << status.toStdString();
    }
    // A picture loaded from a file carries its load time in seconds and hundredths, once there is a
    // hundredth to show.
    window.openFileInNewWindow(writeBmp("timed.bmp", ImageKind::RGB, 8, 8));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("( \\(Loaded in \\d+\\.\\d\\ds\\))?$"))
                    .match(window.statusStrip().statusText())
                    .hasMatch())
        << window.statusStrip().statusText().toStdString();

    const MemoryStatus memory{1234, 56};
    ImagePtr image = MakePatternImage(ImageKind::BW, 3, 2);
    EXPECT_EQ(ImageInfoText(image.get(), 150, 1050, memory),
              QStringLiteral("3 x 2 B/W (zoom=150 %) - 1234 Ko free - Ressources left: 56 % (Loaded in 1.05s)"));
    EXPECT_EQ(ImageInfoText(image.get(), 100, 12345, memory).right(20), QStringLiteral("% (Loaded in 12.34s)"));
    EXPECT_TRUE(ImageInfoText(image.get(), 100, 10, memory).endsWith(QStringLiteral("% (Loaded in 0.01s)")));
    EXPECT_TRUE(ImageInfoText(image.get(), 100, 9, memory).endsWith(QStringLiteral("left: 56 %")));
    EXPECT_EQ(ImageInfoText(nullptr, 100, 0, memory), QStringLiteral("1234 Ko free - Ressources left: 56 %"));
}

TEST(SystemInfoTest, MemInfoGivesFreeKilobytesAndTheShareLeft) {
    const MemoryStatus status = ParseMemInfo("MemTotal:       16000000 kB\nMemFree:  1000 kB\nMemAvailable:    4000000 kB\n");
    EXPECT_EQ(status.freeKilobytes, 4000000);
    EXPECT_EQ(status.resourcesPercent, 25);
    // Older kernels have no MemAvailable line.
    const MemoryStatus old = ParseMemInfo("MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 150 kB\n");
    EXPECT_EQ(old.freeKilobytes, 300);
    EXPECT_EQ(old.resourcesPercent, 30);
    EXPECT_EQ(ParseMemInfo("").resourcesPercent, 0);
    const uint32_t before = TickCount();
    QTest::qWait(20);
    EXPECT_GE(TickCount() - before, 15u);
}

// Counts the strip's pixels of a colour in a column range of the text rows.
int CountPixels(const QImage& strip, int fromX, int toX, QRgb colour) {
    int count = 0;
    for (int y = 1; y < strip.height(); ++y)
        for (int x = fromX; x < toX && x < strip.width(); ++x) count += strip.pixel(x, y) == colour;
    return count;
}

TEST_F(FrameTest, ProgressBarIsDrawnInTheStatusStrip) {
    FrameWindow& window = start({writeBmp("a.bmp", ImageKind::RGB, 20, 20)});
    StatusStrip& strip = window.statusStrip();
    const QRgb blue = kProgressBlue.rgb(), grey = kLightGrey.rgb(), white = qRgb(255, 255, 255),
               black = qRgb(0, 0, 0);
    const int w = strip.width();
    ASSERT_GT(w, 200);

    // The library drives the bar through the viewer's progress hook.
    LumoProgress(-1);
    EXPECT_TRUE(strip.progressShown());
    QImage picture = strip.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(CountPixels(picture, 0, w, blue), 0);
    EXPECT_EQ(picture.pixel(w / 2, 0), black);  // the separator row

    LumoProgress(50);
    picture = strip.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(strip.progressPercent(), 50);
    EXPECT_EQ(picture.pixel(w / 2 - 1, picture.height() - 1), blue);
    EXPECT_EQ(picture.pixel(w / 2 + 1, picture.height() - 1), grey);
    EXPECT_EQ(picture.pixel(MulDiv(w, 50, 100), 2), grey);
    // "50 %" fits inside the half bar: white text on blue, no black anywhere below the separator.
    EXPECT_GT(CountPixels(picture, 5, 60, white), 0);
    EXPECT_EQ(CountPixels(picture, 0, w, black), 0);

    LumoProgress(50);  // a repeated value changes nothing
    EXPECT_EQ(strip.progressPercent(), 50);

    // A bar too short for its text: the text is black.
    LumoProgress(-1);
    LumoProgress(1);
    picture = strip.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(strip.progressPercent(), 1);
    EXPECT_GT(CountPixels(picture, 5, 60, black), 0);
    EXPECT_EQ(CountPixels(picture, MulDiv(w, 1, 100) + 1, w, blue), 0);

    // The end fills the bar and puts the image-info line back.
    LumoProgress(-2);
    EXPECT_EQ(strip.progressPercent(), 100);
    EXPECT_FALSE(strip.progressShown());
    EXPECT_EQ(strip.shownText(), strip.statusText());
    EXPECT_TRUE(strip.statusText().startsWith(QStringLiteral("20 x 20 16.7 M colors (zoom=100 %) - ")));
    picture = strip.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(CountPixels(picture, 0, w, blue), 0);
}

TEST_F(FrameTest, ProgressAdvancesByTheDifferenceOfTheValues) {
    StatusStrip strip;
    strip.progress(-1);
    strip.progress(30);
    strip.progress(20);  // a later operation counting again from a lower value moves the bar back
    EXPECT_EQ(strip.progressPercent(), 20);
    strip.progress(-2);
    EXPECT_EQ(strip.progressPercent(), 100);
    EXPECT_EQ(MulDiv(7, 50, 100), 4);  // halves round up, as MulDiv does
    EXPECT_EQ(MulDiv(-7, 50, 100), -4);
    EXPECT_EQ(MulDiv(5, 5, 0), 0);
}

TEST_F(FrameTest, LibraryErrorsAndWarningsReachTheUserAndTheViewerRunsOn) {
    FrameWindow& window = start({writeBmp("good.bmp", ImageKind::COLOR256, 16, 16)});
    ImageWindow* good = window.activeImageWindow();
    ASSERT_NE(good, nullptr);

    // A damaged file: the error box, no new window, the other window untouched.
    writeText("damaged.bmp", "BM this is not a bitmap at all");
    window.openFileInNewWindow(QString::fromStdString(tempPath("damaged.bmp")));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text.rfind("Lumo Error:", 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(" (module "), std::string::npos) << boxes[0].text;
    EXPECT_EQ(windowCount(), 1);
    EXPECT_EQ(window.activeImageWindow(), good);
    ASSERT_NE(good->image(), nullptr);
    EXPECT_EQ(good->image()->width, 16);

    // A file that is not there, and an extension no codec reads: still no window.
    window.openFileInNewWindow(QString::fromStdString(tempPath("missing.bmp")));
    writeText("notes.xyz", "text");
    window.openFileInNewWindow(QString::fromStdString(tempPath("notes.xyz")));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[1].text.find("Can't open file"), std::string::npos) << boxes[1].text;
    EXPECT_EQ(boxes[2].text, "Unknown file extension xyz for file " + tempPath("notes.xyz"));
    EXPECT_EQ(windowCount(), 1);

    // An error in a command run from the menus, and one with no module name.
    boxes.clear();
    EXPECT_THROW(LumoError(nullptr, "plain %s", "failure"), LumoFailure);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Lumo Error: plain failure");

    // Warnings become the status text.
    LumoWarning("LumoTestModule", "careful with %d", 3);
    EXPECT_EQ(window.statusStrip().statusText(), QStringLiteral("Lumo Warning:careful with 3 (module LumoTestModule)"));
    EXPECT_EQ(boxes.size(), 1u);

    // A loader's status text is shown at once.
    ShowStatusText("Loading thumbnail n'7");
    EXPECT_EQ(window.statusStrip().shownText(), QStringLiteral("Loading thumbnail n'7"));
}

TEST_F(FrameTest, WarningsBeforeTheFrameExistsGoToAMessageBox) {
    ViewerHooks hooks;
    LumoWarning("Early", "no frame yet");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Lumo Warning:no frame yet (module Early)");
    EXPECT_EQ(LumoGetIntOption("showprogress"), 1);
}

TEST_F(FrameTest, ToolbarFollowsTheProfileAndCommand340) {
    setProfile("ToolBarVisible", "0");
    FrameWindow& window = start({});
    EXPECT_FALSE(window.toolbarStrip().isVisible());
    EXPECT_EQ(window.mdiArea().y(), 0);

    window.runCommand(command::ToolbarVisible);
    settle();
    EXPECT_TRUE(window.toolbarStrip().isVisible());
    EXPECT_EQ(window.mdiArea().y(), ToolbarStrip::kHeight);
    EXPECT_TRUE(window.commandSurface().action(command::ToolbarVisible)->isChecked());

    // The state is kept in the profile when the frame closes.
    EXPECT_TRUE(window.close());
    EXPECT_EQ(ProfileString("ToolBarVisible", ""), "1");
}

TEST_F(FrameTest, ToolbarButtonsShowTheirHelpWhilePressedAndHideWhenDisabled) {
    FrameWindow& window = start({writeBmp("a.bmp", ImageKind::RGB, 20, 20)});
    ToolbarStrip& toolbar = window.toolbarStrip();
    ToolbarButton* open = toolbar.button(command::Open);
    ToolbarButton* save = toolbar.button(command::Save);
    ASSERT_TRUE(open && save);
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(open->geometry(), QRect(0, 0, 20, 17));
    EXPECT_EQ(toolbar.button(command::Print)->geometry(), QRect(40, 0, 20, 17));

    // Save is disabled without changes (and while saving is not built): the button is plain grey.
    EXPECT_FALSE(save->isEnabled());
    const QImage hidden = save->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < hidden.height(); ++y)
        for (int x = 0; x < hidden.width(); ++x) ASSERT_EQ(hidden.pixel(x, y), kLightGrey.rgb());
    const QImage shown = open->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0, 0, 0));  // the button's black border

    QTest::mousePress(open, Qt::LeftButton);
    EXPECT_EQ(window.statusStrip().shownText(), QStringLiteral("Load an image"));
    EXPECT_TRUE(open->isDown());
    // Dragged off the button: no longer pressed, the status line comes back; dragged back on, the
    // help shows again; released outside, no command runs.
    QTest::mouseMove(open, QPoint(100, 100));
    EXPECT_FALSE(open->isDown());
    EXPECT_EQ(window.statusStrip().shownText(), window.statusStrip().statusText());
    QTest::mouseMove(open, QPoint(5, 5));
    EXPECT_EQ(window.statusStrip().shownText(), QStringLiteral("Load an image"));
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(100, 100), open->mapToGlobal(QPointF(100, 100)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(open, &release);
    EXPECT_EQ(window.statusStrip().shownText(), window.statusStrip().statusText());
    EXPECT_EQ(windowCount(), 1);
}

TEST_F(FrameTest, FrameClosesOnlyWhenEveryWindowAgrees) {
    FrameWindow& window = start({writeBmp("a.bmp", ImageKind::RGB, 20, 20), writeBmp("b.bmp", ImageKind::BW, 20, 20),
                                 writeBmp("c.bmp", ImageKind::GRAY16, 20, 20)});
    const QList<ImageWindow*> windows = window.imageWindows();  // topmost first
    ASSERT_EQ(windows.size(), 3);
    windows[0]->setModified(true);
    windows[1]->setModified(true);

    answer = Answer::Cancel;  // the topmost refuses
    EXPECT_FALSE(window.close());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, QStringLiteral("Save ?"));
    EXPECT_EQ(questions[0].text, QStringLiteral("Save %1 ?").arg(windows[0]->windowTitle()));
    EXPECT_EQ(windowCount(), 3);
    EXPECT_TRUE(window.isVisible());

    // Quit asks the same way.
    questions.clear();
    window.runCommand(command::Quit);
    settle();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_TRUE(window.isVisible());

    questions.clear();
    answer = Answer::No;  // both discard their changes, the third is not asked
    EXPECT_TRUE(window.close());
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(FrameTest, CascadeStepsThroughTheCaptionsAndWraps) {
    EXPECT_EQ(CascadeOffsets(3, 200, 20), QList<int>({40, 20, 0}));
    // Ten captions fit: nine steps; the eleventh window starts the staircase again.
    EXPECT_EQ(CascadeOffsets(11, 200, 20), QList<int>({20, 0, 160, 140, 120, 100, 80, 60, 40, 20, 0}));
    EXPECT_EQ(CascadeOffsets(6, 90, 20), QList<int>({20, 0, 60, 40, 20, 0}));  // four captions, four steps
    EXPECT_EQ(CascadeOffsets(2, 10, 20), QList<int>({0, 0}));          // not even one caption: one step
    EXPECT_TRUE(CascadeOffsets(0, 200, 20).isEmpty());
}

TEST_F(FrameTest, SecondWindowCascadesAllAndTheFirstOpensMaximised) {
    FrameWindow& window = start({writeBmp("a.bmp", ImageKind::RGB, 40, 30)});
    QMdiSubWindow* first = window.mdiArea().subWindowList().at(0);
    EXPECT_TRUE(first->isMaximized());

    window.openFileInNewWindow(writeBmp("b.bmp", ImageKind::RGB, 50, 20));
    window.openFileInNewWindow(writeBmp("c.bmp", ImageKind::GRAY256, 60, 25));
    settle();
    const QList<ImageWindow*> windows = window.imageWindows();
    ASSERT_EQ(windows.size(), 3);
    const int step = windows[0]->parentWidget()->y() - windows[1]->parentWidget()->y();
    EXPECT_GT(step, 0);
    for (int i = 0; i < 3; ++i) {
        QMdiSubWindow* subWindow = window.subWindowOf(windows[i]);
        EXPECT_FALSE(subWindow->isMaximized());
        EXPECT_EQ(subWindow->pos(), QPoint((2 - i) * step, (2 - i) * step));
        // Each is sized to show its picture whole.
        EXPECT_EQ(windows[i]->viewport()->size(), windows[i]->zoomedImageSize()) << i;
    }

    // A single maximised window is restored and put in the corner.
    for (int i = 0; i < 2; ++i) window.subWindowOf(windows[i])->close();
    settle();
    ASSERT_EQ(windowCount(), 1);
    window.subWindowOf(windows[2])->showMaximized();
    window.runCommand(command::Cascade);
    EXPECT_FALSE(window.subWindowOf(windows[2])->isMaximized());
    EXPECT_EQ(window.subWindowOf(windows[2])->pos(), QPoint(0, 0));
}

TEST_F(FrameTest, WithoutAutoCascadeNewWindowsOpenMaximised) {
    setProfile("AutoCascade", "0");
    FrameWindow& window = start({writeBmp("a.bmp", ImageKind::RGB, 40, 30), writeBmp("b.bmp", ImageKind::RGB, 40, 30)});
    EXPECT_TRUE(window.mdiArea().activeSubWindow()->isMaximized());
    EXPECT_EQ(window.activeImageWindow()->filePath(), QString::fromStdString(tempPath("b.bmp")));
}

TEST_F(FrameTest, DroppedFilesOpenInOrder) {
    FrameWindow& window = start({});
    const QString a = writeBmp("a.bmp", ImageKind::RGB, 10, 10), b = writeBmp("b.bmp", ImageKind::BW, 10, 10);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl(QStringLiteral("https://example.com/c.bmp")), QUrl::fromLocalFile(b)});
    const QPoint inside(window.width() / 2, window.height() / 2);
    QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(inside), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    settle();
    EXPECT_EQ(window.imageWindowTitles(), QStringList({a, b}));
    EXPECT_TRUE(window.commandSurface().recentFiles().isEmpty());
}

TEST(ViewerArgumentsTest, EachArgumentIsOneFileAndScriptOptionsTakeValues) {
    ParsedArguments parsed = ParseViewerArguments({QStringLiteral("a b.jpg"), QStringLiteral("--command"),
                                                   QStringLiteral("410"), QStringLiteral("-x.bmp"),
                                                   QStringLiteral("--screenshot"), QStringLiteral("shot.png"),
                                                   QStringLiteral("--quit-after"), QStringLiteral("500"),
                                                   QStringLiteral("--progress-at"), QStringLiteral("40"),
                                                   QStringLiteral("--"), QStringLiteral("--command")});
    EXPECT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.files, QStringList({"a b.jpg", "-x.bmp", "--command"}));
    EXPECT_EQ(parsed.options.commands, QList<int>({410}));
    EXPECT_EQ(parsed.options.screenshotPath, QStringLiteral("shot.png"));
    EXPECT_EQ(parsed.options.quitAfterMs, 500);
    EXPECT_EQ(parsed.options.progressPercent, 40);

    EXPECT_FALSE(ParseViewerArguments({QStringLiteral("--frobnicate")}).error.isEmpty());
    EXPECT_FALSE(ParseViewerArguments({QStringLiteral("--quit-after")}).error.isEmpty());
    EXPECT_FALSE(ParseViewerArguments({QStringLiteral("--progress-at"), QStringLiteral("101")}).error.isEmpty());
    EXPECT_FALSE(ParseViewerArguments({QStringLiteral("--command"), QStringLiteral("x")}).error.isEmpty());
}

}  // namespace
