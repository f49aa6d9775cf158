// lumo convert: one file to one file, or many files into a folder under a new extension; "-" reads
// standard input or writes standard output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/batch_inputs.h"
#include "jobs/transform.h"

struct ConvertRequest {
    std::vector<std::string> inputs;    // "-": standard input (the only input then)
    std::string output;                 // a file, the folder of a batch, or "-" (standard output, needs format)
    std::optional<std::string> format;  // the batch's extension, "bmp" or ".bmp" (a batch without one writes "jpg")
    int jobs = 1;
    bool keepGoing = false;
    ImageTransform transform;
    BatchSource source;       // -r, --include/--exclude, --follow, --files-from, --shard (inputs added at the run)
    std::string logPath;      // --log: one JSON line per file
    std::string resumePath;   // --resume: the log of an earlier run, whose done files are skipped
    bool verify = false;      // --verify: lossless outputs loaded again and compared
    bool quiet = false;       // --quiet: no progress line, no summary
};

// A batch into the folder request.output (made when missing): files, the files below folders, a list.
int RunConvertBatch(const ConvertRequest& request);

// Converts and yields the exit status: 0 all converted, 1 any failed, 2 unusable request (then
// nothing was written). A batch ends with "N converted, M failed" on standard error.
int RunConvert(ConvertRequest request);
