#include "app/Timer.h"

#include <climits>

TTimer::TTimer(QObject *parent) : QObject(parent)
{
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer)
            RunGuarded(ErrorReport, OnTimer);
    });
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Update();
}

void TTimer::SetInterval(int64_t milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    Update();
}

void TTimer::Update()
{
    timer_.stop();
    if (enabled_ && interval_ > 0)
        timer_.start(static_cast<int>(std::min<int64_t>(interval_, INT_MAX)));
}
