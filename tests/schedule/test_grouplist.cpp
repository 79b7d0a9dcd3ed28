#include "schedule/GroupList.h"

#include "platform/Encoding.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(GroupList, OnlyPlainFilesEndingInDatInAnyCase)
{
    TempHome home;
    for (const char *name : {"a.dat", "B.DAT", "c.data", "d.dat.bak", "e.Dat", "dat", "Tapisto.ini"})
        WriteFileBytes(home.File(name), "");
    std::filesystem::create_directory(home.File("x.dat"));
    WriteFileBytes(home.File("壁紙.dat"), "");
    WriteFileBytes(home.File("two\nlines.dat"), ""); // no settings line could name it
    const std::vector<std::string> names = ListGroupFiles(home.Path());
    EXPECT_EQ((std::vector<std::string>{"a.dat", "B.DAT", "e.Dat", Utf8ToCp932("壁紙.dat")}), names);
}

TEST(GroupList, MissingFolderGivesNothingAndMatchingIsExact)
{
    EXPECT_TRUE(ListGroupFiles("/nonexistent/folder/").empty());
    const std::vector<std::string> names{"a.dat", "B.DAT"};
    EXPECT_TRUE(IsListedGroup("B.DAT", names));
    EXPECT_FALSE(IsListedGroup("b.dat", names));
    EXPECT_FALSE(IsListedGroup("", names));
}
