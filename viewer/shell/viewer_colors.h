// The few fixed colours of the frame's own drawing.
#pragma once

#include <QColor>

inline const QColor kLightGrey(192, 192, 192);      // toolbar and status strips, disabled buttons
inline const QColor kDarkGrey(128, 128, 128);       // button shadows
inline const QColor kProgressBlue(0x00, 0x00, 0xFF);  // the progress bar
