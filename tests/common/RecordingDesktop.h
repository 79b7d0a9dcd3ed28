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
    void setWallpaper(const std::string &path, int32_t tileValue) override
    {
        calls.push_back({path, tileValue});
        if (fail)
            throw Exception("壁紙を設定できません: test");
    }
    std::vector<Call> calls;
    bool fail = false;
};
