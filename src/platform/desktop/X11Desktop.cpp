#include "platform/desktop/DesktopBackends.h"
#include "platform/desktop/ReadBack.h"
#include "platform/desktop/X11Root.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

std::string Hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

// Draws the bitmap on the root window ourselves: centred on black, tiled from the top-left corner,
// or stretched to the screen.
class X11Desktop : public ReadBackDesktop {
public:
    explicit X11Desktop(std::string display) : display_(std::move(display)) {}
    const char *Name() const override { return "x11"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        const QImage picture = Load(cp932Path);
        const X11RootSize root = QueryX11RootSize(display_);
        QImage screen;
        if (tileValue == 2) {
            screen = picture.scaled(root.Width, root.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        } else {
            screen = QImage(root.Width, root.Height, QImage::Format_RGB32);
            screen.fill(Qt::black);
            QPainter painter(&screen);
            if (tileValue == 1) {
                for (int y = 0; y < root.Height; y += picture.height())
                    for (int x = 0; x < root.Width; x += picture.width())
                        painter.drawImage(x, y, picture);
            } else {
                painter.drawImage((root.Width - picture.width()) / 2, (root.Height - picture.height()) / 2, picture);
            }
        }
        Show(screen);
    }
    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Spanned; }
    // X root coordinates are the monitors' device pixels: the box goes at its own place, black around it.
    void setMonitorWallpapers(const std::string &cp932BoxPath, const MonitorLayout &layout,
                              const std::vector<std::string> &) override
    {
        const QImage box = Load(cp932BoxPath);
        const MonitorBox at = BoundingBox(layout);
        const X11RootSize root = QueryX11RootSize(display_);
        QImage screen(root.Width, root.Height, QImage::Format_RGB32);
        screen.fill(Qt::black);
        {
            QPainter painter(&screen);
            painter.drawImage(at.X, at.Y, box);
        }
        Show(screen);
        lastReadBack_ = SpannedReadBack(layout, lastReadBack_);
    }

private:
    static QImage Load(const std::string &cp932Path)
    {
        const std::string path = ToNativePath(cp932Path);
        QImage picture(QString::fromStdString(path));
        if (picture.isNull())
            throw Exception(FormatMessage("壁紙を設定できません: %s を読めません", {path}));
        return picture.convertToFormat(QImage::Format_RGB32);
    }

    void Show(const QImage &screen)
    {
        const X11RootPixmaps pixmaps =
            SetX11RootPixels(display_, reinterpret_cast<const uint32_t *>(screen.constBits()), screen.width(),
                             screen.height(), int(screen.bytesPerLine() / 4));
        lastReadBack_ = "_XROOTPMAP_ID=" + Hex(pixmaps.Shown);
        if (pixmaps.Shown != pixmaps.Created)
            ThrowNotShown("X11 のルートウィンドウ", "_XROOTPMAP_ID " + Hex(pixmaps.Shown),
                          "別のプログラムが同時に壁紙を設定しています");
    }

    std::string display_;
};

} // namespace

std::unique_ptr<Desktop> CreateX11Desktop(const std::string &display)
{
    return std::make_unique<X11Desktop>(display);
}
