#include "picture/RowImages.h"
#include "platform/Exceptions.h"

#include "AreaResampled.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A picture of `width` x `height` in `format`, handed out in blocks of 1, 2, 3, ... rows with a few
// spare bytes between rows; `failAfter` rows are delivered before the source gives up.
class FakeSource : public TRowSource {
public:
    FakeSource(int width, int height, RowFormat format) : width_(width), height_(height), format_(format) {}

    static QRgb Colour(int x, int y) { return qRgb(x * 37 % 256, y * 53 % 256, (x + y) * 19 % 256); }

    bool Deliver(TRowReceiver &receiver) override
    {
        const int bytes = BytesPerPixel(format_);
        const ptrdiff_t stride = ptrdiff_t(width_) * bytes + 5;
        receiver.Begin(width_, height_, format_);
        for (int y = 0, count = 1; y < height_; y += count, ++count) {
            count = std::min(count, height_ - y);
            if (y + count > failAfter)
                return false;
            std::vector<unsigned char> block(size_t(stride) * count, 0x5a);
            for (int r = 0; r < count; ++r)
                for (int x = 0; x < width_; ++x) {
                    unsigned char *p = block.data() + r * stride + x * bytes;
                    const QRgb c = Colour(x, y + r);
                    p[0] = uchar(qBlue(c));
                    p[1] = uchar(qGreen(c));
                    p[2] = uchar(qRed(c));
                    if (bytes == 4)
                        p[3] = 0x12; // ignored
                }
            receiver.Rows(y, count, block.data(), stride);
        }
        return true;
    }

    QImage Whole() const
    {
        QImage image(width_, height_, QImage::Format_RGB32);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                image.setPixel(x, y, Colour(x, y));
        return image;
    }

    int failAfter = INT32_MAX;

private:
    int width_, height_;
    RowFormat format_;
};

} // namespace

TEST(RowImages, CollectedRowsAreTheOpaquePicture)
{
    for (RowFormat format : {RowFormat::Bgr24, RowFormat::Xrgb32}) {
        for (int width = 1; width <= 4; ++width) {
            FakeSource source(width, 7, format);
            const std::optional<QImage> image = CollectRows(source);
            ASSERT_TRUE(image);
            EXPECT_EQ(source.Whole(), *image) << width;
        }
    }
}

TEST(RowImages, ShrunkRowsAreTheAverageOfTheWholePicture)
{
    for (RowFormat format : {RowFormat::Bgr24, RowFormat::Xrgb32}) {
        // More rows than the worker's batches hold, and a width that is not a multiple of anything.
        FakeSource source(37, 75, format);
        for (const QSize size : {QSize(10, 20), QSize(37, 74), QSize(1, 1)}) {
            const std::optional<QImage> shrunk = ShrinkRows(source, size);
            ASSERT_TRUE(shrunk);
            EXPECT_EQ(QImage::Format_BGR888, shrunk->format());
            EXPECT_EQ(AreaResampled(source.Whole(), QImage(size, QImage::Format_BGR888)), *shrunk)
                << size.width() << "x" << size.height();
        }
        // Rows of the output's size already are copied as they are.
        const std::optional<QImage> same = ShrinkRows(source, QSize(37, 75));
        ASSERT_TRUE(same);
        EXPECT_EQ(source.Whole().convertToFormat(QImage::Format_BGR888), *same);
    }
}

TEST(RowImages, ASourceThatFailsGivesNoPicture)
{
    FakeSource source(12, 40, RowFormat::Bgr24);
    source.failAfter = 20;
    EXPECT_FALSE(ShrinkRows(source, QSize(5, 5)));
    EXPECT_FALSE(CollectRows(source));
    FakeSource huge(1 << 16, 1 << 15, RowFormat::Bgr24);
    EXPECT_THROW(CollectRows(huge), EOutOfMemory) << "over the memory guard before any row";
}
