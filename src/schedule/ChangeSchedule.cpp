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

void ChangeSchedule::NextWallPaper()
{
    const Settings::NextSettings settings = Settings::ReadNextSettings();
    int32_t index = CurrentIndex;
    int32_t last;
    std::optional<ShuffleOrder> round;
    {
        TIniStoreEx group(GroupFilePath(settings.useSection));
        last = ReadGroupLastIndex(group, settings.useSection);
        if (settings.random && settings.noRepeat) {
            round.emplace([this](int32_t count) { return Pick(count); });
            round->Load(ShuffleFilePath(), settings.useSection);
            index = round->Take(GroupPicturePaths(group, last));
        } else if (settings.random) {
            index = Pick(last + 1);
        }
        const WallPaperEntry entry = ReadWallPaperEntry(group, index);
        const int32_t tileValue = DecodeTileValue(entry.PositionText);
        const int32_t correction = DecodeCorrection(entry.CorrectionText);
        ShownIndex = index;
        changer_.Apply(entry.PicturePath, tileValue, correction);
    }
    int32_t next = index + 1;
    if (next > last)
        next = 0;
    // The change has happened: the position moves on even if the settings file cannot keep it.
    CurrentIndex = next;
    std::string unsaved;
    try {
        Settings::WriteUseIndex(next);
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
    const std::string useSection = Settings::ReadValue(Settings::kUseSection);
    int32_t last;
    {
        TIniStoreEx group(GroupFilePath(useSection));
        last = ReadGroupLastIndex(group, useSection);
    }
    CurrentIndex = BackIndex(CurrentIndex, last);
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

int32_t BackIndex(int32_t currentIndex, int32_t lastIndex)
{
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
