// Runs numbered tasks in worker processes (the library's state is per process, so parallel
// work means processes, not threads). Each worker claims the next task until none is left.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

struct WorkerPlan {
    size_t taskCount = 0;
    int workers = 1;
    bool stopAtFirstFailure = true;  // no task is started once one has failed
};

// Running is left behind by a worker that died during its task.
enum class TaskStatus : unsigned char { NotRun, Succeeded, Failed, Running };

// Runs task(i) for every i (in this process when there is one worker) and yields each task's status.
// onProgress(done, failed) is called in this process as tasks finish. Workers end with this process:
// one killed takes its workers with it, so that no file is still being written after it.
std::vector<TaskStatus> RunTasks(const WorkerPlan& plan, const std::function<bool(size_t)>& task,
                                 const std::function<void(size_t done, size_t failed)>& onProgress);
