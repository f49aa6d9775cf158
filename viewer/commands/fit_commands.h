// Fitting pictures to their windows: the Fit to Window command, and the zoom a picture opens at
// when the profile's "OpenFitted" asks for pictures larger than their window to open whole.
#pragma once

#include "viewer/commands/command_table.h"

class ImageWindow;

void FitToWindowCommand(FrameWindow& frame, const CommandInfo& command);

// The zoom that shows the window's whole picture where the user sees it: in its viewport, and
// within the frame's image area (a cascaded window as large as a big picture reaches past it).
int WindowFitZoom(FrameWindow& frame, ImageWindow& window);

// For a window just opened from a file (maximised, or cascaded among others): with "OpenFitted"
// set, a picture larger than the room the window has shows whole, a smaller one stays at 100 %.
void FitOpenedWindow(FrameWindow& frame, ImageWindow& window);
// For a window that shows a new picture in place (the next one of its folder): the same rule
// within the window as it is. Without "OpenFitted" the zoom stays.
void FitSteppedWindow(FrameWindow& frame, ImageWindow& window);
