#include "platform/Files.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Monitors.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/Render.h"
#include "schedule/WallPaperChanger.h"

#include "MemoryRegistry.h"
#include "RecordingDesktop.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

// A picture of one colour, or of two halves (left `colour`, right `right`).
std::string SavePicture(const TempHome &home, const std::string &name, int w, int h, QRgb colour, QRgb right = 0)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    if (right != 0) {
        QPainter painter(&image);
        painter.fillRect(w / 2, 0, w - w / 2, h, QColor(right));
    }
    std::string path = home.File(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
}

MonitorLayout Layout(const std::string &text)
{
    const std::optional<MonitorLayout> layout = ParseMonitorLayout(text);
    EXPECT_TRUE(layout.has_value()) << text;
    return layout.value_or(MonitorLayout{});
}

QRgb At(const QImage &image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

// The colour at a monitor's four corners and centre, in box coordinates.
struct Probe {
    QRgb topLeft, topRight, bottomLeft, bottomRight, centre;
};
Probe ProbeMonitor(const QImage &box, const MonitorBox &origin, const Monitor &m)
{
    const int x0 = m.X - origin.X, y0 = m.Y - origin.Y, x1 = x0 + m.Width - 1, y1 = y0 + m.Height - 1;
    return {At(box, x0, y0), At(box, x1, y0), At(box, x0, y1), At(box, x1, y1),
            At(box, x0 + m.Width / 2, y0 + m.Height / 2)};
}
void ExpectCorners(const Probe &p, QRgb corners, QRgb centre, const char *what)
{
    EXPECT_EQ(p.topLeft, corners) << what;
    EXPECT_EQ(p.topRight, corners) << what;
    EXPECT_EQ(p.bottomLeft, corners) << what;
    EXPECT_EQ(p.bottomRight, corners) << what;
    EXPECT_EQ(p.centre, centre) << what;
}

QImage ReadBox(const std::string &path)
{
    QImage image(QString::fromStdString(path));
    EXPECT_FALSE(image.isNull()) << path;
    return image;
}

} // namespace

TEST(MonitorLayoutText, ReadsSortsNamesAndRefusesWhatIsNoLayout)
{
    const MonitorLayout layout = Layout("DP-2=1280x1024+1920-200,1920x1080+0+0,HDMI-1=800x600+1920+824");
    ASSERT_EQ(layout.size(), 3u);
    EXPECT_EQ(layout[0], (Monitor{"", 0, 0, 1920, 1080}));
    EXPECT_EQ(layout[1], (Monitor{"DP-2", 1920, -200, 1280, 1024})); // same x: the upper one first
    EXPECT_EQ(layout[2], (Monitor{"HDMI-1", 1920, 824, 800, 600}));
    EXPECT_EQ(FormatMonitorLayout(layout), "1920x1080+0+0,DP-2=1280x1024+1920-200,HDMI-1=800x600+1920+824");
    EXPECT_EQ(ParseMonitorLayout(FormatMonitorLayout(layout)), layout);
    const MonitorBox box = BoundingBox(layout);
    EXPECT_EQ(box.X, 0);
    EXPECT_EQ(box.Y, -200);
    EXPECT_EQ(box.Width, 3200);
    EXPECT_EQ(box.Height, 1624);

    for (const char *bad : {"", "1920x1080", "1920x1080+0", "0x1080+0+0", "1920x1080+0+0,", "=1920x1080+0+0",
                            "1920x1080+0+0x", "1920*1080+0+0", "200000x1080+0+0", "1920x1080++0+0", "-5x5+0+0"})
        EXPECT_FALSE(ParseMonitorLayout(bad).has_value()) << bad;
}

TEST(MonitorRender, TwoMonitorsOfDifferentSizesEachShowTheirOwnPictureByItsOwnPosition)
{
    TempHome home;
    const std::string small = SavePicture(home, "small.bmp", 200, 100, kRed);
    const std::string wide = SavePicture(home, "wide.bmp", 400, 300, kGreen);
    const MonitorLayout layout = Layout("800x600+0+0,1024x768+800+0");
    const std::string out = home.File("out.bmp");

    // Centre without correction on the left, auto (4:3 on 4:3) on the right.
    MonitorBox box = RenderMonitorWallPapers({{small, TileMode::Centre, -1}, {wide, TileMode::Centre, 0}}, layout, out);
    EXPECT_EQ(box.Width, 1824);
    EXPECT_EQ(box.Height, 768);
    QImage image = ReadBox(out);
    ASSERT_EQ(image.size(), QSize(1824, 768));
    ExpectCorners(ProbeMonitor(image, box, layout[0]), kBlack, kRed, "centre, none");
    ExpectCorners(ProbeMonitor(image, box, layout[1]), kGreen, kGreen, "auto");
    // The picture's edges: 200x100 centred in 800x600 starts at 300,250.
    EXPECT_EQ(At(image, 300, 250), kRed);
    EXPECT_EQ(At(image, 299, 250), kBlack);
    EXPECT_EQ(At(image, 499, 349), kRed);
    EXPECT_EQ(At(image, 500, 349), kBlack);
    // Below the shorter monitor no monitor shows anything: black.
    EXPECT_EQ(At(image, 400, 700), kBlack);

    // Enlarge on the left (a small picture fills its monitor), 50% centred on the right.
    box = RenderMonitorWallPapers({{small, TileMode::Stretch, -1}, {wide, TileMode::Centre, 50}}, layout, out);
    image = ReadBox(out);
    ExpectCorners(ProbeMonitor(image, box, layout[0]), kRed, kRed, "enlarge");
    ExpectCorners(ProbeMonitor(image, box, layout[1]), kBlack, kGreen, "50%");
    EXPECT_EQ(At(image, 800 + 412, 384 - 75), kGreen); // 200x150 centred at 412,309 of the monitor
    EXPECT_EQ(At(image, 800 + 411, 384 - 75), kBlack);
}

TEST(MonitorRender, ThreeMonitorsWithOneAboveAnotherAndAGapTileFromTheirOwnCorner)
{
    TempHome home;
    const std::string halves = SavePicture(home, "halves.bmp", 300, 200, kRed, kGreen);
    const std::string blue = SavePicture(home, "blue.bmp", 3000, 1000, kBlue);
    // A 1280x1024 monitor, a gap of 120 pixels, then two 1024x768 monitors one above the other.
    const MonitorLayout layout = Layout("1280x1024+0+0,B=1024x768+1400+768,A=1024x768+1400+0");
    ASSERT_EQ(layout[1].Name, "A");
    const std::string out = home.File("out.bmp");
    const MonitorBox box = RenderMonitorWallPapers(
        {{halves, TileMode::Tile, -1}, {blue, TileMode::Centre, 100}, {halves, TileMode::Tile, 50}}, layout, out);
    EXPECT_EQ(box.Width, 2424);
    EXPECT_EQ(box.Height, 1536);
    const QImage image = ReadBox(out);

    // Tiles start at each monitor's own top-left corner: red, then green 150 pixels on, red again at 300.
    EXPECT_EQ(At(image, 0, 0), kRed);
    EXPECT_EQ(At(image, 150, 0), kGreen);
    EXPECT_EQ(At(image, 300, 200), kRed);
    EXPECT_EQ(At(image, 1279, 1023), kRed); // 1279 = 4 x 300 + 79: a red half
    // 50% tiles are 150x100 from the lower right monitor's corner at 1400,768.
    EXPECT_EQ(At(image, 1400, 768), kRed);
    EXPECT_EQ(At(image, 1400 + 75, 768), kGreen);
    EXPECT_EQ(At(image, 1400 + 150, 768 + 100), kRed);
    // 100% of 3000x1000 is capped at twice the monitor: 2048x683, centred and cut on both sides.
    const Probe upper = ProbeMonitor(image, box, layout[1]);
    EXPECT_EQ(upper.centre, kBlue);
    EXPECT_EQ(upper.topLeft, kBlack);
    EXPECT_EQ(At(image, 1400, 384), kBlue);
    EXPECT_EQ(At(image, 1400, 384 - 341), kBlue);
    EXPECT_EQ(At(image, 1400, 384 - 343), kBlack);
    // The gap between the monitors, and under the left one's right of it, stays black.
    EXPECT_EQ(At(image, 1339, 500), kBlack);
    EXPECT_EQ(At(image, 640, 1300), kBlack);
}

TEST(MonitorRender, PiecesHoldEachMonitorsRectangleAndAreNamedByConnector)
{
    TempHome home;
    const std::string red = SavePicture(home, "red.bmp", 64, 48, kRed);
    const std::string green = SavePicture(home, "green.bmp", 64, 48, kGreen);
    const MonitorLayout layout = Layout("HDMI-1=640x480+0+0,640x480+640+100");
    const std::string out = home.File("Tapisto_WallPaper.bmp");
    const std::vector<std::string> pieces{MonitorPiecePath(out, layout, 0), MonitorPiecePath(out, layout, 1)};
    EXPECT_EQ(pieces[0], home.File("Tapisto_WallPaper.HDMI-1.bmp"));
    EXPECT_EQ(pieces[1], home.File("Tapisto_WallPaper.monitor2.bmp"));
    MonitorLayout odd = layout;
    odd[0].Name = "../x";
    EXPECT_EQ(MonitorPiecePath(out, odd, 0), home.File("Tapisto_WallPaper.monitor1.bmp"));

    RenderMonitorWallPapers({{red, TileMode::Stretch, -1}, {green, TileMode::Stretch, -1}}, layout, out, pieces);
    const QImage first = ReadBox(pieces[0]);
    const QImage second = ReadBox(pieces[1]);
    ASSERT_EQ(first.size(), QSize(640, 480));
    ASSERT_EQ(second.size(), QSize(640, 480));
    EXPECT_EQ(At(first, 0, 0), kRed);
    EXPECT_EQ(At(first, 639, 479), kRed);
    EXPECT_EQ(At(second, 0, 0), kGreen);
    EXPECT_EQ(At(second, 639, 479), kGreen);
    EXPECT_EQ(At(ReadBox(out), 700, 50), kBlack); // above the lower monitor
}

TEST(MonitorRender, AFailingPictureLeavesEveryFileAsItWas)
{
    TempHome home;
    const std::string red = SavePicture(home, "red.bmp", 64, 48, kRed);
    const MonitorLayout layout = Layout("640x480+0+0,640x480+640+0");
    const std::string out = home.File("out.bmp");
    WriteFileBytes(out, "old");
    EXPECT_THROW(
        RenderMonitorWallPapers({{red, TileMode::Centre, -1}, {home.File("missing.bmp"), TileMode::Centre, -1}}, layout,
                                out, {home.File("p1.bmp"), home.File("p2.bmp")}),
        Exception);
    EXPECT_EQ(ReadFileBytes(out), "old");
    EXPECT_FALSE(FileExists(home.File("p1.bmp")));
    EXPECT_THROW(RenderMonitorWallPapers({{red, TileMode::Centre, 0}}, {}, out), Exception);
}

TEST(MonitorRender, JpegsOnSeveralCoresMatchTheOnePictureRenderAndTransparencyLiesOnBlack)
{
    TempHome home;
    // A JPEG shrunk for each of three monitors (made side by side on as many cores as there are) gives
    // what the one-picture render gives at that monitor's size.
    const std::string jpeg = TestDataPath("picture/grad.jpg"); // 64x48
    const MonitorLayout layout = Layout("40x30+0+0,30x30+40+0,16x12+70+0");
    const std::string out = home.File("out.bmp");
    const MonitorBox box = RenderMonitorWallPapers(
        {{jpeg, TileMode::Stretch, -1}, {jpeg, TileMode::Centre, 0}, {jpeg, TileMode::Tile, 25}}, layout, out);
    const QImage image = ReadBox(out);
    const std::string single = home.File("single.bmp");
    for (const auto &[monitor, correction] : {std::pair{layout[1], 0}, std::pair{layout[2], 25}}) {
        const TWallPaperSize size = RenderWallPaper(jpeg, correction, monitor.Width, monitor.Height, single);
        const QImage alone = ReadBox(single);
        // Centred: auto makes 30x22 of the 64x48 picture on the 30x30 monitor, 4 rows of black above.
        const int top = (monitor.Height - size.Height) / 2;
        for (int y = 0; y < size.Height; ++y)
            for (int x = 0; x < size.Width; ++x)
                ASSERT_EQ(At(image, monitor.X - box.X + x, top + y), At(alone, x, y))
                    << monitor.Width << " " << x << "," << y;
        if (top > 0) {
            EXPECT_EQ(At(image, monitor.X - box.X, top - 1), kBlack);
        }
    }

    // The first monitor's failure is the one raised, whichever core met its picture first.
    try {
        RenderMonitorWallPapers(
            {{home.File("first.jpg"), TileMode::Centre, -1}, {home.File("second.jpg"), TileMode::Centre, -1}}, layout,
            out);
        FAIL();
    } catch (const Exception &e) {
        EXPECT_NE(e.Message().find("first.jpg"), std::string::npos) << e.Message();
    }

    // An icon whose left half is transparent, stretched and centred: black shows through, as on a desktop.
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter(&icon).fillRect(16, 0, 16, 32, QColor(kGreen));
    const std::string iconPath = home.File("half.ico");
    ASSERT_TRUE(icon.save(QString::fromStdString(iconPath), "ICO"));
    const MonitorLayout two = Layout("64x64+0+0,64x64+64+0");
    RenderMonitorWallPapers({{iconPath, TileMode::Stretch, -1}, {iconPath, TileMode::Centre, -1}}, two, out);
    const QImage icons = ReadBox(out);
    EXPECT_EQ(At(icons, 5, 32), kBlack);
    EXPECT_EQ(At(icons, 60, 32), kGreen);
    EXPECT_EQ(At(icons, 64 + 20, 32), kBlack); // centred: 16..47, its transparent half 16..31
    EXPECT_EQ(At(icons, 64 + 40, 32), kGreen);
    EXPECT_EQ(At(icons, 64 + 40, 5), kBlack);
}

namespace {

// The session's monitors as a test sets them, plugged, unplugged and moved.
class SwitchableMonitors : public ScreenMetrics {
public:
    int ScreenWidth() override { return layout.front().Width; }
    int ScreenHeight() override { return layout.front().Height; }
    MonitorLayout Monitors() override { return layout; }
    MonitorLayout layout;
};

struct ChangeFixture {
    TempHome home;
    FixedMonitorMetrics screen{ParseMonitorLayout("DP-1=640x480+0+0,DP-2=800x600+640+0").value()};
    MemoryRegistry registry;
    RecordingDesktop desktop;
    WallPaperChanger changer{home.File("Tapisto_WallPaper.bmp"), screen, registry, desktop};
    std::string red = SavePicture(home, "red.bmp", 64, 48, kRed);
    std::string green = SavePicture(home, "green.bmp", 64, 48, kGreen);
};

} // namespace

TEST(MonitorChange, SpannedAndPieceDesktopsGetTheBoxAndTheirFiles)
{
    ChangeFixture f;
    f.registry.WriteString("Control Panel\\desktop", "TileWallpaper", "2");
    f.desktop.perMonitor = PerMonitorMethod::Spanned;
    const MonitorLayout layout = f.changer.Monitors();
    f.changer.ApplyPerMonitor({{f.red, TileMode::Tile, -1}, {f.green, TileMode::Stretch, -1}}, layout);
    ASSERT_EQ(f.desktop.monitorCalls.size(), 1u);
    EXPECT_TRUE(f.desktop.calls.empty());
    EXPECT_EQ(f.desktop.monitorCalls[0].boxPath, f.changer.OutputPath);
    EXPECT_EQ(f.desktop.monitorCalls[0].layout, layout);
    EXPECT_TRUE(f.desktop.monitorCalls[0].piecePaths.empty());
    // Every picture is placed already: the desktop must not centre, tile or stretch it again.
    EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), "0");
    EXPECT_EQ(ReadBox(f.changer.OutputPath).size(), QSize(1440, 600));
    EXPECT_TRUE(f.changer.LastFallback.empty());

    f.desktop.perMonitor = PerMonitorMethod::Pieces;
    f.changer.ApplyPerMonitor({{f.red, TileMode::Tile, -1}, {f.green, TileMode::Stretch, -1}}, layout);
    ASSERT_EQ(f.desktop.monitorCalls.size(), 2u);
    ASSERT_EQ(f.desktop.monitorCalls[1].piecePaths.size(), 2u);
    EXPECT_EQ(ReadBox(f.desktop.monitorCalls[1].piecePaths[1]).size(), QSize(800, 600));
}

TEST(MonitorChange, ADesktopThatCannotFallsBackToOnePictureAndSaysWhy)
{
    ChangeFixture f;
    f.changer.ApplyPerMonitor({{f.red, TileMode::Tile, -1}, {f.green, TileMode::Stretch, -1}}, f.changer.Monitors());
    ASSERT_EQ(f.desktop.calls.size(), 1u);
    EXPECT_EQ(f.desktop.calls[0], (RecordingDesktop::Call{f.changer.OutputPath, 1}));
    EXPECT_EQ(f.registry.ReadString("Control Panel\\desktop", "TileWallpaper"), "1");
    EXPECT_NE(f.changer.LastFallback.find("recording"), std::string::npos) << f.changer.LastFallback;
    EXPECT_EQ(ReadBox(f.changer.OutputPath).size(), QSize(64, 48)); // the first picture, as one screen has it

    // A desktop that only finds out when it tries (an old version) falls back the same way.
    f.desktop.perMonitor = PerMonitorMethod::Spanned;
    f.desktop.refusePerMonitor = true;
    f.changer.ApplyPerMonitor({{f.green, TileMode::Centre, -1}, {f.red, TileMode::Centre, -1}}, f.changer.Monitors());
    ASSERT_EQ(f.desktop.calls.size(), 2u);
    EXPECT_FALSE(f.changer.LastFallback.empty());
    EXPECT_EQ(f.changer.LastPicturePath, f.green);
}

TEST(MonitorChange, ANewLayoutRendersTheSamePicturesAgainOnce)
{
    TempHome home;
    MemoryRegistry registry;
    RecordingDesktop desktop;
    desktop.perMonitor = PerMonitorMethod::Spanned;
    SwitchableMonitors screen;
    screen.layout = ParseMonitorLayout("640x480+0+0,800x600+640+0").value();
    WallPaperChanger changer(home.File("out.bmp"), screen, registry, desktop);
    EXPECT_FALSE(changer.RenderAgainForMonitors()); // nothing shown yet

    const std::string red = SavePicture(home, "red.bmp", 64, 48, kRed);
    const std::string green = SavePicture(home, "green.bmp", 64, 48, kGreen);
    changer.ApplyPerMonitor({{red, TileMode::Stretch, -1}, {green, TileMode::Stretch, -1}}, changer.Monitors());
    EXPECT_FALSE(changer.RenderAgainForMonitors()); // the same layout: nothing to do
    ASSERT_EQ(desktop.monitorCalls.size(), 1u);

    // The second monitor is unplugged: the first picture alone, fitted to the one left.
    screen.layout = ParseMonitorLayout("1024x768+0+0").value();
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    ASSERT_EQ(desktop.calls.size(), 1u);
    EXPECT_EQ(ReadBox(changer.OutputPath).size(), QSize(64, 48)); // one picture: the desktop stretches it
    EXPECT_FALSE(changer.RenderAgainForMonitors());

    // It comes back: both pictures again, nothing chosen anew.
    screen.layout = ParseMonitorLayout("1024x768+0+0,800x600+1024+0").value();
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    ASSERT_EQ(desktop.monitorCalls.size(), 2u);
    const QImage box = ReadBox(changer.OutputPath);
    EXPECT_EQ(At(box, 10, 10), kRed);
    EXPECT_EQ(At(box, 1030, 10), kGreen);
}

TEST(MonitorChange, MonitorsKeepTheirPicturesByNameWhenMovedUnpluggedOrJoined)
{
    TempHome home;
    MemoryRegistry registry;
    RecordingDesktop desktop;
    desktop.perMonitor = PerMonitorMethod::Spanned;
    SwitchableMonitors screen;
    screen.layout = Layout("DP-1=640x480+0+0,DP-2=800x600+640+0");
    WallPaperChanger changer(home.File("out.bmp"), screen, registry, desktop);
    const std::string red = SavePicture(home, "red.bmp", 64, 48, kRed);
    const std::string green = SavePicture(home, "green.bmp", 64, 48, kGreen);
    const std::string blue = SavePicture(home, "blue.bmp", 64, 48, kBlue);
    // Three pictures for two monitors: the third waits for a monitor.
    changer.ApplyPerMonitor(
        {{red, TileMode::Stretch, -1}, {green, TileMode::Stretch, -1}, {blue, TileMode::Stretch, -1}},
        changer.Monitors());

    // DP-2 is moved to the left of DP-1: the pictures stay on their monitors, not on their places.
    screen.layout = Layout("DP-1=640x480+800+0,DP-2=800x600+0+0");
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    QImage box = ReadBox(changer.OutputPath);
    EXPECT_EQ(At(box, 10, 10), kGreen);
    EXPECT_EQ(At(box, 810, 10), kRed);

    // DP-1 is unplugged: DP-2 goes on showing its own picture.
    screen.layout = Layout("DP-2=800x600+0+0");
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    EXPECT_EQ(changer.LastPicturePath, green);
    EXPECT_EQ(At(ReadBox(changer.OutputPath), 10, 10), kGreen);

    // DP-1 comes back with a new monitor: DP-1 gets its own picture again, the new one the picture no
    // monitor showed.
    screen.layout = Layout("DP-1=640x480+800+0,DP-2=800x600+0+0,HDMI-1=1024x768+1440+0");
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    box = ReadBox(changer.OutputPath);
    EXPECT_EQ(At(box, 10, 10), kGreen);
    EXPECT_EQ(At(box, 810, 10), kRed);
    EXPECT_EQ(At(box, 1450, 10), kBlue);
    ASSERT_EQ(changer.LastChoices.size(), 3u);
    EXPECT_EQ(changer.LastChoices[2].PicturePath, blue);

    // HDMI-1 is replaced by a monitor on another connector: it takes over HDMI-1's picture, which no
    // monitor shows now.
    screen.layout = Layout("DP-1=640x480+800+0,DP-2=800x600+0+0,DP-3=1024x768+1440+0");
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    EXPECT_EQ(At(ReadBox(changer.OutputPath), 1450, 10), kBlue);

    // A new change starts afresh from its own pictures (DP-2 blue, DP-1 red, DP-3 green).
    changer.ApplyPerMonitor(
        {{blue, TileMode::Stretch, -1}, {red, TileMode::Stretch, -1}, {green, TileMode::Stretch, -1}},
        changer.Monitors());
    screen.layout = Layout("DP-1=640x480+800+0,DP-3=1024x768+1440+0");
    EXPECT_TRUE(changer.RenderAgainForMonitors());
    box = ReadBox(changer.OutputPath);
    EXPECT_EQ(At(box, 10, 10), kRed); // DP-1, now at the left of the box
    EXPECT_EQ(At(box, 650, 10), kGreen);
}
