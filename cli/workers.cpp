#include "cli/workers.h"

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// The state the workers share through an anonymous shared mapping; the status array lies in the
// same mapping, right after this record, so the pointer holds in every forked worker.
struct SharedState {
    std::atomic<size_t> nextTask;
    std::atomic<size_t> finished;
    std::atomic<size_t> failed;
    std::atomic<bool> stop;
    std::atomic<unsigned char>* status;  // one TaskStatus per task
};

bool RunOne(SharedState& shared, size_t i, const WorkerPlan& plan, const std::function<bool(size_t)>& task) {
    shared.status[i] = static_cast<unsigned char>(TaskStatus::Running);
    const bool ok = task(i);
    shared.status[i] = static_cast<unsigned char>(ok ? TaskStatus::Succeeded : TaskStatus::Failed);
    if (!ok) ++shared.failed;
    if (!ok && plan.stopAtFirstFailure) shared.stop = true;
    ++shared.finished;
    return ok;
}

void WorkLoop(SharedState& shared, const WorkerPlan& plan, const std::function<bool(size_t)>& task,
              const std::function<void(size_t, size_t)>* onProgress) {
    while (!shared.stop) {
        const size_t i = shared.nextTask++;
        if (i >= plan.taskCount) break;
        RunOne(shared, i, plan, task);
        if (onProgress) (*onProgress)(shared.finished, shared.failed);
    }
}

}  // namespace

std::vector<TaskStatus> RunTasks(const WorkerPlan& plan, const std::function<bool(size_t)>& task,
                                 const std::function<void(size_t, size_t)>& onProgress) {
    const size_t bytes = sizeof(SharedState) + plan.taskCount * sizeof(std::atomic<unsigned char>);
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("lumo: mmap");
        std::exit(1);
    }
    auto* shared = new (memory) SharedState{};
    shared->status = new (static_cast<char*>(memory) + sizeof(SharedState)) std::atomic<unsigned char>[plan.taskCount]{};

    const int workers = plan.workers < 1 ? 1 : plan.workers;
    if (workers == 1) {
        WorkLoop(*shared, plan, task, &onProgress);
    } else {
        std::fflush(nullptr);
        std::vector<pid_t> children;
        const pid_t parent = ::getpid();
        for (int w = 0; w < workers; ++w) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                // A parent gone before the call has taken its signal with it.
                if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(1);
                WorkLoop(*shared, plan, task, nullptr);
                std::fflush(nullptr);
                ::_exit(0);
            }
            if (pid > 0) children.push_back(pid);
        }
        // Redraw the progress while the workers run. A worker that dies leaves its task Running
        // (not counted as finished, and not stopping the others, which go on with the remaining tasks).
        size_t running = children.size();
        while (running > 0) {
            int status = 0;
            const pid_t done = ::waitpid(-1, &status, WNOHANG);
            if (done > 0) --running;
            else if (done < 0) break;
            else ::usleep(50000);
            onProgress(shared->finished, shared->failed);
        }
    }

    std::vector<TaskStatus> statuses(plan.taskCount);
    for (size_t i = 0; i < plan.taskCount; ++i) statuses[i] = static_cast<TaskStatus>(shared->status[i].load());
    ::munmap(memory, bytes);
    return statuses;
}
