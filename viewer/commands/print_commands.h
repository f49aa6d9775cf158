// Print (File menu, toolbar, Ctrl+Shift+F12): the print dialog, then the active image printed
// fitted to the page, one page per copy.
#pragma once

#include "viewer/commands/command_table.h"

class QPrinter;
class QWidget;

void PrintActiveImage(FrameWindow& frame, const CommandInfo& command);

// The print dialog on printer: printer and copies, no page range and no selection. True when the
// user chose a printer that can be used; closing the dialog is no failure and shows nothing.
bool ChoosePrinter(QWidget* owner, QPrinter& printer);
