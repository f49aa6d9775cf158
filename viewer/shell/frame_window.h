// The frame window: title, menu bar (from the command surface), toolbar strip, the MDI area that
// holds the image windows, and the status strip. It carries out the frame's commands, keeps the
// status line, opens files in new image windows and asks every window before the program closes.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <memory>

#include "core/image.h"
#include "viewer/commands/command_host.h"
#include "viewer/windows/image_window.h"

class CommandSurface;
class QMdiArea;
class QMdiSubWindow;
class StatusStrip;
class ToolbarStrip;

class FrameWindow : public QMainWindow, public CommandHost, public ImageWindowHost {
    Q_OBJECT
public:
    FrameWindow();
    ~FrameWindow() override;

    // CommandHost.
    ActiveImageState activeImageState() const override;
    bool toolbarVisible() const override { return toolbarVisible_; }
    void showTransientStatus(const QString& text) override;
    void restoreStatus() override;
    void setStatusText(const QString& text) override;
    // A failed load shows no window; a library error is shown by the error hook and the viewer runs on.
    void openFileInNewWindow(const QString& path) override;
    bool runFrameCommand(int id) override;
    QStringList imageWindowTitles() const override;
    void activateImageWindow(int index) override;
    void focusActiveImageWindow() override;

    // ImageWindowHost (and the status, open-file services above).
    void imageWindowChanged(ImageWindow& window) override;
    void enterHelpMode() override;
    void leaveHelpMode() override;
    bool saveImageWindow(ImageWindow& window) override;

    // Runs a command as the menus do, under the recovery point.
    void runCommand(int id);
    // A picture made in memory (a paste) in a new window titled "New %d".
    ImageWindow* openImageInNewWindow(ImagePtr image);
    // The image-info line of the active image window (or the free-memory line) as the status text.
    void refreshImageInfoStatus();
    // Lays out the frame again and shows, hides, enables and disables the toolbar buttons.
    void updateToolbar();
    void setToolbarVisible(bool visible);
    void customCascade();
    // Lets queued events (repaints after a dialog closed) run before a long operation starts.
    void pumpFrameMessages();

    ImageWindow* activeImageWindow() const;
    // The image windows, topmost first.
    QList<ImageWindow*> imageWindows() const;
    QMdiSubWindow* subWindowOf(const ImageWindow* window) const;

    CommandSurface& commandSurface() const { return *surface_; }
    StatusStrip& statusStrip() const { return *status_; }
    ToolbarStrip& toolbarStrip() const { return *toolbar_; }
    QMdiArea& mdiArea() const { return *mdiArea_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createWidgets();
    void connectToolbar();
    ImageWindow* addImageWindow(std::unique_ptr<ImageWindow> window);
    void activeWindowChanged();
    bool commandAvailable(int id) const;

    ToolbarStrip* toolbar_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    StatusStrip* status_ = nullptr;
    std::unique_ptr<CommandSurface> surface_;
    bool toolbarVisible_ = true;
    int untitledCount_ = 0;
};
