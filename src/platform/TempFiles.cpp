#include "platform/TempFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTempMark = ".tapisto-";
constexpr size_t kRandomChars = 12;

// Letters and digits from the kernel's random source (the clock's when it is unavailable).
std::string RandomChars()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomChars];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ uint64_t(::getpid());
        for (unsigned char &byte : bytes)
            byte = static_cast<unsigned char>((seed = seed * 6364136223846793005u + 1442695040888963407u) >> 56);
    }
    std::string text;
    for (unsigned char byte : bytes)
        text += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return text;
}

// The paths of the temporaries being written, for the signal handler: fixed slots and atomic states,
// since a handler may neither allocate nor lock. A writer beyond the slots is only swept later.
enum SlotState : int { kFree, kFilling, kLive };
struct TempSlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
constexpr int kSlots = 32;
TempSlot tempSlots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

int RegisterTemp(const std::string &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (tempSlots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(tempSlots[i].path, path.c_str(), path.size() + 1);
            tempSlots[i].state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void UnregisterTemp(int slot)
{
    if (slot < 0)
        return;
    tempSlots[slot].state.store(kFilling);
    tempSlots[slot].state.store(kFree);
}

// What each signal did before: a second copy of this code (tapistoctl's command library has its own)
// hands on to the first.
struct sigaction previousActions[NSIG];

extern "C" void RemoveTempsAndEnd(int signal, siginfo_t *info, void *context)
{
    for (TempSlot &slot : tempSlots)
        if (slot.state.load(std::memory_order_acquire) == kLive)
            ::unlink(slot.path);
    const struct sigaction &previous = previousActions[signal];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    // The signal is blocked while its handler runs: raised again, it ends the process on return.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The name still names the open file (no one removed or replaced it meanwhile).
bool NameIsFile(int dirFd, const char *name, int fd)
{
    struct stat byName {
    }, byFd{};
    return ::fstatat(dirFd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0 &&
           SameFile(byName, byFd);
}

bool LockWithoutWaiting(int fd)
{
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool IsTempName(std::string_view name)
{
    if (name.size() < 2 + kTempMark.size() + kRandomChars || name.front() != '.')
        return false;
    const size_t mark = name.size() - kRandomChars - kTempMark.size();
    if (name.substr(mark, kTempMark.size()) != kTempMark)
        return false;
    for (char c : name.substr(name.size() - kRandomChars))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

// Removes one temporary when no writer holds its lock.
void RemoveIfStale(int dirFd, const char *name)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Locked, and still the file of that name: no writer has it, and none can take it now.
    if (LockWithoutWaiting(fd) && NameIsFile(dirFd, name, fd))
        ::unlinkat(dirFd, name, 0);
    ::close(fd);
}

std::string FolderOf(const std::string &nativePath)
{
    const size_t slash = nativePath.rfind('/');
    return slash == std::string::npos ? std::string() : nativePath.substr(0, slash + 1);
}

} // namespace

LockedTempFile::LockedTempFile(const std::string &nativeTarget)
{
    const std::string folder = FolderOf(nativeTarget);
    const std::string prefix = folder + "." + nativeTarget.substr(folder.size()) + std::string(kTempMark);
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    const int dirFd = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix + RandomChars();
        // Registered before it exists: a terminating signal from here on removes it (the name is
        // random enough never to be another's).
        const int slot = RegisterTemp(path);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            UnregisterTemp(slot);
            if (errno == EEXIST)
                continue;
            createError_ = errno;
            break;
        }
        const char *name = path.c_str() + folder.size();
        // A sweeper may have locked the new file before we did; it removes it, and we take another name.
        if (LockWithoutWaiting(fd) ? (dirFd < 0 || NameIsFile(dirFd, name, fd)) : errno != EWOULDBLOCK) {
            path_ = std::move(path);
            fd_ = fd;
            slot_ = slot;
            break;
        }
        UnregisterTemp(slot);
        ::close(fd);
    }
    if (dirFd >= 0)
        ::close(dirFd);
    if (fd_ < 0 && createError_ == 0)
        createError_ = EEXIST;
}

LockedTempFile::~LockedTempFile()
{
    Remove();
}

void LockedTempFile::Remove()
{
    if (fd_ < 0)
        return;
    // Removed before the lock goes with the descriptor, so no sweeper can meet a name without a lock.
    ::unlink(path_.c_str());
    UnregisterTemp(slot_);
    slot_ = -1;
    ::close(fd_);
    fd_ = -1;
}

int LockedTempFile::RenameOver(const std::string &nativeTarget)
{
    if (fd_ < 0)
        return EBADF;
    if (::rename(path_.c_str(), nativeTarget.c_str()) != 0)
        return errno;
    UnregisterTemp(slot_);
    slot_ = -1;
    // The data was flushed before the rename, so closing has nothing left to report.
    ::close(fd_);
    fd_ = -1;
    return 0;
}

void RemoveStaleTemporaries(const std::string &nativeTarget)
{
    const std::string folder = FolderOf(nativeTarget);
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir))
        if (IsTempName(entry->d_name))
            RemoveIfStale(dirFd, entry->d_name);
    ::closedir(dir);
}

void RemoveTemporariesOnTermination()
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 ||
            ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) ||
            ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == RemoveTempsAndEnd))
            continue; // ignored (nohup), or already ours
        previousActions[signal] = current;
        struct sigaction action {};
        action.sa_sigaction = RemoveTempsAndEnd;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}
