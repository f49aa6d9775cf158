#include "cli/ordered_workers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// A worker's life: its tasks in order, each result framed by its length. Never returns.
[[noreturn]] void WorkerMain(int fd, size_t first, size_t step, size_t count,
                             const std::function<std::string(size_t)>& produce) {
    for (size_t i = first; i < count; i += step) {
        const std::string result = produce(i);
        const uint64_t size = result.size();
        if (!WriteAll(fd, &size, sizeof size) || !WriteAll(fd, result.data(), result.size())) break;
    }
    std::fflush(nullptr);
    ::_exit(0);
}

}  // namespace

OrderedWorkers::OrderedWorkers(size_t taskCount, int workers, std::function<std::string(size_t)> produce) {
    const size_t count = static_cast<size_t>(workers < 1 ? 1 : workers);
    std::fflush(nullptr);  // nothing buffered is written twice by the children
    for (size_t w = 0; w < count; ++w) {
        int ends[2];
        if (::pipe(ends) != 0) {
            std::perror("lumo: pipe");
            stopAll();
            return;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ends[0]);
            for (const Worker& earlier : workers_) ::close(earlier.pipe);
            WorkerMain(ends[1], w, count, taskCount, produce);
        }
        ::close(ends[1]);
        if (pid < 0) {
            std::perror("lumo: fork");
            ::close(ends[0]);
            stopAll();
            return;
        }
        workers_.push_back({pid, ends[0]});
    }
}

OrderedWorkers::~OrderedWorkers() { stopAll(); }

void OrderedWorkers::stopAll() {
    for (Worker& worker : workers_) {
        ::close(worker.pipe);  // a worker still writing gets SIGPIPE
        ::kill(worker.pid, SIGTERM);
    }
    for (Worker& worker : workers_) {
        int status = 0;
        while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    workers_.clear();
}

std::optional<std::string> OrderedWorkers::take(size_t i) {
    if (workers_.empty()) return std::nullopt;
    const Worker& worker = workers_[i % workers_.size()];
    uint64_t size = 0;
    if (!ReadAll(worker.pipe, &size, sizeof size)) return std::nullopt;
    std::string result(size, '\0');
    if (!ReadAll(worker.pipe, result.data(), result.size())) return std::nullopt;
    return result;
}
