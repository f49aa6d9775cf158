// The icons the setup program paints: the viewer's and the help's for the menu entries, and its own
// for the dialog. Shapes only, no text, so they paint without a display.
#pragma once

#include <QImage>
#include <string>

QImage PaintViewerIcon(int size);
QImage PaintHelpIcon(int size);
QImage PaintInstallerIcon(int size);
std::string PngBytes(const QImage& image);
