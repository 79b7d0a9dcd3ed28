#include "platform/desktop/X11Root.h"

#include "platform/Exceptions.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <string>

namespace {

// X errors arrive asynchronously; they are noted instead of ending the process.
int lastError = 0;
int NoteError(Display *, XErrorEvent *event)
{
    lastError = event->error_code;
    return 0;
}

class Connection {
public:
    explicit Connection(const std::string &name)
    {
        display_ = XOpenDisplay(name.empty() ? nullptr : name.c_str());
        if (display_ == nullptr)
            throw Exception(FormatMessage("壁紙を設定できません: X サーバー %s に接続できません",
                                          {name.empty() ? std::string("(DISPLAY)") : name}));
        previousHandler_ = XSetErrorHandler(NoteError);
    }
    ~Connection()
    {
        XCloseDisplay(display_);
        XSetErrorHandler(previousHandler_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    Display *operator*() const { return display_; }

private:
    Display *display_;
    int (*previousHandler_)(Display *, XErrorEvent *) = nullptr;
};

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

int MaskShift(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

X11RootSize QueryX11RootSize(const std::string &displayName)
{
    Connection connection(displayName);
    const int screen = DefaultScreen(*connection);
    return {DisplayWidth(*connection, screen), DisplayHeight(*connection, screen)};
}

unsigned long SetX11RootPixels(const std::string &displayName, const uint32_t *pixels, int width, int height,
                               int stride)
{
    Connection connection(displayName);
    Display *display = *connection;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    Visual *visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    if (width != DisplayWidth(display, screen) || height != DisplayHeight(display, screen))
        throw Exception("壁紙を設定できません: X の画面の大きさが変わりました");
    if (visual->c_class != TrueColor || depth < 15)
        throw Exception("壁紙を設定できません: X の画面が TrueColor ではありません");
    lastError = 0;

    XImage *image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (image == nullptr)
        throw Exception("壁紙を設定できません: XCreateImage");
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && visual->red_mask == 0xFF0000 &&
                        visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
    if (direct && stride == width) {
        // The usual 24-bit visual has our pixel layout: the rows go out as they are.
        image->data = const_cast<char *>(reinterpret_cast<const char *>(pixels));
    } else {
        image->data = static_cast<char *>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
        if (image->data == nullptr) {
            XDestroyImage(image);
            throw EOutOfMemory("壁紙を設定できません: メモリが足りません");
        }
        const int rs = MaskShift(visual->red_mask), gs = MaskShift(visual->green_mask),
                  bs = MaskShift(visual->blue_mask);
        const unsigned long rmax = visual->red_mask >> rs, gmax = visual->green_mask >> gs,
                            bmax = visual->blue_mask >> bs;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t p = pixels[size_t(y) * size_t(stride) + size_t(x)];
                const unsigned long r = ((p >> 16) & 0xFF) * rmax / 255, g = ((p >> 8) & 0xFF) * gmax / 255,
                                    b = (p & 0xFF) * bmax / 255;
                XPutPixel(image, x, y, (r << rs) | (g << gs) | (b << bs));
            }
    }

    const Pixmap pixmap = XCreatePixmap(display, root, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        static_cast<unsigned>(depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFreeGC(display, gc);
    if (direct && stride == width)
        image->data = nullptr; // our caller's buffer
    XDestroyImage(image);
    XSync(display, False);
    if (lastError != 0) {
        XFreePixmap(display, pixmap);
        throw Exception(FormatMessage("壁紙を設定できません: X エラー %s (ピクスマップ)", {std::to_string(lastError)}));
    }

    // The previous setter kept its pixmap alive with RetainPermanent; when both properties name it,
    // killing its client releases it.
    const Atom rootAtom = XInternAtom(display, "_XROOTPMAP_ID", False);
    const Atom esetrootAtom = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    const Pixmap oldRoot = ReadPixmapProperty(display, root, rootAtom);
    const Pixmap oldEsetroot = ReadPixmapProperty(display, root, esetrootAtom);
    if (oldRoot != 0 && oldRoot == oldEsetroot) {
        XKillClient(display, oldRoot);
        XSync(display, False);
        lastError = 0; // the client may be gone already
    }

    XChangeProperty(display, root, rootAtom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pixmap), 1);
    XChangeProperty(display, root, esetrootAtom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pixmap), 1);
    XSetWindowBackgroundPixmap(display, root, pixmap);
    XClearWindow(display, root);
    XSync(display, False);
    if (lastError != 0) {
        XFreePixmap(display, pixmap);
        throw Exception(FormatMessage("壁紙を設定できません: X エラー %s", {std::to_string(lastError)}));
    }
    XSetCloseDownMode(display, RetainPermanent);
    XSync(display, False);
    return pixmap;
}

unsigned long ReadX11RootPixmap(const std::string &displayName)
{
    Connection connection(displayName);
    Display *display = *connection;
    return ReadPixmapProperty(display, DefaultRootWindow(display), XInternAtom(display, "_XROOTPMAP_ID", True));
}
