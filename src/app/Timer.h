#pragma once

#include "platform/ui/ErrorReport.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

// A timer with the behaviour the schedule relies on: an interval of 0 makes no ticks, and every
// enabling (or a new interval while enabled) starts a fresh full interval.
class TTimer : public QObject {
public:
    explicit TTimer(QObject *parent = nullptr);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int64_t Interval() const { return interval_; }
    // Milliseconds; negative counts as 0, and intervals beyond the platform timer's range run at
    // its longest interval.
    void SetInterval(int64_t milliseconds);
    // Whether ticks are actually being delivered.
    bool Running() const { return timer_.isActive(); }
    // Milliseconds until the next tick, or -1 when none is coming.
    int64_t RemainingMilliseconds() const { return timer_.isActive() ? timer_.remainingTime() : -1; }

    std::function<void()> OnTimer;
    // Receives the text of an error escaping OnTimer, which runs from Qt's loop; without it the
    // text is logged.
    ErrorReportFunction ErrorReport;

private:
    void Update();

    QTimer timer_;
    bool enabled_ = false;
    int64_t interval_ = 1000;
};
