// Desktops that keep a picture by its file name are handed a name never used before at every change,
// and the names of earlier changes go once the desktop shows the new one.
#include "platform/Exceptions.h"
#include "platform/desktop/DesktopFactory.h"
#include "platform/desktop/backends/DesktopBackends.h"

#include "FakeDesktopTools.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

namespace {

const std::string kStem = "Tapisto_WallPaper";

// A session of one desktop kind on fakes that take every change and read back what they were given.
struct Session {
    TempHome home;
    FakeRunner runner;
    DesktopEnvironment env;
    FakeProc proc{home.File("proc")};
    std::string bitmap = home.File(kStem + ".bmp");
    std::string hyprShown;

    explicit Session(DesktopKind kind)
    {
        env.ProcRoot = proc.Root();
        env.XdgConfigHome = home.File("config");
        for (const char *folder :
             {"config", "config/pcmanfm-qt", "config/pcmanfm-qt/lxqt", "config/pcmanfm", "config/pcmanfm/LXDE"})
            mkdir(home.File(folder).c_str(), 0700);
        if (kind == DesktopKind::Lxqt)
            proc.Add({"pcmanfm-qt", "--desktop", "--profile=lxqt"});
        if (kind == DesktopKind::Lxde)
            proc.Add({"pcmanfm", "--desktop", "--profile", "LXDE"});
        runner.respond = [this](const Argv &argv) { return Answer(argv); };
    }

    CommandResult Answer(const Argv &argv)
    {
        const std::string &last = argv.back();
        if (argv[0] == "pcmanfm-qt")
            WriteFileBytes(home.File("config/pcmanfm-qt/lxqt/settings.conf"),
                           "[Desktop]\nWallpaper=" + argv[2] + "\nWallpaperMode=" + argv[4] + "\n");
        else if (argv[0] == "pcmanfm")
            WriteFileBytes(home.File("config/pcmanfm/LXDE/desktop-items-0.conf"),
                           "[*]\nwallpaper_mode=" + argv[4] + "\nwallpaper=" + argv[2] + "\n");
        else if (argv[0] == "hyprctl" && argv[2] == "wallpaper")
            hyprShown = last.substr(1);
        else if (argv[0] == "hyprctl" && argv[2] == "listactive")
            return CommandResult{0, "DP-1 = " + hyprShown + "\n", ""};
        else if (argv[0] == "dbus-send" && last.find("readConfig") != std::string::npos)
            return CommandResult{0, "method return\n   string \"org.kde.image " + plasmaImage + " 6\"\n", ""};
        else if (argv[0] == "dbus-send") {
            const std::string key = "writeConfig(\"Image\", \"";
            const size_t start = last.find(key) + key.size();
            plasmaImage = last.substr(start, last.find('"', start) - start);
        }
        return CommandResult{};
    }

    // The bitmap replaced as the renderer does it: a new file renamed over the old one.
    void Render(const std::string &bytes)
    {
        WriteFileBytes(home.File("render.tmp"), bytes);
        ASSERT_EQ(rename(home.File("render.tmp").c_str(), bitmap.c_str()), 0);
    }

    // The files beside the bitmap that are not the bitmap itself.
    std::vector<std::string> Others() const
    {
        std::vector<std::string> names = FilesStartingWith(home.Path(), kStem);
        std::erase(names, kStem + ".bmp");
        return names;
    }

    // The change's commands name `path`, as a path or as a file URI.
    bool Handed(size_t firstCall, const std::string &path) const
    {
        for (size_t i = firstCall; i < runner.calls.size(); ++i)
            for (const std::string &arg : runner.calls[i])
                if (arg.find(path) != std::string::npos || arg.find(FileUri(path)) != std::string::npos)
                    return true;
        return false;
    }

    std::string plasmaImage;
};

class EveryCachingDesktop : public ::testing::TestWithParam<DesktopKind> {};

} // namespace

TEST_P(EveryCachingDesktop, GetsANameNotUsedBeforeAtEveryChangeAndKeepsOnlyTheShownOne)
{
    Session session(GetParam());
    auto desktop = CreateDesktop(GetParam(), session.runner, session.env);
    std::set<std::string> used;
    for (const std::string picture : {"BM one", "BM two", "BM three", "BM four"}) {
        session.Render(picture);
        const size_t firstCall = session.runner.calls.size();
        desktop->setWallpaper(session.bitmap, TileMode::Centre);
        const std::vector<std::string> others = session.Others();
        ASSERT_EQ(others.size(), 1u) << picture << ": only the shown name is left beside the bitmap";
        const std::string shown = session.home.File(others[0]);
        EXPECT_TRUE(used.insert(shown).second) << picture << ": " << others[0] << " was handed over before";
        EXPECT_TRUE(session.Handed(firstCall, shown)) << picture << ": the desktop was not given " << others[0];
        EXPECT_EQ(ReadFileBytes(shown), picture);
        EXPECT_EQ(ReadFileBytes(session.bitmap), picture) << "the bitmap itself keeps its name and contents";
    }
}

std::string KindName(const ::testing::TestParamInfo<DesktopKind> &info)
{
    static const char *const names[] = {"Gnome", "Mate", "Cinnamon", "Kde", "Lxqt", "Lxde", "Hyprland"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Desktops, EveryCachingDesktop,
                         ::testing::Values(DesktopKind::Gnome, DesktopKind::Mate, DesktopKind::Cinnamon,
                                           DesktopKind::Kde, DesktopKind::Lxqt, DesktopKind::Lxde,
                                           DesktopKind::Hyprland),
                         KindName);

TEST(FreshAlias, LeftoversOfKilledChangesAndOfTheOldTwoNamesGoAtTheNextChangeAndNothingElse)
{
    Session session(DesktopKind::Gnome);
    session.Render("BM now");
    // A change killed after linking, the two names older versions alternated between, a copy's
    // temporary file; and beside them the pieces of a change per monitor and other files.
    const std::vector<std::string> stale{kStem + "~1000.bmp", kStem + "~99999999999999.bmp", kStem + ".a.bmp",
                                         kStem + ".b.bmp", kStem + ".a.bmp.tmp"};
    const std::vector<std::string> kept{kStem + ".DP-1.bmp", kStem + ".DP-1~1000.bmp", kStem + "~x.bmp",
                                        kStem + "~1000.png", kStem + ".bmp.bak"};
    for (const std::string &name : stale)
        WriteFileBytes(session.home.File(name), "BM old");
    for (const std::string &name : kept)
        WriteFileBytes(session.home.File(name), "BM other");
    auto desktop = CreateDesktop(DesktopKind::Gnome, session.runner, session.env);
    desktop->setWallpaper(session.bitmap, TileMode::Centre);

    std::vector<std::string> left = session.Others();
    std::vector<std::string> expected = kept;
    const std::string uri = session.runner.store["org.gnome.desktop.background picture-uri"];
    const std::string shown = uri.substr(uri.rfind('/') + 1, uri.size() - uri.rfind('/') - 2);
    expected.push_back(shown);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    // Later than every name found, even one from a clock that ran ahead.
    EXPECT_EQ(shown, kStem + "~100000000000000.bmp");
}

TEST(FreshAlias, AFailedChangeRemovesItsOwnNameAndKeepsTheShownOne)
{
    Session session(DesktopKind::Gnome);
    auto desktop = CreateDesktop(DesktopKind::Gnome, session.runner, session.env);
    session.Render("BM one");
    desktop->setWallpaper(session.bitmap, TileMode::Centre);
    const std::vector<std::string> shown = session.Others();
    ASSERT_EQ(shown.size(), 1u);
    session.Render("BM two");
    session.runner.respond = [](const Argv &argv) {
        return argv[1] == "get" ? CommandResult{0, "'file:///elsewhere.png'\n", ""} : CommandResult{};
    };
    EXPECT_THROW(desktop->setWallpaper(session.bitmap, TileMode::Centre), Exception);
    EXPECT_EQ(session.Others(), shown);
    EXPECT_EQ(ReadFileBytes(session.home.File(shown[0])), "BM one");
}

TEST(FreshAlias, HyprpaperUnloadsEveryEarlierName)
{
    Session session(DesktopKind::Hyprland);
    WriteFileBytes(session.home.File(kStem + "~5.bmp"), "BM killed");
    auto desktop = CreateDesktop(DesktopKind::Hyprland, session.runner, session.env);
    session.Render("BM one");
    desktop->setWallpaper(session.bitmap, TileMode::Centre);
    const std::string first = session.hyprShown;
    session.Render("BM two");
    session.runner.calls.clear();
    desktop->setWallpaper(session.bitmap, TileMode::Centre);
    std::set<std::string> unloaded;
    for (const Argv &argv : session.runner.calls)
        if (argv[2] == "unload")
            unloaded.insert(argv[3]);
    EXPECT_EQ(unloaded, (std::set<std::string>{first}));
    EXPECT_EQ(session.Others().size(), 1u);
}
