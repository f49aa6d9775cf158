// The image commands on the real frame: Save, Save as, Revert, Close all, the conversions,
// Rescale, Scan and About, and the one recovery point every command runs under.
#include <signal.h>
#include <sys/resource.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "formats/bmp.h"
#include "tests/viewer_support/modal_driver.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/file_dialogs.h"

namespace {

using namespace command;

class ImageCommandsTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        previousSave_ = SetSaveFileDialog([this](QWidget*, const SaveFileRequest& request, int& filterIndex) {
            saveRequests.push_back(request);
            filterIndexSeen = filterIndex;
            if (nextFilterIndex) filterIndex = nextFilterIndex;
            return saveAnswer;
        });
        start({});
    }
    void TearDown() override {
        SetSaveFileDialog(previousSave_);
        ViewerTest::TearDown();
    }

    ImageWindow& open(const QString& path) {
        EXPECT_TRUE(frame().openFileInNewWindow(path));
        return *frame().activeImageWindow();
    }
    int greyings() { return frame().commandSurface().greyingCount(); }
    static ImagePtr loadBmp(const QString& path) { return LumoLoadBmp(path.toUtf8().constData()); }

    std::vector<SaveFileRequest> saveRequests;
    QString saveAnswer;
    int filterIndexSeen = 0;
    int nextFilterIndex = 0;

private:
    SaveFileDialog previousSave_;
};

// Writes of more than `bytes` fail (EFBIG) while it lives: a full disk, even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous_); }

private:
    rlimit previous_;
};

TEST_F(ImageCommandsTest, ConversionKeepsZoomAndScrollAndSaveWritesIt) {
    const QString path = writeBmp("photo.bmp", ImageKind::RGB, 600, 500);
    ImageWindow& window = open(path);
    frame().runCommand(Zoom200);
    window.setScrollPosition({40, 30});

    frame().runCommand(ToGray256);
    ASSERT_EQ(KindOf(*window.image()), ImageKind::GRAY256);
    EXPECT_EQ(window.zoom(), 200);
    EXPECT_EQ(window.scrollPosition(), QPoint(40, 30));
    EXPECT_TRUE(window.isModified());
    EXPECT_TRUE(frame().commandSurface().action(Save)->isEnabled());

    frame().runCommand(Save);
    EXPECT_FALSE(window.isModified());
    EXPECT_EQ(KindOf(*loadBmp(path)), ImageKind::GRAY256);
    EXPECT_TRUE(saveRequests.empty());  // a titled window saves without asking
    EXPECT_FALSE(frame().commandSurface().action(Save)->isEnabled());

    frame().runCommand(Save);  // from the keyboard while greyed, or a script
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].text, "No Saving needed");
}

TEST_F(ImageCommandsTest, ConversionToTheSameKindIsRefusedAndOthersUseTheSettings) {
    ImageWindow& window = open(writeBmp("page.bmp", ImageKind::BW, 32, 32));
    frame().runCommand(ToBW);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].text, "No conversion needed");
    EXPECT_FALSE(window.isModified());

    // A flat mid-gray picture: without dithering, a threshold above it gives black, below it white.
    ImagePtr gray = LumoCreateImage(40, 40, 1, nullptr, 8);
    std::fill(gray->bits, gray->bits + gray->rowBytes * 40, 128);
    const QString grayPath = QString::fromStdString(tempPath("gray.bmp"));
    SaveBmp(gray.get(), grayPath.toUtf8().constData());
    ImageWindow& grayWindow = open(grayPath);
    setProfile("NoDither", "1");
    setProfile("Threshold", "200");
    frame().runCommand(ToBW);
    EXPECT_EQ(PixelAt(*grayWindow.image(), 5, 5), 0u);
    frame().runCommand(Revert);  // answered No: nothing happens
    EXPECT_EQ(KindOf(*grayWindow.image()), ImageKind::BW);
    answer = Answer::Yes;
    frame().runCommand(Revert);
    setProfile("Threshold", "100");
    frame().runCommand(ToBW);
    EXPECT_EQ(PixelAt(*grayWindow.image(), 5, 5), 1u);
}

TEST_F(ImageCommandsTest, SaveAsAsksWithTheSaveFilterAndUntitledSaveGoesThere) {
    ImageWindow* pasted = frame().openImageInNewWindow(MakePatternImage(ImageKind::COLOR256, 20, 10));
    ASSERT_EQ(pasted->windowTitle(), "New 1");
    pasted->setModified(true);

    frame().runCommand(Save);  // cancelled: nothing written, nothing changed
    ASSERT_EQ(saveRequests.size(), 1u);
    const SaveFileRequest& request = saveRequests[0];
    EXPECT_EQ(request.title, "Save image");
    EXPECT_EQ(request.proposedName, "");
    EXPECT_EQ(request.defaultSuffix, "tif");
    ASSERT_EQ(request.filters.size(), 12);
    EXPECT_EQ(request.filters[0],
              "Graphic Files (*.jpg *.tif *.bmp *.gif *.ps *.bie *.mok *.png *.webp *.jpeg *.jpe *.tiff *.avif *.jxl)");
    EXPECT_EQ(request.filters[7], "PS   (*.ps)");
    EXPECT_EQ(request.filters[8], "PNG  (*.png)");
    EXPECT_EQ(request.filters[9], "WebP (*.webp)");
    EXPECT_EQ(request.filters[10], "AVIF (*.avif)");
    EXPECT_EQ(request.filters[11], "JPEG XL (*.jxl)");
    EXPECT_EQ(filterIndexSeen, 1);
    EXPECT_TRUE(pasted->isModified());

    saveAnswer = QString::fromStdString(tempPath("pasted.bmp"));
    nextFilterIndex = 4;
    frame().runCommand(Save);
    EXPECT_EQ(pasted->windowTitle(), saveAnswer);
    EXPECT_FALSE(pasted->isModified());
    EXPECT_EQ(KindOf(*loadBmp(saveAnswer)), ImageKind::COLOR256);

    // Save as proposes the title, saves even without changes and leaves the recent list alone.
    saveAnswer = QString::fromStdString(tempPath("copy.gif"));
    frame().runCommand(SaveAs);
    ASSERT_EQ(saveRequests.size(), 3u);
    EXPECT_EQ(saveRequests[2].proposedName, QString::fromStdString(tempPath("pasted.bmp")));
    EXPECT_EQ(filterIndexSeen, 4);
    EXPECT_EQ(pasted->windowTitle(), saveAnswer);
    EXPECT_TRUE(frame().commandSurface().recentFiles().isEmpty());

    // An extension no codec writes: told, and the window keeps its file.
    saveAnswer = QString::fromStdString(tempPath("copy.xyz"));
    frame().runCommand(SaveAs);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unknown file extension xyz for file " + saveAnswer.toStdString());
    EXPECT_EQ(pasted->windowTitle(), QString::fromStdString(tempPath("copy.gif")));
}

TEST_F(ImageCommandsTest, RevertReloadsAtTheSameZoomFromTheTopLeft) {
    frame().openImageInNewWindow(MakePatternImage(ImageKind::RGB, 20, 10))->setModified(true);
    frame().runCommand(Revert);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The current window doesn't have an associated file");
    EXPECT_TRUE(questions.empty());

    const QString path = writeBmp("big.bmp", ImageKind::COLOR16, 900, 700);
    ImageWindow& window = open(path);
    frame().runCommand(Zoom150);
    frame().runCommand(ToRGB);
    window.setScrollPosition({100, 80});
    answer = Answer::Yes;
    frame().runCommand(Revert);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, "Revert file ?");
    EXPECT_EQ(questions[0].text, path + " was modified - Revert file anyway ?");
    EXPECT_EQ(KindOf(*window.image()), ImageKind::COLOR16);
    EXPECT_EQ(window.zoom(), 150);
    EXPECT_EQ(window.scrollPosition(), QPoint(0, 0));
    EXPECT_FALSE(window.isModified());
}

TEST_F(ImageCommandsTest, CloseAllAsksEveryChangedWindowAndYesSaves) {
    const QString first = writeBmp("first.bmp", ImageKind::RGB, 16, 16);
    open(first);
    frame().runCommand(ToGray16);
    open(writeBmp("clean.bmp", ImageKind::RGB, 16, 16));
    const QString second = writeBmp("second.bmp", ImageKind::RGB, 16, 16);
    open(second);
    frame().runCommand(ToBW);

    answer = Answer::Cancel;  // each window keeps itself; the others still close
    frame().runCommand(CloseAll);
    settle();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(windowCount(), 2);

    answer = Answer::Yes;  // the save question saves for real
    frame().runCommand(CloseAll);
    settle();
    EXPECT_EQ(windowCount(), 0);
    EXPECT_EQ(KindOf(*loadBmp(first)), ImageKind::GRAY16);
    EXPECT_EQ(KindOf(*loadBmp(second)), ImageKind::BW);
    EXPECT_TRUE(boxes.empty());
}

// One command, one recovery point: a failing save shows one error box, leaves the window, its
// changes and the old file as they were, and every window goes on working.
TEST_F(ImageCommandsTest, LibraryErrorInACommandShowsOneBoxAndChangesNothing) {
    const QString path = writeBmp("kept.bmp", ImageKind::RGB, 300, 200);
    const std::vector<uint8_t> before = ReadBytes(path.toStdString());
    ImageWindow& other = open(writeBmp("other.bmp", ImageKind::RGB, 30, 20));
    ImageWindow& window = open(path);
    frame().runCommand(ToGray256);
    const int greyingsBefore = greyings();
    {
        FileSizeLimit full(4096);
        frame().runCommand(Save);
    }
    EXPECT_EQ(greyings(), greyingsBefore + 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text.rfind("Lumo Error:", 0), 0u) << boxes[0].text;
    EXPECT_EQ(ReadBytes(path.toStdString()), before);
    EXPECT_TRUE(window.isModified());
    EXPECT_EQ(KindOf(*window.image()), ImageKind::GRAY256);
    EXPECT_EQ(windowCount(), 2);

    // The close question's save fails the same way: the window stays open with its changes.
    answer = Answer::Yes;
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(frame().subWindowOf(&window)->close());
    }
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(windowCount(), 2);
    EXPECT_TRUE(window.isModified());

    // Everything still works, and each command works out the greying once.
    frame().runCommand(Save);
    EXPECT_FALSE(window.isModified());
    frame().activateImageWindow(0);
    ASSERT_EQ(frame().activeImageWindow(), &other);
    const int atStart = greyings();
    frame().runCommand(ToColor16);
    EXPECT_EQ(greyings(), atStart + 1);
    frame().runCommand(Zoom50);
    EXPECT_EQ(greyings(), atStart + 2);
    EXPECT_EQ(KindOf(*other.image()), ImageKind::COLOR16);
    EXPECT_EQ(other.zoom(), 50);
    EXPECT_EQ(boxes.size(), 2u);
}

// Rescale through its dialog: the new size, the zoom kept, scrolling from the top left.
TEST_F(ImageCommandsTest, RescaleThroughTheDialog) {
    ImageWindow& window = open(writeBmp("wide.bmp", ImageKind::RGB, 800, 600));
    frame().runCommand(Zoom150);
    window.setScrollPosition({200, 100});
    WhenModalShows([](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "RESCALE");
        auto* widthPercent = qobject_cast<QLineEdit*>(FindControl(dialog, 103));
        ASSERT_NE(widthPercent, nullptr);
        widthPercent->setText("50");
        qobject_cast<QPushButton*>(FindControl(dialog, kOkId))->click();
    });
    frame().runCommand(Rescale);
    ASSERT_EQ(window.image()->width, 400);
    EXPECT_EQ(window.image()->height, 300);
    EXPECT_EQ(KindOf(*window.image()), ImageKind::RGB);
    EXPECT_EQ(window.zoom(), 150);
    EXPECT_EQ(window.scrollPosition(), QPoint(0, 0));
    EXPECT_TRUE(window.isModified());

    WhenModalShows([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    frame().runCommand(Rescale);
    EXPECT_EQ(window.image()->width, 400);
}

// A bi-level page shown at 50 % is drawn through its half-size picture, which follows every change
// of the image; a sheet's thumbnails stay through a conversion and go with a rescale.
TEST_F(ImageCommandsTest, HalfSizePictureAndSheetCellsFollowTheImage) {
    ImageWindow& page = open(writeBmp("page.bmp", ImageKind::GRAY256, 400, 300));
    frame().runCommand(Zoom50);
    frame().runCommand(ToBW);
    ASSERT_TRUE(page.display().showsHalfSize());
    EXPECT_EQ(page.display().halfSizeImage()->width, 200);
    WhenModalShows([](QWidget* dialog) {
        qobject_cast<QLineEdit*>(FindControl(dialog, 101))->setText("200");
        qobject_cast<QPushButton*>(FindControl(dialog, kOkId))->click();
    });
    frame().runCommand(Rescale);
    ASSERT_TRUE(page.display().showsHalfSize());
    EXPECT_EQ(page.display().halfSizeImage()->width, 100);

    ImagePtr sheet = MakePatternImage(ImageKind::RGB, 200, 100);
    SaveBmp(sheet.get(), tempPath("sheet-mosaic.bmp").c_str());
    writeText("sheet-mosaic.idx", "*IDX index table\nleft.bmp 0 0 100 100\nright.bmp 100 0 200 100\n");
    ImageWindow& window = open(QString::fromStdString(tempPath("sheet-mosaic.bmp")));
    ASSERT_NE(window.mosaicEntries(), nullptr);
    frame().runCommand(ToColor256);
    EXPECT_NE(window.mosaicEntries(), nullptr);
    WhenModalShows([](QWidget* dialog) { qobject_cast<QPushButton*>(FindControl(dialog, kOkId))->click(); });
    frame().runCommand(Rescale);  // even at the same size
    EXPECT_EQ(window.mosaicEntries(), nullptr);
    answer = Answer::Yes;
    frame().runCommand(Revert);  // reads the index again
    EXPECT_NE(window.mosaicEntries(), nullptr);
}

TEST_F(ImageCommandsTest, ScanAboutAndOptionsFromTheMenus) {
    frame().runCommand(Scan);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(boxes[0].text, "Scanning function not yet implemented in the NT Version");

    QStringList aboutTexts;
    WhenModalShows([&](QWidget* dialog) {
        for (const QLabel* label : dialog->findChildren<QLabel*>()) aboutTexts.append(label->text());
        qobject_cast<QDialog*>(dialog)->accept();
    });
    frame().runCommand(About);
    EXPECT_TRUE(aboutTexts.contains("Lumo 1.2e for Windows")) << aboutTexts.join(" | ").toStdString();
    EXPECT_TRUE(aboutTexts.contains("100 %")) << aboutTexts.join(" | ").toStdString();

    WhenModalShows([](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "OPTIONJPEG");
        qobject_cast<QLineEdit*>(FindControl(dialog, 103))->setText("90");
        qobject_cast<QPushButton*>(FindControl(dialog, kOkId))->click();
    });
    frame().runCommand(JpegOptions);
    EXPECT_EQ(ProfileString("JpegQuality", ""), "90");
}

}  // namespace
