#include "schedule/ChangeSchedule.h"

#include "ini/IniReader.h"
#include "listedit/WallPaperList.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"
#include "platform/Memory.h"
#include "schedule/EntryWalk.h"
#include "schedule/GroupFile.h"
#include "schedule/Render.h"
#include "schedule/ScheduleLock.h"
#include "schedule/Settings.h"
#include "schedule/ShuffleOrder.h"
#include "schedule/WallPaperChanger.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
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

int32_t ReadGroupLastIndex(TIniReader &group, const std::string &useSection)
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

namespace {

// Raised when a change has nothing left to show.
[[noreturn]] void NothingShown(const std::string &useSection, const std::vector<SkippedEntry> &skipped)
{
    // One picture that cannot be used is reported as its reader reported it.
    if (skipped.size() == 1)
        throw ENoPictureShown(skipped[0].Reason);
    const std::string group = Cp932ToUtf8Lossy(useSection);
    if (skipped.empty())
        throw ENoPictureShown(FormatMessage("壁紙グループ %s には画像がありません。", {group}));
    throw ENoPictureShown(
        FormatMessage("壁紙グループ %s の画像はどれも表示できません。\n%s", {group, DescribeSkipped(skipped)}));
}

// The group's last entry number: a group whose file is gone, or that has no count (a 0-byte file),
// has nothing to show; a count that is not an integer fails in its conversion.
int32_t ReadShownGroupLastIndex(GroupFile &group, const std::string &useSection)
{
    if (!group.Ini().FileFound())
        throw ENoPictureShown(FormatMessage("壁紙グループ %s が見つかりません。", {Cp932ToUtf8Lossy(useSection)}));
    if (group.Ini().ReadString("Main", "idx", {}).empty())
        NothingShown(useSection, {});
    const int32_t last = ReadGroupLastIndex(group.Ini(), useSection);
    group.SetLastIndex(last);
    return last;
}

// Why an entry is passed over without trying it: it names no picture, its correction does not
// decode, or its picture failed earlier in this change. Empty, with `choice` filled, otherwise.
std::string ReasonToPassOver(const WallPaperEntry &entry,
                             const std::vector<std::pair<std::string, std::string>> &unusable, WallPaperChoice &choice)
{
    if (entry.PicturePath.empty())
        return "画像のファイル名がありません";
    for (const auto &[path, reason] : unusable)
        if (path == entry.PicturePath)
            return reason;
    try {
        choice = {entry.PicturePath, DecodeTileValue(entry.PositionText), DecodeCorrection(entry.CorrectionText)};
    } catch (const EConvertError &e) {
        return e.Message();
    }
    return {};
}

} // namespace

std::string DescribeSkipped(const std::vector<SkippedEntry> &skipped, size_t maxLines)
{
    std::string text;
    for (size_t i = 0; i < skipped.size() && i < maxLines; ++i) {
        const std::string path = Cp932ToUtf8Lossy(skipped[i].PicturePath);
        const std::string &reason = skipped[i].Reason;
        std::string line;
        if (path.empty())
            line = FormatMessage("項目 file%s: %s", {std::to_string(skipped[i].Index), reason});
        else if (reason.find(path) != std::string::npos)
            line = reason;
        else
            line = path + ": " + reason;
        text += (text.empty() ? "" : "\n") + line;
    }
    if (skipped.size() > maxLines)
        text += FormatMessage("\nほか %s 件", {std::to_string(skipped.size() - maxLines)});
    return text;
}

void ChangeSchedule::NextWallPaper()
{
    Change(std::nullopt, false);
}

void ChangeSchedule::Back()
{
    const ScheduleLock lock;
    const Settings::NextSettings settings = Settings::ReadNextSettings();
    int32_t last;
    {
        GroupFile group(GroupFilePath(settings.useSection));
        last = ReadShownGroupLastIndex(group, settings.useSection);
    }
    const int32_t monitors = settings.perMonitor ? EntriesPerChange(changer_.Monitors()) : 1;
    // One entry walks back over the pictures it cannot show; several fill the monitors in list order.
    Change(BackIndex(CurrentIndex, last, monitors), monitors == 1);
}

void ChangeSchedule::Change(const std::optional<int32_t> &start, bool backwards)
{
    // Declared first, so that it runs last, once everything the change read (the group's lines, the
    // round, the paths) is freed as well as the picture's buffers: the program then idles until the
    // next change, on whichever thread made this one, and the memory goes back to the system.
    struct GiveBackOnExit {
        ~GiveBackOnExit() { ReturnFreedMemory(); }
    } const giveBack;
    const ScheduleLock lock;
    LastSkipped.clear();
    const Settings::NextSettings settings = Settings::ReadNextSettings();
    const MonitorLayout layout = settings.perMonitor ? changer_.Monitors() : MonitorLayout{};
    const int32_t monitors = EntriesPerChange(layout);
    GroupFile group(GroupFilePath(settings.useSection));
    const int32_t last = ReadShownGroupLastIndex(group, settings.useSection);
    const int64_t count = int64_t(last) + 1;
    // A position beyond a group that has become shorter starts it again.
    int32_t from = start.value_or(CurrentIndex);
    if (from < 0 || from > last)
        from = 0;

    std::optional<ShuffleOrder> round;
    std::unique_ptr<EntryWalk> walk;
    if (settings.random && settings.noRepeat) {
        round.emplace([this](int32_t n) { return Pick(n); });
        round->Load(settings.useSection);
        // The group's pictures are read only when the group is not the one the round was made for.
        round->FitTo(group.Stamp(), [&group] { return group.PicturePaths(); });
        walk = RoundWalk(*round, group);
    } else if (settings.random) {
        const int32_t entries = int32_t(std::min<int64_t>(count, INT32_MAX));
        walk = RandomOrderWalk(group,
                               monitors == 1 ? std::vector<int32_t>{Pick(entries)} : PickDistinct(entries, monitors));
    } else {
        walk = ListOrderWalk(group, from, backwards);
    }

    // Entries are taken from the walk until every monitor has one; a picture that cannot be used
    // gives its monitors back to the walk.
    std::vector<int32_t> shown;
    std::vector<WallPaperChoice> choices;
    std::vector<std::pair<std::string, std::string>> unusable; // picture path, reason
    int32_t lastTaken = from;
    for (;;) {
        while (int32_t(shown.size()) < monitors) {
            const std::optional<int32_t> taken = walk->Next();
            if (!taken)
                break;
            lastTaken = *taken;
            const WallPaperEntry entry = group.Entry(*taken);
            WallPaperChoice choice;
            const std::string reason = ReasonToPassOver(entry, unusable, choice);
            if (!reason.empty()) {
                LastSkipped.push_back({*taken, entry.PicturePath, reason});
                continue;
            }
            shown.push_back(*taken);
            choices.push_back(std::move(choice));
        }
        if (shown.empty())
            NothingShown(settings.useSection, LastSkipped);
        // Fewer usable entries than monitors repeat, as a group smaller than the monitors does.
        std::vector<int32_t> onMonitors;
        std::vector<WallPaperChoice> pictures;
        for (size_t i = 0; i < size_t(monitors); ++i) {
            onMonitors.push_back(shown[i % shown.size()]);
            pictures.push_back(choices[i % choices.size()]);
        }
        try {
            if (settings.perMonitor)
                changer_.ApplyPerMonitor(pictures, layout);
            else
                changer_.Apply(pictures[0].PicturePath, pictures[0].TileValue, pictures[0].Correction);
            ShownIndex = onMonitors.front();
            ShownIndices = onMonitors;
            break;
        } catch (const EPictureUnusable &e) {
            // Every entry of that picture is passed over; the others keep their monitors.
            bool chosen = false;
            for (size_t i = 0; i < shown.size();) {
                if (choices[i].PicturePath != e.PicturePath()) {
                    ++i;
                    continue;
                }
                LastSkipped.push_back({shown[i], choices[i].PicturePath, e.Message()});
                shown.erase(shown.begin() + std::ptrdiff_t(i));
                choices.erase(choices.begin() + std::ptrdiff_t(i));
                chosen = true;
            }
            if (!chosen)
                throw;
            unusable.emplace_back(e.PicturePath(), e.Message());
        }
    }

    int64_t next;
    if (settings.random) {
        next = int64_t(ShownIndex) + monitors;
    } else if (backwards) {
        next = int64_t(ShownIndex) + 1;
    } else {
        // Past the last entry tried; at least `monitors` on, as the entries repeat in a small group.
        const int64_t walked = (int64_t(lastTaken) - from + count) % count + 1;
        next = int64_t(from) + std::max<int64_t>(walked, monitors);
    }
    next %= count;
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
            round->Store(settings.useSection);
        } catch (const Exception &e) {
            unsaved +=
                (unsaved.empty() ? "" : "\n") +
                FormatMessage("壁紙は変更しましたが、ランダムの表示順を保存できませんでした。\n%s", {e.Message()});
        }
    }
    if (!unsaved.empty())
        throw EUseIndexNotStored(unsaved);
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
