// render, apply and formats: one wallpaper rendered and applied as the program does it.
#include "cli/CliSupport.h"
#include "cli/GuiStart.h"
#include "cli/PluginSearch.h"
#include "listedit/WallPaperList.h"
#include "picture/Graphics.h"
#include "platform/Paths.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/ChangeFactory.h"
#include "schedule/Render.h"
#include "schedule/Settings.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> correction;
    std::optional<std::string> position;
    std::optional<std::pair<int, int>> screen;
    std::optional<MonitorLayout> monitors;
    bool plugins = false; // search plug-ins as the main window does with its plug-in option on
};

// One choice per picture, each with the same position and correction.
std::vector<WallPaperChoice> ChoicesOf(const std::vector<std::string> &pictures, TileMode tileValue, int32_t correction)
{
    std::vector<WallPaperChoice> choices;
    choices.reserve(pictures.size());
    for (const std::string &picture : pictures)
        choices.push_back({ArgPath(picture), tileValue, correction});
    return choices;
}

bool AnyNeedsGui(const std::vector<WallPaperChoice> &choices);

Options ParseOptions(const std::string &command, const std::vector<std::string> &args, bool allowScreen,
                     bool allowPosition, bool allowCorrection)
{
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw UsageError(command + ": " + arg + " に値がありません");
            return args[++i];
        };
        if (allowCorrection && arg == "--correction")
            options.correction = value();
        else if (allowPosition && arg == "--position")
            options.position = value();
        else if (allowScreen && arg == "--screen")
            options.screen = ParseScreen(value());
        else if (arg == "--monitors")
            options.monitors = ParseMonitorsOption(value());
        else if (arg == "--plugins")
            options.plugins = true;
        else if (arg.starts_with("--"))
            throw UsageError(command + ": 不明なオプション " + arg);
        else
            options.positional.push_back(arg);
    }
    return options;
}

int32_t CorrectionOf(const Options &options)
{
    return options.correction ? DecodeCorrection(ArgText(*options.correction)) : -1;
}

// Metafiles are drawn through Qt SVG, which needs the GUI module's application object.
bool NeedsGui(const std::string &cp932Path)
{
    std::string ext = ExtractFileExt(cp932Path);
    const TGraphicClass *graphicClass = FindPictureClass(ext.empty() ? ext : ext.substr(1));
    return graphicClass != nullptr && graphicClass->InheritsFrom(TMetafile::ClassInfo());
}

bool AnyNeedsGui(const std::vector<WallPaperChoice> &choices)
{
    return std::any_of(choices.begin(), choices.end(),
                       [](const WallPaperChoice &choice) { return NeedsGui(choice.PicturePath); });
}

// The session's monitors (or one of the default size without a display).
MonitorLayout SessionMonitors()
{
    if (const std::unique_ptr<ScreenMetrics> x11 = X11SessionScreen())
        return x11->Monitors();
    if (HaveDisplay() && (EnsureGuiApplication(true), OnRealScreen()))
        return QtScreenMetrics().Monitors();
    return {Monitor{{}, 0, 0, kDefaultScreenSize.first, kDefaultScreenSize.second}};
}

} // namespace

// render PICTURE... OUT.bmp [--correction TEXT] [--screen WxH | --monitors LAYOUT]: the bitmap as a change
// writes it.
int CmdRender(const std::vector<std::string> &args)
{
    const Options options = ParseOptions("render", args, true, false, true);
    if (options.positional.size() < 2)
        throw UsageError("render: PICTURE OUT.bmp を指定してください");
    const std::string output = ArgPath(options.positional.back());
    const int32_t correction = CorrectionOf(options);
    std::optional<PluginSearch> plugins;
    if (options.plugins)
        plugins.emplace();
    const std::vector<WallPaperChoice> choices =
        ChoicesOf(std::vector<std::string>(options.positional.begin(), options.positional.end() - 1), TileMode::Centre,
                  correction);
    // Several pictures, or a layout given, make one picture per monitor.
    if (choices.size() > 1 || options.monitors) {
        if (options.screen)
            throw UsageError("render: --screen と --monitors は同時に指定できません");
        const MonitorLayout layout = options.monitors ? *options.monitors : SessionMonitors();
        if (AnyNeedsGui(choices))
            EnsureGuiApplication(false);
        const MonitorBox box = RenderMonitorWallPapers(choices, layout, output);
        std::printf("%dx%d%+d%+d\n", box.Width, box.Height, box.X, box.Y);
        return 0;
    }
    std::pair<int, int> screen = kDefaultScreenSize;
    if (options.screen) {
        screen = *options.screen;
    } else if (const std::unique_ptr<ScreenMetrics> x11 = X11SessionScreen()) {
        screen = {x11->ScreenWidth(), x11->ScreenHeight()};
    } else if (HaveDisplay() && (EnsureGuiApplication(true), OnRealScreen())) {
        QtScreenMetrics metrics;
        screen = {metrics.ScreenWidth(), metrics.ScreenHeight()};
    }
    if (AnyNeedsGui(choices))
        EnsureGuiApplication(false);
    const TWallPaperSize size =
        RenderWallPaper(choices[0].PicturePath, correction, screen.first, screen.second, output);
    std::printf("%dx%d\n", size.Width, size.Height);
    return 0;
}

// apply PICTURE... [--position TEXT] [--correction TEXT] [--monitors LAYOUT]: renders into the settings'
// output bitmap, records TileWallpaper and sets the desktop's wallpaper; several pictures go one per
// monitor.
int CmdApply(const std::vector<std::string> &args)
{
    const Options options = ParseOptions("apply", args, false, true, true);
    if (options.positional.empty())
        throw UsageError("apply: PICTURE を指定してください");
    const TileMode tileValue = options.position ? DecodeTileValue(ArgText(*options.position)) : TileMode::Centre;
    const std::vector<WallPaperChoice> choices = ChoicesOf(options.positional, tileValue, CorrectionOf(options));
    const bool needsGui = AnyNeedsGui(choices);
    std::unique_ptr<ScreenMetrics> screen = options.monitors || needsGui ? nullptr : X11SessionScreen();
    if (screen) {
        EnsureCoreApplication(); // for the desktops' commands (QProcess), without a GUI platform
    } else {
        if (HaveDisplay() || needsGui)
            EnsureGuiApplication(true);
        // Without a display the off-screen platform's screen is no real one: the default size stands in.
        if (options.monitors)
            screen = std::make_unique<FixedMonitorMetrics>(*options.monitors);
        else if (OnRealScreen())
            screen = std::make_unique<QtScreenMetrics>();
        else
            screen = std::make_unique<FixedScreenMetrics>(kDefaultScreenSize.first, kDefaultScreenSize.second);
    }
    StandaloneChange change(std::move(screen));
    if (options.plugins)
        change.LoadPlugins();
    WallPaperChanger &changer = change.Changer();
    if (choices.size() > 1 || options.monitors)
        changer.ApplyPerMonitor(choices, changer.Monitors());
    else
        changer.Apply(choices[0].PicturePath, choices[0].TileValue, choices[0].Correction);
    // What the desktop now shows, as it told us.
    const Desktop &desktop = change.SessionDesktop();
    const std::string readBack = desktop.LastReadBack();
    std::printf("%s: %s\n", desktop.Name(), readBack.empty() ? "-" : readBack.c_str());
    if (!changer.LastFallback.empty())
        std::fprintf(stderr, "tapistoctl: %s\n", changer.LastFallback.c_str());
    return 0;
}

// formats: the file-dialog filter text of every registered picture format.
int CmdFormats(const std::vector<std::string> &args)
{
    const Options options = ParseOptions("formats", args, false, false, false);
    if (!options.positional.empty())
        throw UsageError("formats: 引数はありません");
    std::optional<PluginSearch> plugins;
    if (options.plugins)
        plugins.emplace();
    PrintText(PictureFilterText(TGraphic::ClassInfo()));
    PrintText("\n");
    return 0;
}
