#include "platform/desktop/Monitors.h"
#include "schedule/ChangeSchedule.h"

#include "listedit/WallPaperList.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/Render.h"
#include "schedule/Settings.h"
#include "schedule/ShuffleOrder.h"
#include "schedule/WallPaperChanger.h"

#include "MemoryRegistry.h"
#include "SmallDisk.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <utility>

namespace {

struct Applied {
    std::string path;
    int32_t tile;
    int32_t correction;
};

// Records the changes the schedule asks for instead of making them.
class RecordingChanger : public WallPaperChanger {
public:
    using Record = std::function<void(const std::string &, int32_t, int32_t)>;
    explicit RecordingChanger(Record record)
        : WallPaperChanger("", screen_, registry_, desktop_), record_(std::move(record))
    {
    }
    void Apply(const std::string &path, TileMode tile, int32_t correction) override
    {
        Check(path);
        record_(path, int32_t(tile), correction);
    }
    // With `layout` set, the session has these monitors and each change records its pictures in order.
    MonitorLayout Monitors() override { return layout.empty() ? WallPaperChanger::Monitors() : layout; }
    bool CanShowPerMonitor() const override { return desktopShowsPerMonitor; }
    void ApplyPerMonitor(const std::vector<WallPaperChoice> &choices, const MonitorLayout &monitors) override
    {
        const size_t shown = monitors.size() < 2 ? 1 : choices.size();
        for (size_t i = 0; i < shown; ++i)
            Check(choices[i].PicturePath);
        perMonitorChanges.push_back(choices.size());
        for (size_t i = 0; i < shown; ++i)
            record_(choices[i].PicturePath, int32_t(choices[i].TileValue), choices[i].Correction);
    }
    // Pictures that cannot be used: a change of one of them fails as the render fails on it.
    std::set<std::string> unusable;
    MonitorLayout layout;
    bool desktopShowsPerMonitor = true;
    std::vector<size_t> perMonitorChanges; // the number of pictures of each change per monitor

private:
    void Check(const std::string &path) const
    {
        if (unusable.count(path) != 0)
            throw EPictureUnusable(path, "ファイル " + path + " は開けません");
    }

    class NoDesktop : public Desktop {
    public:
        const char *Name() const override { return "none"; }
        void setWallpaper(const std::string &, TileMode) override {}
    };
    FixedScreenMetrics screen_{1024, 768};
    MemoryRegistry registry_;
    NoDesktop desktop_;
    Record record_;
};

// A home folder with a group "g.dat" of `count` pictures p0.bmp, p1.bmp, … selected as UseSection.
class ScheduleTest : public ::testing::Test {
protected:
    void MakeGroup(int count, const std::string &name = "g.dat")
    {
        WallPaperList list;
        for (int i = 0; i < count; ++i)
            list.push_back({"p" + std::to_string(i) + ".bmp", std::string(kPositionTile),
                            i == 0 ? std::string(kCorrectionAuto) : "150%"});
        WriteWallPaperList(home.File(name), list);
        Settings::WriteValue(Settings::kUseSection, name);
    }

    ChangeSchedule MakeSchedule() { return ChangeSchedule(changer); }

    std::string Shown(size_t i) const { return applied.at(i).path; }

    TempHome home;
    std::vector<Applied> applied;
    std::string failing = "-";
    RecordingChanger changer{[this](const std::string &path, int32_t tile, int32_t correction) {
        if (path == failing)
            throw EInvalidGraphic("broken " + path);
        applied.push_back({path, tile, correction});
    }};
};

} // namespace

TEST_F(ScheduleTest, SequentialOrderWrapsAndStoresTheNextIndex)
{
    MakeGroup(3);
    ChangeSchedule schedule = MakeSchedule();
    std::vector<std::string> stored;
    for (int i = 0; i < 4; ++i) {
        schedule.NextWallPaper();
        stored.push_back(Settings::ReadUseIndexText());
    }
    ASSERT_EQ(4u, applied.size());
    EXPECT_EQ("p0.bmp", Shown(0));
    EXPECT_EQ("p1.bmp", Shown(1));
    EXPECT_EQ("p2.bmp", Shown(2));
    EXPECT_EQ("p0.bmp", Shown(3));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "0", "1"}), stored);
    // The entry's fields are decoded before the picture is applied.
    EXPECT_EQ(1, applied[0].tile);
    EXPECT_EQ(0, applied[0].correction);
    EXPECT_EQ(150, applied[1].correction);
}

TEST_F(ScheduleTest, BackShowsTheEntryBeforeTheOneOnScreen)
{
    EXPECT_EQ(1, BackIndex(0, 2)); // entry 2 on screen
    EXPECT_EQ(2, BackIndex(1, 2)); // entry 0 on screen
    EXPECT_EQ(0, BackIndex(2, 2)); // entry 1 on screen
    EXPECT_EQ(0, BackIndex(0, 0)); // a single entry
    EXPECT_EQ(1, BackIndex(1, 1)); // two entries, entry 0 on screen
    EXPECT_EQ(0, BackIndex(0, 1));

    MakeGroup(3);
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 2;
    schedule.NextWallPaper(); // shows 2, next is 0
    schedule.Back();
    EXPECT_EQ("p1.bmp", Shown(1));
    EXPECT_EQ(2, schedule.CurrentIndex);
    schedule.CurrentIndex = 1; // entry 0 on screen
    schedule.Back();
    EXPECT_EQ("p2.bmp", Shown(2));
    EXPECT_EQ("0", Settings::ReadUseIndexText());
}

TEST_F(ScheduleTest, BackWithOneEntryShowsItAgain)
{
    MakeGroup(1);
    ChangeSchedule schedule = MakeSchedule();
    schedule.NextWallPaper();
    schedule.Back();
    ASSERT_EQ(2u, applied.size());
    EXPECT_EQ("p0.bmp", Shown(1));
    EXPECT_EQ(0, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, AFailingEntryKeepsTheIndexForTheNextTry)
{
    MakeGroup(3);
    Settings::WriteUseIndex(1);
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 1;
    failing = "p1.bmp";
    EXPECT_THROW(schedule.NextWallPaper(), EInvalidGraphic);
    EXPECT_EQ(1, schedule.CurrentIndex);
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    failing = "-"; // repaired before the next tick
    EXPECT_TRUE(schedule.Tick());
    EXPECT_EQ("p1.bmp", Shown(0));
    EXPECT_EQ(2, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, MissingOrBrokenGroupsFailWithoutAnyChange)
{
    ChangeSchedule schedule = MakeSchedule();
    const auto messageOf = [&](const std::function<void()> &change) {
        try {
            change();
        } catch (const ENoPictureShown &e) {
            return e.Message();
        }
        return std::string("no ENoPictureShown");
    };
    Settings::WriteValue(Settings::kUseSection, "gone.dat");
    EXPECT_EQ("壁紙グループ gone.dat が見つかりません。", messageOf([&] { schedule.NextWallPaper(); }));
    // A group without pictures (a 0-byte file, no count) says so rather than "'' は整数ではありません".
    for (const char *bytes : {"", "[Main]\r\n", "[Main]\r\nIdx=\r\n"}) {
        WriteFileBytes(home.File("empty.dat"), bytes);
        Settings::WriteValue(Settings::kUseSection, "empty.dat");
        EXPECT_EQ("壁紙グループ empty.dat には画像がありません。", messageOf([&] { schedule.NextWallPaper(); }));
        EXPECT_EQ("壁紙グループ empty.dat には画像がありません。", messageOf([&] { schedule.Back(); }));
    }
    WriteFileBytes(home.File("x.dat"), "[Main]\r\nIdx=x\r\nfile0=p0.bmp,,,\r\n");
    Settings::WriteValue(Settings::kUseSection, "x.dat");
    EXPECT_THROW(schedule.NextWallPaper(), EConvertError); // a count that is no integer
    WriteFileBytes(home.File("neg.dat"), "[Main]\r\nIdx=-1\r\nfile0=p0.bmp,,,\r\n");
    Settings::WriteValue(Settings::kUseSection, "neg.dat");
    Settings::WriteValue(Settings::kOp3Checked, "1");
    try {
        schedule.NextWallPaper();
        FAIL() << "a negative count must fail";
    } catch (const Exception &e) {
        EXPECT_NE(std::string::npos, e.Message().find("neg.dat")) << e.Message();
    }
    EXPECT_THROW(schedule.Back(), Exception);
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ("", Settings::ReadUseIndexText());
}

TEST_F(ScheduleTest, APositionPastAShortenedGroupStartsItAgain)
{
    MakeGroup(2);
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 5; // the group was shortened after UseIndex was stored
    schedule.NextWallPaper();
    EXPECT_EQ("p0.bmp", Shown(0));
    EXPECT_EQ(1, schedule.CurrentIndex);
    EXPECT_TRUE(schedule.LastSkipped.empty());
}

TEST_F(ScheduleTest, APictureThatCannotBeUsedIsPassedOverAndTheIndexEndsAfterTheOneShown)
{
    MakeGroup(4);
    changer.unusable = {"p1.bmp", "p2.bmp"};
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 1;
    schedule.NextWallPaper();
    ASSERT_EQ(1u, applied.size());
    EXPECT_EQ("p3.bmp", Shown(0));
    EXPECT_EQ(3, schedule.ShownIndex);
    EXPECT_EQ(0, schedule.CurrentIndex);
    EXPECT_EQ("0", Settings::ReadUseIndexText());
    ASSERT_EQ(2u, schedule.LastSkipped.size());
    EXPECT_EQ((SkippedEntry{1, "p1.bmp", "ファイル p1.bmp は開けません"}), schedule.LastSkipped[0]);
    EXPECT_EQ(2, schedule.LastSkipped[1].Index);
    EXPECT_EQ("ファイル p1.bmp は開けません\nファイル p2.bmp は開けません", DescribeSkipped(schedule.LastSkipped));
    schedule.NextWallPaper();
    EXPECT_EQ("p0.bmp", Shown(1));
    EXPECT_TRUE(schedule.LastSkipped.empty());
    // Back walks backwards over them: before p0 come p3, then p2 and p1 that cannot be shown.
    schedule.NextWallPaper(); // p3
    schedule.Back();
    EXPECT_EQ("p0.bmp", Shown(3));
    EXPECT_EQ(1, schedule.CurrentIndex);
    schedule.Back();
    EXPECT_EQ("p3.bmp", Shown(4));
    EXPECT_EQ(0, schedule.CurrentIndex);

    // An entry without a picture, or whose correction does not decode, is passed over as well.
    WriteFileBytes(home.File("g.dat"), "[Main]\r\nIdx=3\r\nfile0=,,,\r\nfile1=p1.bmp,,12x%,\r\nfile3=p3.bmp,,,\r\n");
    schedule.CurrentIndex = 0;
    schedule.NextWallPaper();
    EXPECT_EQ("p3.bmp", applied.back().path);
    ASSERT_EQ(2u, schedule.LastSkipped.size()); // the gap at 2 is no entry at all
    EXPECT_EQ("項目 file0: 画像のファイル名がありません\np1.bmp: '12x%' は整数ではありません",
              DescribeSkipped(schedule.LastSkipped));
}

TEST_F(ScheduleTest, WhenNoPictureCanBeShownItIsOneErrorAndNothingMoves)
{
    MakeGroup(3);
    changer.unusable = {"p0.bmp", "p1.bmp", "p2.bmp"};
    Settings::WriteUseIndex(1);
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 1;
    try {
        schedule.NextWallPaper();
        FAIL();
    } catch (const ENoPictureShown &e) {
        EXPECT_EQ("壁紙グループ g.dat の画像はどれも表示できません。\nファイル p1.bmp は開けません\n"
                  "ファイル p2.bmp は開けません\nファイル p0.bmp は開けません",
                  e.Message());
    }
    EXPECT_EQ(1, schedule.CurrentIndex);
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    EXPECT_EQ(3u, schedule.LastSkipped.size());
    EXPECT_TRUE(applied.empty());
    // A group of one picture fails with that picture's own message, as before.
    MakeGroup(1);
    schedule.CurrentIndex = 0;
    try {
        schedule.NextWallPaper();
        FAIL();
    } catch (const ENoPictureShown &e) {
        EXPECT_EQ("ファイル p0.bmp は開けません", e.Message());
    }
}

TEST_F(ScheduleTest, AFailureThatIsNotThePicturesIsNotAReasonToPassOver)
{
    MakeGroup(3);
    int tries = 0;
    RecordingChanger output([&](const std::string &, int32_t, int32_t) {
        ++tries;
        throw EInOutError("Tapisto_WallPaper.bmp を作成できません");
    });
    ChangeSchedule failing(output);
    EXPECT_THROW(failing.NextWallPaper(), EInOutError);
    EXPECT_EQ(1, tries);
    EXPECT_EQ(0, failing.CurrentIndex);
    EXPECT_EQ("", Settings::ReadUseIndexText());
}

TEST_F(ScheduleTest, RandomOrderPassesOverToTheEntriesAfterThePick)
{
    MakeGroup(4);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    changer.unusable = {"p3.bmp", "p0.bmp"};
    ChangeSchedule schedule(changer, [](int32_t) { return 3; });
    schedule.NextWallPaper();
    EXPECT_EQ("p1.bmp", Shown(0)); // p3, then p0 after it wrapping round, cannot be shown
    EXPECT_EQ(2, schedule.CurrentIndex);
    EXPECT_EQ(2u, schedule.LastSkipped.size());
}

TEST_F(ScheduleTest, NoRepeatPassesOverABrokenPictureAndCountsItInTheRound)
{
    MakeGroup(5);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    changer.unusable = {"p2.bmp"};
    std::mt19937 random(3);
    ChangeSchedule schedule(
        changer, [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); });
    size_t skips = 0;
    for (int i = 0; i < 40; ++i) {
        schedule.NextWallPaper();
        skips += schedule.LastSkipped.size();
    }
    ASSERT_EQ(40u, applied.size());
    // Ten rounds of the four pictures that work, the broken one passed over once a round.
    for (size_t start = 0; start < 40; start += 4) {
        std::set<std::string> round;
        for (size_t i = start; i < start + 4; ++i)
            round.insert(Shown(i));
        EXPECT_EQ(4u, round.size()) << "round from " << start;
        EXPECT_EQ(0u, round.count("p2.bmp"));
    }
    EXPECT_EQ(10u, skips);
}

TEST_F(ScheduleTest, PerMonitorFillsTheMonitorOfABrokenPictureWithTheNextEntry)
{
    MakeGroup(5);
    Settings::WriteValue(Settings::kOpPerMonitor, "1");
    changer.layout = *ParseMonitorLayout("DP-1=1920x1080+0+0,DP-2=1280x1024+1920+0");
    changer.unusable = {"p1.bmp"};
    ChangeSchedule schedule = MakeSchedule();
    schedule.NextWallPaper();
    EXPECT_EQ((std::vector<int32_t>{0, 2}), schedule.ShownIndices);
    EXPECT_EQ((std::vector<std::string>{"p0.bmp", "p2.bmp"}), (std::vector<std::string>{Shown(0), Shown(1)}));
    EXPECT_EQ(3, schedule.CurrentIndex);
    // Only one picture works: it is on both monitors.
    changer.unusable = {"p0.bmp", "p1.bmp", "p2.bmp", "p4.bmp"};
    schedule.NextWallPaper();
    EXPECT_EQ((std::vector<int32_t>{3, 3}), schedule.ShownIndices);
    EXPECT_EQ(4u, schedule.LastSkipped.size());
}

TEST_F(ScheduleTest, ACountFarBeyondTheEntriesIsWalkedByTheEntriesThere)
{
    WriteFileBytes(home.File("g.dat"), "[Main]\r\nIdx=2000000000\r\nfile0=p0.bmp,,,\r\nfile1999999999=p9.bmp,,,\r\n");
    Settings::WriteValue(Settings::kUseSection, "g.dat");
    changer.unusable = {"p0.bmp"};
    ChangeSchedule schedule = MakeSchedule();
    schedule.CurrentIndex = 5;
    schedule.NextWallPaper();
    EXPECT_EQ("p9.bmp", Shown(0));
    EXPECT_EQ(2000000000, schedule.CurrentIndex);
    schedule.NextWallPaper(); // p0 cannot be shown: round the group to p9 again
    EXPECT_EQ("p9.bmp", Shown(1));
    EXPECT_EQ(1u, schedule.LastSkipped.size());
}

TEST_F(ScheduleTest, ScrSuspendsTicksButNotNextAndBack)
{
    MakeGroup(2);
    ChangeSchedule schedule = MakeSchedule();
    WriteFileBytes(home.File("Tapisto.ini"), "[Main]\r\nUseSection=g.dat\r\nscr=1\r\n");
    EXPECT_FALSE(schedule.Tick());
    EXPECT_TRUE(applied.empty());
    schedule.NextWallPaper();
    schedule.Back();
    EXPECT_EQ(2u, applied.size());
    Settings::WriteValue(Settings::kScr, "yes"); // only "1" counts
    EXPECT_TRUE(schedule.Tick());
}

TEST_F(ScheduleTest, RandomOrderReadsTheSettingAtEveryChange)
{
    MakeGroup(1);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    ChangeSchedule schedule = MakeSchedule();
    for (int i = 0; i < 3; ++i) {
        schedule.NextWallPaper();
        EXPECT_EQ("0", Settings::ReadUseIndexText()); // 1 wraps to 0
    }
    EXPECT_EQ("p0.bmp", Shown(2));

    Settings::WriteValue(Settings::kOp3Checked, "0");
    MakeGroup(4);
    schedule.CurrentIndex = 3;
    schedule.NextWallPaper();
    EXPECT_EQ("p3.bmp", applied.back().path);
}

TEST_F(ScheduleTest, RandomOrderShowsThePickAmongAllEntriesAndMovesPastIt)
{
    MakeGroup(4);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    std::vector<int32_t> counts;
    const std::vector<int32_t> picks = {3, 0, 3, 1};
    ChangeSchedule schedule(changer, [&](int32_t count) {
        counts.push_back(count);
        return picks[counts.size() - 1];
    });
    std::vector<std::string> stored;
    for (size_t i = 0; i < picks.size(); ++i) {
        schedule.NextWallPaper();
        stored.push_back(Settings::ReadUseIndexText());
    }
    EXPECT_EQ((std::vector<int32_t>{4, 4, 4, 4}), counts); // chosen among every entry, Idx included
    EXPECT_EQ("p3.bmp", Shown(0));
    EXPECT_EQ("p0.bmp", Shown(1));
    EXPECT_EQ("p3.bmp", Shown(2)); // the same entry may come twice
    EXPECT_EQ("p1.bmp", Shown(3));
    EXPECT_EQ((std::vector<std::string>{"0", "1", "0", "2"}), stored);
    EXPECT_EQ(2, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, NoRepeatWalksTheStoredRoundOnlyWithRandomOrder)
{
    MakeGroup(7);
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    std::mt19937 random(5);
    ChangeSchedule schedule(
        changer, [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); });
    schedule.CurrentIndex = 4;
    schedule.NextWallPaper(); // random order is off: today's order, no round is made
    EXPECT_EQ("p4.bmp", Shown(0));
    EXPECT_FALSE(std::filesystem::exists(RoundFilePath("g.dat")));

    Settings::WriteValue(Settings::kOp3Checked, "1");
    applied.clear();
    for (int i = 0; i < 14; ++i)
        schedule.NextWallPaper();
    for (size_t start : {0u, 7u}) {
        std::set<std::string> round;
        for (size_t i = start; i < start + 7; ++i)
            round.insert(Shown(i));
        EXPECT_EQ(7u, round.size());
    }
    EXPECT_NE(Shown(6), Shown(7));
    ShuffleOrder stored([](int32_t) { return 0; });
    stored.Load("g.dat");
    ASSERT_EQ(7u, stored.Round().size());
    EXPECT_EQ(7u, stored.ShownCount());
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ("p" + std::to_string(stored.Round()[i]) + ".bmp", Shown(7 + i));
    EXPECT_EQ(std::to_string((stored.Round()[6] + 1) % 7), Settings::ReadUseIndexText());

    // A failed change leaves the round where it was, so the entry comes again next time.
    schedule.NextWallPaper();
    stored.Load("g.dat");
    const std::string next = "p" + std::to_string(stored.Round()[1]) + ".bmp";
    failing = next;
    EXPECT_THROW(schedule.NextWallPaper(), EInvalidGraphic);
    stored.Load("g.dat");
    EXPECT_EQ(1u, stored.ShownCount());
    failing = "-";
    schedule.NextWallPaper();
    EXPECT_EQ(next, applied.back().path);
}

TEST_F(ScheduleTest, NoRepeatShowsEntriesNumberedBeyondTheGroupsLines)
{
    // Entry 7 of a group of two lines: a round of entries 0..1 (as many as the lines) never showed it.
    WriteFileBytes(home.File("g.dat"), "[Main]\r\nIdx=9\r\nfile0=p0.bmp,,,\r\nfile7=p7.bmp,,,\r\n");
    Settings::WriteValue(Settings::kUseSection, "g.dat");
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    std::mt19937 random(2);
    ChangeSchedule schedule(
        changer, [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); });
    for (int i = 0; i < 6; ++i)
        schedule.NextWallPaper();
    for (size_t start = 0; start < 6; start += 2)
        EXPECT_EQ((std::set<std::string>{"p0.bmp", "p7.bmp"}), (std::set<std::string>{Shown(start), Shown(start + 1)}));
}

TEST_F(ScheduleTest, NoRepeatNoticesAGroupEditedBetweenChanges)
{
    MakeGroup(5);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    std::mt19937 random(9);
    ChangeSchedule schedule(
        changer, [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); });
    schedule.NextWallPaper();
    schedule.NextWallPaper();
    const std::set<std::string> shown = {Shown(0), Shown(1)};
    // The editor saves the group: one picture not shown yet removed, a new one at the top, so every
    // entry has another number.
    std::string removed;
    WallPaperList edited = {{"new.bmp", std::string(kPositionTile), ""}};
    for (int i = 0; i < 5; ++i) {
        const std::string path = "p" + std::to_string(i) + ".bmp";
        if (removed.empty() && !shown.count(path))
            removed = path;
        else
            edited.push_back({path, std::string(kPositionTile), ""});
    }
    WriteWallPaperList(home.File("g.dat"), edited);
    for (int i = 0; i < 3; ++i)
        schedule.NextWallPaper();
    std::set<std::string> rest;
    for (size_t i = 2; i < 5; ++i)
        rest.insert(Shown(i));
    std::set<std::string> expected = {"new.bmp"};
    for (const WallPaperEntry &entry : edited)
        if (entry.PicturePath != "new.bmp" && !shown.count(entry.PicturePath))
            expected.insert(entry.PicturePath);
    EXPECT_EQ(expected, rest); // the rest of the round, with the new picture and without the removed one
    // Edited in place, keeping its size: noticed as well.
    std::string bytes = ReadFileBytes(home.File("g.dat"));
    const std::string first = edited[1].PicturePath;
    bytes.replace(bytes.find(first), first.size(), "q" + first.substr(1));
    std::FILE *f = std::fopen(home.File("g.dat").c_str(), "r+b");
    ASSERT_NE(nullptr, f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::set<std::string> next;
    for (int i = 0; i < 5; ++i) {
        schedule.NextWallPaper();
        next.insert(applied.back().path);
    }
    EXPECT_EQ(1u, next.count("q" + first.substr(1)));
    EXPECT_EQ(0u, next.count(first));
}

TEST_F(ScheduleTest, ARoundThatCannotBeStoredIsReportedAfterTheChange)
{
    MakeGroup(3);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    std::filesystem::create_directories(RoundFilePath("g.dat")); // nothing can replace a folder
    ChangeSchedule schedule(changer, [](int32_t) { return 0; });
    for (int i = 0; i < 2; ++i) {
        try {
            schedule.NextWallPaper();
            ADD_FAILURE() << "the failed write went unreported";
        } catch (const EUseIndexNotStored &e) {
            EXPECT_NE(std::string::npos, e.Message().find("表示順")) << e.Message();
            EXPECT_EQ(std::string::npos, e.Message().find("UseIndex")) << e.Message();
        }
    }
    // Both changes were made; with nothing stored each one draws a fresh round.
    ASSERT_EQ(2u, applied.size());
    EXPECT_EQ(Settings::ReadUseIndexText(), std::to_string(schedule.CurrentIndex));
}

TEST(ScheduleRandom, TheDefaultChoiceStaysInRangeAndReachesEveryValue)
{
    RecordingChanger changer([](const std::string &, int32_t, int32_t) {});
    ChangeSchedule schedule(changer);
    std::set<int32_t> seen;
    // Enough draws that missing a value is beyond chance (4 * 0.75^400); the range is what counts.
    for (int i = 0; i < 400; ++i) {
        const int32_t value = schedule.RandomBelow(4);
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 4);
        seen.insert(value);
    }
    EXPECT_EQ(4u, seen.size());
    EXPECT_EQ(0, schedule.RandomBelow(1));
}

TEST(ScheduleOnAReadOnlyDisk, EachChangeMovesOnWhenUseIndexCannotBeStored)
{
    TempHome temp;
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    ::setenv("TAPISTO_HOME", disk.Path().c_str(), 1);
    WallPaperList list;
    for (int i = 0; i < 3; ++i)
        list.push_back({"p" + std::to_string(i) + ".bmp", std::string(kPositionTile), ""});
    WriteWallPaperList(disk.Path() + "g.dat", list);
    Settings::WriteValue(Settings::kUseSection, "g.dat");
    Settings::WriteUseIndex(9); // never the value a change stores, so every change must write
    ASSERT_TRUE(disk.MakeReadOnly());

    std::vector<std::string> shown;
    RecordingChanger changer([&](const std::string &path, int32_t, int32_t) { shown.push_back(path); });
    ChangeSchedule schedule(changer);
    for (int i = 0; i < 4; ++i) {
        try {
            schedule.Tick();
            ADD_FAILURE() << "the failed write went unreported";
        } catch (const EInOutError &e) {
            EXPECT_NE(std::string::npos, e.Message().find("UseIndex")) << e.Message();
        }
    }
    EXPECT_EQ((std::vector<std::string>{"p0.bmp", "p1.bmp", "p2.bmp", "p0.bmp"}), shown);
    EXPECT_EQ(1, schedule.CurrentIndex);
    EXPECT_EQ("9", Settings::ReadUseIndexText());
    ::setenv("TAPISTO_HOME", temp.Path().c_str(), 1);
}

TEST(ScheduleInterval, TextsConvertAsTheyStand)
{
    EXPECT_EQ(9000, IntervalMilliseconds("0", "0", "9"));
    EXPECT_EQ(10000, IntervalMilliseconds("0", "0", "10"));
    EXPECT_EQ(86399000, IntervalMilliseconds("23", "59", "59"));
    EXPECT_EQ(30000, IntervalMilliseconds("+0", "00", " 30"));
    // Typed hours beyond the arrows' range do not wrap around 32 bits.
    EXPECT_EQ(2147483647000LL, IntervalMilliseconds("596523", "14", "7"));
    EXPECT_THROW(IntervalMilliseconds("1.5", "0", "0"), EConvertError);
    EXPECT_THROW(IntervalMilliseconds("0", "", "0"), EConvertError);
    EXPECT_TRUE(AnyNegative("0", "-1", "30"));
    EXPECT_FALSE(AnyNegative("0", "0", "30"));
}

TEST_F(ScheduleTest, PerMonitorTakesOneEntryPerMonitorInListOrderAndBackStepsBackAsMany)
{
    EXPECT_EQ(2, BackIndex(1, 4, 2)); // p4 and p0 on screen: back shows p2 and p3
    EXPECT_EQ(1, BackIndex(0, 4, 2)); // p3 and p4 on screen
    EXPECT_EQ(0, BackIndex(0, 0, 3)); // a group of one

    MakeGroup(5);
    changer.layout = *ParseMonitorLayout("DP-1=1920x1080+0+0,DP-2=1280x1024+1920+0");
    ChangeSchedule schedule = MakeSchedule();
    schedule.NextWallPaper(); // the option is off: one entry, as ever
    EXPECT_EQ((std::vector<std::string>{"p0.bmp"}), (std::vector<std::string>{Shown(0)}));
    EXPECT_TRUE(changer.perMonitorChanges.empty());
    EXPECT_EQ("1", Settings::ReadUseIndexText());

    Settings::WriteValue(Settings::kOpPerMonitor, "1");
    applied.clear();
    schedule.CurrentIndex = 0;
    std::vector<std::string> stored;
    for (int i = 0; i < 3; ++i) {
        schedule.NextWallPaper();
        stored.push_back(Settings::ReadUseIndexText());
    }
    ASSERT_EQ(6u, applied.size());
    const std::vector<std::string> expected{"p0.bmp", "p1.bmp", "p2.bmp", "p3.bmp", "p4.bmp", "p0.bmp"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], Shown(i)) << i;
    EXPECT_EQ((std::vector<std::string>{"2", "4", "1"}), stored);
    EXPECT_EQ((std::vector<int32_t>{4, 0}), schedule.ShownIndices);
    EXPECT_EQ(150, applied[1].correction); // each entry keeps its own correction
    EXPECT_EQ(0, applied[0].correction);

    schedule.Back();
    EXPECT_EQ("p2.bmp", Shown(6));
    EXPECT_EQ("p3.bmp", Shown(7));
    EXPECT_EQ(4, schedule.CurrentIndex);

    // One monitor left: one entry per change again.
    changer.layout = *ParseMonitorLayout("1920x1080+0+0");
    schedule.NextWallPaper();
    EXPECT_EQ(9u, applied.size());
    EXPECT_EQ("p4.bmp", Shown(8));
    EXPECT_EQ(0, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, PerMonitorOnADesktopThatShowsOnePictureTakesOneEntryAndPassesNoneOver)
{
    MakeGroup(5);
    Settings::WriteValue(Settings::kOpPerMonitor, "1");
    changer.layout = *ParseMonitorLayout("DP-1=1920x1080+0+0,DP-2=1280x1024+1920+0");
    changer.desktopShowsPerMonitor = false;
    ChangeSchedule schedule = MakeSchedule();
    for (int i = 0; i < 3; ++i)
        schedule.NextWallPaper();
    // The change still goes through the per-monitor path (so the desktop's refusal is said), one entry each.
    EXPECT_EQ((std::vector<size_t>{1, 1, 1}), changer.perMonitorChanges);
    EXPECT_EQ("3", Settings::ReadUseIndexText());
    schedule.Back();
    EXPECT_EQ("p1.bmp", Shown(3));
    EXPECT_EQ(2, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, PerMonitorRandomPicksDistinctEntriesWhileTheGroupHasEnough)
{
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpPerMonitor, "1");
    changer.layout = *ParseMonitorLayout("800x600+0+0,800x600+800+0,800x600+1600+0");
    std::vector<int32_t> counts;
    // A generator that always says 0 still gives three different entries.
    ChangeSchedule schedule(changer, [&](int32_t count) {
        counts.push_back(count);
        return 0;
    });
    MakeGroup(4);
    schedule.NextWallPaper();
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2}), schedule.ShownIndices);
    EXPECT_EQ((std::vector<int32_t>{4, 3, 2}), counts);
    EXPECT_EQ(3, schedule.CurrentIndex);

    // Two entries for three monitors: both, then one of them again.
    MakeGroup(2);
    schedule.NextWallPaper();
    EXPECT_EQ((std::vector<int32_t>{0, 1, 0}), schedule.ShownIndices);
    // A group of one shows its entry on every monitor.
    MakeGroup(1);
    schedule.NextWallPaper();
    EXPECT_EQ((std::vector<int32_t>{0, 0, 0}), schedule.ShownIndices);
    EXPECT_EQ(0, schedule.CurrentIndex);
}

TEST_F(ScheduleTest, PerMonitorWithoutRepeatsWalksTheRoundMonitorByMonitor)
{
    MakeGroup(7);
    Settings::WriteValue(Settings::kOp3Checked, "1");
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    Settings::WriteValue(Settings::kOpPerMonitor, "1");
    changer.layout = *ParseMonitorLayout("HDMI-1=1920x1080+0+0,HDMI-2=1920x1080+1920+0");
    std::mt19937 random(11);
    ChangeSchedule schedule(
        changer, [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); });
    for (int i = 0; i < 70; ++i)
        schedule.NextWallPaper();
    ASSERT_EQ(140u, applied.size());
    for (size_t start = 0; start < 140; start += 7) {
        std::set<std::string> round;
        for (size_t i = start; i < start + 7; ++i)
            round.insert(Shown(i));
        EXPECT_EQ(7u, round.size()) << "round from " << start;
        if (start > 0) {
            EXPECT_NE(Shown(start - 1), Shown(start)); // a round never starts with the one that ended the last
        }
    }
}
