// The record of a batch run: one JSON object per line and file, appended as each file ends, so that a
// run killed at any moment can be resumed. Names are written as they are: valid UTF-8 stays as it is,
// other bytes and control characters become \u00XX, which the reader turns back into those bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

struct RunLogEntry {
    std::string input, output;
    std::string status;  // "done" or "failed"
    std::string reason;  // why it failed; empty when done
    uint64_t inputBytes = 0, outputBytes = 0;
    uint64_t milliseconds = 0;
};

// {"input":"a.jpg","output":"out/a.png","status":"done","reason":"","input_bytes":1,"output_bytes":2,"ms":3}
std::string FormatRunLogLine(const RunLogEntry& entry);
// The entry of a line FormatRunLogLine wrote; nothing for anything else (a line cut off by a kill).
std::optional<RunLogEntry> ParseRunLogLine(const std::string& line);

// The log file, opened for appending: every line goes out in one write, so lines of worker processes
// sharing it never mix, and a line is on its way to the disk when the file's work is reported done.
class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens (creating) path; a last line left unfinished by a killed run is ended first. False with
    // errno set when it cannot be opened.
    bool open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    // Appends the entry's line; false when the write failed.
    bool append(const RunLogEntry& entry);

private:
    int fd_ = -1;
};

// What a resumed run may skip: for each input whose last line in the log says done, its output and
// the output's size then. A log that does not exist gives an empty table; unreadable lines are passed over.
struct DoneFile {
    std::string output;
    uint64_t outputBytes = 0;
};
std::unordered_map<std::string, DoneFile> ReadDoneFiles(const std::string& logPath);
