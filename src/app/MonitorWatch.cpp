#include "app/MonitorWatch.h"

#include <QGuiApplication>
#include <QScreen>

MonitorWatch::MonitorWatch(std::function<void()> changed, int settleMs, QObject *parent)
    : QObject(parent), changed_(std::move(changed))
{
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, [this] { changed_(); });
    const auto restart = [this] { settle_.start(); };
    connect(qApp, &QGuiApplication::screenAdded, this, [this, restart](QScreen *screen) {
        Watch(screen);
        restart();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, restart);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, restart);
    for (QScreen *screen : QGuiApplication::screens())
        Watch(screen);
}

void MonitorWatch::Watch(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, &settle_, qOverload<>(&QTimer::start));
}
