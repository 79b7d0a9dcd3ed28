#include "platform/desktop/Monitors.h"

#include <algorithm>

void SortMonitors(MonitorLayout &layout)
{
    std::stable_sort(layout.begin(), layout.end(),
                     [](const Monitor &a, const Monitor &b) { return a.X != b.X ? a.X < b.X : a.Y < b.Y; });
}

MonitorBox BoundingBox(const MonitorLayout &layout)
{
    if (layout.empty())
        return {};
    int64_t left = layout[0].X, top = layout[0].Y, right = left, bottom = top;
    for (const Monitor &m : layout) {
        left = std::min<int64_t>(left, m.X);
        top = std::min<int64_t>(top, m.Y);
        right = std::max<int64_t>(right, int64_t(m.X) + m.Width);
        bottom = std::max<int64_t>(bottom, int64_t(m.Y) + m.Height);
    }
    return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

namespace {

constexpr int32_t kLimit = 100000;

// Reads a decimal number at `p`; a sign only where `signedValue`.
bool ReadNumber(const char *&p, const char *end, bool signedValue, int32_t &value)
{
    const char *start = p;
    if (signedValue && p != end && (*p == '+' || *p == '-'))
        ++p;
    if (p == end || *p < '0' || *p > '9')
        return false;
    const bool negative = *start == '-';
    int64_t number = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > kLimit)
            return false;
    }
    value = int32_t(negative ? -number : number);
    return true;
}

std::optional<Monitor> ParseMonitor(std::string_view text)
{
    Monitor monitor;
    if (const size_t equals = text.find('='); equals != std::string_view::npos) {
        monitor.Name = std::string(text.substr(0, equals));
        text.remove_prefix(equals + 1);
        if (monitor.Name.empty())
            return std::nullopt;
    }
    const char *p = text.data();
    const char *end = p + text.size();
    if (!ReadNumber(p, end, false, monitor.Width) || p == end || *p++ != 'x' ||
        !ReadNumber(p, end, false, monitor.Height) || p == end || (*p != '+' && *p != '-') ||
        !ReadNumber(p, end, true, monitor.X) || p == end || (*p != '+' && *p != '-') ||
        !ReadNumber(p, end, true, monitor.Y) || p != end)
        return std::nullopt;
    if (monitor.Width < 1 || monitor.Height < 1)
        return std::nullopt;
    return monitor;
}

} // namespace

std::optional<MonitorLayout> ParseMonitorLayout(const std::string &text)
{
    MonitorLayout layout;
    std::string_view rest = text;
    while (true) {
        const size_t comma = rest.find(',');
        const std::optional<Monitor> monitor = ParseMonitor(rest.substr(0, comma));
        if (!monitor)
            return std::nullopt;
        layout.push_back(*monitor);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    SortMonitors(layout);
    return layout;
}

std::string FormatMonitorLayout(const MonitorLayout &layout)
{
    std::string out;
    for (const Monitor &m : layout) {
        if (!out.empty())
            out += ',';
        if (!m.Name.empty())
            out += m.Name + '=';
        out += std::to_string(m.Width) + 'x' + std::to_string(m.Height) + (m.X < 0 ? "" : "+") + std::to_string(m.X) +
               (m.Y < 0 ? "" : "+") + std::to_string(m.Y);
    }
    return out;
}
