#include "viewer/windows/dib_view.h"

#include <QPainter>
#include <QTransform>

namespace {

QImage::Format WrappableFormat(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1: return QImage::Format_Mono;  // most significant bit first, as stored
        case 8: return QImage::Format_Indexed8;
        case 24: return QImage::Format_BGR888;  // stored blue, green, red
        default: return QImage::Format_Invalid;
    }
}

}  // namespace

QList<QRgb> ColorTableFor(const IMG& image) {
    QList<QRgb> colors;
    switch (KindOf(image)) {
        case ImageKind::BW: colors = {qRgb(0, 0, 0), qRgb(255, 255, 255)}; break;
        case ImageKind::GRAY16:
            for (int i = 0; i < 16; ++i) colors.append(qRgb(17 * i, 17 * i, 17 * i));
            break;
        case ImageKind::GRAY256:
            for (int i = 0; i < 256; ++i) colors.append(qRgb(i, i, i));
            break;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: {
            const int count = image.bitsPerPixel == 4 ? 16 : 256;
            for (int i = 0; i < count; ++i) {
                const uint8_t* entry = image.palette ? image.palette + 3 * i : nullptr;
                colors.append(entry ? qRgb(entry[0], entry[1], entry[2]) : qRgb(0, 0, 0));
            }
            break;
        }
        case ImageKind::RGB: break;
    }
    return colors;
}

DibView::DibView(const IMG& image) : image_(&image), colors_(ColorTableFor(image)) {
    const QImage::Format format = WrappableFormat(image.bitsPerPixel);
    if (format == QImage::Format_Invalid || !image.bits || image.width == 0 || image.height == 0) return;
    rows_ = QImage(image.bits, image.width, image.height, image.rowBytes, format);
    if (!colors_.isEmpty()) rows_.setColorTable(colors_);
}

QImage DibView::widenedRows(const QRect& source) const {
    QImage wide(source.size(), QImage::Format_Indexed8);
    wide.setColorTable(colors_);
    for (int y = 0; y < source.height(); ++y) {
        const uint8_t* in = MemoryRow(*image_, source.top() + y);
        uint8_t* out = wide.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const int column = source.left() + x;
            const uint8_t pair = in[column >> 1];
            out[x] = (column & 1) ? (pair & 0x0F) : (pair >> 4);
        }
    }
    return wide;
}

void DibView::draw(QPainter& painter, const QRect& source) const {
    const QRect clipped = source & QRect(0, 0, image_->width, image_->height);
    if (clipped.isEmpty() || !image_->bits) return;
    if (!rows_.isNull())
        painter.drawImage(QRectF(clipped), rows_, QRectF(clipped));
    else if (image_->bitsPerPixel == 4)
        painter.drawImage(QRectF(clipped), widenedRows(clipped));
}

void DrawImage(QPainter& painter, const IMG& image, const QRectF& target) {
    if (image.width == 0 || image.height == 0 || target.isEmpty()) return;
    const DibView view(image);
    painter.save();
    // Stored row y lands at target.bottom - y * scale: the picture's top row at the top.
    painter.setTransform(QTransform(target.width() / image.width, 0, 0, -target.height() / image.height,
                                    target.left(), target.top() + target.height()),
                         true);
    view.draw(painter, QRect(0, 0, image.width, image.height));
    painter.restore();
}
