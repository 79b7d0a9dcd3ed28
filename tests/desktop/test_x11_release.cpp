// The root pixmap published before ours is released only when its setter kept it: an id whose setter
// died before keeping it may belong to another program (or to our own connection) by now. And a
// broken connection is an error of the change, not the end of the process.
#include "ChildProcesses.h"
#include "HandMadeBmp.h"
#include "TempHome.h"
#include "XOtherClients.h"
#include "XRootReader.h"
#include "XvfbTest.h"
#include "platform/Exceptions.h"
#include "platform/desktop/backends/DesktopBackends.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string WriteBitmap(const TempHome &home)
{
    std::string path = home.File("wall.bmp");
    WriteFileBytes(path, MakeHandMadeBmp(10, 6, 24, false));
    return path;
}

// Forwards one TCP port to an X server's socket and cuts every connection after `limit` bytes from the
// client: a connection that breaks half-way through a change.
class CuttingProxy {
public:
    CuttingProxy(const std::string &socketPath, size_t limit) : socketPath_(socketPath), limit_(limit)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        for (int number = 20 + getpid() % 50; number < 100 && display_.empty(); ++number) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(uint16_t(6000 + number));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                ::listen(listener_, 8) == 0)
                display_ = "127.0.0.1:" + std::to_string(number);
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~CuttingProxy()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    const std::string &Display() const { return display_; }

private:
    void Serve()
    {
        while (!stop_) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            socketPath_.copy(address.sun_path, sizeof address.sun_path - 1);
            if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
                Forward(client, server);
            ::close(server);
            ::close(client);
        }
    }
    // One connection at a time is all a change makes.
    void Forward(int client, int server)
    {
        size_t fromClient = 0;
        char buffer[4096];
        for (;;) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(client, &ready);
            FD_SET(server, &ready);
            if (::select(std::max(client, server) + 1, &ready, nullptr, nullptr, nullptr) <= 0)
                return;
            if (FD_ISSET(client, &ready)) {
                const ssize_t n = ::read(client, buffer, sizeof buffer);
                fromClient += size_t(std::max<ssize_t>(n, 0));
                if (n <= 0 || fromClient > limit_ || ::write(server, buffer, size_t(n)) != n)
                    return;
            }
            if (FD_ISSET(server, &ready)) {
                const ssize_t n = ::read(server, buffer, sizeof buffer);
                if (n <= 0 || ::write(client, buffer, size_t(n)) != n)
                    return;
            }
        }
    }

    std::string socketPath_;
    size_t limit_;
    int listener_ = -1;
    std::string display_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A private server, and a small bitmap to show on it.
using X11Release = XvfbTest<WriteBitmap>;

} // namespace

// The case: a setter published a pixmap and died before keeping it; a window-owning program
// (or one with pixmaps only) was then given its id. The next change must leave that program alone.
TEST_F(X11Release, AnUnkeptPixmapsIdGivenToAnotherProgramIsLeftAlone)
{
    auto desktop = CreateX11Desktop(server.Display());
    for (bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "with a window" : "pixmaps only");
        const unsigned long unkept = PublishUnkeptRootPixmap(server.Display());
        OtherXClient other(server.Display(), withWindow);
        ASSERT_EQ(other.Pixmap(), unkept) << "the server gave the id to another client";
        EXPECT_NO_THROW(desktop->setWallpaper(bitmap, TileMode::Centre));
        EXPECT_TRUE(XPixmapExists(server.Display(), other.Pixmap())) << "the other program was killed";
        const XRootPicture root = ReadXRoot(server.Display());
        EXPECT_NE(root.RootPixmap, unkept);
        EXPECT_EQ(root.RootPixmap, root.EsetrootPixmap);
    }
}

// The same id given to our own connection: killing it killed the change itself (and the program).
TEST_F(X11Release, AnUnkeptPixmapsIdGivenToOurOwnConnectionIsNotKilled)
{
    auto desktop = CreateX11Desktop(server.Display());
    for (int round = 0; round < 3; ++round) {
        const unsigned long unkept = PublishUnkeptRootPixmap(server.Display());
        EXPECT_NO_THROW(desktop->setWallpaper(bitmap, TileMode::Tile));
        EXPECT_TRUE(XPixmapExists(server.Display(), ReadXRoot(server.Display()).RootPixmap));
        EXPECT_EQ(ReadXRoot(server.Display()).RootPixmap, unkept) << "ours took the freed id";
    }
}

// A setter that kept its pixmap and ended (as the convention asks) is released, and so is each of
// ours: after many changes the server holds one kept pixmap, the one shown.
TEST_F(X11Release, PixmapsKeptByTheirSettersAreReleasedAndNoneLeak)
{
    if (CountPixmapOnlyClients(server.Display()) < 0)
        GTEST_SKIP() << "the server has no X-Resource extension";
    auto desktop = CreateX11Desktop(server.Display());
    const unsigned long foreign = PublishKeptRootPixmapFromEndedProcess(server.Display());
    ASSERT_TRUE(XPixmapExists(server.Display(), foreign));
    desktop->setWallpaper(bitmap, TileMode::Centre);
    EXPECT_FALSE(XPixmapExists(server.Display(), foreign));
    for (int round = 0; round < 5; ++round)
        desktop->setWallpaper(bitmap, TileMode(round % 3));
    EXPECT_EQ(CountPixmapOnlyClients(server.Display()), 1);
    EXPECT_TRUE(XPixmapExists(server.Display(), ReadXRoot(server.Display()).RootPixmap));
}

// Changes from several processes at once: each one finishes (none killed by another, none told that
// another set the wallpaper meanwhile), and one kept pixmap remains.
TEST_F(X11Release, ConcurrentChangesAllSucceedAndLeaveOnePixmap)
{
    ASSERT_NO_FATAL_FAILURE(ExpectAllChildrenSucceed(6, [&](int i) {
        auto desktop = CreateX11Desktop(server.Display());
        for (int round = 0; round < 5; ++round)
            desktop->setWallpaper(bitmap, TileMode((i + round) % 3));
    }));
    const int kept = CountPixmapOnlyClients(server.Display());
    if (kept >= 0) {
        EXPECT_EQ(kept, 1);
    }
}

// A connection that breaks half-way: the change raises a Japanese error naming the display, the
// process lives on, and Xlib prints nothing in English.
TEST(X11BrokenConnection, IsAnErrorOfTheChange)
{
    // A screen whose picture takes many writes: the cut comes while the client is still sending.
    XvfbServer server("1024x768");
    if (!server.Running())
        GTEST_SKIP() << "Xvfb is not installed or did not start; the X11 root-window backend is not tested";
    TempHome home;
    const std::string bitmap = WriteBitmap(home);
    // Over TCP the picture goes through the connection, which is cut in the middle of it.
    CuttingProxy proxy(server.SocketPath(), 64 * 1024);
    ASSERT_FALSE(proxy.Display().empty());
    int out[2], err[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(err), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(err[1], 2);
        try {
            CreateX11Desktop(proxy.Display())->setWallpaper(bitmap, TileMode::Centre);
        } catch (const Exception &e) {
            (void)!::write(out[1], e.what(), strlen(e.what()));
            ::_exit(0);
        }
        ::_exit(3);
    }
    ::close(out[1]);
    ::close(err[1]);
    const auto drain = [](int fd) {
        std::string text;
        char buffer[512];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        ::close(fd);
        return text;
    };
    const std::string message = drain(out[0]);
    const std::string errors = drain(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ", stderr: " << errors;
    EXPECT_EQ(message.rfind("壁紙を設定できません: X サーバー " + proxy.Display() + " との接続が切れました (", 0), 0u)
        << message;
    EXPECT_EQ(errors, "");
}

namespace {

// The shared memory segments this process made that still exist.
int OurSharedSegments()
{
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line); // the column names
    int count = 0;
    for (long key, id, perms, size, cpid; table >> key >> id >> perms >> size >> cpid; table.ignore(1 << 16, '\n'))
        count += cpid == ::getpid();
    return count;
}

} // namespace

// A local server reads the picture from shared memory, one over TCP gets it through the connection:
// both show the same root, and no segment is left behind.
TEST_F(X11Release, SharedMemoryAndTheConnectionShowTheSameRootAndLeaveNoSegment)
{
    CuttingProxy tcp(server.SocketPath(), SIZE_MAX);
    ASSERT_FALSE(tcp.Display().empty());
    const int before = OurSharedSegments();
    for (const TileMode tile : {TileMode::Centre, TileMode::Tile, TileMode::Stretch}) {
        CreateX11Desktop(server.Display())->setWallpaper(bitmap, tile);
        const XRootPicture local = ReadXRoot(server.Display());
        CreateX11Desktop(tcp.Display())->setWallpaper(bitmap, tile);
        const XRootPicture remote = ReadXRoot(server.Display());
        ASSERT_FALSE(local.Pixels.empty());
        EXPECT_EQ(local.Pixels, remote.Pixels) << int(tile);
        EXPECT_NE(local.RootPixmap, remote.RootPixmap);
    }
    EXPECT_EQ(OurSharedSegments(), before);
}
