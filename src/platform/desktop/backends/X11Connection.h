#pragma once

#include <X11/Xlib.h>

#include <string>

// One Xlib connection for one root-window operation. Its X errors are noted instead of going to
// Xlib's handler, and a broken connection becomes an Exception instead of Xlib's exit(1) with an
// English message; connections of others in the process (Qt's) keep their handlers.
class X11Connection {
public:
    // Raises Exception (naming the display) when it cannot be opened.
    explicit X11Connection(const std::string &displayName);
    ~X11Connection();
    X11Connection(const X11Connection &) = delete;
    X11Connection &operator=(const X11Connection &) = delete;

    Display *operator*() const { return display_; }
    // Waits until the server has handled every request sent. Returns the first X error code noted
    // since the last call (0 for none) and forgets it; raises Exception when the connection broke.
    int Sync();
    // Raises Exception when the connection broke during an earlier call.
    void ThrowIfBroken() const;

    // For the handlers.
    void NoteError(int code)
    {
        if (error_ == 0)
            error_ = code;
    }
    void NoteBroken(int err)
    {
        broken_ = true;
        brokenErrno_ = err;
    }

private:
    Display *display_ = nullptr;
    std::string name_; // for messages
    int error_ = 0;
    bool broken_ = false;
    int brokenErrno_ = 0;
};
