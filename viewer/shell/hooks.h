// The viewer's library hooks: errors in a message box, warnings on the status line, progress as
// the status line's bar, a loader's status text on the status line; and the Qt message box that
// replaces the platform's.
#pragma once

#include "core/messages.h"
#include "platform/message_box.h"
#include "platform/status_text.h"

class StatusStrip;

// Installs the hooks for the life of the object, sets "showprogress" to 1, and puts back what was
// there before when it ends. Messages go through the platform message box (ShowMessageBox).
class ViewerHooks {
public:
    ViewerHooks();
    ~ViewerHooks();
    ViewerHooks(const ViewerHooks&) = delete;
    ViewerHooks& operator=(const ViewerHooks&) = delete;

    // Where warnings and progress go once the frame exists (null before it exists and after it is gone).
    static void setStatusStrip(StatusStrip* strip);

private:
    LumoHook previousError_;
    LumoHook previousWarning_;
    LumoProgressHook previousProgress_;
    StatusTextFunction previousStatusText_;
    int previousShowProgress_;
};

// The platform message box as a modal Qt message box without owner (the program installs it at start).
void ShowQtMessageBox(const char* caption, const char* text, MessageIcon icon);
