#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/FreshAlias.h"
#include "platform/desktop/backends/ProcessTable.h"
#include "platform/desktop/backends/ReadBack.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <dirent.h>

#include <sstream>

// LXQt (pcmanfm-qt) and LXDE (pcmanfm) draw the desktop through their file managers.

namespace {

const char *WallpaperMode(TileMode tile)
{
    return tile == TileMode::Tile ? "tile" : tile == TileMode::Stretch ? "stretch" : "center";
}

// The file manager that draws the desktop, found among the user's processes: without one, the
// `--set-wallpaper` that the backend runs becomes the first instance itself and never returns.
// Returns the desktop instance's profile.
std::string DesktopProfile(const std::string &procRoot, const char *program, const char *session,
                           const char *startCommand)
{
    const auto processes = FindUserProcesses(procRoot, program);
    const std::vector<std::string> *desktop = WithArgument(processes, "--desktop");
    if (desktop == nullptr)
        throw Exception(FormatMessage("壁紙を設定できません: %s のデスクトップ (%s --desktop) が動いていません"
                                      "（%s を起動してください）",
                                      {session, program, startCommand}));
    return OptionValue(*desktop, "--profile", "-p", "default");
}

std::string ReadIfThere(const std::string &nativeFile)
{
    try {
        const std::string file = FromNativePath(nativeFile);
        return FileExists(file) ? ReadWholeFile(file) : std::string();
    } catch (const std::exception &) {
        return {};
    }
}

// A value as QSettings writes it: quoted when it holds characters special to its format.
std::string QSettingsText(const std::string &raw)
{
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
        return raw;
    std::string out;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 2 < raw.size())
            ++i;
        out += raw[i];
    }
    return out;
}

// A value as GKeyFile writes it (\s for a leading space, \\ for a backslash).
std::string KeyFileText(const std::string &raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        const char c = raw[++i];
        out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

constexpr int kSavePolls = 40;
constexpr int kSavePollMs = 50;

class LxqtDesktop : public SpanningDesktop {
public:
    LxqtDesktop(CommandRunner &runner, std::string configHome, std::string procRoot)
        : runner_(runner), configHome_(std::move(configHome)), procRoot_(std::move(procRoot))
    {
    }
    const char *Name() const override { return "lxqt"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override
    {
        Show(cp932Path, WallpaperMode(tile), false);
    }

private:
    // On X11, pcmanfm-qt draws one desktop window over all monitors (the virtual screen): the box
    // stretched over it puts each monitor's picture on its monitor. With its own option for a picture
    // per monitor on, it fits the picture into every monitor instead, so it cannot show the box.
    void ShowBox(const std::string &cp932BoxPath, const MonitorLayout &) override
    {
        Show(cp932BoxPath, "stretch", true);
    }
    // Sets the picture in `mode`; with `spanned`, first refuses when pcmanfm-qt fits it per monitor.
    void Show(const std::string &cp932Path, const char *mode, bool spanned)
    {
        const std::string profile =
            DesktopProfile(procRoot_, "pcmanfm-qt", "LXQt", "pcmanfm-qt --desktop --profile=lxqt");
        const std::string settings = configHome_ + "/pcmanfm-qt/" + profile + "/settings.conf";
        if (spanned && IniValue(ReadIfThere(settings), "Desktop", "PerScreenWallpaper") == "true")
            throw EPerMonitorUnsupported(
                "LXQt (pcmanfm-qt) の設定「モニターごとに個別の壁紙」が有効なため、モニターごとに別の壁紙を"
                "設定できません。すべてのモニターに同じ壁紙を表示します（LXQt のデスクトップの設定でこの項目を"
                "外すと、モニターごとに表示できます）。");
        // pcmanfm-qt caches pictures by path.
        FreshAlias alias(cp932Path);
        DisablePcmanfmQtSlideshow(configHome_);
        RunChecked(runner_, {"pcmanfm-qt", "--set-wallpaper", alias.NativePath(), "--wallpaper-mode", mode});
        const auto wallpaper = [](const std::string &text) {
            return QSettingsText(IniValue(text, "Desktop", "Wallpaper").value_or(""));
        };
        // pcmanfm-qt saves the new picture but its old mode: once it has saved, the mode is written too,
        // or the next start of pcmanfm-qt shows the picture in the wrong mode (or nothing).
        const std::string text = PollReadBack(
            runner_, [&] { return ReadIfThere(settings); },
            [&](const std::string &t) { return wallpaper(t) == alias.NativePath(); }, kSavePolls, kSavePollMs);
        const std::string shown = wallpaper(text);
        lastReadBack_ = "Wallpaper=" + shown;
        if (shown != alias.NativePath())
            ThrowNotShown(
                "LXQt (pcmanfm-qt)", shown,
                FormatMessage(
                    "%s に新しい壁紙が保存されません。pcmanfm-qt のデスクトップが応答しているかを確かめてください",
                    {settings}));
        if (IniValue(text, "Desktop", "WallpaperMode").value_or("") != mode)
            ReplaceFileAtomically(FromNativePath(settings), WithIniValue(text, "Desktop", "WallpaperMode", mode));
        lastReadBack_ += std::string(" WallpaperMode=") + mode;
        alias.Commit();
    }

    CommandRunner &runner_;
    std::string configHome_;
    std::string procRoot_;
};

class LxdeDesktop : public ReadBackDesktop {
public:
    LxdeDesktop(CommandRunner &runner, std::string configHome, std::string procRoot)
        : runner_(runner), configHome_(std::move(configHome)), procRoot_(std::move(procRoot))
    {
    }
    const char *Name() const override { return "lxde"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override { Show(cp932Path, WallpaperMode(tile)); }
    // pcmanfm keeps a picture per monitor, but its running instance takes --set-wallpaper for the first
    // monitor only (pcmanfm 1.3, checked with two monitors; its "screen" mode spans only across the
    // monitors already set to it), and re-reads the others only when it starts again.
    void setMonitorWallpapers(const std::string &, const MonitorLayout &, const std::vector<std::string> &) override
    {
        throw EPerMonitorUnsupported(
            "LXDE (pcmanfm) では、動いているデスクトップの壁紙を 1 台目のモニターの分しか変更できないため、"
            "モニターごとに別の壁紙を設定できません。1 台目のモニターに壁紙を表示します。");
    }

private:
    void Show(const std::string &cp932Path, const char *mode)
    {
        const std::string profile = DesktopProfile(procRoot_, "pcmanfm", "LXDE", "pcmanfm --desktop --profile LXDE");
        FreshAlias alias(cp932Path);
        RunChecked(runner_, {"pcmanfm", "--set-wallpaper", alias.NativePath(), "--wallpaper-mode", mode});
        // The first monitor's desktop; pcmanfm writes it once the running instance has the change.
        const std::string items = configHome_ + "/pcmanfm/" + profile + "/desktop-items-0.conf";
        const auto state = [](const std::string &text) {
            return KeyFileText(IniValue(text, "*", "wallpaper").value_or("")) + "\n" +
                   IniValue(text, "*", "wallpaper_mode").value_or("");
        };
        const std::string expected = alias.NativePath() + "\n" + mode;
        const std::string shown = PollReadBack(
            runner_, [&] { return state(ReadIfThere(items)); }, [&](const std::string &s) { return s == expected; },
            kSavePolls, kSavePollMs);
        const size_t newline = shown.find('\n');
        lastReadBack_ = "wallpaper=" + shown.substr(0, newline) + " wallpaper_mode=" + shown.substr(newline + 1);
        if (shown != expected)
            ThrowNotShown(
                "LXDE (pcmanfm)", shown.substr(0, newline) + " (" + shown.substr(newline + 1) + ")",
                FormatMessage(
                    "%s に新しい壁紙が保存されません。pcmanfm のデスクトップが応答しているかを確かめてください",
                    {items}));
        alias.Commit();
    }

    CommandRunner &runner_;
    std::string configHome_;
    std::string procRoot_;
};

// The [Desktop] section's SlideShowInterval set to 0; false when nothing needed changing.
bool StopSlideshowIn(std::string &text)
{
    std::istringstream in(text);
    std::string out;
    bool inDesktop = false;
    bool changed = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("["))
            inDesktop = line.starts_with("[Desktop]");
        else if (inDesktop && line.starts_with("SlideShowInterval=") && line != "SlideShowInterval=0") {
            line = "SlideShowInterval=0";
            changed = true;
        }
        out += line + "\n";
    }
    if (changed)
        text = out;
    return changed;
}

} // namespace

int DisablePcmanfmQtSlideshow(const std::string &configHome)
{
    if (configHome.empty())
        return 0;
    const std::string folder = configHome + "/pcmanfm-qt";
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    int changed = 0;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        try {
            const std::string file = FromNativePath(folder + "/" + name + "/settings.conf");
            if (!FileExists(file))
                continue;
            std::string text = ReadWholeFile(file);
            if (StopSlideshowIn(text)) {
                ReplaceFileAtomically(file, text);
                ++changed;
            }
        } catch (const std::exception &) {
            // A profile we cannot read or write is left as it is; the picture is still set.
        }
    }
    closedir(dir);
    return changed;
}

std::unique_ptr<Desktop> CreateLxqtDesktop(CommandRunner &runner, const std::string &configHome,
                                           const std::string &procRoot)
{
    return std::make_unique<LxqtDesktop>(runner, configHome, procRoot);
}
std::unique_ptr<Desktop> CreateLxdeDesktop(CommandRunner &runner, const std::string &configHome,
                                           const std::string &procRoot)
{
    return std::make_unique<LxdeDesktop>(runner, configHome, procRoot);
}
