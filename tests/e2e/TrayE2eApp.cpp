// A tray icon on the real notification area, for the end-to-end test: it prints one line per event
// on standard output so the driving script can follow what a click produced.
#include "platform/Encoding.h"
#include "shell/QtTrayShell.h"
#include "shell/TrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyleHints>
#include <QWidget>

#include <cstdio>

namespace {

void Say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

QIcon RedSquare()
{
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

const char *ButtonName(TMouseButton button)
{
    switch (button) {
    case TMouseButton::mbLeft:
        return "left";
    case TMouseButton::mbRight:
        return "right";
    case TMouseButton::mbMiddle:
        return "middle";
    }
    return "?";
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool withMenu = !args.contains(QStringLiteral("--no-menu"));
    // --double-click-ms N: a roomier double-click time for clicks that travel through D-Bus.
    if (const qsizetype at = args.indexOf(QStringLiteral("--double-click-ms")); at > 0 && at + 1 < args.size())
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(args.at(at + 1).toInt());

    QtTrayShell shell;
    shell.SetErrorReport([](const QString &text) { std::printf("error %s\n", qUtf8Printable(text)); });
    QWidget form;
    QMenu menu(&form);
    menu.addAction(QStringLiteral("終了"), &app, &QApplication::quit);
    QObject::connect(&menu, &QMenu::aboutToShow, [] { Say("menu-shown"); });

    try {
        TTrayIcon tray(&form, shell);
        tray.SetIcon(RedSquare());
        tray.SetTipHelp(Utf8ToCp932("壁紙変更中"));
        if (withMenu)
            tray.SetRBPopupMenu(&menu);
        tray.OnClick = [](QObject *) { Say("click"); };
        tray.OnDblClick = [](QObject *) { Say("dblclick"); };
        tray.OnMouseDown = [](QObject *, TMouseButton button, TShiftState, int, int) {
            std::printf("down %s\n", ButtonName(button));
            std::fflush(stdout);
        };
        tray.SetVisible(true);
        Say(tray.Registered() ? "registered" : "not-registered");
        return app.exec();
    } catch (const std::exception &error) {
        std::printf("error %s\n", error.what());
        return 1;
    }
}
