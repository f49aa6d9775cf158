// Stepping through a folder in the active image window: the next or previous picture in name
// order, around the end of the folder, past files that fail to load.
#pragma once

#include "viewer/commands/command_table.h"

void ShowNextImage(FrameWindow& frame, const CommandInfo& command);
void ShowPreviousImage(FrameWindow& frame, const CommandInfo& command);
