#pragma once

// The primary screen's size in device pixels, read afresh at each use.
class ScreenMetrics {
public:
    virtual ~ScreenMetrics() = default;
    virtual int ScreenWidth() = 0;
    virtual int ScreenHeight() = 0;
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

// The primary screen of the running QGuiApplication; the fallback size when there is no screen.
class QtScreenMetrics : public ScreenMetrics {
public:
    QtScreenMetrics(int fallbackWidth = 1920, int fallbackHeight = 1080)
        : fallbackWidth_(fallbackWidth), fallbackHeight_(fallbackHeight)
    {
    }
    int ScreenWidth() override;
    int ScreenHeight() override;

private:
    int fallbackWidth_;
    int fallbackHeight_;
};
