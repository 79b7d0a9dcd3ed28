#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/FreshAlias.h"
#include "platform/desktop/backends/ProcessTable.h"
#include "platform/desktop/backends/ReadBack.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <memory>
#include <sstream>

// sway (swaybg) and Hyprland (hyprpaper).

namespace {

// The text of the first "error" member of swaymsg's JSON reply; "" when there is none.
std::string SwayError(const std::string &json)
{
    const size_t key = json.find("\"error\"");
    if (key == std::string::npos)
        return {};
    size_t i = json.find('"', json.find(':', key));
    if (i == std::string::npos)
        return {};
    std::string out;
    for (++i; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\\' && i + 1 < json.size()) {
            const char c = json[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += json[i];
        }
    }
    return out;
}

// The swaybg that sway started shows `path` in `mode`.
bool SwaybgShows(const std::vector<std::vector<std::string>> &processes, const std::string &path, const char *mode)
{
    for (const auto &argv : processes)
        for (size_t i = 1; i + 3 < argv.size(); ++i)
            if (argv[i] == "-i" && argv[i + 1] == path && argv[i + 2] == "-m" && argv[i + 3] == mode)
                return true;
    return false;
}

// Some swaybg shows `path` stretched on the output `name` ("-o NAME -i PATH -m stretch").
bool SwaybgShowsOn(const std::vector<std::vector<std::string>> &processes, const std::string &name,
                   const std::string &path)
{
    for (const auto &argv : processes)
        for (size_t i = 1; i + 5 < argv.size(); ++i)
            if (argv[i] == "-o" && argv[i + 1] == name && argv[i + 2] == "-i" && argv[i + 3] == path &&
                argv[i + 4] == "-m" && argv[i + 5] == "stretch")
                return true;
    return false;
}

std::string Describe(const std::vector<std::vector<std::string>> &processes)
{
    std::string out;
    for (const auto &argv : processes)
        out += (out.empty() ? "" : "; ") + DescribeCommand(argv);
    return out;
}

// Both set a picture per output by its connector name: one piece per monitor, and every monitor named.
void CheckNamedPieces(const char *desktop, const MonitorLayout &layout, const std::vector<std::string> &cp932PiecePaths)
{
    if (cp932PiecePaths.size() != layout.size())
        throw Exception("壁紙を設定できません: モニターごとの画像の数がモニターの数と合いません");
    for (const Monitor &monitor : layout)
        if (monitor.Name.empty())
            throw EPerMonitorUnsupported(
                FormatMessage("%s ではモニターの名前が分からないため、モニターごとに別の壁紙を設定できません。"
                              "すべてのモニターに同じ壁紙を表示します。",
                              {desktop}));
}

// "NAME: shown; NAME: shown", what each monitor shows, for the read-back report.
void AddMonitorShown(std::string &report, const Monitor &monitor, const std::string &shown)
{
    report += (report.empty() ? "" : "; ") + monitor.Name + ": " + shown;
}

class SwayDesktop : public ReadBackDesktop {
public:
    SwayDesktop(CommandRunner &runner, std::string procRoot) : runner_(runner), procRoot_(std::move(procRoot)) {}
    const char *Name() const override { return "sway"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override
    {
        // swaybg is restarted and reads the file afresh, so the path itself can stay.
        const std::string path = ToNativePath(cp932Path);
        const char *mode = tile == TileMode::Tile ? "tile" : tile == TileMode::Stretch ? "stretch" : "center";
        RunSway({"swaymsg", "output", "*", "bg", SwayQuoted(path), mode});
        std::vector<std::vector<std::string>> shown;
        PollReadBack(
            runner_,
            [&] {
                shown = FindUserProcesses(procRoot_, "swaybg");
                return std::string();
            },
            [&](const std::string &) { return SwaybgShows(shown, path, mode); }, 40, 50);
        lastReadBack_ = Describe(shown);
        if (!SwaybgShows(shown, path, mode))
            ThrowNotShown("sway (swaybg)", lastReadBack_,
                          shown.empty() ? "swaybg が動いていません（パッケージ swaybg をインストールしてください）"
                                        : "sway がこの画像を swaybg に渡していません");
    }

    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Pieces; }
    // Each output by its connector name; sway 1.7 then starts one swaybg with an "-o NAME -i PATH -m
    // MODE" group per output.
    void setMonitorWallpapers(const std::string &, const MonitorLayout &layout,
                              const std::vector<std::string> &cp932PiecePaths) override
    {
        CheckNamedPieces("sway", layout, cp932PiecePaths);
        std::vector<std::string> paths;
        for (size_t i = 0; i < layout.size(); ++i) {
            paths.push_back(ToNativePath(cp932PiecePaths[i]));
            RunSway({"swaymsg", "output", layout[i].Name, "bg", SwayQuoted(paths.back()), "stretch"});
        }
        std::vector<std::vector<std::string>> shown;
        const auto allShown = [&] {
            for (size_t i = 0; i < layout.size(); ++i)
                if (!SwaybgShowsOn(shown, layout[i].Name, paths[i]))
                    return false;
            return true;
        };
        PollReadBack(
            runner_,
            [&] {
                shown = FindUserProcesses(procRoot_, "swaybg");
                return std::string();
            },
            [&](const std::string &) { return allShown(); }, 40, 50);
        lastReadBack_.clear();
        for (size_t i = 0; i < layout.size(); ++i)
            AddMonitorShown(lastReadBack_, layout[i],
                            SwaybgShowsOn(shown, layout[i].Name, paths[i]) ? paths[i] : std::string("?"));
        if (!allShown())
            ThrowNotShown("sway (swaybg)", Describe(shown),
                          shown.empty() ? "swaybg が動いていません（パッケージ swaybg をインストールしてください）"
                                        : "sway がモニターごとの画像を swaybg に渡していません");
    }

private:
    void RunSway(const std::vector<std::string> &argv)
    {
        const CommandResult result = runner_.Run(argv);
        if (result.ExitCode != 0) {
            // swaymsg prints sway's refusal as JSON on standard output.
            const std::string error = SwayError(result.Output);
            if (error.empty())
                RunChecked(runner_, argv);
            throw Exception(FormatMessage("壁紙を設定できません: sway: %s", {error}));
        }
    }

    CommandRunner &runner_;
    std::string procRoot_;
};

class HyprlandDesktop : public ReadBackDesktop {
public:
    explicit HyprlandDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "hyprland"; }
    void setWallpaper(const std::string &cp932Path, TileMode) override
    {
        // hyprpaper keeps preloaded pictures by path; it has no centre or tile mode in older versions.
        FreshAlias alias(cp932Path);
        RunChecked(runner_, {"hyprctl", "hyprpaper", "preload", alias.NativePath()});
        RunChecked(runner_, {"hyprctl", "hyprpaper", "wallpaper", "," + alias.NativePath()});
        // "MONITOR = PATH" for every monitor; a hyprpaper too old to list them is taken at its word.
        const CommandResult listed = runner_.Run({"hyprctl", "hyprpaper", "listactive"});
        std::string active = listed.Output;
        while (!active.empty() && (active.back() == '\n' || active.back() == ' '))
            active.pop_back();
        lastReadBack_ = listed.ExitCode == 0 ? active : std::string("-");
        if (listed.ExitCode == 0) {
            std::istringstream lines(active);
            bool any = false;
            for (std::string line; std::getline(lines, line);) {
                if (!line.ends_with(" = " + alias.NativePath()))
                    ThrowNotShown("Hyprland (hyprpaper)", line, "hyprpaper が動いているかを確かめてください");
                any = true;
            }
            if (!any)
                ThrowNotShown("Hyprland (hyprpaper)", active, "hyprpaper が動いているかを確かめてください");
        }
        // The earlier pictures are no longer shown; free hyprpaper's copies (they may never have been loaded).
        for (const std::string &older : alias.OlderNativePaths())
            runner_.Run({"hyprctl", "hyprpaper", "unload", older});
        alias.Commit();
    }

    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Pieces; }
    void setMonitorWallpapers(const std::string &, const MonitorLayout &layout,
                              const std::vector<std::string> &cp932PiecePaths) override
    {
        CheckNamedPieces("Hyprland", layout, cp932PiecePaths);
        // hyprpaper keeps pictures by path: every piece gets a new name.
        std::vector<std::unique_ptr<FreshAlias>> aliases;
        for (const std::string &piece : cp932PiecePaths) {
            aliases.push_back(std::make_unique<FreshAlias>(piece));
            RunChecked(runner_, {"hyprctl", "hyprpaper", "preload", aliases.back()->NativePath()});
        }
        for (size_t i = 0; i < layout.size(); ++i)
            RunChecked(runner_, {"hyprctl", "hyprpaper", "wallpaper", layout[i].Name + "," + aliases[i]->NativePath()});
        const std::string active = RunChecked(runner_, {"hyprctl", "hyprpaper", "listactive"}).Output;
        lastReadBack_.clear();
        for (size_t i = 0; i < layout.size(); ++i) {
            const std::string expected = layout[i].Name + " = " + aliases[i]->NativePath();
            std::string shown = "?";
            std::istringstream lines(active);
            for (std::string line; std::getline(lines, line);)
                if (line.starts_with(layout[i].Name + " = "))
                    shown = line.substr(layout[i].Name.size() + 3);
            AddMonitorShown(lastReadBack_, layout[i], shown);
            if (shown != aliases[i]->NativePath())
                ThrowNotShown("Hyprland (hyprpaper)", layout[i].Name + " = " + shown,
                              "hyprpaper が動いているかを確かめてください");
        }
        for (const auto &alias : aliases) {
            for (const std::string &older : alias->OlderNativePaths())
                runner_.Run({"hyprctl", "hyprpaper", "unload", older});
            alias->Commit();
        }
    }

private:
    CommandRunner &runner_;
};

} // namespace

std::string SwayQuoted(const std::string &text)
{
    // sway's parser takes the double-quoted word and keeps a backslash before `"`; the `bg` path then
    // goes through wordexp, for which the single quotes keep `$`, backquotes and `$(…)` literal.
    std::string out = "\"'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '"')
            out += "'\\\"'";
        else
            out += c;
    }
    return out + "'\"";
}

std::unique_ptr<Desktop> CreateSwayDesktop(CommandRunner &runner, const std::string &procRoot)
{
    return std::make_unique<SwayDesktop>(runner, procRoot);
}
std::unique_ptr<Desktop> CreateHyprlandDesktop(CommandRunner &runner)
{
    return std::make_unique<HyprlandDesktop>(runner);
}
