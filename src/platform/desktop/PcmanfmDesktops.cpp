#include "platform/desktop/AlternatingAlias.h"
#include "platform/desktop/DesktopBackends.h"

#include "platform/Files.h"
#include "platform/Paths.h"

#include <dirent.h>

#include <sstream>

// LXQt (pcmanfm-qt) and LXDE (pcmanfm) draw the desktop through their file managers.

namespace {

const char *WallpaperMode(int32_t tileValue)
{
    return tileValue == 1 ? "tile" : tileValue == 2 ? "stretch" : "center";
}

class LxqtDesktop : public Desktop {
public:
    LxqtDesktop(CommandRunner &runner, std::string configHome) : runner_(runner), configHome_(std::move(configHome)) {}
    const char *Name() const override { return "lxqt"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        // pcmanfm-qt caches pictures by path.
        AlternatingAlias alias(cp932Path);
        DisablePcmanfmQtSlideshow(configHome_);
        RunChecked(runner_,
                   {"pcmanfm-qt", "--set-wallpaper", alias.NativePath(), "--wallpaper-mode", WallpaperMode(tileValue)});
        alias.Commit();
    }

private:
    CommandRunner &runner_;
    std::string configHome_;
};

class LxdeDesktop : public Desktop {
public:
    explicit LxdeDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "lxde"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        AlternatingAlias alias(cp932Path);
        RunChecked(runner_,
                   {"pcmanfm", "--set-wallpaper", alias.NativePath(), "--wallpaper-mode", WallpaperMode(tileValue)});
        alias.Commit();
    }

private:
    CommandRunner &runner_;
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

std::unique_ptr<Desktop> CreateLxqtDesktop(CommandRunner &runner, const std::string &configHome)
{
    return std::make_unique<LxqtDesktop>(runner, configHome);
}
std::unique_ptr<Desktop> CreateLxdeDesktop(CommandRunner &runner)
{
    return std::make_unique<LxdeDesktop>(runner);
}
