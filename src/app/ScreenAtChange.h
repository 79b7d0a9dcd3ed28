#pragma once

#include "platform/desktop/ScreenMetrics.h"

// The screen as the window thread saw it when a change began. The change runs on a thread of its
// own, where Qt's screens may not be asked (the window thread updates them as monitors come and
// go), so it renders for this copy.
class ScreenAtChange : public ScreenMetrics {
public:
    explicit ScreenAtChange(ScreenMetrics &live) : live_(live) {}

    // On the window thread, while no change runs.
    void Take()
    {
        width_ = live_.ScreenWidth();
        height_ = live_.ScreenHeight();
        layout_ = live_.Monitors();
    }
    int ScreenWidth() override { return width_; }
    int ScreenHeight() override { return height_; }
    MonitorLayout Monitors() override { return layout_; }

private:
    ScreenMetrics &live_;
    int width_ = 0;
    int height_ = 0;
    MonitorLayout layout_;
};
