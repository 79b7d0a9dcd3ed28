#include "picture/Icon.h"

#include "platform/Exceptions.h"

#include <QIODevice>
#include <QImageReader>

const TGraphicClass &TIcon::ClassInfo()
{
    return GraphicClassOf<TIcon, TGraphic>("TIcon");
}

void TIcon::LoadFromStream(QIODevice &stream)
{
    QImageReader reader(&stream, "ico");
    // Only icons: Qt would otherwise guess the format from the data and read any other format too.
    reader.setAutoDetectImageFormat(false);
    QImage best;
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        if (size.isValid())
            CheckPixelMemory(size.width(), size.height(), 4);
        QImage image;
        if (!reader.read(&image) || image.isNull())
            continue;
        if (int64_t(image.width()) * image.height() > int64_t(best.width()) * best.height())
            best = std::move(image);
    }
    if (best.isNull())
        throw EInvalidGraphic("アイコン イメージは有効ではありません");
    image_ = std::move(best);
}

QImage TIcon::StretchedImage(const QSize &size) const
{
    return StretchImage(image_, size);
}
