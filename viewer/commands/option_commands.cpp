#include "viewer/commands/option_commands.h"

#include "viewer/commands/command_surface.h"
#include "viewer/dialogs/option_dialogs.h"
#include "viewer/shell/frame_window.h"

void EditOptions(FrameWindow& frame, const CommandInfo& command) {
    RunOptionDialog(command.id, &frame, [&frame](int context) { frame.commandSurface().showHelp(context); });
}
