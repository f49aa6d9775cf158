#include "viewer/commands/fit_commands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "jobs/settings.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/zoom_steps.h"

namespace {

// The final picture's size, also while a file refines.
QSize PictureSize(const ImageWindow& window) { return window.shownSize(); }

// The screen room of the window's picture: a maximised window has the whole image area; another
// has its viewport, cut where the area ends right of and below its place.
QSize VisibleRoom(FrameWindow& frame, ImageWindow& window) {
    const QSize area = frame.mdiArea().viewport()->size();
    QMdiSubWindow* subWindow = frame.subWindowOf(&window);
    if (!subWindow || subWindow->isMaximized()) return area;
    const QMargins border = subWindow->contentsMargins();
    const QSize reach(area.width() - subWindow->x() - border.left() - border.right(),
                      area.height() - subWindow->y() - border.top() - border.bottom());
    return window.maximumViewportSize().boundedTo(reach).expandedTo(QSize(1, 1));
}

}  // namespace

int WindowFitZoom(FrameWindow& frame, ImageWindow& window) {
    return window.image() ? FitZoom(PictureSize(window), VisibleRoom(frame, window)) : window.zoom();
}

void FitToWindowCommand(FrameWindow& frame, const CommandInfo&) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image()) return;
    window->setZoom(WindowFitZoom(frame, *window));
    window->setScrollPosition({0, 0});
}

void FitOpenedWindow(FrameWindow& frame, ImageWindow& window) {
    QMdiSubWindow* subWindow = frame.subWindowOf(&window);
    if (!subWindow || window.shownSize().isEmpty() || SettingInt("OpenFitted") == 0) return;
    const int zoom = OpeningZoom(PictureSize(window), VisibleRoom(frame, window));
    if (zoom == window.zoom()) return;
    window.setZoom(zoom);
    // A cascaded window is as large as its picture: the windows take the fitted picture's size.
    if (!subWindow->isMaximized()) frame.customCascade();
}

void FitSteppedWindow(FrameWindow& frame, ImageWindow& window) {
    if (!window.image() || SettingInt("OpenFitted") == 0) return;
    window.setZoom(OpeningZoom(PictureSize(window), VisibleRoom(frame, window)));
}
