#include "TempHome.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "schedule/Settings.h"

#include <gtest/gtest.h>

TEST(Settings, MissingFileGivesTheDefaults)
{
    TempHome home;
    EXPECT_EQ(home.File("Tapisto.ini"), Settings::SettingsFilePath());
    const Settings::StartSettings start = Settings::ReadStartSettings();
    EXPECT_FALSE(start.startInTray);
    EXPECT_EQ(home.File("Tapisto_WallPaper.bmp"), start.wallPaperPath);
    const Settings::GroupSettings group = Settings::ReadGroupSettings();
    EXPECT_EQ("", group.useSection);
    EXPECT_EQ("", group.intervalHH);
    EXPECT_FALSE(group.op1 || group.op2 || group.op3);
    EXPECT_TRUE(group.opSusie); // the bundled plug-ins are on until switched off
    EXPECT_FALSE(Settings::ReadScrPaused());
    EXPECT_EQ("", Settings::ReadUseIndexText());
    EXPECT_FALSE(FileExists(home.File("Tapisto.ini")));
}

TEST(Settings, OnlyTheText1IsOnAndKeysIgnoreCase)
{
    TempHome home;
    WriteFileBytes(home.File("Tapisto.ini"), "[main]\r\nop1checked=1\r\nOp2Checked=yes\r\nOP3CHECKED= 1\r\n"
                                             "OpSusie=1\r\nScr=1\r\nWindows=/tmp/w.bmp\r\nuseSection=g.dat\r\n"
                                             "IntervalHH=+01\r\nIntervalSS=10\r\n");
    const Settings::StartSettings start = Settings::ReadStartSettings();
    EXPECT_TRUE(start.startInTray);
    EXPECT_EQ("/tmp/w.bmp", start.wallPaperPath);
    const Settings::GroupSettings group = Settings::ReadGroupSettings();
    EXPECT_EQ("g.dat", group.useSection);
    EXPECT_EQ("+01", group.intervalHH);
    EXPECT_EQ("", group.intervalMM);
    EXPECT_EQ("10", group.intervalSS);
    EXPECT_TRUE(group.op1);
    EXPECT_FALSE(group.op2);
    EXPECT_FALSE(group.op3);
    EXPECT_TRUE(group.opSusie);
    EXPECT_TRUE(Settings::ReadScrPaused());
    const Settings::NextSettings next = Settings::ReadNextSettings();
    EXPECT_EQ("g.dat", next.useSection);
    EXPECT_FALSE(next.random);
}

TEST(Settings, WritesGoStraightToTheFileAndEditsAreSeenAtOnce)
{
    TempHome home;
    const std::string path = home.File("Tapisto.ini");
    Settings::WriteSchedule("g.dat", "0", "5", "00");
    Settings::WriteFlag(Settings::kOp3Checked, true);
    Settings::WriteUseIndex(4);
    Settings::WriteFlag(Settings::kOp3Checked, false);
    EXPECT_EQ("[Main]\r\nUseSection=g.dat\r\nIntervalHH=0\r\nIntervalMM=5\r\nIntervalSS=00\r\n"
              "Op3Checked=0\r\nUseIndex=4\r\n\r\n",
              ReadFileBytes(path));

    WriteFileBytes(path, "[Main]\r\nOp3Checked=1\r\nUseIndex=x\r\n");
    EXPECT_TRUE(Settings::ReadNextSettings().random);
    EXPECT_EQ("x", Settings::ReadUseIndexText());
    Settings::WriteValue(Settings::kWindows, "/o.bmp");
    EXPECT_EQ("/o.bmp", Settings::ReadValue(Settings::kWindows));
    EXPECT_TRUE(Settings::ReadFlag(Settings::kOp3Checked));
}

TEST(Settings, PluginsAreOnUntilTheUserSwitchesThemOff)
{
    TempHome home;
    const std::string path = home.File("Tapisto.ini");
    WriteFileBytes(path, "[Main]\r\nUseSection=g.dat\r\nOp3Checked=1\r\n");
    EXPECT_TRUE(Settings::ReadGroupSettings().opSusie);
    EXPECT_TRUE(Settings::ReadFlag(Settings::kOpSusie));
    EXPECT_FALSE(Settings::ReadFlag(Settings::kOpNoRepeat)); // other flags stay off while absent

    Settings::WriteFlag(Settings::kOpSusie, false);
    EXPECT_FALSE(Settings::ReadGroupSettings().opSusie);
    EXPECT_FALSE(Settings::ReadFlag(Settings::kOpSusie));
    WriteFileBytes(path, "[Main]\r\nopsusie=\r\n"); // present but empty: only "1" is on
    EXPECT_FALSE(Settings::ReadGroupSettings().opSusie);
}

TEST(Settings, AValueWithALineEndIsRefusedAndTheFileKept)
{
    TempHome home;
    Settings::WriteValue(Settings::kWindows, "/o.bmp");
    const std::string before = ReadFileBytes(home.File("Tapisto.ini"));
    EXPECT_THROW(Settings::WriteValue(Settings::kWindows, "/a\nUseIndex=7.bmp"), EInOutError);
    EXPECT_THROW(Settings::WriteSchedule("g\r.dat", "0", "0", "10"), EInOutError);
    EXPECT_EQ(before, ReadFileBytes(home.File("Tapisto.ini")));
}
