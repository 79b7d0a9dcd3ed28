#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>

// The threads the render core works on: a picture's averaging beside its reader, each monitor's
// picture on a core of its own. A task that finds no idle thread gets a new one, because a task may
// itself wait for another (a monitor's picture for its averaging), which a fixed number of threads
// could leave without a thread. A thread idle for `idleExpiry` ends, so that the tray program keeps
// no thread between changes.
class WorkerPool {
public:
    explicit WorkerPool(std::chrono::milliseconds idleExpiry);
    // Ends the idle threads. A thread still in a task is left to finish it and end on its own.
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // The one pool of the process.
    static WorkerPool &Shared();

    // Runs `work` on an idle thread or a new one; the future is ready when it has run (and holds what
    // it raised). Raises std::system_error when no thread can be started.
    std::future<void> Submit(std::function<void()> work);
    // Threads alive, busy or idle.
    size_t Threads() const;

    // What the pool and its threads share (defined with them).
    struct State;

private:
    void JoinEnded();

    std::shared_ptr<State> state_;
};
