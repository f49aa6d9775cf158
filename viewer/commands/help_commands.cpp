#include "viewer/commands/help_commands.h"

#include "viewer/commands/command_surface.h"
#include "viewer/shell/frame_window.h"

void ShowHelpIndex(FrameWindow& frame, const CommandInfo&) { frame.commandSurface().showHelp(0); }

void EnterHelpMode(FrameWindow& frame, const CommandInfo&) {
    frame.setStatusText(QString::fromLatin1(kHelpModePrompt));
    frame.commandSurface().enterHelpMode();
}
