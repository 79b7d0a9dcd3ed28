#include "app/NoTrayNotice.h"

#include "platform/Exceptions.h"

DesktopKind SessionDesktop(DesktopEnvironment env)
{
    env.TapistoDesktop.clear();
    try {
        return DetectDesktop(env);
    } catch (const Exception &) {
        return DesktopKind::None;
    }
}

namespace {

QString NotificationAreaHint(DesktopKind desktop)
{
    switch (desktop) {
    case DesktopKind::Gnome:
        return QStringLiteral("GNOME には標準では通知領域がありません。拡張機能「AppIndicator and "
                              "KStatusNotifierItem Support」（パッケージ gnome-shell-extension-appindicator）を"
                              "インストールして有効にし、ログインし直してください。");
    case DesktopKind::Sway:
        return QStringLiteral("sway では、トレイのあるバーを使ってください。swaybar なら設定の bar ブロックに "
                              "tray_output を指定するか、waybar の設定に \"tray\" モジュールを加えてください。");
    case DesktopKind::Hyprland:
        return QStringLiteral(
            "Hyprland では、トレイのあるバー（waybar の \"tray\" モジュールなど）を起動してください。");
    case DesktopKind::Kde:
        return QStringLiteral("KDE Plasma では、パネルに「システムトレイ」ウィジェットを追加してください。");
    case DesktopKind::Xfce:
        return QStringLiteral("Xfce では、パネルに「ステータストレイ」（通知領域）プラグインを追加してください。");
    case DesktopKind::Mate:
        return QStringLiteral("MATE では、パネルに「通知スペース」アプレットを追加してください。");
    case DesktopKind::Cinnamon:
        return QStringLiteral("Cinnamon では、パネルに「システムトレイ」アプレットを追加してください。");
    case DesktopKind::Lxqt:
        return QStringLiteral("LXQt では、パネルに「ステータス通知」ウィジェットを追加してください。");
    case DesktopKind::Lxde:
        return QStringLiteral("LXDE では、パネルに「システムトレイ」を追加してください。");
    case DesktopKind::None:
    case DesktopKind::File:
    case DesktopKind::X11:
        break;
    }
    return QStringLiteral("お使いのデスクトップのパネルに通知領域（システムトレイ）を追加するか、"
                          "trayer や stalonetray などのトレイを起動してください。");
}

} // namespace

QString NoTrayAreaMessage(DesktopKind desktop)
{
    return QStringLiteral("このデスクトップには通知領域（タスクトレイ）がないため、アイコンを表示できません。\n"
                          "壁紙の変更はこのまま続けます。ウィンドウは最小化しておきますので、"
                          "設定の変更や終了はこのウィンドウから行ってください。\n\n") +
           NotificationAreaHint(desktop);
}
