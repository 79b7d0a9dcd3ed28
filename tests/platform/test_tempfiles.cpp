// The temporaries of AtomicFileWriter: what a killed writer leaves goes at the next write, what a live
// writer holds stays, and a terminating signal takes the ones being written with it.
#include "ChildProcesses.h"
#include "TempHome.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> HiddenFiles(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().front() == '.')
            names.push_back(entry.path().filename().string());
    return names;
}

// A child process with a writer of `path` that has reserved a megabyte and written part of it. It
// tells the parent when it is there, then waits for a byte on its pipe, abandons that writer and
// writes `contents` (or is killed first).
class WriterProcess {
public:
    WriterProcess(const std::string &path, const std::string &contents, bool cleanOnSignals = false)
    {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            if (cleanOnSignals)
                RemoveTemporariesOnTermination();
            try {
                {
                    AtomicFileWriter writer(path);
                    writer.Reserve(1 << 20);
                    writer.WriteAt(0, "partial", 7);
                    char byte = 'r';
                    (void)!::write(ready[1], &byte, 1);
                    if (::read(go[0], &byte, 1) != 1)
                        ::_exit(3);
                    writer.WriteAt(0, contents.data(), contents.size());
                } // abandoned: what it holds goes
                ReplaceFileAtomically(path, contents);
                ::_exit(0);
            } catch (const Exception &) {
                ::_exit(1);
            }
        }
        ::close(ready[1]);
        ::close(go[0]);
        go_ = go[1];
        char byte = 0;
        ready_ = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~WriterProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (go_ >= 0)
            ::close(go_);
    }
    bool Ready() const { return ready_; }
    // Lets it commit; its exit status.
    int Finish()
    {
        char byte = 'g';
        (void)!::write(go_, &byte, 1);
        const int status = Wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Send(int signal) { ::kill(pid_, signal); }
    // Sends `signal`; the raw wait status.
    int Signal(int signal)
    {
        Send(signal);
        return Wait();
    }

private:
    int Wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    pid_t pid_ = -1;
    int go_ = -1;
    bool ready_ = false;
};

} // namespace

TEST(TempFiles, AKilledWritersTemporaryGoesAtTheNextWriteAndALiveOnesStays)
{
    TempHome home;
    WriterProcess live(home.File("list.dat"), "entries");
    ASSERT_TRUE(live.Ready());
    const std::vector<std::string> liveTemps = HiddenFiles(home.Path());
    ASSERT_EQ(liveTemps.size(), 1u);
    {
        WriterProcess killed(home.File("Tapisto_WallPaper.bmp"), "bitmap");
        ASSERT_TRUE(killed.Ready());
        killed.Signal(SIGKILL);
    }
    ASSERT_EQ(HiddenFiles(home.Path()).size(), 2u) << "the live writer's and the killed writer's temporaries";

    // Any write in the folder sweeps: the killed writer's temporary goes, the live one's stays.
    ReplaceFileAtomically(home.File("Tapisto.ini"), "[a]\r\n");
    const std::vector<std::string> after = HiddenFiles(home.Path());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(std::find(liveTemps.begin(), liveTemps.end(), after.front()), liveTemps.end());
    EXPECT_NE(after.front().find("list.dat"), std::string::npos) << after.front();

    EXPECT_EQ(live.Finish(), 0);
    EXPECT_EQ(ReadFileBytes(home.File("list.dat")), "entries");
    EXPECT_TRUE(HiddenFiles(home.Path()).empty());
}

// Writers in several processes at once, each sweeping the same folder at every write: none loses its
// temporary to another (its rename would fail), and nothing is left.
TEST(TempFiles, ConcurrentWritersNeverRemoveEachOthersTemporaries)
{
    TempHome home;
    ASSERT_NO_FATAL_FAILURE(ExpectAllChildrenSucceed(4, [&](int i) {
        const std::string path = home.File("file" + std::to_string(i) + ".ini");
        for (int round = 0; round < 300; ++round)
            ReplaceFileAtomically(path, std::string(size_t(round % 7) * 100 + 1, char('a' + i)));
    }));
    EXPECT_TRUE(HiddenFiles(home.Path()).empty());
}

TEST(TempFiles, ATerminatingSignalTakesTheTemporaryWithItAndStillEndsTheProcess)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempHome home;
        WriterProcess writer(home.File("Tapisto_WallPaper.bmp"), "bitmap", true);
        ASSERT_TRUE(writer.Ready());
        const int status = writer.Signal(signal);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(HiddenFiles(home.Path()).empty());
        EXPECT_FALSE(FileExists(home.File("Tapisto_WallPaper.bmp")));
    }

    // An ignored signal (nohup) stays ignored.
    TempHome home;
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &previous);
    WriterProcess writer(home.File("a.ini"), "kept", true);
    ::sigaction(SIGHUP, &previous, nullptr);
    ASSERT_TRUE(writer.Ready());
    writer.Send(SIGHUP);
    EXPECT_EQ(writer.Finish(), 0) << "an ignored SIGHUP does not end it";
    EXPECT_EQ(ReadFileBytes(home.File("a.ini")), "kept");
}
