// render, apply and formats: one wallpaper rendered and applied as the program does it.
#include "CliSupport.h"
#include "PluginSearch.h"
#include "ini/IniRegistry.h"
#include "listedit/WallPaperList.h"
#include "picture/Graphics.h"
#include "platform/Paths.h"
#include "platform/desktop/DesktopBackends.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/Render.h"
#include "schedule/Settings.h"

#include <QGuiApplication>

#include <cstdlib>
#include <optional>
#include <vector>

namespace {

bool HaveDisplay()
{
    const char *x = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Created only for work that needs it (the screen's size, metafiles): its start-up costs time.
// `forScreen`: connect to the session's display; otherwise draw off screen.
void EnsureGuiApplication(bool forScreen)
{
    if (QCoreApplication::instance() != nullptr)
        return;
    if (!forScreen || !HaveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tapistoctl";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> correction;
    std::optional<std::string> position;
    std::optional<std::pair<int, int>> screen;
    bool plugins = false; // search plug-ins as the main window does with its plug-in option on
};

std::pair<int, int> ParseScreen(const std::string &text)
{
    const size_t x = text.find('x');
    char *end = nullptr;
    if (x != std::string::npos) {
        const long w = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() + x && w > 0 && w <= 100000) {
            const long h = std::strtol(text.c_str() + x + 1, &end, 10);
            if (*end == '\0' && end != text.c_str() + x + 1 && h > 0 && h <= 100000)
                return {int(w), int(h)};
        }
    }
    throw UsageError("--screen: WxH の形で指定してください (例 1920x1080)");
}

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

} // namespace

// render PICTURE OUT.bmp [--correction TEXT] [--screen WxH]: the bitmap as ApplyWallPaper writes it.
int CmdRender(const std::vector<std::string> &args)
{
    const Options options = ParseOptions("render", args, true, false, true);
    if (options.positional.size() != 2)
        throw UsageError("render: PICTURE OUT.bmp を指定してください");
    const std::string picture = ArgPath(options.positional[0]);
    const std::string output = ArgPath(options.positional[1]);
    const int32_t correction = CorrectionOf(options);
    std::optional<PluginSearch> plugins;
    if (options.plugins)
        plugins.emplace();
    std::pair<int, int> screen{1920, 1080};
    if (options.screen) {
        screen = *options.screen;
    } else if (HaveDisplay()) {
        EnsureGuiApplication(true);
        QtScreenMetrics metrics;
        screen = {metrics.ScreenWidth(), metrics.ScreenHeight()};
    }
    if (NeedsGui(picture))
        EnsureGuiApplication(false);
    const TWallPaperSize size = RenderWallPaper(picture, correction, screen.first, screen.second, output);
    std::printf("%dx%d\n", size.Width, size.Height);
    return 0;
}

// apply PICTURE [--position TEXT] [--correction TEXT]: renders into the settings' output bitmap, records
// TileWallpaper and sets the desktop's wallpaper.
int CmdApply(const std::vector<std::string> &args)
{
    const Options options = ParseOptions("apply", args, false, true, true);
    if (options.positional.size() != 1)
        throw UsageError("apply: PICTURE を指定してください");
    const std::string picture = ArgPath(options.positional[0]);
    const int32_t tileValue = options.position ? DecodeTileValue(ArgText(*options.position)) : 0;
    const int32_t correction = CorrectionOf(options);
    std::optional<PluginSearch> plugins;
    if (options.plugins)
        plugins.emplace();

    const DesktopEnvironment env = DesktopEnvironment::FromProcess();
    ProcessRunner runner;
    std::unique_ptr<Desktop> desktop = CreateDesktop(DetectDesktop(env), runner, env);
    std::unique_ptr<Registry> registry = CreateUserRegistry();
    if (HaveDisplay() || NeedsGui(picture))
        EnsureGuiApplication(true);
    // Without a display the off-screen platform's screen is no real one: the default size stands in.
    QtScreenMetrics displayScreen;
    FixedScreenMetrics defaultScreen(1920, 1080);
    ScreenMetrics &screen = HaveDisplay() ? static_cast<ScreenMetrics &>(displayScreen) : defaultScreen;
    ApplyWallPaper(picture, tileValue, correction, Settings::ReadStartSettings().wallPaperPath, screen, *registry,
                   *desktop);
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
