#include "schedule/Render.h"

#include "picture/Bitmap.h"
#include "picture/Picture.h"
#include "platform/Memory.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath)
{
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
