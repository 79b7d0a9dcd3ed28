#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One monitor of the session in device pixels, known by its connector name ("HDMI-1"; empty when the
// session does not name it, or for a layout given without names).
struct Monitor {
    std::string Name;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const Monitor &) const = default;
};

// The monitors of a session, left to right, then top to bottom.
using MonitorLayout = std::vector<Monitor>;

// The smallest rectangle that holds every monitor; all zero for no monitors.
struct MonitorBox {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Orders the monitors left to right, then top to bottom (equal positions keep their order).
void SortMonitors(MonitorLayout &layout);
MonitorBox BoundingBox(const MonitorLayout &layout);

// "WxH+X+Y" entries separated by commas, each optionally named as "NAME=WxH+X+Y"; the result is sorted.
// Nothing for a malformed text, a size below 1 or above 100000, or an offset beyond +-100000.
std::optional<MonitorLayout> ParseMonitorLayout(const std::string &text);
// The layout as ParseMonitorLayout reads it ("HDMI-1=1920x1080+0+0,1280x1024+1920+0").
std::string FormatMonitorLayout(const MonitorLayout &layout);
