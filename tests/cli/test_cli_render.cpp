// render and apply: one wallpaper rendered and applied by the real tapistoctl.
#include "CliRun.h"
#include "TempHome.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

TEST(Tapistoctl, RendersEveryBuiltInFormat)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    for (const char *name : {"grad.jpg", "grad_progressive.jpg", "two_sizes.ico", "rect.emf", "rect.wmf"}) {
        SCOPED_TRACE(name);
        std::remove(out.c_str());
        ASSERT_EQ(RunTapistoctl("", "render " + ShellQuote(TestDataPath(std::string("picture/") + name)) + " " +
                                        ShellQuote(out) + " --correction 自動 --screen 64x48"),
                  0);
        EXPECT_EQ(QImage(QString::fromStdString(out)).width(), 64);
    }
    const std::string bmp = home.File("p.bmp");
    WriteFileBytes(bmp, TinyBmp(10, 4));
    ASSERT_EQ(RunTapistoctl("", "render " + ShellQuote(bmp) + " " + ShellQuote(out)), 0);
    EXPECT_EQ(QImage(QString::fromStdString(out)).size(), QSize(10, 4));
    EXPECT_EQ(RunTapistoctl("", "render " + ShellQuote(bmp) + " " + ShellQuote(out) + " --screen 10by4"), 2);
    EXPECT_EQ(RunTapistoctl("", "render " + ShellQuote(home.File("x.png")) + " " + ShellQuote(out)), 1);
}

TEST(Tapistoctl, ApplyWritesTheSettingsBitmapAndTheTileValue)
{
    TempHome home;
    const std::string env = "TAPISTO_HOME=" + ShellQuote(home.Path()) +
                            " XDG_CONFIG_HOME=" + ShellQuote(home.File("config")) + " TAPISTO_DESKTOP=file";
    ASSERT_EQ(RunTapistoctl(env, "apply " + ShellQuote(TestDataPath("picture/grad.jpg")) +
                                     " --position 拡大 --correction 50%"),
              0);
    EXPECT_EQ(QImage(QString::fromStdString(home.File("Tapisto_WallPaper.bmp"))).size(), QSize(32, 24));
    EXPECT_NE(ReadFileBytes(home.File("config/tapisto/registry.ini")).find("TileWallpaper=2"), std::string::npos);
    // No recognised desktop is an error, and so is an unknown forced one.
    EXPECT_EQ(RunTapistoctl("TAPISTO_HOME=" + ShellQuote(home.Path()) + " TAPISTO_DESKTOP=amiga",
                            "apply " + ShellQuote(TestDataPath("picture/grad.jpg"))),
              1);
}

// A JPEG or plain BMP for a given screen is rendered by the launcher alone: it works without the
// command library (and so without Qt), and gives the bitmap the library gives (--plugins sends the same
// render there; no first-party plug-in takes jpg or bmp).
TEST(Tapistoctl, TheLauncherRendersJpegAndPlainBmpWithoutTheCommandLibrary)
{
    TempHome home;
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    const std::string alone = home.File("alone/");
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(std::string(bin ? bin : "build/bin") + "/tapistoctl", alone + "tapistoctl");
    const std::string bmp = home.File("p.bmp");
    WriteFileBytes(bmp, TinyBmp(30, 20));
    const auto render = [&](const std::string &launcher, const std::string &picture, const std::string &out,
                            const std::string &more) {
        return std::system(("env -u DISPLAY -u WAYLAND_DISPLAY " + ShellQuote(launcher) + " render " +
                            ShellQuote(picture) + " " + ShellQuote(out) + " --correction 50% " + more +
                            " >/dev/null 2>&1")
                               .c_str());
    };
    const std::string full = std::string(bin ? bin : "build/bin") + "/tapistoctl";
    for (const std::string &picture : {TestDataPath("picture/grad.jpg"), bmp}) {
        SCOPED_TRACE(picture);
        ASSERT_EQ(render(alone + "tapistoctl", picture, home.File("alone.bmp"), "--screen 64x48"), 0);
        ASSERT_EQ(render(full, picture, home.File("library.bmp"), "--screen 64x48 --plugins"), 0);
        EXPECT_EQ(ReadFileBytes(home.File("alone.bmp")), ReadFileBytes(home.File("library.bmp")));
        // Without --screen and without a display, the default screen.
        ASSERT_EQ(render(alone + "tapistoctl", picture, home.File("alone.bmp"), ""), 0);
    }
    // Anything else needs the library, which says where it looked.
    EXPECT_NE(render(alone + "tapistoctl", TestDataPath("picture/grad.jpg"), home.File("x.bmp"), "--correction 300%"),
              0);
    EXPECT_NE(render(alone + "tapistoctl", TestDataPath("picture/rect.emf"), home.File("x.bmp"), "--screen 64x48"), 0);
    EXPECT_FALSE(std::filesystem::exists(home.File("x.bmp")));
}
