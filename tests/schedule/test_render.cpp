#include "picture/Bitmap.h"
#include "picture/Graphic.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "render/AreaResampler.h"
#include "schedule/Render.h"
#include "schedule/WallPaperChanger.h"

#include "MemoryRegistry.h"
#include "RecordingDesktop.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

uint32_t LE32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

std::string SaveBmp(const TempHome &home, const std::string &name, int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    std::string path = home.File(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
}

struct Fixture {
    TempHome home;
    FixedScreenMetrics screen{1024, 768};
    MemoryRegistry registry;
    RecordingDesktop desktop;
    std::string out = home.File("Tapisto_WallPaper.bmp");
};

} // namespace

TEST(Render, WritesThe24BitBitmapOfTheComputedSize)
{
    TempHome home;
    const std::string picture = SaveBmp(home, "p.bmp", 101, 50, qRgb(200, 100, 50));
    const std::string out = home.File("out.bmp");
    const TWallPaperSize size = RenderWallPaper(picture, 50, 1024, 768, out);
    EXPECT_EQ(size.Width, 50);
    EXPECT_EQ(size.Height, 25);
    const std::string bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 54u + 152u * 25u); // rows of 150 bytes padded to 152
    EXPECT_EQ(LE32(bytes, 18), 50u);
    EXPECT_EQ(LE32(bytes, 22), 25u);
    EXPECT_EQ(uint8_t(bytes[28]), 24);
    EXPECT_EQ(uint8_t(bytes[54]), 50); // blue, green, red of a flat picture survive resampling
    EXPECT_EQ(uint8_t(bytes[55]), 100);
    EXPECT_EQ(uint8_t(bytes[56]), 200);
}

TEST(Render, EnlargingAndShrinkingJpegKeepsTheContent)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    for (int correction : {-1, 0, 25, 300}) {
        SCOPED_TRACE(correction);
        const TWallPaperSize size = RenderWallPaper(TestDataPath("picture/grad.jpg"), correction, 1024, 768, out);
        QImage image(QString::fromStdString(out));
        ASSERT_EQ(image.size(), QSize(size.Width, size.Height));
        // The gradient's right-hand side is redder than its left.
        EXPECT_GT(qRed(image.pixel(size.Width - 1, size.Height / 2)), qRed(image.pixel(0, size.Height / 2)) + 100);
    }
}

// A plain 24-bit BMP that is shrunk is read row by row into the area resampler; one that keeps its size
// or is enlarged still goes through the whole picture and Qt's smooth scaling.
TEST(Render, PlainBitmapsShrinkByAreaAveragingAndEnlargeAsBefore)
{
    TempHome home;
    QImage source(90, 61, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x * 2, (y * 37) % 256, (x * y) % 256));
    const std::string picture = home.File("p.bmp");
    ASSERT_TRUE(source.save(QString::fromStdString(picture), "BMP"));
    const std::string out = home.File("out.bmp");
    for (int correction : {-1, 33, 50, 100, 250}) {
        SCOPED_TRACE(correction);
        const TWallPaperSize size = RenderWallPaper(picture, correction, 1024, 768, out);
        const QSize target(size.Width, size.Height);
        QImage expected;
        if (target.width() < source.width()) {
            expected = QImage(target, QImage::Format_RGB32);
            AreaResampler resampler(source.width(), source.height(), expected);
            for (int y = 0; y < source.height(); ++y)
                resampler.AddRow(reinterpret_cast<const uint32_t *>(source.constScanLine(y)));
        } else {
            expected = StretchImage(source, target);
        }
        EXPECT_EQ(QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32), expected);
    }
}

TEST(Apply, WritesBitmapThenTileValueThenTellsTheDesktop)
{
    Fixture f;
    const std::string picture = SaveBmp(f.home, "p.bmp", 640, 480, qRgb(1, 2, 3));
    ApplyWallPaper(picture, TileMode::Tile, -1, f.out, f.screen, f.registry, f.desktop);
    EXPECT_EQ(QImage(QString::fromStdString(f.out)).size(), QSize(640, 480));
    EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), "1");
    ASSERT_EQ(f.desktop.calls.size(), 1u);
    EXPECT_EQ(f.desktop.calls[0], (RecordingDesktop::Call{f.out, 1}));

    // The next entry overwrites the same file.
    ApplyWallPaper(picture, TileMode::Stretch, 0, f.out, f.screen, f.registry, f.desktop);
    EXPECT_EQ(QImage(QString::fromStdString(f.out)).size(), QSize(1024, 768));
    EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), "2");
    EXPECT_EQ(f.desktop.calls.size(), 2u);
}

TEST(Apply, FailuresBeforeWritingChangeNothing)
{
    Fixture f;
    WriteFileBytes(f.out, "previous");
    const std::string picture = SaveBmp(f.home, "p.bmp", 640, 480, qRgb(1, 2, 3));
    const auto unchanged = [&f] { // NOLINT(clang-analyzer-deadcode.DeadStores): called below
        EXPECT_EQ(ReadFileBytes(f.out), "previous");
        EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), std::nullopt);
        EXPECT_TRUE(f.desktop.calls.empty());
    };
    // The picture's failures are told apart from the output's, with the reader's own message.
    try {
        ApplyWallPaper(f.home.File("missing.bmp"), TileMode::Centre, 0, f.out, f.screen, f.registry, f.desktop);
        FAIL();
    } catch (const EPictureUnusable &e) {
        EXPECT_EQ(e.Message(), "ファイル " + f.home.File("missing.bmp") + " は開けません");
        EXPECT_EQ(f.home.File("missing.bmp"), e.PicturePath());
    }
    unchanged();
    EXPECT_THROW(ApplyWallPaper("", TileMode::Centre, 0, f.out, f.screen, f.registry, f.desktop), EPictureUnusable);
    EXPECT_THROW(ApplyWallPaper(picture, TileMode::Centre, -20, f.out, f.screen, f.registry, f.desktop),
                 EPictureUnusable);
    WriteFileBytes(f.home.File("cut.jpg"), ReadFileBytes(TestDataPath("picture/grad.jpg")).substr(0, 300));
    WriteFileBytes(f.home.File("text.bmp"), "not a picture at all");
    for (const char *broken : {"cut.jpg", "text.bmp"})
        for (const int32_t correction : {-1, 0})
            EXPECT_THROW(ApplyWallPaper(f.home.File(broken), TileMode::Centre, correction, f.out, f.screen, f.registry,
                                        f.desktop),
                         EPictureUnusable)
                << broken << " " << correction;
    unchanged();
    // The output folder does not exist: the save fails (the output's fault, whether the rows stream or
    // not), registry and desktop stay.
    for (const int32_t correction : {-1, 0}) {
        try {
            ApplyWallPaper(picture, TileMode::Centre, correction, f.home.File("no/out.bmp"), f.screen, f.registry,
                           f.desktop);
            ADD_FAILURE() << correction;
        } catch (const EPictureUnusable &e) {
            ADD_FAILURE() << "the output's failure taken for the picture's: " << e.Message();
        } catch (const EInOutError &) {
        }
    }
    unchanged();
}

TEST(Apply, HugePictureWithoutCorrectionFailsBeforeDecoding)
{
    Fixture f;
    WriteFileBytes(f.out, "previous");
    // A JPEG whose header claims 60000 x 60000: at its own size it would need 13 GiB.
    std::string bytes = ReadFileBytes(TestDataPath("picture/grad.jpg"));
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (size_t i : {sof + 5, sof + 7}) {
        bytes[i] = char(60000 >> 8);
        bytes[i + 1] = char(60000 & 0xFF);
    }
    WriteFileBytes(f.home.File("huge.jpg"), bytes);
    EXPECT_THROW(ApplyWallPaper(f.home.File("huge.jpg"), TileMode::Centre, -1, f.out, f.screen, f.registry, f.desktop),
                 EPictureUnusable);
    EXPECT_EQ(ReadFileBytes(f.out), "previous");
    EXPECT_TRUE(f.desktop.calls.empty());
}

TEST(Apply, DesktopFailureIsReportedAfterTheFileAndRegistry)
{
    Fixture f;
    f.desktop.fail = true;
    const std::string picture = SaveBmp(f.home, "p.bmp", 8, 8, qRgb(1, 2, 3));
    EXPECT_THROW(ApplyWallPaper(picture, TileMode::Centre, -1, f.out, f.screen, f.registry, f.desktop), Exception);
    EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), "0");
}

TEST(Changer, TellsItsOutputPathThenChangesThroughIt)
{
    Fixture f;
    const std::string picture = SaveBmp(f.home, "p.bmp", 8, 8, qRgb(1, 2, 3));
    WallPaperChanger changer(f.out, f.screen, f.registry, f.desktop);
    std::vector<std::string> told;
    changer.OnChange = [&](const std::string &path) {
        told.push_back(path);
        EXPECT_TRUE(f.desktop.calls.empty() || f.desktop.calls.size() == told.size() - 1); // before the desktop
    };
    changer.Apply(picture, TileMode::Stretch, -1);
    changer.OutputPath = f.home.File("other.bmp");
    changer.Apply(picture, TileMode::Centre, -1);
    EXPECT_EQ((std::vector<std::string>{f.out, f.home.File("other.bmp")}), told);
    ASSERT_EQ(2u, f.desktop.calls.size());
    EXPECT_EQ((RecordingDesktop::Call{f.out, 2}), f.desktop.calls[0]);
    EXPECT_EQ((RecordingDesktop::Call{f.home.File("other.bmp"), 0}), f.desktop.calls[1]);
    EXPECT_EQ(QImage(QString::fromStdString(f.home.File("other.bmp"))).size(), QSize(8, 8));
}
