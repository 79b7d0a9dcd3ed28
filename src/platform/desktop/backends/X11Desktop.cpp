#include "platform/desktop/backends/BmpRowReader.h"
#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/ReadBack.h"
#include "platform/desktop/backends/RootPicture.h"
#include "platform/desktop/backends/X11Root.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <QImage>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

std::string Hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

// Another kind of picture than the program's own bitmap, read by Qt (within Qt's allocation limit).
class ImageRows : public PictureRows {
public:
    explicit ImageRows(QImage image) : image_(std::move(image)) {}
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void ReadRow(int y, uint32_t *out) override
    {
        const auto *row = reinterpret_cast<const uint32_t *>(image_.constScanLine(y));
        for (int x = 0; x < image_.width(); ++x)
            out[x] = row[x] & 0xffffffu;
    }

private:
    QImage image_;
};

// Draws the bitmap on the root window ourselves: centred on black, tiled from the top-left corner,
// or stretched to the screen. The bitmap's rows are read from the file as they are needed, so a
// picture of any size the program writes is shown, not only one that fits in Qt's image limit.
class X11Desktop : public SpanningDesktop {
public:
    explicit X11Desktop(std::string display) : display_(std::move(display)) {}
    const char *Name() const override { return "x11"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override
    {
        const std::unique_ptr<PictureRows> picture = Open(cp932Path);
        Show([&](int width, int height) {
            if (tile == TileMode::Stretch)
                return RowsStretchedToFit(*picture, width, height);
            if (tile == TileMode::Tile)
                return RowsTiledFromCorner(*picture, width);
            return RowsPlacedOnBlack(*picture, width, (width - picture->Width()) / 2, (height - picture->Height()) / 2);
        });
    }

private:
    // X root coordinates are the monitors' device pixels: the box goes at its own place, black around it.
    void ShowBox(const std::string &cp932BoxPath, const MonitorLayout &layout) override
    {
        const std::unique_ptr<PictureRows> box = Open(cp932BoxPath);
        const MonitorBox at = BoundingBox(layout);
        Show([&](int width, int) { return RowsPlacedOnBlack(*box, width, at.X, at.Y); });
    }
    static std::unique_ptr<PictureRows> Open(const std::string &cp932Path)
    {
        const std::string path = ToNativePath(cp932Path);
        if (std::unique_ptr<BmpRowReader> bitmap = BmpRowReader::Open(path))
            return bitmap;
        QImage picture(QString::fromStdString(path));
        if (picture.isNull())
            throw Exception(FormatMessage("壁紙を設定できません: %s を読めません", {path}));
        return std::make_unique<ImageRows>(picture.convertToFormat(QImage::Format_RGB32));
    }

    // The root's rows, made for its size as the server reports it while the pixmap is made.
    using MakeRows = std::function<std::unique_ptr<RootRows>(int width, int height)>;
    void Show(const MakeRows &makeRows)
    {
        std::unique_ptr<RootRows> rows;
        const X11RootPixmaps pixmaps =
            SetX11RootPicture(display_, [&](uint32_t *pixels, int width, int height, int first, int count) {
                if (!rows)
                    rows = makeRows(width, height);
                for (int y = first; y < first + count; ++y)
                    rows->Row(y, pixels + size_t(y - first) * size_t(width));
            });
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
