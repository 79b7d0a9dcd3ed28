#pragma once

#include "platform/desktop/Monitors.h"

#include <memory>
#include <string>
#include <utility>

// The screen's width and height where none can be asked (no display, no screen known to Qt).
inline constexpr std::pair<int, int> kDefaultScreenSize{1920, 1080};

// The primary screen's size in device pixels, and every monitor's place, read afresh at each use.
class ScreenMetrics {
public:
    virtual ~ScreenMetrics() = default;
    virtual int ScreenWidth() = 0;
    virtual int ScreenHeight() = 0;
    // The monitors, sorted; by default the primary screen alone, unnamed, at 0,0.
    virtual MonitorLayout Monitors() { return {Monitor{{}, 0, 0, ScreenWidth(), ScreenHeight()}}; }
};

// A fixed size: tests (1024 x 768) and `--screen WxH`.
class FixedScreenMetrics : public ScreenMetrics {
public:
    FixedScreenMetrics(int width, int height) : width_(width), height_(height) {}
    int ScreenWidth() override { return width_; }
    int ScreenHeight() override { return height_; }

private:
    int width_;
    int height_;
};

// A fixed layout (`--monitors`): the first monitor stands for the primary screen.
class FixedMonitorMetrics : public ScreenMetrics {
public:
    explicit FixedMonitorMetrics(MonitorLayout layout) : layout_(std::move(layout)) {}
    int ScreenWidth() override { return layout_.empty() ? 0 : layout_.front().Width; }
    int ScreenHeight() override { return layout_.empty() ? 0 : layout_.front().Height; }
    MonitorLayout Monitors() override { return layout_; }

private:
    MonitorLayout layout_;
};

// The primary screen of the running QGuiApplication; the fallback size when there is no screen.
class QtScreenMetrics : public ScreenMetrics {
public:
    QtScreenMetrics(int fallbackWidth = kDefaultScreenSize.first, int fallbackHeight = kDefaultScreenSize.second)
        : fallbackWidth_(fallbackWidth), fallbackHeight_(fallbackHeight)
    {
    }
    int ScreenWidth() override;
    int ScreenHeight() override;
    // Qt's screens in device pixels, named by their connectors; the fallback size alone without any.
    MonitorLayout Monitors() override;

private:
    int fallbackWidth_;
    int fallbackHeight_;
};

// The screen of an X11 session (`display` as DISPLAY names it) read from the X server itself: its
// RandR monitors and primary one, as Qt's X11 platform would show them, without a Qt GUI application.
// nullptr when the display cannot be opened.
std::unique_ptr<ScreenMetrics> CreateX11ScreenMetrics(const std::string &display);
