#include "platform/desktop/AlternatingAlias.h"
#include "platform/desktop/DesktopBackends.h"

#include <cstdio>

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

class KdeDesktop : public Desktop {
public:
    explicit KdeDesktop(CommandRunner &runner) : runner_(runner) {}
    const char *Name() const override { return "kde"; }
    void setWallpaper(const std::string &cp932Path, int32_t tileValue) override
    {
        // Plasma does not reload a changed file at the same path.
        AlternatingAlias alias(cp932Path);
        const int fillMode = tileValue == 1 ? 3 : tileValue == 2 ? 0 : 6;
        RunChecked(runner_, {"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell", "/PlasmaShell",
                             "org.kde.PlasmaShell.evaluateScript",
                             "string:" + PlasmaScript(FileUri(alias.NativePath()), fillMode)});
        alias.Commit();
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

std::unique_ptr<Desktop> CreateKdeDesktop(CommandRunner &runner)
{
    return std::make_unique<KdeDesktop>(runner);
}
