// The full-screen view of an image window: the picture fitted to the screen on black, until a
// key is pressed or the mouse is clicked.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include "core/image.h"

// Where a picture of imageSize lands on a screen: shrunk to fit (keeping its proportions), never
// enlarged, centred.
QRect FitToScreen(QSize imageSize, QSize screenSize);

class FullScreenView : public QWidget {
    Q_OBJECT
public:
    // Draws picture (the window's display picture, for an image of imageSize); owner keeps the
    // picture alive and owns the view, which deletes itself when it closes.
    FullScreenView(const IMG& picture, QSize imageSize, QWidget* owner);
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const IMG& picture_;
    QSize imageSize_;
};
