// Arrangements of the image windows in the frame's MDI area that Qt does not offer as such.
#pragma once

#include <QList>
#include <QSize>
#include <functional>

class QMdiArea;
class QMdiSubWindow;

// The diagonal offsets (x = y) of the cascade for windowCount windows, topmost first: the
// topmost lies furthest down and right, each other one caption height up and left of the one
// above it, wrapping to the bottom of the staircase after n steps, where n is the number of
// captions the area's height holds (minus one above five, at least one).
QList<int> CascadeOffsets(int windowCount, int areaHeight, int captionHeight);

// Cascades the windows that are not minimised: each is restored, sized to show its picture whole
// (clientSize gives the picture's size at its zoom) and placed on the staircase. Z order is kept.
void CascadeImageWindows(QMdiArea& area, const std::function<QSize(QMdiSubWindow*)>& clientSize);

// Lines up the minimised windows along the bottom of the area, left to right.
void ArrangeIcons(QMdiArea& area);
