#include "schedule/WallPaperChanger.h"

#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"

#include <algorithm>
#include <optional>

WallPaperChanger::WallPaperChanger(std::string outputPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop)
    : OutputPath(std::move(outputPath)), screen_(screen), registry_(registry), desktop_(desktop)
{
}

void WallPaperChanger::Apply(const std::string &picturePath, TileMode tileValue, int32_t correction)
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
    Show(choices, layout);
    // A new choice of pictures: a later layout goes by which monitor shows which. Pictures beyond the
    // monitors are kept, unnamed, for monitors that come later.
    shownOn_.clear();
    for (size_t i = 0; i < std::max(layout.size(), choices.size()); ++i)
        shownOn_.emplace_back(i < layout.size() ? layout[i].Name : std::string(), choices[i % choices.size()]);
}

void WallPaperChanger::Show(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout)
{
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
    if (layout.empty() || layout == LastLayout || shownOn_.empty())
        return false;
    std::vector<std::pair<std::string, WallPaperChoice>> shownOn = shownOn_;
    std::vector<bool> taken(shownOn.size(), false);
    std::vector<std::optional<WallPaperChoice>> picked(layout.size());
    // A monitor is known by its connector name: one that showed a picture keeps it, wherever it is
    // now, and one that comes back gets its own back.
    for (size_t i = 0; i < layout.size(); ++i)
        for (size_t j = 0; j < shownOn.size() && !layout[i].Name.empty(); ++j)
            if (!taken[j] && shownOn[j].first == layout[i].Name) {
                picked[i] = shownOn[j].second;
                taken[j] = true;
                break;
            }
    // The other monitors take the pictures that no monitor shows now, in their order, then the pictures
    // repeat. Monitors without names all go this way, by their order.
    size_t unused = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
        if (picked[i])
            continue;
        while (unused < shownOn.size() && taken[unused])
            ++unused;
        if (unused == shownOn.size()) {
            picked[i] = shownOn[i % shownOn.size()].second;
            continue;
        }
        picked[i] = shownOn[unused].second;
        taken[unused] = true;
        if (shownOn[unused].first.empty()) {
            shownOn[unused].first = layout[i].Name;
        } else if (!layout[i].Name.empty()) {
            shownOn.emplace_back(layout[i].Name, shownOn[unused].second);
            taken.push_back(true);
        }
    }
    std::vector<WallPaperChoice> choices;
    choices.reserve(picked.size());
    for (const std::optional<WallPaperChoice> &choice : picked)
        choices.push_back(*choice);
    Show(choices, layout);
    shownOn_ = std::move(shownOn);
    return true;
}
