// The File menu's two batch commands: "Build a &Mosaic File" (contact sheets of the chosen files,
// then the offer to open them) and "Convert Files (&Batch)". The dialogs choose the files; the jobs
// do the work and report per file on the status line; the commands tell the user how the run went.
#pragma once

#include "viewer/commands/command_table.h"

void BuildMosaicFiles(FrameWindow& frame, const CommandInfo& command);
void ConvertFilesInBatch(FrameWindow& frame, const CommandInfo& command);
