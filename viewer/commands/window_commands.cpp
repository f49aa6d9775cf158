#include "viewer/commands/window_commands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "viewer/shell/frame_window.h"
#include "viewer/windows/mdi_layout.h"

void CloseActiveWindow(FrameWindow& frame, const CommandInfo&) {
    if (QMdiSubWindow* subWindow = frame.subWindowOf(frame.activeImageWindow())) subWindow->close();
}

// The frame closes once the command has returned (its windows ask their questions then).
void QuitViewer(FrameWindow& frame, const CommandInfo&) {
    QMetaObject::invokeMethod(&frame, &QWidget::close, Qt::QueuedConnection);
}

void ZoomImage(FrameWindow& frame, const CommandInfo& command) {
    if (ImageWindow* window = frame.activeImageWindow()) window->setZoom(command.zoom);
}

void ShowFullScreen(FrameWindow& frame, const CommandInfo&) {
    if (ImageWindow* window = frame.activeImageWindow()) window->showFullScreenView();
}

void ToggleToolbar(FrameWindow& frame, const CommandInfo&) { frame.setToolbarVisible(!frame.toolbarVisible()); }

void TileWindows(FrameWindow& frame, const CommandInfo&) { frame.mdiArea().tileSubWindows(); }

void CascadeWindows(FrameWindow& frame, const CommandInfo&) { frame.customCascade(); }

void ArrangeWindowIcons(FrameWindow& frame, const CommandInfo&) { ArrangeIcons(frame.mdiArea()); }
