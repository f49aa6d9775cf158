// Copy and Paste: the active image goes to the clipboard (ClipboardImageData), and a picture on the
// clipboard, as a DIB or BMP file ("image/bmp") or else as any image Qt reads, opens in a new
// untitled window.
#pragma once

#include <QByteArray>

#include "core/image.h"
#include "viewer/commands/command_table.h"

class QImage;
class QMimeData;

void CopyImage(FrameWindow& frame, const CommandInfo& command);
void PasteImage(FrameWindow& frame, const CommandInfo& command);

// The picture the clipboard data holds, or none after telling the user why ("Can't get DIB from
// Clipboard", "DIBToIMG Error", ...).
ImagePtr ImageFromClipboard(const QMimeData& data);

// A packed DIB of a picture made by another program: 1 bit per pixel for a depth of 1, 8 bits for
// depths up to 8 (with the picture's colour table), 24 bits (blue, green, red) above, so 16- and
// 32-bit pictures give RGB.
QByteArray BitmapToDib(const QImage& bitmap);
