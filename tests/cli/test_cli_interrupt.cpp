// A change interrupted half-way (killed, terminated at logout) and a full disk, with the real tapistoctl.
#include "CliRun.h"
#include "SmallDisk.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

std::string Tapistoctl()
{
    const char *bin = std::getenv("TAPISTO_BIN_DIR");
    return std::string(bin ? bin : "build/bin") + "/tapistoctl";
}

int CountHidden(const std::string &folder)
{
    int n = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        n += entry.path().filename().string().front() == '.';
    return n;
}

// `tapistoctl apply PICTURE` with TAPISTO_HOME set, started and left running.
pid_t StartApply(const std::string &home, const std::string &picture)
{
    std::vector<std::string> env{"TAPISTO_HOME=" + home, "TAPISTO_DESKTOP=file", "XDG_CONFIG_HOME=" + home + "config",
                                 "QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8"};
    std::vector<std::string> args{Tapistoctl(), "apply", picture};
    std::vector<char *> argv, envp;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Starts an apply and sends `signal` once its temporary bitmap is there; the raw wait status, or -1
// when the apply finished before the signal reached it.
int InterruptApply(const std::string &home, const std::string &picture, int signal)
{
    const pid_t pid = StartApply(home, picture);
    if (pid < 0)
        return -1;
    bool caught = false;
    for (int i = 0; i < 20000 && !caught; ++i) {
        caught = CountHidden(home) > 0;
        if (!caught)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (caught)
        ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return caught && WIFSIGNALED(status) ? status : -1;
}

} // namespace

TEST(Tapistoctl, AnInterruptedApplyLeavesNoTemporaryBitmapBehind)
{
    TempHome home;
    const std::string picture = home.File("config/big.bmp"); // outside the output's folder
    std::filesystem::create_directories(home.File("config"));
    WriteFileBytes(picture, TinyBmp(4000, 3000));

    // Killed outright: the temporary stays until the next change, which removes it.
    int caught = 0;
    for (int round = 0; round < 5 && caught < 2; ++round) {
        const int status = InterruptApply(home.Path(), picture, SIGKILL);
        if (status == -1)
            continue;
        ++caught;
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
        EXPECT_LE(CountHidden(home.Path()), 1); // none when it was killed just after its rename
        ASSERT_EQ(RunTapistoctl("TAPISTO_HOME=" + ShellQuote(home.Path()) +
                                    " TAPISTO_DESKTOP=file XDG_CONFIG_HOME=" + ShellQuote(home.File("config")),
                                "apply " + ShellQuote(picture)),
                  0);
        EXPECT_EQ(CountHidden(home.Path()), 0);
    }
    EXPECT_GT(caught, 0) << "every apply finished before it could be killed";

    // Terminated (a logout): it removes its temporary itself and still ends by the signal.
    for (int signal : {SIGTERM, SIGINT}) {
        int status = -1;
        for (int round = 0; round < 5 && status == -1; ++round)
            status = InterruptApply(home.Path(), picture, signal);
        ASSERT_NE(status, -1) << "every apply finished before it could be stopped";
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(CountHidden(home.Path()), 0);
    }
}

// "ini set" on a full disk: the file and the reason in Japanese, the old file kept.
TEST(Tapistoctl, AFullDiskIsReportedInJapaneseWithTheFile)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    TempHome home;
    const std::string ini = disk.Path() + "Tapisto.ini";
    WriteFileBytes(ini, "[Main]\r\nA=1\r\n");
    disk.Fill();
    const std::string err = home.File("err.txt");
    const std::string command = "LANG=C " + ShellQuote(Tapistoctl()) + " ini set " + ShellQuote(ini) + " Main B " +
                                std::string(5000, 'x') + " 2>" + ShellQuote(err);
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_EQ(ReadFileBytes(err), "tapistoctl: ファイル " + ini + " を書き込めません: ディスクに空きがありません\n");
    EXPECT_EQ(ReadFileBytes(ini), "[Main]\r\nA=1\r\n");
}
