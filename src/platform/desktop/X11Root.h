#pragma once

#include <cstdint>
#include <string>

// The plain-X11 root window, behind an interface free of Xlib's macros (they clash with Qt).

struct X11RootSize {
    int Width;
    int Height;
};

// The root window's size. Raises Exception when the display cannot be opened.
X11RootSize QueryX11RootSize(const std::string &displayName);

// Makes `pixels` (0xffRRGGBB, rows of `stride` pixels, exactly the root's size) the root window's
// background: a new pixmap, published in _XROOTPMAP_ID and ESETROOT_PMAP_ID for other programs, with the
// previous setter's pixmap released. The pixmap outlives the connection. Returns its id. Raises Exception on
// failure.
unsigned long SetX11RootPixels(const std::string &displayName, const uint32_t *pixels, int width, int height,
                               int stride);
// The pixmap that _XROOTPMAP_ID names now; 0 when none. Raises Exception when the display cannot be opened.
unsigned long ReadX11RootPixmap(const std::string &displayName);
