#include "platform/desktop/DesktopBackends.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <set>
#include <sstream>

namespace {

// xfdesktop keeps one property set per monitor and workspace, named differently between versions;
// every "…/last-image" found by listing is set.
class XfceDesktop : public Desktop {
public:
    explicit XfceDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "xfce"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        const std::string path = ToNativePath(cp932Path);
        const CommandResult list =
            RunChecked(runner_, {"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop", "-l"});
        std::vector<std::string> images;
        std::set<std::string> cycleProperties;
        std::istringstream lines(list.Output);
        for (std::string line; std::getline(lines, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.ends_with("/last-image"))
                images.push_back(line);
            else if (line.ends_with("/backdrop-cycle-enable"))
                cycleProperties.insert(line);
        }
        if (images.empty())
            throw Exception("壁紙を設定できません: xfconf-query: xfce4-desktop に /backdrop/…/last-image がありません");
        const std::string style = tileValue == 1 ? "2" : tileValue == 2 ? "3" : "1";
        for (const std::string &image : images) {
            const std::string prefix = image.substr(0, image.size() - std::string("/last-image").size());
            cycleProperties.insert(prefix + "/backdrop-cycle-enable");
            Query({"-p", prefix + "/image-style", "-n", "-t", "int", "-s", style});
            // An unchanged path is not reloaded; clearing it first forces xfdesktop to read the file.
            Query({"-p", image, "-n", "-t", "string", "-s", ""});
            Query({"-p", image, "-n", "-t", "string", "-s", path});
        }
        // xfdesktop's own cycler would replace the picture.
        for (const std::string &cycle : cycleProperties)
            Query({"-p", cycle, "-n", "-t", "bool", "-s", "false"});
    }

private:
    void Query(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"xfconf-query", "-c", "xfce4-desktop"});
        RunChecked(runner_, args);
    }

    CommandRunner &runner_;
};

} // namespace

std::unique_ptr<Desktop> CreateXfceDesktop(CommandRunner &runner)
{
    return std::make_unique<XfceDesktop>(runner);
}
