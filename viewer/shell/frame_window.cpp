

#include "core/messages.h"
#include "jobs/settings.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/system_info.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/commands/command_table.h"
#include "viewer/commands/fit_commands.h"
#include "viewer/commands/image_commands.h"
#include "viewer/commands/recovery.h"
#include "viewer/shell/frame_window.h"
#include "viewer/shell/status_strip.h"
#include "viewer/shell/toolbar_glyphs.h"
#include "viewer/shell/toolbar_strip.h"
#include "viewer/windows/image_info.h"
#include "viewer/windows/mdi_layout.h"
#include "viewer/windows/refinement.h"
#include "viewer/windows/window_title.h"
#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

FrameWindow::FrameWindow() {
    setWindowTitle(QStringLiteral("Lumo v1.2e"));
    setWindowIcon(LumoIcon());
    setAcceptDrops(true);
    toolbarVisible_ = SettingInt("ToolBarVisible") != 0;
    createWidgets();
    surface_ = std::make_unique<CommandSurface>(*this);
    connectToolbar();
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
        infoChanged_ = true;
        refreshCommandState();
    });
    status_->setProgressEndHandler([this] { refreshImageInfoStatus(); });
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableSize() * 3 / 4);
    refreshCommandState();
}

FrameWindow::~FrameWindow() {
    // The image windows go first, while the surface they report to still exists.
    disconnect(mdiArea_, nullptr, this, nullptr);
    delete mdiArea_;
    mdiArea_ = nullptr;
}

// Toolbar strip on top (rows 0-17 when shown), the MDI area, and the status strip at the bottom.
void FrameWindow::createWidgets() {
    QWidget* client = new QWidget(this);
    QVBoxLayout* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolbar_ = new ToolbarStrip(client);
    mdiArea_ = new QMdiArea(client);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    status_ = new StatusStrip(client);
    layout->addWidget(toolbar_);
    layout->addWidget(mdiArea_, 1);
    layout->addWidget(status_);
    setCentralWidget(client);
}

void FrameWindow::connectToolbar() {
    connect(toolbar_, &ToolbarStrip::commandPressed, this,
            [this](int id) { showTransientStatus(surface_->commandHelpText(id)); });
    connect(toolbar_, &ToolbarStrip::commandReleased, this, [this] { restoreStatus(); });
    connect(toolbar_, &ToolbarStrip::commandClicked, this, [this](int id) { runCommand(id); });
}

ActiveImageState FrameWindow::activeImageState() const {
    ActiveImageState state;
    if (const ImageWindow* window = activeImageWindow()) {
        state.hasWindow = true;
        if (const IMG* image = window->image()) state.kind = KindOf(*image);
        state.zoom = window->zoom();
        state.modified = window->isModified();
    }
    return state;
}

void FrameWindow::showTransientStatus(const QString& text) { status_->showTransient(text); }
void FrameWindow::restoreStatus() { status_->restore(); }
void FrameWindow::setStatusText(const QString& text) { status_->setStatusText(text); }

void FrameWindow::refreshImageInfoStatus() {
    const ImageWindow* window = activeImageWindow();
    QString text = ImageInfoText(window ? window->image() : nullptr, window ? window->zoom() : 100,
                                 window ? window->loadTime() : 0, ReadMemoryStatus());
    if (window && !window->sequencePosition().isEmpty()) text += QStringLiteral(" - ") + window->sequencePosition();
    setStatusText(text);
}

bool FrameWindow::openFileInNewWindow(const QString& path) {
    bool opened = false;
    runAction([&] {
        auto window = std::make_unique<ImageWindow>();
        ImageWindow* loading = window.get();
        connectImageWindow(loading);  // the load's status texts reach the status line
        // A file shown coarse first puts its window on screen with its first level.
        QPointer<ImageWindow> early;
        const QMetaObject::Connection shownEarly = connect(loading, &ImageWindow::refinementShown, this, [&] {
            early = addImageWindow(std::move(window));
            FitOpenedWindow(*this, *early);
        });
        bool loaded = false;
        try {
            loaded = loading->loadFile(path);
        } catch (const LumoFailure&) {
            disconnect(shownEarly);
            if (early) CloseImageWindow(*early);  // a file that fails gets no window
            throw;
        }
        disconnect(shownEarly);
        if (early) {
            if (!loaded) return;  // stopped by its closing (it closes itself) or no picture
            opened = true;
            return;
        }
        if (!loaded) return;
        ImageWindow* shown = addImageWindow(std::move(window));
        opened = true;
        FitOpenedWindow(*this, *shown);
    });
    return opened;
}

ImageWindow* FrameWindow::openImageInNewWindow(ImagePtr image) {
    auto window = std::make_unique<ImageWindow>();
    connectImageWindow(window.get());
    window->setImage(std::move(image));
    window->setWindowTitle(QStringLiteral("New %1").arg(++untitledCount_));
    return addImageWindow(std::move(window));
}

// The first image window opens maximised; when others exist, all are cascaded ("AutoCascade").
ImageWindow* FrameWindow::addImageWindow(std::unique_ptr<ImageWindow> window) {
    const bool othersOpen = !mdiArea_->subWindowList().isEmpty();
    ImageWindow* imageWindow = window.release();
    QMdiSubWindow* subWindow = mdiArea_->addSubWindow(imageWindow);
    subWindow->setAttribute(Qt::WA_DeleteOnClose);
    subWindow->setWindowIcon(LumoIcon());
    // The sub-window's own menu carries Close on Ctrl+F4 too; two actions on one key would cancel
    // each other out, so the key is left to the frame's Close command.
    if (QMenu* systemMenu = subWindow->systemMenu())
        for (QAction* action : systemMenu->actions()) action->setShortcuts({});
    subWindow->showMaximized();
    FitTitleToWindow(subWindow);
    if (othersOpen && SettingInt("AutoCascade") != 0) customCascade();
    mdiArea_->setActiveSubWindow(subWindow);
    imageWindow->setFocus();
    infoChanged_ = true;
    refreshCommandState();
    return imageWindow;
}

// The window's requests reach the frame as signals; those that run library code go through the
// recovery point like any command.
void FrameWindow::connectImageWindow(ImageWindow* window) {
    connect(window, &ImageWindow::changed, this, [this, window] { imageWindowChanged(window); });
    connect(window, &ImageWindow::transientStatus, this, &FrameWindow::showTransientStatus);
    connect(window, &ImageWindow::statusRestored, this, &FrameWindow::restoreStatus);
    connect(window, &ImageWindow::openFileRequested, this, &FrameWindow::openFileInNewWindow);
    connect(window, &ImageWindow::zoomStepRequested, this,
            [this, window](int step) { runAction([&] { window->setZoom(window->zoom() + step); }); });
    connect(window, &ImageWindow::zoomRequested, this,
            [this, window](int percent, QPoint anchor) { runAction([&] { window->zoomAround(percent, anchor); }); });
    connect(window, &ImageWindow::helpModeRequested, this, [this](bool enter) {
        if (enter)
            surface_->enterHelpMode();
        else
            surface_->leaveHelpMode();
    });
    connect(window, &ImageWindow::saveRequested, this,
            [this](ImageWindow* target, bool* saved) { *saved = SaveWindowBeforeClosing(*this, *target); },
            Qt::DirectConnection);
}

ImageWindow* FrameWindow::activeImageWindow() const {
    if (!mdiArea_) return nullptr;
    // The current sub-window stays current while a dialog or another program has the focus.
    QMdiSubWindow* current = mdiArea_->currentSubWindow();
    return current ? qobject_cast<ImageWindow*>(current->widget()) : nullptr;
}

QList<ImageWindow*> FrameWindow::imageWindows() const {
    QList<ImageWindow*> windows;
    if (!mdiArea_) return windows;
    const QList<QMdiSubWindow*> stack = mdiArea_->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (ImageWindow* window = qobject_cast<ImageWindow*>((*it)->widget())) windows.append(window);
    return windows;
}

QMdiSubWindow* FrameWindow::subWindowOf(const ImageWindow* window) const {
    if (!mdiArea_ || !window) return nullptr;
    for (QMdiSubWindow* subWindow : mdiArea_->subWindowList())
        if (subWindow->widget() == window) return subWindow;
    return nullptr;
}

QStringList FrameWindow::imageWindowTitles() const {
    QStringList titles;
    // The image windows' own titles: the full paths, which their title bars may shorten.
    for (const QMdiSubWindow* subWindow : mdiArea_->subWindowList(QMdiArea::CreationOrder))
        titles.append(subWindow->widget() ? subWindow->widget()->windowTitle() : subWindow->windowTitle());
    return titles;
}

void FrameWindow::activateImageWindow(int index) {
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList(QMdiArea::CreationOrder);
    if (index < 0 || index >= windows.size()) return;
    mdiArea_->setActiveSubWindow(windows[index]);
    focusActiveImageWindow();
}

void FrameWindow::focusActiveImageWindow() {
    if (ImageWindow* window = activeImageWindow()) window->setFocus();
}

void FrameWindow::imageWindowChanged(const ImageWindow* window) {
    if (window != activeImageWindow()) return;
    infoChanged_ = true;
    refreshCommandState();
}

void FrameWindow::refreshCommandState() {
    if (actionDepth_ > 0) return;  // the command under way refreshes once when it ends
    surface_->updateMenus();
    // Open is always there; Save and Print follow their menu items.
    toolbar_->setButtonEnabled(command::Open, true);
    toolbar_->setButtonEnabled(command::Save, commandAvailable(command::Save));
    toolbar_->setButtonEnabled(command::Print, commandAvailable(command::Print));
    toolbar_->setVisible(toolbarVisible_);
    if (infoChanged_) {
        infoChanged_ = false;
        refreshImageInfoStatus();
    }
}

bool FrameWindow::commandAvailable(int id) const {
    const QAction* action = surface_ ? surface_->action(id) : nullptr;
    return action && action->isEnabled();
}

void FrameWindow::setToolbarVisible(bool visible) {
    toolbarVisible_ = visible;
    refreshCommandState();
}

void FrameWindow::customCascade() {
    CascadeImageWindows(*mdiArea_, [](QMdiSubWindow* subWindow) {
        const ImageWindow* window = qobject_cast<const ImageWindow*>(subWindow->widget());
        return window ? window->zoomedImageSize() : QSize();
    });
}

void FrameWindow::pumpFrameMessages() { QCoreApplication::processEvents(); }

void FrameWindow::runCommand(int id) {
    // While a window refines, a command waits for the final picture; closing and quitting do not
    // wait (they stop the refinement).
    if (Refinement::running() && id != command::Close && id != command::CloseAll && id != command::Quit) {
        Refinement::whenIdle([alive = QPointer<FrameWindow>(this), id] {
            if (alive) alive->runCommand(id);
        });
        return;
    }
    const QPointer<FrameWindow> alive(this);  // Quit may take the frame with it
    runAction([&] {
        if (surface_->inHelpMode()) {
            surface_->helpForCommand(id);
            return;
        }
        runHandler(id);
        if (alive) focusActiveImageWindow();
    });
}

void FrameWindow::runHandler(int id) {
    if (command::IsRecentFileId(id)) {
        const QStringList paths = surface_->recentFiles();
        const int index = id - command::FirstRecentFile;
        if (index < paths.size()) openFileInNewWindow(paths[index]);  // the list keeps its order
        return;
    }
    if (command::IsWindowListId(id)) {
        activateImageWindow(id - command::FirstWindowListItem);
        return;
    }
    const CommandInfo* info = FindCommand(id);
    if (info && info->run) info->run(*this, *info);
}

// The one recovery point of the viewer. A library error has been shown by the error hook when
// LumoFailure arrives here; the work is abandoned (what it built is released by its owners) and
// the viewer goes on with its windows.
bool FrameWindow::runAction(const std::function<void()>& work) {
    const QPointer<FrameWindow> alive(this);
    bool completed = false;
    ++actionDepth_;
    try {
        work();
        completed = true;
    } catch (const LumoFailure&) {
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    if (!alive) return completed;
    --actionDepth_;
    refreshCommandState();
    return completed;
}

// Every image window is asked, topmost first; the first refusal keeps the program running.
void FrameWindow::closeEvent(QCloseEvent* event) {
    for (ImageWindow* window : imageWindows())
        if (!window->queryClose()) {
            event->ignore();
            return;
        }
    WriteProfileStringA(kProfileSection, "ToolBarVisible", toolbarVisible_ ? "1" : "0");
    surface_->saveRecentFiles();
    event->accept();
}

void FrameWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        surface_->leaveHelpMode();
    else if (event->key() == Qt::Key_F1 && (event->modifiers() & Qt::ShiftModifier))
        surface_->enterHelpMode();
    QMainWindow::keyPressEvent(event);
}

void FrameWindow::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    focusActiveImageWindow();
}

void FrameWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

// Dropped files open in the order they come, once the drop itself has finished (an error box
// must not hold up the program the files came from); they do not enter the recent-file list.
void FrameWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    event->acceptProposedAction();
    QMetaObject::invokeMethod(
        this,
        [this, paths] {
            for (const QString& path : paths) openFileInNewWindow(path);
            if (isMinimized()) {
                showNormal();
                mdiArea_->cascadeSubWindows();
            }
        },
        Qt::QueuedConnection);
}
