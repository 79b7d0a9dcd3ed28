#include "schedule/Render.h"

#include "picture/Bitmap.h"
#include "picture/JPEGImage.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
#include "picture/SPIBmp.h"
#include "picture/StreamRender.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

#include <algorithm>

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

namespace {

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
