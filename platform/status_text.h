// The text of the frame's status line, for the few library operations that write it themselves
// (the Photo CD overview sheet names the thumbnail it is loading). By default nothing is shown;
// the front ends install their own function.
#pragma once

#include <functional>

using StatusTextFunction = std::function<void(const char* text)>;

// Installs a new function and returns the previous one (an empty function restores the default).
StatusTextFunction SetStatusTextFunction(StatusTextFunction function);
void ShowStatusText(const char* text);
