#include "render/WorkerPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <latch>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Polls for the pool to reach `threads`, for at most a minute: the expiry is short, the machine may not be.
bool SettlesAt(const WorkerPool &pool, size_t threads)
{
    for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(10ms))
        if (pool.Threads() == threads)
            return true;
    return false;
}

} // namespace

// A monitor's picture on the pool waits for its own averaging on the pool: each waiting task needs
// another thread, which the pool makes instead of waiting for one to come free.
TEST(WorkerPool, TasksWaitingForTasksTheySubmitGetThreadsOfTheirOwn)
{
    WorkerPool pool(1h);
    std::vector<std::future<void>> outer(3);
    for (std::future<void> &task : outer)
        task = pool.Submit([&pool] { pool.Submit([&pool] { pool.Submit([] {}).wait(); }).wait(); });
    for (std::future<void> &task : outer)
        EXPECT_EQ(task.wait_for(60s), std::future_status::ready);
}

// Two tasks that each wait for the other finish only when they run at the same time, also when an idle
// thread could have taken both one after the other.
TEST(WorkerPool, TasksRunAtTheSameTime)
{
    WorkerPool pool(1h);
    pool.Submit([] {}).wait();
    std::latch both(2);
    std::future<void> a = pool.Submit([&both] { both.arrive_and_wait(); });
    std::future<void> b = pool.Submit([&both] { both.arrive_and_wait(); });
    EXPECT_EQ(a.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(b.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(pool.Threads(), 2u);
}

// The thread of a task that has run takes the next task; idle past the expiry it ends, and a task
// after that gets a new one.
TEST(WorkerPool, IdleThreadsAreReusedAndEndAfterTheExpiry)
{
    WorkerPool pool(300ms);
    std::thread::id first;
    std::thread::id second;
    pool.Submit([&first] { first = std::this_thread::get_id(); }).wait();
    pool.Submit([&second] { second = std::this_thread::get_id(); }).wait();
    EXPECT_EQ(first, second);
    EXPECT_TRUE(SettlesAt(pool, 0));
    bool ran = false;
    pool.Submit([&ran] { ran = true; }).wait();
    EXPECT_TRUE(ran);
}

// The pool's end (as at the program's exit) joins idle threads at once and leaves one still in a task
// to finish it; under the sanitizer build nothing of either leaks.
TEST(WorkerPool, EndsWithIdleAndBusyThreads)
{
    std::promise<void> release;
    std::future<void> busy;
    {
        WorkerPool pool(1h);
        std::latch both(2);
        std::future<void> a = pool.Submit([&both] { both.arrive_and_wait(); });
        pool.Submit([&both] { both.arrive_and_wait(); }).wait();
        a.wait();
        busy = pool.Submit([held = release.get_future().share()] { held.wait(); });
    }
    release.set_value();
    EXPECT_EQ(busy.wait_for(60s), std::future_status::ready);
}
