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
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    return std::string(bin ? bin : "build/bin") + "/tapisto";
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
    const std::string &runtime = home.Path();
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
