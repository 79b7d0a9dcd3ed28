#include "platform/session/SingleInstance.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(std::string lockPath) : lockPath_(std::move(lockPath)) {}

SingleInstance::~SingleInstance()
{
    Release();
}

bool SingleInstance::TryAcquire()
{
    if (fd_ >= 0)
        return true;
    int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EInOutError(FormatMessage("ファイル %s は開けません (%s)", {lockPath_, ErrnoText(errno)}));
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void SingleInstance::Release()
{
    if (fd_ < 0)
        return;
    // The file stays: removing it would let a third start lock a fresh file while a second one
    // still waits on the old inode.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

std::string SingleInstanceLockPath(const std::string &name)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0')
        return std::string(runtime) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}
