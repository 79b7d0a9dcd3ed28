// The X11 root's pixels made from a picture read a row at a time, and the bitmap reader behind it.
#include "HandMadeBmp.h"
#include "TempHome.h"
#include "platform/Exceptions.h"
#include "platform/desktop/backends/BmpRowReader.h"
#include "platform/desktop/backends/RootPicture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A picture in memory that counts the rows asked of it.
class MemoryRows : public PictureRows {
public:
    MemoryRows(int width, int height, std::vector<uint32_t> pixels)
        : width_(width), height_(height), pixels_(std::move(pixels))
    {
    }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void ReadRow(int y, uint32_t *out) override
    {
        ++reads;
        std::copy_n(pixels_.begin() + ptrdiff_t(y) * width_, width_, out);
    }
    int reads = 0;

private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
};

// Pixel (x, y) of a picture whose pixels are their own coordinates.
MemoryRows Numbered(int width, int height)
{
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(uint32_t(x << 8 | y));
    return MemoryRows(width, height, pixels);
}

uint32_t Grey(int level)
{
    return 0xff000000u | uint32_t(level) * 0x010101u;
}

} // namespace

TEST(RootPicture, PlacedAndTiledReadOnlyTheRowsThatShow)
{
    // A 5 x 4 picture at (-2, 1) on a 4 x 3 screen: its columns 2..4 at 0..2, rows 0..1 at 1..2.
    MemoryRows placed = Numbered(5, 4);
    const std::vector<uint32_t> screen = PlacedOnBlack(placed, 4, 3, -2, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t expected = y >= 1 && x < 3 ? 0xff000000u | uint32_t((x + 2) << 8 | (y - 1)) : 0xff000000u;
            EXPECT_EQ(screen[size_t(y * 4 + x)], expected) << x << "," << y;
        }
    EXPECT_EQ(placed.reads, 2);

    // 3 x 2 tiled over 7 x 5; a picture taller than the screen gives only the screen's rows.
    MemoryRows tile = Numbered(3, 2);
    const std::vector<uint32_t> tiled = TiledFromCorner(tile, 7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(tiled[size_t(y * 7 + x)], 0xff000000u | uint32_t((x % 3) << 8 | (y % 2))) << x << "," << y;
    EXPECT_EQ(tile.reads, 2);
    MemoryRows tall = Numbered(2, 100);
    TiledFromCorner(tall, 4, 3);
    EXPECT_EQ(tall.reads, 3);
}

TEST(RootPicture, StretchAveragesWhenShrinkingAndInterpolatesWhenGrowing)
{
    MemoryRows shrink(4, 1, {0x000000, 0x646464, 0xC8C8C8, 0xFFFFFF});
    EXPECT_EQ(StretchedToFit(shrink, 2, 1), (std::vector<uint32_t>{Grey(50), Grey(228)}));

    MemoryRows grow(2, 1, {0x000000, 0xC8C8C8});
    EXPECT_EQ(StretchedToFit(grow, 4, 1), (std::vector<uint32_t>{Grey(0), Grey(50), Grey(150), Grey(200)}));

    // Down the rows the same, each row read once however many output rows use it.
    MemoryRows column(1, 4, {0x000000, 0x646464, 0xC8C8C8, 0xFFFFFF});
    EXPECT_EQ(StretchedToFit(column, 1, 2), (std::vector<uint32_t>{Grey(50), Grey(228)}));
    EXPECT_EQ(column.reads, 4);
    MemoryRows rows(1, 2, {0x000000, 0xC8C8C8});
    EXPECT_EQ(StretchedToFit(rows, 1, 4), (std::vector<uint32_t>{Grey(0), Grey(50), Grey(150), Grey(200)}));
    EXPECT_EQ(rows.reads, 2);

    // A flat picture stays flat at any scale, and the colours keep to their channels.
    MemoryRows flat(7, 5, std::vector<uint32_t>(35, 0x2080C0));
    for (const auto &[w, h] : {std::pair{3, 2}, std::pair{11, 13}, std::pair{7, 1}})
        EXPECT_EQ(StretchedToFit(flat, w, h), std::vector<uint32_t>(size_t(w * h), 0xff2080C0u)) << w << "x" << h;
}

TEST(BmpRowReader, ReadsEveryLayoutTheProgramCouldMeet)
{
    TempHome home;
    const std::string path = home.File("b.bmp");
    for (int bits : {24, 32})
        for (bool topDown : {false, true})
            for (int width : {1, 2, 3, 4}) {
                SCOPED_TRACE(std::to_string(bits) + (topDown ? " top-down " : " bottom-up ") + std::to_string(width));
                WriteFileBytes(path, MakeHandMadeBmp(width, 3, bits, topDown));
                const std::unique_ptr<BmpRowReader> reader = BmpRowReader::Open(path);
                ASSERT_TRUE(reader);
                ASSERT_EQ(reader->Width(), width);
                ASSERT_EQ(reader->Height(), 3);
                std::vector<uint32_t> row(static_cast<size_t>(width));
                for (int y = 0; y < 3; ++y) {
                    reader->ReadRow(y, row.data());
                    for (int x = 0; x < width; ++x)
                        EXPECT_EQ(row[size_t(x)], HandMadePixel(x, y) & 0xFFFFFFu) << x << "," << y;
                }
            }
}

TEST(BmpRowReader, OtherPicturesAreLeftToQtAndBrokenOnesNamed)
{
    TempHome home;
    const std::string path = home.File("b.bmp");
    WriteFileBytes(path, "\x89PNG\r\n\x1a\n" + std::string(100, '\0'));
    EXPECT_EQ(BmpRowReader::Open(path), nullptr);
    std::string paletted = MakeHandMadeBmp(4, 4, 24, false);
    paletted[28] = 8;
    WriteFileBytes(path, paletted);
    EXPECT_EQ(BmpRowReader::Open(path), nullptr);

    const std::string whole = MakeHandMadeBmp(4, 4, 24, false);
    WriteFileBytes(path, whole.substr(0, whole.size() - 1));
    try {
        BmpRowReader::Open(path);
        ADD_FAILURE();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "壁紙を設定できません: " + path + " を読めません (ファイルが途中で切れています)");
    }
    try {
        BmpRowReader::Open(home.File("none.bmp"));
        ADD_FAILURE();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "壁紙を設定できません: " + home.File("none.bmp") +
                                   " を読めません (ファイルまたはフォルダーがありません)");
    }
}
