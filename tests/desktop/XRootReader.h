#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The root window of an X server as the tests see it.
struct XRootPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;     // 0x00RRGGBB, row by row
    unsigned long RootPixmap = 0;     // _XROOTPMAP_ID, 0 when unset
    unsigned long EsetrootPixmap = 0; // ESETROOT_PMAP_ID, 0 when unset

    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Empty Pixels when the display cannot be opened.
XRootPicture ReadXRoot(const std::string &display);
// True when the pixmap still exists on the server.
bool XPixmapExists(const std::string &display, unsigned long pixmap);
