// render and apply: one wallpaper rendered and applied by the real tapistoctl.
#include "CliRun.h"
#include "TempHome.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>

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
