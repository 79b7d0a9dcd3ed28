#include "picture/AreaResampler.h"
#include "picture/PlainBmp.h"
#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

#include <climits>
#include <cstdint>
#include <string>

namespace {

void Put32(std::string &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = char(v >> (8 * i));
}

QRgb PixelAt(int x, int y)
{
    return qRgb((x * 67 + y * 13) % 256, (x * 29 + y * 101) % 256, (x * y * 7 + 50) % 256);
}

// A BMP written by hand: 24 or 32 bits, rows padded to 4 bytes, bottom-up or top-down; the fourth byte
// of 32-bit pixels is noise, which an uncompressed bitmap does not use.
std::string MakeBmp(int width, int height, int bits, bool topDown)
{
    const size_t bpp = size_t(bits / 8), stride = (size_t(width) * bpp + 3) / 4 * 4;
    std::string b(54 + stride * size_t(height), '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(topDown ? -height : height));
    b[26] = 1;
    b[28] = char(bits);
    for (int y = 0; y < height; ++y) {
        const size_t row = 54 + stride * size_t(topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const QRgb c = PixelAt(x, y);
            char *p = &b[row + size_t(x) * bpp];
            p[0] = char(qBlue(c));
            p[1] = char(qGreen(c));
            p[2] = char(qRed(c));
            if (bpp == 4)
                p[3] = char(x * 31 + y);
        }
    }
    return b;
}

QImage Expected(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, PixelAt(x, y));
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
                WriteFileBytes(path, MakeBmp(width, height, bits, topDown));
                const QImage source = Expected(width, height);
                ASSERT_EQ(QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32), source);

                const std::optional<PlainBmpLayout> layout = ReadPlainBmpLayout(path);
                ASSERT_TRUE(layout.has_value());
                EXPECT_EQ(layout->Width, width);
                EXPECT_EQ(layout->Height, height);
                EXPECT_EQ(layout->TopDown, topDown);
                const QSize size((width + 1) / 2, 3);
                const QImage shrunk = ShrinkPlainBmp(path, *layout, size);
                EXPECT_EQ(shrunk.format(), QImage::Format_BGR888);
                EXPECT_EQ(shrunk.convertToFormat(QImage::Format_RGB32), Shrink(source, size));
            }
}

TEST(PlainBmp, OtherKindsAndIncompleteFilesAreLeftToTheGeneralReader)
{
    const std::string good = MakeBmp(3, 2, 24, false); // rows of 9 bytes padded to 12
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

TEST(PlainBmp, AFileCutAfterItsHeaderWasReadFailsCleanly)
{
    TempHome home;
    const std::string path = home.File("cut.bmp");
    const std::string bytes = MakeBmp(40, 30, 24, false);
    WriteFileBytes(path, bytes);
    const std::optional<PlainBmpLayout> layout = ReadPlainBmpLayout(path);
    ASSERT_TRUE(layout.has_value());
    WriteFileBytes(path, bytes.substr(0, bytes.size() / 2));
    EXPECT_THROW(ShrinkPlainBmp(path, *layout, QSize(20, 15)), EInvalidGraphic);
    EXPECT_FALSE(ReadPlainBmpLayout(path).has_value());
    EXPECT_FALSE(ReadPlainBmpLayout(home.File("missing.bmp")).has_value());
}
