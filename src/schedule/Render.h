#pragma once

#include "picture/Scaling.h"

#include <cstdint>
#include <string>

class Desktop;
class Registry;
class ScreenMetrics;

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
