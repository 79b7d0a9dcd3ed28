// The floor of a tray program's idle footprint: Qt's own cost for a program that shows only an icon
// in the notification area with a small menu, nothing else. idle.sh measures it as it measures the
// tray program (`bench/idle/idle.sh build/bench/tapisto-trayfloor`); the tray program's idle resident
// size is compared with this one's.
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setBrush(Qt::darkCyan);
        painter.drawEllipse(2, 2, 18, 18);
    }
    QMenu menu;
    menu.addAction(QStringLiteral("設定"));
    menu.addAction(QStringLiteral("終了"), &app, &QApplication::quit);
    menu.addSeparator();
    menu.addAction(QStringLiteral("再開"));
    menu.addAction(QStringLiteral("一時停止"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("戻る"));
    menu.addAction(QStringLiteral("次へ"));
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setContextMenu(&menu);
    tray.setToolTip(QStringLiteral("壁紙変更中"));
    tray.show();
    return QApplication::exec();
}
