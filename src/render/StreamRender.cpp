#include "render/StreamRender.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "render/BmpFileRows.h"
#include "render/JpegRows.h"
#include "render/JpegShrink.h"
#include "render/PixelMemory.h"
#include "render/PlainBmpRows.h"
#include "render/ReadOnlyFile.h"
#include "render/RowPipeline.h"

#include <cerrno>
#include <exception>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace {

bool Covers(int64_t width, int64_t height, const TWallPaperSize &size)
{
    return width >= size.Width && height >= size.Height;
}

// A JPEG decoded at the scale that covers the wallpaper and handed on row by row.
class JpegToSink : public JpegShrinkTarget {
public:
    JpegToSink(std::string name, int32_t correction, int32_t screenWidth, int32_t screenHeight,
               const StreamOutput &output)
        : name_(std::move(name)), correction_(correction), screenWidth_(screenWidth), screenHeight_(screenHeight),
          output_(output)
    {
    }

    bool Configure(unsigned width, unsigned height, bool cmyk, JpegDecodeSettings &settings) noexcept override
    {
        try {
            if (width > INT32_MAX || height > INT32_MAX)
                throw EInvalidGraphic(JpegErrorMessage(name_.c_str(), JpegFault::TooLarge));
            size_ = ComputeWallPaperSize(int32_t(width), int32_t(height), correction_, screenWidth_, screenHeight_);
            const TWallPaperSize target = output_.Exact ? *output_.Exact : *size_;
            CheckPixelMemory(target.Width, target.Height, 4);
            const JpegScale scale = JpegScaleFor(width, height, target.Width, target.Height, JpegScaleGoal::Fastest);
            if (scale.enlarges)
                return false; // enlarged: the general path's smooth scaling
            // At the scale's own size the rows are the picture exactly as the general path decodes it.
            settings.ScaleNumerator = unsigned(scale.numerator);
            settings.FancyUpsampling = scale.fancyUpsampling;
            settings.Format = RowFormat::Bgr24;
            ShrinkTo(unsigned(target.Width), unsigned(target.Height), output_.Format, output_.Open, cmyk, settings);
            return true;
        } catch (...) {
            Keep();
            return false;
        }
    }

    // After the decode: raises what went wrong on the way; otherwise every row is in the sink.
    std::optional<TWallPaperSize> Finish(bool decoded)
    {
        JpegShrinkTarget::Finish();
        if (!decoded)
            return std::nullopt;
        return size_;
    }

    const std::string &Name() const { return name_; }

private:
    std::string name_; // UTF-8, for messages
    int32_t correction_;
    int32_t screenWidth_;
    int32_t screenHeight_;
    const StreamOutput &output_;
    std::optional<TWallPaperSize> size_;
};

std::optional<TWallPaperSize> StreamJpeg(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                                         int32_t screenHeight, const StreamOutput &output)
{
    const ReadOnlyFile picture(OpenFileToRead(cp932PicturePath));
    JpegToSink target(Cp932ToUtf8Lossy(cp932PicturePath), correction, screenWidth, screenHeight, output);
    bool decoded = false;
    try {
        decoded = DecodeJpeg(JpegInput{nullptr, 0, picture.Fd(), target.Name().c_str()}, target);
    } catch (const EInvalidGraphic &) {
        target.Finish(false); // a failure of the output wins over the decoder's
        throw;
    }
    return target.Finish(decoded);
}

std::optional<TWallPaperSize> StreamPlainBmp(const std::string &cp932PicturePath, int32_t correction,
                                             int32_t screenWidth, int32_t screenHeight, const StreamOutput &output)
{
    const std::optional<PlainBmpLayout> layout = ReadPlainBmpLayout(cp932PicturePath);
    if (!layout)
        return std::nullopt;
    WallPaperStream stream(unsigned(layout->Width), unsigned(layout->Height), RowFormatOf(*layout), correction,
                           screenWidth, screenHeight, output);
    if (stream.Enlarges())
        return std::nullopt;
    try {
        ReadPlainBmpRows(cp932PicturePath, *layout, stream.Rows());
    } catch (const EInvalidGraphic &) {
        stream.Rows().Finish(); // a failure of the output wins over the reader's
        throw;
    }
    return stream.Commit();
}

} // namespace

bool StreamRows(RowSource &source, const TWallPaperSize &size, const std::string &cp932OutputPath)
{
    std::optional<BmpFileRows> file;
    RowPipelineReceiver receiver(
        unsigned(size.Width), unsigned(size.Height), RowFormat::Bgr24,
        [&](unsigned width, unsigned height) -> RowSink & { return file.emplace(cp932OutputPath, width, height); });
    if (!source.Deliver(receiver) || !receiver.Finish())
        return false;
    file->Commit();
    return true;
}

StreamFormat BuiltInStreamFormat(const std::string &cp932Path)
{
    std::string ext = ExtractFileExt(cp932Path);
    if (!ext.empty())
        ext.erase(0, 1);
    ext = LowerAsciiText(ext);
    if (ext == "bmp")
        return StreamFormat::PlainBmp;
    if (ext == "jpg" || ext == "jpeg")
        return StreamFormat::Jpeg;
    return StreamFormat::None;
}

std::optional<TWallPaperSize> StreamWallPaperRows(const std::string &cp932PicturePath, StreamFormat format,
                                                  int32_t correction, int32_t screenWidth, int32_t screenHeight,
                                                  const StreamOutput &output)
{
    switch (format) {
    case StreamFormat::Jpeg:
        return StreamJpeg(cp932PicturePath, correction, screenWidth, screenHeight, output);
    case StreamFormat::PlainBmp:
        return StreamPlainBmp(cp932PicturePath, correction, screenWidth, screenHeight, output);
    case StreamFormat::None:
        break;
    }
    return std::nullopt;
}

std::optional<TWallPaperSize> StreamWallPaper(const std::string &cp932PicturePath, StreamFormat format,
                                              int32_t correction, int32_t screenWidth, int32_t screenHeight,
                                              const std::string &cp932OutputPath)
{
    std::optional<BmpFileRows> file;
    StreamOutput output;
    output.Open = [&](unsigned width, unsigned height) -> RowSink & {
        return file.emplace(cp932OutputPath, width, height);
    };
    std::optional<TWallPaperSize> size =
        StreamWallPaperRows(cp932PicturePath, format, correction, screenWidth, screenHeight, output);
    if (size)
        file->Commit();
    return size;
}

WallPaperStream::WallPaperStream(unsigned pictureWidth, unsigned pictureHeight, RowFormat format, int32_t correction,
                                 int32_t screenWidth, int32_t screenHeight, const StreamOutput &output,
                                 std::function<void(unsigned char *row)> prepare)
{
    if (pictureWidth > INT32_MAX || pictureHeight > INT32_MAX)
        throw EInvalidGraphic("画像が大きすぎます");
    size_ = ComputeWallPaperSize(int32_t(pictureWidth), int32_t(pictureHeight), correction, screenWidth, screenHeight);
    const TWallPaperSize target = output.Exact ? *output.Exact : size_;
    if (!Covers(pictureWidth, pictureHeight, target))
        return;
    CheckPixelMemory(target.Width, target.Height, 4);
    RowSink &sink = output.Open(unsigned(target.Width), unsigned(target.Height));
    pipeline_.emplace(pictureWidth, pictureHeight, format, unsigned(target.Width), unsigned(target.Height),
                      output.Format, sink, std::move(prepare));
}

TWallPaperSize WallPaperStream::Commit()
{
    pipeline_->Finish();
    return size_;
}
