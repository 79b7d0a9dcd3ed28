#include "schedule/Render.h"

#include "picture/Bitmap.h"
#include "picture/JPEGImage.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
#include "picture/PlainBmp.h"
#include "picture/SPIBmp.h"
#include "picture/StreamRender.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

#include <QPainter>

#include <algorithm>

namespace {

// The streaming reader of the class the registry gives the path: a plug-in that took the extension
// over reads it its own way.
StreamFormat RegisteredStreamFormat(const std::string &cp932PicturePath)
{
    std::string ext = ExtractFileExt(cp932PicturePath);
    if (!ext.empty())
        ext.erase(0, 1);
    const TGraphicClass *graphicClass = FindPictureClass(ext);
    if (graphicClass == &TJPEGImage::ClassInfo())
        return StreamFormat::Jpeg;
    if (graphicClass == &TBitmap::ClassInfo())
        return StreamFormat::PlainBmp;
    return StreamFormat::None;
}

// A plain BMP that is shrunk goes from its rows to the resampler; nullopt leaves every other picture,
// and enlarging, to the general path.
std::optional<ScaledWallPaper> ShrinkPlainBmpPicture(const std::string &cp932PicturePath, int32_t correction,
                                                     int32_t screenWidth, int32_t screenHeight,
                                                     const std::optional<QSize> &exactSize)
{
    std::string ext = ExtractFileExt(cp932PicturePath);
    if (!ext.empty())
        ext.erase(0, 1);
    if (FindPictureClass(ext) != &TBitmap::ClassInfo())
        return std::nullopt;
    const std::optional<PlainBmpLayout> layout = ReadPlainBmpLayout(cp932PicturePath);
    if (!layout)
        return std::nullopt;
    const TWallPaperSize size =
        ComputeWallPaperSize(layout->Width, layout->Height, correction, screenWidth, screenHeight);
    const QSize target = exactSize ? *exactSize : QSize(size.Width, size.Height);
    const bool shrinks = target.width() <= layout->Width && target.height() <= layout->Height &&
                         (target.width() < layout->Width || target.height() < layout->Height);
    if (!shrinks)
        return std::nullopt;
    CheckPixelMemory(target.width(), target.height(), 4);
    return ScaledWallPaper{ShrinkPlainBmp(cp932PicturePath, *layout, target), size};
}

void SaveBitmap24(QImage image, const std::string &cp932OutputPath)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetImage(std::move(image));
    bitmap.SaveToFile(cp932OutputPath);
}

} // namespace

ScaledWallPaper ScaleWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::optional<QSize> &exactSize)
{
    if (auto shrunk = ShrinkPlainBmpPicture(cp932PicturePath, correction, screenWidth, screenHeight, exactSize))
        return std::move(*shrunk);
    TPicture picture;
    picture.LoadFromFile(cp932PicturePath);
    const TWallPaperSize size =
        ComputeWallPaperSize(picture.Width(), picture.Height(), correction, screenWidth, screenHeight);
    const QSize target = exactSize ? *exactSize : QSize(size.Width, size.Height);
    CheckPixelMemory(target.width(), target.height(), 4);
    // The picture stretched over the whole bitmap is the bitmap: it is made at its final size at once
    // rather than drawn onto a black one of the same size.
    return ScaledWallPaper{picture.Graphic()->StretchedImage(target), size};
}

TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath)
{
    // Rows that can be read one by one go straight into their places in the file.
    if (auto size = StreamWallPaper(cp932PicturePath, RegisteredStreamFormat(cp932PicturePath), correction, screenWidth,
                                    screenHeight, cp932OutputPath))
        return *size;
    TPicture picture;
    picture.LoadFromFile(cp932PicturePath);
    const TWallPaperSize size =
        ComputeWallPaperSize(picture.Width(), picture.Height(), correction, screenWidth, screenHeight);
    CheckPixelMemory(size.Width, size.Height, 4);
    // A plug-in picture whose pixels wait for drawing hands its rows over as the plug-in decodes them.
    const auto *plugin = dynamic_cast<const TSPIBitmap *>(picture.Graphic());
    if (plugin != nullptr && size.Width <= picture.Width() && size.Height <= picture.Height())
        if (const std::unique_ptr<TRowSource> rows = plugin->RowsToDraw(QSize(size.Width, size.Height)))
            if (StreamRows(*rows, size, cp932OutputPath))
                return size;
    // The decoder's memory is gone once the scaled image is made, before the file is written.
    SaveBitmap24(picture.Graphic()->StretchedImage(QSize(size.Width, size.Height)), cp932OutputPath);
    return size;
}

QImage RenderMonitorImage(const WallPaperChoice &choice, const Monitor &monitor)
{
    // Stretching fills the monitor, so the picture is scaled to it at once; the size of the correction
    // is still worked out, so that a correction that makes no size fails as it does on one screen.
    if (choice.TileValue == 2)
        return ScaleWallPaper(choice.PicturePath, choice.Correction, monitor.Width, monitor.Height,
                              QSize(monitor.Width, monitor.Height))
            .Image;
    const QImage picture = ScaleWallPaper(choice.PicturePath, choice.Correction, monitor.Width, monitor.Height).Image;
    QImage image(monitor.Width, monitor.Height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    if (choice.TileValue == 1) {
        for (int y = 0; y < monitor.Height; y += picture.height())
            for (int x = 0; x < monitor.Width; x += picture.width())
                painter.drawImage(x, y, picture);
    } else {
        // Centred as on one screen: a larger picture is cut evenly on both sides.
        painter.drawImage((monitor.Width - picture.width()) / 2, (monitor.Height - picture.height()) / 2, picture);
    }
    return image;
}

MonitorBox RenderMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                                   const std::string &cp932OutputPath, const std::vector<std::string> &cp932PiecePaths)
{
    if (choices.empty() || layout.empty())
        throw Exception("壁紙を作れません: モニターがありません");
    const MonitorBox box = BoundingBox(layout);
    CheckPixelMemory(box.Width, box.Height, 4);
    QImage output(box.Width, box.Height, QImage::Format_RGB32);
    output.fill(Qt::black);
    {
        QPainter painter(&output);
        for (size_t i = 0; i < layout.size(); ++i) {
            const Monitor &monitor = layout[i];
            painter.drawImage(monitor.X - box.X, monitor.Y - box.Y,
                              RenderMonitorImage(choices[i % choices.size()], monitor));
        }
    }
    // The pieces first: the desktop is only told once every file is in place, and the box, which other
    // programs may read as the wallpaper, is replaced last.
    for (size_t i = 0; i < cp932PiecePaths.size() && i < layout.size(); ++i) {
        const Monitor &monitor = layout[i];
        SaveBitmap24(output.copy(monitor.X - box.X, monitor.Y - box.Y, monitor.Width, monitor.Height),
                     cp932PiecePaths[i]);
    }
    SaveBitmap24(std::move(output), cp932OutputPath);
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

void ApplyWallPaper(const std::string &cp932PicturePath, int32_t tileValue, int32_t correction,
                    const std::string &cp932WallPaperPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop)
{
    // The render's buffers are all freed by now, whether it succeeded or raised: the program then idles
    // until the next change, so the memory goes back to the system here rather than staying resident.
    struct GiveBackOnExit {
        ~GiveBackOnExit() { ReturnFreedMemory(); }
    } giveBack;
    RenderWallPaper(cp932PicturePath, correction, screen.ScreenWidth(), screen.ScreenHeight(), cp932WallPaperPath);
    registry.WriteString("Control Panel\\desktop", "TileWallpaper", std::to_string(tileValue));
    desktop.setWallpaper(cp932WallPaperPath, tileValue);
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
