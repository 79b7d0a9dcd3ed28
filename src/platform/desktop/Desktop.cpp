#include "platform/desktop/Desktop.h"

#include <utility>

std::string DesktopDisplayName(const std::string &backendName)
{
    static const std::vector<std::pair<std::string, std::string>> kNames{
        {"gnome", "GNOME"}, {"kde", "KDE Plasma"}, {"xfce", "Xfce"}, {"mate", "MATE"},         {"cinnamon", "Cinnamon"},
        {"lxqt", "LXQt"},   {"lxde", "LXDE"},      {"sway", "sway"}, {"hyprland", "Hyprland"}, {"x11", "X11"}};
    for (const auto &[key, name] : kNames)
        if (key == backendName)
            return name;
    return backendName;
}

void Desktop::setMonitorWallpapers(const std::string &, const MonitorLayout &, const std::vector<std::string> &)
{
    throw EPerMonitorUnsupported(FormatMessage(
        "このデスクトップ (%s) ではモニターごとに別の壁紙を設定できません。すべてのモニターに同じ壁紙を表示します。",
        {DesktopDisplayName(Name())}));
}
