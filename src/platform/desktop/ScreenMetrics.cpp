#include "platform/desktop/ScreenMetrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
// The primary screen's size in device pixels, or an empty size without one.
QSize PrimarySize()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr)
        return {};
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return {};
    return screen->size() * screen->devicePixelRatio();
}
} // namespace

int QtScreenMetrics::ScreenWidth()
{
    const QSize size = PrimarySize();
    return size.isEmpty() ? fallbackWidth_ : size.width();
}

int QtScreenMetrics::ScreenHeight()
{
    const QSize size = PrimarySize();
    return size.isEmpty() ? fallbackHeight_ : size.height();
}

MonitorLayout QtScreenMetrics::Monitors()
{
    MonitorLayout layout;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
        for (const QScreen *screen : QGuiApplication::screens()) {
            const qreal ratio = screen->devicePixelRatio();
            const QRect geometry = screen->geometry();
            const QSize size = geometry.size() * ratio;
            if (size.isEmpty())
                continue;
            const QPoint origin = geometry.topLeft() * ratio;
            layout.push_back({screen->name().toStdString(), origin.x(), origin.y(), size.width(), size.height()});
        }
    }
    if (layout.empty())
        return {Monitor{{}, 0, 0, ScreenWidth(), ScreenHeight()}};
    SortMonitors(layout);
    return layout;
}
