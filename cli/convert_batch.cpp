// lumo convert's batches: the inputs gathered and sliced, the done ones of a resumed run skipped, the
// rest converted by the workers, each file's end written to the run's log as it happens.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/convert_command.h"
#include "cli/terminal.h"
#include "cli/workers.h"
#include "core/messages.h"
#include "jobs/batch_convert.h"
#include "jobs/run_log.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

uint64_t FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

bool SizeIs(const std::string& path, uint64_t bytes) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) == bytes;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "lumo: %s\n", text.c_str());
    return kUsageError;
}

// Makes the folders of a target below the output folder; a failure shows when the save opens the file.
void MakeParentFolders(const std::string& target) {
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    std::error_code ignored;
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
}

// The batch as it will run: what to convert, where to, and the files a resumed run skips.
struct BatchPlan {
    BatchRequest request;
    size_t doneBefore = 0;   // skipped: done in the log being resumed, output still as it was
    bool unreadable = false; // a folder could not be read (named already)
};

// Builds the plan, or yields the exit status of a request that cannot run.
std::optional<int> PlanBatch(const ConvertRequest& request, BatchPlan& plan) {
    BatchSource source = request.source;
    source.arguments = request.inputs;
    source.selection.skipFolder = request.output;
    const GatheredInputs gathered = GatherBatchInputs(source);
    if (!gathered.usageError.empty()) return UsageError(gathered.usageError);
    for (const std::string& folder : gathered.unreadable) ReportFileError(folder, "can't read this folder");
    plan.unreadable = !gathered.unreadable.empty();

    BatchRequest& batch = plan.request;
    batch.destinationFolder = request.output;
    batch.extension = request.format.value_or("jpg");
    batch.transform = request.transform;
    batch.keepGoing = request.keepGoing;
    batch.verify = request.verify;
    const bool mirrored = std::any_of(gathered.inputs.begin(), gathered.inputs.end(),
                                      [](const BatchInput& input) { return !input.relative.empty(); });
    for (const BatchInput& input : gathered.inputs) {
        batch.files.push_back(input.path);
        if (mirrored)
            batch.targets.push_back(input.relative.empty()
                                        ? BatchTargetName(request.output, input.path, batch.extension)
                                        : MirroredTarget(request.output, input.relative, batch.extension));
    }
    if (const auto shared = FindSharedTarget(batch))
        return UsageError(batch.files[shared->first] + " and " + batch.files[shared->second] +
                          " would both be written as " + BatchTarget(batch, shared->second) + ": nothing converted");

    if (!request.resumePath.empty()) {
        const auto done = ReadDoneFiles(request.resumePath);
        BatchRequest rest = batch;
        rest.files.clear();
        rest.targets.clear();
        for (size_t i = 0; i < batch.files.size(); ++i) {
            const std::string target = BatchTarget(batch, i);
            const auto found = done.find(batch.files[i]);
            if (found != done.end() && found->second.output == target && SizeIs(target, found->second.outputBytes)) {
                ++plan.doneBefore;
                continue;
            }
            rest.files.push_back(batch.files[i]);
            rest.targets.push_back(target);
        }
        batch = std::move(rest);
    }
    return std::nullopt;
}

// "N converted, M failed" (", K done before" for a resumed run), with --keep-going the failed files.
void PrintSummary(const BatchPlan& plan, const std::vector<TaskStatus>& statuses, bool keepGoing) {
    size_t converted = 0, failures = 0;
    std::string failed;
    for (size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i] == TaskStatus::Succeeded) ++converted;
        if (statuses[i] == TaskStatus::Failed || statuses[i] == TaskStatus::Running) {
            ++failures;
            failed += (failed.empty() ? "" : ", ") + plan.request.files[i];
        }
    }
    std::fprintf(stderr, "%zu converted, %zu failed", converted, failures);
    if (plan.doneBefore) std::fprintf(stderr, ", %zu done before", plan.doneBefore);
    if (keepGoing && failures) std::fprintf(stderr, ": %s", failed.c_str());
    std::fputc('\n', stderr);
}

}  // namespace

int RunConvertBatch(const ConvertRequest& request) {
    BatchPlan plan;
    if (const std::optional<int> status = PlanBatch(request, plan)) return *status;
    const BatchRequest& batch = plan.request;
    std::error_code error;
    std::filesystem::create_directories(request.output, error);
    if (!std::filesystem::is_directory(request.output)) {
        std::fprintf(stderr, "lumo: Can't create folder %s: %s\n", request.output.c_str(),
                     (error ? error : std::make_error_code(std::errc::not_a_directory)).message().c_str());
        return kFailed;
    }
    RunLog log;
    const std::string& logPath = request.logPath.empty() ? request.resumePath : request.logPath;
    if (!logPath.empty() && !log.open(logPath)) {
        std::fprintf(stderr, "lumo: can't open the log %s: %s\n", logPath.c_str(), std::strerror(errno));
        return kFailed;
    }

    const size_t count = batch.files.size();
    const auto convert = [&](size_t i) {
        const std::string& file = batch.files[i];
        const std::string target = BatchTarget(batch, i);
        SetCurrentFile(file, i, count);
        if (!batch.targets.empty()) MakeParentFolders(target);
        const auto start = std::chrono::steady_clock::now();
        bool written = false;
        std::optional<FileFailure> failure = TryFileWork(i, file, [&] { written = ConvertBatchFile(batch, i); });
        if (failure) ReportFileError(failure->file, FailureText(*failure));
        // An extension without a loader or saver: the dispatch has named it already.
        if (!failure && !written) failure = FileFailure{i, file, "", "Unknown file extension"};
        if (log.isOpen()) {
            RunLogEntry entry{file, target, failure ? "failed" : "done", failure ? FailureText(*failure) : "",
                              FileSize(file), failure ? 0 : FileSize(target), 0};
            entry.milliseconds = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           std::chrono::steady_clock::now() - start)
                                                           .count());
            if (!log.append(entry)) {
                ReportFileError(file, "can't write the log " + logPath + ": " + std::strerror(errno));
                return false;
            }
        }
        return !failure;
    };
    BeginBatchProgress(count);
    const std::vector<TaskStatus> statuses =
        RunTasks(WorkerPlan{count, request.jobs, !request.keepGoing}, convert,
                 [](size_t done, size_t failed) { ShowBatchProgress(done, failed); });
    EndBatchProgress();

    int status = 0;
    for (size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i] == TaskStatus::Running) ReportFileError(batch.files[i], "the conversion crashed");
        if (statuses[i] != TaskStatus::Succeeded) status = kFailed;
    }
    if (plan.unreadable) status = kFailed;
    if (!request.quiet) PrintSummary(plan, statuses, request.keepGoing);
    return status;
}
