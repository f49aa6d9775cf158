#include "viewer/commands/command_surface.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <functional>
#include <map>

#include "core/messages.h"
#include "platform/message_box.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_table.h"
#include "viewer/commands/help_mode.h"
#include "viewer/dialogs/help_window.h"
#include "viewer/commands/menu_greying.h"
#include "viewer/commands/recent_files.h"
#include "viewer/shell/frame_window.h"

namespace {

using command::IsRecentFileId;
using command::IsWindowListId;

// A path or title shown as it stands in a menu, where '&' would mark a mnemonic.
QString MenuLiteral(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

// Hands the events of the objects it watches to a function and lets them go on.
class EventWatcher : public QObject {
public:
    explicit EventWatcher(std::function<void(QObject*, QEvent*)> onEvent) : onEvent_(std::move(onEvent)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        onEvent_(watched, event);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> onEvent_;
};

}  // namespace

struct CommandSurface::Impl {
    Impl(CommandSurface& surface, FrameWindow& frame)
        : self(surface),
          frame(frame),
          helpMode(&frame),
          acceleratorWatcher([this](QObject* watched, QEvent* event) { refreshBeforeAccelerator(watched, event); }),
          menuBarWatcher([this](QObject*, QEvent* event) {
              if (event->type() == QEvent::Leave && !popupOpen()) this->frame.restoreStatus();
          }) {}

    CommandSurface& self;
    FrameWindow& frame;
    QPointer<QMenuBar> bar;       // owned by the frame
    std::map<int, QAction*> commandActions;  // one per id of the command table
    QMenu* fileMenu = nullptr;    // holds the recent-file list at its end
    QMenu* windowsMenu = nullptr;  // holds the list of image windows at its end
    QAction* recentSeparator = nullptr;
    QList<QAction*> recentActions;
    QList<QAction*> windowListActions;  // the separator first
    RecentFiles recent;
    HelpMode helpMode;
    QPointer<HelpWindow> helpWindow;  // made on first use, owned by the frame
    int greyings = 0;                 // how often the greying was worked out
    QList<QKeyCombination> acceleratorKeys;
    EventWatcher acceleratorWatcher;
    EventWatcher menuBarWatcher;

    void buildMenuBar();
    QAction* makeCommandAction(int id, QObject* parent);
    QAction* makeListAction(const QString& text, int id, QObject* parent);
    void installAccelerators();
    void refreshBeforeAccelerator(QObject* watched, QEvent* event);
    void applyGreying(const ActiveImageState& state, bool toolbarVisible);
    void showItemHelp(QAction* action);
    bool popupOpen() const;
    void rebuildRecentItems();
    void rebuildWindowList();
};

void CommandSurface::Impl::buildMenuBar() {
    bar = new QMenuBar(&frame);
    QList<QMenu*> popups;
    for (const MenuPopup& popup : MainMenu()) {
        QMenu* menu = bar->addMenu(QString::fromLatin1(popup.title));
        for (const int id : popup.items) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(makeCommandAction(id, menu));
        }
        QObject::connect(menu, &QMenu::aboutToShow, &self, [this] { self.updateMenus(); });
        QObject::connect(menu, &QMenu::aboutToHide, &self, [this] { frame.restoreStatus(); });
        QObject::connect(menu, &QMenu::hovered, &self, [this](QAction* action) { showItemHelp(action); });
        popups.append(menu);
    }
    fileMenu = popups.first();
    windowsMenu = popups[4];
    QObject::connect(windowsMenu, &QMenu::aboutToShow, &self, [this] { rebuildWindowList(); });

    QAction* help = makeCommandAction(command::HelpMode, bar);
    help->setIcon(HelpModeIcon());
    bar->addAction(help);
    QObject::connect(bar, &QMenuBar::hovered, &self, [this](QAction* action) { showItemHelp(action); });
    bar->installEventFilter(&menuBarWatcher);
    frame.setMenuBar(bar);
}

QAction* CommandSurface::Impl::makeCommandAction(int id, QObject* parent) {
    QAction* action = makeListAction(QString::fromLatin1(FindCommand(id)->menuText), id, parent);
    if (id == command::ToolbarVisible) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    commandActions[id] = action;
    return action;
}

QAction* CommandSurface::Impl::makeListAction(const QString& text, int id, QObject* parent) {
    auto* action = new QAction(text, parent);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, &self, [this, id] { frame.runCommand(id); });
    return action;
}

void CommandSurface::Impl::installAccelerators() {
    std::map<int, QList<QKeySequence>> keysOfCommand;
    for (const auto table : {AcceleratorTable(), DocumentWindowKeys()})
        for (const Accelerator& accelerator : table) {
            const QKeySequence keys =
                QKeySequence::fromString(QString::fromLatin1(accelerator.keys), QKeySequence::PortableText);
            keysOfCommand[accelerator.id].append(keys);
            acceleratorKeys.append(keys[0]);
        }
    // Shortcuts of greyed items are not delivered, as accelerators of greyed menu items are not.
    for (const auto& [id, keys] : keysOfCommand) commandActions.at(id)->setShortcuts(keys);
    qApp->installEventFilter(&acceleratorWatcher);
}

// An accelerator is checked against the menu state of the moment: the greying is brought up to date
// before Qt decides whether the shortcut's item is enabled.
void CommandSurface::Impl::refreshBeforeAccelerator(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeyCombination pressed(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key()));
    if (!acceleratorKeys.contains(pressed)) return;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == &frame) self.updateMenus();
}

void CommandSurface::Impl::applyGreying(const ActiveImageState& state, bool toolbarVisible) {
    ++greyings;
    const bool clipboardHasImage = ClipboardHoldsImage();
    for (const auto& [id, action] : commandActions) {
        const bool available = FindCommand(id)->run != nullptr;
        action->setEnabled(available && CommandAllowed(id, state, clipboardHasImage));
    }
    commandActions.at(command::ToolbarVisible)->setChecked(toolbarVisible);
}

void CommandSurface::Impl::showItemHelp(QAction* action) {
    if (!action) return;
    if (action->isSeparator()) {
        frame.showTransientStatus(QString());
    } else if (action->menu()) {
        frame.showTransientStatus(QString::fromLatin1(kPopupHelpText));
    } else {
        bool isId = false;
        const int id = action->data().toInt(&isId);
        frame.showTransientStatus(isId ? self.commandHelpText(id) : QString());
    }
}

bool CommandSurface::Impl::popupOpen() const {
    if (!bar) return false;
    for (const QAction* action : bar->actions())
        if (action->menu() && action->menu()->isVisible()) return true;
    return false;
}

void CommandSurface::Impl::rebuildRecentItems() {
    for (QAction* action : recentActions) {
        fileMenu->removeAction(action);
        action->deleteLater();  // the list may change while one of its items is being triggered
    }
    recentActions.clear();
    const QStringList& paths = recent.paths();
    if (paths.isEmpty()) return;
    if (!recentSeparator) recentSeparator = fileMenu->addSeparator();
    for (int i = 0; i < paths.size(); ++i) {
        QAction* action = makeListAction(MenuLiteral(paths[i]), command::FirstRecentFile + i, fileMenu);
        fileMenu->addAction(action);
        recentActions.append(action);
    }
}

void CommandSurface::Impl::rebuildWindowList() {
    for (QAction* action : windowListActions) {
        windowsMenu->removeAction(action);
        action->deleteLater();
    }
    windowListActions.clear();
    const QStringList titles = frame.imageWindowTitles();
    if (titles.isEmpty()) return;
    windowListActions.append(windowsMenu->addSeparator());
    const int count = std::min<int>(titles.size(), command::LastWindowListItem - command::FirstWindowListItem + 1);
    for (int i = 0; i < count; ++i) {
        // The first nine are numbered with a mnemonic, as the system's window lists are.
        const QString number = i < 9 ? QStringLiteral("&%1 ").arg(i + 1) : QStringLiteral("%1 ").arg(i + 1);
        QAction* action = makeListAction(number + MenuLiteral(titles[i]), command::FirstWindowListItem + i, windowsMenu);
        windowsMenu->addAction(action);
        windowListActions.append(action);
    }
}

bool CommandSurface::helpForCommand(int id) {
    leaveHelpMode();
    const int context = helpContext(id);
    if (context >= 0) {
        showHelp(context);
        impl_->frame.focusActiveImageWindow();
        return true;
    }
    ShowMessageBox("Info", kNoHelpText, MessageIcon::Information);
    // The command then gets the frame's default handling, which still activates a listed window.
    if (IsWindowListId(id)) impl_->frame.activateImageWindow(id - command::FirstWindowListItem);
    return false;
}

CommandSurface::CommandSurface(FrameWindow& frame) : impl_(std::make_unique<Impl>(*this, frame)) {
    impl_->buildMenuBar();
    impl_->installAccelerators();
    impl_->recent.load();
    impl_->rebuildRecentItems();
    // The frame may still be under construction: the items start as with no image window open.
    impl_->applyGreying(ActiveImageState{}, true);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { updateMenus(); });
}

CommandSurface::~CommandSurface() = default;

void CommandSurface::updateMenus() {
    if (!impl_->bar) return;
    impl_->applyGreying(impl_->frame.activeImageState(), impl_->frame.toolbarVisible());
}

QString CommandSurface::commandHelpText(int id) const {
    if (IsRecentFileId(id)) return QString::fromLatin1(StringResource(kRecentFileHelp));
    if (IsWindowListId(id)) return QString::fromLatin1(StringResource(kWindowListHelp));
    const CommandInfo* info = FindCommand(id);
    if (!info || info->helpString == 0) return {};
    const int string =
        id == command::ToolbarVisible && !impl_->frame.toolbarVisible() ? kToolbarHiddenHelp : info->helpString;
    return QString::fromLatin1(StringResource(string));
}

int CommandSurface::helpContext(int id) {
    const CommandInfo* info = FindCommand(id);
    return info ? info->helpContext : -1;
}

void CommandSurface::enterHelpMode() { impl_->helpMode.enter(); }
void CommandSurface::leaveHelpMode() { impl_->helpMode.leave(); }
bool CommandSurface::inHelpMode() const { return impl_->helpMode.active(); }

void CommandSurface::showHelp(int context) {
    if (!impl_->helpWindow) impl_->helpWindow = new HelpWindow(&impl_->frame);
    impl_->helpWindow->showContext(context);
}

void CommandSurface::addRecentFile(const QString& path) {
    if (impl_->recent.add(path)) impl_->rebuildRecentItems();
}

QStringList CommandSurface::recentFiles() const { return impl_->recent.paths(); }

void CommandSurface::saveRecentFiles() const { impl_->recent.save(); }

QAction* CommandSurface::action(int id) const {
    if (const auto found = impl_->commandActions.find(id); found != impl_->commandActions.end()) return found->second;
    const QList<QAction*>& listed = IsRecentFileId(id) ? impl_->recentActions : impl_->windowListActions;
    for (QAction* item : listed)
        if (!item->isSeparator() && item->data().toInt() == id) return item;
    return nullptr;
}

QMenuBar* CommandSurface::menuBar() const { return impl_->bar; }

int CommandSurface::greyingCount() const { return impl_->greyings; }
