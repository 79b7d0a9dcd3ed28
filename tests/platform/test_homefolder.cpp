#include "platform/HomeFolder.h"

#include <gtest/gtest.h>

TEST(HomeFolder, RuleOrder)
{
    HomeFolderInputs in;
    in.executableFolder = "/opt/tapisto";
    in.executableFolderWritable = true;
    in.xdgConfigHome = "/x";
    in.userHome = "/home/u";
    in.tapistoHome = "/t";
    EXPECT_EQ("/t/", ChooseHomeFolder(in));
    in.tapistoHome.reset();
    EXPECT_EQ("/opt/tapisto/", ChooseHomeFolder(in));
    in.executableFolderWritable = false;
    EXPECT_EQ("/x/tapisto/", ChooseHomeFolder(in));
    in.xdgConfigHome.reset();
    EXPECT_EQ("/home/u/.config/tapisto/", ChooseHomeFolder(in));
}
