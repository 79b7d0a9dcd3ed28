#pragma once

#include "platform/Paths.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A picture file opened for reading, closed on every way out; Fd() is -1 when it cannot be opened.
// Raises EEncodingError when the CP932 path names no file name of this system.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string &cp932Path)
        : fd_(::open(ToNativePath(cp932Path).c_str(), O_RDONLY | O_CLOEXEC))
    {
    }
    // Takes over a descriptor already open for reading.
    explicit ReadOnlyFile(int openFd) : fd_(openFd) {}
    ~ReadOnlyFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    int Fd() const { return fd_; }
    // Whether the file is open and a regular file; its status goes to `st`.
    bool IsRegular(struct stat &st) const { return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode); }

private:
    int fd_ = -1;
};
