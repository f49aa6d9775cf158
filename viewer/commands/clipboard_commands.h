// Copy and Paste: the active image goes to the clipboard (ClipboardImageData), and a picture on the
// clipboard, as a DIB or BMP file ("image/bmp") or else as any image Qt reads, opens in a new
// untitled window.
#pragma once

#include "viewer/commands/command_table.h"

void CopyImage(FrameWindow& frame, const CommandInfo& command);
void PasteImage(FrameWindow& frame, const CommandInfo& command);
