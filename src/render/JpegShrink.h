#pragma once

#include "render/JpegRows.h"
#include "render/RowPipeline.h"

#include <exception>
#include <functional>
#include <optional>

// A decode whose rows are averaged down to a smaller size on a second thread and handed to a sink.
// Subclasses choose in Configure how the picture is decoded and call ShrinkTo; nothing here raises
// inside libjpeg's frames: a failure is kept and raised by Finish.
class JpegShrinkTarget : public JpegRowTarget {
public:
    unsigned char *Begin(unsigned width, unsigned height, bool adobeInverted, size_t &stride,
                         unsigned &capacity) noexcept override;
    unsigned char *Rows(unsigned char *filled, unsigned count) noexcept override;
    // After the decode, also after it raised: waits for the averaging, then raises the sink's failure
    // or one kept on the way.
    void Finish();

protected:
    // From Configure: the rows, decoded as `settings` says, go averaged to `width` x `height` rows of
    // `format` into the sink that `open` makes, for that size, when the first rows come.
    void ShrinkTo(unsigned width, unsigned height, RowFormat format, OpenRowSink open, bool cmyk,
                  const JpegDecodeSettings &settings);
    // Keeps the exception being handled, for Finish.
    void Keep() noexcept { failure_ = std::current_exception(); }

private:
    unsigned width_ = 0;
    unsigned height_ = 0;
    RowFormat format_ = RowFormat::Bgr24;
    RowFormat decoded_ = RowFormat::Bgr24;
    bool cmyk_ = false;
    OpenRowSink open_;
    std::optional<RowPipeline> pipeline_;
    std::exception_ptr failure_;
};
