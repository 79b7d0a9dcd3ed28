#include "CliSupport.h"

#include "platform/Encoding.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>

std::string ArgText(const std::string &utf8)
{
    return Utf8ToCp932(utf8);
}

std::string ArgPath(const std::string &utf8)
{
    return FromNativePath(utf8);
}

void PrintText(std::string_view cp932)
{
    const std::string utf8 = Cp932ToUtf8(cp932);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

MonitorLayout ParseMonitorsOption(const std::string &text)
{
    std::optional<MonitorLayout> layout = ParseMonitorLayout(text);
    if (!layout)
        throw UsageError(
            "--monitors: WxH+X+Y をカンマで区切って指定してください (例 1920x1080+0+0,HDMI-1=1280x1024+1920+0)");
    return std::move(*layout);
}
