#pragma once

#include <optional>
#include <string>

enum class DesktopKind { None, File, Gnome, Kde, Xfce, Mate, Cinnamon, Lxqt, Lxde, Sway, Hyprland, X11 };

// The session's variables that tell the desktops apart.
struct DesktopEnvironment {
    std::string TapistoDesktop;    // TAPISTO_DESKTOP: forces a backend by name
    std::string XdgCurrentDesktop; // colon-separated list
    std::string XdgSessionDesktop;
    std::string DesktopSession;
    std::string KdeFullSession;
    std::string SwaySock;
    std::string HyprlandInstanceSignature;
    std::string WaylandDisplay;
    std::string Display;
    std::string Home;
    std::string XdgConfigHome;
    std::string ProcRoot = "/proc"; // where the user's processes are listed (tests give their own)

    static DesktopEnvironment FromProcess();
};

// The backend for the session. Pure: depends on the variables only. None when nothing is recognised.
// Raises Exception when TAPISTO_DESKTOP names no backend.
DesktopKind DetectDesktop(const DesktopEnvironment &env);
// "gnome", "kde", ... and "file"; nothing for an unknown name (compared without case).
std::optional<DesktopKind> DesktopKindFromName(const std::string &name);
const char *DesktopKindName(DesktopKind kind);
