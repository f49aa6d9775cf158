// What the batch jobs share: the call before each file, the file that stopped a run, and the run's
// handling of failures, status texts and the progress bar.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// Called before each file of a run, in file order: index from 0, count of files, the file as chosen.
// The front ends show their progress here (the viewer also lets its window repaint).
using FileStep = std::function<void(size_t index, size_t count, const std::string& file)>;

// A file whose work failed: the library's error (module and text) as its error hook received it.
struct FileFailure {
    size_t index = 0;    // position in the run's list of files
    std::string file;    // the file as chosen (for a sheet that could not be written: the sheet's file)
    std::string module;  // the module that reported ("LoadJpeg", "Mosaic", ...), empty when none
    std::string message;
};

// "message (module M)", or the message alone without a module.
std::string FailureText(const FileFailure& failure);
// "FILE: message (module M)", or "FILE: message" without a module.
std::string DescribeFailure(const FileFailure& failure);

// Runs one file's work; a LumoFailure (already reported through the error hook) or a failed
// allocation becomes the file's failure instead of ending the run unreported.
std::optional<FileFailure> TryFileWork(size_t index, const std::string& file, const std::function<void()>& work);

// Shows the status text of a run's file: the format takes the file name, its number (from 1) and the count.
void ShowFileStatus(const char* format, const std::string& file, size_t index, size_t count);

// Keeps the global option "showprogress" at 0 for its lifetime (a batch run shows no per-file bar)
// and then puts back the value it had.
class ProgressBarOff {
public:
    ProgressBarOff();
    ~ProgressBarOff();
    ProgressBarOff(const ProgressBarOff&) = delete;
    ProgressBarOff& operator=(const ProgressBarOff&) = delete;

private:
    int previous_;
};
