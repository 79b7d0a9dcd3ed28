#include "CliRun.h"
#include "TempHome.h"
#include "platform/Files.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the real tapistoctl with its output captured in files of the home folder.
RunResult Tapistoctl(const TempHome &home, const std::vector<std::string> &args)
{
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    std::string command = ShellQuote(std::string(bin ? bin : "build/bin") + "/tapistoctl");
    for (const std::string &arg : args)
        command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(home.File("out.txt")) + " 2>" + ShellQuote(home.File("err.txt"));
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFileBytes(home.File("out.txt")),
            ReadFileBytes(home.File("err.txt"))};
}

} // namespace

TEST(Tapistoctl, IniSetAndGetConvertBetweenUtf8AndCp932)
{
    TempHome home;
    const std::string ini = home.File("a.ini");
    WriteFileBytes(ini, "[Main]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n");
    EXPECT_EQ(0, Tapistoctl(home, {"ini", "set", ini, "設定", "表示", "表"}).status);
    EXPECT_EQ(0, Tapistoctl(home, {"ini", "set", ini, "main", "a", "x"}).status);
    EXPECT_EQ("[Main]\r\na=x\r\n\r\n[Other]\r\nB=2\r\n\r\n[\x90\xDD\x92\xE8]\r\n\x95\x5C\x8E\xA6=\x95\x5C\r\n\r\n",
              ReadFileBytes(ini));

    RunResult got = Tapistoctl(home, {"ini", "get", ini, "設定", "表示"});
    EXPECT_EQ(0, got.status);
    EXPECT_EQ("表\n", got.out);
    EXPECT_EQ("既定\n", Tapistoctl(home, {"ini", "get", ini, "設定", "無い", "既定"}).out);
    EXPECT_EQ("\n", Tapistoctl(home, {"ini", "get", home.File("none.ini"), "S", "K"}).out);
    EXPECT_FALSE(FileExists(home.File("none.ini")));

    // An empty KEY erases the section.
    EXPECT_EQ(0, Tapistoctl(home, {"ini", "set", ini, "other", "", ""}).status);
    EXPECT_EQ("[Main]\r\na=x\r\n\r\n[\x90\xDD\x92\xE8]\r\n\x95\x5C\x8E\xA6=\x95\x5C\r\n\r\n", ReadFileBytes(ini));
}

TEST(Tapistoctl, ListPrintsTheEntriesTabSeparated)
{
    TempHome home;
    const std::string dat = home.File("グループ.dat");
    WriteFileBytes(dat, ReadFileBytes(TestDataPath("listedit/three.dat")));
    RunResult run = Tapistoctl(home, {"--home", home.Path(), "list", dat});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("C:\\pics\\sea.jpg\t並べて\t\nC:\\pics\\hill.bmp\t中央\t自動\nD:\\photo\\rose.jpg\t拡大\t150%\n",
              run.out);
    EXPECT_EQ("", run.err);
}

TEST(Tapistoctl, ExitStatusTellsUsageErrorsFromFailures)
{
    TempHome home;
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{{},
                                                                                      {"nonsense"},
                                                                                      {"list"},
                                                                                      {"ini"},
                                                                                      {"ini", "get", "f", "s"},
                                                                                      {"ini", "set", "f", "s", "k"},
                                                                                      {"--home"}}) {
        RunResult run = Tapistoctl(home, args);
        EXPECT_EQ(2, run.status) << testing::PrintToString(args);
        EXPECT_NE(std::string::npos, run.err.find("usage: tapistoctl")) << run.err;
    }
    RunResult help = Tapistoctl(home, {"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("ini set FILE SECTION KEY VALUE"));
    EXPECT_NE(std::string::npos, help.out.find("終了コード: 0 成功、1 失敗")) << help.out; // said in Japanese

    RunResult missing = Tapistoctl(home, {"list", home.File("none.dat")});
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("tapistoctl: ファイル " + home.File("none.dat") + " は開けません\n", missing.err);

    // A character that Shift-JIS cannot hold is an error, never a silent '?'.
    RunResult emoji = Tapistoctl(home, {"ini", "set", home.File("a.ini"), "S", "K", "😀"});
    EXPECT_EQ(1, emoji.status);
    EXPECT_NE(std::string::npos, emoji.err.find("😀"));
    EXPECT_FALSE(FileExists(home.File("a.ini")));
}

// A Wayland session whose compositor cannot be reached (or whose Qt lacks the Wayland plug-in) and no
// X server: the command falls back to drawing off screen instead of aborting in Qt's start-up.
TEST(Tapistoctl, ApplyInAWaylandSessionWithoutAReachableDisplayDoesNotAbort)
{
    TempHome home;
    for (const char *sessionType : {"", "wayland"}) {
        const std::string command =
            std::string("env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=tapisto-no-such-display XDG_SESSION_TYPE=") +
            sessionType + " XDG_RUNTIME_DIR=" + ShellQuote(home.Path()) +
            " XDG_CONFIG_HOME=" + ShellQuote(home.File("config")) + " TAPISTO_DESKTOP=file";
        const char *bin = std::getenv("TAPISTO_BIN_DIR");
        const int raw = std::system((command + " " + ShellQuote(std::string(bin ? bin : "build/bin") + "/tapistoctl") +
                                     " apply " + ShellQuote(TestDataPath("picture/grad.jpg")) + " --correction 自動 >" +
                                     ShellQuote(home.File("out.txt")) + " 2>/dev/null")
                                        .c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << "killed by a signal with XDG_SESSION_TYPE=" << sessionType;
        EXPECT_EQ(WEXITSTATUS(raw), 0);
        EXPECT_EQ(ReadFileBytes(home.File("out.txt")), "file: -\n");
        // No display to measure: the default screen's width.
        const std::string bmp = ReadFileBytes(home.File("Tapisto_WallPaper.bmp"));
        ASSERT_GT(bmp.size(), 22u);
        EXPECT_EQ(static_cast<unsigned char>(bmp[18]) | static_cast<unsigned char>(bmp[19]) << 8, 1920);
    }
}

TEST(Tapistoctl, ProgramCommandsSayWhenNoProgramRuns)
{
    TempHome home; // the tests' environment names a session bus that nobody answers on
    for (const char *command : {"pause", "resume", "show", "status"}) {
        const RunResult run = Tapistoctl(home, {command});
        EXPECT_EQ(1, run.status) << command;
        EXPECT_EQ("tapistoctl: Tapisto は起動していません\n", run.err) << command;
        EXPECT_EQ("", run.out) << command;
    }
    EXPECT_EQ(1, Tapistoctl(home, {"status", "--json"}).status);
    EXPECT_EQ(2, Tapistoctl(home, {"status", "--yaml"}).status);
    EXPECT_EQ(2, Tapistoctl(home, {"pause", "--json"}).status);
    EXPECT_EQ(2, Tapistoctl(home, {"show", "/tmp"}).status);
}
