#include "viewer/shell/toolbar_glyphs.h"

#include <QPainter>
#include <QPixmap>

#include "viewer/shell/viewer_colors.h"

namespace {

// A picture from rows of letters: '.' transparent, K black, W white, G light grey, D dark grey,
// Y yellow, O olive, B blue.
QImage FromLetters(const char* const* rows, int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            QColor color(Qt::transparent);
            switch (rows[y][x]) {
                case 'K': color = Qt::black; break;
                case 'W': color = Qt::white; break;
                case 'G': color = kLightGrey; break;
                case 'D': color = kDarkGrey; break;
                case 'Y': color = QColor(255, 255, 0); break;
                case 'O': color = QColor(128, 128, 0); break;
                case 'B': color = QColor(0, 0, 128); break;
                default: break;
            }
            image.setPixelColor(x, y, color);
        }
    return image;
}

}  // namespace

QImage ButtonFrameImage(bool pressed) {
    QImage image(20, 17, QImage::Format_ARGB32);
    image.fill(kLightGrey);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 19, 16);
    // Light from the top left: a raised button has a white top and left edge and a dark shadow;
    // a pressed one has the shadow at the top and left only.
    painter.setPen(pressed ? kDarkGrey : QColor(Qt::white));
    painter.drawLine(1, 1, 18, 1);
    painter.drawLine(1, 1, 1, 15);
    if (!pressed) {
        painter.setPen(kDarkGrey);
        painter.drawLine(1, 15, 18, 15);
        painter.drawLine(18, 1, 18, 15);
    }
    return image;
}

QImage OpenGlyph() {
    static const char* const rows[14] = {
        "................", "................", ".KKKK...........", "KYWYWK..........",
        "KWYWYKKKKKKK....", "KYWYWYWYWYWK....", "KWYWYWYWYWYK....", "KYWYKKKKKKKKKKK.",
        "KWYKOOOOOOOOOOK.", "KYKOOOOOOOOOOK..", "KWKOOOOOOOOOOK..", "KKOOOOOOOOOOK...",
        "KKKKKKKKKKKKK...", "................",
    };
    return FromLetters(rows, 16, 14);
}

QImage SaveGlyph() {
    static const char* const rows[14] = {
        "KKKKKKKKKKKKKK..", "KBKWWWWWWWWKBK..", "KBKWWWWWWWWKBK..", "KBKWWWWWWWWKBK..",
        "KBKWWWWWWWWKBK..", "KBBKKKKKKKKBBK..", "KBBBBBBBBBBBBK..", "KBBKKKKKKKKBBK..",
        "KBBKGGKKGGGKBK..", "KBBKGGKKGGGKBK..", "KBBKGGKKGGGKBK..", ".KBKKKKKKKKKBK..",
        "..KKKKKKKKKKKK..", "................",
    };
    return FromLetters(rows, 16, 14);
}

QImage PrintGlyph() {
    static const char* const rows[14] = {
        "....KKKKKKKK....", "....KWWWWWWK....", "....KWKKKKWK....", "....KWWWWWWK....",
        "..KKKKKKKKKKKK..", ".KGGGGGGGGGGGGK.", ".KGGGGGGGGGYYGK.", ".KGGGGGGGGGGGGK.",
        ".KDDDDDDDDDDDDK.", ".KGGKKKKKKKKGGK.", ".KKKKWWWWWWKKKK.", "....KWWWWWWK....",
        "....KKKKKKKK....", "................",
    };
    return FromLetters(rows, 16, 14);
}

QIcon LumoIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        const QRectF frame(unit, 2 * unit, 14 * unit, 12 * unit);
        painter.fillRect(frame, QColor(96, 160, 255));
        painter.setBrush(QColor(255, 220, 0));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(10.5 * unit, 5.5 * unit), 1.8 * unit, 1.8 * unit);
        painter.setBrush(QColor(40, 150, 60));
        const QPointF hill[] = {{unit, 14 * unit}, {unit, 11 * unit}, {5 * unit, 7 * unit},
                                {9 * unit, 11 * unit}, {11 * unit, 9.5 * unit}, {15 * unit, 13 * unit},
                                {15 * unit, 14 * unit}};
        painter.drawPolygon(hill, 7);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, unit));
        painter.drawRect(frame);
        icon.addPixmap(pixmap);
    }
    return icon;
}
