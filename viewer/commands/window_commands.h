// The commands on the frame and its windows: close, zoom, full screen, toolbar, window arrangement, quit.
#pragma once

#include "viewer/commands/command_table.h"

void CloseActiveWindow(FrameWindow& frame, const CommandInfo& command);
void QuitViewer(FrameWindow& frame, const CommandInfo& command);
// The zoom of the command's row.
void ZoomImage(FrameWindow& frame, const CommandInfo& command);
void ShowFullScreen(FrameWindow& frame, const CommandInfo& command);
void ToggleToolbar(FrameWindow& frame, const CommandInfo& command);
void TileWindows(FrameWindow& frame, const CommandInfo& command);
void CascadeWindows(FrameWindow& frame, const CommandInfo& command);
void ArrangeWindowIcons(FrameWindow& frame, const CommandInfo& command);
