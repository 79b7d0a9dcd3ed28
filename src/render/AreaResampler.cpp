#include "render/AreaResampler.h"

#include <cstring>

void QImageRows::PutRow(unsigned y, const unsigned char *row)
{
    const size_t bytes = size_t(image_.width()) * BytesPerPixel(RowFormatOf(image_));
    std::memcpy(image_.scanLine(int(y)), row, bytes);
}

AreaResampler::AreaResampler(int sourceWidth, int sourceHeight, QImage &output)
    : rows_(output),
      shrinker_(unsigned(sourceWidth), unsigned(sourceHeight), RowFormat::Xrgb32, unsigned(output.width()),
                unsigned(output.height()), QImageRows::RowFormatOf(output), rows_)
{
}

void AreaResampler::AddRow(const uint32_t *row)
{
    shrinker_.AddRow(reinterpret_cast<const unsigned char *>(row));
}
