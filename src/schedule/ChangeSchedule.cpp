#include "schedule/ChangeSchedule.h"

#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"
#include "schedule/Settings.h"
#include "schedule/ShuffleOrder.h"
#include "schedule/WallPaperChanger.h"

#include <algorithm>
#include <chrono>
#include <optional>

ChangeSchedule::ChangeSchedule(WallPaperChanger &changer, RandomPick pick) : changer_(changer), pick_(std::move(pick))
{
    Reseed();
}

void ChangeSchedule::Reseed()
{
    random_.seed(
        static_cast<std::mt19937::result_type>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

int32_t ChangeSchedule::RandomBelow(int32_t count)
{
    std::uniform_int_distribution<int32_t> pick(0, count - 1);
    return pick(random_);
}

std::string GroupFilePath(const std::string &useSection)
{
    return HomeFolder() + useSection;
}

int32_t ReadGroupLastIndex(TIniStore &group, const std::string &useSection)
{
    const int32_t last = ReadLastIndex(group);
    // A negative count would pick from no entries; refuse the group instead of guessing.
    if (last < 0)
        throw Exception(FormatMessage("壁紙グループ %s の項目数 (Idx=%s) が正しくありません。",
                                      {Cp932ToUtf8Lossy(useSection), std::to_string(last)}));
    return last;
}

int32_t ChangeSchedule::EntriesPerChange(const MonitorLayout &layout) const
{
    // A desktop that shows one picture on every monitor takes one entry, so that none is passed over.
    if (!changer_.CanShowPerMonitor())
        return 1;
    return std::max<int32_t>(1, int32_t(std::min<size_t>(layout.size(), kMaxMonitors)));
}

std::vector<int32_t> ChangeSchedule::PickDistinct(int32_t count, int32_t wanted)
{
    // The r-th number not chosen yet, for r drawn among those left: distinct without a table of the
    // whole group, which may be large.
    std::vector<int32_t> chosen;
    std::vector<int32_t> sorted;
    for (int32_t k = 0; k < wanted; ++k) {
        if (int32_t(sorted.size()) == count)
            sorted.clear(); // every entry is on a monitor already: the rest repeat
        int32_t r = Pick(count - int32_t(sorted.size()));
        for (const int32_t taken : sorted)
            if (taken <= r)
                ++r;
        sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), r), r);
        chosen.push_back(r);
    }
    return chosen;
}

void ChangeSchedule::NextWallPaper()
{
    const Settings::NextSettings settings = Settings::ReadNextSettings();
    const MonitorLayout layout = settings.perMonitor ? changer_.Monitors() : MonitorLayout{};
    const int32_t monitors = EntriesPerChange(layout);
    int32_t index = CurrentIndex;
    int32_t last;
    std::optional<ShuffleOrder> round;
    {
        TIniStoreEx group(GroupFilePath(settings.useSection));
        last = ReadGroupLastIndex(group, settings.useSection);
        std::vector<int32_t> indices;
        if (settings.random && settings.noRepeat) {
            round.emplace([this](int32_t count) { return Pick(count); });
            round->Load(ShuffleFilePath(), settings.useSection);
            const std::vector<std::string> paths = GroupPicturePaths(group, last);
            for (int32_t k = 0; k < monitors; ++k)
                indices.push_back(round->Take(paths));
        } else if (settings.random) {
            indices = monitors == 1 ? std::vector<int32_t>{Pick(last + 1)} : PickDistinct(last + 1, monitors);
        } else {
            // The first is CurrentIndex as stored, so that one past the end fails as an empty entry.
            indices.push_back(index);
            for (int32_t k = 1; k < monitors; ++k)
                indices.push_back(int32_t((int64_t(index) + k) % (int64_t(last) + 1)));
        }
        index = indices.front();
        std::vector<WallPaperChoice> choices;
        for (const int32_t shown : indices) {
            const WallPaperEntry entry = ReadWallPaperEntry(group, shown);
            choices.push_back(
                {entry.PicturePath, DecodeTileValue(entry.PositionText), DecodeCorrection(entry.CorrectionText)});
        }
        ShownIndex = index;
        ShownIndices = indices;
        if (settings.perMonitor)
            changer_.ApplyPerMonitor(choices, layout);
        else
            changer_.Apply(choices[0].PicturePath, choices[0].TileValue, choices[0].Correction);
    }
    int64_t next = int64_t(index) + monitors;
    if (next > last)
        next %= int64_t(last) + 1;
    // The change has happened: the position moves on even if the settings file cannot keep it.
    CurrentIndex = int32_t(next);
    std::string unsaved;
    try {
        Settings::WriteUseIndex(int32_t(next));
    } catch (const Exception &e) {
        unsaved = FormatMessage(
            "壁紙は変更しましたが、次に表示する番号 (UseIndex) を設定ファイルに保存できませんでした。\n%s",
            {e.Message()});
    }
    if (round) {
        try {
            round->Store(ShuffleFilePath(), settings.useSection);
        } catch (const Exception &e) {
            unsaved +=
                (unsaved.empty() ? "" : "\n") +
                FormatMessage("壁紙は変更しましたが、ランダムの表示順を保存できませんでした。\n%s", {e.Message()});
        }
    }
    if (!unsaved.empty())
        throw EUseIndexNotStored(unsaved);
}

void ChangeSchedule::Back()
{
    const Settings::NextSettings settings = Settings::ReadNextSettings();
    int32_t last;
    {
        TIniStoreEx group(GroupFilePath(settings.useSection));
        last = ReadGroupLastIndex(group, settings.useSection);
    }
    CurrentIndex = BackIndex(CurrentIndex, last, settings.perMonitor ? EntriesPerChange(changer_.Monitors()) : 1);
    NextWallPaper();
}

bool ChangeSchedule::Tick()
{
    Reseed();
    if (Settings::ReadScrPaused())
        return false;
    NextWallPaper();
    return true;
}

int32_t BackIndex(int32_t currentIndex, int32_t lastIndex, int32_t monitors)
{
    if (monitors > 1) {
        // The entries on screen began `monitors` before CurrentIndex; back shows the ones before them.
        const int64_t count = int64_t(lastIndex) + 1;
        return int32_t(((int64_t(currentIndex) - 2 * int64_t(monitors)) % count + count) % count);
    }
    const int32_t index = currentIndex - 2;
    if (index == -2)
        return lastIndex == 0 ? 0 : lastIndex - 1;
    if (index == -1)
        return lastIndex;
    return index;
}

int64_t IntervalMilliseconds(const std::string &hh, const std::string &mm, const std::string &ss)
{
    const int64_t h = StrToInt(hh);
    const int64_t m = StrToInt(mm);
    const int64_t s = StrToInt(ss);
    return (h * 3600 + m * 60 + s) * 1000;
}

bool AnyNegative(const std::string &hh, const std::string &mm, const std::string &ss)
{
    return StrToInt(hh) < 0 || StrToInt(mm) < 0 || StrToInt(ss) < 0;
}
