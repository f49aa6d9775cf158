// The eight option dialogs of the Options menu ("OPTIONJPEG", "OPTIONTIFF", "OPTIONPS",
// "OPTIONMISC", "OPTIONPCD", "OPTIONMOK", "OPTIONGIF", "OPTIONJBIG"): each shows the current
// values of its profile keys and writes them back on OK; Cancel writes nothing.
#pragma once

#include <functional>

class QWidget;

// Opens the help window at a context of the help file.
using HelpFunction = std::function<void(int context)>;

// Runs the modal dialog of an option command (command ids 450-457) owned by parent.
// True when OK wrote the keys, false for Cancel (or an id that is not an option command).
bool RunOptionDialog(int commandId, QWidget* parent, const HelpFunction& help);
