#include "picture/PlainBmp.h"

#include "platform/Exceptions.h"
#include "render/AreaResampler.h"
#include "render/RowPipeline.h"

QImage ShrinkPlainBmp(const std::string &cp932Path, const PlainBmpLayout &layout, const QSize &size)
{
    QImage output(size, QImage::Format_BGR888);
    if (output.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    QImageRows rows(output);
    RowPipeline pipeline(unsigned(layout.Width), unsigned(layout.Height), RowFormatOf(layout), unsigned(size.width()),
                         unsigned(size.height()), RowFormat::Bgr24, rows);
    ReadPlainBmpRows(cp932Path, layout, pipeline);
    pipeline.Finish();
    return output;
}
