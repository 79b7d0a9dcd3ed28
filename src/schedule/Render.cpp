#include "schedule/Render.h"

#include "picture/Bitmap.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
#include "picture/PlainBmp.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

namespace {

// A plain BMP that is shrunk goes from its rows to the resampler; nullopt leaves every other picture,
// and enlarging, to the general path.
std::optional<TWallPaperSize> RenderShrunkPlainBmp(const std::string &cp932PicturePath, int32_t correction,
                                                   int32_t screenWidth, int32_t screenHeight,
                                                   const std::string &cp932OutputPath)
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
    const bool shrinks = size.Width <= layout->Width && size.Height <= layout->Height &&
                         (size.Width < layout->Width || size.Height < layout->Height);
    if (!shrinks)
        return std::nullopt;
    CheckPixelMemory(size.Width, size.Height, 4);
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetImage(ShrinkPlainBmp(cp932PicturePath, *layout, QSize(size.Width, size.Height)));
    bitmap.SaveToFile(cp932OutputPath);
    return size;
}

} // namespace

TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath)
{
    if (const auto size =
            RenderShrunkPlainBmp(cp932PicturePath, correction, screenWidth, screenHeight, cp932OutputPath))
        return *size;
    TPicture picture;
    picture.LoadFromFile(cp932PicturePath);
    const TWallPaperSize size =
        ComputeWallPaperSize(picture.Width(), picture.Height(), correction, screenWidth, screenHeight);
    CheckPixelMemory(size.Width, size.Height, 4);

    // The picture stretched over the whole bitmap is the bitmap: it is made at its final size at once
    // rather than drawn onto a black one of the same size.
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetImage(picture.Graphic()->StretchedImage(QSize(size.Width, size.Height)));
    picture.SetGraphic(nullptr); // the decoder's memory goes before the file is written
    bitmap.SaveToFile(cp932OutputPath);
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
