// lumo convert: one file to one file, or many files into a folder under a new extension.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/transform.h"

struct ConvertRequest {
    std::vector<std::string> inputs;
    std::string output;                 // a file, or the folder of a batch
    std::optional<std::string> format;  // the batch's extension (a batch without one writes "jpg")
    int jobs = 1;
    bool keepGoing = false;
    ImageTransform transform;
};

// Converts and yields the exit status: 0 all converted, 1 any failed, 2 unusable request.
int RunConvert(const ConvertRequest& request);
