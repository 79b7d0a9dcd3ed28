#pragma once

#include "picture/Scaling.h"
#include "picture/StreamRender.h"
#include "platform/desktop/Monitors.h"

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Desktop;
class Registry;
class ScreenMetrics;

// One entry of a group, decoded for a change.
struct WallPaperChoice {
    std::string PicturePath; // CP932
    int32_t TileValue = 0;   // 0 centre, 1 tile, 2 enlarge
    int32_t Correction = -1; // -1 none, 0 auto, else percent
    bool operator==(const WallPaperChoice &) const = default;
};

// The reader that streams the path's rows, as the format registry chooses it: None for a picture of a
// plug-in (also one that took a built-in extension over), an icon or a metafile.
StreamFormat RegisteredStreamFormat(const std::string &cp932PicturePath);

// A picture scaled for a screen: the image and the size that its correction gives.
struct ScaledWallPaper {
    QImage Image;
    TWallPaperSize Size;
};
// Loads the picture and scales it by `correction` for a screen of screenWidth x screenHeight, or to
// `exactSize` when given (the correction's size is still worked out, and its errors raised).
ScaledWallPaper ScaleWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::optional<QSize> &exactSize = std::nullopt);

// Loads the picture, scales it by `correction` (-1 none, 0 auto, else percent) for a screen of
// screenWidth x screenHeight and writes the 24-bit BMP to `outputPath`, replacing the old file
// atomically. Returns the written size. Every failure (loading, a size that cannot be made, the memory
// guard, writing) raises before the output file is touched.
TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath);

// The whole change of wallpaper: RenderWallPaper for the current screen, then TileWallpaper ("0", "1",
// "2") under "Control Panel\desktop", then the desktop is told to show `wallPaperPath`. A failure leaves
// the later steps undone.
void ApplyWallPaper(const std::string &cp932PicturePath, int32_t tileValue, int32_t correction,
                    const std::string &cp932WallPaperPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop);

// Renders choices[i] (repeating the choices when there are fewer) for layout[i] into one 24-bit BMP
// over the layout's bounding box, black where no monitor is, and writes monitor i's rectangle to
// cp932PiecePaths[i] when given. Every file is replaced atomically; a failure raises before the output
// file is touched. Returns the box.
MonitorBox RenderMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                                   const std::string &cp932OutputPath,
                                   const std::vector<std::string> &cp932PiecePaths = {});
// The file of monitor `index`'s piece beside the output bitmap: NAME.CONNECTOR.bmp (NAME.monitorN.bmp
// for a monitor without a plain name).
std::string MonitorPiecePath(const std::string &cp932OutputPath, const MonitorLayout &layout, size_t index);
// A change with one picture per monitor: renders the bitmap (and the pieces, for a desktop that
// takes a file per monitor), writes TileWallpaper "0" and has the desktop show it. Raises the
// desktop's EPerMonitorUnsupported before anything is written when it cannot show one per monitor.
void ApplyMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                            const std::string &cp932WallPaperPath, Registry &registry, Desktop &desktop);
