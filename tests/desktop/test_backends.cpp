#include "platform/Exceptions.h"
#include "platform/desktop/DesktopFactory.h"
#include "platform/desktop/backends/DesktopBackends.h"

#include "FakeDesktopTools.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

struct BackendTest : ::testing::Test {
    TempHome home;
    FakeRunner runner;
    DesktopEnvironment env;
    std::string bitmap = home.File("Tapisto_WallPaper.bmp");

    void SetUp() override { WriteFileBytes(bitmap, "BM first"); }
    std::unique_ptr<Desktop> Make(DesktopKind kind) { return CreateDesktop(kind, runner, env); }
    bool Exists(const std::string &name) const
    {
        struct stat st;
        return stat(home.File(name).c_str(), &st) == 0;
    }
    // The programs running, one command line each: what the backend finds in the /proc it is given.
    void Running(const std::vector<Argv> &commands)
    {
        FakeProc proc(home.File("proc"));
        for (const Argv &argv : commands)
            proc.Add(argv);
        env.ProcRoot = proc.Root();
    }
    // xfdesktop running, with the properties that xfconf-query -l lists (one a line).
    void XfdesktopWith(const std::string &listed)
    {
        runner.respond = [listed](const Argv &argv) {
            return argv.back() == "-l" ? CommandResult{0, listed, ""} : CommandResult{};
        };
        Running({{"xfdesktop"}});
    }
    // The one name of the bitmap STEM.bmp handed to the desktop that is left beside it ("" for none or more).
    std::string Alias(const std::string &stem = "Tapisto_WallPaper") const
    {
        const std::vector<std::string> names = FilesStartingWith(home.Path(), stem + "~");
        return names.size() == 1 ? home.File(names[0]) : std::string();
    }
};

} // namespace

TEST_F(BackendTest, GnomeGetsANewNameAtEveryChangeAndNoStaleFilesRemain)
{
    auto desktop = Make(DesktopKind::Gnome);
    desktop->setWallpaper(bitmap, TileMode::Tile);
    const std::string a = Alias();
    ASSERT_NE(a, "");
    const std::vector<Argv> sets = runner.Changes();
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0], (Argv{"gsettings", "set", "org.gnome.desktop.background", "picture-options", "'wallpaper'"}));
    EXPECT_EQ(sets[1], (Argv{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", "'file://" + a + "'"}));
    EXPECT_EQ(sets[2],
              (Argv{"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", "'file://" + a + "'"}));
    EXPECT_EQ(desktop->LastReadBack(),
              "picture-uri=file://" + a + " picture-options=wallpaper picture-uri-dark=file://" + a);
    EXPECT_EQ(ReadFileBytes(a), "BM first");

    // The bitmap is replaced as the renderer does it (a new file renamed over the old one).
    WriteFileBytes(home.File("new.bmp"), "BM second");
    ASSERT_EQ(rename(home.File("new.bmp").c_str(), bitmap.c_str()), 0);
    runner.calls.clear();
    desktop->setWallpaper(bitmap, TileMode::Stretch);
    EXPECT_EQ(runner.Changes()[0].back(), "'stretched'");
    const std::string b = Alias();
    ASSERT_NE(b, "");
    EXPECT_NE(b, a);
    EXPECT_EQ(runner.Changes()[1].back(), "'file://" + b + "'");
    EXPECT_EQ(ReadFileBytes(b), "BM second");
    EXPECT_EQ(ReadFileBytes(bitmap), "BM second");

    desktop->setWallpaper(bitmap, TileMode::Centre);
    const std::string c = Alias();
    EXPECT_NE(c, "");
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
}

TEST_F(BackendTest, FailureNamesTheCommandAndKeepsTheShownName)
{
    auto desktop = Make(DesktopKind::Gnome);
    desktop->setWallpaper(bitmap, TileMode::Centre);
    const std::string shown = Alias();
    std::string tried;
    runner.respond = [&tried](const Argv &argv) {
        if (argv[1] != "set" || argv[3] != "picture-uri")
            return CommandResult{};
        tried = argv[4].substr(8, argv[4].size() - 9); // 'file://PATH'
        return CommandResult{1, "", "GSettings: no schema\n"};
    };
    try {
        desktop->setWallpaper(bitmap, TileMode::Centre);
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "壁紙を設定できません: gsettings set org.gnome.desktop.background picture-uri "
                               "''\\''file://" +
                                   tried + "'\\''': GSettings: no schema");
    }
    EXPECT_NE(tried, shown);
    EXPECT_EQ(Alias(), shown);
}

TEST_F(BackendTest, GnomeWithoutTheDarkKeyStillSucceeds)
{
    runner.respond = [](const Argv &argv) {
        return argv[3] == "picture-uri-dark" ? CommandResult{1, "", "No such key “picture-uri-dark”"} : CommandResult{};
    };
    EXPECT_NO_THROW(Make(DesktopKind::Gnome)->setWallpaper(bitmap, TileMode::Centre));
}

TEST_F(BackendTest, PathsAreQuotedForEachConsumer)
{
    const std::string odd = home.File("it's \"odd\" $x.bmp");
    WriteFileBytes(odd, "BM");
    Make(DesktopKind::Mate)->setWallpaper(odd, TileMode::Centre);
    const std::string alias = Alias("it's \"odd\" $x");
    ASSERT_NE(alias, "");
    const std::string number = alias.substr(alias.rfind('~'));
    EXPECT_EQ(runner.Changes()[1], (Argv{"gsettings", "set", "org.mate.background", "picture-filename",
                                         "'" + home.File("it\\'s \"odd\" $x") + number + "'"}));
    EXPECT_EQ(FileUri("/a b/\"x\"/表.bmp"), "file:///a%20b/%22x%22/%E8%A1%A8.bmp");
}

TEST_F(BackendTest, PlasmaScriptCannotBeBrokenByAFileName)
{
    const std::string evil = home.File("x\"); killall(); (\"\\'.bmp");
    WriteFileBytes(evil, "BM");
    std::string uri;
    runner.respond = [&](const Argv &argv) {
        if (argv.back().find("readConfig") == std::string::npos)
            return CommandResult{};
        uri = FileUri(Alias("x\"); killall(); (\"\\'"));
        return CommandResult{0,
                             "method return time=1 sender=:1.5 -> destination=:1.9 serial=42 reply_serial=2\n"
                             "   string \"org.kde.image " +
                                 uri + " 3\"\n",
                             ""};
    };
    Make(DesktopKind::Kde)->setWallpaper(evil, TileMode::Tile);
    ASSERT_EQ(runner.calls.size(), 2u);
    const Argv &call = runner.calls[0];
    EXPECT_EQ(Argv(call.begin(), call.end() - 1),
              (Argv{"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell", "/PlasmaShell",
                    "org.kde.PlasmaShell.evaluateScript"}));
    const std::string script = call.back();
    ASSERT_TRUE(script.starts_with("string:"));
    EXPECT_EQ(uri.find_first_of("\"'\\"), std::string::npos);
    EXPECT_NE(script.find("d.writeConfig(\"Image\", \"" + uri + "\");\n"), std::string::npos) << script;
    EXPECT_NE(script.find("d.writeConfig(\"FillMode\", 3);"), std::string::npos);
    EXPECT_NE(script.find("d.wallpaperPlugin = \"org.kde.image\";"), std::string::npos);
    EXPECT_EQ(script.find("killall(); "), std::string::npos);
}

TEST_F(BackendTest, XfceSetsEveryListedMonitorAndWorkspaceAndStopsTheCycler)
{
    XfdesktopWith("/backdrop/screen0/monitorHDMI-1/workspace0/last-image\n"
                  "/backdrop/screen0/monitorHDMI-1/workspace0/backdrop-cycle-enable\n"
                  "/backdrop/screen0/monitor0/workspace1/last-image\n"
                  "/backdrop/screen0/monitor0/workspace1/image-style\n");
    Make(DesktopKind::Xfce)->setWallpaper(bitmap, TileMode::Stretch);
    const std::string m1 = "/backdrop/screen0/monitorHDMI-1/workspace0";
    const std::string m2 = "/backdrop/screen0/monitor0/workspace1";
    const Argv base{"xfconf-query", "-c", "xfce4-desktop"};
    const auto q = [&base](Argv rest) {
        Argv all = base;
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    const std::vector<Argv> expected{
        q({"-p", "/backdrop", "-l"}),
        q({"-p", m1 + "/image-style", "-n", "-t", "int", "-s", "3"}),
        q({"-p", m1 + "/last-image", "-n", "-t", "string", "-s", ""}),
        q({"-p", m1 + "/last-image", "-n", "-t", "string", "-s", bitmap}),
        q({"-p", m2 + "/image-style", "-n", "-t", "int", "-s", "3"}),
        q({"-p", m2 + "/last-image", "-n", "-t", "string", "-s", ""}),
        q({"-p", m2 + "/last-image", "-n", "-t", "string", "-s", bitmap}),
        q({"-p", m2 + "/backdrop-cycle-enable", "-n", "-t", "bool", "-s", "false"}),
        q({"-p", m1 + "/backdrop-cycle-enable", "-n", "-t", "bool", "-s", "false"}),
    };
    EXPECT_EQ(runner.Changes(), expected);

    runner.respond = [](const Argv &) { return CommandResult{}; }; // nothing listed
    env.ProcRoot = home.File("no-proc");
    EXPECT_THROW(Make(DesktopKind::Xfce)->setWallpaper(bitmap, TileMode::Centre), Exception);
}

TEST_F(BackendTest, CinnamonSwitchesOffItsSlideshowFirst)
{
    Make(DesktopKind::Cinnamon)->setWallpaper(bitmap, TileMode::Centre);
    const std::vector<Argv> sets = runner.Changes();
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0],
              (Argv{"gsettings", "set", "org.cinnamon.desktop.background.slideshow", "slideshow-enabled", "false"}));
    EXPECT_EQ(sets[1].back(), "'centered'");
    EXPECT_EQ(sets[2].back(), "'file://" + Alias() + "'");
}

TEST_F(BackendTest, LxqtAndLxdeUsePcmanfmAndLxqtStopsTheSlideshow)
{
    env.XdgConfigHome = home.File("config");
    ASSERT_EQ(mkdir(env.XdgConfigHome.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((env.XdgConfigHome + "/pcmanfm-qt").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((env.XdgConfigHome + "/pcmanfm-qt/lxqt").c_str(), 0700), 0);
    const std::string settings = env.XdgConfigHome + "/pcmanfm-qt/lxqt/settings.conf";
    WriteFileBytes(settings,
                   "[Behavior]\nSlideShowInterval=5\n\n[Desktop]\nSlideShowInterval=600000\nWallpaperMode=zoom\n");

    Running({{"/usr/bin/pcmanfm-qt", "--desktop", "--profile=lxqt"}, {"pcmanfm", "--desktop", "--profile", "LXDE"}});
    ASSERT_EQ(mkdir((env.XdgConfigHome + "/pcmanfm").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((env.XdgConfigHome + "/pcmanfm/LXDE").c_str(), 0700), 0);
    const std::string items = env.XdgConfigHome + "/pcmanfm/LXDE/desktop-items-0.conf";
    // As the programs save: pcmanfm-qt keeps the mode it had, pcmanfm stores both.
    runner.respond = [&](const Argv &argv) {
        if (argv[0] == "pcmanfm-qt") {
            std::string text = ReadFileBytes(settings);
            text.replace(text.find("WallpaperMode="), 0, "Wallpaper=" + argv[2] + "\n");
            WriteFileBytes(settings, text);
        } else if (argv[0] == "pcmanfm") {
            WriteFileBytes(items,
                           "[*]\nwallpaper_mode=" + argv[4] + "\nwallpaper_common=1\nwallpaper=" + argv[2] + "\n");
        }
        return CommandResult{};
    };

    auto lxqt = Make(DesktopKind::Lxqt);
    lxqt->setWallpaper(bitmap, TileMode::Tile);
    const std::string a = Alias();
    EXPECT_EQ(runner.calls.back(), (Argv{"pcmanfm-qt", "--set-wallpaper", a, "--wallpaper-mode", "tile"}));
    EXPECT_EQ(ReadFileBytes(settings), "[Behavior]\nSlideShowInterval=5\n\n[Desktop]\nSlideShowInterval=0\nWallpaper=" +
                                           a + "\nWallpaperMode=tile\n");
    EXPECT_EQ(lxqt->LastReadBack(), "Wallpaper=" + a + " WallpaperMode=tile");

    auto lxde = Make(DesktopKind::Lxde);
    lxde->setWallpaper(bitmap, TileMode::Stretch);
    const std::string b = Alias();
    EXPECT_NE(b, a);
    EXPECT_EQ(runner.calls.back(), (Argv{"pcmanfm", "--set-wallpaper", b, "--wallpaper-mode", "stretch"}));
    EXPECT_EQ(lxde->LastReadBack(), "wallpaper=" + b + " wallpaper_mode=stretch");

    // Its running instance sets the first monitor only: no picture per monitor, said naming LXDE.
    EXPECT_EQ(lxde->PerMonitor(), PerMonitorMethod::None);
    runner.calls.clear();
    try {
        lxde->setMonitorWallpapers(bitmap, {{"", 0, 0, 10, 10}, {"", 10, 0, 10, 10}}, {});
        FAIL();
    } catch (const EPerMonitorUnsupported &e) {
        EXPECT_NE(e.Message().find("LXDE"), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(BackendTest, LxqtStretchesTheBoxOverItsDesktopUnlessSetToAPicturePerMonitor)
{
    env.XdgConfigHome = home.File("config");
    const std::string profile = env.XdgConfigHome + "/pcmanfm-qt/lxqt";
    ASSERT_EQ(mkdir(env.XdgConfigHome.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((env.XdgConfigHome + "/pcmanfm-qt").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(profile.c_str(), 0700), 0);
    const std::string settings = profile + "/settings.conf";
    WriteFileBytes(settings, "[Desktop]\nPerScreenWallpaper=false\nWallpaperMode=center\n");
    Running({{"pcmanfm-qt", "--desktop", "--profile=lxqt"}});
    runner.respond = [&](const Argv &argv) {
        std::string text = ReadFileBytes(settings);
        text.replace(text.find("WallpaperMode="), 0, "Wallpaper=" + argv[2] + "\n");
        WriteFileBytes(settings, text);
        return CommandResult{};
    };
    const MonitorLayout layout{{"DUMMY0", 0, 0, 1024, 768}, {"DUMMY1", 1024, 0, 800, 600}};
    auto lxqt = Make(DesktopKind::Lxqt);
    EXPECT_EQ(lxqt->PerMonitor(), PerMonitorMethod::Spanned);
    lxqt->setMonitorWallpapers(bitmap, layout, {});
    const std::string a = Alias();
    EXPECT_EQ(runner.calls.back(), (Argv{"pcmanfm-qt", "--set-wallpaper", a, "--wallpaper-mode", "stretch"}));
    EXPECT_EQ(lxqt->LastReadBack(),
              "DUMMY0=1024x768+0+0,DUMMY1=800x600+1024+0: Wallpaper=" + a + " WallpaperMode=stretch");

    // Its own picture per monitor fits the box into every monitor: refused before anything runs.
    WriteFileBytes(settings, "[Desktop]\nPerScreenWallpaper=true\nWallpaperMode=center\n");
    runner.calls.clear();
    try {
        lxqt->setMonitorWallpapers(bitmap, layout, {});
        FAIL();
    } catch (const EPerMonitorUnsupported &e) {
        EXPECT_NE(e.Message().find("LXQt"), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(runner.calls.empty());
    lxqt->setWallpaper(bitmap, TileMode::Centre); // one picture is still shown as ever
    EXPECT_EQ(runner.calls.back().back(), "center");
}

TEST_F(BackendTest, SwayAndHyprland)
{
    Running({{"swaybg", "-o", "*", "-i", bitmap, "-m", "center"}});
    auto sway = Make(DesktopKind::Sway);
    sway->setWallpaper(bitmap, TileMode::Centre);
    EXPECT_EQ(runner.calls.back(), (Argv{"swaymsg", "output", "*", "bg", "\"'" + bitmap + "'\"", "center"}));
    EXPECT_EQ(sway->LastReadBack(), "swaybg -o '*' -i " + bitmap + " -m center");
    runner.calls.clear();
    // The name a killed change left behind is freed in hyprpaper too.
    const std::string killed = home.File("Tapisto_WallPaper~1000.bmp");
    WriteFileBytes(killed, "BM");
    std::string a;
    runner.respond = [&](const Argv &argv) {
        a = runner.calls[0].back();
        return argv.back() == "listactive" ? CommandResult{0, "DP-1 = " + a + "\nHDMI-A-1 = " + a + "\n", ""}
                                           : CommandResult{};
    };
    Make(DesktopKind::Hyprland)->setWallpaper(bitmap, TileMode::Centre);
    EXPECT_EQ(a, Alias());
    ASSERT_EQ(runner.calls.size(), 4u);
    EXPECT_EQ(runner.calls[0], (Argv{"hyprctl", "hyprpaper", "preload", a}));
    EXPECT_EQ(runner.calls[1], (Argv{"hyprctl", "hyprpaper", "wallpaper", "," + a}));
    EXPECT_EQ(runner.calls[2], (Argv{"hyprctl", "hyprpaper", "listactive"}));
    EXPECT_EQ(runner.calls[3], (Argv{"hyprctl", "hyprpaper", "unload", killed}));
}

TEST_F(BackendTest, FileBackendRunsNothingAndNoDesktopIsAnError)
{
    Make(DesktopKind::File)->setWallpaper(bitmap, TileMode::Tile);
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_THROW(Make(DesktopKind::None), Exception);
}

TEST(ProcessRunner, RunsWithoutAShellAndReportsFailures)
{
    ProcessRunner runner;
    const CommandResult echo = runner.Run({"printf", "%s|", "a b", "$HOME"});
    EXPECT_EQ(echo.ExitCode, 0);
    EXPECT_EQ(echo.Output, "a b|$HOME|");
    EXPECT_EQ(runner.Run({"false"}).ExitCode, 1);
    EXPECT_EQ(runner.Run({"/nonexistent/program"}).ExitCode, -1);
    try {
        RunChecked(runner, {"sh", "-c", "echo broken >&2; exit 3"});
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "壁紙を設定できません: sh -c 'echo broken >&2; exit 3': broken");
    }
}

TEST_F(BackendTest, GsettingsDesktopsSpanTheBoxAndReportTheLayout)
{
    const MonitorLayout layout{{"HDMI-1", 0, 0, 1920, 1080}, {"HDMI-2", 1920, 0, 1280, 1024}};
    auto gnome = Make(DesktopKind::Gnome);
    EXPECT_EQ(gnome->PerMonitor(), PerMonitorMethod::Spanned);
    gnome->setMonitorWallpapers(bitmap, layout, {});
    const std::string a = Alias();
    const std::vector<Argv> sets = runner.Changes();
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0], (Argv{"gsettings", "set", "org.gnome.desktop.background", "picture-options", "'spanned'"}));
    EXPECT_EQ(sets[1].back(), "'file://" + a + "'");
    EXPECT_EQ(gnome->LastReadBack(), "HDMI-1=1920x1080+0+0,HDMI-2=1280x1024+1920+0: picture-uri=file://" + a +
                                         " picture-options=spanned picture-uri-dark=file://" + a);

    // A desktop that keeps the old option is caught by the read-back.
    runner.respond = [](const Argv &argv) {
        return argv[1] == "get" && argv[3] == "picture-options" ? CommandResult{0, "'stretched'\n", ""}
                                                                : CommandResult{};
    };
    EXPECT_THROW(Make(DesktopKind::Mate)->setMonitorWallpapers(bitmap, layout, {}), Exception);
    runner.respond = nullptr;
    Make(DesktopKind::Cinnamon)->setMonitorWallpapers(bitmap, layout, {});
    EXPECT_EQ(runner.Changes().back(),
              (Argv{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", "'file://" + Alias() + "'"}));
}

TEST_F(BackendTest, FileSpansSilentlyAndOthersRefuseNamingTheDesktop)
{
    auto file = Make(DesktopKind::File);
    EXPECT_EQ(file->PerMonitor(), PerMonitorMethod::Spanned);
    EXPECT_NO_THROW(file->setMonitorWallpapers(bitmap, {{"", 0, 0, 10, 10}}, {}));
    class Unnamed : public Desktop {
    public:
        const char *Name() const override { return "lxqt"; }
        void setWallpaper(const std::string &, TileMode) override {}
    } cannot;
    EXPECT_EQ(cannot.PerMonitor(), PerMonitorMethod::None);
    try {
        cannot.setMonitorWallpapers(bitmap, {{"", 0, 0, 10, 10}}, {});
        FAIL();
    } catch (const EPerMonitorUnsupported &e) {
        EXPECT_NE(e.Message().find("(LXQt)"), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(DesktopDisplayName("kde"), "KDE Plasma");
}

TEST_F(BackendTest, SwaySetsEachOutputByNameAndReadsEveryGroupBack)
{
    const std::string left = home.File("left.bmp"), right = home.File("right.bmp");
    WriteFileBytes(left, "BM");
    WriteFileBytes(right, "BM");
    const MonitorLayout layout{{"HDMI-A-1", 0, 0, 1920, 1080}, {"DP-1", 1920, 0, 1280, 1024}};
    // As sway 1.7 starts it: one swaybg, one group per output.
    Running({{"swaybg", "-o", "*", "-c", "#000000", "-o", "HDMI-A-1", "-i", left, "-m", "stretch", "-o", "DP-1", "-i",
              right, "-m", "stretch"}});
    auto sway = Make(DesktopKind::Sway);
    EXPECT_EQ(sway->PerMonitor(), PerMonitorMethod::Pieces);
    sway->setMonitorWallpapers(bitmap, layout, {left, right});
    ASSERT_EQ(runner.calls.size(), 2u);
    EXPECT_EQ(runner.calls[0], (Argv{"swaymsg", "output", "HDMI-A-1", "bg", "\"'" + left + "'\"", "stretch"}));
    EXPECT_EQ(runner.calls[1], (Argv{"swaymsg", "output", "DP-1", "bg", "\"'" + right + "'\"", "stretch"}));
    EXPECT_EQ(sway->LastReadBack(), "HDMI-A-1: " + left + "; DP-1: " + right);

    // The pieces swapped between the outputs are not what swaybg shows.
    EXPECT_THROW(sway->setMonitorWallpapers(bitmap, layout, {right, left}), Exception);
    runner.calls.clear();
    EXPECT_THROW(sway->setMonitorWallpapers(bitmap, {{"", 0, 0, 10, 10}}, {left}), EPerMonitorUnsupported);
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(BackendTest, HyprlandPreloadsEachPieceAndChecksEveryMonitor)
{
    WriteFileBytes(home.File("left.bmp"), "BM");
    WriteFileBytes(home.File("right.bmp"), "BM");
    bool leftStaysOld = false;
    std::string shownLeft;
    runner.respond = [&](const Argv &argv) {
        if (argv.back() != "listactive")
            return CommandResult{};
        // While the change runs each piece's newest name is the last one; the left monitor may keep its old one.
        const auto newest = [&](const char *stem) { return home.File(FilesStartingWith(home.Path(), stem).back()); };
        const std::string left = leftStaysOld ? shownLeft : newest("left~");
        return CommandResult{0, "DP-1 = " + left + "\nHDMI-A-1 = " + newest("right~") + "\n", ""};
    };
    const MonitorLayout layout{{"DP-1", 0, 0, 1920, 1080}, {"HDMI-A-1", 1920, 0, 1920, 1080}};
    auto hypr = Make(DesktopKind::Hyprland);
    hypr->setMonitorWallpapers(bitmap, layout, {home.File("left.bmp"), home.File("right.bmp")});
    const std::string la = Alias("left"), ra = Alias("right");
    ASSERT_NE(la, "");
    ASSERT_NE(ra, "");
    const std::vector<Argv> expected{
        {"hyprctl", "hyprpaper", "preload", la},
        {"hyprctl", "hyprpaper", "preload", ra},
        {"hyprctl", "hyprpaper", "wallpaper", "DP-1," + la},
        {"hyprctl", "hyprpaper", "wallpaper", "HDMI-A-1," + ra},
        {"hyprctl", "hyprpaper", "listactive"},
    };
    EXPECT_EQ(runner.calls, expected);
    EXPECT_EQ(hypr->LastReadBack(), "DP-1: " + la + "; HDMI-A-1: " + ra);

    // The next change frees the pieces' earlier names in hyprpaper.
    runner.calls.clear();
    hypr->setMonitorWallpapers(bitmap, layout, {home.File("left.bmp"), home.File("right.bmp")});
    EXPECT_EQ(runner.calls[runner.calls.size() - 2], (Argv{"hyprctl", "hyprpaper", "unload", la}));
    EXPECT_EQ(runner.calls.back(), (Argv{"hyprctl", "hyprpaper", "unload", ra}));

    // One monitor still on the old picture: the change fails and the shown names stay.
    shownLeft = Alias("left");
    leftStaysOld = true;
    EXPECT_THROW(hypr->setMonitorWallpapers(bitmap, layout, {home.File("left.bmp"), home.File("right.bmp")}),
                 Exception);
    EXPECT_EQ(Alias("left"), shownLeft);
}

TEST_F(BackendTest, XfceSpansTheBoxOnEveryMonitorWithItsSpanningStyle)
{
    XfdesktopWith("/backdrop/screen0/monitorHDMI-1/workspace0/last-image\n"
                  "/backdrop/screen0/monitorDP-1/workspace0/last-image\n");
    auto xfce = Make(DesktopKind::Xfce);
    EXPECT_EQ(xfce->PerMonitor(), PerMonitorMethod::Spanned);
    xfce->setMonitorWallpapers(bitmap, {{"HDMI-1", 0, 0, 800, 600}, {"DP-1", 800, 0, 800, 600}}, {});
    EXPECT_EQ(runner.store["xfce4-desktop /backdrop/screen0/monitorHDMI-1/workspace0/image-style"], "6");
    EXPECT_EQ(runner.store["xfce4-desktop /backdrop/screen0/monitorDP-1/workspace0/last-image"], bitmap);
    EXPECT_EQ(runner.store["xfce4-desktop /backdrop/screen0/monitorDP-1/workspace0/backdrop-cycle-enable"], "false");
    EXPECT_TRUE(xfce->LastReadBack().starts_with("HDMI-1=800x600+0+0,DP-1=800x600+800+0: "));
    EXPECT_NE(xfce->LastReadBack().find("image-style=6"), std::string::npos);
}

TEST_F(BackendTest, PlasmaGivesEachScreenThePieceOfTheMonitorWithItsGeometry)
{
    const MonitorLayout layout{{"DP-1", 0, 0, 1920, 1080}, {"DP-2", 1920, -200, 1280, 1024}};
    const std::vector<std::string> pieces{home.File("W.DP-1.bmp"), home.File("W.DP-2.bmp")};
    for (const std::string &piece : pieces)
        WriteFileBytes(piece, "BM");
    std::string uri1, uri2, shown, unmatched;
    runner.respond = [&](const Argv &argv) {
        const bool readBack = argv.back().find("readConfig") != std::string::npos;
        uri1 = FileUri(Alias("W.DP-1"));
        uri2 = FileUri(Alias("W.DP-2"));
        // Plasma numbers its screens its own way: screen 0 is the right-hand monitor here.
        const std::string answer = !readBack        ? unmatched
                                   : !shown.empty() ? shown
                                                    : "1920,-200,1280x1024 org.kde.image " + uri2 +
                                                          " 0\n0,0,1920x1080 org.kde.image " + uri1 + " 0";
        return CommandResult{0, "method return\n   string \"" + answer + "\"\n", ""};
    };
    auto kde = Make(DesktopKind::Kde);
    EXPECT_EQ(kde->PerMonitor(), PerMonitorMethod::Pieces);
    kde->setMonitorWallpapers(bitmap, layout, pieces);
    ASSERT_EQ(runner.calls.size(), 2u);
    const std::string script = runner.calls[0].back();
    EXPECT_NE(script.find("\"0,0,1920x1080\": \"" + uri1 + "\""), std::string::npos) << script;
    EXPECT_NE(script.find("\"1920,-200,1280x1024\": \"" + uri2 + "\""), std::string::npos) << script;
    EXPECT_NE(script.find("screenGeometry(d.screen)"), std::string::npos);
    EXPECT_EQ(FileUri(Alias("W.DP-1")), uri1);
    const std::string kept = Alias("W.DP-1");

    // A screen of a size we do not know (a scaled screen) is named in the error, and nothing is kept.
    unmatched = "0,0,1280x720";
    try {
        kde->setMonitorWallpapers(bitmap, layout, pieces);
        FAIL();
    } catch (const Exception &e) {
        EXPECT_NE(e.Message().find("0,0,1280x720"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(Alias("W.DP-1"), kept);
    // A desktop still showing something else is reported.
    unmatched.clear();
    shown = "0,0,1920x1080 org.kde.slideshow x 0";
    EXPECT_THROW(kde->setMonitorWallpapers(bitmap, layout, pieces), Exception);
}
