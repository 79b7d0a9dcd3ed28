#include "schedule/WallPaperChanger.h"

#include "schedule/Render.h"

WallPaperChanger::WallPaperChanger(std::string outputPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop)
    : OutputPath(std::move(outputPath)), screen_(screen), registry_(registry), desktop_(desktop)
{
}

void WallPaperChanger::Apply(const std::string &picturePath, int32_t tileValue, int32_t correction)
{
    if (OnChange)
        OnChange(OutputPath);
    ApplyWallPaper(picturePath, tileValue, correction, OutputPath, screen_, registry_, desktop_);
    LastPicturePath = picturePath;
}
