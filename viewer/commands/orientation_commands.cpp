#include "viewer/commands/orientation_commands.h"

#include "core/orientation.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/fit_commands.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/wait_cursor.h"

namespace {

std::optional<Orientation> StepOf(int id) {
    switch (id) {
        case command::RotateLeft: return Orientation::RotateLeft;
        case command::RotateRight: return Orientation::RotateRight;
        case command::FlipHorizontal: return Orientation::FlipHorizontal;
        case command::FlipVertical: return Orientation::FlipVertical;
        default: return std::nullopt;
    }
}

}  // namespace

void TurnImage(FrameWindow& frame, const CommandInfo& command) {
    ImageWindow* window = frame.activeImageWindow();
    const std::optional<Orientation> step = StepOf(command.id);
    if (!window || !window->image() || !step) return;
    // A picture shown whole stays whole when its sides swap.
    const bool fitted = window->zoom() == WindowFitZoom(frame, *window);
    WaitCursor wait;
    window->setTurnedImage(LumoOrientImage(window->image(), *step), *step);
    if (fitted) window->setZoom(WindowFitZoom(frame, *window));
    window->setScrollPosition({0, 0});
    window->setModified(true);
}
