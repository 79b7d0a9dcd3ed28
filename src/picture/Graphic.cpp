#include "picture/Graphic.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <QBuffer>
#include <QPainter>

const TGraphicClass &TGraphic::ClassInfo()
{
    static const TGraphicClass info{"TGraphic", nullptr, nullptr};
    return info;
}

void TGraphic::LoadFromFile(const std::string &cp932Path)
{
    // Read straight into the buffer the stream shares, so that a big photo is held once.
    QByteArray bytes;
    ReadWholeFileInto(cp932Path, [&bytes](size_t size) {
        bytes.resize(static_cast<qsizetype>(size));
        return bytes.data();
    });
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    LoadFromStream(buffer);
}

void TGraphic::Draw(QPainter &painter, const QRect &rect) const
{
    if (rect.isEmpty() || Empty())
        return;
    painter.drawImage(rect.topLeft(), StretchedImage(rect.size()));
}

void TGraphic::Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow, const QRect &r,
                        const std::string &msg)
{
    if (OnProgress)
        OnProgress(*this, stage, percentDone, redrawNow, r, msg);
}

QImage StretchImage(const QImage &image, const QSize &size)
{
    CheckPixelMemory(size.width(), size.height(), 4);
    if (size.isEmpty())
        return QImage();
    // Premultiplied alpha keeps transparent pixels from bleeding into their neighbours while filtering;
    // dropping alpha afterwards is the same as drawing on black.
    QImage source = image;
    if (source.hasAlphaChannel()) {
        if (source.format() != QImage::Format_ARGB32_Premultiplied)
            source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else if (source.format() != QImage::Format_RGB32) {
        source = source.convertToFormat(QImage::Format_RGB32);
    }
    QImage result =
        source.size() == size ? source : source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (result.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    if (result.format() != QImage::Format_RGB32)
        result = result.convertToFormat(QImage::Format_RGB32);
    return result;
}
