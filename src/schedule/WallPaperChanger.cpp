#include "schedule/WallPaperChanger.h"

#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

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
    LastChoices = {WallPaperChoice{picturePath, tileValue, correction}};
    LastLayout = {Monitor{{}, 0, 0, screen_.ScreenWidth(), screen_.ScreenHeight()}};
    LastFallback.clear();
    lastPerMonitor_ = false;
}

void WallPaperChanger::ApplyPerMonitor(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout)
{
    if (choices.empty())
        return;
    std::string fallback;
    if (layout.size() < 2) {
        Apply(choices[0].PicturePath, choices[0].TileValue, choices[0].Correction);
    } else {
        if (OnChange)
            OnChange(OutputPath);
        try {
            ApplyMonitorWallPapers(choices, layout, OutputPath, registry_, desktop_);
        } catch (const EPerMonitorUnsupported &refusal) {
            // The change still happens, with the first monitor's picture on every monitor.
            fallback = refusal.Message();
            Apply(choices[0].PicturePath, choices[0].TileValue, choices[0].Correction);
        }
    }
    // What was asked for is kept, so that a new layout renders these pictures again.
    LastPicturePath = choices[0].PicturePath;
    LastChoices = choices;
    LastLayout = layout;
    LastFallback = fallback;
    lastPerMonitor_ = true;
}

bool WallPaperChanger::CanShowPerMonitor() const
{
    return desktop_.PerMonitor() != PerMonitorMethod::None;
}

MonitorLayout WallPaperChanger::Monitors()
{
    return screen_.Monitors();
}

bool WallPaperChanger::RenderAgainForMonitors()
{
    if (LastChoices.empty())
        return false;
    if (!lastPerMonitor_) {
        // A change of one picture depends on the primary screen's size only.
        if (screen_.ScreenWidth() == LastLayout[0].Width && screen_.ScreenHeight() == LastLayout[0].Height)
            return false;
        const WallPaperChoice choice = LastChoices[0];
        Apply(choice.PicturePath, choice.TileValue, choice.Correction);
        return true;
    }
    const MonitorLayout layout = Monitors();
    if (layout.empty() || layout == LastLayout)
        return false;
    // More monitors than pictures: the pictures repeat; fewer: the first ones show, and the others are
    // kept for when their monitors come back.
    const std::vector<WallPaperChoice> asked = LastChoices;
    std::vector<WallPaperChoice> choices;
    for (size_t i = 0; i < layout.size(); ++i)
        choices.push_back(asked[i % asked.size()]);
    ApplyPerMonitor(choices, layout);
    if (asked.size() > choices.size())
        LastChoices = asked;
    return true;
}
