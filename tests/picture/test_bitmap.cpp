#include "picture/Bitmap.h"
#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

uint32_t LE32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t LE16(const std::string &b, size_t at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

std::unique_ptr<TBitmap> MakeBitmap(int w, int h)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    bitmap->SetWidth(w);
    bitmap->SetHeight(h);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 40, y * 40, 7));
    bitmap->SetImage(image);
    return bitmap;
}

} // namespace

// Widths 1 to 4 cover every amount of row padding.
TEST(Bitmap, Writes24BitBottomUpRowsPaddedToFourBytes)
{
    // 3, 6, 9 and 12 bytes of pixels make rows of 4, 8, 12 and 12 bytes.
    const uint32_t rowBytes[] = {4, 8, 12, 12};
    for (int w = 1; w <= 4; ++w) {
        SCOPED_TRACE(w);
        const std::string bytes = MakeBitmap(w, 2)->SaveToBytes();
        const uint32_t row = rowBytes[w - 1];
        ASSERT_EQ(bytes.size(), 54 + row * 2);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(LE32(bytes, 2), bytes.size());
        EXPECT_EQ(LE32(bytes, 10), 54u);
        EXPECT_EQ(LE32(bytes, 14), 40u);
        EXPECT_EQ(LE32(bytes, 18), uint32_t(w));
        EXPECT_EQ(LE32(bytes, 22), 2u);
        EXPECT_EQ(LE16(bytes, 26), 1u);
        EXPECT_EQ(LE16(bytes, 28), 24u);
        EXPECT_EQ(LE32(bytes, 30), 0u);
        EXPECT_EQ(LE32(bytes, 34), row * 2);
        // First stored row is the bottom one (y = 1): blue, green, red.
        EXPECT_EQ(uint8_t(bytes[54]), 7);
        EXPECT_EQ(uint8_t(bytes[55]), 40);
        EXPECT_EQ(uint8_t(bytes[56]), 0);
        for (uint32_t pad = uint32_t(w) * 3; pad < row; ++pad)
            EXPECT_EQ(bytes[54 + pad], 0);
        // Last pixel of the top row.
        const size_t last = 54 + row + size_t(w - 1) * 3;
        EXPECT_EQ(uint8_t(bytes[last + 2]), uint8_t((w - 1) * 40));
        EXPECT_EQ(uint8_t(bytes[last + 1]), 0);
    }
}

TEST(Bitmap, ReadsWhatItWritesAndReplacesFilesAtomically)
{
    TempHome home;
    const std::string path = home.File("out.bmp");
    WriteFileBytes(path, "old");
    MakeBitmap(3, 3)->SaveToFile(path);
    TBitmap read;
    read.LoadFromFile(path);
    EXPECT_EQ(read.Width(), 3);
    EXPECT_EQ(read.Height(), 3);
    EXPECT_EQ(read.Image().pixel(2, 1), qRgb(80, 40, 7));

    // A folder that does not exist: the error names the file and nothing is left behind.
    EXPECT_THROW(MakeBitmap(1, 1)->SaveToFile(home.File("nofolder/out.bmp")), EInOutError);
}

TEST(Bitmap, WidthThenHeightKeepsPixelsAndFillsBlack)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetWidth(5);
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.Height(), 0);
    bitmap.SetHeight(4);
    EXPECT_EQ(bitmap.Image().size(), QSize(5, 4));
    EXPECT_EQ(bitmap.Image().pixel(4, 3), qRgb(0, 0, 0));
    EXPECT_THROW(bitmap.SetWidth(-1), EInvalidGraphic);
}

TEST(Bitmap, StreamReaderRejectsGarbageAndHugeHeaders)
{
    TBitmap bitmap;
    QByteArray garbage("BMxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
    QBuffer buffer(&garbage);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(bitmap.ReadBitmapStream(buffer), EInvalidGraphic);

    // A header that claims 60000 x 60000 pixels fails before any pixel memory is taken.
    std::string header = MakeBitmap(1, 1)->SaveToBytes();
    const auto put = [&header](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = char(v >> (8 * i));
    };
    put(18, 60000);
    put(22, 60000);
    QByteArray huge(header.data(), qsizetype(header.size()));
    QBuffer hugeBuffer(&huge);
    hugeBuffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(bitmap.ReadBitmapStream(hugeBuffer), Exception);
    EXPECT_EQ(bitmap.Width(), 0);
}

TEST(Bitmap, PaletteColoursReachAnIndexedImage)
{
    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    indexed.setPixel(1, 0, 1);
    TBitmap bitmap;
    bitmap.SetImage(indexed);
    bitmap.SetPalette({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    EXPECT_EQ(bitmap.Image().pixel(1, 0), qRgb(4, 5, 6));
    EXPECT_EQ(bitmap.Palette().size(), 2);
}

TEST(Bitmap, BmpOrderedRowsAreWrittenLikeRgb32Rows)
{
    for (int w = 1; w <= 4; ++w) {
        SCOPED_TRACE(w);
        auto rgb = MakeBitmap(w, 3);
        TBitmap bgr;
        bgr.SetImage(rgb->Image().convertToFormat(QImage::Format_BGR888));
        EXPECT_EQ(bgr.SaveToBytes(), rgb->SaveToBytes());
    }
}
