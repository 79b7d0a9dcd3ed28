#pragma once

#include <cstdint>
#include <string>

// Sets the desktop's wallpaper from a bitmap file: the stand-in for SystemParametersInfoA with
// SPI_SETDESKWALLPAPER. Tile value: 0 centre, 1 tile, 2 stretch to the screen.
class Desktop {
public:
    virtual ~Desktop() = default;
    // The backend's name as TAPISTO_DESKTOP takes it ("gnome", "x11", "file", ...).
    virtual const char *Name() const = 0;
    // Sets the picture, then asks the desktop what it shows: raises Exception naming what failed (the
    // command and its message) when the desktop refuses, and naming what the desktop shows instead
    // when it took the command but does not show our file.
    virtual void setWallpaper(const std::string &cp932Path, int32_t tileValue) = 0;
    // What the desktop reported after the last setWallpaper, as it names it ("" before the first).
    virtual std::string LastReadBack() const { return {}; }
};
