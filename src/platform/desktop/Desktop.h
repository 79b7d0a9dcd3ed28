#pragma once

#include "platform/Exceptions.h"
#include "platform/TileMode.h"
#include "platform/desktop/Monitors.h"

#include <cstdint>
#include <string>
#include <vector>

// How a desktop shows a different picture on each monitor.
enum class PerMonitorMethod {
    None,    // it cannot: one picture for all monitors
    Spanned, // one bitmap over the bounding box of all monitors, each showing its own rectangle
    Pieces,  // one file per monitor, set monitor by monitor
};

// The desktop cannot show one picture per monitor; the message names the desktop. The change then
// shows one picture on every monitor instead.
class EPerMonitorUnsupported : public Exception {
public:
    using Exception::Exception;
};

// The desktop as its users know it ("GNOME", "KDE Plasma") for a backend name; the name itself otherwise.
std::string DesktopDisplayName(const std::string &backendName);

// Sets the desktop's wallpaper from a bitmap file: the stand-in for SystemParametersInfoA with
// SPI_SETDESKWALLPAPER.
class Desktop {
public:
    virtual ~Desktop() = default;
    // The backend's name as TAPISTO_DESKTOP takes it ("gnome", "x11", "file", ...).
    virtual const char *Name() const = 0;
    // Sets the picture, then asks the desktop what it shows: raises Exception naming what failed (the
    // command and its message) when the desktop refuses, and naming what the desktop shows instead
    // when it took the command but does not show our file.
    virtual void setWallpaper(const std::string &cp932Path, TileMode tile) = 0;
    // What the desktop reported after the last setWallpaper, as it names it ("" before the first).
    virtual std::string LastReadBack() const { return {}; }

    virtual PerMonitorMethod PerMonitor() const { return PerMonitorMethod::None; }
    // Shows one picture per monitor: `cp932BoxPath` covers BoundingBox(layout) and each monitor shows its
    // own rectangle of it; with PerMonitorMethod::Pieces, `cp932PiecePaths[i]` also holds monitor i's
    // rectangle as a file of its own (empty otherwise). Raises like setWallpaper, and
    // EPerMonitorUnsupported when the desktop (or the version running) cannot do it; the default
    // always raises that.
    virtual void setMonitorWallpapers(const std::string &cp932BoxPath, const MonitorLayout &layout,
                                      const std::vector<std::string> &cp932PiecePaths);
};
