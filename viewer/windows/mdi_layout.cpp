#include "viewer/windows/mdi_layout.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <algorithm>

QList<int> CascadeOffsets(int windowCount, int areaHeight, int captionHeight) {
    QList<int> offsets;
    if (windowCount <= 0 || captionHeight <= 0) return offsets;
    int steps = areaHeight / captionHeight;
    if (steps < 1)
        steps = 1;
    else if (steps > 5)
        steps -= 1;
    int offset = ((windowCount - 1) % steps) * captionHeight;
    for (int i = 0; i < windowCount; ++i) {
        offsets.append(offset);
        if (offset == 0) offset = steps * captionHeight;
        offset -= captionHeight;
    }
    return offsets;
}

namespace {

// The sub-windows in Z order, topmost first.
QList<QMdiSubWindow*> TopmostFirst(const QMdiArea& area) {
    QList<QMdiSubWindow*> windows = area.subWindowList(QMdiArea::StackingOrder);
    std::reverse(windows.begin(), windows.end());
    return windows;
}

int CaptionHeight(const QMdiArea& area) {
    return std::max(1, area.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &area));
}

}  // namespace

void CascadeImageWindows(QMdiArea& area, const std::function<QSize(QMdiSubWindow*)>& clientSize) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : TopmostFirst(area))
        if (!window->isMinimized()) windows.append(window);
    const int caption = CaptionHeight(area);
    const QList<int> offsets = CascadeOffsets(static_cast<int>(windows.size()), area.viewport()->height(), caption);
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* window = windows[i];
        if (window->isMaximized()) window->showNormal();
        // The frame around the picture: title bar and borders of the sub-window.
        const QMargins frame = window->contentsMargins();
        const QSize picture = clientSize(window);
        window->setGeometry(offsets[i], offsets[i], picture.width() + frame.left() + frame.right(),
                            picture.height() + frame.top() + frame.bottom());
    }
}

void ArrangeIcons(QMdiArea& area) {
    int x = 0;
    const int bottom = area.viewport()->height();
    for (QMdiSubWindow* window : area.subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized()) continue;
        window->move(x, bottom - window->height());
        x += window->width();
    }
}
