// The frame window: title, menu bar (from the command surface), toolbar strip, the MDI area that
// holds the image windows, and the status strip. Every command runs through runCommand, the one
// dispatch with the one recovery point; the frame keeps the status line, opens files in new image
// windows and asks every window before the program closes.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "core/image.h"
#include "viewer/windows/image_window.h"

class CommandSurface;
class QMdiArea;
class QMdiSubWindow;
class StatusStrip;
class ToolbarStrip;

// The active image window as the menus see it.
struct ActiveImageState {
    bool hasWindow = false;
    std::optional<ImageKind> kind;  // empty when the window holds no image
    int zoom = 100;
    bool modified = false;
};

class FrameWindow : public QMainWindow {
    Q_OBJECT
public:
    FrameWindow();
    ~FrameWindow() override;

    // Runs a command by id as the menus, keys and toolbar do: in help mode its help topic opens
    // instead; otherwise its handler runs under the recovery point, and afterwards the menus are
    // greyed, the toolbar and the status line brought up to date, once.
    void runCommand(int id);
    // Runs work under the recovery point and brings menus, toolbar and status line up to date once
    // it is over (at the end of the outermost command when called from within one). False when
    // a library error (already shown to the user) or a lack of memory abandoned the work.
    bool runAction(const std::function<void()>& work);

    // Opens a file in a new image window; a file that fails to load is reported and gets no window.
    bool openFileInNewWindow(const QString& path);
    // A picture made in memory (a paste) in a new window titled "New %d".
    ImageWindow* openImageInNewWindow(ImagePtr image);

    ActiveImageState activeImageState() const;
    bool toolbarVisible() const { return toolbarVisible_; }
    void setToolbarVisible(bool visible);

    // Status line: a text shown at once but not stored; back to the stored text; replace the stored text.
    void showTransientStatus(const QString& text);
    void restoreStatus();
    void setStatusText(const QString& text);
    // The image-info line of the active image window (or the free-memory line) as the status text.
    void refreshImageInfoStatus();

    void customCascade();
    // Lets queued events (repaints after a dialog closed) run before a long operation starts.
    void pumpFrameMessages();

    ImageWindow* activeImageWindow() const;
    // The image windows, topmost first.
    QList<ImageWindow*> imageWindows() const;
    QMdiSubWindow* subWindowOf(const ImageWindow* window) const;
    // The titles for the Windows menu's list, in the MDI area's order, and activating one of them.
    QStringList imageWindowTitles() const;
    void activateImageWindow(int index);
    void focusActiveImageWindow();

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
    void connectImageWindow(ImageWindow* window);
    ImageWindow* addImageWindow(std::unique_ptr<ImageWindow> window);
    void runHandler(int id);
    void imageWindowChanged(const ImageWindow* window);
    // Greying, toolbar and (when the active image changed) the image-info line after a change;
    // deferred to the end of a running command.
    void refreshCommandState();
    bool commandAvailable(int id) const;

    ToolbarStrip* toolbar_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    StatusStrip* status_ = nullptr;
    std::unique_ptr<CommandSurface> surface_;
    bool toolbarVisible_ = true;
    int untitledCount_ = 0;
    int actionDepth_ = 0;      // commands and actions under way (nested ones count too)
    bool infoChanged_ = true;  // the image-info status line is to be made again
};
