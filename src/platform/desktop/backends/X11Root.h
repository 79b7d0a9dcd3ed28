#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The plain-X11 root window, behind an interface free of Xlib's macros (they clash with Qt).

struct X11RootPixmaps {
    unsigned long Created; // the new pixmap
    unsigned long Shown;   // what _XROOTPMAP_ID names once it is published
};

// Draws rows [first, first + count) of the root's picture, width x height in all, into `pixels`
// (0xffRRGGBB, rows of `width`), writing every pixel. Called for consecutive bands from the top.
using X11RootDraw = std::function<void(uint32_t *pixels, int width, int height, int first, int count)>;

// Makes the picture `draw` makes at the root's size the root window's background, handed over a band
// of rows at a time through a small buffer: memory the X server reads (MIT-SHM) where it can, else
// the connection; a new pixmap,
// kept by the server after the connection closes, published in _XROOTPMAP_ID and ESETROOT_PMAP_ID for
// other programs. The pixmap published before is released when it was kept by its setter, and only
// then (an id whose setter died before keeping it may belong to another program by now). Raises
// Exception on failure, a broken connection included, and what `draw` raises.
X11RootPixmaps SetX11RootPicture(const std::string &displayName, const X11RootDraw &draw);
