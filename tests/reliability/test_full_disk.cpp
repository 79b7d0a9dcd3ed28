// A disk that fills up during a save: the previous file stays byte for byte, the error reaches the
// caller, no temporary file is left, and the save succeeds once there is room again.
#include "SaveFixtures.h"
#include "SmallDisk.h"
#include "TempHome.h"
#include "ini/IniStore.h"
#include "picture/Bitmap.h"
#include "platform/Exceptions.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(FullDisk, IniFlushKeepsOldFileAndStaysModified)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "Tapisto.ini";
    WriteIniKeys(path, 50, "old");
    const std::string before = ReadFileBytes(path);
    disk.Fill();

    TIniStoreEx ini(path);
    for (int i = 0; i < 2000; ++i)
        ini.WriteString("Main", "Key" + std::to_string(i), "a much longer new value " + std::to_string(i));
    try {
        ini.Flush();
        FAIL() << "a flush on a full disk must raise";
    } catch (const EInOutError &e) {
        EXPECT_NE(std::string::npos, e.Message().find("Tapisto.ini")) << e.Message();
    }
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_EQ(2, CountFiles(disk.Path())); // the file and the filler

    // With room again the same store writes everything it holds.
    std::filesystem::remove(disk.Path() + "filler");
    ini.Flush();
    EXPECT_FALSE(ini.Modified());
    TIniStoreEx reloaded(path);
    EXPECT_EQ("a much longer new value 1999", reloaded.ReadString("Main", "Key1999", ""));
}

TEST(FullDisk, IniDestructorFlushFailsQuietlyAndKeepsFile)
{
    SmallDisk disk(128);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "Tapisto.ini";
    WriteIniKeys(path, 10, "old");
    const std::string before = ReadFileBytes(path);
    disk.Fill();
    {
        TIniStoreEx ini(path);
        ini.WriteString("Main", "UseIndex", std::string(200, '7'));
    }
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_EQ(2, CountFiles(disk.Path()));
}

TEST(FullDisk, ListSaveKeepsOldGroup)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "group.dat";
    WriteWallPaperList(path, MakeList(20, "old"));
    const std::string before = ReadFileBytes(path);
    disk.Fill();
    EXPECT_THROW(WriteWallPaperList(path, MakeList(3000, "new")), EInOutError);
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_EQ(MakeList(20, "old"), ReadWallPaperList(path));
    EXPECT_EQ(2, CountFiles(disk.Path()));
}

TEST(FullDisk, OutputBitmapKeepsPreviousWallpaper)
{
    SmallDisk disk(512);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "Tapisto_WallPaper.bmp";
    TBitmap old;
    FillBitmap(old, 40, 30, 0x336699);
    old.SaveToFile(path);
    const std::string before = ReadFileBytes(path);
    ASSERT_EQ(54u + 120u * 30u, before.size());
    disk.Fill();

    TBitmap next;
    FillBitmap(next, 300, 300, 0xFF0000); // 270 KB, more than is left
    EXPECT_THROW(next.SaveToFile(path), EInOutError);
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_EQ(2, CountFiles(disk.Path()));
}

// The disk fills part-way through the new file, not before its first byte.
TEST(FullDisk, SaveThatRunsOutMidwayKeepsOldFile)
{
    SmallDisk disk(200);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "group.dat";
    WriteWallPaperList(path, MakeList(400, "old")); // about 20 KB of 200 KB
    const std::string before = ReadFileBytes(path);
    EXPECT_THROW(WriteWallPaperList(path, MakeList(8000, "new")), EInOutError); // about 400 KB
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_EQ(1, CountFiles(disk.Path()));
}
