#pragma once

#include "platform/Exceptions.h"
#include "platform/desktop/Desktop.h"

#include <string>
#include <vector>

// Records the wallpapers it is told to show; fails every one while `fail` is set.
class RecordingDesktop : public Desktop {
public:
    struct Call {
        std::string path;
        int32_t tileValue;
        bool operator==(const Call &) const = default;
    };
    const char *Name() const override { return "recording"; }
    void setWallpaper(const std::string &path, TileMode tile) override
    {
        calls.push_back({path, int32_t(tile)});
        if (fail)
            throw Exception("壁紙を設定できません: test");
    }
    PerMonitorMethod PerMonitor() const override { return perMonitor; }
    void setMonitorWallpapers(const std::string &boxPath, const MonitorLayout &layout,
                              const std::vector<std::string> &piecePaths) override
    {
        if (perMonitor == PerMonitorMethod::None || refusePerMonitor)
            Desktop::setMonitorWallpapers(boxPath, layout, piecePaths);
        monitorCalls.push_back({boxPath, layout, piecePaths});
    }
    struct MonitorCall {
        std::string boxPath;
        MonitorLayout layout;
        std::vector<std::string> piecePaths;
    };
    std::vector<Call> calls;
    std::vector<MonitorCall> monitorCalls;
    bool fail = false;
    PerMonitorMethod perMonitor = PerMonitorMethod::None;
    bool refusePerMonitor = false; // says it can, then refuses (a version that cannot)
};
