// lumo convert: one file to one file, or many files into a folder under a new extension; "-" reads
// standard input or writes standard output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/transform.h"

struct ConvertRequest {
    std::vector<std::string> inputs;    // "-": standard input (the only input then)
    std::string output;                 // a file, the folder of a batch, or "-" (standard output, needs format)
    std::optional<std::string> format;  // the batch's extension, "bmp" or ".bmp" (a batch without one writes "jpg")
    int jobs = 1;
    bool keepGoing = false;
    ImageTransform transform;
};

// Converts and yields the exit status: 0 all converted, 1 any failed, 2 unusable request (then
// nothing was written). A batch ends with "N converted, M failed" on standard error.
int RunConvert(ConvertRequest request);
