#include "platform/Exceptions.h"
#include "platform/desktop/DesktopDetect.h"

#include <gtest/gtest.h>

namespace {
DesktopEnvironment Current(const std::string &xdgCurrentDesktop, const std::string &display = ":0")
{
    DesktopEnvironment env;
    env.XdgCurrentDesktop = xdgCurrentDesktop;
    env.Display = display;
    return env;
}
} // namespace

TEST(DesktopDetect, XdgCurrentDesktopListsAreReadPartByPartWithoutCase)
{
    const std::pair<const char *, DesktopKind> cases[] = {
        {"ubuntu:GNOME", DesktopKind::Gnome}, {"GNOME", DesktopKind::Gnome},    {"Budgie:GNOME", DesktopKind::Gnome},
        {"Unity", DesktopKind::Gnome},        {"Pantheon", DesktopKind::Gnome}, {"KDE", DesktopKind::Kde},
        {"XFCE", DesktopKind::Xfce},          {"MATE", DesktopKind::Mate},      {"X-Cinnamon", DesktopKind::Cinnamon},
        {"LXQt", DesktopKind::Lxqt},          {"LXDE", DesktopKind::Lxde},      {"sway", DesktopKind::Sway},
        {"Hyprland", DesktopKind::Hyprland},  {"foo:kde", DesktopKind::Kde},
    };
    for (const auto &[value, kind] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(DetectDesktop(Current(value)), kind);
    }
}

TEST(DesktopDetect, OtherVariablesWhenTheListSaysNothing)
{
    DesktopEnvironment env = Current("");
    env.DesktopSession = "plasma";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::Kde);
    env = Current("");
    env.XdgSessionDesktop = "xfce";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::Xfce);
    env = Current("");
    env.KdeFullSession = "true";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::Kde);
    env = Current("", "");
    env.WaylandDisplay = "wayland-1";
    env.SwaySock = "/run/user/1000/sway-ipc.sock";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::Sway);
    env.SwaySock.clear();
    env.HyprlandInstanceSignature = "abc";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::Hyprland);
}

TEST(DesktopDetect, BareX11IsTheRootWindowButUnknownWaylandIsNothing)
{
    EXPECT_EQ(DetectDesktop(Current("")), DesktopKind::X11);
    EXPECT_EQ(DetectDesktop(Current("Openbox")), DesktopKind::X11);
    DesktopEnvironment wayland = Current("weston");
    wayland.WaylandDisplay = "wayland-0";
    EXPECT_EQ(DetectDesktop(wayland), DesktopKind::None);
    EXPECT_EQ(DetectDesktop(DesktopEnvironment{}), DesktopKind::None);
}

TEST(DesktopDetect, TapistoDesktopForcesABackendByName)
{
    DesktopEnvironment env = Current("KDE");
    env.TapistoDesktop = "File";
    EXPECT_EQ(DetectDesktop(env), DesktopKind::File);
    for (const char *name : {"gnome", "kde", "xfce", "mate", "cinnamon", "lxqt", "lxde", "sway", "hyprland", "x11"}) {
        env.TapistoDesktop = name;
        EXPECT_STREQ(DesktopKindName(DetectDesktop(env)), name);
    }
    env.TapistoDesktop = "windows";
    EXPECT_THROW(DetectDesktop(env), Exception);
}
