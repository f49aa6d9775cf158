// The command surface on the real frame: menu bar, greying, status-line help, accelerators, help
// mode, recent files, Open, and the one dispatch every command goes through.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTextBrowser>

#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/commands/menu_greying.h"
#include "viewer/dialogs/file_dialogs.h"
#include "viewer/dialogs/help_window.h"
#include "viewer/shell/sign_on_box.h"
#include "viewer/windows/full_screen_view.h"

namespace {

using namespace command;

class ViewerMenusTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        previousDialog_ = SetOpenFilesDialog(
            [this](QWidget*, const QString& title, const QStringList& filters, int& filterIndex) {
                dialogTitle = title;
                dialogFilters = filters;
                filterIndexSeen = filterIndex;
                statusDuringDialog = frame().statusStrip().shownText();
                if (nextFilterIndex) filterIndex = nextFilterIndex;
                return chosen;
            });
        start({});
        closeSignOn();
    }

    void TearDown() override {
        SetOpenFilesDialog(previousDialog_);
        ViewerTest::TearDown();
    }

    void closeSignOn() {
        if (SignOnBox* signOn = viewer().signOnBox()) signOn->close();
        settle();
    }

    void restart() {
        stop();
        start({});
        closeSignOn();
    }

    CommandSurface& surface() { return frame().commandSurface(); }

    // Opens files through the Open command as if chosen in its dialog.
    void openThroughDialog(const QStringList& paths) {
        chosen = paths;
        frame().runCommand(Open);
    }

    QMenu* popup(int index) { return surface().menuBar()->actions()[index]->menu(); }
    bool enabled(int id) { return surface().action(id)->isEnabled(); }
    QString shown() { return frame().statusStrip().shownText(); }

    void showActiveFrame() {
        frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
    }

    HelpWindow* helpWindow() { return frame().findChild<HelpWindow*>(); }

    QStringList chosen;
    QString dialogTitle;
    QStringList dialogFilters;
    int filterIndexSeen = 0;
    int nextFilterIndex = 0;
    QString statusDuringDialog;

private:
    OpenFilesDialog previousDialog_;
};

// ---- menu bar ----

struct Item {
    int id;  // 0 = separator
    const char* text;
};

TEST_F(ViewerMenusTest, MenuBarHoldsThePopupsAndItemsInOrder) {
    const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
        {"&File",
         {{102, "&Open image\tCtrl+F12"}, {103, "&Save\tShft+F12"}, {104, "S&ave as...\tF12"},
          {110, "&Print...\tCtrl+Shft+F12"}, {115, "&Close\tCtrl+F4"}, {118, "C&lose All"}, {119, "&Revert File"},
          {120, "Propert&ies..."}, {0, ""}, {101, "Sca&n..."}, {0, ""}, {116, "Build a &Mosaic File"}, {117, "Convert Files (&Batch)"},
          {0, ""}, {999, "&Quit\tAlt+F4"}}},
        {"&Edit",
         {{200, "&Rescale"}, {205, "-> B/W"}, {210, "-> Grayscale 16"}, {215, "-> Grayscale 256"},
          {220, "-> 16 color"}, {225, "-> 256 color"}, {230, "-> 16.7 M color"}, {0, ""}, {235, "Rotate &Left"},
          {240, "Rotate R&ight"}, {245, "Flip &Horizontal"}, {250, "Flip &Vertical"}, {0, ""}, {260, "Copy\tCtrl-X"},
          {265, "Paste\tCtrl-V"}}},
        {"&View",
         {{300, "Zoom 50 %"}, {305, "Zoom 100 %"}, {310, "Zoom 150 %"}, {315, "Zoom 200 %"}, {325, "Fit to &Window"},
          {0, ""}, {320, "Show &Full Screen\tF9"}, {340, "&Toolbar visible"}, {0, ""}, {330, "&Next Image"},
          {335, "&Previous Image"}}},
        {"&Options",
         {{450, "&JPEG"}, {451, "&TIFF"}, {456, "&GIF"}, {452, "&PostScript"}, {454, "Photo &CD"}, {457, "J&BIG"},
          {455, "M&OK"}, {453, "&Other"}}},
        {"&Windows", {{410, "&Tile\tShft+F4"}, {420, "&Cascade\tShft+F5"}, {430, "&Arrange Icons"}}},
        {"&Help = F1", {{888, "&Index"}, {0, ""}, {130, "&About..."}}},
    };
    const QList<QAction*> bar = surface().menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(expected.size() + 1));
    for (size_t p = 0; p < expected.size(); ++p) {
        EXPECT_EQ(bar[p]->text(), expected[p].first);
        const QList<QAction*> items = bar[p]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[p].second.size())) << expected[p].first;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Item& want = expected[p].second[i];
            if (want.id == 0) {
                EXPECT_TRUE(items[i]->isSeparator()) << expected[p].first << " item " << i;
                continue;
            }
            EXPECT_EQ(items[i]->data().toInt(), want.id);
            EXPECT_EQ(items[i]->text(), want.text);
            EXPECT_EQ(surface().action(want.id), items[i]);
        }
    }
    // The help-mode picture closes the bar; the toolbar item starts checked.
    EXPECT_EQ(bar.last()->data().toInt(), HelpMode);
    EXPECT_FALSE(bar.last()->icon().isNull());
    EXPECT_EQ(frame().menuBar(), surface().menuBar());
    EXPECT_TRUE(surface().action(ToolbarVisible)->isChecked());
}

// ---- greying ----

class ConversionGreyingTest : public ::testing::TestWithParam<ImageKind> {};

TEST_P(ConversionGreyingTest, OnlyTheConversionToTheImagesOwnKindIsGreyed) {
    const std::pair<int, ImageKind> conversions[] = {{ToBW, ImageKind::BW},           {ToGray16, ImageKind::GRAY16},
                                                     {ToGray256, ImageKind::GRAY256}, {ToColor16, ImageKind::COLOR16},
                                                     {ToColor256, ImageKind::COLOR256}, {ToRGB, ImageKind::RGB}};
    ActiveImageState state{true, GetParam(), 100, false};
    for (const auto& [id, target] : conversions) EXPECT_EQ(CommandAllowed(id, state, false), target != GetParam()) << id;
    state.kind.reset();  // a window without an image offers no conversion
    for (const auto& [id, target] : conversions) EXPECT_FALSE(CommandAllowed(id, state, false)) << id;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConversionGreyingTest,
                         ::testing::Values(ImageKind::BW, ImageKind::GRAY16, ImageKind::GRAY256, ImageKind::COLOR16,
                                           ImageKind::COLOR256, ImageKind::RGB),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST(MenuGreying, ImageCommandsNeedAWindowAndSaveNeedsAChange) {
    const ActiveImageState none;
    const ActiveImageState clean{true, ImageKind::GRAY256, 100, false};
    ActiveImageState changed = clean;
    changed.modified = true;
    for (const int id : {Save, SaveAs, Revert, Print, Close, CloseAll, Copy, Rescale, Zoom50, Zoom100, Zoom150,
                         Zoom200, FullScreen, ToBW, ToRGB, Properties})
        EXPECT_FALSE(CommandAllowed(id, none, true)) << id;
    for (const int id : {SaveAs, Print, Close, CloseAll, Copy, Rescale, FullScreen, Properties})
        EXPECT_TRUE(CommandAllowed(id, clean, false)) << id;
    for (const int id : {Save, Revert}) {
        EXPECT_FALSE(CommandAllowed(id, clean, false)) << id;
        EXPECT_TRUE(CommandAllowed(id, changed, false)) << id;
    }
    for (const int id : {Open, Scan, BuildMosaic, BatchConvert, Quit, ToolbarVisible, Tile, Cascade, JbigOptions,
                         HelpIndex, About, HelpMode})
        EXPECT_TRUE(CommandAllowed(id, none, false)) << id;
}

TEST(MenuGreying, PasteFollowsTheClipboard) {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText(QStringLiteral("words"));
    EXPECT_FALSE(ClipboardHoldsImage());
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    clipboard->setImage(picture);
    EXPECT_TRUE(ClipboardHoldsImage());
    auto* dib = new QMimeData;
    dib->setData(QStringLiteral("image/bmp"), QByteArray("BM..."));
    clipboard->setMimeData(dib);
    EXPECT_TRUE(ClipboardHoldsImage());
    clipboard->clear();
    EXPECT_FALSE(ClipboardHoldsImage());

    EXPECT_TRUE(CommandAllowed(Paste, ActiveImageState{}, true));
    EXPECT_FALSE(CommandAllowed(Paste, ActiveImageState{true, ImageKind::RGB, 100, true}, false));
}

TEST_F(ViewerMenusTest, ItemsFollowTheActiveWindowAndZoom) {
    EXPECT_TRUE(enabled(Open));
    EXPECT_FALSE(enabled(Close));
    EXPECT_FALSE(enabled(Zoom100));
    EXPECT_FALSE(enabled(FullScreen));

    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("rgb.bmp", ImageKind::RGB, 20, 20)));
    frame().runCommand(Zoom150);
    EXPECT_EQ(frame().activeImageWindow()->zoom(), 150);
    EXPECT_TRUE(enabled(Close));
    EXPECT_TRUE(enabled(FullScreen));
    EXPECT_FALSE(enabled(Zoom150));
    for (const int id : {Zoom50, Zoom100, Zoom200}) EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(ToRGB));
    EXPECT_FALSE(enabled(Save));

    EXPECT_TRUE(enabled(Print));
    EXPECT_TRUE(enabled(Copy));

    frame().runCommand(ToolbarVisible);
    EXPECT_FALSE(surface().action(ToolbarVisible)->isChecked());
}

TEST_F(ViewerMenusTest, OpeningAMenuBringsTheGreyingUpToDate) {
    const int before = surface().greyingCount();
    QMenu* view = popup(2);
    view->popup(QPoint(10, 10));
    EXPECT_EQ(surface().greyingCount(), before + 1);
    view->hide();
}

// ---- commands ----

TEST_F(ViewerMenusTest, WindowCommandsActOnTheActiveWindowAndTheFrame) {
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::GRAY256, 40, 30)));
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("two.bmp", ImageKind::GRAY256, 40, 30)));
    ImageWindow* active = frame().activeImageWindow();
    frame().runCommand(Zoom200);
    EXPECT_EQ(active->zoom(), 200);
    frame().runCommand(FullScreen);
    ASSERT_NE(active->fullScreenView(), nullptr);
    active->fullScreenView()->close();
    settle();
    frame().runCommand(Tile);
    frame().runCommand(Cascade);
    frame().runCommand(ArrangeIcons);
    EXPECT_EQ(frame().activeImageWindow(), active);  // the focus goes back to the active window

    frame().runCommand(Close);
    settle();
    EXPECT_EQ(windowCount(), 1);
    EXPECT_NE(frame().activeImageWindow(), active);

    frame().runCommand(Quit);
    settle();
    EXPECT_FALSE(frame().isVisible());
}

TEST_F(ViewerMenusTest, UnknownCommandsDoNothing) {
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::RGB, 8, 8)));
    frame().runCommand(12345);
    EXPECT_EQ(windowCount(), 1);
    EXPECT_TRUE(boxes.empty());
}

// ---- status-line help ----

TEST_F(ViewerMenusTest, HighlightedItemsExplainThemselves) {
    const QString stored = frame().statusStrip().statusText();
    surface().action(Zoom150)->hover();
    EXPECT_EQ(shown(), "150 % of the original size");
    surface().action(ToRGB)->hover();  // greyed items explain themselves too
    EXPECT_EQ(shown(), "Convert the current image to RGB, 1.7 M color image");
    surface().action(BuildMosaic)->hover();
    EXPECT_EQ(shown(), "Build a \"mosaic\" image, containing reduced image");
    surface().action(ToolbarVisible)->hover();
    EXPECT_EQ(shown(), "Remove Tool Bar");
    frame().setToolbarVisible(false);
    surface().action(ToolbarVisible)->hover();
    EXPECT_EQ(shown(), "Display Tool Bar");
    surface().action(HelpMode)->hover();  // no help text: the strip is cleared
    EXPECT_EQ(shown(), "");
    surface().menuBar()->actions()[1]->hover();
    EXPECT_EQ(shown(), "You have selected a menu - please choose an option");
    EXPECT_EQ(frame().statusStrip().statusText(), stored);  // none of this touches the stored text

    QMenu* file = popup(0);
    file->popup(QPoint(10, 10));
    file->hide();
    EXPECT_EQ(shown(), stored);
}

TEST_F(ViewerMenusTest, WindowsMenuListsTheImageWindows) {
    const QString first = writeBmp("a.bmp", ImageKind::RGB, 8, 8);
    const QString second = writeBmp("b&c.bmp", ImageKind::RGB, 8, 8);
    ASSERT_TRUE(frame().openFileInNewWindow(first));
    ASSERT_TRUE(frame().openFileInNewWindow(second));
    frame().activateImageWindow(0);
    QMenu* windows = popup(4);
    windows->popup(QPoint(10, 10));
    const QList<QAction*> items = windows->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_TRUE(items[3]->isSeparator());
    EXPECT_EQ(items[4]->text(), "&1 " + first);
    EXPECT_EQ(items[5]->text(), "&2 " + QString(second).replace("&", "&&"));
    EXPECT_EQ(surface().action(FirstWindowListItem + 1), items[5]);
    items[5]->hover();
    EXPECT_EQ(shown(), "Take this image as the current image");
    items[5]->trigger();
    EXPECT_EQ(frame().activeImageWindow()->filePath(), second);
    windows->hide();

    // The list is rebuilt each time the menu opens.
    frame().runCommand(Close);
    settle();
    windows->popup(QPoint(10, 10));
    EXPECT_EQ(windows->actions().size(), 5);
    windows->hide();
}

// ---- accelerators ----

TEST_F(ViewerMenusTest, AcceleratorsSendTheirCommands) {
    const std::pair<QKeySequence, int> table[] = {
        {QKeySequence(Qt::Key_F1), HelpIndex},
        {QKeySequence(Qt::CTRL | Qt::Key_F12), Open},
        {QKeySequence(Qt::SHIFT | Qt::Key_F12), Save},
        {QKeySequence(Qt::Key_F12), SaveAs},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F12), Print},
        {QKeySequence(Qt::SHIFT | Qt::Key_F4), Tile},
        {QKeySequence(Qt::SHIFT | Qt::Key_F5), Cascade},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), Copy},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), Paste},
        {QKeySequence(Qt::Key_F9), FullScreen},
        {QKeySequence(Qt::CTRL | Qt::Key_X), Copy},
        {QKeySequence(Qt::CTRL | Qt::Key_V), Paste},
        {QKeySequence(Qt::CTRL | Qt::Key_F4), Close},
    };
    for (const auto& [keys, id] : table)
        EXPECT_TRUE(surface().action(id)->shortcuts().contains(keys)) << keys.toString().toStdString();

    showActiveFrame();
    QTest::keyClick(&frame(), Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(dialogTitle, "Load image");

    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::RGB, 8, 8)));
    showActiveFrame();
    QTest::keyClick(frame().activeImageWindow(), Qt::Key_F4, Qt::ControlModifier);
    settle();
    EXPECT_EQ(windowCount(), 0);
}

TEST_F(ViewerMenusTest, AcceleratorOfAGreyedItemIsNotDelivered) {
    showActiveFrame();
    QTest::keyClick(&frame(), Qt::Key_F9);  // no window: full screen is greyed
    EXPECT_TRUE(boxes.empty());
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::RGB, 8, 8)));
    showActiveFrame();
    QTest::keyClick(frame().activeImageWindow(), Qt::Key_F9);
    EXPECT_NE(frame().activeImageWindow()->fullScreenView(), nullptr);
    frame().activeImageWindow()->fullScreenView()->close();
}

// ---- help mode ----

TEST_F(ViewerMenusTest, HelpModeOpensTheTopicInsteadOfRunning) {
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::RGB, 8, 8)));
    showActiveFrame();
    QTest::keyClick(&frame(), Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(surface().inHelpMode());
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WhatsThisCursor);

    surface().action(Zoom150)->trigger();
    EXPECT_EQ(frame().activeImageWindow()->zoom(), 100) << "zoomed in help mode";
    EXPECT_FALSE(surface().inHelpMode());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(helpWindow());
    EXPECT_TRUE(helpWindow()->isVisible());
    EXPECT_EQ(helpWindow()->browser()->source().fragment(), "12");
    EXPECT_TRUE(boxes.empty());

    // Out of help mode the same item zooms.
    surface().action(Zoom150)->trigger();
    EXPECT_EQ(frame().activeImageWindow()->zoom(), 150);
}

TEST_F(ViewerMenusTest, HelpModeForACommandWithoutTopic) {
    surface().enterHelpMode();
    frame().runCommand(JbigOptions);  // the dialog does not open
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(boxes[0].text, "No help available for this option");
    EXPECT_FALSE(surface().inHelpMode());
    EXPECT_EQ(helpWindow(), nullptr);

    // A window chosen from the list is still activated after the message.
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("a.bmp", ImageKind::RGB, 8, 8)));
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("b.bmp", ImageKind::RGB, 8, 8)));
    surface().enterHelpMode();
    frame().runCommand(FirstWindowListItem);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(frame().activeImageWindow()->filePath(), QString::fromStdString(tempPath("a.bmp")));
}

TEST_F(ViewerMenusTest, HelpItemOnTheBarEntersHelpModeAndEscLeavesIt) {
    showActiveFrame();
    surface().action(HelpMode)->trigger();
    EXPECT_TRUE(surface().inHelpMode());
    EXPECT_EQ(frame().statusStrip().statusText(),
              "Choisissez une commande du menu ou un outil pour avoir l'aide correspondante");
    QTest::keyClick(&frame(), Qt::Key_Escape);
    EXPECT_FALSE(surface().inHelpMode());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ViewerMenusTest, F1OpensTheHelpIndex) {
    showActiveFrame();
    QTest::keyClick(&frame(), Qt::Key_F1);
    ASSERT_TRUE(helpWindow());
    EXPECT_EQ(helpWindow()->browser()->source().fragment(), "index");
    EXPECT_FALSE(surface().inHelpMode());
    EXPECT_FALSE(helpWindow()->browser()->toPlainText().isEmpty());
}

TEST_F(ViewerMenusTest, HelpFileHasATopicForEveryContext) {
    QFile file(HelpWindow::helpFileUrl().scheme() == "qrc" ? ":" + HelpWindow::helpFileUrl().path()
                                                           : HelpWindow::helpFileUrl().toLocalFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(file.readAll());
    for (int id = 0; id < LastWindowListItem; ++id) {
        const int context = CommandSurface::helpContext(id);
        if (context > 0) {
            EXPECT_TRUE(page.contains(QStringLiteral("<a name=\"%1\">").arg(context))) << context;
        }
    }
    EXPECT_TRUE(page.contains("<a name=\"index\">"));
}

// ---- recent files and Open ----

TEST_F(ViewerMenusTest, OpenLoadsEveryChosenFileAndListsIt) {
    const QString one = writeBmp("one.bmp", ImageKind::RGB, 8, 8);
    const QString two = writeBmp("two.bmp", ImageKind::BW, 8, 8);
    const QString three = writeBmp("three.bmp", ImageKind::GRAY16, 8, 8);
    openThroughDialog({one, two, three});
    EXPECT_EQ(statusDuringDialog, "Chargement");
    EXPECT_EQ(dialogTitle, "Load image");
    ASSERT_EQ(dialogFilters.size(), 13);
    EXPECT_EQ(dialogFilters[0], "Graphic Files (*.jpg *.tif *.bmp *.gif *.pcd *.fax *.bie *.mok *.png *.webp *.jpeg "
                                "*.jpe *.tiff *.avif *.jxl)");
    EXPECT_EQ(dialogFilters[3], "BMP  (*.bmp)");
    EXPECT_EQ(dialogFilters[7], "JBIG     (*.bie)");
    EXPECT_EQ(dialogFilters[9], "PNG  (*.png)");
    EXPECT_EQ(dialogFilters[10], "WebP (*.webp)");
    EXPECT_EQ(dialogFilters[11], "AVIF (*.avif)");
    EXPECT_EQ(dialogFilters[12], "JPEG XL (*.jxl)");
    EXPECT_EQ(frame().imageWindowTitles(), QStringList({one, two, three}));
    EXPECT_EQ(surface().recentFiles(), QStringList({three, two, one}));
    EXPECT_EQ(shown(), frame().statusStrip().statusText());  // "Chargement" is gone

    // The filter the user left selected is offered again.
    nextFilterIndex = 4;
    openThroughDialog({});
    nextFilterIndex = 0;
    openThroughDialog({});  // cancelled: "Chargement" goes again
    EXPECT_EQ(statusDuringDialog, "Chargement");
    EXPECT_EQ(shown(), frame().statusStrip().statusText());
    EXPECT_EQ(filterIndexSeen, 4);
    EXPECT_EQ(windowCount(), 3);
}

TEST_F(ViewerMenusTest, RecentFileListRules) {
    QStringList paths;
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp", "6.bmp", "4.BMP"})
        paths.append(writeBmp(name, ImageKind::BW, 8, 8));
    for (int i = 0; i < 6; ++i) openThroughDialog({paths[i]});
    const QStringList five = {paths[5], paths[4], paths[3], paths[2], paths[1]};
    EXPECT_EQ(surface().recentFiles(), five);

    openThroughDialog({paths[3]});  // already listed: the order stays
    EXPECT_EQ(surface().recentFiles(), five);
    openThroughDialog({paths[6]});  // another name
    EXPECT_EQ(surface().recentFiles(), QStringList({paths[6], paths[5], paths[4], paths[3], paths[2]}));

    // The menu shows them after a separator, newest first, ids 10000 upwards.
    const QList<QAction*> items = popup(0)->actions();
    ASSERT_EQ(items.size(), 15 + 1 + 5);
    EXPECT_TRUE(items[15]->isSeparator());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(items[16 + i]->data().toInt(), FirstRecentFile + i);
        EXPECT_EQ(items[16 + i]->text(), surface().recentFiles()[i]);
    }
    surface().action(FirstRecentFile + 2)->hover();
    EXPECT_EQ(shown(), "Load this image");

    // Choosing an entry opens it without reordering the list.
    const int windows = windowCount();
    surface().action(FirstRecentFile + 3)->trigger();
    EXPECT_EQ(windowCount(), windows + 1);
    EXPECT_EQ(frame().activeImageWindow()->filePath(), paths[3]);
    EXPECT_EQ(surface().recentFiles()[0], paths[6]);
}

TEST_F(ViewerMenusTest, RecentFilesSurviveTheProfile) {
    const QString longPath = "/" + QString(300, 'd') + "/picture & friends.jpg";
    surface().addRecentFile("/p/first.bmp");
    surface().addRecentFile(longPath);
    surface().saveRecentFiles();
    EXPECT_EQ(ProfileString("OldFile0", "none"), longPath.toStdString());
    EXPECT_EQ(ProfileString("OldFile1", "none"), "/p/first.bmp");
    EXPECT_EQ(ProfileString("OldFile2", "none"), "none");

    restart();
    EXPECT_EQ(surface().recentFiles(), QStringList({longPath, "/p/first.bmp"}));
    EXPECT_EQ(surface().action(FirstRecentFile)->text(), QString(longPath).replace("&", "&&"));

    // Loading stops at the first missing entry.
    WriteProfileStringA(kProfileSection, "OldFile1", "none");
    WriteProfileStringA(kProfileSection, "OldFile2", "/p/third.bmp");
    restart();
    EXPECT_EQ(surface().recentFiles(), QStringList({longPath}));
}

// A file that fails is reported and gets no window; the other chosen files open, and only they
// enter the recent-file list.
TEST_F(ViewerMenusTest, FailedFileIsLeftOutAndTheOthersOpen) {
    const QString missing = QString::fromStdString(tempPath("missing.bmp"));
    const QString good = writeBmp("good.bmp", ImageKind::RGB, 8, 8);
    writeText("broken.bmp", "BM not a bitmap");
    const QString broken = QString::fromStdString(tempPath("broken.bmp"));
    openThroughDialog({missing, good, broken});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].text.find("Can't open file"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[1].text.rfind("Lumo Error:", 0), 0u) << boxes[1].text;
    EXPECT_EQ(frame().imageWindowTitles(), QStringList({good}));
    EXPECT_EQ(surface().recentFiles(), QStringList({good}));

    // From the recent-file list as well, and the viewer runs on.
    surface().addRecentFile(missing);
    surface().action(FirstRecentFile)->trigger();
    EXPECT_EQ(boxes.size(), 3u);
    EXPECT_EQ(windowCount(), 1);
    EXPECT_FALSE(surface().inHelpMode());
}

}  // namespace
