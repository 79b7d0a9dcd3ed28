#include "platform/desktop/backends/X11Root.h"

#include "platform/Exceptions.h"
#include "platform/desktop/backends/X11Connection.h"
#include "platform/desktop/backends/X11RootOwner.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The pixmap a root property names, or 0.
Pixmap ReadPixmapProperty(Display *display, Window root, Atom atom)
{
    if (atom == None)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    Pixmap result = 0;
    if (XGetWindowProperty(display, root, atom, 0, 1, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success &&
        type == XA_PIXMAP && format == 32 && count == 1 && data != nullptr)
        result = *reinterpret_cast<Pixmap *>(data);
    if (data != nullptr)
        XFree(data);
    return result;
}

void WritePixmapProperty(Display *display, Window root, Atom atom, Pixmap pixmap)
{
    XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pixmap), 1);
}

int MaskShift(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

struct ImageDeleter {
    void operator()(XImage *image) const { XDestroyImage(image); }
};

// The pixels as an XImage of the visual's layout; the usual 24-bit visual takes the caller's rows as
// they are (and its data pointer must be cleared before the image is destroyed).
std::unique_ptr<XImage, ImageDeleter> MakeImage(Display *display, const uint32_t *pixels, int width, int height,
                                                int stride, bool &borrowed)
{
    const int screen = DefaultScreen(display);
    Visual *visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    std::unique_ptr<XImage, ImageDeleter> image(XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                                             nullptr, static_cast<unsigned>(width),
                                                             static_cast<unsigned>(height), 32, 0));
    if (!image)
        throw Exception("壁紙を設定できません: XCreateImage");
    borrowed = stride == width && image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
               visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
    if (borrowed) {
        image->data = const_cast<char *>(reinterpret_cast<const char *>(pixels));
        return image;
    }
    image->data = static_cast<char *>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
    if (image->data == nullptr)
        throw EOutOfMemory("壁紙を設定できません: メモリが足りません");
    const int rs = MaskShift(visual->red_mask), gs = MaskShift(visual->green_mask), bs = MaskShift(visual->blue_mask);
    const unsigned long rmax = visual->red_mask >> rs, gmax = visual->green_mask >> gs, bmax = visual->blue_mask >> bs;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(stride) + size_t(x)];
            const unsigned long r = ((p >> 16) & 0xFF) * rmax / 255, g = ((p >> 8) & 0xFF) * gmax / 255,
                                b = (p & 0xFF) * bmax / 255;
            XPutPixel(image.get(), x, y, (r << rs) | (g << gs) | (b << bs));
        }
    return image;
}

// A new pixmap of the root's size holding the pixels. Raises Exception (and frees it) on an X error.
Pixmap UploadPixmap(X11Connection &connection, const uint32_t *pixels, int width, int height, int stride)
{
    Display *display = *connection;
    const int screen = DefaultScreen(display);
    bool borrowed = false;
    std::unique_ptr<XImage, ImageDeleter> image = MakeImage(display, pixels, width, height, stride, borrowed);
    const Pixmap pixmap =
        XCreatePixmap(display, RootWindow(display, screen), static_cast<unsigned>(width), static_cast<unsigned>(height),
                      static_cast<unsigned>(DefaultDepth(display, screen)));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image.get(), 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFreeGC(display, gc);
    if (borrowed)
        image->data = nullptr;
    image.reset();
    if (const int error = connection.Sync(); error != 0) {
        XFreePixmap(display, pixmap);
        throw Exception(FormatMessage("壁紙を設定できません: X エラー %s (ピクスマップ)", {std::to_string(error)}));
    }
    return pixmap;
}

} // namespace

X11RootSize QueryX11RootSize(const std::string &displayName)
{
    X11Connection connection(displayName);
    const int screen = DefaultScreen(*connection);
    return {DisplayWidth(*connection, screen), DisplayHeight(*connection, screen)};
}

X11RootPixmaps SetX11RootPixels(const std::string &displayName, const uint32_t *pixels, int width, int height,
                                int stride)
{
    X11Connection connection(displayName);
    Display *display = *connection;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    if (width != DisplayWidth(display, screen) || height != DisplayHeight(display, screen))
        throw Exception("壁紙を設定できません: X の画面の大きさが変わりました");
    if (DefaultVisual(display, screen)->c_class != TrueColor || DefaultDepth(display, screen) < 15)
        throw Exception("壁紙を設定できません: X の画面が TrueColor ではありません");
    const Pixmap pixmap = UploadPixmap(connection, pixels, width, height, stride);

    // From reading the old pixmap to publishing the new one nobody else runs, and the server lets go
    // only when this connection has closed: a concurrent setter never sees our pixmap published by a
    // live connection, nor we its.
    XGrabServer(display);
    const Atom rootAtom = XInternAtom(display, "_XROOTPMAP_ID", False);
    const Atom esetrootAtom = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    const Atom keptAtom = XInternAtom(display, kKeptRootPixmapProperty, False);
    const Pixmap oldRoot = ReadPixmapProperty(display, root, rootAtom);
    if (oldRoot != 0 && oldRoot == ReadPixmapProperty(display, root, esetrootAtom) &&
        MayReleaseRootPixmap(connection, oldRoot, pixmap, ReadPixmapProperty(display, root, keptAtom))) {
        XKillClient(display, oldRoot);
        connection.Sync(); // its setter's client may have gone meanwhile: not our error
    }

    // Kept before it is published: killed from here on, we still leave a pixmap that the next
    // setter may release, never an id that another client may be given.
    XSetCloseDownMode(display, RetainPermanent);
    WritePixmapProperty(display, root, rootAtom, pixmap);
    WritePixmapProperty(display, root, esetrootAtom, pixmap);
    WritePixmapProperty(display, root, keptAtom, pixmap);
    XSetWindowBackgroundPixmap(display, root, pixmap);
    XClearWindow(display, root);
    const Pixmap shown = ReadPixmapProperty(display, root, rootAtom);
    // Published, the pixmap stays even on an error: freeing it would leave the properties naming an id
    // that another client may be given.
    if (const int error = connection.Sync(); error != 0)
        throw Exception(FormatMessage("壁紙を設定できません: X エラー %s", {std::to_string(error)}));
    return {pixmap, shown};
}
