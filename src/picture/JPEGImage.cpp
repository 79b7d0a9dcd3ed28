#include "picture/JPEGImage.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "render/AreaResampler.h"
#include "render/JpegRows.h"
#include "render/JpegShrink.h"

#include <QBuffer>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

JpegInput InputOf(const QByteArray &data, const std::string &name)
{
    return JpegInput{reinterpret_cast<const unsigned char *>(data.constData()), size_t(data.size()), -1, name.c_str()};
}

// Reads the header only.
class HeaderTarget : public JpegRowTarget {
public:
    bool Configure(unsigned width, unsigned height, bool, JpegDecodeSettings &) noexcept override
    {
        Width = width;
        Height = height;
        return false;
    }
    unsigned char *Begin(unsigned, unsigned, bool, size_t &, unsigned &) noexcept override { return nullptr; }
    unsigned char *Rows(unsigned char *, unsigned) noexcept override { return nullptr; }

    unsigned Width = 0;
    unsigned Height = 0;
};

// The whole picture at a scale, decoded into a QImage of its size.
class ImageTarget : public JpegRowTarget {
public:
    ImageTarget(unsigned scaleNumerator, bool fancyUpsampling) : scale_(scaleNumerator), fancy_(fancyUpsampling) {}

    bool Configure(unsigned, unsigned, bool cmyk, JpegDecodeSettings &settings) noexcept override
    {
        settings.ScaleNumerator = scale_;
        settings.FancyUpsampling = fancy_;
        settings.Format = RowFormat::Xrgb32;
        cmyk_ = cmyk;
        return true;
    }
    unsigned char *Begin(unsigned width, unsigned height, bool adobeInverted, size_t &stride,
                         unsigned &capacity) noexcept override
    {
        capacity = height;
        adobeInverted_ = adobeInverted;
        try {
            CheckPixelMemory(width, height, 4);
            Image = QImage(int(width), int(height), QImage::Format_RGB32);
            if (Image.isNull())
                throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                                 {std::to_string(width), std::to_string(height)}));
        } catch (...) {
            Failure = std::current_exception();
            return nullptr;
        }
        stride = size_t(Image.bytesPerLine());
        return Image.bits();
    }
    unsigned char *Rows(unsigned char *filled, unsigned count) noexcept override
    {
        return filled + size_t(Image.bytesPerLine()) * count;
    }
    // CMYK rows arrive as four bytes per pixel in the RGB32 buffer; they are converted once decoded.
    void ConvertCmyk()
    {
        if (cmyk_)
            for (int y = 0; y < Image.height(); ++y)
                CmykRowToXrgb(Image.scanLine(y), unsigned(Image.width()), adobeInverted_);
    }

    QImage Image;
    std::exception_ptr Failure;

private:
    unsigned scale_;
    bool fancy_;
    bool cmyk_ = false;
    bool adobeInverted_ = false;
};

// The picture at a scale, averaged down to the output's size row by row.
class ShrinkTarget : public JpegShrinkTarget {
public:
    ShrinkTarget(const JpegScale &scale, QImage &output) : scale_(scale), output_(output), rows_(output) {}

    bool Configure(unsigned, unsigned, bool cmyk, JpegDecodeSettings &settings) noexcept override
    {
        settings.ScaleNumerator = unsigned(scale_.numerator);
        settings.FancyUpsampling = scale_.fancyUpsampling;
        settings.Format = RowFormat::Xrgb32;
        try {
            ShrinkTo(
                unsigned(output_.width()), unsigned(output_.height()), QImageRows::RowFormatOf(output_),
                [this](unsigned, unsigned) -> RowSink & { return rows_; }, cmyk, settings);
        } catch (...) {
            Keep();
            return false;
        }
        return true;
    }

private:
    JpegScale scale_;
    QImage &output_;
    QImageRows rows_;
};

} // namespace

const TGraphicClass &TJPEGImage::ClassInfo()
{
    return GraphicClassOf<TJPEGImage, TGraphic>("TJPEGImage");
}

void TJPEGImage::LoadFromFile(const std::string &cp932Path)
{
    loadingName_ = Cp932ToUtf8Lossy(cp932Path);
    try {
        TGraphic::LoadFromFile(cp932Path);
    } catch (...) {
        loadingName_.clear();
        throw;
    }
}

void TJPEGImage::LoadFromStream(QIODevice &stream)
{
    // Named only when LoadFromFile reads the stream.
    std::string name = std::exchange(loadingName_, std::string());
    QByteArray data;
    if (auto *buffer = qobject_cast<QBuffer *>(&stream); buffer != nullptr && buffer->pos() == 0)
        data = buffer->data(); // shares the memory stream's bytes
    else
        data = stream.readAll();
    HeaderTarget header;
    DecodeJpeg(InputOf(data, name), header);
    if (header.Width > INT32_MAX || header.Height > INT32_MAX)
        throw EInvalidGraphic(JpegErrorMessage(name.c_str(), JpegFault::TooLarge));
    data_ = std::move(data);
    name_ = std::move(name);
    width_ = int(header.Width);
    height_ = int(header.Height);
}

int TJPEGImage::ChooseScale(int width, int height, const QSize &target)
{
    return JpegScaleFor(width, height, target.width(), target.height(), JpegScaleGoal::Nearest).numerator;
}

QImage TJPEGImage::Decode(int scaleNumerator, bool fancyUpsampling) const
{
    if (data_.isEmpty())
        return QImage();
    ImageTarget target(unsigned(std::clamp(scaleNumerator, 1, 8)), fancyUpsampling);
    const bool decoded = DecodeJpeg(InputOf(data_, name_), target);
    if (target.Failure)
        std::rethrow_exception(target.Failure);
    if (!decoded)
        return QImage();
    target.ConvertCmyk();
    return std::move(target.Image);
}

QImage TJPEGImage::StretchedImage(const QSize &size) const
{
    CheckPixelMemory(size.width(), size.height(), 4);
    if (size.isEmpty() || data_.isEmpty())
        return QImage();
    const JpegScale scale = JpegScaleFor(width_, height_, size.width(), size.height(), JpegScaleGoal::Nearest);
    if (scale.shrinks)
        return DecodeShrunk(scale, size);
    QImage decoded = Decode(scale.numerator, scale.fancyUpsampling);
    return StretchImage(decoded, size);
}

QImage TJPEGImage::DecodeShrunk(const JpegScale &scale, const QSize &size) const
{
    // BMP's own row layout: the bitmap writer copies these rows as they are.
    QImage output(size, QImage::Format_BGR888);
    if (output.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    ShrinkTarget target(scale, output);
    try {
        DecodeJpeg(InputOf(data_, name_), target);
    } catch (const EInvalidGraphic &) {
        target.Finish(); // a failure of the output wins over the decoder's
        throw;
    }
    target.Finish();
    return output;
}
