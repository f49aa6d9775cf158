// The zoom ladder of the zoom keys and the wheel, and the zoom that fits a picture into a window.
#pragma once

#include <QSize>

// The stops of the ladder, from the smallest to the largest zoom a window takes (10-1000 %).
inline constexpr int kZoomSteps[] = {10, 25, 33, 50, 67, 75, 100, 150, 200, 300, 400, 600, 800, 1000};

// The next stop above or below a zoom (which need not be a stop itself, after a fit or the numeric
// pad's steps of 10); the zoom itself at either end of the ladder.
int ZoomStepUp(int zoom);
int ZoomStepDown(int zoom);

// The largest whole percent at which the picture lies wholly within room, kept within 10-1000 %
// (so a picture that needs less than 10 % still does not fit). 100 for an empty picture or room.
int FitZoom(QSize picture, QSize room);
// The zoom a picture opens at when the user wants pictures fitted: fitted when it is larger than
// room in either direction, else 100 %.
int OpeningZoom(QSize picture, QSize room);
