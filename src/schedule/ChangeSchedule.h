#pragma once

#include "platform/Exceptions.h"
#include "platform/desktop/Monitors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

// The wallpaper was changed and the position advanced, but UseIndex (or the round of random order
// without repeats) could not be written.
class EUseIndexNotStored : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// No entry of the group could be shown: the group has none, or every picture was passed over. The
// message names the group and the pictures with their reasons.
class ENoPictureShown : public Exception {
public:
    using Exception::Exception;
};

// An entry a change passed over: its picture could not be used (EPictureUnusable), its correction
// text does not decode, or it has no picture at all.
struct SkippedEntry {
    int32_t Index = 0;
    std::string PicturePath; // CP932
    std::string Reason;      // UTF-8
    bool operator==(const SkippedEntry &) const = default;
};

// The skipped entries, one line each, "path: reason" (the reason alone when it names the path),
// at most `maxLines` of them and then how many more. UTF-8.
std::string DescribeSkipped(const std::vector<SkippedEntry> &skipped, size_t maxLines = 10);

// The change schedule without widgets: which entry of the selected group comes next, the
// next/back arithmetic and UseIndex. The settings file and the group file are read anew at every
// change, so edits by other programs count at once.
class WallPaperChanger;
class ChangeSchedule {
public:
    // The random choice: an entry number from 0 to count - 1 (count > 0).
    using RandomPick = std::function<int32_t(int32_t count)>;

    // Every change goes through `changer`, which must outlive the schedule. `pick` makes the random
    // choice; by default a uniform one from a generator seeded from the clock.
    explicit ChangeSchedule(WallPaperChanger &changer, RandomPick pick = {});

    // The entry number that the next change shows.
    int32_t CurrentIndex = 0;
    // The entry number of the change being applied, or last applied (-1 before the first): in
    // random order it is drawn at the change.
    int32_t ShownIndex = -1;
    // With one picture per monitor, every monitor's entry number (left to right); else ShownIndex alone.
    std::vector<int32_t> ShownIndices;
    // The entries the last change passed over (also when it showed none).
    std::vector<SkippedEntry> LastSkipped;

    // With OpPerMonitor on and several monitors, a change shows one entry per monitor: CurrentIndex,
    // CurrentIndex + 1, ... wrapping (distinct random ones, or the next ones of the round, in random
    // order) and advances by the number of monitors; back steps back by as many.
    //
    // Shows entry CurrentIndex (or a random one when random order is on; with OpNoRepeat as well,
    // the next of the group's stored round, see ShuffleOrder) of the group named by UseSection,
    // then advances CurrentIndex past it, wrapping to 0, and stores it as UseIndex. A position beyond
    // a group that has since become shorter starts the group again at entry 0.
    //
    // An entry whose picture cannot be used is passed over (LastSkipped): the change goes on to the
    // following entries (the next of the round, in random order without repeats), at most once round
    // the group, and shows the first that works. When none does it raises ENoPictureShown, or the
    // entry's own error when the group has one entry. Any other failure (the output bitmap, the
    // desktop, the group file) is raised at once. A failed change leaves CurrentIndex, UseIndex and
    // the stored round as they were, so the next change tries the same entry; when only storing
    // fails, CurrentIndex has advanced and EUseIndexNotStored is raised.
    //
    // The change holds the ScheduleLock from reading the position to storing it.
    void NextWallPaper();
    // Shows the entry before the one on screen and advances past it; entries that cannot be used are
    // passed over backwards.
    void Back();
    // A timer tick: re-seeds, then changes unless another program set Scr to "1". Returns whether
    // a change was made.
    bool Tick();

    // Re-seeds the default generator from the clock.
    void Reseed();
    // The default choice: uniform among 0..count-1 (count > 0).
    int32_t RandomBelow(int32_t count);

    // No layout has more monitors than this; a session reporting more shows the first ones.
    static constexpr size_t kMaxMonitors = 16;

private:
    // The change itself: shows entries from `start` on (walking backwards when `backwards`), as
    // NextWallPaper describes.
    void Change(const std::optional<int32_t> &start, bool backwards);
    // The entries one change shows on `layout`: one per monitor (at most kMaxMonitors), or one when the
    // desktop cannot show a picture per monitor.
    int32_t EntriesPerChange(const MonitorLayout &layout) const;
    std::vector<int32_t> PickDistinct(int32_t count, int32_t wanted);
    int32_t Pick(int32_t count) { return pick_ ? pick_(count) : RandomBelow(count); }

    WallPaperChanger &changer_;
    RandomPick pick_;
    std::mt19937 random_;
};

// The index that back hands to NextWallPaper: CurrentIndex - 2 taken modulo last + 1 for the
// values that occur (0..last after every change).
// With several monitors, CurrentIndex - 2 x monitors modulo last + 1.
int32_t BackIndex(int32_t currentIndex, int32_t lastIndex, int32_t monitors = 1);

// The home folder's path of a group file named by UseSection (CP932).
std::string GroupFilePath(const std::string &useSection);

// The last entry number of an open group file; raises EConvertError when the count key is missing
// or not an integer, and Exception when it is negative.
class TIniReader;
int32_t ReadGroupLastIndex(TIniReader &group, const std::string &useSection);

// The interval of the three spin-edit texts in milliseconds, in 64 bits so that no text can wrap
// it around. Raises EConvertError naming a text that is not an integer.
int64_t IntervalMilliseconds(const std::string &hh, const std::string &mm, const std::string &ss);
// Whether any of the three texts is a negative integer (they must already convert).
bool AnyNegative(const std::string &hh, const std::string &mm, const std::string &ss);
