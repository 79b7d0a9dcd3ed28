#include "XRootReader.h"
#include "XvfbTest.h"
#include "platform/Exceptions.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/backends/DesktopBackends.h"

#include "HandMadeBmp.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

#include <fstream>

namespace {

// 10 x 6 with four flat quadrants of 5 x 3: red, green / blue, white.
std::string WriteQuadrants(const TempHome &home)
{
    QImage image(10, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            image.setPixel(x, y, y < 3 ? (x < 5 ? 0xFF0000u : 0x00FF00u) : (x < 5 ? 0x0000FFu : 0xFFFFFFu));
    std::string path = home.File("wall.bmp");
    image.save(QString::fromStdString(path), "BMP");
    return path;
}

// A private server with the quadrants bitmap.
using X11Root = XvfbTest<WriteQuadrants>;

// The quadrants' colours where the root shows them: red at (left, top), green at (right, top), blue at
// (left, bottom), white at (right, bottom).
void ExpectQuadrants(const XRootPicture &root, int left, int top, int right, int bottom)
{
    EXPECT_EQ(root.At(left, top), 0xFF0000u);
    EXPECT_EQ(root.At(right, top), 0x00FF00u);
    EXPECT_EQ(root.At(left, bottom), 0x0000FFu);
    EXPECT_EQ(root.At(right, bottom), 0xFFFFFFu);
}

} // namespace

TEST_F(X11Root, CentreTileAndStretchShowOnARealServer)
{
    auto desktop = CreateX11Desktop(server.Display());

    desktop->setWallpaper(bitmap, TileMode::Centre);
    XRootPicture root = ReadXRoot(server.Display());
    ASSERT_EQ(root.Width, 64);
    // Centred at ((64 - 10) / 2, (48 - 6) / 2) = (27, 21) on black.
    EXPECT_EQ(root.At(0, 0), 0x000000u);
    EXPECT_EQ(root.At(27, 21), 0xFF0000u);
    EXPECT_EQ(root.At(36, 26), 0xFFFFFFu);
    EXPECT_EQ(root.At(37, 26), 0x000000u);
    EXPECT_NE(root.RootPixmap, 0u);
    EXPECT_EQ(root.RootPixmap, root.EsetrootPixmap);
    const unsigned long first = root.RootPixmap;

    desktop->setWallpaper(bitmap, TileMode::Tile);
    root = ReadXRoot(server.Display());
    EXPECT_EQ(root.At(0, 0), 0xFF0000u);
    EXPECT_EQ(root.At(10, 0), 0xFF0000u);
    EXPECT_EQ(root.At(15, 3), 0xFFFFFFu);  // (5, 3) of the second tile
    EXPECT_EQ(root.At(63, 47), 0x0000FFu); // (3, 5) of the tile at (60, 42)
    // The first pixmap was released when the second took its place.
    EXPECT_NE(root.RootPixmap, first);
    EXPECT_FALSE(XPixmapExists(server.Display(), first));
    EXPECT_TRUE(XPixmapExists(server.Display(), root.RootPixmap));

    desktop->setWallpaper(bitmap, TileMode::Stretch);
    root = ReadXRoot(server.Display());
    ExpectQuadrants(root, 10, 10, 54, 40);
}

TEST_F(X11Root, SpannedBoxLandsAtItsOwnPlaceOnBlack)
{
    auto desktop = CreateX11Desktop(server.Display());
    EXPECT_EQ(desktop->PerMonitor(), PerMonitorMethod::Spanned);
    // Two monitors of 5 x 6 side by side at (20, 10): the box is the 10 x 6 picture, unscaled.
    const MonitorLayout layout{{"A", 20, 10, 5, 6}, {"B", 25, 10, 5, 6}};
    desktop->setMonitorWallpapers(bitmap, layout, {});
    const XRootPicture root = ReadXRoot(server.Display());
    for (int y = 0; y < root.Height; ++y)
        for (int x = 0; x < root.Width; ++x) {
            const int bx = x - 20, by = y - 10;
            const uint32_t expected = bx < 0 || bx >= 10 || by < 0 || by >= 6 ? 0x000000u
                                      : by < 3                                ? (bx < 5 ? 0xFF0000u : 0x00FF00u)
                                                                              : (bx < 5 ? 0x0000FFu : 0xFFFFFFu);
            ASSERT_EQ(root.At(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(desktop->LastReadBack().rfind("A=5x6+20+10,B=5x6+25+10: _XROOTPMAP_ID=0x", 0), 0u)
        << desktop->LastReadBack();
}

TEST(X11NoServer, NoServerIsAnError)
{
    TempHome home;
    const std::string bitmap = WriteQuadrants(home);
    EXPECT_THROW(CreateX11Desktop(":399")->setWallpaper(bitmap, TileMode::Centre), Exception);
    EXPECT_THROW(CreateX11Desktop(":399")->setWallpaper(home.File("missing.bmp"), TileMode::Centre), Exception);
}

// A 7000 x 5000 bitmap (as a tiled picture's output is) is past Qt's image allocation limit: it was
// refused ("... を読めません"). Its rows are read from the file now, as many as show.
TEST_F(X11Root, APictureBeyondQtsImageLimitShowsInEveryPosition)
{
    // Quadrants of red, green / blue, white, with the hand-made pattern in the top-left 64 x 48.
    constexpr int kWidth = 7000, kHeight = 5000;
    const auto colour = [](int x, int y) -> uint32_t {
        if (x < 64 && y < 48)
            return HandMadePixel(x, y) & 0xFFFFFFu;
        return y < kHeight / 2 ? (x < kWidth / 2 ? 0xFF0000u : 0x00FF00u) : (x < kWidth / 2 ? 0x0000FFu : 0xFFFFFFu);
    };
    const std::string path = home.File("Tapisto_WallPaper.bmp");
    {
        std::string header = MakeHandMadeBmp(1, 1, 24, false).substr(0, 54);
        const size_t stride = size_t(kWidth) * 3; // 21000, a multiple of 4
        PutLittleEndian32(header, 2, uint32_t(54 + stride * kHeight));
        PutLittleEndian32(header, 18, kWidth);
        PutLittleEndian32(header, 22, kHeight);
        std::ofstream file(path, std::ios::binary);
        file << header;
        std::string row(stride, '\0');
        for (int y = kHeight - 1; y >= 0; --y) {
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t c = colour(x, y);
                row[size_t(x) * 3] = char(c);
                row[size_t(x) * 3 + 1] = char(c >> 8);
                row[size_t(x) * 3 + 2] = char(c >> 16);
            }
            file << row;
        }
    }
    auto desktop = CreateX11Desktop(server.Display());

    desktop->setWallpaper(path, TileMode::Tile); // tiled: the top-left corner
    XRootPicture root = ReadXRoot(server.Display());
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(root.At(x, y), colour(x, y)) << x << "," << y;

    desktop->setWallpaper(path, TileMode::Centre); // centred: the middle, where the quadrants meet at (32, 24)
    root = ReadXRoot(server.Display());
    ExpectQuadrants(root, 31, 23, 32, 24);

    desktop->setWallpaper(path, TileMode::Stretch); // stretched: the quadrants fill the screen
    root = ReadXRoot(server.Display());
    ExpectQuadrants(root, 16, 12, 48, 36);
}

// tapistoctl's screen on X11 without Qt's platform: the server's own size and monitor; none for a
// display that cannot be opened (the caller then falls back as before).
TEST(X11Screen, TheServersScreenWithoutQt)
{
    XvfbServer server("800x600");
    if (!server.Running())
        GTEST_SKIP() << "Xvfb is not installed or did not start; the X11 screen is not tested";
    const std::unique_ptr<ScreenMetrics> screen = CreateX11ScreenMetrics(server.Display());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->ScreenWidth(), 800);
    EXPECT_EQ(screen->ScreenHeight(), 600);
    const MonitorLayout layout = screen->Monitors();
    ASSERT_EQ(layout.size(), 1u);
    EXPECT_EQ(layout[0].X, 0);
    EXPECT_EQ(layout[0].Y, 0);
    EXPECT_EQ(layout[0].Width, 800);
    EXPECT_EQ(layout[0].Height, 600);
    EXPECT_EQ(CreateX11ScreenMetrics(":399"), nullptr);
}
