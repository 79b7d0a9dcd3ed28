#include "platform/desktop/DesktopFactory.h"

#include "platform/Exceptions.h"
#include "platform/desktop/backends/DesktopBackends.h"

namespace {

std::string ConfigHome(const DesktopEnvironment &env)
{
    if (!env.XdgConfigHome.empty())
        return env.XdgConfigHome;
    return env.Home.empty() ? std::string() : env.Home + "/.config";
}

} // namespace

std::unique_ptr<Desktop> CreateDesktop(DesktopKind kind, CommandRunner &runner, const DesktopEnvironment &env)
{
    switch (kind) {
    case DesktopKind::File:
        return CreateFileDesktop();
    case DesktopKind::Gnome:
        return CreateGnomeDesktop(runner);
    case DesktopKind::Kde:
        return CreateKdeDesktop(runner);
    case DesktopKind::Xfce:
        return CreateXfceDesktop(runner, env.ProcRoot);
    case DesktopKind::Mate:
        return CreateMateDesktop(runner);
    case DesktopKind::Cinnamon:
        return CreateCinnamonDesktop(runner);
    case DesktopKind::Lxqt:
        return CreateLxqtDesktop(runner, ConfigHome(env), env.ProcRoot);
    case DesktopKind::Lxde:
        return CreateLxdeDesktop(runner, ConfigHome(env), env.ProcRoot);
    case DesktopKind::Sway:
        return CreateSwayDesktop(runner, env.ProcRoot);
    case DesktopKind::Hyprland:
        return CreateHyprlandDesktop(runner);
    case DesktopKind::X11:
        return CreateX11Desktop(env.Display);
    case DesktopKind::None:
        break;
    }
    throw Exception("壁紙を設定できません: デスクトップを判別できません (TAPISTO_DESKTOP で指定してください)");
}
