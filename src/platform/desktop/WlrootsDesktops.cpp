#include "platform/desktop/AlternatingAlias.h"
#include "platform/desktop/DesktopBackends.h"

#include "platform/Paths.h"

// sway (swaybg) and Hyprland (hyprpaper).

namespace {

// sway parses the joined command line itself: the path is quoted for its parser.
std::string SwayQuoted(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

class SwayDesktop : public Desktop {
public:
    explicit SwayDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "sway"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        // swaybg is restarted and reads the file afresh, so the path itself can stay.
        const char *mode = tileValue == 1 ? "tile" : tileValue == 2 ? "stretch" : "center";
        RunChecked(runner_, {"swaymsg", "output", "*", "bg", SwayQuoted(ToNativePath(cp932Path)), mode});
    }

private:
    CommandRunner &runner_;
};

class HyprlandDesktop : public Desktop {
public:
    explicit HyprlandDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "hyprland"; }
    void setWallpaper(const std::string &cp932Path, int32_t) override
    {
        // hyprpaper keeps preloaded pictures by path; it has no centre or tile mode in older versions.
        AlternatingAlias alias(cp932Path);
        RunChecked(runner_, {"hyprctl", "hyprpaper", "preload", alias.NativePath()});
        RunChecked(runner_, {"hyprctl", "hyprpaper", "wallpaper", "," + alias.NativePath()});
        // The previous picture is no longer shown; free hyprpaper's copy (it may never have been loaded).
        runner_.Run({"hyprctl", "hyprpaper", "unload", alias.PreviousNativePath()});
        alias.Commit();
    }

private:
    CommandRunner &runner_;
};

} // namespace

std::unique_ptr<Desktop> CreateSwayDesktop(CommandRunner &runner)
{
    return std::make_unique<SwayDesktop>(runner);
}
std::unique_ptr<Desktop> CreateHyprlandDesktop(CommandRunner &runner)
{
    return std::make_unique<HyprlandDesktop>(runner);
}
