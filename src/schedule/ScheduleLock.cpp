#include "schedule/ScheduleLock.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

// One lock per process, taken again by nested holders of the same thread.
struct ProcessLock {
    std::recursive_mutex mutex;
    int depth = 0;
    int fd = -1;
};

ProcessLock &TheLock()
{
    static ProcessLock lock;
    return lock;
}

// The lock file, or -1 when the home folder offers none. Never followed through a link, and not passed
// on to the programs a change runs (a desktop's setter would otherwise hold the lock after us).
int OpenLockFile(const std::string &cp932Path)
{
    const std::string path = ToNativePath(cp932Path);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    return fd;
}

// Locks `fd` within `wait`; false when another process kept it.
bool LockWithin(int fd, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        // A file system without flock: the change goes on unlocked, as it did before there was a lock.
        if (errno != EWOULDBLOCK)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

} // namespace

std::string ScheduleLockPath()
{
    return HomeFolder() + "Tapisto.lock";
}

ScheduleLock::ScheduleLock(std::chrono::milliseconds wait)
{
    ProcessLock &lock = TheLock();
    lock.mutex.lock();
    if (lock.depth++ > 0)
        return;
    const std::string path = ScheduleLockPath();
    lock.fd = OpenLockFile(path);
    if (lock.fd >= 0 && !LockWithin(lock.fd, wait)) {
        ::close(lock.fd);
        lock.fd = -1;
        lock.depth = 0;
        lock.mutex.unlock();
        throw Exception(FormatMessage("別の Tapisto の壁紙の変更が %s 秒たっても終わりません（%s）。",
                                      {std::to_string((wait.count() + 999) / 1000), Cp932ToUtf8Lossy(path)}));
    }
}

ScheduleLock::~ScheduleLock()
{
    ProcessLock &lock = TheLock();
    if (--lock.depth == 0 && lock.fd >= 0) {
        // Closing the only descriptor of the open file releases the lock.
        ::close(lock.fd);
        lock.fd = -1;
    }
    lock.mutex.unlock();
}
