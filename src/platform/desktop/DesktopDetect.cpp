#include "platform/desktop/DesktopDetect.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::array<std::pair<const char *, DesktopKind>, 11> kNames{{
    {"file", DesktopKind::File},
    {"gnome", DesktopKind::Gnome},
    {"kde", DesktopKind::Kde},
    {"xfce", DesktopKind::Xfce},
    {"mate", DesktopKind::Mate},
    {"cinnamon", DesktopKind::Cinnamon},
    {"lxqt", DesktopKind::Lxqt},
    {"lxde", DesktopKind::Lxde},
    {"sway", DesktopKind::Sway},
    {"hyprland", DesktopKind::Hyprland},
    {"x11", DesktopKind::X11},
}};

// The environment's names are UTF-8, not CP932: every byte outside A-Z stays as it is.
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
    return text;
}

// What one desktop name of XDG_CURRENT_DESKTOP, XDG_SESSION_DESKTOP or DESKTOP_SESSION means.
DesktopKind FromSessionName(const std::string &raw)
{
    const std::string name = Lower(raw);
    if (name == "gnome" || name == "unity" || name == "budgie" || name == "budgie-desktop" || name == "pantheon" ||
        name == "ubuntu" || name == "gnome-classic" || name == "gnome-flashback" || name == "gnome-xorg" ||
        name == "gnome-wayland" || name == "ubuntu-wayland")
        return DesktopKind::Gnome;
    if (name == "kde" || name == "plasma" || name == "plasmawayland" || name == "plasmax11")
        return DesktopKind::Kde;
    if (name == "xfce" || name == "xfce4" || name == "xubuntu")
        return DesktopKind::Xfce;
    if (name == "mate")
        return DesktopKind::Mate;
    if (name == "x-cinnamon" || name == "cinnamon" || name == "cinnamon2d")
        return DesktopKind::Cinnamon;
    if (name == "lxqt")
        return DesktopKind::Lxqt;
    if (name == "lxde" || name == "lubuntu")
        return DesktopKind::Lxde;
    if (name == "sway")
        return DesktopKind::Sway;
    if (name == "hyprland")
        return DesktopKind::Hyprland;
    return DesktopKind::None;
}

DesktopKind FromList(const std::string &list)
{
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const DesktopKind kind = FromSessionName(list.substr(start, end - start));
        if (kind != DesktopKind::None)
            return kind;
        start = end + 1;
    }
    return DesktopKind::None;
}

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

DesktopEnvironment DesktopEnvironment::FromProcess()
{
    DesktopEnvironment env;
    env.TapistoDesktop = Env("TAPISTO_DESKTOP");
    env.XdgCurrentDesktop = Env("XDG_CURRENT_DESKTOP");
    env.XdgSessionDesktop = Env("XDG_SESSION_DESKTOP");
    env.DesktopSession = Env("DESKTOP_SESSION");
    env.KdeFullSession = Env("KDE_FULL_SESSION");
    env.SwaySock = Env("SWAYSOCK");
    env.HyprlandInstanceSignature = Env("HYPRLAND_INSTANCE_SIGNATURE");
    env.WaylandDisplay = Env("WAYLAND_DISPLAY");
    env.Display = Env("DISPLAY");
    env.Home = Env("HOME");
    env.XdgConfigHome = Env("XDG_CONFIG_HOME");
    return env;
}

std::optional<DesktopKind> DesktopKindFromName(const std::string &name)
{
    const std::string lower = Lower(name);
    for (const auto &[text, kind] : kNames)
        if (lower == text)
            return kind;
    return std::nullopt;
}

const char *DesktopKindName(DesktopKind kind)
{
    for (const auto &[text, k] : kNames)
        if (k == kind)
            return text;
    return "none";
}

DesktopKind DetectDesktop(const DesktopEnvironment &env)
{
    if (!env.TapistoDesktop.empty()) {
        if (auto kind = DesktopKindFromName(env.TapistoDesktop))
            return *kind;
        throw Exception(FormatMessage("TAPISTO_DESKTOP=%s は知らないデスクトップです", {env.TapistoDesktop}));
    }
    for (const std::string *list : {&env.XdgCurrentDesktop, &env.XdgSessionDesktop, &env.DesktopSession})
        if (DesktopKind kind = FromList(*list); kind != DesktopKind::None)
            return kind;
    if (Lower(env.KdeFullSession) == "true")
        return DesktopKind::Kde;
    if (!env.SwaySock.empty())
        return DesktopKind::Sway;
    if (!env.HyprlandInstanceSignature.empty())
        return DesktopKind::Hyprland;
    // A bare window manager on X11; under an unknown Wayland compositor the X root is not what shows.
    if (!env.Display.empty() && env.WaylandDisplay.empty())
        return DesktopKind::X11;
    return DesktopKind::None;
}
