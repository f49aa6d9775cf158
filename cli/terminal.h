// How the lumo command talks to its user: library reports on standard error naming the file
// being worked on, and a progress line when standard error is a terminal.
#pragma once

#include <string>

// Installs the command's hooks and message box; the progress line is shown only on a terminal.
void InstallTerminalReporting();
// The file that reports and the progress line refer to.
void SetCurrentFile(const std::string& fileName, size_t index, size_t count);
// Prints "lumo: FILE: message" on standard error (clearing the progress line first).
void ReportFileError(const std::string& fileName, const std::string& message);
// No progress line at all (lumo convert --quiet); messages still go out.
void SetQuiet(bool quiet);
// A batch of count files starts: the progress line then shows "[done/count] F failed, R files/s,
// M:SS left", with the current file's percentage when this process converts it.
void BeginBatchProgress(size_t count);
// Redraws that line with the files finished and failed so far.
void ShowBatchProgress(size_t done, size_t failed);
void EndBatchProgress();
// Shows a job's own status text ("Processing file a.jpg (1/60)") as the progress line.
void ShowStatusLine(const char* text);
void ClearProgressLine();
