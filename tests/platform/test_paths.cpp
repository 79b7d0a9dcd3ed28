#include "platform/Encoding.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

TEST(Paths, SplitKeepsSeparatorWithFolder)
{
    EXPECT_EQ("/home/u/pics/", SplitPath("/home/u/pics/sea.jpg").folder);
    EXPECT_EQ("sea.jpg", SplitPath("/home/u/pics/sea.jpg").name);
    EXPECT_EQ("C:\\pics\\", SplitPath("C:\\pics\\sea.jpg").folder);
    EXPECT_EQ("", SplitPath("sea.jpg").folder);
    EXPECT_EQ("", SplitPath("/tmp/").name);
}

TEST(Paths, SecondByteBackslashIsNotASeparator)
{
    // "ソ" is 0x83 0x5C: a folder named after it must not be split inside the character.
    const std::string path = Utf8ToCp932("/p/ソ.bmp");
    EXPECT_EQ("/p/", SplitPath(path).folder);
    EXPECT_EQ(Utf8ToCp932("ソ.bmp"), SplitPath(path).name);
    const std::string tail = Utf8ToCp932("C:\\表");
    EXPECT_EQ("C:\\", SplitPath(tail).folder);
}

TEST(Paths, ExtensionOfNamePartOnly)
{
    EXPECT_EQ(".JPG", ExtractFileExt("/a.b/photo.JPG"));
    EXPECT_EQ("", ExtractFileExt("/a.b/photo"));
    EXPECT_EQ(".gz", ExtractFileExt("x.tar.gz"));
    EXPECT_EQ(".", ExtractFileExt("x."));
}

TEST(Paths, TrailingSeparatorAndJoin)
{
    EXPECT_EQ("", IncludeTrailingSeparator(""));
    EXPECT_EQ("/a/", IncludeTrailingSeparator("/a"));
    EXPECT_EQ("/a/", IncludeTrailingSeparator("/a/"));
    EXPECT_EQ("/a/b.dat", JoinPath("/a", "b.dat"));
    // A folder ending in a double-byte character whose second byte is 0x5C still needs a separator.
    const std::string folder = Utf8ToCp932("/ソ");
    EXPECT_EQ(folder + "/", IncludeTrailingSeparator(folder));
}
