#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/backends/X11Screen.h"

#include <memory>
#include <string>

namespace {

// The screen of a plain X11 session as the X server reports it, read afresh at each use: the same
// monitors and primary screen that Qt's X11 platform shows, without starting one.
class X11ScreenMetrics : public ScreenMetrics {
public:
    X11ScreenMetrics(std::string display, X11Monitors monitors)
        : display_(std::move(display)), monitors_(std::move(monitors))
    {
    }
    int ScreenWidth() override { return Primary().Width; }
    int ScreenHeight() override { return Primary().Height; }
    MonitorLayout Monitors() override
    {
        Refresh();
        MonitorLayout layout = monitors_.Layout;
        SortMonitors(layout);
        return layout;
    }

private:
    // The last monitors read stand when the server cannot be asked again.
    void Refresh()
    {
        if (std::optional<X11Monitors> monitors = QueryX11Monitors(display_))
            monitors_ = std::move(*monitors);
    }
    const Monitor &Primary()
    {
        Refresh();
        return monitors_.Layout[size_t(monitors_.Primary)];
    }

    std::string display_;
    X11Monitors monitors_;
};

} // namespace

std::unique_ptr<ScreenMetrics> CreateX11ScreenMetrics(const std::string &display)
{
    std::optional<X11Monitors> monitors = QueryX11Monitors(display);
    if (!monitors)
        return nullptr;
    return std::make_unique<X11ScreenMetrics>(display, std::move(*monitors));
}
