#include "jobs/run_report.h"

#include <cstdio>
#include <new>

#include "core/messages.h"
#include "platform/status_text.h"

std::string FailureText(const FileFailure& failure) {
    if (failure.module.empty()) return failure.message;
    return failure.message + " (module " + failure.module + ")";
}

std::string DescribeFailure(const FileFailure& failure) { return failure.file + ": " + FailureText(failure); }

std::optional<FileFailure> TryFileWork(size_t index, const std::string& file, const std::function<void()>& work) {
    try {
        work();
        return std::nullopt;
    } catch (const LumoFailure& failure) {
        return FileFailure{index, file, failure.module(), failure.text()};
    } catch (const std::bad_alloc&) {
        return FileFailure{index, file, "", "Out of memory"};
    }
}

void ShowFileStatus(const char* format, const std::string& file, size_t index, size_t count) {
    const int size = std::snprintf(nullptr, 0, format, file.c_str(), static_cast<int>(index + 1), static_cast<int>(count));
    std::string text(static_cast<size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, file.c_str(), static_cast<int>(index + 1), static_cast<int>(count));
    ShowStatusText(text.c_str());
}

ProgressBarOff::ProgressBarOff() : previous_(LumoGetIntOption("showprogress")) { LumoSetIntOption("showprogress", 0); }

ProgressBarOff::~ProgressBarOff() { LumoSetIntOption("showprogress", previous_); }
