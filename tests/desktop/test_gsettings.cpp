#include "platform/desktop/DesktopFactory.h"

#include "FakeDesktopTools.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string Output(const std::string &command)
{
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// A private session bus and dconf database in the test's home; the variables are restored at the end.
class SessionBus {
public:
    explicit SessionBus(const TempHome &home)
    {
        if (access("/usr/bin/dbus-daemon", X_OK) != 0 || access("/usr/bin/gsettings", X_OK) != 0 ||
            Output("gsettings list-schemas 2>/dev/null | grep -x org.gnome.desktop.background").empty())
            return;
        for (const char *name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS", "GSETTINGS_BACKEND"}) {
            const char *value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("HOME", home.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.Path().c_str(), 1);
        setenv("GSETTINGS_BACKEND", "dconf", 1);
        const std::string reply = Output("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null");
        const size_t newline = reply.find('\n');
        if (newline == std::string::npos)
            return;
        setenv("DBUS_SESSION_BUS_ADDRESS", reply.substr(0, newline).c_str(), 1);
        pid_ = std::atoi(reply.c_str() + newline + 1);
    }
    ~SessionBus()
    {
        if (pid_ > 0)
            kill(pid_, SIGTERM);
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = 0;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace

TEST(GnomeDesktop, StoresThePictureInRealGsettings)
{
    TempHome home;
    SessionBus bus(home);
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon, gsettings or the GNOME background schema is missing";
    const std::string bitmap = home.File("Tapisto_WallPaper.bmp");
    WriteFileBytes(bitmap, "BM");
    ProcessRunner runner;
    auto desktop = CreateDesktop(DesktopKind::Gnome, runner, DesktopEnvironment{});
    desktop->setWallpaper(bitmap, TileMode::Stretch);
    std::vector<std::string> shown = FilesStartingWith(home.Path(), "Tapisto_WallPaper~");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(Output("gsettings get org.gnome.desktop.background picture-uri"), "'file://" + home.File(shown[0]) + "'");
    EXPECT_EQ(Output("gsettings get org.gnome.desktop.background picture-options"), "'stretched'");
    const std::string first = shown[0];
    desktop->setWallpaper(bitmap, TileMode::Centre);
    shown = FilesStartingWith(home.Path(), "Tapisto_WallPaper~");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], first);
    EXPECT_EQ(Output("gsettings get org.gnome.desktop.background picture-uri"), "'file://" + home.File(shown[0]) + "'");
    EXPECT_EQ(Output("gsettings get org.gnome.desktop.background picture-options"), "'centered'");
}
