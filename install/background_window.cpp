#include "install/background_window.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

constexpr const char* kTitle = "Lumo for Windows";

// The title's font for a cell height (ascent plus descent) of cellHeight pixels: a bold italic
// serif with the metrics of the classic Windows serif.
QFont TitleFont(int cellHeight) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Serif"), QStringLiteral("Times New Roman"), QStringLiteral("Tinos")});
    font.setStyleHint(QFont::Serif, QFont::PreferQuality);
    font.setWeight(QFont::DemiBold);
    font.setItalic(true);
    font.setPixelSize(qMax(1, cellHeight));
    // A pixel size is the em; the height asked for is the whole cell, which is larger.
    const qreal cell = QFontMetricsF(font).height();
    if (cell > 0) font.setPixelSize(qMax(1, qRound(cellHeight * cellHeight / cell)));
    return font;
}

}  // namespace

BackgroundWindow::BackgroundWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Install"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QString());
    resize(640, 480);
}

void BackgroundWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int width = this->width();
    const int bottom = height();
    // Band i is 1/(256 - i) of the height: thin light bands at the top, the last ones below the
    // window's edge.
    int top = 0;
    for (int i = 0; i < 256 && top < bottom; ++i) {
        const int bandHeight = bottom / (256 - i);
        painter.fillRect(0, top, width, bandHeight, QColor(0, 0, 255 - i));
        top += bandHeight;
    }

    const QFont font = TitleFont(bottom / 7);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(10, 10 + QFontMetricsF(font).ascent()), QString::fromLatin1(kTitle));
}

void BackgroundWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResize_) onResize_();
}
