#include "listedit/DropCollector.h"

#include "TempHome.h"
#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kFilter = "JPEG (*.jpg)|*.jpg|JPEG (*.jpeg)|*.jpeg|BMP (*.bmp)|*.bmp|ICO (*.ico)|*.ico";

void Touch(const fs::path &p)
{
    fs::create_directories(p.parent_path());
    WriteFileBytes(p.string(), "x");
}

struct Collected {
    std::vector<std::string> paths; // UTF-8, relative to the root
    std::vector<std::string> refused;
};

Collected Collect(const std::string &root, const std::vector<std::string> &dropped)
{
    Collected out;
    DropCollector collector(
        kFilter, [&](const std::string &cp932) { out.paths.push_back(Cp932ToUtf8(cp932).substr(root.size())); });
    collector.Collect(dropped);
    for (const std::string &r : collector.Refused())
        out.refused.push_back(r.substr(root.size()));
    return out;
}

} // namespace

TEST(IsPictureExtension, SubstringOfTheFilterAfterLowerCasing)
{
    EXPECT_TRUE(IsPictureExtension("photo.JPG", kFilter));
    EXPECT_TRUE(IsPictureExtension("photo.Jpeg", kFilter));
    EXPECT_TRUE(IsPictureExtension("photo.jp", kFilter)); // a partial extension is found as well
    EXPECT_FALSE(IsPictureExtension("photo.png", kFilter));
    EXPECT_FALSE(IsPictureExtension("README", kFilter));
    EXPECT_FALSE(IsPictureExtension("", kFilter));
    // Only the name counts: a dot in a folder is no extension.
    EXPECT_FALSE(IsPictureExtension("/pics.jpg/readme", kFilter));
    // "表" ends in the byte 0x5C: still no separator, and the extension after it is found.
    EXPECT_TRUE(IsPictureExtension(Utf8ToCp932("表.BMP"), kFilter));
}

TEST(DropCollector, FilesFirstThenFoldersLevelByLevel)
{
    TempHome home;
    const std::string root = home.Path();
    Touch(root + "single.JPG");
    Touch(root + "noext");
    Touch(root + "notes.txt");
    Touch(root + "top/b.JPG");
    Touch(root + "top/A.bmp");
    Touch(root + "top/README");
    Touch(root + "top/sub2/x.jpg");
    Touch(root + "top/sub1/y.jpeg");
    Touch(root + "top/sub1/deeper/z.ico");
    Touch(root + "top/sub1/deeper/skip.txt");
    Touch(root + "other/c.bmp");
    Touch(root + "other/.hidden.jpg");

    const Collected got = Collect(root, {root + "top", root + "single.JPG", root + "noext", root + "other",
                                         root + "notes.txt", root + "missing.jpg"});
    const std::vector<std::string> expected = {
        "single.JPG",  // dropped files first, whatever their place in the drop
        "missing.jpg", // not a folder, with a picture extension: taken as it is
        "top/A.bmp",
        "top/b.JPG", // each folder's entries in name order, letter case ignored
        "other/.hidden.jpg",
        "other/c.bmp",
        "top/sub1/y.jpeg",
        "top/sub2/x.jpg", // subfolders after every dropped folder
        "top/sub1/deeper/z.ico",
    };
    EXPECT_EQ(expected, got.paths);
    EXPECT_TRUE(got.refused.empty());
}

TEST(DropCollector, FolderLinksAreWalkedOnceAndUnreadableFoldersSkipped)
{
    TempHome home;
    const std::string root = home.Path();
    Touch(root + "tree/a.jpg");
    Touch(root + "tree/inner/b.jpg");
    fs::create_directory_symlink(root + "tree", root + "tree/inner/loop");
    Touch(root + "tree/locked/c.jpg");
    fs::permissions(root + "tree/locked", fs::perms::none);

    const Collected got = Collect(root, {root + "tree"});
    fs::permissions(root + "tree/locked", fs::perms::owner_all);
    std::vector<std::string> expected = {"tree/a.jpg", "tree/inner/b.jpg"};
    if (::geteuid() == 0) // permissions do not stop root
        expected.push_back("tree/locked/c.jpg");
    EXPECT_EQ(expected, got.paths);
}

TEST(DropCollector, AFolderReachedAgainOutsideALoopIsWalkedAgain)
{
    TempHome home;
    const std::string root = home.Path();
    Touch(root + "A/a.jpg");
    Touch(root + "A/B/b.jpg");
    fs::create_directory_symlink(root + "A/B", root + "A/alsoB"); // a second way in, no loop

    EXPECT_EQ(
        (std::vector<std::string>{"A/a.jpg", "A/a.jpg", "A/alsoB/b.jpg", "A/B/b.jpg", "A/alsoB/b.jpg", "A/B/b.jpg"}),
        Collect(root, {root + "A", root + "A"}).paths);
    EXPECT_EQ((std::vector<std::string>{"A/B/b.jpg", "A/a.jpg", "A/alsoB/b.jpg", "A/B/b.jpg"}),
              Collect(root, {root + "A/B", root + "A"}).paths);
}

TEST(DropCollector, PathsThatCp932CannotHoldAreRefused)
{
    TempHome home;
    const std::string root = home.Path();
    Touch(root + "d/ok.jpg");
    Touch(root + "d/\xF0\x9F\x98\x80.jpg"); // an emoji: no CP932 form
    Touch(root + "d/\xF0\x9F\x98\x80.txt"); // not a picture: ignored without a word
    Touch(root + "\xF0\x9F\x98\x80 dir/e.jpg");
    Touch(root + "\xF0\x9F\x8C\x8A.bmp");

    const Collected got = Collect(root, {root + "\xF0\x9F\x8C\x8A.bmp", root + "d", root + "\xF0\x9F\x98\x80 dir"});
    EXPECT_EQ(std::vector<std::string>{"d/ok.jpg"}, got.paths);
    const std::vector<std::string> refused = {"\xF0\x9F\x8C\x8A.bmp", "\xF0\x9F\x98\x80 dir", "d/\xF0\x9F\x98\x80.jpg"};
    EXPECT_EQ(refused, got.refused);
}

TEST(DropCollector, TickCanStopALongWalk)
{
    TempHome home;
    const std::string root = home.Path();
    for (int i = 0; i < 300; ++i)
        Touch(root + "many/p" + std::to_string(1000 + i) + ".jpg");
    int ticks = 0;
    size_t found = 0;
    DropCollector collector(
        kFilter, [&](const std::string &) { ++found; }, [&] { return ++ticks < 2; });
    collector.Collect({root + "many"});
    EXPECT_TRUE(collector.Stopped());
    EXPECT_EQ(2, ticks);
    EXPECT_GT(found, 0u);
    EXPECT_LT(found, 300u);
}
