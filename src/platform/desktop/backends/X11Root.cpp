#include "platform/desktop/backends/X11Root.h"

#include "platform/Exceptions.h"
#include "platform/desktop/backends/X11Connection.h"
#include "platform/desktop/backends/X11RootOwner.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

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

// The image's pixels are 0xffRRGGBB words, as the root is drawn.
bool TakesPixelsAsTheyAre(const XImage *image, const Visual *visual)
{
    return image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->bytes_per_line == image->width * 4 &&
           visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
}

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
    borrowed = stride == width && TakesPixelsAsTheyAre(image.get(), visual);
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

// Rows per band: about 256 KiB, touched once and reused for the whole root.
int BandRows(int width)
{
    return std::max(1, (256 * 1024) / std::max(1, width * 4));
}

// Draws the root into `pixmap` a band at a time, sent through the connection.
void PutPlain(Display *display, Pixmap pixmap, int width, int height, const X11RootDraw &draw)
{
    const int band = std::min(BandRows(width), height);
    std::vector<uint32_t> pixels(size_t(width) * size_t(band));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    for (int first = 0; first < height; first += band) {
        const int count = std::min(band, height - first);
        draw(pixels.data(), width, height, first, count);
        bool borrowed = false;
        std::unique_ptr<XImage, ImageDeleter> image = MakeImage(display, pixels.data(), width, count, width, borrowed);
        XPutImage(display, pixmap, gc, image.get(), 0, 0, 0, first, static_cast<unsigned>(width),
                  static_cast<unsigned>(count));
        if (borrowed)
            image->data = nullptr;
    }
    XFreeGC(display, gc);
}

// A display on this machine's own socket (":0", "unix:0"): one over TCP may be on another machine, where
// a segment id names some other memory, or none.
bool IsLocalDisplay(const std::string &displayName)
{
    return displayName.starts_with(':') || displayName.starts_with("unix:") || displayName.starts_with('/');
}

struct SharedMemoryDetacher {
    void operator()(void *address) const { shmdt(address); }
};

// Puts a pixel made for this call through the segment into `pixmap` and reads it back through the
// connection: true when the server saw what we wrote.
bool ServerReadsOurs(X11Connection &connection, Pixmap pixmap, XImage *image, void *address)
{
    Display *display = *connection;
    const uint32_t cookie = 0xff000000u | ((uint32_t(::getpid()) * 2654435761u) ^ uint32_t(std::time(nullptr))) >> 8;
    *static_cast<uint32_t *>(address) = cookie;
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XShmPutImage(display, pixmap, gc, image, 0, 0, 0, 0, 1, 1, False);
    XFreeGC(display, gc);
    XImage *back = XGetImage(display, pixmap, 0, 0, 1, 1, AllPlanes, ZPixmap);
    if (back == nullptr) {
        connection.Sync();
        return false;
    }
    const bool same = (XGetPixel(back, 0, 0) & 0xffffff) == (cookie & 0xffffff);
    XDestroyImage(back);
    return connection.Sync() == 0 && same;
}

// Draws the root a band at a time into memory shared with the X server (MIT-SHM), which copies each
// into `pixmap`: no pixels go through the connection. False, before anything is drawn, where that
// cannot be (no extension, the server in another IPC namespace, another pixel layout).
bool PutShared(X11Connection &connection, Pixmap pixmap, int width, int height, const X11RootDraw &draw)
{
    Display *display = *connection;
    if (!XShmQueryExtension(display))
        return false;
    const int screen = DefaultScreen(display);
    Visual *visual = DefaultVisual(display, screen);
    const int band = std::min(BandRows(width), height);
    XShmSegmentInfo segment{};
    std::unique_ptr<XImage, ImageDeleter> image(
        XShmCreateImage(display, visual, static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, nullptr,
                        &segment, static_cast<unsigned>(width), static_cast<unsigned>(band)));
    if (!image)
        return false;
    // The image owns neither the memory nor the segment's description.
    const auto release = [&] { image->data = image->obdata = nullptr; };
    if (!TakesPixelsAsTheyAre(image.get(), visual)) {
        release();
        return false;
    }
    segment.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(band), IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        release();
        return false;
    }
    void *address = shmat(segment.shmid, nullptr, 0);
    // Marked for removal at once (Linux still lets the server attach it): it goes with the last process
    // that has it, so a kill at any point leaves no segment behind.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void *>(-1)) {
        release();
        return false;
    }
    const std::unique_ptr<void, SharedMemoryDetacher> attached(address);
    segment.shmaddr = image->data = static_cast<char *>(address);
    segment.readOnly = True;
    if (!XShmAttach(display, &segment) || connection.Sync() != 0) {
        release();
        return false;
    }
    // A server in another IPC namespace may know the same id as some other memory: one pixel put
    // through the segment and read back through the connection shows that it reads ours.
    if (!ServerReadsOurs(connection, pixmap, image.get(), address)) {
        XShmDetach(display, &segment);
        connection.Sync();
        release();
        return false;
    }
    // Detached again before the connection is kept (RetainPermanent), which would keep the attachment
    // and the memory in the server for good: the server handles the requests in order.
    struct ServerDetach {
        Display *display;
        XShmSegmentInfo &segment;
        ~ServerDetach() { XShmDetach(display, &segment); }
    };
    const ServerDetach detach{display, segment};
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    try {
        for (int first = 0; first < height; first += band) {
            const int count = std::min(band, height - first);
            draw(reinterpret_cast<uint32_t *>(address), width, height, first, count);
            XShmPutImage(display, pixmap, gc, image.get(), 0, 0, 0, first, static_cast<unsigned>(width),
                         static_cast<unsigned>(count), False);
            // The server has read the band once this returns: only then is it drawn over.
            if (const int error = connection.Sync(); error != 0)
                throw Exception(
                    FormatMessage("壁紙を設定できません: X エラー %s (ピクスマップ)", {std::to_string(error)}));
        }
    } catch (...) {
        XFreeGC(display, gc);
        release();
        throw;
    }
    XFreeGC(display, gc);
    release();
    return true;
}

// Publishes `pixmap` as the root's background (see SetX11RootPicture).
X11RootPixmaps Publish(X11Connection &connection, Pixmap pixmap)
{
    Display *display = *connection;
    const Window root = RootWindow(display, DefaultScreen(display));
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

} // namespace

X11RootPixmaps SetX11RootPicture(const std::string &displayName, const X11RootDraw &draw)
{
    X11Connection connection(displayName);
    Display *display = *connection;
    const int screen = DefaultScreen(display);
    if (DefaultVisual(display, screen)->c_class != TrueColor || DefaultDepth(display, screen) < 15)
        throw Exception("壁紙を設定できません: X の画面が TrueColor ではありません");
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    // Made before anything else of ours, so that it takes the first id the server gives this connection.
    const Pixmap pixmap =
        XCreatePixmap(display, RootWindow(display, screen), static_cast<unsigned>(width), static_cast<unsigned>(height),
                      static_cast<unsigned>(DefaultDepth(display, screen)));
    try {
        if (!IsLocalDisplay(displayName) || !PutShared(connection, pixmap, width, height, draw))
            PutPlain(display, pixmap, width, height, draw);
    } catch (...) {
        XFreePixmap(display, pixmap); // on a broken connection a call that fails quietly
        throw;
    }
    if (const int error = connection.Sync(); error != 0) {
        XFreePixmap(display, pixmap);
        throw Exception(FormatMessage("壁紙を設定できません: X エラー %s (ピクスマップ)", {std::to_string(error)}));
    }
    return Publish(connection, pixmap);
}
