#include "cli/convert_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "cli/terminal.h"
#include "cli/workers.h"
#include "core/messages.h"
#include "jobs/batch_convert.h"

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Runs one file's conversion and prints its failure with the file's name. False too for an unknown
// extension, which the dispatch has named.
bool ConvertReporting(size_t i, const std::string& file, const std::function<bool()>& convert) {
    bool written = false;
    const std::optional<FileFailure> failure = TryFileWork(i, file, [&] { written = convert(); });
    if (failure) ReportFileError(failure->file, FailureText(*failure));
    return written;
}

}  // namespace

int RunConvert(const ConvertRequest& request) {
    const bool batch = request.format || request.inputs.size() > 1 || IsDirectory(request.output);
    if (!batch) {
        const std::string& input = request.inputs.front();
        SetCurrentFile(input, 0, 1);
        const bool written =
            ConvertReporting(0, input, [&] { return ConvertFile(input, request.output, request.transform); });
        ClearProgressLine();
        return written ? 0 : 1;
    }
    std::error_code error;
    std::filesystem::create_directories(request.output, error);
    if (!IsDirectory(request.output)) {
        std::fprintf(stderr, "lumo: %s is not a folder\n", request.output.c_str());
        return 2;
    }
    BatchRequest batchRequest;
    batchRequest.files = request.inputs;
    batchRequest.destinationFolder = request.output;
    batchRequest.extension = request.format.value_or("jpg");
    batchRequest.transform = request.transform;
    batchRequest.keepGoing = request.keepGoing;

    const size_t count = batchRequest.files.size();
    const WorkerPlan plan{count, request.jobs, !request.keepGoing};
    const std::vector<TaskStatus> statuses = RunTasks(
        plan,
        [&](size_t i) {
            SetCurrentFile(batchRequest.files[i], i, count);
            return ConvertReporting(i, batchRequest.files[i], [&] { return ConvertBatchFile(batchRequest, i); });
        },
        [&](size_t done) {
            if (request.jobs > 1) ShowBatchProgress(done, count);
        });
    ClearProgressLine();

    int status = 0;
    for (size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i] == TaskStatus::Running) ReportFileError(batchRequest.files[i], "the conversion crashed");
        if (statuses[i] != TaskStatus::Succeeded) status = 1;
    }
    return status;
}
