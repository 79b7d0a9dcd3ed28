#include "platform/session/SingleInstance.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ProgramFile()
{
    return std::string(std::getenv("TAPISTO_BIN_DIR")) + "/tapisto";
}

// Starts the program with its own home, runtime folder and the file-only desktop.
pid_t StartProgram(const std::string &home, const std::string &runtime)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TAPISTO_HOME", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "config").c_str(), 1);
        setenv("TAPISTO_DESKTOP", "file", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string program = ProgramFile();
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the process is still running after the time given.
int WaitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// Whether the process holds a whole-file lock (flock) according to the kernel's list.
bool HoldsFileLock(pid_t pid)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    const std::string pidText = " " + std::to_string(pid) + " ";
    while (std::getline(locks, line))
        if (line.find("FLOCK") != std::string::npos && line.find(pidText) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(ProgramEntry, ASecondStartEndsAtOnceWhileTheFirstRuns)
{
    TempHome home;
    const std::string runtime = home.Path();
    const pid_t first = StartProgram(home.Path(), runtime);
    ASSERT_GT(first, 0);
    // The first instance takes the guard early in its start.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!HoldsFileLock(first) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(HoldsFileLock(first)) << "the first instance never took the guard";
    SingleInstance probe(runtime + "PgTapisto.lock");
    EXPECT_FALSE(probe.TryAcquire());
    EXPECT_EQ(-1, WaitFor(first, std::chrono::milliseconds(200))); // it keeps running

    const pid_t second = StartProgram(home.Path(), runtime);
    EXPECT_EQ(0, WaitFor(second, std::chrono::seconds(10)));

    kill(first, SIGTERM);
    WaitFor(first, std::chrono::seconds(10));
    // The kernel released the guard with the process.
    EXPECT_TRUE(probe.TryAcquire());
}

namespace {

// Runs tapistoctl with the home folder and the file-only desktop; returns its exit status.
int RunCtl(const TempHome &home, const std::string &command)
{
    const std::string line = "TAPISTO_HOME='" + home.Path() + "' XDG_CONFIG_HOME='" + home.Path() +
                             "config' TAPISTO_DESKTOP=file QT_QPA_PLATFORM=offscreen '" +
                             std::string(std::getenv("TAPISTO_BIN_DIR")) + "/tapistoctl' " + command +
                             " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width of the output bitmap; the pictures of the group differ in width.
int OutputWidth(const TempHome &home)
{
    const std::string bytes = ReadFileBytes(home.File("Tapisto_WallPaper.bmp"));
    if (bytes.size() < 22)
        return -1;
    return static_cast<unsigned char>(bytes[18]) | static_cast<unsigned char>(bytes[19]) << 8;
}

// A 24-bit BMP of width x 1, built by hand so that the test needs no picture library.
std::string TinyBmp(int width)
{
    const int row = (width * 3 + 3) / 4 * 4;
    const int size = 54 + row;
    std::string b(static_cast<size_t>(size), '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(size));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, 1);
    b[26] = 1;
    b[28] = 24;
    return b;
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
