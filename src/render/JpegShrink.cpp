#include "render/JpegShrink.h"

#include "platform/Exceptions.h"

void JpegShrinkTarget::ShrinkTo(unsigned width, unsigned height, RowFormat format, OpenRowSink open, bool cmyk,
                                const JpegDecodeSettings &settings)
{
    width_ = width;
    height_ = height;
    format_ = format;
    open_ = std::move(open);
    cmyk_ = cmyk;
    // CMYK pictures come as four bytes per pixel whatever was asked for, converted on the worker.
    decoded_ = cmyk ? RowFormat::Xrgb32 : settings.Format;
}

unsigned char *JpegShrinkTarget::Begin(unsigned width, unsigned height, bool adobeInverted, size_t &stride,
                                       unsigned &capacity) noexcept
{
    try {
        if (width < width_ || height < height_)
            throw EInvalidGraphic("縮小した画像が出力より小さくなっています");
        std::function<void(unsigned char *)> prepare;
        if (cmyk_)
            prepare = [width, adobeInverted](unsigned char *row) { CmykRowToXrgb(row, width, adobeInverted); };
        RowSink &sink = open_(width_, height_);
        pipeline_.emplace(width, height, decoded_, width_, height_, format_, sink, std::move(prepare));
        stride = pipeline_->Stride();
        capacity = pipeline_->BatchRows();
        return pipeline_->NextFree();
    } catch (...) {
        Keep();
        return nullptr;
    }
}

unsigned char *JpegShrinkTarget::Rows(unsigned char *filled, unsigned count) noexcept
{
    pipeline_->Submit(filled, count);
    return pipeline_->NextFree();
}

void JpegShrinkTarget::Finish()
{
    if (pipeline_)
        pipeline_->Finish(); // the sink's failure first: it is why the decode stopped
    if (failure_)
        std::rethrow_exception(failure_);
}
