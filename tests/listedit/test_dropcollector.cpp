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
    DropSkips skipped;

    // The examples of a reason, relative to the root.
    std::vector<std::string> Examples(DropSkipReason reason, const std::string &root) const
    {
        std::vector<std::string> out;
        for (const std::string &path : skipped[reason].examples)
            out.push_back(path.substr(root.size()));
        return out;
    }
};

Collected Collect(const std::string &root, const std::vector<std::string> &dropped, bool plugins = false)
{
    Collected out;
    DropCollector collector(kFilter, plugins, [&](const std::string &cp932) {
        out.paths.push_back(Cp932ToUtf8(cp932).substr(root.size()));
    });
    collector.Collect(dropped);
    out.skipped = collector.Skipped();
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
    const std::string &root = home.Path();
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
    EXPECT_EQ((std::vector<std::string>{"noext", "notes.txt", "top/README", "top/sub1/deeper/skip.txt"}),
              got.Examples(DropSkipReason::NotPicture, root));
    EXPECT_EQ(4u, got.skipped[DropSkipReason::NotPicture].count);
    EXPECT_EQ(0u, got.skipped[DropSkipReason::UnreadableFolder].count);
}

TEST(DropCollector, FolderLinksAreWalkedOnceAndUnreadableFoldersSkipped)
{
    TempHome home;
    const std::string &root = home.Path();
    Touch(root + "tree/a.jpg");
    Touch(root + "tree/inner/b.jpg");
    fs::create_directory_symlink(root + "tree", root + "tree/inner/loop");
    Touch(root + "tree/locked/c.jpg");
    fs::permissions(root + "tree/locked", fs::perms::none);

    const Collected got = Collect(root, {root + "tree", root + "gone"});
    fs::permissions(root + "tree/locked", fs::perms::owner_all);
    std::vector<std::string> expected = {"tree/a.jpg", "tree/inner/b.jpg"};
    std::vector<std::string> unreadable = {"tree/locked/"};
    if (::geteuid() == 0) { // permissions do not stop root
        expected.push_back("tree/locked/c.jpg");
        unreadable.clear();
    }
    EXPECT_EQ(expected, got.paths);
    EXPECT_EQ(unreadable, got.Examples(DropSkipReason::UnreadableFolder, root));
    EXPECT_EQ(std::vector<std::string>{"gone"}, got.Examples(DropSkipReason::NotPicture, root));
}

TEST(DropCollector, SeparateDroppedItemsAreWalkedIndependently)
{
    TempHome home;
    const std::string &root = home.Path();
    Touch(root + "A/a.jpg");
    Touch(root + "A/B/b.jpg");
    fs::create_directory_symlink(root + "A/B", root + "A/alsoB"); // a second way in, no loop

    // Within one dropped folder B is walked once, at the first path that reaches it; dropped twice,
    // A gives its pictures twice.
    EXPECT_EQ((std::vector<std::string>{"A/a.jpg", "A/a.jpg", "A/alsoB/b.jpg", "A/alsoB/b.jpg"}),
              Collect(root, {root + "A", root + "A"}).paths);
    EXPECT_EQ((std::vector<std::string>{"A/B/b.jpg", "A/a.jpg", "A/alsoB/b.jpg"}),
              Collect(root, {root + "A/B", root + "A"}).paths);
}

TEST(DropCollector, DiamondOfFolderLinksIsWalkedOncePerFolder)
{
    // Each level links twice to the next: walked path by path, the last level would be reached
    // 2^17 times (131072 rows and seconds of a frozen window).
    TempHome home;
    const std::string &root = home.Path();
    constexpr int kDepth = 17;
    for (int level = 0; level <= kDepth; ++level)
        Touch(root + "L" + std::to_string(level) + "/p" + std::to_string(level) + ".jpg");
    for (int level = 0; level < kDepth; ++level) {
        const std::string next = root + "L" + std::to_string(level + 1);
        fs::create_directory_symlink(next, root + "L" + std::to_string(level) + "/left");
        fs::create_directory_symlink(next, root + "L" + std::to_string(level) + "/right");
    }
    const Collected got = Collect(root, {root + "L0"});
    ASSERT_EQ(size_t(kDepth + 1), got.paths.size());
    EXPECT_EQ("L0/p0.jpg", got.paths[0]);
    EXPECT_EQ("L0/left/p1.jpg", got.paths[1]);
    EXPECT_EQ("L0/left/left/p2.jpg", got.paths[2]);
    EXPECT_TRUE(got.skipped.Empty());
}

TEST(DropCollector, PluginFormatsAreSkippedForTheOptionOrTheMissingPlugin)
{
    TempHome home;
    const std::string &root = home.Path();
    for (const char *name : {"a.png", "b.GIF", "c.webp", "d.tif", "e.tiff", "f.doc", "g.jpg"})
        Touch(root + "d/" + name);

    const Collected off = Collect(root, {root + "d"}, false);
    EXPECT_EQ(std::vector<std::string>{"d/g.jpg"}, off.paths);
    EXPECT_EQ(5u, off.skipped[DropSkipReason::PluginsOff].count);
    EXPECT_EQ(0u, off.skipped[DropSkipReason::NoPlugin].count);
    EXPECT_EQ(std::vector<std::string>{"d/f.doc"}, off.Examples(DropSkipReason::NotPicture, root));

    // With the option on the filter would hold these formats; here no plug-in registered them.
    const Collected on = Collect(root, {root + "d"}, true);
    EXPECT_EQ(0u, on.skipped[DropSkipReason::PluginsOff].count);
    EXPECT_EQ(5u, on.skipped[DropSkipReason::NoPlugin].count);
    EXPECT_EQ(1u, on.skipped[DropSkipReason::NotPicture].count);
}

TEST(DropSkipMessage, CountsEachReasonWithAFewNames)
{
    DropSkips skips;
    EXPECT_TRUE(skips.Empty());
    EXPECT_EQ("", DropSkipMessage(skips));
    for (int i = 1; i <= 7; ++i)
        skips.Add(DropSkipReason::NotPicture, "/home/u/drop/note" + std::to_string(i) + ".txt");
    skips.Add(DropSkipReason::PluginsOff, "/home/u/drop/a.png");
    skips.Add(DropSkipReason::UnreadableFolder, "/home/u/drop/locked/");
    EXPECT_FALSE(skips.Empty());
    EXPECT_EQ(DropSkips::kExamples, skips[DropSkipReason::NotPicture].examples.size());

    EXPECT_EQ("7 個のファイルは画像ではないため追加しませんでした。\n"
              "\u3000note1.txt\n\u3000note2.txt\n\u3000note3.txt\n\u3000note4.txt\n\u3000note5.txt\n"
              "\u3000…ほか 2 個\n\n"
              "1 個のファイルは、メインウィンドウの「ツール」メニューの「Susieプラグインを使用」がオフのため"
              "追加しませんでした（オンにすると PNG・GIF・WebP・TIFF を読めます）。\n\u3000a.png\n\n"
              "1 個のフォルダーは読めない（アクセス権がないか、見つからない）ため、中の画像を追加できませんでした。\n"
              "\u3000/home/u/drop/locked/",
              DropSkipMessage(skips));
}

TEST(DropCollector, PathsThatCp932CannotHoldAreRefused)
{
    TempHome home;
    const std::string &root = home.Path();
    Touch(root + "d/ok.jpg");
    Touch(root + "d/\xF0\x9F\x98\x80.jpg"); // an emoji: no CP932 form
    Touch(root + "d/\xF0\x9F\x98\x80.txt"); // not a picture
    Touch(root + "\xF0\x9F\x98\x80 dir/e.jpg");
    Touch(root + "\xF0\x9F\x8C\x8A.bmp");

    const Collected got = Collect(root, {root + "\xF0\x9F\x8C\x8A.bmp", root + "d", root + "\xF0\x9F\x98\x80 dir"});
    EXPECT_EQ(std::vector<std::string>{"d/ok.jpg"}, got.paths);
    const std::vector<std::string> refused = {"\xF0\x9F\x8C\x8A.bmp", "\xF0\x9F\x98\x80 dir", "d/\xF0\x9F\x98\x80.jpg"};
    EXPECT_EQ(refused, got.Examples(DropSkipReason::NotCp932, root));
    // Not a picture whatever its name: skipped for what it is.
    EXPECT_EQ(std::vector<std::string>{"d/\xF0\x9F\x98\x80.txt"}, got.Examples(DropSkipReason::NotPicture, root));
}

TEST(DropCollector, TickCanStopALongWalk)
{
    TempHome home;
    const std::string &root = home.Path();
    for (int i = 0; i < 300; ++i)
        Touch(root + "many/p" + std::to_string(1000 + i) + ".jpg");
    int ticks = 0;
    size_t found = 0;
    std::vector<size_t> reported;
    DropCollector collector(
        kFilter, false, [&](const std::string &) { ++found; },
        [&](const DropCollector::Progress &progress) {
            reported.push_back(progress.pictures);
            EXPECT_EQ(root + "many/", progress.nativeFolder);
            EXPECT_EQ(1u, progress.folders);
            return ++ticks < 2;
        });
    collector.Collect({root + "many"});
    EXPECT_TRUE(collector.Stopped());
    EXPECT_EQ(2, ticks);
    EXPECT_GT(found, 0u);
    EXPECT_LT(found, 300u);
    ASSERT_EQ(2u, reported.size());
    EXPECT_LT(reported[0], reported[1]);
    EXPECT_EQ(found, reported[1]);
}
