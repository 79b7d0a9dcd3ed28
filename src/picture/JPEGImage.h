#pragma once

#include "picture/Graphic.h"

#include <QByteArray>

#include <string>

struct JpegScale;

// A JPEG picture decoded by libjpeg. Loading reads only the header; the pixels are decoded when the
// picture is drawn, at the smallest DCT scale (1/8 .. 8/8) that still covers the target size.
class TJPEGImage : public TGraphic {
public:
    TJPEGImage() = default;
    static const TGraphicClass &ClassInfo();
    const TGraphicClass &ClassType() const override { return ClassInfo(); }

    // Errors name the file.
    void LoadFromFile(const std::string &cp932Path) override;
    // Raises EInvalidGraphic with the reason in Japanese when the header cannot be read.
    void LoadFromStream(QIODevice &stream) override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    QImage StretchedImage(const QSize &size) const override;

    // The whole picture decoded at scale numerator/8 (1..8), as Format_RGB32. Without fancy upsampling
    // the chroma planes are replicated instead of interpolated: faster, for pictures that are shrunk.
    QImage Decode(int scaleNumerator, bool fancyUpsampling = true) const;
    // The smallest numerator n of n/8 whose decoded size is at least `target` in both directions.
    static int ChooseScale(int width, int height, const QSize &target);

private:
    // Decodes at the scale and averages down to `size` row by row, never holding the scaled picture.
    QImage DecodeShrunk(const JpegScale &scale, const QSize &size) const;

    QByteArray data_;
    std::string name_;        // the file's name for messages (UTF-8); empty when read from a stream
    std::string loadingName_; // the name of the file being read, until its header is
    int width_ = 0;
    int height_ = 0;
};
