// File > Properties: the properties window of the active image window's picture.
#pragma once

#include "viewer/commands/command_table.h"

void ShowImageProperties(FrameWindow& frame, const CommandInfo& command);
