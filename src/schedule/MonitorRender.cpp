// One picture per monitor: each monitor's picture scaled on its own (on as many cores as there are,
// when the readers allow it), then handed to the compositor (render/MonitorCompositor.h), which lays
// each on its monitor row by row as the bitmap over every monitor and each monitor's piece are written.
#include "schedule/Render.h"

#include "platform/Exceptions.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/TileMode.h"
#include "platform/desktop/Desktop.h"
#include "render/AreaResampler.h"
#include "render/MonitorCompositor.h"
#include "render/PixelMemory.h"
#include "render/WorkerPool.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <exception>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// The built-in readers of JPEG and BMP files share nothing between pictures. Plug-ins may keep state
// of their own, and metafiles are drawn with the GUI's fonts: those stay on the calling thread.
bool ReadsOnAnyThread(const WallPaperChoice &choice)
{
    return RegisteredStreamFormat(choice.PicturePath) != StreamFormat::None;
}

// The picture in one of the two layouts whose rows are copied as they are; anything else (a picture
// with transparency) is laid on black, as on the desktop.
QImage Opaque(QImage image)
{
    if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_BGR888)
        return image;
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::black);
    QPainter(&opaque).drawImage(0, 0, image);
    return opaque;
}

// A monitor's picture, scaled for it, and how it lies on the monitor.
struct MonitorPicture {
    QImage Image; // Format_BGR888 or Format_RGB32
    TileMode TileValue = TileMode::Centre;
    int32_t Left = 0; // centred: the picture's place on the monitor (negative: cut on that side)
    int32_t Top = 0;
};

// The picture scaled straight from its file's rows, when its reader hands them out and it is not
// enlarged; a null image otherwise.
QImage StreamedPicture(const WallPaperChoice &choice, const Monitor &monitor)
{
    QImage image;
    std::optional<QImageRows> rows;
    StreamOutput output;
    output.Open = [&](unsigned width, unsigned height) -> RowSink & {
        image = QImage(int(width), int(height), QImage::Format_BGR888);
        if (image.isNull())
            throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                             {std::to_string(width), std::to_string(height)}));
        return rows.emplace(image);
    };
    if (choice.TileValue == TileMode::Stretch)
        output.Exact = TWallPaperSize{monitor.Width, monitor.Height};
    if (!StreamWallPaperRows(choice.PicturePath, RegisteredStreamFormat(choice.PicturePath), choice.Correction,
                             monitor.Width, monitor.Height, output))
        return QImage();
    return image;
}

MonitorPicture ScaleForMonitor(const WallPaperChoice &choice, const Monitor &monitor)
{
    MonitorPicture picture;
    picture.TileValue = choice.TileValue;
    // Nothing is written here: every failure is the picture's.
    picture.Image = ReadingPicture(choice.PicturePath, [&] { return StreamedPicture(choice, monitor); });
    if (picture.Image.isNull()) {
        // Stretching fills the monitor, so the picture is scaled to it at once; the size of the
        // correction is still worked out, so that a correction that makes no size fails as on one screen.
        const std::optional<QSize> exact = choice.TileValue == TileMode::Stretch
                                               ? std::optional<QSize>(QSize(monitor.Width, monitor.Height))
                                               : std::nullopt;
        picture.Image =
            Opaque(ScaleWallPaper(choice.PicturePath, choice.Correction, monitor.Width, monitor.Height, exact).Image);
    }
    // Centred as on one screen: a larger picture is cut evenly on both sides.
    picture.Left = (monitor.Width - picture.Image.width()) / 2;
    picture.Top = (monitor.Height - picture.Image.height()) / 2;
    return picture;
}

// Every monitor's picture, in layout order.
std::vector<MonitorPicture> ScaleForMonitors(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout)
{
    std::vector<MonitorPicture> pictures(layout.size());
    std::vector<std::exception_ptr> failures(layout.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < layout.size(); i = next++) {
            try {
                pictures[i] = ScaleForMonitor(choices[i % choices.size()], layout[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    const bool parallel = std::all_of(choices.begin(), choices.end(), ReadsOnAnyThread);
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::future<void>> helpers;
    for (size_t k = 1; parallel && k < std::min(layout.size(), cores); ++k) {
        try {
            helpers.push_back(WorkerPool::Shared().Submit(work));
        } catch (const std::system_error &) {
            break; // no thread to be had: the others do the work
        }
    }
    work();
    for (std::future<void> &helper : helpers)
        helper.wait();
    // The first monitor's failure, as making them in order would have raised it.
    for (const std::exception_ptr &failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    return pictures;
}

// Where the compositor finds the picture's pixels, and how it lies on its monitor.
MonitorPlacement PlacementOf(const MonitorPicture &picture)
{
    const QImage &image = picture.Image;
    MonitorPlacement placement;
    placement.picture = PixelView{image.constBits(), ptrdiff_t(image.bytesPerLine()), image.width(), image.height(),
                                  QImageRows::RowFormatOf(image)};
    placement.tiled = picture.TileValue == TileMode::Tile;
    placement.left = picture.Left;
    placement.top = picture.Top;
    return placement;
}

PixelRect RectOf(const Monitor &monitor)
{
    return PixelRect{monitor.X, monitor.Y, monitor.Width, monitor.Height};
}

} // namespace

MonitorBox RenderMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                                   const std::string &cp932OutputPath, const std::vector<std::string> &cp932PiecePaths)
{
    if (choices.empty() || layout.empty())
        throw Exception("壁紙を作れません: モニターがありません");
    const MonitorBox box = BoundingBox(layout);
    CheckPixelMemory(box.Width, box.Height, 4);
    const std::vector<MonitorPicture> pictures = ScaleForMonitors(choices, layout);
    // The pieces first: the desktop is only told once every file is in place, and the box, which other
    // programs may read as the wallpaper, is replaced last.
    std::vector<MonitorPlacement> placements;
    std::vector<PixelRect> monitors;
    for (size_t i = 0; i < layout.size(); ++i) {
        placements.push_back(PlacementOf(pictures[i]));
        monitors.push_back(RectOf(layout[i]));
    }
    for (size_t i = 0; i < cp932PiecePaths.size() && i < layout.size(); ++i)
        WriteMonitorPiece(placements[i], layout[i].Width, layout[i].Height, cp932PiecePaths[i]);
    WriteMonitorBox(placements, monitors, PixelRect{box.X, box.Y, box.Width, box.Height}, cp932OutputPath);
    return box;
}

std::string MonitorPiecePath(const std::string &cp932OutputPath, const MonitorLayout &layout, size_t index)
{
    // Connector names are plain ASCII in practice; anything else, or no name, gives the monitor's number.
    std::string name = layout[index].Name;
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
    if (!plain)
        name = "monitor" + std::to_string(index + 1);
    const std::string ext = ExtractFileExt(cp932OutputPath);
    return cp932OutputPath.substr(0, cp932OutputPath.size() - ext.size()) + "." + name + (ext.empty() ? ".bmp" : ext);
}

void ApplyMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                            const std::string &cp932WallPaperPath, Registry &registry, Desktop &desktop)
{
    struct GiveBackOnExit {
        ~GiveBackOnExit() { ReturnFreedMemory(); }
    } giveBack;
    const PerMonitorMethod method = desktop.PerMonitor();
    if (method == PerMonitorMethod::None)
        desktop.setMonitorWallpapers(cp932WallPaperPath, layout, {}); // raises the desktop's refusal
    std::vector<std::string> pieces;
    if (method == PerMonitorMethod::Pieces)
        for (size_t i = 0; i < layout.size(); ++i)
            pieces.push_back(MonitorPiecePath(cp932WallPaperPath, layout, i));
    RenderMonitorWallPapers(choices, layout, cp932WallPaperPath, pieces);
    // Every picture is placed in the bitmap already: the desktop shows it as it is.
    registry.WriteString("Control Panel\\desktop", "TileWallpaper", "0");
    desktop.setMonitorWallpapers(cp932WallPaperPath, layout, pieces);
}
