#include "install/icons.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>

namespace {

// An image of size x size, painted on a 16-unit grid.
template <typename Paint>
QImage PaintIcon(int size, Paint paint) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    paint(painter);
    return image;
}

}  // namespace

QImage PaintViewerIcon(int size) {
    // A framed landscape: sky, sun and hills.
    return PaintIcon(size, [](QPainter& painter) {
        const QRectF frame(1, 2, 14, 12);
        painter.fillRect(frame, QColor(96, 160, 255));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 220, 0));
        painter.drawEllipse(QPointF(10.5, 5.5), 1.8, 1.8);
        painter.setBrush(QColor(40, 150, 60));
        const QPointF hills[] = {{1, 14}, {1, 11}, {5, 7}, {9, 11}, {11, 9.5}, {15, 13}, {15, 14}};
        painter.drawPolygon(hills, 7);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(frame);
    });
}

QImage PaintHelpIcon(int size) {
    // A closed blue book with a white question mark on its cover.
    return PaintIcon(size, [](QPainter& painter) {
        painter.setPen(QPen(Qt::black, 0.8));
        painter.setBrush(QColor(240, 240, 230));
        painter.drawRect(QRectF(3.5, 2, 10.5, 13));
        painter.setBrush(QColor(30, 70, 170));
        painter.drawRect(QRectF(2, 1, 10.5, 13));
        QPainterPath mark;
        mark.moveTo(5.2, 5.2);
        mark.cubicTo(5.2, 2.6, 9.6, 2.6, 9.6, 5.2);
        mark.cubicTo(9.6, 7, 7.3, 7, 7.3, 9.2);
        painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(mark);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(7.3, 11.6), 0.95, 0.95);
    });
}

QImage PaintInstallerIcon(int size) {
    // An open box with an arrow going into it.
    return PaintIcon(size, [](QPainter& painter) {
        painter.setPen(QPen(Qt::black, 0.8));
        painter.setBrush(QColor(200, 150, 80));
        painter.drawRect(QRectF(2, 8, 12, 7));
        const QPointF leftFlap[] = {{2, 8}, {0.5, 5.5}, {5, 5.5}, {6, 8}};
        const QPointF rightFlap[] = {{14, 8}, {15.5, 5.5}, {11, 5.5}, {10, 8}};
        painter.drawPolygon(leftFlap, 4);
        painter.drawPolygon(rightFlap, 4);
        painter.setBrush(QColor(0, 90, 200));
        const QPointF arrow[] = {{6.8, 0.5}, {9.2, 0.5}, {9.2, 5}, {11, 5}, {8, 9}, {5, 5}, {6.8, 5}};
        painter.drawPolygon(arrow, 7);
    });
}

std::string PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}
