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

struct X11RootPixmaps {
    unsigned long Created; // the new pixmap
    unsigned long Shown;   // what _XROOTPMAP_ID names once it is published
};

// Makes `pixels` (0xffRRGGBB, rows of `stride` pixels, exactly the root's size) the root window's
// background: a new pixmap, kept by the server after the connection closes, published in
// _XROOTPMAP_ID and ESETROOT_PMAP_ID for other programs. The pixmap published before is released when
// it was kept by its setter, and only then (an id whose setter died before keeping it may belong to
// another program by now). Raises Exception on failure, a broken connection included.
X11RootPixmaps SetX11RootPixels(const std::string &displayName, const uint32_t *pixels, int width, int height,
                                int stride);
