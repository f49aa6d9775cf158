// The Edit menu's quarter turns and mirror images of the active image.
#pragma once

#include "viewer/commands/command_table.h"

// Turns or mirrors the image as the command's row says; the image is then modified.
void TurnImage(FrameWindow& frame, const CommandInfo& command);
