#include "listedit/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The window manager's frame is known only once the window is shown; until then room is kept for
// a common title bar and border.
constexpr QMargins kEstimatedFrame(4, 28, 4, 4);

// Where a span of `length` starting at `start` lies inside [low, low + room): moved in, or at `low`
// when it is longer than the room.
int PlaceInside(int start, int length, int low, int room)
{
    if (length >= room)
        return low;
    return std::clamp(start, low, low + room - length);
}

} // namespace

QRect FitIntoArea(const QRect &client, const QMargins &frame, const QRect &available, const QSize &minimum)
{
    const QSize frameExtra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect outer = client.marginsAdded(frame);
    const int width = std::max(std::min(outer.width(), available.width()), minimum.width() + frameExtra.width());
    const int height = std::max(std::min(outer.height(), available.height()), minimum.height() + frameExtra.height());
    const QRect placed(PlaceInside(outer.x(), width, available.x(), available.width()),
                       PlaceInside(outer.y(), height, available.y(), available.height()), width, height);
    return placed.marginsRemoved(frame);
}

QScreen *ScreenOf(const QWidget *window)
{
    if (QScreen *screen = QGuiApplication::screenAt(window->geometry().topLeft()))
        return screen;
    if (const QWidget *parent = window->parentWidget())
        return parent->screen();
    return QGuiApplication::primaryScreen();
}

void FitToScreen(QWidget *window)
{
    const QScreen *screen = ScreenOf(window);
    if (screen == nullptr)
        return;
    const QWindow *handle = window->windowHandle();
    const QMargins frame =
        handle != nullptr && !handle->frameMargins().isNull() ? handle->frameMargins() : kEstimatedFrame;
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    // A window never resized takes its size hint when it is first shown.
    QRect wanted = window->geometry();
    if (!window->testAttribute(Qt::WA_Resized))
        wanted.setSize(window->sizeHint().expandedTo(minimum));
    const QRect fitted = FitIntoArea(wanted, frame, screen->availableGeometry(), minimum);
    if (fitted != wanted)
        window->setGeometry(fitted);
}
