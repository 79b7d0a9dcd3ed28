#include "picture/RowImages.h"

#include "picture/Graphic.h"
#include "platform/Exceptions.h"
#include "render/AreaResampler.h"
#include "render/RowPipeline.h"

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

class CollectReceiver : public RowReceiver {
public:
    void Begin(int width, int height, RowFormat format) override
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
    RowFormat format_ = RowFormat::Bgr24;
};

} // namespace

std::optional<QImage> ShrinkRows(RowSource &source, const QSize &size)
{
    QImage output = AllocateImage(size, QImage::Format_BGR888);
    QImageRows rows(output);
    RowPipelineReceiver receiver(unsigned(size.width()), unsigned(size.height()), RowFormat::Bgr24,
                                 [&](unsigned, unsigned) -> RowSink & { return rows; });
    const bool delivered = source.Deliver(receiver);
    receiver.Finish();
    if (!delivered)
        return std::nullopt;
    return output;
}

std::optional<QImage> CollectRows(RowSource &source)
{
    CollectReceiver receiver;
    if (!source.Deliver(receiver))
        return std::nullopt;
    return std::move(receiver.image_);
}
