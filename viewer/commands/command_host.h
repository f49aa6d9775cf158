// What the menus and the help mode need from the frame: the state of the active image window for
// greying, the status-line services, and the commands the frame and image windows carry out.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "core/image.h"

// The active image window as the menus see it.
struct ActiveImageState {
    bool hasWindow = false;
    std::optional<ImageKind> kind;  // empty when the window holds no image
    int zoom = 100;
    bool modified = false;
};

class CommandHost {
public:
    virtual ~CommandHost() = default;

    virtual ActiveImageState activeImageState() const = 0;
    virtual bool toolbarVisible() const = 0;

    // Status line: a text shown at once but not stored; back to the stored text; replace the stored text.
    virtual void showTransientStatus(const QString& text) = 0;
    virtual void restoreStatus() = 0;
    virtual void setStatusText(const QString& text) = 0;

    // Opens a file in a new image window (a failed load shows no window).
    virtual void openFileInNewWindow(const QString& path) = 0;
    // Runs a command the frame or the image windows carry out (close, zoom, full screen, toolbar,
    // tile, cascade, quit, ...); yields false for ids it does not handle.
    virtual bool runFrameCommand(int id) = 0;

    // The image windows for the Windows menu's list (titles, in the MDI area's order), activating one,
    // and giving the focus back to the active image window after a command.
    virtual QStringList imageWindowTitles() const = 0;
    virtual void activateImageWindow(int index) = 0;
    virtual void focusActiveImageWindow() = 0;
};
