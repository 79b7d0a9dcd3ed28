#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/FreshAlias.h"
#include "platform/desktop/backends/ReadBack.h"

#include <cstdio>
#include <memory>
#include <sstream>

namespace {

// A JavaScript string literal of ASCII text (a percent-encoded URI): quotes, backslashes and anything
// outside printable ASCII become \u escapes, so no text can end the literal.
std::string ScriptString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '\'') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
    }
    return out + "\"";
}

// dbus-send prints the script's printed text as `   string "TEXT"` after the reply's header.
std::string ReplyString(const std::string &reply)
{
    const size_t start = reply.find("string \"");
    if (start == std::string::npos)
        return {};
    const size_t end = reply.rfind('"');
    return end > start + 8 ? reply.substr(start + 8, end - start - 8) : std::string();
}

const std::vector<std::string> kEvaluate{"dbus-send",     "--session",
                                         "--print-reply", "--dest=org.kde.plasmashell",
                                         "/PlasmaShell",  "org.kde.PlasmaShell.evaluateScript"};

class KdeDesktop : public ReadBackDesktop {
public:
    explicit KdeDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "kde"; }
    void setWallpaper(const std::string &cp932Path, TileMode tile) override
    {
        // Plasma does not reload a changed file at the same path.
        FreshAlias alias(cp932Path);
        const int fillMode = tile == TileMode::Tile ? 3 : tile == TileMode::Stretch ? 0 : 6;
        const std::string uri = FileUri(alias.NativePath());
        std::vector<std::string> set = kEvaluate;
        set.push_back("string:" + PlasmaScript(uri, fillMode));
        RunChecked(runner_, set);
        std::vector<std::string> get = kEvaluate;
        get.push_back("string:" + PlasmaReadBackScript());
        // One line per desktop: plugin, picture and fill mode, then whether widgets are locked.
        const std::string expected = "org.kde.image " + uri + " " + std::to_string(fillMode);
        const std::string shown = ReplyString(RunChecked(runner_, get).Output);
        lastReadBack_ = shown;
        std::vector<std::string> lines;
        std::istringstream in(shown);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        const bool locked = !lines.empty() && lines.back() == "locked";
        if (locked)
            lines.pop_back();
        if (lines.empty())
            ThrowNotShown("KDE Plasma", shown, "plasmashell が動いているかを確かめてください");
        for (const std::string &line : lines)
            if (line != expected)
                ThrowNotShown("KDE Plasma", line,
                              locked ? "ウィジェットがロックされています。ロックを解除してください"
                                     : "Plasma の壁紙の種類（スライドショーなど）が変えられなかったようです");
        alias.Commit();
    }

    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Pieces; }
    void setMonitorWallpapers(const std::string &, const MonitorLayout &layout,
                              const std::vector<std::string> &cp932PiecePaths) override
    {
        if (cp932PiecePaths.size() != layout.size())
            throw Exception("壁紙を設定できません: KDE Plasma: モニターごとの画像がそろっていません");
        std::vector<std::unique_ptr<FreshAlias>> aliases;
        std::vector<std::string> uris;
        for (const std::string &piece : cp932PiecePaths) {
            aliases.push_back(std::make_unique<FreshAlias>(piece));
            uris.push_back(FileUri(aliases.back()->NativePath()));
        }
        std::vector<std::string> set = kEvaluate;
        set.push_back("string:" + PlasmaMonitorScript(layout, uris));
        // The script names the screens whose geometry is none of our monitors'.
        const std::string unmatched = ReplyString(RunChecked(runner_, set).Output);
        if (!unmatched.empty())
            throw Exception(FormatMessage("壁紙を設定できません: KDE Plasma の画面 %s に合うモニターがありません "
                                          "（画面の倍率が 100%% でないと大きさが合いません）",
                                          {unmatched}));
        std::vector<std::string> get = kEvaluate;
        get.push_back("string:" + PlasmaMonitorReadBackScript());
        const std::string shown = ReplyString(RunChecked(runner_, get).Output);
        lastReadBack_ = shown;
        std::istringstream in(shown);
        size_t lines = 0;
        for (std::string line; std::getline(in, line); ++lines) {
            if (line == "locked")
                ThrowNotShown("KDE Plasma", shown, "ウィジェットがロックされています。ロックを解除してください");
            bool matches = false;
            for (size_t i = 0; i < layout.size() && !matches; ++i)
                matches = line == PlasmaGeometryText(layout[i]) + " org.kde.image " + uris[i] + " 0";
            if (!matches)
                ThrowNotShown("KDE Plasma", line,
                              "Plasma の壁紙の種類（スライドショーなど）が変えられなかったようです");
        }
        if (lines == 0)
            ThrowNotShown("KDE Plasma", shown, "plasmashell が動いているかを確かめてください");
        for (const auto &alias : aliases)
            alias->Commit();
    }

private:
    CommandRunner &runner_;
};

} // namespace

std::string PlasmaScript(const std::string &uri, int fillMode)
{
    // Switching every desktop to the image plugin also ends Plasma's own slideshow there.
    return "var all = desktops();\n"
           "for (var i = 0; i < all.length; i++) {\n"
           "    var d = all[i];\n"
           "    d.wallpaperPlugin = \"org.kde.image\";\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    d.writeConfig(\"Image\", " +
           ScriptString(uri) + ");\n    d.writeConfig(\"FillMode\", " + std::to_string(fillMode) + ");\n}\n";
}

std::string PlasmaReadBackScript()
{
    return "var all = desktops();\n"
           "var out = [];\n"
           "for (var i = 0; i < all.length; i++) {\n"
           "    var d = all[i];\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    out.push(d.wallpaperPlugin + \" \" + d.readConfig(\"Image\") + \" \" + d.readConfig(\"FillMode\"));\n"
           "}\n"
           "if (typeof locked !== \"undefined\" && locked) out.push(\"locked\");\n"
           "print(out.join(\"\\n\"));\n";
}

std::string PlasmaGeometryText(const Monitor &monitor)
{
    return std::to_string(monitor.X) + "," + std::to_string(monitor.Y) + "," + std::to_string(monitor.Width) + "x" +
           std::to_string(monitor.Height);
}

std::string PlasmaMonitorScript(const MonitorLayout &layout, const std::vector<std::string> &uris)
{
    // Screens are matched by geometry: Plasma's screen numbers are its own and need not follow ours.
    std::string pieces = "var pieces = {\n";
    for (size_t i = 0; i < layout.size() && i < uris.size(); ++i)
        pieces += "    " + ScriptString(PlasmaGeometryText(layout[i])) + ": " + ScriptString(uris[i]) + ",\n";
    return pieces + "};\n"
                    "var all = desktops();\n"
                    "var unmatched = [];\n"
                    "for (var i = 0; i < all.length; i++) {\n"
                    "    var d = all[i];\n"
                    "    if (d.screen < 0) continue;\n"
                    "    var g = screenGeometry(d.screen);\n"
                    "    var key = g.x + \",\" + g.y + \",\" + g.width + \"x\" + g.height;\n"
                    "    if (!pieces.hasOwnProperty(key)) { unmatched.push(key); continue; }\n"
                    "    d.wallpaperPlugin = \"org.kde.image\";\n"
                    "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                    "    d.writeConfig(\"Image\", pieces[key]);\n"
                    "    d.writeConfig(\"FillMode\", 0);\n"
                    "}\n"
                    "print(unmatched.join(\" \"));\n";
}

std::string PlasmaMonitorReadBackScript()
{
    return "var all = desktops();\n"
           "var out = [];\n"
           "for (var i = 0; i < all.length; i++) {\n"
           "    var d = all[i];\n"
           "    if (d.screen < 0) continue;\n"
           "    var g = screenGeometry(d.screen);\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    out.push(g.x + \",\" + g.y + \",\" + g.width + \"x\" + g.height + \" \" + d.wallpaperPlugin + \" \" +\n"
           "             d.readConfig(\"Image\") + \" \" + d.readConfig(\"FillMode\"));\n"
           "}\n"
           "if (typeof locked !== \"undefined\" && locked) out.push(\"locked\");\n"
           "print(out.join(\"\\n\"));\n";
}

std::unique_ptr<Desktop> CreateKdeDesktop(CommandRunner &runner)
{
    return std::make_unique<KdeDesktop>(runner);
}
