// The pictures of the toolbar buttons and the program's icon, drawn by our own code.
#pragma once

#include <QIcon>
#include <QImage>

// The 20 x 17 button frame, raised or pressed.
QImage ButtonFrameImage(bool pressed);
// The 16 x 14 glyphs of the Open, Save and Print buttons (transparent background).
QImage OpenGlyph();
QImage SaveGlyph();
QImage PrintGlyph();
// The program's icon (a framed landscape), also used by the sign-on box.
QIcon LumoIcon();
