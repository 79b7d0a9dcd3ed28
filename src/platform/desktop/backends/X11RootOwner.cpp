#include "platform/desktop/backends/X11RootOwner.h"

#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// A drawable that is not a window; any error (the id is gone) says no.
bool IsPixmap(X11Connection &connection, Pixmap id)
{
    Display *display = *connection;
    connection.Sync(); // earlier errors are not this question's
    Window root = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(display, id, &root, &x, &y, &width, &height, &border, &depth);
    if (connection.Sync() != 0)
        return false;
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, id, &attributes);
    return connection.Sync() != 0; // BadWindow
}

bool HaveClientIds(Display *display)
{
    int event = 0, error = 0, major = 0, minor = 0;
    return XResQueryExtension(display, &event, &error) && XResQueryVersion(display, &major, &minor) &&
           (major > 1 || (major == 1 && minor >= 2));
}

// What the server tells about the client that owns `id`.
struct ClientFacts {
    bool found = false;
    XID base = 0;   // the client's resource base, the same for all its ids
    pid_t pid = -1; // -1 when the server does not know it (a remote client)
};

ClientFacts FactsOf(X11Connection &connection, XID id)
{
    XResClientIdSpec wanted{id, XRES_CLIENT_ID_XID_MASK | XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue *values = nullptr;
    XResQueryClientIds(*connection, 1, &wanted, &count, &values);
    ClientFacts facts;
    if (connection.Sync() == 0)
        for (long i = 0; i < count; ++i) {
            facts.found = true;
            facts.base = values[i].spec.client;
            if ((values[i].spec.mask & XRES_CLIENT_ID_PID_MASK) != 0)
                facts.pid = XResGetClientPid(&values[i]);
        }
    if (values != nullptr)
        XResClientIdsDestroy(count, values);
    return facts;
}

// True unless the server says the client has no window (a setter's client holds pixmaps only).
bool OwnsWindows(X11Connection &connection, XID id)
{
    Display *display = *connection;
    const Atom window = XInternAtom(display, "WINDOW", False);
    int count = 0;
    XResType *types = nullptr;
    bool windows = true;
    if (XResQueryClientResources(display, id, &count, &types) != 0 && connection.Sync() == 0) {
        windows = false;
        for (int i = 0; i < count; ++i)
            windows = windows || (types[i].resource_type == window && types[i].count > 0);
    }
    if (types != nullptr)
        XFree(types);
    return windows;
}

bool ProcessHasEnded(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

bool MayReleaseRootPixmap(X11Connection &connection, Pixmap published, Pixmap ours, Pixmap keptByUs)
{
    if (published == ours || !IsPixmap(connection, published))
        return false;
    // Without the extension only our own record tells that the pixmap was kept.
    if (!HaveClientIds(*connection))
        return published == keptByUs;
    const ClientFacts owner = FactsOf(connection, published);
    const ClientFacts self = FactsOf(connection, ours);
    if (!owner.found || owner.base == self.base || OwnsWindows(connection, published))
        return false;
    if (published == keptByUs)
        return true;
    // Another setter's pixmap was kept when its client outlived its process. The server's process ids
    // mean ours only when it sees this very process as ours (not across machines or pid namespaces).
    return self.pid == ::getpid() && ProcessHasEnded(owner.pid);
}
