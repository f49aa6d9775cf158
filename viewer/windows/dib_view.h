// Painting straight from an IMG's rows: a QImage over the stored rows (no copy of the pixels) with
// the colour table of the image's kind, drawn through a painter transform that turns the
// bottom-up rows the right way up. Qt has no 4-bit format, so 4-bit rows are widened to 8 bits
// for the drawn rectangle only.
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>

#include "core/image.h"

class QPainter;

// The colours the pixel values stand for: BW black and white, gray ramps of 16 or 256 levels,
// the palette of colour images; empty for RGB.
QList<QRgb> ColorTableFor(const IMG& image);

class DibView {
public:
    // The image must outlive the view and keep its rows where they are.
    explicit DibView(const IMG& image);

    const IMG& image() const { return *image_; }
    const QList<QRgb>& colorTable() const { return colors_; }
    // The QImage over the stored rows (null for 4-bit images); row 0 is the bottom row of the picture.
    const QImage& rows() const { return rows_; }

    // Draws the source rectangle, given in stored coordinates (x to the right, y = stored row, so
    // y = 0 is the bottom row of the picture), at those same coordinates through the painter's
    // transform. The caller's transform decides zoom, scroll position and the vertical flip.
    void draw(QPainter& painter, const QRect& source) const;

private:
    QImage widenedRows(const QRect& source) const;

    const IMG* image_;
    QList<QRgb> colors_;
    QImage rows_;
};

// Draws the whole image, the right way up, into target (full-screen view, printing, clipboard).
void DrawImage(QPainter& painter, const IMG& image, const QRectF& target);
