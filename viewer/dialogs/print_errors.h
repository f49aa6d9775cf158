// The error reports of printing: the print dialog's failure codes (box "Common Dialog Error") and
// the print service's job codes (box "Error", texts in French as users know them).
#pragma once

// Failure codes of the print dialog, 0 when the user simply closed it.
constexpr unsigned kDialogFailure = 0xFFFF;
constexpr unsigned kPrinterNotFound = 0x100B;  // the chosen printer cannot be opened

// Job codes of a page that did not end well.
constexpr int kSpoolGeneralError = -1;
constexpr int kSpoolAppAbort = -2;   // the program's own Cancel: nothing to report
constexpr int kSpoolUserAbort = -3;  // the job was stopped in the print service
constexpr int kSpoolOutOfDisk = -4;
constexpr int kSpoolOutOfMemory = -5;

const char* CommonDialogErrorText(unsigned code);
// The text for a job code, or null for the program's own abort.
const char* SpoolerErrorText(int code);

void ReportCommonDialogError(unsigned code);
void ReportSpoolerError(int code);
