#pragma once

#include "platform/desktop/CommandRunner.h"
#include "platform/desktop/Desktop.h"

#include <functional>
#include <optional>
#include <string>

// What the backends share for asking a desktop what it shows after a change.

// A backend that keeps its last read-back for LastReadBack.
class ReadBackDesktop : public Desktop {
public:
    std::string LastReadBack() const override { return lastReadBack_; }

protected:
    std::string lastReadBack_;
};

// "HDMI-1=1920x1080+0+0,...: SHOWN": one picture the desktop spans over the monitors of `layout`.
std::string SpannedReadBack(const MonitorLayout &layout, const std::string &shown);

// A desktop that shows a picture per monitor as one picture spanned over them all: the box over the
// monitors, which ShowBox hands to it; what it reads back names the monitors.
class SpanningDesktop : public ReadBackDesktop {
public:
    PerMonitorMethod PerMonitor() const override { return PerMonitorMethod::Spanned; }
    void setMonitorWallpapers(const std::string &cp932BoxPath, const MonitorLayout &layout,
                              const std::vector<std::string> &) final
    {
        ShowBox(cp932BoxPath, layout);
        lastReadBack_ = SpannedReadBack(layout, lastReadBack_);
    }

protected:
    // Shows the box over the monitors of `layout`, reading back into lastReadBack_ what the desktop shows.
    virtual void ShowBox(const std::string &cp932BoxPath, const MonitorLayout &layout) = 0;
};

// Raises Exception: `desktop` took the change but shows `shown` instead; `hint` says what may cause it.
[[noreturn]] void ThrowNotShown(const std::string &desktop, const std::string &shown, const std::string &hint);

// Desktops apply a change in the background: asks `read` until `matches` holds for its answer, at most
// `attempts` times with `pauseMs` between them. Returns the last answer.
std::string PollReadBack(CommandRunner &runner, const std::function<std::string()> &read,
                         const std::function<bool(const std::string &)> &matches, int attempts = 10, int pauseMs = 200);

// The text of a GVariant string as gsettings prints it ('text' or "text" with escapes); nothing for
// anything else.
std::optional<std::string> ParseGVariantString(const std::string &printed);
// The text of a file's line "key=value" in section `section` ("" for lines before any section).
std::optional<std::string> IniValue(const std::string &text, const std::string &section, const std::string &key);
// `text` with `key=value` in `section`: the first such line replaced, or the line added to the section
// (the section added at the end when missing).
std::string WithIniValue(const std::string &text, const std::string &section, const std::string &key,
                         const std::string &value);
