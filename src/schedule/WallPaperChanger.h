#pragma once

#include "platform/desktop/Monitors.h"
#include "schedule/Render.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class Desktop;
class Registry;
class ScreenMetrics;

// The one object that makes a change of wallpaper: the output bitmap's path and the services a
// change goes through (the screen it is rendered for, the registry that keeps TileWallpaper, the
// desktop that shows it). The schedule, the main window and tapistoctl all change through it.
class WallPaperChanger {
public:
    WallPaperChanger(std::string outputPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop);
    virtual ~WallPaperChanger() = default;
    WallPaperChanger(const WallPaperChanger &) = delete;
    WallPaperChanger &operator=(const WallPaperChanger &) = delete;

    // The output bitmap (CP932); the desktop is told to show this file.
    std::string OutputPath;
    // Told the output path at the start of every change (the main window mirrors it in Edit1).
    std::function<void(const std::string &outputPath)> OnChange;
    // The picture of the last change that went through (CP932; empty before the first); with one
    // picture per monitor, the first monitor's.
    std::string LastPicturePath;
    // The pictures of the last change that went through, one per monitor when it had one per monitor.
    std::vector<WallPaperChoice> LastChoices;
    // The monitors the last change was made for (one unnamed monitor for a change of one picture).
    MonitorLayout LastLayout;
    // Why the last change showed one picture on every monitor although one per monitor was asked
    // for (the desktop's refusal); empty otherwise.
    std::string LastFallback;

    // Renders the picture into OutputPath, records the tile value and sets the wallpaper (see
    // ApplyWallPaper in Render.h); raises on failure, leaving the later steps undone. Virtual so
    // that the schedule's tests can record the changes instead of making them.
    virtual void Apply(const std::string &picturePath, TileMode tileValue, int32_t correction);
    // One picture per monitor of `layout` (choices[i] on layout[i]); a layout of one monitor, or a
    // desktop that cannot show one per monitor, gives choices[0] on every monitor, the refusal kept
    // in LastFallback.
    virtual void ApplyPerMonitor(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout);
    // Whether the desktop can show a picture per monitor at all (it may still refuse a layout).
    virtual bool CanShowPerMonitor() const;
    // The session's monitors now.
    virtual MonitorLayout Monitors();
    // Renders the last change's pictures again for the monitors now (when they were added, removed
    // or moved), choosing nothing anew: each monitor keeps its picture by its connector name, a
    // monitor that comes back gets its own again, and a new one takes a picture no monitor shows
    // (without names, the pictures go by the monitors' order). Returns false, doing nothing, before the
    // first change or when the layout is the one the last change was made for.
    bool RenderAgainForMonitors();

private:
    // Renders and shows choices[i] on layout[i] (see ApplyPerMonitor) and records it as the last change.
    void Show(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout);

    bool lastPerMonitor_ = false; // the last change went through ApplyPerMonitor
    // Every monitor that showed one of the last chosen pictures, by connector name, with its picture;
    // monitors unplugged since stay, so that they get their pictures back.
    std::vector<std::pair<std::string, WallPaperChoice>> shownOn_;
    ScreenMetrics &screen_;
    Registry &registry_;
    Desktop &desktop_;
};
