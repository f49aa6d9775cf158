// Work done in worker processes but taken in order: worker w of N makes the results of tasks w, w + N,
// w + 2N, ... and sends each through its own pipe, so this process reads task i from worker i mod N
// and gets every result in task order. A pipe holds only a few results, so a worker that runs ahead
// waits, and memory stays small however many tasks there are.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class OrderedWorkers {
public:
    // Forks the workers at once; each runs produce(i) for its tasks, in a process of its own, and ends
    // when they are done.
    OrderedWorkers(size_t taskCount, int workers, std::function<std::string(size_t)> produce);
    // Stops the workers that are still running and waits for them.
    ~OrderedWorkers();
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    // False when the workers could not all be started (none is left running then).
    bool running() const { return !workers_.empty(); }
    // The result of task i (tasks must be taken in order, from 0); nothing when its worker died.
    std::optional<std::string> take(size_t i);

private:
    void stopAll();

    struct Worker {
        pid_t pid = -1;
        int pipe = -1;  // read end
    };
    std::vector<Worker> workers_;
};
