#pragma once

#include "picture/Graphic.h"

#include <QList>
#include <QRgb>

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// A bitmap on a QImage: BMP files are read through Qt's reader and written as 24-bit BMP.
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    static const TGraphicClass &ClassInfo();
    const TGraphicClass &ClassType() const override { return ClassInfo(); }

    void LoadFromStream(QIODevice &stream) override;
    // The plain BMP reader, callable as the inherited reader by subclasses (TBitmap::ReadBitmapStream).
    // Raises EInvalidGraphic when the data is not a readable bitmap.
    void ReadBitmapStream(QIODevice &stream);

    int Width() const override { return pendingWidth_; }
    int Height() const override { return pendingHeight_; }
    QImage StretchedImage(const QSize &size) const override;

    // Pixel format; pf24bit keeps pixels as RGB32 in memory and writes 24-bit files.
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TPixelFormat format);
    // Width and height change the size and keep the pixels that still fit (new ones are black).
    void SetWidth(int width);
    void SetHeight(int height);

    // Assigns a palette (the colours of an indexed bitmap). On an indexed image the colour table
    // becomes these colours; otherwise the colours are kept for the next indexed conversion.
    void SetPalette(const QList<QRgb> &colours);
    const QList<QRgb> &Palette() const { return palette_; }

    // Writes a 24-bit BMP file atomically (the old file stays on failure; EInOutError).
    void SaveToFile(const std::string &cp932Path) const;
    // The 24-bit BMP file's bytes.
    std::string SaveToBytes() const;

    // The pixels; null while either side is 0.
    const QImage &Image() const { return image_; }
    void SetImage(QImage image);

private:
    void Resize(int width, int height);

    QImage image_; // null while either side is 0
    int pendingWidth_ = 0;
    int pendingHeight_ = 0;
    TPixelFormat pixelFormat_ = TPixelFormat::pfDevice;
    QList<QRgb> palette_;
};

// Writes `image` as a bottom-up 24-bit BMP, calling `sink(data, size)` with consecutive pieces.
void WriteBmp24(const QImage &image, const std::function<void(const char *, size_t)> &sink);
