#pragma once

#include <string>
#include <sys/types.h>

// An Xvfb for one test, of 64 x 48 pixels unless told otherwise; -noreset keeps the root pixmap between
// clients. Not Running() where Xvfb is missing (the test then skips). It ends with the test process.
class XvfbServer {
public:
    explicit XvfbServer(const std::string &size = "64x48");
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool Running() const { return pid_ != 0; }
    const std::string &Display() const { return display_; } // ":N"
    std::string SocketPath() const { return "/tmp/.X11-unix/X" + display_.substr(1); }

private:
    void Stop();
    pid_t pid_ = 0;
    std::string display_;
};
