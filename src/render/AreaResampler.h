#pragma once

#include "render/AreaShrinker.h"

#include <QImage>

#include <cstdint>

// Rows put into a QImage of the picture's size: Format_RGB32 takes 0xffRRGGBB rows, Format_BGR888
// rows in BMP's byte order (RowFormatOf tells which).
class QImageRows : public RowSink {
public:
    explicit QImageRows(QImage &image) : image_(image) {}
    static RowFormat RowFormatOf(const QImage &image)
    {
        return image.format() == QImage::Format_BGR888 ? RowFormat::Bgr24 : RowFormat::Xrgb32;
    }
    void PutRow(unsigned y, const unsigned char *row) override;

private:
    QImage &image_;
};

// The area resampler (AreaShrinker) filling a QImage: rows of 0xffRRGGBB pixels go in, the shrunk
// picture lands in `output`.
class AreaResampler {
public:
    // `output` is filled; it must be of the target size, Format_RGB32 or Format_BGR888 (the byte order of
    // BMP rows). The source must be at least as large in both directions.
    AreaResampler(int sourceWidth, int sourceHeight, QImage &output);
    // The next source row, 0xffRRGGBB pixels.
    void AddRow(const uint32_t *row);

private:
    QImageRows rows_;
    AreaShrinker shrinker_;
};
