#include "viewer/windows/zoom_steps.h"

#include <algorithm>
#include <iterator>

#include "viewer/windows/image_window.h"

int ZoomStepUp(int zoom) {
    const auto next = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom);
    return next == std::end(kZoomSteps) ? zoom : *next;
}

int ZoomStepDown(int zoom) {
    const auto next = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom);
    return next == std::begin(kZoomSteps) ? zoom : *std::prev(next);
}

int FitZoom(QSize picture, QSize room) {
    if (picture.isEmpty() || room.isEmpty()) return 100;
    // The largest zooms at which width x zoom / 100 is no more than the room's width, and the
    // same for the heights.
    const long long across = 100LL * room.width() / picture.width();
    const long long down = 100LL * room.height() / picture.height();
    return static_cast<int>(std::clamp<long long>(std::min(across, down), ImageWindow::kMinZoom, ImageWindow::kMaxZoom));
}

int OpeningZoom(QSize picture, QSize room) {
    if (picture.width() <= room.width() && picture.height() <= room.height()) return 100;
    return std::min(100, FitZoom(picture, room));
}
