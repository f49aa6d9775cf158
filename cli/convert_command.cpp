#include "cli/convert_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "cli/terminal.h"
#include "cli/workers.h"
#include "core/messages.h"
#include "formats/dispatch.h"

namespace {

struct Job {
    std::string input;
    std::string target;
};

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The batch converter's naming: the folder, the input's base name, the new extension.
std::string BatchTarget(const std::string& folder, const std::string& input, const std::string& extension) {
    std::string target = folder;
    if (!target.empty() && target.back() != '/') target += '/';
    return target + SplitFileName(input).baseName + "." + extension;
}

bool ConvertOne(const Job& job, const ImageTransform& transform) {
    try {
        ImagePtr image = LoadImageByExtension(job.input.c_str());
        if (!image) return false;  // the dispatch has named the unknown extension
        image = ApplyTransform(std::move(image), transform);
        return SaveImageByExtension(image.get(), job.target.c_str());
    } catch (const LumoFailure& failure) {
        ReportFileError(job.input, std::string(failure.text()) + " (module " + failure.module() + ")");
        return false;
    } catch (const std::bad_alloc&) {
        ReportFileError(job.input, "out of memory");
        return false;
    }
}

}  // namespace

int RunConvert(const ConvertRequest& request) {
    const bool batch = request.format || request.inputs.size() > 1 || IsDirectory(request.output);
    std::vector<Job> jobs;
    if (batch) {
        std::error_code error;
        std::filesystem::create_directories(request.output, error);
        if (!IsDirectory(request.output)) {
            std::fprintf(stderr, "lumo: %s is not a folder\n", request.output.c_str());
            return 2;
        }
        for (const std::string& input : request.inputs)
            jobs.push_back({input, BatchTarget(request.output, input, request.format.value_or("jpg"))});
    } else {
        jobs.push_back({request.inputs.front(), request.output});
    }

    const WorkerPlan plan{jobs.size(), request.jobs, !request.keepGoing};
    const std::vector<TaskStatus> statuses = RunTasks(
        plan,
        [&](size_t i) {
            SetCurrentFile(jobs[i].input, i, jobs.size());
            return ConvertOne(jobs[i], request.transform);
        },
        [&](size_t done) {
            if (request.jobs > 1) ShowBatchProgress(done, jobs.size());
        });
    ClearProgressLine();

    int status = 0;
    for (size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i] == TaskStatus::Running) ReportFileError(jobs[i].input, "the conversion crashed");
        if (statuses[i] != TaskStatus::Succeeded) status = 1;
    }
    return status;
}
