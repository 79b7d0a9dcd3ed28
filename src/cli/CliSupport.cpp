#include "cli/CliSupport.h"

MonitorLayout ParseMonitorsOption(const std::string &text)
{
    std::optional<MonitorLayout> layout = ParseMonitorLayout(text);
    if (!layout)
        throw UsageError(
            "--monitors: WxH+X+Y をカンマで区切って指定してください (例 1920x1080+0+0,HDMI-1=1280x1024+1920+0)");
    return std::move(*layout);
}
