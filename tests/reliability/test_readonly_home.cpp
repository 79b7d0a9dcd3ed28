// A home folder on a file system that turned read-only: every save reports an error, reads go on
// working, and no file changes.
#include "SaveFixtures.h"
#include "SmallDisk.h"
#include "TempHome.h"
#include "ini/IniStore.h"
#include "picture/Bitmap.h"
#include "platform/Exceptions.h"
#include "schedule/Settings.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Points TAPISTO_HOME at the small disk for one test.
class HomeOn {
public:
    explicit HomeOn(const std::string &folder) { ::setenv("TAPISTO_HOME", folder.c_str(), 1); }
    ~HomeOn() { ::unsetenv("TAPISTO_HOME"); }
};

} // namespace

TEST(ReadOnlyHome, SavesReportErrorsAndLoseNothing)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    HomeOn home(disk.Path());
    Settings::WriteSchedule("group.dat", "0", "5", "0");
    Settings::WriteUseIndex(4);
    const std::string ini = Settings::SettingsFilePath();
    const std::string group = disk.Path() + "group.dat";
    const std::string other = disk.Path() + "other.dat";
    const std::string bitmapPath = Settings::DefaultWallPaperPath();
    WriteWallPaperList(group, MakeList(5, "home"));
    WriteWallPaperList(other, MakeList(2, "other"));
    TBitmap bitmap;
    FillBitmap(bitmap, 8, 8, 0x00FF00);
    bitmap.SaveToFile(bitmapPath);
    const std::string iniBefore = ReadFileBytes(ini);
    const std::string groupBefore = ReadFileBytes(group);
    const std::string otherBefore = ReadFileBytes(other);
    const std::string bitmapBefore = ReadFileBytes(bitmapPath);
    ASSERT_TRUE(disk.MakeReadOnly());

    EXPECT_THROW(Settings::WriteUseIndex(5), EInOutError);
    EXPECT_THROW(Settings::WriteFlag(Settings::kOp3Checked, true), EInOutError);
    EXPECT_THROW(Settings::WriteSchedule("other.dat", "1", "0", "0"), EInOutError);
    EXPECT_THROW(WriteWallPaperList(group, MakeList(1, "new")), EInOutError);
    EXPECT_THROW(WriteWallPaperList(other, {}), EInOutError); // nor an emptied one
    EXPECT_THROW(WriteWallPaperList(disk.Path() + "brand_new.dat", MakeList(1, "x")), EInOutError);
    TBitmap next;
    FillBitmap(next, 16, 16, 0x0000FF);
    EXPECT_THROW(next.SaveToFile(bitmapPath), EInOutError);

    // Reads still work and see the old values.
    EXPECT_EQ("4", Settings::ReadUseIndexText());
    EXPECT_EQ("group.dat", Settings::ReadNextSettings().useSection);
    EXPECT_EQ(MakeList(5, "home"), ReadWallPaperList(group));
    EXPECT_EQ(iniBefore, ReadFileBytes(ini));
    EXPECT_EQ(groupBefore, ReadFileBytes(group));
    EXPECT_EQ(otherBefore, ReadFileBytes(other));
    EXPECT_EQ(bitmapBefore, ReadFileBytes(bitmapPath));
    EXPECT_EQ(5, CountFiles(disk.Path())); // the four files and the schedule's lock file
}
