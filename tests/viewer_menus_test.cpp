// The command surface: menu bar, greying, status-line help, accelerators, help mode, recent files, Open.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTextBrowser>
#include <cstdlib>
#include <memory>

#include "platform/message_box.h"
#include "platform/profile.h"
#include "tests/support/lumo_test.h"
#include "viewer/commands/command_host.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/dialogs/help_window.h"
#include "viewer/commands/menu_greying.h"
#include "viewer/dialogs/open_dialog.h"

namespace {

using namespace command;

// Records what the surface asks of the frame.
class FakeHost : public CommandHost {
public:
    ActiveImageState state;
    bool toolbar = true;
    QStringList transient;  // every text shown without being stored
    int restores = 0;
    QString stored;
    QStringList opened;
    std::vector<int> frameCommands;
    QStringList titles;
    std::vector<int> activated;
    int focusCalls = 0;
    bool failLoads = false;

    ActiveImageState activeImageState() const override { return state; }
    bool toolbarVisible() const override { return toolbar; }
    void showTransientStatus(const QString& text) override { transient.append(text); }
    void restoreStatus() override { ++restores; }
    void setStatusText(const QString& text) override { stored = text; }
    void openFileInNewWindow(const QString& path) override {
        if (failLoads) LumoError("LumoLoadBmp", "Can't open file %s", path.toUtf8().constData());
        opened.append(path);
    }
    bool runFrameCommand(int id) override {
        frameCommands.push_back(id);
        return true;
    }
    QStringList imageWindowTitles() const override { return titles; }
    void activateImageWindow(int index) override { activated.push_back(index); }
    void focusActiveImageWindow() override { ++focusCalls; }
};

struct ShownMessage {
    std::string caption, text;
};

class ViewerMenusTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        ::setenv("LUMO_PROFILE", tempPath("WIN.INI").c_str(), 1);
        previousBox_ = SetMessageBoxFunction([this](const char* caption, const char* text, MessageIcon) {
            messages.push_back({caption, text});
        });
        previousDialog_ = SetOpenFilesDialog(
            [this](QWidget*, const QString& title, const QStringList& filters, int& filterIndex) {
                dialogTitle = title;
                dialogFilters = filters;
                filterIndexSeen = filterIndex;
                statusDuringDialog = host.transient.isEmpty() ? QString() : host.transient.last();
                if (nextFilterIndex) filterIndex = nextFilterIndex;
                return chosen;
            });
        makeSurface();
    }

    void TearDown() override {
        surface.reset();
        frame.reset();
        SetOpenFilesDialog(previousDialog_);
        SetMessageBoxFunction(previousBox_);
        ::unsetenv("LUMO_PROFILE");
        LumoTest::TearDown();
    }

    void makeSurface() {
        surface.reset();
        frame = std::make_unique<QMainWindow>();
        surface = std::make_unique<CommandSurface>(frame.get(), host);
    }

    // Opens files through the Open command as if chosen in its dialog.
    void openThroughDialog(const QStringList& paths) {
        chosen = paths;
        ASSERT_TRUE(surface->dispatch(Open));
    }

    QMenu* popup(int index) const { return surface->menuBar()->actions()[index]->menu(); }
    bool enabled(int id) const { return surface->action(id)->isEnabled(); }

    void showActiveFrame() {
        frame->show();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }

    HelpWindow* helpWindow() const { return frame->findChild<HelpWindow*>(); }

    FakeHost host;
    std::unique_ptr<QMainWindow> frame;
    std::unique_ptr<CommandSurface> surface;
    std::vector<ShownMessage> messages;
    QStringList chosen;
    QString dialogTitle;
    QStringList dialogFilters;
    int filterIndexSeen = 0;
    int nextFilterIndex = 0;
    QString statusDuringDialog;

private:
    MessageBoxFunction previousBox_;
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
          {0, ""}, {101, "Sca&n..."}, {0, ""}, {116, "Build a &Mosaic File"}, {117, "Convert Files (&Batch)"},
          {0, ""}, {999, "&Quit\tAlt+F4"}}},
        {"&Edit",
         {{200, "&Rescale"}, {205, "-> B/W"}, {210, "-> Grayscale 16"}, {215, "-> Grayscale 256"},
          {220, "-> 16 color"}, {225, "-> 256 color"}, {230, "-> 16.7 M color"}, {0, ""}, {260, "Copy\tCtrl-X"},
          {265, "Paste\tCtrl-V"}}},
        {"&View",
         {{300, "Zoom 50 %"}, {305, "Zoom 100 %"}, {310, "Zoom 150 %"}, {315, "Zoom 200 %"}, {0, ""},
          {320, "Show &Full Screen\tF9"}, {340, "&Toolbar visible"}}},
        {"&Options",
         {{450, "&JPEG"}, {451, "&TIFF"}, {456, "&GIF"}, {452, "&PostScript"}, {454, "Photo &CD"}, {457, "J&BIG"},
          {455, "M&OK"}, {453, "&Other"}}},
        {"&Windows", {{410, "&Tile\tShft+F4"}, {420, "&Cascade\tShft+F5"}, {430, "&Arrange Icons"}}},
        {"&Help = F1", {{888, "&Index"}, {0, ""}, {130, "&About..."}}},
    };
    const QList<QAction*> bar = surface->menuBar()->actions();
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
            EXPECT_EQ(surface->action(want.id), items[i]);
        }
    }
    // The help-mode picture closes the bar; the toolbar item starts checked.
    EXPECT_EQ(bar.last()->data().toInt(), HelpMode);
    EXPECT_FALSE(bar.last()->icon().isNull());
    EXPECT_EQ(frame->menuBar(), surface->menuBar());
    EXPECT_TRUE(surface->action(ToolbarVisible)->isChecked());
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
                                           ImageKind::COLOR256, ImageKind::RGB));

TEST(MenuGreying, ImageCommandsNeedAWindowAndSaveNeedsAChange) {
    const ActiveImageState none;
    const ActiveImageState clean{true, ImageKind::GRAY256, 100, false};
    ActiveImageState changed = clean;
    changed.modified = true;
    for (const int id : {Save, SaveAs, Revert, Print, Close, CloseAll, Copy, Rescale, Zoom50, Zoom100, Zoom150,
                         Zoom200, FullScreen, ToBW, ToRGB})
        EXPECT_FALSE(CommandAllowed(id, none, true)) << id;
    for (const int id : {SaveAs, Print, Close, CloseAll, Copy, Rescale, FullScreen})
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

    host.state = {true, ImageKind::RGB, 150, false};
    surface->updateMenus();
    EXPECT_TRUE(enabled(Close));
    EXPECT_TRUE(enabled(FullScreen));
    EXPECT_FALSE(enabled(Zoom150));
    for (const int id : {Zoom50, Zoom100, Zoom200}) EXPECT_TRUE(enabled(id)) << id;

    // Commands that are not available yet stay greyed whatever the state.
    host.state.modified = true;
    surface->updateMenus();
    for (const int id : {Save, Rescale, ToBW, JbigOptions, About}) EXPECT_FALSE(enabled(id)) << id;

    host.toolbar = false;
    surface->updateMenus();
    EXPECT_FALSE(surface->action(ToolbarVisible)->isChecked());
}

TEST_F(ViewerMenusTest, OpeningAMenuBringsTheGreyingUpToDate) {
    host.state = {true, ImageKind::BW, 200, false};
    QMenu* view = popup(2);
    view->popup(QPoint(10, 10));
    EXPECT_TRUE(enabled(Zoom50));
    EXPECT_FALSE(enabled(Zoom200));
    view->hide();
}

// ---- commands ----

class FrameCommandTest : public ViewerMenusTest, public ::testing::WithParamInterface<int> {};

TEST_P(FrameCommandTest, GoesToTheFrameAndGivesTheFocusBack) {
    EXPECT_TRUE(surface->dispatch(GetParam()));
    EXPECT_EQ(host.frameCommands, std::vector<int>{GetParam()});
    EXPECT_EQ(host.focusCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(Ids, FrameCommandTest,
                         ::testing::Values(Close, Zoom50, Zoom100, Zoom150, Zoom200, FullScreen, ToolbarVisible, Tile,
                                           Cascade, ArrangeIcons, Quit));

TEST_F(ViewerMenusTest, CommandsNotAvailableYetDoNothing) {
    for (const int id : {Save, SaveAs, Print, Scan, Rescale, ToGray256, Copy, Paste, GifOptions, About, Id(12345)})
        EXPECT_FALSE(surface->dispatch(id)) << id;
    EXPECT_TRUE(host.frameCommands.empty());
    EXPECT_TRUE(host.opened.empty());
    EXPECT_EQ(host.focusCalls, 0);
}

// ---- status-line help ----

TEST_F(ViewerMenusTest, HighlightedItemsExplainThemselves) {
    surface->action(Zoom150)->hover();
    EXPECT_EQ(host.transient.last(), "150 % of the original size");
    surface->action(ToRGB)->hover();  // greyed items explain themselves too
    EXPECT_EQ(host.transient.last(), "Convert the current image to RGB, 1.7 M color image");
    surface->action(BuildMosaic)->hover();
    EXPECT_EQ(host.transient.last(), "Build a \"mosaic\" image, containing reduced image");
    surface->action(ToolbarVisible)->hover();
    EXPECT_EQ(host.transient.last(), "Remove Tool Bar");
    host.toolbar = false;
    surface->action(ToolbarVisible)->hover();
    EXPECT_EQ(host.transient.last(), "Display Tool Bar");
    surface->action(HelpMode)->hover();  // no help text: the strip is cleared
    EXPECT_EQ(host.transient.last(), "");
    surface->menuBar()->actions()[1]->hover();
    EXPECT_EQ(host.transient.last(), "You have selected a menu - please choose an option");
    EXPECT_EQ(host.stored, "");  // none of this touches the stored status text

    QMenu* file = popup(0);
    file->popup(QPoint(10, 10));
    const int restores = host.restores;
    file->hide();
    EXPECT_EQ(host.restores, restores + 1);
}

TEST_F(ViewerMenusTest, WindowsMenuListsTheImageWindows) {
    host.titles = {"/pictures/a.bmp", "/pictures/b&c.jpg"};
    QMenu* windows = popup(4);
    windows->popup(QPoint(10, 10));
    const QList<QAction*> items = windows->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_TRUE(items[3]->isSeparator());
    EXPECT_EQ(items[4]->text(), "&1 /pictures/a.bmp");
    EXPECT_EQ(items[5]->text(), "&2 /pictures/b&&c.jpg");
    EXPECT_EQ(surface->action(FirstWindowListItem + 1), items[5]);
    items[5]->hover();
    EXPECT_EQ(host.transient.last(), "Take this image as the current image");
    items[5]->trigger();
    EXPECT_EQ(host.activated, std::vector<int>{1});
    windows->hide();

    // The list is rebuilt each time the menu opens.
    host.titles = {"/pictures/c.gif"};
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
    };
    for (const auto& [keys, id] : table)
        EXPECT_TRUE(surface->action(id)->shortcuts().contains(keys)) << keys.toString().toStdString();

    showActiveFrame();
    QTest::keyClick(frame.get(), Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(dialogTitle, "Load image");
    QTest::keyClick(frame.get(), Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(host.frameCommands, std::vector<int>{Tile});
}

TEST_F(ViewerMenusTest, AcceleratorOfAGreyedItemIsNotDelivered) {
    showActiveFrame();
    QTest::keyClick(frame.get(), Qt::Key_F9);
    EXPECT_TRUE(host.frameCommands.empty());
    // A window opened since the last update: the greying is brought up to date before the key counts.
    host.state = {true, ImageKind::RGB, 100, false};
    QTest::keyClick(frame.get(), Qt::Key_F9);
    EXPECT_EQ(host.frameCommands, std::vector<int>{FullScreen});
}

// ---- help mode ----

TEST_F(ViewerMenusTest, HelpModeOpensTheTopicInsteadOfRunning) {
    showActiveFrame();
    QTest::keyClick(frame.get(), Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(surface->inHelpMode());
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WhatsThisCursor);

    host.state = {true, ImageKind::RGB, 100, false};
    surface->updateMenus();
    surface->action(Zoom150)->trigger();
    EXPECT_TRUE(host.frameCommands.empty()) << "zoomed in help mode";
    EXPECT_FALSE(surface->inHelpMode());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(helpWindow());
    EXPECT_TRUE(helpWindow()->isVisible());
    EXPECT_EQ(helpWindow()->browser()->source().fragment(), "12");
    EXPECT_TRUE(messages.empty());

    // Out of help mode the same item zooms.
    surface->action(Zoom150)->trigger();
    EXPECT_EQ(host.frameCommands, std::vector<int>{Zoom150});
}

TEST_F(ViewerMenusTest, HelpModeForACommandWithoutTopic) {
    surface->enterHelpMode();
    EXPECT_FALSE(surface->dispatch(JbigOptions));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Info");
    EXPECT_EQ(messages[0].text, "No help available for this option");
    EXPECT_FALSE(surface->inHelpMode());
    EXPECT_EQ(helpWindow(), nullptr);

    // A window chosen from the list is still activated after the message.
    host.titles = {"a.bmp"};
    surface->enterHelpMode();
    EXPECT_FALSE(surface->dispatch(FirstWindowListItem));
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(host.activated, std::vector<int>{0});
}

TEST_F(ViewerMenusTest, HelpItemOnTheBarEntersHelpModeAndEscLeavesIt) {
    showActiveFrame();
    surface->action(HelpMode)->trigger();
    EXPECT_TRUE(surface->inHelpMode());
    EXPECT_EQ(host.stored, "Choisissez une commande du menu ou un outil pour avoir l'aide correspondante");
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    EXPECT_FALSE(surface->inHelpMode());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(host.frameCommands.empty());
}

TEST_F(ViewerMenusTest, F1OpensTheHelpIndex) {
    showActiveFrame();
    QTest::keyClick(frame.get(), Qt::Key_F1);
    ASSERT_TRUE(helpWindow());
    EXPECT_EQ(helpWindow()->browser()->source().fragment(), "index");
    EXPECT_FALSE(surface->inHelpMode());
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
    openThroughDialog({"/p/one.jpg", "/p/two.bmp", "/p/three.gif"});
    EXPECT_EQ(statusDuringDialog, "Chargement");
    EXPECT_EQ(dialogTitle, "Load image");
    ASSERT_EQ(dialogFilters.size(), 9);
    EXPECT_EQ(dialogFilters[0], "Graphic Files (*.jpg *.tif *.bmp *.gif *.pcd *.fax *.bie *.mok)");
    EXPECT_EQ(dialogFilters[3], "BMP  (*.bmp)");
    EXPECT_EQ(dialogFilters[7], "JBIG     (*.bie)");
    EXPECT_EQ(host.opened, QStringList({"/p/one.jpg", "/p/two.bmp", "/p/three.gif"}));
    EXPECT_EQ(surface->recentFiles(), QStringList({"/p/three.gif", "/p/two.bmp", "/p/one.jpg"}));
    EXPECT_GT(host.restores, 0);

    // The filter the user left selected is offered again.
    EXPECT_EQ(filterIndexSeen, 1);
    nextFilterIndex = 4;
    openThroughDialog({});
    openThroughDialog({});
    EXPECT_EQ(filterIndexSeen, 4);
    EXPECT_EQ(host.opened.size(), 3);
}

TEST_F(ViewerMenusTest, RecentFileListRules) {
    for (const char* name : {"/p/1.jpg", "/p/2.jpg", "/p/3.jpg", "/p/4.jpg", "/p/5.jpg", "/p/6.jpg"})
        openThroughDialog({name});
    const QStringList five = {"/p/6.jpg", "/p/5.jpg", "/p/4.jpg", "/p/3.jpg", "/p/2.jpg"};
    EXPECT_EQ(surface->recentFiles(), five);

    openThroughDialog({"/p/4.jpg"});  // already listed: the order stays
    EXPECT_EQ(surface->recentFiles(), five);
    openThroughDialog({"/p/4.JPG"});  // another name
    EXPECT_EQ(surface->recentFiles(), QStringList({"/p/4.JPG", "/p/6.jpg", "/p/5.jpg", "/p/4.jpg", "/p/3.jpg"}));

    // The menu shows them after a separator, newest first, ids 10000 upwards.
    const QList<QAction*> items = popup(0)->actions();
    ASSERT_EQ(items.size(), 14 + 1 + 5);
    EXPECT_TRUE(items[14]->isSeparator());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(items[15 + i]->data().toInt(), FirstRecentFile + i);
        EXPECT_EQ(items[15 + i]->text(), surface->recentFiles()[i]);
    }
    surface->action(FirstRecentFile + 2)->hover();
    EXPECT_EQ(host.transient.last(), "Load this image");

    // Choosing an entry opens it without reordering the list.
    host.opened.clear();
    surface->action(FirstRecentFile + 3)->trigger();
    EXPECT_EQ(host.opened, QStringList({"/p/4.jpg"}));
    EXPECT_EQ(surface->recentFiles()[0], "/p/4.JPG");
}

TEST_F(ViewerMenusTest, RecentFilesSurviveTheProfile) {
    const QString longPath = "/" + QString(300, 'd') + "/picture & friends.jpg";
    surface->addRecentFile("/p/first.bmp");
    surface->addRecentFile(longPath);
    surface->saveRecentFiles();
    EXPECT_EQ(ProfileString("OldFile0", "none"), longPath.toStdString());
    EXPECT_EQ(ProfileString("OldFile1", "none"), "/p/first.bmp");
    EXPECT_EQ(ProfileString("OldFile2", "none"), "none");

    makeSurface();
    EXPECT_EQ(surface->recentFiles(), QStringList({longPath, "/p/first.bmp"}));
    EXPECT_EQ(surface->action(FirstRecentFile)->text(), QString(longPath).replace("&", "&&"));

    // Loading stops at the first missing entry.
    WriteProfileStringA(kProfileSection, "OldFile1", "none");
    WriteProfileStringA(kProfileSection, "OldFile2", "/p/third.bmp");
    makeSurface();
    EXPECT_EQ(surface->recentFiles(), QStringList({longPath}));
}

TEST_F(ViewerMenusTest, FailedLoadAbandonsTheCommandButNotTheViewer) {
    surface->addRecentFile("/p/broken.bmp");
    host.failLoads = true;
    surface->action(FirstRecentFile)->trigger();  // the menu's recovery point takes the failure
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Can't open file /p/broken.bmp");

    chosen = {"/p/a.bmp", "/p/b.bmp"};
    surface->action(Open)->trigger();
    EXPECT_EQ(surface->recentFiles(), QStringList({"/p/broken.bmp"}));  // nothing that failed was listed
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_FALSE(surface->inHelpMode());
}

}  // namespace
