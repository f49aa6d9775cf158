// The viewer's command surface: the menu bar "MAINMENU" built from the command table with one
// action per command (each sends its id to the frame's dispatch), the accelerators "ACC_LUMO",
// greying, status-line help for the highlighted item, the help mode and help window, and the
// recent-file list in the File menu.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class FrameWindow;
class QAction;
class QMenuBar;

class CommandSurface : public QObject {
    Q_OBJECT
public:
    // Builds the menu bar into frame (frame->setMenuBar) and loads the recent-file list from the profile.
    explicit CommandSurface(FrameWindow& frame);
    ~CommandSurface() override;

    // Greys and checks the items from the frame's state (run before a menu opens, and once after
    // every command or change of the active window).
    void updateMenus();
    // How often the greying was worked out (tests count it per command).
    int greyingCount() const;

    // The status-line help text of a command id ("Load an image", ...), empty when there is none.
    QString commandHelpText(int id) const;
    // The help context of a command id, or -1 when it has none.
    static int helpContext(int id);

    void enterHelpMode();
    void leaveHelpMode();
    bool inHelpMode() const;
    // What a command does in help mode: leaves the mode and opens the command's help topic, or says
    // there is none. True when a topic was shown.
    bool helpForCommand(int id);
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
