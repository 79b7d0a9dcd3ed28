#include "picture/RowImages.h"

#include "picture/AreaResampler.h"
#include "picture/Graphic.h"
#include "picture/RowPipeline.h"
#include "platform/Exceptions.h"

#include <optional>
#include <string>

namespace {

QImage AllocateImage(const QSize &size, QImage::Format format)
{
    CheckPixelMemory(size.width(), size.height(), 4);
    QImage image(size, format);
    if (image.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    return image;
}

// The core's name for each layout of the rows.
RowFormat RowFormatOf(TRowFormat format)
{
    return format == TRowFormat::Bgr24 ? RowFormat::Bgr24 : RowFormat::Xrgb32;
}

// Feeds the rows to the area resampler on its worker thread, so that the reading thread only copies.
// Rows that already have the output's size are taken as they are (in BMP's byte order).
class ShrinkReceiver : public TRowReceiver {
public:
    explicit ShrinkReceiver(QImage &output) : output_(output), rows_(output) {}

    void Begin(int width, int height, TRowFormat format) override
    {
        pipeline_.emplace(unsigned(width), unsigned(height), RowFormatOf(format), unsigned(output_.width()),
                          unsigned(output_.height()), RowFormat::Bgr24, rows_);
    }

    void Rows(int, int count, const unsigned char *pixels, ptrdiff_t stride) override
    {
        pipeline_->PutRows(pixels, stride, unsigned(count));
    }

    // Averages what is left; the output is complete once this returns.
    void Finish()
    {
        if (pipeline_)
            pipeline_->Finish();
    }

private:
    QImage &output_;
    QImageRows rows_;
    std::optional<RowPipeline> pipeline_;
};

class CollectReceiver : public TRowReceiver {
public:
    void Begin(int width, int height, TRowFormat format) override
    {
        image_ = AllocateImage(QSize(width, height), QImage::Format_RGB32);
        format_ = format;
    }

    void Rows(int y, int count, const unsigned char *pixels, ptrdiff_t stride) override
    {
        const int bytesPerPixel = BytesPerPixel(format_);
        for (int i = 0; i < count; ++i, pixels += stride) {
            auto *out = reinterpret_cast<uint32_t *>(image_.scanLine(y + i));
            const unsigned char *p = pixels;
            for (int x = 0; x < image_.width(); ++x, p += bytesPerPixel)
                out[x] = 0xff000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    }

    QImage image_;

private:
    TRowFormat format_ = TRowFormat::Bgr24;
};

} // namespace

std::optional<QImage> ShrinkRows(TRowSource &source, const QSize &size)
{
    QImage output = AllocateImage(size, QImage::Format_BGR888);
    ShrinkReceiver receiver(output);
    const bool delivered = source.Deliver(receiver);
    receiver.Finish();
    if (!delivered)
        return std::nullopt;
    return output;
}

std::optional<QImage> CollectRows(TRowSource &source)
{
    CollectReceiver receiver;
    if (!source.Deliver(receiver))
        return std::nullopt;
    return std::move(receiver.image_);
}
