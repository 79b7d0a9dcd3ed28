// The lock that keeps the schedule's position still across processes, with a real second process.
#include "schedule/ScheduleLock.h"

#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Another process of the same home folder (as another tapistoctl would), holding the lock until it
// is killed. It takes the lock file itself, not through this process's state, which a forked child
// shares.
class Holder {
public:
    // Waits for the lock when `wait`; otherwise gives up at once when it is taken.
    explicit Holder(bool wait)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const std::string path = ScheduleLockPath();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0 || ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0)
                ::_exit(1);
            (void)!::write(ready[1], "x", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        held_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~Holder() { Release(); }
    Holder(const Holder &) = delete;
    Holder &operator=(const Holder &) = delete;
    bool Held() const { return held_; }
    // As if the holder died in the middle of a change: the kernel lets the lock go.
    void Release()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

} // namespace

TEST(ScheduleLock, AnotherProcessesChangeIsWaitedForWithinABound)
{
    TempHome home;
    {
        // Taken again inside a change (the settings writes do) it does not wait for itself.
        const ScheduleLock outer;
        const ScheduleLock inner(std::chrono::milliseconds(0));
    }
    {
        Holder other(true);
        ASSERT_TRUE(other.Held());
        try {
            const ScheduleLock lock(std::chrono::milliseconds(300));
            FAIL() << "the lock of another process was taken";
        } catch (const Exception &e) {
            EXPECT_NE(std::string::npos, e.Message().find(home.File("Tapisto.lock"))) << e.Message();
        }
        other.Release();
        const ScheduleLock lock(std::chrono::milliseconds(300));
        const Holder blocked(false);
        EXPECT_FALSE(blocked.Held());
    }
    const Holder after(false);
    EXPECT_TRUE(after.Held());
}
