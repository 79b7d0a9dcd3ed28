#include "XRootReader.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

unsigned long PixmapProperty(Display *display, Window root, const char *name)
{
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    unsigned long result = 0;
    if (XGetWindowProperty(display, root, atom, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after, &data) ==
            Success &&
        data != nullptr && count == 1)
        result = *reinterpret_cast<Pixmap *>(data);
    if (data != nullptr)
        XFree(data);
    return result;
}

int ignoredErrors = 0;
int IgnoreError(Display *, XErrorEvent *)
{
    ++ignoredErrors;
    return 0;
}

} // namespace

XRootPicture ReadXRoot(const std::string &name)
{
    XRootPicture picture;
    Display *display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return picture;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    picture.Width = DisplayWidth(display, screen);
    picture.Height = DisplayHeight(display, screen);
    picture.RootPixmap = PixmapProperty(display, root, "_XROOTPMAP_ID");
    picture.EsetrootPixmap = PixmapProperty(display, root, "ESETROOT_PMAP_ID");
    XImage *image = XGetImage(display, root, 0, 0, static_cast<unsigned>(picture.Width),
                              static_cast<unsigned>(picture.Height), AllPlanes, ZPixmap);
    if (image != nullptr) {
        picture.Pixels.reserve(size_t(picture.Width) * size_t(picture.Height));
        for (int y = 0; y < picture.Height; ++y)
            for (int x = 0; x < picture.Width; ++x)
                picture.Pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return picture;
}

bool XPixmapExists(const std::string &name, unsigned long pixmap)
{
    Display *display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return false;
    auto *previous = XSetErrorHandler(IgnoreError);
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    const Status ok = XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return ok != 0;
}
