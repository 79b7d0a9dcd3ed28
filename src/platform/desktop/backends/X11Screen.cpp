#include "platform/desktop/backends/X11Screen.h"

#include "platform/Exceptions.h"
#include "platform/desktop/backends/X11Connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {

// RandR 1.5 monitors, as Qt's X11 platform lists its screens: the primary flag and the output's name.
bool ReadRandrMonitors(Display *display, Window root, X11Monitors &monitors)
{
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
        (major == 1 && minor < 5))
        return false;
    int count = 0;
    XRRMonitorInfo *info = XRRGetMonitors(display, root, True, &count);
    if (info == nullptr)
        return false;
    for (int i = 0; i < count; ++i) {
        if (info[i].width <= 0 || info[i].height <= 0)
            continue;
        char *name = info[i].name != None ? XGetAtomName(display, info[i].name) : nullptr;
        if (info[i].primary != 0)
            monitors.Primary = int(monitors.Layout.size());
        monitors.Layout.push_back({name != nullptr ? name : "", info[i].x, info[i].y, info[i].width, info[i].height});
        if (name != nullptr)
            XFree(name);
    }
    XRRFreeMonitors(info);
    if (monitors.Layout.empty())
        return false;
    return true;
}

} // namespace

std::optional<X11Monitors> QueryX11Monitors(const std::string &displayName)
{
    try {
        X11Connection connection(displayName);
        Display *display = *connection;
        const int screen = DefaultScreen(display);
        X11Monitors monitors;
        if (!ReadRandrMonitors(display, RootWindow(display, screen), monitors))
            monitors = {{Monitor{{}, 0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)}}, 0};
        if (connection.Sync() != 0)
            return std::nullopt;
        return monitors;
    } catch (const Exception &) {
        return std::nullopt;
    }
}
