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
