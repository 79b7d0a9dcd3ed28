// next and back on a real home folder, with the file-only desktop.
#include "CliRun.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

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

TEST(ProgramEntry, NextsRunAtOnceNeitherLoseNorRepeatAStep)
{
    TempHome home;
    // A group of many entries, so that UseIndex counts every step that was made.
    WriteFileBytes(home.File("p.bmp"), TinyBmp(2));
    std::string group = "[Main]\r\nIdx=999\r\n";
    for (int k = 0; k < 1000; ++k)
        group += "file" + std::to_string(k) + "=" + home.File("p.bmp") + ",,,\r\n";
    WriteFileBytes(home.File("g.dat"), group);
    WriteFileBytes(home.File("Tapisto.ini"), "[Main]\r\nUseSection=g.dat\r\n");
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    const std::string ctl = ShellQuote(std::string(bin ? bin : "build/bin") + "/tapistoctl");
    constexpr int kProcesses = 24;
    const std::string script = "cd " + ShellQuote(home.Path()) + " && for i in $(seq " + std::to_string(kProcesses) +
                               "); do (env TAPISTO_HOME=. XDG_CONFIG_HOME=config TAPISTO_DESKTOP=file "
                               "QT_QPA_PLATFORM=offscreen " +
                               ctl + " next >/dev/null 2>&1; echo $? >>codes) & done; wait";
    ASSERT_EQ(0, std::system(script.c_str()));
    const std::string codes = ReadFileBytes(home.File("codes"));
    const auto successes = std::count(codes.begin(), codes.end(), '0');
    EXPECT_EQ(kProcesses, successes) << codes;
    EXPECT_NE(std::string::npos,
              ReadFileBytes(home.File("Tapisto.ini")).find("UseIndex=" + std::to_string(successes) + "\r\n"))
        << ReadFileBytes(home.File("Tapisto.ini"));
}

TEST(ProgramEntry, NextPassesOverAMissingPictureAndNamesIt)
{
    TempHome home;
    std::string group = "[Main]\r\nIdx=2\r\n";
    for (int k = 0; k < 3; ++k) {
        if (k != 1)
            WriteFileBytes(home.File("p" + std::to_string(k) + ".bmp"), TinyBmp(k + 1));
        group += "file" + std::to_string(k) + "=" + home.File("p" + std::to_string(k) + ".bmp") + ",,,\r\n";
    }
    WriteFileBytes(home.File("g.dat"), group);
    WriteFileBytes(home.File("Tapisto.ini"), "[Main]\r\nUseSection=g.dat\r\nUseIndex=1\r\n");
    const std::string env = "TAPISTO_HOME=" + ShellQuote(home.Path()) +
                            " XDG_CONFIG_HOME=" + ShellQuote(home.File("config")) +
                            " TAPISTO_DESKTOP=file QT_QPA_PLATFORM=offscreen";
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    const std::string command = "env " + env + " " + ShellQuote(std::string(bin ? bin : "build/bin") + "/tapistoctl") +
                                " next 2>" + ShellQuote(home.File("stderr"));
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(3, OutputWidth(home));
    EXPECT_NE(std::string::npos, ReadFileBytes(home.File("Tapisto.ini")).find("UseIndex=0"));
    EXPECT_NE(
        std::string::npos,
        ReadFileBytes(home.File("stderr")).find("表示できない画像を飛ばしました: ファイル " + home.File("p1.bmp")))
        << ReadFileBytes(home.File("stderr"));
    // None of them can be shown: exit status 1, the position stays.
    std::remove(home.File("p0.bmp").c_str());
    std::remove(home.File("p2.bmp").c_str());
    EXPECT_EQ(1, RunCtl(home, "next"));
    EXPECT_NE(std::string::npos, ReadFileBytes(home.File("Tapisto.ini")).find("UseIndex=0"));
}
