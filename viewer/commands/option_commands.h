// The Options menu: each item runs its option dialog.
#pragma once

#include "viewer/commands/command_table.h"

void EditOptions(FrameWindow& frame, const CommandInfo& command);
