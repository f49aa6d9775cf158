#include "viewer/commands/recovery.h"

#include "platform/message_box.h"

void ReportOutOfMemory() { ShowMessageBox("Error", "Lumo Error: Not enough memory", MessageIcon::Error); }
