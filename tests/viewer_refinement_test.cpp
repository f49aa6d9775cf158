// Files shown coarse first: the window opens with a coarse level drawn at the final size and ends
// with the exact picture; closing it, quitting, opening another file or giving a command while it
// refines is safe, and the command acts on the final picture.
#include <QElapsedTimer>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>

#include "tests/support/pcd_writer.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "formats/dispatch.h"
#include "formats/jbig/jbig.h"
#include "formats/mok/mok.h"
#include "viewer/commands/command_ids.h"
#include "viewer/windows/refinement.h"

namespace {

bool SameBytes(const IMG& a, const IMG& b) {
    return a.width == b.width && a.height == b.height && a.rowBytes == b.rowBytes && KindOf(a) == KindOf(b) &&
           std::memcmp(a.bits, b.bits, PixelBytes(a)) == 0;
}

class RefinementTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        startWithoutSignOn();
    }
    QString mok(const std::string& name, int width, int height, unsigned seed = 1) {
        const std::string path = tempPath(name);
        ImagePtr picture = MakePatternImage(ImageKind::RGB, width, height, seed);
        LumoSaveMok(picture.get(), path.c_str());
        return QString::fromStdString(path);
    }
    // Runs action once, inside the refinement's event handling, as soon as a window refines with
    // at least `levels` levels shown.
    // With `rounds`, only at that round of event handling after the first level (the load further on).
    void duringRefinement(int levels, std::function<void(ImageWindow&)> action, int rounds = 0) {
        auto* timer = new QTimer(&frame());
        timer->setInterval(0);
        auto seen = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, levels, action, rounds, seen] {
            for (ImageWindow* window : frame().imageWindows())
                if (window->isRefining() && window->refinement()->levelsShown() >= levels && (*seen)++ >= rounds) {
                    timer->stop();
                    timer->deleteLater();
                    action(*window);
                    return;
                }
        });
        timer->start();
    }
    static ImagePtr direct(const QString& path) { return LoadImageByExtension(path.toLocal8Bit().constData()); }
};

// The first level seen on screen is a coarse one, drawn over the final size, with no image behind
// it yet; the window ends with the picture a plain load gives, shown exactly.
TEST_F(RefinementTest, ShowsACoarseLevelAtTheFinalSizeThenTheExactPicture) {
    const QString path = mok("photo.mok", 1200, 900);
    bool seen = false;
    duringRefinement(1, [&](ImageWindow& window) {
        seen = true;
        EXPECT_EQ(window.image(), nullptr);
        EXPECT_EQ(windowCount(), 1);
        EXPECT_EQ(window.shownSize(), QSize(1200, 900));
        const IMG& coarse = *window.refinement()->coarseImage();
        EXPECT_LT(coarse.width, 1200);
        // The centre of each of a few coarse pixels shows that pixel's colour.
        const QImage pixels = ViewportPixels(window);
        const QPoint scroll = window.scrollPosition();
        for (const QPoint at : {QPoint(1, 1), QPoint(coarse.width / 2, coarse.height / 3), QPoint(3, coarse.height - 2)}) {
            const double x = (at.x() + 0.5) * 1200 / coarse.width - scroll.x();
            const double y = (at.y() + 0.5) * 900 / coarse.height - scroll.y();
            const QPoint screen(static_cast<int>(x * window.zoom() / 100), static_cast<int>(y * window.zoom() / 100));
            EXPECT_EQ(pixels.pixel(screen), ColourOf(coarse, at.x(), at.y())) << at.x() << "," << at.y();
        }
        EXPECT_TRUE(frame().statusStrip().shownText().startsWith(QStringLiteral("Refining 1200 x 900")))
            << frame().statusStrip().shownText().toStdString();
    });
    ASSERT_TRUE(frame().openFileInNewWindow(path));
    settle();
    ASSERT_TRUE(seen);
    ImageWindow& window = *frame().activeImageWindow();
    EXPECT_FALSE(window.isRefining());
    ImagePtr expected = direct(path);
    ASSERT_TRUE(window.image());
    EXPECT_TRUE(SameBytes(*expected, *window.image()));
    window.setZoom(100);
    const QImage pixels = ViewportPixels(window);
    for (const QPoint at : {QPoint(0, 0), QPoint(17, 5), QPoint(101, 77)})
        EXPECT_EQ(pixels.pixel(at), ColourOf(*expected, at.x(), at.y()));
    EXPECT_EQ(windowCount(), 1);
}

// A 12-megapixel photo: the window opens with its first coarse level within 50 ms of the open, and
// that level is the first with a side of 1/16 of the photo's, not the 1 x 1 top of the pyramid.
TEST_F(RefinementTest, ALargePhotoShowsItsFirstLevelAtOnce) {
    const QString path = mok("large.mok", 4000, 3000);
    QElapsedTimer clock;
    qint64 firstShown = -1;
    QSize firstLevel;
    duringRefinement(1, [&](ImageWindow& window) {
        firstShown = clock.elapsed();
        firstLevel = QSize(window.refinement()->coarseImage()->width, window.refinement()->coarseImage()->height);
    });
    clock.start();
    ASSERT_TRUE(frame().openFileInNewWindow(path));
    const qint64 total = clock.elapsed();
    settle();
    EXPECT_GE(firstShown, 0);
    EXPECT_LE(firstShown, 50) << "the whole load took " << total << " ms";
    EXPECT_EQ(firstLevel, QSize(250, 188));  // 4000 x 3000 halved four times, rounding up
}

// JBIG with resolution layers and a Photo CD pack refine the same way.
TEST_F(RefinementTest, LayeredJbigAndPhotoCdRefineToTheirExactPictures) {
    const std::string bie = tempPath("layers.bie");
    ImagePtr bw = MakePatternImage(ImageKind::BW, 900, 700);
    LumoSetIntOptionJbig("nblayers", 4);
    SaveJbig(bw.get(), bie.c_str());
    LumoSetIntOptionJbig("nblayers", 1);
    pcd_writer::PackLayout layout;
    layout.fourBase = true;
    const std::string pcd = tempPath("img0001.pcd");
    WriteBytes(pcd, pcd_writer::WritePack(layout));
    setProfile("PcdSize", "4");

    for (const std::string& file : {bie, pcd}) {
        SCOPED_TRACE(file);
        const QString path = QString::fromStdString(file);
        int coarseWidth = 0;
        QSize sizeWhileRefining;
        duringRefinement(1, [&](ImageWindow& window) {
            coarseWidth = window.refinement()->coarseImage()->width;
            sizeWhileRefining = window.shownSize();
        });
        ASSERT_TRUE(frame().openFileInNewWindow(path));
        settle();
        ImagePtr expected = direct(path);
        EXPECT_GT(coarseWidth, 0);
        EXPECT_LT(coarseWidth, expected->width);
        EXPECT_EQ(sizeWhileRefining, QSize(expected->width, expected->height));
        ASSERT_TRUE(frame().activeImageWindow()->image());
        EXPECT_TRUE(SameBytes(*expected, *frame().activeImageWindow()->image()));
    }
    EXPECT_EQ(windowCount(), 2);
}

// Closing the window stops the load where it is: no window, no message, nothing left allocated (the
// fixture counts the blocks); at the first level and further on.
TEST_F(RefinementTest, ClosingTheWindowWhileItRefinesStopsTheLoad) {
    const QString path = mok("photo.mok", 4000, 3000);
    for (const int rounds : {0, 4}) {
        SCOPED_TRACE(rounds);
        duringRefinement(1, [](ImageWindow& window) { CloseImageWindow(window); }, rounds);
        EXPECT_FALSE(frame().openFileInNewWindow(path));
        settle();
        EXPECT_EQ(windowCount(), 0);
        EXPECT_TRUE(boxes.empty());
        EXPECT_FALSE(frame().statusStrip().progressShown());  // the stopped load's bar is gone
    }
    // The Close command does not wait for the refinement either.
    duringRefinement(1, [this](ImageWindow&) { frame().runCommand(command::Close); });
    EXPECT_FALSE(frame().openFileInNewWindow(path));
    settle();
    EXPECT_EQ(windowCount(), 0);
    // Refinement over: the next file opens normally.
    EXPECT_TRUE(frame().openFileInNewWindow(path));
    settle();
    EXPECT_EQ(windowCount(), 1);
}

// A layered file cut short fails after its coarse layers were shown: the error is reported and the
// window that showed them goes, as a file that fails gets no window.
TEST_F(RefinementTest, AFileThatFailsAfterItsCoarseLevelsGetsNoWindow) {
    const std::string bie = tempPath("cut.bie");
    ImagePtr bw = MakePatternImage(ImageKind::BW, 900, 700);
    LumoSetIntOptionJbig("nblayers", 4);
    SaveJbig(bw.get(), bie.c_str());
    LumoSetIntOptionJbig("nblayers", 1);
    std::vector<uint8_t> bytes = ReadBytes(bie);
    bytes.resize(bytes.size() * 3 / 4);  // the highest layer is cut
    WriteBytes(bie, bytes);
    int shown = 0;
    duringRefinement(1, [&](ImageWindow& window) { shown = window.refinement()->levelsShown(); });
    EXPECT_FALSE(frame().openFileInNewWindow(QString::fromStdString(bie)));
    settle();
    EXPECT_GE(shown, 1);
    EXPECT_EQ(windowCount(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Problem with input file"), std::string::npos) << boxes[0].text;
    EXPECT_FALSE(Refinement::running());
}

// Another file opened while one refines (a drop, a thumbnail's double-click) opens inside it; both
// end with their exact pictures. Closing the first one meanwhile closes only it.
TEST_F(RefinementTest, OpeningAnotherFileWhileOneRefinesIsSafe) {
    const QString first = mok("first.mok", 1200, 900, 1);
    const QString second = mok("second.mok", 800, 600, 2);
    bool opened = false;
    duringRefinement(1, [&](ImageWindow&) { opened = frame().openFileInNewWindow(second); });
    ASSERT_TRUE(frame().openFileInNewWindow(first));
    settle();
    EXPECT_TRUE(opened);
    ASSERT_EQ(windowCount(), 2);
    for (ImageWindow* window : frame().imageWindows()) {
        ASSERT_TRUE(window->image());
        EXPECT_FALSE(window->isRefining());
        EXPECT_TRUE(SameBytes(*direct(window->filePath()), *window->image())) << window->filePath().toStdString();
    }

    // The first window is closed while the second (opened inside its refinement) still refines.
    for (ImageWindow* window : frame().imageWindows()) CloseImageWindow(*window);
    settle();
    ASSERT_EQ(windowCount(), 0);
    duringRefinement(1, [&](ImageWindow& outer) {
        QPointer<ImageWindow> closing(&outer);
        duringRefinement(1, [closing](ImageWindow& inner) {
            if (closing && closing != &inner) CloseImageWindow(*closing);
        });
        opened = frame().openFileInNewWindow(second);
    });
    EXPECT_FALSE(frame().openFileInNewWindow(first));
    settle();
    EXPECT_TRUE(opened);
    ASSERT_EQ(windowCount(), 1);
    EXPECT_EQ(frame().imageWindows().front()->filePath(), second);
}

// A command given while the window refines waits, then acts on the final picture.
TEST_F(RefinementTest, ACommandGivenWhileRefiningActsOnTheFinalPicture) {
    const QString path = mok("photo.mok", 1200, 900);
    duringRefinement(1, [this](ImageWindow&) { frame().runCommand(command::ToGray256); });
    ASSERT_TRUE(frame().openFileInNewWindow(path));
    settle();
    const IMG* picture = frame().activeImageWindow()->image();
    ASSERT_TRUE(picture);
    EXPECT_EQ(KindOf(*picture), ImageKind::GRAY256);
    EXPECT_EQ(picture->width, 1200);
    EXPECT_EQ(picture->height, 900);
    EXPECT_TRUE(frame().activeImageWindow()->isModified());
}

// Quitting while a window refines stops the load; the viewer then ends as usual.
TEST_F(RefinementTest, QuittingWhileRefiningStopsTheLoad) {
    const QString path = mok("photo.mok", 4000, 3000);
    duringRefinement(1, [this](ImageWindow&) { frame().close(); }, 2);
    EXPECT_FALSE(frame().openFileInNewWindow(path));
    settle();
    EXPECT_FALSE(frame().isVisible());
    EXPECT_FALSE(Refinement::running());
    stop();
}

}  // namespace
