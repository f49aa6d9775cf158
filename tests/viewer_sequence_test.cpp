// Files of several pictures in an image window: an animated GIF or WebP file plays with its delays, Space pauses
// it, and a command acts on the frame shown; a multi-page TIFF steps through its pages with Page
// Down and Page Up; the status line says where the window is.
#include <QElapsedTimer>
#include <QFileInfo>

#include "tests/viewer_support/viewer_fixture.h"
#include "formats/tiff/tiff.h"
#include "viewer/commands/command_ids.h"

namespace {

using namespace command;

class SequenceTest : public ViewerTest {
protected:
    ImageWindow& open(const QString& path) {
        if (!started()) startWithoutSignOn();
        EXPECT_TRUE(frame().openFileInNewWindow(path));
        settle();
        frame().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame()));
        return *frame().activeImageWindow();
    }
    QString made(const std::string& name, const std::string& arguments) {
        const std::string path = tempPath(name);
        EXPECT_EQ(RunCommand("convert " + arguments + " " + ShellQuote(path)).status, 0);
        return QString::fromStdString(path);
    }
    QString status() { return frame().statusStrip().statusText(); }
    static uint32_t centre(ImageWindow& window) { return PixelColour(*window.image(), 5, 5); }
    static QString nameOf(const ImageWindow& window) { return QFileInfo(window.filePath()).fileName(); }
};

TEST_F(SequenceTest, AnAnimationPlaysWithItsDelaysPausesOnSpaceAndStopsForACommand) {
    // Three frames of 20, 30 and 40 hundredths; the second smaller than the screen, at an offset.
    const QString gif = made("anim.gif", "-size 40x30 -delay 20 xc:red -delay 30 -page +2+2 -size 20x20 xc:blue "
                                         "-delay 40 -page +0+0 -size 40x30 xc:lime -loop 0");
    QElapsedTimer clock;
    clock.start();
    ImageWindow& window = open(gif);
    ASSERT_TRUE(window.isAnimated());
    EXPECT_EQ(window.image()->width, 40);  // the whole screen
    EXPECT_EQ(centre(window), 0xFF0000u);
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - frame 1/3"))) << status().toStdString();
    // Times from the start are lower bounds however late a poll sees a frame.
    QTRY_COMPARE_WITH_TIMEOUT(centre(window), 0x0000FFu, 2000);
    EXPECT_GE(clock.elapsed(), 190);
    QTRY_COMPARE_WITH_TIMEOUT(centre(window), 0x00FF00u, 2000);
    EXPECT_GE(clock.elapsed(), 490);
    EXPECT_EQ(PixelColour(*window.image(), 30, 25), 0x00FF00u);
    QTRY_COMPARE_WITH_TIMEOUT(centre(window), 0xFF0000u, 2000);  // looping for ever

    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(window.animationPaused());
    EXPECT_EQ(nameOf(window), "anim.gif");  // Space paused rather than stepping to the next picture
    const uint32_t paused = centre(window);
    QTest::qWait(600);
    EXPECT_EQ(centre(window), paused);
    EXPECT_TRUE(status().endsWith(QStringLiteral("(paused)"))) << status().toStdString();
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_FALSE(window.animationPaused());
    QTRY_VERIFY_WITH_TIMEOUT(centre(window) != paused, 2000);

    // A conversion acts on the frame shown and ends the playing.
    frame().runCommand(ToGray256);
    settle();
    EXPECT_FALSE(window.isAnimated());
    EXPECT_EQ(window.image()->width, 40);
    EXPECT_EQ(KindOf(*window.image()), ImageKind::GRAY256);
    EXPECT_TRUE(window.sequencePosition().isEmpty());
}

// An animated WebP file plays the same way, its frames composed by libwebp, its last frame held
// once its single play is over.
TEST_F(SequenceTest, AnAnimatedWebpPlaysOnceWithItsDurations) {
    const std::string red = tempPath("red.png"), blue = tempPath("blue.png"), webp = tempPath("anim.webp");
    ASSERT_EQ(RunCommand("convert -size 30x20 xc:red " + ShellQuote(red) + " && convert -size 30x20 xc:blue " +
                         ShellQuote(blue) + " && img2webp -lossless -loop 1 -d 250 " + ShellQuote(red) + " -d 100 " +
                         ShellQuote(blue) + " " + ShellQuote(red) + " -o " + ShellQuote(webp) + " >/dev/null 2>&1")
                  .status,
              0);
    QElapsedTimer clock;
    clock.start();
    ImageWindow& window = open(QString::fromStdString(webp));
    ASSERT_TRUE(window.isAnimated());
    EXPECT_EQ(centre(window), 0xFF0000u);
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - frame 1/3"))) << status().toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(centre(window), 0x0000FFu, 2000);
    EXPECT_GE(clock.elapsed(), 240);
    QTRY_COMPARE_WITH_TIMEOUT(centre(window), 0xFF0000u, 2000);
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - frame 3/3"))) << status().toStdString();
    QTest::qWait(400);  // one play: the last frame stays
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - frame 3/3"))) << status().toStdString();
}

TEST_F(SequenceTest, PageDownAndPageUpStepThroughTheTiffPages) {
    const QString tiff = made("scan.tif", "-size 30x20 xc:white -size 16x40 xc:black -size 50x10 xc:gray");
    ImageWindow& window = open(tiff);
    EXPECT_FALSE(window.isAnimated());
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - page 1/3"))) << status().toStdString();
    QTest::keyClick(&window, Qt::Key_PageDown);
    EXPECT_EQ(window.image()->width, 16);
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - page 2/3"))) << status().toStdString();
    QTest::keyClick(&window, Qt::Key_PageDown);
    QTest::keyClick(&window, Qt::Key_PageDown);  // past the last: it stays
    EXPECT_EQ(window.image()->width, 50);
    EXPECT_TRUE(status().endsWith(QStringLiteral(" - page 3/3")));
    QTest::keyClick(&window, Qt::Key_PageUp);
    EXPECT_EQ(window.image()->width, 16);
    EXPECT_FALSE(window.isModified());
    EXPECT_EQ(nameOf(window), "scan.tif");
    // Another picture loaded afterwards still reads its first page.
    EXPECT_EQ(LumoGetIntOptionTiff("page"), 1);
}

}  // namespace
