#include "schedule/Render.h"

#include "picture/Bitmap.h"
#include "picture/JPEGImage.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "render/BmpFileRows.h"
#include "render/StreamRender.h"
#include "spi/SPIBmp.h"

#include <algorithm>
#include <exception>
#include <optional>

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

// A failure of the output bitmap while the picture's rows stream into it. Not one of the program's
// exceptions, so that it passes the picture's reader unchanged; the writer's own error is raised
// again once it is out.
class OutputRowsFailed : public std::exception {
public:
    explicit OutputRowsFailed(std::exception_ptr cause) { cause_ = std::move(cause); }
    const char *what() const noexcept override { return "output bitmap failed"; }
    [[noreturn]] void RaiseCause() const { std::rethrow_exception(cause_); }

private:
    std::exception_ptr cause_;
};

// The output bitmap written as the rows come, every failure of it marked as the output's. Rows that
// are missing at the end are the reader's: it stopped short.
class OutputRows : public RowSink {
public:
    OutputRows(const std::string &cp932Path, unsigned width, unsigned height)
    {
        Marked([&] { file_.emplace(cp932Path, width, height); });
    }
    void PutRow(unsigned y, const unsigned char *row) override
    {
        Marked([&] { file_->PutRow(y, row); });
    }
    void Commit()
    {
        Marked([&] { file_->Commit(); });
    }

private:
    template <class Write> static void Marked(Write &&write)
    {
        try {
            write();
        } catch (const EInvalidGraphic &) {
            throw;
        } catch (...) {
            throw OutputRowsFailed(std::current_exception());
        }
    }

    std::optional<BmpFileRows> file_;
};

// StreamWallPaper with the picture's failures raised as EPictureUnusable and the output's as they are.
std::optional<TWallPaperSize> StreamToOutput(const std::string &cp932PicturePath, int32_t correction,
                                             int32_t screenWidth, int32_t screenHeight,
                                             const std::string &cp932OutputPath)
{
    std::optional<OutputRows> file;
    StreamOutput output;
    output.Open = [&](unsigned width, unsigned height) -> RowSink & {
        return file.emplace(cp932OutputPath, width, height);
    };
    try {
        const std::optional<TWallPaperSize> size = ReadingPicture(cp932PicturePath, [&] {
            return StreamWallPaperRows(cp932PicturePath, RegisteredStreamFormat(cp932PicturePath), correction,
                                       screenWidth, screenHeight, output);
        });
        if (size)
            file->Commit();
        return size;
    } catch (const OutputRowsFailed &failure) {
        failure.RaiseCause();
    }
}

} // namespace

ScaledWallPaper ScaleWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::optional<QSize> &exactSize)
{
    return ReadingPicture(cp932PicturePath, [&] {
        TPicture picture;
        picture.LoadFromFile(cp932PicturePath);
        const TWallPaperSize size =
            ComputeWallPaperSize(picture.Width(), picture.Height(), correction, screenWidth, screenHeight);
        const QSize target = exactSize ? *exactSize : QSize(size.Width, size.Height);
        CheckPixelMemory(target.width(), target.height(), 4);
        // The picture stretched over the whole bitmap is the bitmap: it is made at its final size at once
        // rather than drawn onto a black one of the same size.
        return ScaledWallPaper{picture.Graphic()->StretchedImage(target), size};
    });
}

TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath)
{
    // Rows that can be read one by one go straight into their places in the file.
    if (auto size = StreamToOutput(cp932PicturePath, correction, screenWidth, screenHeight, cp932OutputPath))
        return *size;
    TPicture picture;
    const TWallPaperSize size = ReadingPicture(cp932PicturePath, [&] {
        picture.LoadFromFile(cp932PicturePath);
        const TWallPaperSize wanted =
            ComputeWallPaperSize(picture.Width(), picture.Height(), correction, screenWidth, screenHeight);
        CheckPixelMemory(wanted.Width, wanted.Height, 4);
        return wanted;
    });
    // A plug-in picture whose pixels wait for drawing hands its rows over as the plug-in decodes them.
    const auto *plugin = dynamic_cast<const TSPIBitmap *>(picture.Graphic());
    if (plugin != nullptr && size.Width <= picture.Width() && size.Height <= picture.Height()) {
        const std::unique_ptr<RowSource> rows =
            ReadingPicture(cp932PicturePath, [&] { return plugin->RowsToDraw(QSize(size.Width, size.Height)); });
        if (rows && StreamRows(*rows, size, cp932OutputPath))
            return size;
    }
    // The decoder's memory is gone once the scaled image is made, before the file is written. A picture
    // whose plug-in decodes only when it is drawn fails here, still as the picture's.
    QImage scaled = ReadingPicture(cp932PicturePath,
                                   [&] { return picture.Graphic()->StretchedImage(QSize(size.Width, size.Height)); });
    SaveBitmap24(std::move(scaled), cp932OutputPath);
    return size;
}

void ApplyWallPaper(const std::string &cp932PicturePath, TileMode tileValue, int32_t correction,
                    const std::string &cp932WallPaperPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop)
{
    // The render's buffers are all freed by now, whether it succeeded or raised: the program then idles
    // until the next change, so the memory goes back to the system here rather than staying resident.
    struct GiveBackOnExit {
        ~GiveBackOnExit() { ReturnFreedMemory(); }
    } giveBack;
    RenderWallPaper(cp932PicturePath, correction, screen.ScreenWidth(), screen.ScreenHeight(), cp932WallPaperPath);
    registry.WriteString("Control Panel\\desktop", "TileWallpaper", std::to_string(int32_t(tileValue)));
    desktop.setWallpaper(cp932WallPaperPath, tileValue);
}
