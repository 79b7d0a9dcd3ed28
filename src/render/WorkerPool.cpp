#include "render/WorkerPool.h"

#include <condition_variable>
#include <exception>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Task {
    std::function<void()> Work;
    std::promise<void> Done;
};

struct Worker {
    std::thread Thread;
    std::condition_variable Wake;
    std::optional<Task> Next; // handed over by Submit, to an idle thread
    bool Busy = true;         // in a task or handed one: the pool's end leaves it to finish
    bool Ended = false;       // left its loop; joined by the next Submit or the pool's end
};

} // namespace

// Shared with every thread, so that one still in a task when the pool ends may finish it.
struct WorkerPool::State {
    std::chrono::milliseconds IdleExpiry;
    std::mutex Mutex;
    std::list<Worker> Workers;
    bool Stopping = false;
};

namespace {

void WorkerLoop(const std::shared_ptr<WorkerPool::State> &state, Worker &self, Task task)
{
    for (;;) {
        std::exception_ptr failure;
        try {
            task.Work();
        } catch (...) {
            failure = std::current_exception();
        }
        task.Work = {}; // what the task holds goes before anyone is told it ran
        std::unique_lock lock(state->Mutex);
        self.Busy = false;
        // Told only now, idle, so that a task submitted on hearing it takes this thread.
        if (failure)
            task.Done.set_exception(failure);
        else
            task.Done.set_value();
        self.Wake.wait_for(lock, state->IdleExpiry, [&] { return state->Stopping || self.Next; });
        if (!self.Next) {
            self.Ended = true;
            return;
        }
        task = std::move(*self.Next);
        self.Next.reset();
    }
}

void JoinAll(std::vector<std::thread> &threads)
{
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace

WorkerPool::WorkerPool(std::chrono::milliseconds idleExpiry) : state_(std::make_shared<State>())
{
    state_->IdleExpiry = idleExpiry;
}

WorkerPool::~WorkerPool()
{
    std::vector<std::thread> ending;
    {
        std::lock_guard lock(state_->Mutex);
        state_->Stopping = true;
        for (Worker &worker : state_->Workers) {
            if (worker.Busy) {
                worker.Thread.detach(); // holds the state; nothing here waits for its task
            } else {
                worker.Wake.notify_one();
                ending.push_back(std::move(worker.Thread));
            }
        }
    }
    JoinAll(ending);
}

WorkerPool &WorkerPool::Shared()
{
    // A few seconds: long enough for the pictures of one change to share threads.
    static WorkerPool pool(std::chrono::seconds(5));
    return pool;
}

std::future<void> WorkerPool::Submit(std::function<void()> work)
{
    JoinEnded();
    Task task{std::move(work), {}};
    std::future<void> done = task.Done.get_future();
    std::lock_guard lock(state_->Mutex);
    for (Worker &worker : state_->Workers) {
        if (!worker.Busy && !worker.Ended) {
            worker.Next = std::move(task);
            worker.Busy = true;
            worker.Wake.notify_one();
            return done;
        }
    }
    Worker &worker = state_->Workers.emplace_back();
    try {
        worker.Thread = std::thread(WorkerLoop, state_, std::ref(worker), std::move(task));
    } catch (...) {
        state_->Workers.pop_back();
        throw;
    }
    return done;
}

// The threads that ended since: only their ends are left to collect, so this never waits long.
void WorkerPool::JoinEnded()
{
    std::vector<std::thread> ended;
    {
        std::lock_guard lock(state_->Mutex);
        for (auto it = state_->Workers.begin(); it != state_->Workers.end();) {
            if (it->Ended) {
                ended.push_back(std::move(it->Thread));
                it = state_->Workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    JoinAll(ended);
}

size_t WorkerPool::Threads() const
{
    std::lock_guard lock(state_->Mutex);
    size_t alive = 0;
    for (const Worker &worker : state_->Workers)
        alive += worker.Ended ? 0 : 1;
    return alive;
}
