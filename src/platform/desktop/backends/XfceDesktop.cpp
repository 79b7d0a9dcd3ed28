#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/ProcessTable.h"
#include "platform/desktop/backends/ReadBack.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <set>
#include <sstream>

namespace {

// On a fresh profile xfdesktop writes its properties a few seconds after it starts: this long at most
// is waited for them (a change right after login is the first one of a tray started with the session).
constexpr int kPropertyPolls = 20;
constexpr int kPropertyPollMs = 500;

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// xfdesktop keeps one property set per monitor and workspace, named differently between versions;
// every "…/last-image" found by listing is set.
class XfceDesktop : public SpanningDesktop {
public:
    XfceDesktop(CommandRunner &runner, std::string procRoot) : runner_(runner), procRoot_(std::move(procRoot)) {}
    const char *Name() const override { return "xfce"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override
    {
        Show(cp932Path, tile == TileMode::Tile ? "2" : tile == TileMode::Stretch ? "3" : "1");
    }

private:
    // Style 6 spans one picture over all monitors; every monitor's properties name the box.
    void ShowBox(const std::string &cp932BoxPath, const MonitorLayout &) override { Show(cp932BoxPath, "6"); }
    void Show(const std::string &cp932Path, const std::string &style)
    {
        const std::string path = ToNativePath(cp932Path);
        std::vector<std::string> images;
        std::set<std::string> cycleProperties;
        List(images, cycleProperties);
        if (images.empty()) {
            if (FindUserProcesses(procRoot_, "xfdesktop").empty())
                throw Exception("壁紙を設定できません: xfdesktop が動いていません（xfdesktop を起動してください）");
            for (int i = 0; i < kPropertyPolls && images.empty(); ++i) {
                runner_.Pause(kPropertyPollMs);
                List(images, cycleProperties);
            }
        }
        if (images.empty())
            throw Exception("壁紙を設定できません: xfconf-query: xfce4-desktop に /backdrop/…/last-image がありません"
                            "（xfdesktop がまだ設定を書いていません。少し待ってからもう一度試してください）");
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
        ReadBack(images, path, style);
    }

    void List(std::vector<std::string> &images, std::set<std::string> &cycleProperties)
    {
        const CommandResult list =
            RunChecked(runner_, {"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop", "-l"});
        std::istringstream lines(list.Output);
        for (std::string line; std::getline(lines, line);) {
            line = Trimmed(line);
            if (line.ends_with("/last-image"))
                images.push_back(line);
            else if (line.ends_with("/backdrop-cycle-enable"))
                cycleProperties.insert(line);
        }
    }

    // Every monitor and workspace names our file in the style just set.
    void ReadBack(const std::vector<std::string> &images, const std::string &path, const std::string &style)
    {
        lastReadBack_.clear();
        for (const std::string &image : images) {
            const std::string prefix = image.substr(0, image.size() - std::string("/last-image").size());
            const std::string shown = Trimmed(runner_.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", image}).Output);
            const std::string shownStyle =
                Trimmed(runner_.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", prefix + "/image-style"}).Output);
            lastReadBack_ += (lastReadBack_.empty() ? "" : " ") + image + "=" + shown + " image-style=" + shownStyle;
            if (shown != path || shownStyle != style)
                ThrowNotShown("Xfce (xfdesktop)", image + " = " + shown + ", image-style = " + shownStyle,
                              "xfdesktop 自身の画像の切り替えが有効になっていないかを確かめてください");
        }
        // The settings hold our file, but only xfdesktop draws it.
        if (FindUserProcesses(procRoot_, "xfdesktop").empty())
            throw Exception("壁紙を設定できません: xfdesktop が動いていないため、設定した壁紙は表示されません"
                            "（xfdesktop を起動してください）");
    }

    void Query(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"xfconf-query", "-c", "xfce4-desktop"});
        RunChecked(runner_, args);
    }

    CommandRunner &runner_;
    std::string procRoot_;
};

} // namespace

std::unique_ptr<Desktop> CreateXfceDesktop(CommandRunner &runner, const std::string &procRoot)
{
    return std::make_unique<XfceDesktop>(runner, procRoot);
}
