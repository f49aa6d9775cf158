// The Help menu's index and the help-mode item on the menu bar.
#pragma once

#include "viewer/commands/command_table.h"

void ShowHelpIndex(FrameWindow& frame, const CommandInfo& command);
// Shows the help-mode prompt; the next command opens its help topic instead of running.
void EnterHelpMode(FrameWindow& frame, const CommandInfo& command);
