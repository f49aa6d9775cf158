// Where the setup program's words go: the dialog's status line and message boxes, or standard
// error when it runs without a window.
#pragma once

#include <string>

enum class MessageKind {
    Notice,       // caption "Info", no icon, owned by the dialog
    Information,  // caption "Info", information icon
    Error,        // caption "Error", error icon
};

class InstallerOutput {
public:
    virtual ~InstallerOutput() = default;
    // The dialog's status line.
    virtual void status(const std::string& text) = 0;
    // A message box; returns when the user has closed it.
    virtual void message(MessageKind kind, const std::string& text) = 0;
};
