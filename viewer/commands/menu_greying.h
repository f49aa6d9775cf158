// Which menu items are offered for the state of the active image window and the clipboard.
#pragma once

#include "viewer/shell/frame_window.h"

// False when the item of the command is greyed: the commands on the active image need one (and save
// and revert a modified one), a conversion is greyed when the image already has its kind, the zoom item
// of the current zoom is greyed, and Paste needs an image on the clipboard.
bool CommandAllowed(int id, const ActiveImageState& state, bool clipboardHasImage);

// The kind a conversion command produces, or nothing for other commands.
std::optional<ImageKind> ConversionTarget(int id);

// True when the clipboard holds a picture: any image Qt decodes, or a device-independent bitmap ("image/bmp").
bool ClipboardHoldsImage();
