// The File and Edit commands on files and on the active image: Open, Save, Save as, Revert,
// Close all, the six conversions, Rescale, Scan and About.
#pragma once

#include "viewer/commands/command_table.h"

class ImageWindow;

void OpenImages(FrameWindow& frame, const CommandInfo& command);
void SaveImage(FrameWindow& frame, const CommandInfo& command);
void SaveImageAs(FrameWindow& frame, const CommandInfo& command);
void RevertImage(FrameWindow& frame, const CommandInfo& command);
void CloseAllWindows(FrameWindow& frame, const CommandInfo& command);
// The conversion to the kind of the command's row.
void ConvertImage(FrameWindow& frame, const CommandInfo& command);
void RescaleImage(FrameWindow& frame, const CommandInfo& command);
void ShowScanInfo(FrameWindow& frame, const CommandInfo& command);
void ShowAbout(FrameWindow& frame, const CommandInfo& command);

// Saves a window as Save does, for the save question of a closing window (under the recovery
// point: a library error keeps the window and its changes). True when the image was saved.
bool SaveWindowBeforeClosing(FrameWindow& frame, ImageWindow& window);
