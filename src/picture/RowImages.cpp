#include "picture/RowImages.h"

#include "picture/Graphic.h"
#include "picture/ShrinkWorker.h"
#include "platform/Exceptions.h"

#include <cstring>
#include <functional>
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

// Widens 3-byte pixels packed at the start of `row` to 0xffRRGGBB in place. Working from the end, no
// pixel is overwritten before it was read.
void WidenBgr(uint32_t *row, unsigned width)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(row);
    for (unsigned x = width; x-- > 0;) {
        const unsigned char *p = bytes + size_t(x) * 3;
        row[x] = 0xff000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
}

// Feeds the rows to the area resampler on its worker thread, 3-byte rows widened there, so that the
// reading thread only copies. Rows that already have the output's size are copied into it.
class ShrinkReceiver : public TRowReceiver {
public:
    explicit ShrinkReceiver(QImage &output) : output_(output) {}

    void Begin(int width, int height, TRowFormat format) override
    {
        width_ = unsigned(width);
        format_ = format;
        if (QSize(width, height) == output_.size())
            return;
        std::function<void(uint32_t *)> prepare;
        if (format == TRowFormat::Bgr24)
            prepare = [width = width_](uint32_t *row) { WidenBgr(row, width); };
        worker_.emplace(width_, unsigned(height), output_, std::move(prepare));
    }

    void Rows(int y, int count, const unsigned char *pixels, ptrdiff_t stride) override
    {
        const size_t bytes = size_t(width_) * BytesPerPixel(format_);
        for (int i = 0; i < count; ++i, pixels += stride) {
            if (!worker_) {
                CopyRow(y + i, pixels);
                continue;
            }
            if (batch_ == nullptr) {
                batch_ = worker_->NextFree();
                filled_ = 0;
            }
            std::memcpy(batch_ + size_t(filled_) * width_ * 4, pixels, bytes);
            if (++filled_ == ShrinkWorker::kBatchRows) {
                worker_->Submit(batch_, filled_);
                batch_ = nullptr;
            }
        }
    }

    // Averages what is left; the output is complete once this returns.
    void Finish()
    {
        if (!worker_)
            return;
        if (batch_ != nullptr)
            worker_->Submit(batch_, filled_);
        batch_ = nullptr;
        worker_->Finish();
    }

private:
    void CopyRow(int y, const unsigned char *pixels)
    {
        unsigned char *out = output_.scanLine(y);
        if (format_ == TRowFormat::Bgr24) {
            std::memcpy(out, pixels, size_t(width_) * 3);
            return;
        }
        for (unsigned x = 0; x < width_; ++x, out += 3, pixels += 4) {
            out[0] = pixels[0];
            out[1] = pixels[1];
            out[2] = pixels[2];
        }
    }

    QImage &output_;
    unsigned width_ = 0;
    TRowFormat format_ = TRowFormat::Bgr24;
    std::optional<ShrinkWorker> worker_;
    unsigned char *batch_ = nullptr;
    unsigned filled_ = 0;
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
