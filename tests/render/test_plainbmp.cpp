#include "platform/Exceptions.h"
#include "render/AreaResampler.h"
#include "render/PlainBmpRows.h"
#include "render/StreamRender.h"

#include "HandMadeBmp.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

#include <climits>
#include <cstdint>
#include <string>

namespace {

QImage Expected(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, HandMadePixel(x, y));
    return image;
}

QImage Shrink(const QImage &source, QSize size)
{
    QImage output(size, QImage::Format_RGB32);
    AreaResampler resampler(source.width(), source.height(), output);
    for (int y = 0; y < source.height(); ++y)
        resampler.AddRow(reinterpret_cast<const uint32_t *>(source.constScanLine(y)));
    return output;
}

// The file's rows shrunk to `size` as a render streams them, into a picture in BMP's byte order.
QImage StreamedInto(const std::string &path, QSize size)
{
    QImage output;
    std::optional<QImageRows> rows;
    StreamOutput stream;
    stream.Open = [&](unsigned width, unsigned height) -> RowSink & {
        output = QImage(int(width), int(height), QImage::Format_BGR888);
        return rows.emplace(output);
    };
    stream.Exact = TWallPaperSize{size.width(), size.height()};
    EXPECT_TRUE(StreamWallPaperRows(path, StreamFormat::PlainBmp, -1, 1024, 768, stream).has_value());
    return output;
}

std::optional<PlainBmpLayout> Parse(const std::string &b)
{
    return ParsePlainBmp(reinterpret_cast<const unsigned char *>(b.data()), b.size(), b.size());
}

} // namespace

// Every row padding (widths 1 to 4), both bit depths and both row orders: the rows read from the file
// and shrunk are the pixels Qt's reader sees, shrunk by the same resampler.
TEST(PlainBmp, ShrinksTheRowsQtReadsForEveryPaddingAndRowOrder)
{
    TempHome home;
    for (int bits : {24, 32})
        for (bool topDown : {false, true})
            for (int width = 1; width <= 4; ++width) {
                SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width) +
                             (topDown ? " top-down" : " bottom-up"));
                const int height = 7;
                const std::string path = home.File("p.bmp");
                WriteFileBytes(path, MakeHandMadeBmp(width, height, bits, topDown));
                const QImage source = Expected(width, height);
                ASSERT_EQ(QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32), source);

                const std::optional<PlainBmpLayout> layout = ReadPlainBmpLayout(path);
                ASSERT_TRUE(layout.has_value());
                EXPECT_EQ(layout->Width, width);
                EXPECT_EQ(layout->Height, height);
                EXPECT_EQ(layout->TopDown, topDown);
                const QSize size((width + 1) / 2, 3);
                const QImage shrunk = StreamedInto(path, size);
                EXPECT_EQ(shrunk.format(), QImage::Format_BGR888);
                EXPECT_EQ(shrunk.convertToFormat(QImage::Format_RGB32), Shrink(source, size));
            }
}

TEST(PlainBmp, OtherKindsAndIncompleteFilesAreLeftToTheGeneralReader)
{
    const std::string good = MakeHandMadeBmp(3, 2, 24, false); // rows of 9 bytes padded to 12
    ASSERT_TRUE(Parse(good).has_value());
    auto changed = [&good](size_t at, uint32_t value, int bytes = 4) {
        std::string b = good;
        for (int i = 0; i < bytes; ++i)
            b[at + size_t(i)] = char(value >> (8 * i));
        return b;
    };
    EXPECT_FALSE(Parse(good.substr(0, good.size() - 1))) << "the last row's padding is missing";
    EXPECT_FALSE(Parse(good.substr(0, 53))) << "a cut header";
    EXPECT_FALSE(Parse(changed(0, 'X', 1))) << "not a bitmap";
    EXPECT_FALSE(Parse(changed(14, 108))) << "a longer info header (masks, colour space)";
    EXPECT_FALSE(Parse(changed(26, 2, 2))) << "two planes";
    EXPECT_FALSE(Parse(changed(28, 8, 2))) << "a palette";
    EXPECT_FALSE(Parse(changed(28, 16, 2))) << "16 bits";
    EXPECT_FALSE(Parse(changed(30, 3))) << "bit fields";
    EXPECT_FALSE(Parse(changed(30, 1))) << "run-length encoded";
    EXPECT_FALSE(Parse(changed(18, 0))) << "no width";
    EXPECT_FALSE(Parse(changed(18, uint32_t(-3)))) << "a negative width";
    EXPECT_FALSE(Parse(changed(22, 0))) << "no height";
    EXPECT_FALSE(Parse(changed(22, uint32_t(INT32_MIN)))) << "a height without a magnitude";
    EXPECT_FALSE(Parse(changed(10, 20))) << "pixels inside the header";
    EXPECT_FALSE(Parse(changed(10, 0xFFFFFFF0u))) << "pixels past the end";
    EXPECT_FALSE(Parse(changed(18, 0x7FFFFFFF))) << "rows far longer than the file";
    // A header that claims more rows than the file holds.
    EXPECT_FALSE(Parse(changed(22, 3)));
    EXPECT_TRUE(Parse(changed(22, uint32_t(-2)))) << "the same rows top-down";
}

// A file cut after its header was read fails as it is read (StreamRender's
// ABitmapThatChangesWhileItIsReadFailsAndKeepsTheOldOutput); read afresh, it is no plain BMP.
TEST(PlainBmp, AFileCutAfterItsHeaderWasReadFailsCleanly)
{
    TempHome home;
    const std::string path = home.File("cut.bmp");
    const std::string bytes = MakeHandMadeBmp(40, 30, 24, false);
    WriteFileBytes(path, bytes);
    ASSERT_TRUE(ReadPlainBmpLayout(path).has_value());
    WriteFileBytes(path, bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(ReadPlainBmpLayout(path).has_value());
    EXPECT_FALSE(ReadPlainBmpLayout(home.File("missing.bmp")).has_value());
}
