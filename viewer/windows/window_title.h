// The title an image window shows: its file's path when that fits the title bar, else the file
// name in full followed by its folder with the middle left out ("IMG_0042.jpg - ~/Pictures/…/Rome").
#pragma once

#include <QString>

class QFontMetrics;
class QMdiSubWindow;

// The text for path in width pixels of the font. Folders inside the home folder start with "~"
// when shortened. Where even the name and "~/…" do not fit, the name alone.
QString ShortenedTitle(const QString& path, const QFontMetrics& metrics, int width);

// Keeps the sub-window's title (and so the frame's, while it is maximised) fitted to its width
// from the full path that its image window holds as window title, whenever either changes.
void FitTitleToWindow(QMdiSubWindow* subWindow);
