// The viewer's command surface: the menu bar "MAINMENU" built from the command table, the
// accelerators "ACC_LUMO", greying, status-line help for the highlighted item, the help mode and
// help window, the recent-file list in the File menu, and the Open command.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class CommandHost;

class CommandSurface : public QObject {
    Q_OBJECT
public:
    // Builds the menu bar into frame (frame->setMenuBar) and loads the recent-file list from the profile.
    CommandSurface(QMainWindow* frame, CommandHost& host);
    ~CommandSurface() override;

    // Runs a command by id as the menus do: in help mode opens its help topic instead.
    // Yields true when the id was handled.
    bool dispatch(int id);

    // Greys and checks the items from the host's state (run before a menu opens, and after changes).
    void updateMenus();

    // The status-line help text of a command id ("Load an image", ...), empty when there is none.
    QString commandHelpText(int id) const;
    // The help context of a command id, or -1 when it has none.
    static int helpContext(int id);

    void enterHelpMode();
    void leaveHelpMode();
    bool inHelpMode() const;
    // Opens the help window at a context (0 = the index).
    void showHelp(int context);

    // The recent-file list: add after an Open (rules of the list), and write it to the profile.
    void addRecentFile(const QString& path);
    QStringList recentFiles() const;
    void saveRecentFiles() const;

    // The action of a command id (for tests and for the toolbar), or null.
    QAction* action(int id) const;
    QMenuBar* menuBar() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
