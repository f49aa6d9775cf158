// The message box the library and the format dispatch show. By default it prints
// "caption: text" on standard error; the viewer replaces it with a Qt message box.
#pragma once

#include <functional>

enum class MessageIcon { Information, Exclamation, Error };

using MessageBoxFunction = std::function<void(const char* caption, const char* text, MessageIcon icon)>;

// Installs a new message-box function and returns the previous one (an empty function restores the default).
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);
void ShowMessageBox(const char* caption, const char* text, MessageIcon icon);
