#pragma once

#include "platform/desktop/Monitors.h"

#include <optional>
#include <string>

// The X server's own account of its monitors, behind an interface free of Xlib's macros.

struct X11Monitors {
    MonitorLayout Layout; // in the server's order; one unnamed monitor over the root without RandR 1.5
    int Primary = 0;      // the index in Layout of the primary monitor (the first one when none is)
};

// The active monitors of `displayName`'s default screen; nullopt when the display cannot be opened.
std::optional<X11Monitors> QueryX11Monitors(const std::string &displayName);
