// The faults of the desktops' own programs that the backends must survive, and the read-back that
// tells a change the desktop ignored from one it shows.
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/desktop/DesktopFactory.h"
#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/ProcessTable.h"
#include "platform/desktop/backends/ReadBack.h"

#include "FakeDesktopTools.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <wordexp.h>

namespace {

struct ReadBackTest : ::testing::Test {
    TempHome home;
    FakeRunner runner;
    DesktopEnvironment env;
    FakeProc proc{home.File("proc")};
    std::string bitmap = home.File("Tapisto_WallPaper.bmp");

    void SetUp() override
    {
        WriteFileBytes(bitmap, "BM");
        env.ProcRoot = proc.Root();
        env.XdgConfigHome = home.File("config");
        mkdir(env.XdgConfigHome.c_str(), 0700);
    }
    std::unique_ptr<Desktop> Make(DesktopKind kind) { return CreateDesktop(kind, runner, env); }
    std::string Failure(DesktopKind kind, TileMode tile = TileMode::Centre)
    {
        try {
            Make(kind)->setWallpaper(bitmap, tile);
        } catch (const Exception &e) {
            return e.Message();
        }
        return "(no failure)";
    }
    void MakeFolders(const std::string &relative)
    {
        std::string path = env.XdgConfigHome;
        size_t start = 0;
        while (start < relative.size()) {
            const size_t end = std::min(relative.find('/', start), relative.size());
            path += "/" + relative.substr(start, end - start);
            mkdir(path.c_str(), 0700);
            start = end + 1;
        }
    }
};

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(ReadBackTest, LxdeAndLxqtWithoutTheirDesktopInstanceSayWhatToStartAndRunNothing)
{
    proc.Add({"pcmanfm"}); // a file manager window, not the desktop
    proc.Add({"pcmanfm-qt", "/home"});
    EXPECT_EQ(Failure(DesktopKind::Lxde),
              "壁紙を設定できません: LXDE のデスクトップ (pcmanfm --desktop) が動いていません"
              "（pcmanfm --desktop --profile LXDE を起動してください）");
    EXPECT_TRUE(Contains(Failure(DesktopKind::Lxqt), "pcmanfm-qt --desktop --profile=lxqt を起動してください"));
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(ReadBackTest, LxdeReadsItsDesktopFileBackAndReportsAnIgnoredChange)
{
    proc.Add({"pcmanfm", "--desktop", "--profile", "LXDE"});
    MakeFolders("pcmanfm/LXDE");
    WriteFileBytes(env.XdgConfigHome + "/pcmanfm/LXDE/desktop-items-0.conf",
                   "[*]\nwallpaper_mode=crop\nwallpaper=/usr/share/lxde/wallpapers/lxde_blue.jpg\n");
    const std::string message = Failure(DesktopKind::Lxde, TileMode::Tile);
    EXPECT_TRUE(
        Contains(message, "LXDE (pcmanfm) は設定のあとも「/usr/share/lxde/wallpapers/lxde_blue.jpg (crop)」を示して"))
        << message;
    EXPECT_EQ(runner.pauses, 39); // waited its short while for pcmanfm to save
}

TEST_F(ReadBackTest, LxqtWritesTheModeThatPcmanfmQtDoesNotSaveAfterItHasSaved)
{
    proc.Add({"pcmanfm-qt", "--desktop", "--profile=lxqt"});
    MakeFolders("pcmanfm-qt/lxqt");
    const std::string settings = env.XdgConfigHome + "/pcmanfm-qt/lxqt/settings.conf";
    // A fresh profile: pcmanfm-qt saves a little later than its command returns, with its mode "none".
    int reads = 0;
    runner.respond = [&](const Argv &argv) {
        if (argv[0] == "pcmanfm-qt")
            WriteFileBytes(settings, "[Desktop]\nWallpaperMode=none\n");
        return CommandResult{};
    };
    struct SavingRunner : FakeRunner {
        std::function<void()> onPause;
        void Pause(int ms) override
        {
            FakeRunner::Pause(ms);
            onPause();
        }
    };
    SavingRunner saving;
    saving.respond = runner.respond;
    std::string handed;
    saving.onPause = [&] {
        handed = saving.calls.back()[2];
        if (++reads == 2)
            WriteFileBytes(settings,
                           "[Desktop]\nWallpaper=" + handed + "\nWallpaperMode=none\n\n[Window]\nWidth=640\n");
    };
    CreateDesktop(DesktopKind::Lxqt, saving, env)->setWallpaper(bitmap, TileMode::Stretch);
    EXPECT_EQ(FilesStartingWith(home.Path(), "Tapisto_WallPaper~"),
              std::vector<std::string>{handed.substr(home.Path().size())});
    EXPECT_EQ(ReadFileBytes(settings),
              "[Desktop]\nWallpaper=" + handed + "\nWallpaperMode=stretch\n\n[Window]\nWidth=640\n");
}

TEST_F(ReadBackTest, XfceWaitsForXfdesktopToWriteItsPropertiesOnAFreshProfile)
{
    proc.Add({"xfdesktop"});
    int lists = 0;
    runner.respond = [&lists](const Argv &argv) {
        if (argv.back() == "-l" && ++lists > 3)
            return CommandResult{0, "/backdrop/screen0/monitorscreen/workspace0/last-image\n", ""};
        return CommandResult{};
    };
    auto desktop = Make(DesktopKind::Xfce);
    desktop->setWallpaper(bitmap, TileMode::Tile);
    EXPECT_EQ(runner.pauses, 3);
    EXPECT_EQ(desktop->LastReadBack(),
              "/backdrop/screen0/monitorscreen/workspace0/last-image=" + bitmap + " image-style=2");
}

TEST_F(ReadBackTest, XfceWithoutXfdesktopFailsAtOnceAndSaysSo)
{
    runner.respond = [](const Argv &argv) {
        return argv.back() == "-l" ? CommandResult{0, "/backdrop/screen0/monitor0/workspace0/last-image\n", ""}
                                   : CommandResult{};
    };
    EXPECT_TRUE(Contains(Failure(DesktopKind::Xfce), "xfdesktop が動いていないため"));
    runner.respond = nullptr; // nothing listed either
    EXPECT_EQ(Failure(DesktopKind::Xfce),
              "壁紙を設定できません: xfdesktop が動いていません（xfdesktop を起動してください）");
    EXPECT_EQ(runner.pauses, 0);
}

TEST_F(ReadBackTest, XfceReportsACyclerThatReplacedThePicture)
{
    proc.Add({"xfdesktop"});
    const std::string image = "/backdrop/screen0/monitor0/workspace0/last-image";
    runner.respond = [&image](const Argv &argv) {
        if (argv.back() == "-l")
            return CommandResult{0, image + "\n", ""};
        if (argv.size() == 5 && argv[4] == image)
            return CommandResult{0, "/usr/share/backgrounds/xfce/xfce-x.svg\n", ""};
        return CommandResult{};
    };
    const std::string message = Failure(DesktopKind::Xfce);
    EXPECT_TRUE(
        Contains(message, "Xfce (xfdesktop) は設定のあとも「" + image + " = /usr/share/backgrounds/xfce/xfce-x.svg"))
        << message;
    EXPECT_TRUE(Contains(message, "画像の切り替え"));
}

TEST_F(ReadBackTest, GsettingsThatKeepsNothingIsAFailureNamingTheDesktop)
{
    // gsettings without dconf: "set" succeeds, "get" answers the default.
    runner.respond = [](const Argv &argv) {
        return argv[1] == "get" ? CommandResult{0, "'file:///usr/share/backgrounds/gnome/adwaita-l.jxl'\n", ""}
                                : CommandResult{};
    };
    const std::string message = Failure(DesktopKind::Gnome);
    EXPECT_TRUE(
        Contains(message, "GNOME は設定のあとも「picture-uri = file:///usr/share/backgrounds/gnome/adwaita-l.jxl」"))
        << message;
    EXPECT_TRUE(Contains(message, "dconf"));
    EXPECT_EQ(FilesStartingWith(home.Path(), "Tapisto_WallPaper~"), std::vector<std::string>{})
        << "the new name is not kept";
    EXPECT_TRUE(Contains(Failure(DesktopKind::Mate), "MATE は設定のあとも"));
    EXPECT_TRUE(Contains(Failure(DesktopKind::Cinnamon), "Cinnamon のスライドショー"));
}

TEST_F(ReadBackTest, PlasmaWithLockedWidgetsOrNoAnswerIsAFailure)
{
    runner.respond = [](const Argv &argv) {
        if (argv.back().find("readConfig") == std::string::npos)
            return CommandResult{};
        return CommandResult{0, "method return\n   string \"org.kde.slideshow file:///old.png 6\nlocked\"\n", ""};
    };
    std::string message = Failure(DesktopKind::Kde);
    EXPECT_TRUE(Contains(message, "「org.kde.slideshow file:///old.png 6」")) << message;
    EXPECT_TRUE(Contains(message, "ロック"));
    runner.respond = [](const Argv &argv) {
        return argv.back().find("readConfig") == std::string::npos ? CommandResult{}
                                                                   : CommandResult{0, "method return\n", ""};
    };
    EXPECT_TRUE(Contains(Failure(DesktopKind::Kde), "plasmashell が動いているか"));
    const std::string script = PlasmaReadBackScript();
    EXPECT_TRUE(Contains(script, "d.readConfig(\"Image\")"));
    EXPECT_TRUE(Contains(script, "print(out.join(\"\\n\"));"));
}

TEST_F(ReadBackTest, SwayQuotingKeepsEveryCharacterThroughWordexp)
{
    for (const std::string path : {"/home/u/it's.bmp", "/home/u/$HOME/x.bmp", "/home/u/`id`/$(id)/x.bmp",
                                   "/home/u/q\"uo\\te;x,y .bmp", "/home/u/*?[a]~/x.bmp"}) {
        const std::string quoted = SwayQuoted(path);
        // sway's own parser takes the word inside the double quotes (keeping backslashes), then hands the
        // background's path to wordexp.
        ASSERT_TRUE(quoted.starts_with("\"") && quoted.ends_with("\""));
        const std::string forWordexp = quoted.substr(1, quoted.size() - 2);
        wordexp_t words;
        ASSERT_EQ(wordexp(forWordexp.c_str(), &words, WRDE_NOCMD | WRDE_UNDEF), 0) << forWordexp;
        ASSERT_EQ(words.we_wordc, 1u);
        EXPECT_EQ(std::string(words.we_wordv[0]), path);
        wordfree(&words);
    }
}

TEST_F(ReadBackTest, SwayShowsSwaysOwnErrorAndChecksSwaybg)
{
    runner.respond = [](const Argv &) {
        return CommandResult{2,
                             "[\n  {\n    \"success\": false,\n    \"parse_error\": true,\n    \"error\": "
                             "\"Invalid syntax (\\/tmp\\/x)\"\n  }\n]\n",
                             ""};
    };
    EXPECT_EQ(Failure(DesktopKind::Sway), "壁紙を設定できません: sway: Invalid syntax (/tmp/x)");
    runner.respond = nullptr;
    EXPECT_TRUE(Contains(Failure(DesktopKind::Sway), "パッケージ swaybg"));
    proc.Add({"swaybg", "-o", "*", "-i", "/old.png", "-m", "fill"});
    EXPECT_TRUE(Contains(Failure(DesktopKind::Sway, TileMode::Stretch), "「swaybg -o '*' -i /old.png -m fill」"));
}

TEST(DesktopCommands, AMissingToolNamesItsPackageAndAHangingOneIsCutShort)
{
    struct Missing : CommandRunner {
        CommandResult Run(const std::vector<std::string> &) override { return CommandResult{-1, "", "", true}; }
    } missing;
    try {
        RunChecked(missing, {"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop", "-l"});
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(
            e.Message(),
            "壁紙を設定できません: xfconf-query が見つかりません（パッケージ xfconf をインストールしてください）");
    }
    EXPECT_EQ(DebianPackageOf("gsettings"), "libglib2.0-bin");
    EXPECT_EQ(DebianPackageOf("/usr/bin/swaymsg"), "sway");

    ProcessRunner runner(300);
    EXPECT_TRUE(runner.Run({"tapisto-no-such-program"}).NotFound);
    const auto start = std::chrono::steady_clock::now();
    const CommandResult hung = runner.Run({"sleep", "20"});
    EXPECT_TRUE(hung.TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    try {
        RunChecked(runner, {"sleep", "20"});
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "壁紙を設定できません: sleep 20: 応答がないため打ち切りました");
    }
}

TEST(DesktopText, ProcessesGVariantAndIniValues)
{
    EXPECT_EQ(ParseGVariantString("'file:///a%20b.bmp'\n"), "file:///a%20b.bmp");
    EXPECT_EQ(ParseGVariantString("\"/home/it's \\\"x\\\" \\\\ \\u8868.bmp\"\n"), "/home/it's \"x\" \\ 表.bmp");
    EXPECT_EQ(ParseGVariantString("@as []"), std::nullopt);
    EXPECT_EQ(ParseGVariantString("'broken\\'"), std::nullopt);

    const std::string text = "[Desktop]\nWallpaper=/a.bmp\n\n[Window]\nWidth=3\n";
    EXPECT_EQ(IniValue(text, "Desktop", "Wallpaper"), "/a.bmp");
    EXPECT_EQ(IniValue(text, "Window", "Wallpaper"), std::nullopt);
    EXPECT_EQ(WithIniValue(text, "Desktop", "Wallpaper", "/b.bmp"),
              "[Desktop]\nWallpaper=/b.bmp\n\n[Window]\nWidth=3\n");
    EXPECT_EQ(WithIniValue(text, "Desktop", "WallpaperMode", "tile"),
              "[Desktop]\nWallpaper=/a.bmp\nWallpaperMode=tile\n\n[Window]\nWidth=3\n");
    EXPECT_EQ(WithIniValue(text, "Window", "Height", "4"), text + "Height=4\n");
    EXPECT_EQ(WithIniValue("[Window]\nWidth=3\n", "Desktop", "WallpaperMode", "center"),
              "[Window]\nWidth=3\n\n[Desktop]\nWallpaperMode=center\n");

    EXPECT_EQ(OptionValue({"pcmanfm-qt", "--desktop", "--profile=lxqt"}, "--profile", "-p", "default"), "lxqt");
    EXPECT_EQ(OptionValue({"pcmanfm", "-p", "LXDE", "--desktop"}, "--profile", "-p", "default"), "LXDE");
    EXPECT_EQ(OptionValue({"pcmanfm", "--desktop"}, "--profile", "-p", "default"), "default");
}

TEST_F(ReadBackTest, HyprpaperShowingAnotherPictureIsAFailureAndAnOldOneIsTakenAtItsWord)
{
    runner.respond = [](const Argv &argv) {
        return argv.back() == "listactive" ? CommandResult{0, "DP-1 = /home/u/other.png\n", ""} : CommandResult{};
    };
    EXPECT_TRUE(Contains(Failure(DesktopKind::Hyprland), "「DP-1 = /home/u/other.png」"));
    EXPECT_EQ(FilesStartingWith(home.Path(), "Tapisto_WallPaper~"), std::vector<std::string>{})
        << "the new name is not kept";
    runner.respond = [](const Argv &argv) {
        return argv.back() == "listactive" ? CommandResult{1, "", "unknown request"} : CommandResult{};
    };
    auto desktop = Make(DesktopKind::Hyprland);
    EXPECT_NO_THROW(desktop->setWallpaper(bitmap, TileMode::Centre));
    EXPECT_EQ(desktop->LastReadBack(), "-");
}
