#include "platform/Paths.h"
#include "platform/desktop/backends/DesktopBackends.h"
#include "platform/desktop/backends/FreshAlias.h"
#include "platform/desktop/backends/ReadBack.h"

// GNOME and the desktops built on its settings (Unity, Budgie, Pantheon), MATE and Cinnamon.

namespace {

const char *PictureOptions(TileMode tile)
{
    switch (tile) {
    case TileMode::Tile:
        return "wallpaper";
    case TileMode::Stretch:
        return "stretched";
    case TileMode::Centre:
        break;
    }
    return "centered";
}

void Set(CommandRunner &runner, const char *schema, const char *key, const std::string &value)
{
    RunChecked(runner, {"gsettings", "set", schema, key, value});
}

// The key's value as gsettings prints it, decoded; "" when it cannot be read.
std::string Get(CommandRunner &runner, const char *schema, const char *key)
{
    const CommandResult result = runner.Run({"gsettings", "get", schema, key});
    if (result.ExitCode != 0)
        return {};
    return ParseGVariantString(result.Output).value_or(result.Output);
}

// gsettings falls back to a memory store when dconf is unavailable: "set" succeeds and nothing changes.
const char *const kGsettingsHint = "設定が保存されていません（dconf-service が動いているか、GSETTINGS_BACKEND が "
                                   "memory でないかを確かめてください）";

// Reads every key back; raises when one does not hold the value just set. Returns "key=value ...".
std::string CheckKeys(CommandRunner &runner, const std::string &desktop, const char *schema,
                      const std::vector<std::pair<const char *, std::string>> &expected, const char *hint)
{
    std::string report;
    for (const auto &[key, value] : expected) {
        const std::string shown = Get(runner, schema, key);
        if (!report.empty())
            report += ' ';
        report += std::string(key) + "=" + shown;
        if (shown != value)
            ThrowNotShown(desktop, std::string(key) + " = " + shown, hint);
    }
    return report;
}

// What the desktops on gsettings share: a picture-options key for the tile value and "spanned" over all
// monitors; each sets its own keys in Show.
class GsettingsDesktop : public SpanningDesktop {
public:
    explicit GsettingsDesktop(CommandRunner &runner) : runner_(runner) {}
    void setWallpaper(const std::string &cp932Path, TileMode tile) override { Show(cp932Path, PictureOptions(tile)); }

protected:
    // The box over all monitors, drawn across them as one picture.
    void ShowBox(const std::string &cp932BoxPath, const MonitorLayout &) override { Show(cp932BoxPath, "spanned"); }
    // Shows the picture under a name of its own each time: GNOME keeps pictures by file name (a name it
    // has shown before can bring back what it held then), and to MATE an unchanged value is no change.
    void Show(const std::string &cp932Path, const char *options)
    {
        FreshAlias alias(cp932Path);
        ShowFile(alias.NativePath(), options);
        alias.Commit();
    }
    // Sets the picture and its options, then reads the keys back into lastReadBack_.
    virtual void ShowFile(const std::string &nativePath, const char *options) = 0;
    // Sets picture-options and the picture's key `key` to `picture` in `schema`, and reads both back.
    void SetPicture(const char *desktop, const char *schema, const char *key, const std::string &picture,
                    const char *options, const char *hint)
    {
        Set(runner_, schema, "picture-options", GVariantString(options));
        Set(runner_, schema, key, GVariantString(picture));
        lastReadBack_ = CheckKeys(runner_, desktop, schema, {{key, picture}, {"picture-options", options}}, hint);
    }

    CommandRunner &runner_;
};

class GnomeDesktop : public GsettingsDesktop {
public:
    using GsettingsDesktop::GsettingsDesktop;
    const char *Name() const override { return "gnome"; }

private:
    void ShowFile(const std::string &nativePath, const char *options) override
    {
        const std::string uri = FileUri(nativePath);
        const char *schema = "org.gnome.desktop.background";
        Set(runner_, schema, "picture-options", GVariantString(options));
        Set(runner_, schema, "picture-uri", GVariantString(uri));
        std::vector<std::pair<const char *, std::string>> expected{{"picture-uri", uri}, {"picture-options", options}};
        // The dark-style key exists from GNOME 42 on; older versions lack it.
        const std::vector<std::string> dark{"gsettings", "set", schema, "picture-uri-dark", GVariantString(uri)};
        const CommandResult result = runner_.Run(dark);
        if (result.ExitCode == 0)
            expected.emplace_back("picture-uri-dark", uri);
        else if (result.Error.find("No such key") == std::string::npos)
            RunChecked(runner_, dark);
        lastReadBack_ = CheckKeys(runner_, "GNOME", schema, expected, kGsettingsHint);
    }
};

class MateDesktop : public GsettingsDesktop {
public:
    using GsettingsDesktop::GsettingsDesktop;
    const char *Name() const override { return "mate"; }

private:
    void ShowFile(const std::string &nativePath, const char *options) override
    {
        SetPicture("MATE", "org.mate.background", "picture-filename", nativePath, options, kGsettingsHint);
    }
};

class CinnamonDesktop : public GsettingsDesktop {
public:
    using GsettingsDesktop::GsettingsDesktop;
    const char *Name() const override { return "cinnamon"; }

private:
    void ShowFile(const std::string &nativePath, const char *options) override
    {
        // Cinnamon's own slideshow would replace the picture at its next turn.
        Set(runner_, "org.cinnamon.desktop.background.slideshow", "slideshow-enabled", "false");
        SetPicture("Cinnamon", "org.cinnamon.desktop.background", "picture-uri", FileUri(nativePath), options,
                   "Cinnamon のスライドショーが動いているか、設定が保存されていません（dconf-service "
                   "が動いているかを確かめてください）");
    }
};

} // namespace

std::string GVariantString(const std::string &text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

std::string FileUri(const std::string &nativePath)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : nativePath) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::unique_ptr<Desktop> CreateGnomeDesktop(CommandRunner &runner)
{
    return std::make_unique<GnomeDesktop>(runner);
}
std::unique_ptr<Desktop> CreateMateDesktop(CommandRunner &runner)
{
    return std::make_unique<MateDesktop>(runner);
}
std::unique_ptr<Desktop> CreateCinnamonDesktop(CommandRunner &runner)
{
    return std::make_unique<CinnamonDesktop>(runner);
}
