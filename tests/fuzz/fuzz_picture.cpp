// The picture loader on each built-in format, the way a wallpaper change uses it: load the file
// through LoadPicture (the first input byte picks the extension), then draw it into a small
// 24-bit bitmap and write that as a BMP file image.
#include "FuzzSupport.h"
#include "QtFuzzApp.h"
#include "picture/Bitmap.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"

#include <QPainter>

#include <algorithm>

namespace {

const char *const kExtensions[] = {"bmp", "jpg", "jpeg", "ico", "emf", "wmf", "BMP", "Jpg"};

// The picture fitted into a box of `box` pixels, as automatic correction does on a small screen.
QSize FitInto(int width, int height, int box)
{
    if (width <= 0 || height <= 0)
        return {0, 0};
    if (width <= box && height <= box)
        return {width, height};
    if (height > width)
        return {std::max(1, int(int64_t(width) * box / height)), box};
    return {box, std::max(1, int(int64_t(height) * box / width))};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    EnsureGuiApplication();
    FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    const std::string ext = kExtensions[choice % std::size(kExtensions)];
    const int box = 16 << (choice >> 4 & 3); // 16 to 128 pixels
    const std::string path = WriteScratchFile("picture." + ext, in.Rest());
    TPicture holder;
    try {
        LoadPicture(holder, path);
    } catch (const Exception &e) {
        CheckFailure(e);
        FUZZ_CHECK(holder.Graphic() == nullptr);
        return 0;
    }
    try {
        FUZZ_CHECK(holder.Graphic() != nullptr);
        FUZZ_CHECK(holder.Width() >= 0 && holder.Height() >= 0);
        const QSize size = FitInto(holder.Width(), holder.Height(), box);
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetWidth(size.width());
        bitmap.SetHeight(size.height());
        if (!size.isEmpty()) {
            QImage canvas = bitmap.Image();
            QPainter painter(&canvas);
            holder.Graphic()->Draw(painter, QRect(QPoint(0, 0), size));
            painter.end();
            bitmap.SetImage(canvas);
        }
        const std::string bmp = bitmap.SaveToBytes();
        const size_t rowBytes = (size_t(size.width()) * 3 + 3) & ~size_t(3);
        FUZZ_CHECK(bmp.size() == 54 + rowBytes * size_t(size.height()));
    } catch (const Exception &e) {
        CheckFailure(e);
    }
    return 0;
}
