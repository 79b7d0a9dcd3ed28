#include "picture/Bitmap.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "render/BmpFileRows.h"

#include <QIODevice>
#include <QImageReader>

#include <cstring>
#include <vector>

const TGraphicClass &TBitmap::ClassInfo()
{
    return GraphicClassOf<TBitmap, TGraphic>("TBitmap");
}

void TBitmap::LoadFromStream(QIODevice &stream)
{
    ReadBitmapStream(stream);
}

void TBitmap::ReadBitmapStream(QIODevice &stream)
{
    QImageReader reader(&stream, "bmp");
    // Only bitmaps: without this, Qt falls back to its other readers (GIF, PNG, ...) by content.
    reader.setAutoDetectImageFormat(false);
    // Qt's own limit (256 MB) is below ours; the guard below decides.
    QImageReader::setAllocationLimit(int(kPixelMemoryLimit >> 20));
    QSize size = reader.size();
    // Qt reports a top-down bitmap (negative height in its header) with a negative height.
    if (size.height() < 0)
        size.setHeight(-size.height());
    if (!size.isValid())
        throw EInvalidGraphic("ビットマップ イメージは有効ではありません");
    CheckPixelMemory(size.width(), size.height(), 4);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic("ビットマップ イメージは有効ではありません");
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB)
        palette_ = image.colorTable();
    SetImage(std::move(image));
}

QImage TBitmap::StretchedImage(const QSize &size) const
{
    return StretchImage(image_, size);
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    pixelFormat_ = format;
    if (format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit || format == TPixelFormat::pfDevice) {
        if (!image_.isNull() && image_.format() != QImage::Format_RGB32)
            image_ = image_.convertToFormat(QImage::Format_RGB32);
    }
}

void TBitmap::SetWidth(int width)
{
    Resize(width, pendingHeight_);
}
void TBitmap::SetHeight(int height)
{
    Resize(pendingWidth_, height);
}

void TBitmap::Resize(int width, int height)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphic(
            FormatMessage("画像の大きさ %sx%s は正しくありません", {std::to_string(width), std::to_string(height)}));
    if (width == pendingWidth_ && height == pendingHeight_)
        return;
    if (width == 0 || height == 0) {
        // A bitmap of no area still remembers its other side.
        image_ = QImage();
        pendingWidth_ = width;
        pendingHeight_ = height;
        return;
    }
    CheckPixelMemory(width, height, 4);
    QImage resized(width, height, QImage::Format_RGB32);
    if (resized.isNull())
        throw EOutOfMemory(
            FormatMessage("画像 (%sx%s) のメモリを確保できません", {std::to_string(width), std::to_string(height)}));
    resized.fill(Qt::black);
    if (!image_.isNull()) {
        const QImage old =
            image_.format() == QImage::Format_RGB32 ? image_ : image_.convertToFormat(QImage::Format_RGB32);
        const int rows = std::min(height, old.height());
        const size_t bytes = size_t(std::min(width, old.width())) * 4;
        for (int y = 0; y < rows; ++y)
            std::memcpy(resized.scanLine(y), old.constScanLine(y), bytes);
    }
    image_ = std::move(resized);
    pendingWidth_ = width;
    pendingHeight_ = height;
}

void TBitmap::SetPalette(const QList<QRgb> &colours)
{
    palette_ = colours;
    if (image_.format() == QImage::Format_Indexed8 || image_.format() == QImage::Format_Mono ||
        image_.format() == QImage::Format_MonoLSB) {
        QList<QRgb> table = colours;
        // Every index the pixels use must have a colour.
        const qsizetype needed = image_.colorCount();
        while (table.size() < needed)
            table.append(qRgb(0, 0, 0));
        image_.setColorTable(table);
    }
}

void TBitmap::SetImage(QImage image)
{
    image_ = std::move(image);
    pendingWidth_ = image_.width();
    pendingHeight_ = image_.height();
}

void WriteBmp24(const QImage &image, const std::function<void(const char *, size_t)> &sink)
{
    const bool bgr = image.format() == QImage::Format_BGR888;
    const QImage rgb = image.isNull() || bgr || image.format() == QImage::Format_RGB32
                           ? image
                           : image.convertToFormat(QImage::Format_RGB32);
    const uint32_t width = static_cast<uint32_t>(rgb.width());
    const uint32_t height = static_cast<uint32_t>(rgb.height());
    const uint32_t rowBytes = (width * 3 + 3) & ~3u;
    unsigned char header[kBmpHeaderBytes];
    MakeBmp24Header(width, height, header);
    sink(reinterpret_cast<const char *>(header), sizeof header);

    // Rows are converted in batches so that large bitmaps need no second full-size buffer.
    const uint32_t rowsPerChunk = std::max<uint32_t>(1, (1u << 20) / std::max<uint32_t>(rowBytes, 1));
    std::vector<unsigned char> chunk(size_t(rowBytes) * std::min(rowsPerChunk, std::max<uint32_t>(height, 1)));
    for (uint32_t done = 0; done < height;) {
        const uint32_t rows = std::min(rowsPerChunk, height - done);
        unsigned char *out = chunk.data();
        for (uint32_t r = 0; r < rows; ++r) {
            const int y = int(height - 1 - (done + r));
            if (bgr) {
                // Already BMP's byte order; the padding bytes are set here, whatever QImage holds there.
                std::memcpy(out, rgb.constScanLine(y), size_t(width) * 3);
                std::memset(out + size_t(width) * 3, 0, rowBytes - width * 3);
                out += rowBytes;
                continue;
            }
            const auto *src = reinterpret_cast<const uint32_t *>(rgb.constScanLine(y));
            unsigned char *row = out;
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t p = src[x];
                row[0] = static_cast<unsigned char>(p);
                row[1] = static_cast<unsigned char>(p >> 8);
                row[2] = static_cast<unsigned char>(p >> 16);
                row += 3;
            }
            std::memset(row, 0, rowBytes - width * 3);
            out += rowBytes;
        }
        sink(reinterpret_cast<const char *>(chunk.data()), size_t(rows) * rowBytes);
        done += rows;
    }
}

void TBitmap::SaveToFile(const std::string &cp932Path) const
{
    AtomicFileWriter writer(cp932Path);
    WriteBmp24(image_, [&writer](const char *data, size_t size) { writer.Write(data, size); });
    writer.Commit();
}

std::string TBitmap::SaveToBytes() const
{
    std::string out;
    WriteBmp24(image_, [&out](const char *data, size_t size) { out.append(data, size); });
    return out;
}
