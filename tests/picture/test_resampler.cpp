#include "picture/AreaResampler.h"
#include "picture/JPEGImage.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"

#include "AreaResampled.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QImage Shrink(const QImage &source, QSize size)
{
    QImage output(size, QImage::Format_RGB32);
    output.fill(qRgb(1, 2, 3)); // rows left unwritten would show this
    return AreaResampled(source, output);
}

} // namespace

TEST(AreaResampler, HalvingAveragesEachTwoByTwoBlock)
{
    QImage source(4, 2, QImage::Format_RGB32);
    const QRgb values[2][4] = {{qRgb(0, 0, 0), qRgb(100, 40, 8), qRgb(255, 255, 255), qRgb(255, 255, 255)},
                               {qRgb(100, 40, 8), qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(251, 251, 251)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            source.setPixel(x, y, values[y][x]);
    const QImage out = Shrink(source, QSize(2, 1));
    EXPECT_EQ(out.pixel(0, 0), qRgb(50, 20, 4));
    EXPECT_EQ(out.pixel(1, 0), qRgb(254, 254, 254));
}

TEST(AreaResampler, UnevenRatiosWeightPartialPixelsAndFillEveryRow)
{
    // Three columns into two: the middle one is shared half and half.
    QImage source(3, 7, QImage::Format_RGB32);
    for (int y = 0; y < 7; ++y) {
        source.setPixel(0, y, qRgb(0, 0, 0));
        source.setPixel(1, y, qRgb(90, 90, 90));
        source.setPixel(2, y, qRgb(180, 180, 180));
    }
    const QImage out = Shrink(source, QSize(2, 3));
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(out.pixel(0, y), qRgb(30, 30, 30)) << y;    // (0 * 1 + 90 * 0.5) / 1.5
        EXPECT_EQ(out.pixel(1, y), qRgb(150, 150, 150)) << y; // (90 * 0.5 + 180 * 1) / 1.5
    }
}

TEST(AreaResampler, SameSizeIsACopy)
{
    QImage source(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            source.setPixel(x, y, qRgb(x * 50, y * 100, 7));
    EXPECT_EQ(Shrink(source, QSize(5, 3)), source);
}

TEST(AreaResampler, JpegShrinkMatchesTheFullDecodeAveraged)
{
    TPicture picture;
    LoadPicture(picture, TestDataPath("picture/grad.jpg"));
    const auto &jpeg = dynamic_cast<const TJPEGImage &>(*picture.Graphic());
    const QImage streamed = jpeg.StretchedImage(QSize(20, 15)); // decoded at 3/8 (24 x 18), then averaged
    const QImage reference = Shrink(jpeg.Decode(3, false), QSize(20, 15));
    ASSERT_EQ(streamed.size(), reference.size());
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(streamed.pixel(x, y), reference.pixel(x, y)) << x << "," << y;
}
