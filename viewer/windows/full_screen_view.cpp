#include "viewer/windows/full_screen_view.h"

#include <QPainter>

#include "viewer/windows/dib_view.h"

QRect FitToScreen(QSize imageSize, QSize screenSize) {
    const long W = imageSize.width(), H = imageSize.height(), SW = screenSize.width(), SH = screenSize.height();
    if (W <= 0 || H <= 0) return {};
    long w = W, h = H;
    if (SW < W) {
        w = SW;
        h = SW * H / W;
    }
    if (SH < h) {
        w = W * SH / H;
        h = SH;
    }
    return QRect(static_cast<int>((SW - w) / 2), static_cast<int>((SH - h) / 2), static_cast<int>(w),
                 static_cast<int>(h));
}

FullScreenView::FullScreenView(const IMG& picture, QSize imageSize, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), picture_(picture), imageSize_(imageSize) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowModality(Qt::ApplicationModal);
    setCursor(Qt::BlankCursor);
}

QRect FullScreenView::pictureRect() const { return FitToScreen(imageSize_, size()); }

void FullScreenView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect target = pictureRect();
    if (target != rect()) painter.fillRect(rect(), Qt::black);
    DrawImage(painter, picture_, target);
}

void FullScreenView::keyPressEvent(QKeyEvent*) { close(); }

void FullScreenView::mouseReleaseEvent(QMouseEvent*) { close(); }
