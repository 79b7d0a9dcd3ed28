#pragma once

#include "picture/AreaResampler.h"

#include <QImage>

// `source` (32-bit rows) averaged into `output` row by row through AreaResampler: what a reader's rows
// become, for comparing with.
inline QImage AreaResampled(const QImage &source, QImage output)
{
    AreaResampler resampler(source.width(), source.height(), output);
    for (int y = 0; y < source.height(); ++y)
        resampler.AddRow(reinterpret_cast<const uint32_t *>(source.constScanLine(y)));
    return output;
}
