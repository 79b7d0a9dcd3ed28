// The floor of what Qt itself costs a tray program: a QApplication with one tray icon and its menu,
// nothing else. bench/idle/idle.sh measures it exactly as it measures the tray program
// (CLASS=qtfloor bench/idle/idle.sh build/bench/qtfloor/qtfloor), so that the two resident sizes compare.
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qtfloor"));
    // The tray program keeps running with no window open; so does the floor.
    QApplication::setQuitOnLastWindowClosed(false);

    // An icon drawn in place: loading one from a file or a resource would add to the floor.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setBrush(Qt::darkCyan);
        painter.drawEllipse(2, 2, 28, 28);
    }

    // As many items as the tray program's menu, in Japanese as its are.
    QMenu menu;
    for (const char *text : {"設定", "再開", "一時停止", "戻る", "次へ"})
        menu.addAction(QString::fromUtf8(text));
    menu.addSeparator();
    QObject::connect(menu.addAction(QString::fromUtf8("終了")), &QAction::triggered, &app, &QApplication::quit);

    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setToolTip(QStringLiteral("qtfloor"));
    icon.setContextMenu(&menu);
    icon.show();
    return QApplication::exec();
}
