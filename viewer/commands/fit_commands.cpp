#include "viewer/commands/fit_commands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "jobs/settings.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/zoom_steps.h"

namespace {

QSize PictureSize(const ImageWindow& window) { return QSize(window.image()->width, window.image()->height); }

}  // namespace

void FitToWindowCommand(FrameWindow& frame, const CommandInfo&) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image()) return;
    window->setZoom(window->fitZoom());
    window->setScrollPosition({0, 0});
}

void FitOpenedWindow(FrameWindow& frame, ImageWindow& window) {
    QMdiSubWindow* subWindow = frame.subWindowOf(&window);
    if (!subWindow || !window.image() || SettingInt("OpenFitted") == 0) return;
    QSize room = frame.mdiArea().viewport()->size();
    if (!subWindow->isMaximized()) {
        // A cascaded window is as large as its picture: the room is what the area leaves right of
        // and below its place, less its title bar and borders.
        const QMargins border = subWindow->contentsMargins();
        room -= QSize(subWindow->x() + border.left() + border.right(), subWindow->y() + border.top() + border.bottom());
    }
    const int zoom = OpeningZoom(PictureSize(window), room);
    if (zoom == window.zoom()) return;
    window.setZoom(zoom);
    if (!subWindow->isMaximized()) frame.customCascade();  // the windows take the fitted picture's size
}

void FitSteppedWindow(ImageWindow& window) {
    if (!window.image() || SettingInt("OpenFitted") == 0) return;
    window.setZoom(OpeningZoom(PictureSize(window), window.maximumViewportSize()));
}
