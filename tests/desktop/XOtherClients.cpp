#include "XOtherClients.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Pixmap PublishRootPixmap(Display *display)
{
    const Window root = DefaultRootWindow(display);
    const Pixmap pixmap = XCreatePixmap(display, root, 8, 8, unsigned(DefaultDepth(display, DefaultScreen(display))));
    for (const char *name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        XChangeProperty(display, root, XInternAtom(display, name, False), XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&pixmap), 1);
    return pixmap;
}

} // namespace

unsigned long PublishUnkeptRootPixmap(const std::string &name)
{
    Display *display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return 0;
    const Pixmap pixmap = PublishRootPixmap(display);
    XCloseDisplay(display);
    return pixmap;
}

unsigned long PublishKeptRootPixmapFromEndedProcess(const std::string &name)
{
    int ids[2];
    if (::pipe(ids) != 0)
        return 0;
    const pid_t child = ::fork();
    if (child == 0) {
        Display *display = XOpenDisplay(name.c_str());
        if (display == nullptr)
            ::_exit(1);
        XSetCloseDownMode(display, RetainPermanent);
        const Pixmap pixmap = PublishRootPixmap(display);
        XCloseDisplay(display);
        (void)!::write(ids[1], &pixmap, sizeof pixmap);
        ::_exit(0);
    }
    ::close(ids[1]);
    Pixmap pixmap = 0;
    if (::read(ids[0], &pixmap, sizeof pixmap) != ssize_t(sizeof pixmap))
        pixmap = 0;
    ::close(ids[0]);
    ::waitpid(child, nullptr, 0);
    return pixmap;
}

OtherXClient::OtherXClient(const std::string &name, bool withWindow)
{
    int ids[2];
    if (::pipe(ids) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        Display *display = XOpenDisplay(name.c_str());
        if (display == nullptr)
            ::_exit(1);
        const ::Window root = DefaultRootWindow(display);
        unsigned long made[2] = {XCreatePixmap(display, root, 16, 16, unsigned(DefaultDepth(display, 0))), 0};
        if (withWindow) {
            made[1] = XCreateSimpleWindow(display, root, 0, 0, 20, 20, 0, 0, 0);
            XMapWindow(display, made[1]);
        }
        XSync(display, False);
        (void)!::write(ids[1], made, sizeof made);
        for (;;)
            ::pause();
    }
    ::close(ids[1]);
    if (::read(ids[0], ids_, sizeof ids_) != ssize_t(sizeof ids_))
        ids_[0] = ids_[1] = 0;
    ::close(ids[0]);
}

OtherXClient::~OtherXClient()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

int CountPixmapOnlyClients(const std::string &name)
{
    Display *display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return -1;
    int event = 0, error = 0, count = 0, result = 0;
    XResClient *clients = nullptr;
    if (!XResQueryExtension(display, &event, &error) || !XResQueryClients(display, &count, &clients)) {
        XCloseDisplay(display);
        return -1;
    }
    const Atom pixmapType = XInternAtom(display, "PIXMAP", False);
    for (int i = 0; i < count; ++i) {
        int types = 0;
        XResType *type = nullptr;
        if (!XResQueryClientResources(display, clients[i].resource_base, &types, &type))
            continue;
        bool onlyPixmaps = types > 0;
        for (int k = 0; k < types; ++k)
            onlyPixmaps = onlyPixmaps && (type[k].resource_type == pixmapType || type[k].count == 0);
        result += onlyPixmaps;
        XFree(type);
    }
    XFree(clients);
    XCloseDisplay(display);
    return result;
}
