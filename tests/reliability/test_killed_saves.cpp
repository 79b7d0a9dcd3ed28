// A process killed at any moment of a save (kill -9 while it saves over and over) leaves the old or
// the new file, whole: never a truncated or mixed one, and never a stray temporary file that a
// reader would mistake for a group.
#include "SaveFixtures.h"
#include "TempHome.h"
#include "ini/IniStore.h"
#include "picture/Bitmap.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs `save(i)` for i = 0, 1, 2, ... in a child until it is killed at a random moment, then checks
// that the file holds one of the allowed images. Repeats `rounds` times.
void KillWhileSaving(const std::string &path, const std::function<void(int)> &save,
                     const std::vector<std::string> &allowed, int rounds)
{
    // Kill moments spread over the child's first two or three saves, however fast this machine
    // (or this sanitizer build) saves, so kills land before, between and inside saves.
    const auto t0 = std::chrono::steady_clock::now();
    save(0);
    save(1);
    const auto twoSaves =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
    const unsigned span = unsigned(std::max<long long>(twoSaves * 5 / 4, 2000));
    std::mt19937 random(20261208);
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                save(i);
        }
        ::usleep(500 + random() % span);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saving child failed by itself";
        const std::string now = ReadFileBytes(path);
        const auto match = std::find(allowed.begin(), allowed.end(), now);
        ASSERT_TRUE(match != allowed.end())
            << "round " << round << ": a file of " << now.size() << " bytes matches no complete save";
    }
}

// The visible names in the folder: the target only (temporary files are hidden dot files).
int VisibleFiles(const std::string &folder)
{
    int n = 0;
    for (auto &e : std::filesystem::directory_iterator(folder))
        n += e.path().filename().string()[0] != '.';
    return n;
}

} // namespace

TEST(KilledSave, IniFlushLeavesOldOrNewFile)
{
    TempHome home;
    const std::string path = home.File("Tapisto.ini");
    const std::string a = home.File("a.ini"), b = home.File("b.ini");
    WriteIniKeys(a, 1500, "first value ");
    WriteIniKeys(b, 800, "the second, different value ");
    const std::vector<std::string> allowed = {ReadFileBytes(a), ReadFileBytes(b)};
    WriteFileBytes(path, allowed[0]);
    std::filesystem::remove(a);
    std::filesystem::remove(b);
    KillWhileSaving(
        path,
        [&](int i) {
            // The program's way: a fresh store, the writes, the flush.
            TIniStoreEx ini(path);
            ini.EraseSection("Main");
            if (i % 2)
                for (int k = 0; k < 1500; ++k)
                    ini.WriteString("Main", "Key" + std::to_string(k), "first value " + std::to_string(k));
            else
                for (int k = 0; k < 800; ++k)
                    ini.WriteString("Main", "Key" + std::to_string(k),
                                    "the second, different value " + std::to_string(k));
            ini.Flush();
        },
        allowed, 30);
    EXPECT_EQ(1, VisibleFiles(home.Path()));
}

TEST(KilledSave, ListSaveLeavesOldOrNewGroup)
{
    TempHome home;
    const std::string path = home.File("group.dat");
    const WallPaperList first = MakeList(4000, "first");
    const WallPaperList second = MakeList(1000, "second");
    WriteWallPaperList(path, second);
    const std::string secondImage = ReadFileBytes(path);
    WriteWallPaperList(path, first);
    const std::string firstImage = ReadFileBytes(path);
    KillWhileSaving(
        path, [&](int i) { WriteWallPaperList(path, i % 2 ? first : second); }, {firstImage, secondImage}, 25);
    EXPECT_EQ(1, VisibleFiles(home.Path()));
}

TEST(KilledSave, OutputBitmapLeavesOldOrNewPicture)
{
    TempHome home;
    const std::string path = home.File("Tapisto_WallPaper.bmp");
    TBitmap red, blue;
    FillBitmap(red, 400, 300, 0xFF0000);
    FillBitmap(blue, 300, 200, 0x0000FF);
    const std::vector<std::string> allowed = {red.SaveToBytes(), blue.SaveToBytes()};
    red.SaveToFile(path);
    KillWhileSaving(
        path, [&](int i) { (i % 2 ? red : blue).SaveToFile(path); }, allowed, 30);
    EXPECT_EQ(1, VisibleFiles(home.Path()));
}
