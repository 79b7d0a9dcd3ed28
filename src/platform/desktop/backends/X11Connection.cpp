#include "platform/desktop/backends/X11Connection.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// Xlib's handlers are process-wide: ours are installed while any of our connections is open, note
// what happens on those, and hand everything else to the handlers they replaced.
struct Handlers {
    std::mutex mutex;
    std::vector<X11Connection *> open;
    XErrorHandler previousError = nullptr;
    XIOErrorHandler previousIOError = nullptr;
};
Handlers &TheHandlers()
{
    static Handlers handlers;
    return handlers;
}

X11Connection *Ours(Display *display)
{
    Handlers &h = TheHandlers();
    const std::lock_guard lock(h.mutex);
    for (X11Connection *connection : h.open)
        if (**connection == display)
            return connection;
    return nullptr;
}

int OnError(Display *display, XErrorEvent *event)
{
    if (X11Connection *connection = Ours(display)) {
        connection->NoteError(event->error_code);
        return 0;
    }
    XErrorHandler previous = TheHandlers().previousError;
    return previous != nullptr ? previous(display, event) : 0;
}

int OnIOError(Display *display)
{
    const int err = errno;
    if (X11Connection *connection = Ours(display)) {
        connection->NoteBroken(err);
#ifdef TAPISTO_HAVE_XIO_EXIT_HANDLER
        return 0; // the exit handler returns too, and the calls on this display fail from now on
#else
        // This libX11 ends the process when the handler returns; at least the reason is ours.
        try {
            connection->ThrowIfBroken();
        } catch (const Exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        std::_Exit(1);
#endif
    }
    XIOErrorHandler previous = TheHandlers().previousIOError;
    return previous != nullptr ? previous(display) : 0;
}

#ifdef TAPISTO_HAVE_XIO_EXIT_HANDLER
void StayAlive(Display *, void *) {}
#endif

void Register(X11Connection *connection)
{
    Handlers &h = TheHandlers();
    const std::lock_guard lock(h.mutex);
    if (h.open.empty()) {
        h.previousError = XSetErrorHandler(OnError);
        h.previousIOError = XSetIOErrorHandler(OnIOError);
    }
    h.open.push_back(connection);
}

void Unregister(X11Connection *connection)
{
    Handlers &h = TheHandlers();
    const std::lock_guard lock(h.mutex);
    h.open.erase(std::remove(h.open.begin(), h.open.end(), connection), h.open.end());
    if (h.open.empty()) {
        XSetErrorHandler(h.previousError);
        XSetIOErrorHandler(h.previousIOError);
    }
}

} // namespace

X11Connection::X11Connection(const std::string &displayName)
{
    const char *name = XDisplayName(displayName.empty() ? nullptr : displayName.c_str());
    name_ = name != nullptr && *name != '\0' ? name : "(DISPLAY)";
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display_ == nullptr)
        throw Exception(FormatMessage("壁紙を設定できません: X サーバー %s に接続できません", {name_}));
#ifdef TAPISTO_HAVE_XIO_EXIT_HANDLER
    XSetIOErrorExitHandler(display_, StayAlive, nullptr);
#endif
    Register(this);
}

X11Connection::~X11Connection()
{
    XCloseDisplay(display_);
    Unregister(this);
}

int X11Connection::Sync()
{
    ThrowIfBroken();
    XSync(display_, False);
    ThrowIfBroken();
    const int error = error_;
    error_ = 0;
    return error;
}

void X11Connection::ThrowIfBroken() const
{
    if (!broken_)
        return;
    // Xlib sees the server's end of the connection as EOF (no errno) or a reset.
    const std::string reason = brokenErrno_ == 0 || brokenErrno_ == EPIPE || brokenErrno_ == ECONNRESET
                                   ? std::string("サーバーが終了したか、接続を切られました")
                                   : ErrnoText(brokenErrno_);
    throw Exception(FormatMessage("壁紙を設定できません: X サーバー %s との接続が切れました (%s)", {name_, reason}));
}
