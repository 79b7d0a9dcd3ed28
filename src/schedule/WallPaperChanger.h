#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
    // The picture of the last change that went through (CP932; empty before the first).
    std::string LastPicturePath;

    // Renders the picture into OutputPath, records the tile value and sets the wallpaper (see
    // ApplyWallPaper in Render.h); raises on failure, leaving the later steps undone. Virtual so
    // that the schedule's tests can record the changes instead of making them.
    virtual void Apply(const std::string &picturePath, int32_t tileValue, int32_t correction);

private:
    ScreenMetrics &screen_;
    Registry &registry_;
    Desktop &desktop_;
};
