// next and back on a real home folder, with the file-only desktop.
#include "CliRun.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int RunCtl(const TempHome &home, const std::string &command)
{
    return RunTapistoctl("TAPISTO_HOME=" + ShellQuote(home.Path()) + " XDG_CONFIG_HOME=" +
                             ShellQuote(home.File("config")) + " TAPISTO_DESKTOP=file QT_QPA_PLATFORM=offscreen",
                         command);
}

// Width of the output bitmap; the pictures of the group differ in width.
int OutputWidth(const TempHome &home)
{
    const std::string bytes = ReadFileBytes(home.File("Tapisto_WallPaper.bmp"));
    if (bytes.size() < 22)
        return -1;
    return static_cast<unsigned char>(bytes[18]) | static_cast<unsigned char>(bytes[19]) << 8;
}

} // namespace

TEST(ProgramEntry, CommandLineStepsThroughTheSelectedGroup)
{
    TempHome home;
    std::string group = "[Main]\r\nIdx=2\r\n";
    for (int k = 0; k < 3; ++k) {
        WriteFileBytes(home.File("p" + std::to_string(k) + ".bmp"), TinyBmp(k + 1));
        group += "file" + std::to_string(k) + "=" + home.File("p" + std::to_string(k) + ".bmp") + ",,,\r\n";
    }
    WriteFileBytes(home.File("g.dat"), group);
    WriteFileBytes(home.File("Tapisto.ini"), "[Main]\r\nUseSection=g.dat\r\n");

    EXPECT_EQ(0, RunCtl(home, "next"));
    EXPECT_EQ(1, OutputWidth(home));
    EXPECT_EQ(0, RunCtl(home, "next"));
    EXPECT_EQ(2, OutputWidth(home));
    EXPECT_EQ(0, RunCtl(home, "back")); // the one before entry 1
    EXPECT_EQ(1, OutputWidth(home));
    EXPECT_EQ(0, RunCtl(home, "back")); // before entry 0 comes the last one
    EXPECT_EQ(3, OutputWidth(home));
    EXPECT_NE(std::string::npos, ReadFileBytes(home.File("Tapisto.ini")).find("UseIndex=0"));
    EXPECT_EQ(2, RunCtl(home, "next now"));

    WriteFileBytes(home.File("Tapisto.ini"), "[Main]\r\nUseSection=gone.dat\r\n");
    EXPECT_EQ(1, RunCtl(home, "next"));
}
