#include "viewer/commands/properties_commands.h"

#include "viewer/dialogs/properties_dialog.h"
#include "viewer/shell/frame_window.h"

void ShowImageProperties(FrameWindow& frame, const CommandInfo&) {
    const ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image()) return;
    ShowPropertiesDialog(&frame, *window->image(), window->filePath(), window->windowTitle());
}
