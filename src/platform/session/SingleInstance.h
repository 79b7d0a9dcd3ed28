#pragma once

#include <string>

// The one-instance guard: an advisory lock on a file that the first instance holds for its whole
// run. The kernel drops the lock when the holder dies, so a crash never blocks later starts.
class SingleInstance {
public:
    // lockPath is a UTF-8 file-system path; the file is created when missing.
    explicit SingleInstance(std::string lockPath);
    ~SingleInstance(); // releases the guard when held
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this object now holds the guard; false when another holder has it. Raises
    // EInOutError when the lock file cannot be opened at all.
    bool TryAcquire();
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    std::string lockPath_;
    int fd_ = -1;
};

// $XDG_RUNTIME_DIR/<name>.lock, or a per-user file in the temporary folder without one.
std::string SingleInstanceLockPath(const std::string &name);
