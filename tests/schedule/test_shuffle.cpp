#include "schedule/ShuffleOrder.h"

#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>

namespace {

// Pictures p0.bmp … of a group of `count` entries.
std::vector<std::string> Pictures(int count)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        paths.push_back("p" + std::to_string(i) + ".bmp");
    return paths;
}

class ShuffleTest : public ::testing::Test {
protected:
    ShuffleOrder::RandomPick Seeded(unsigned seed)
    {
        random.seed(seed);
        return [this](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); };
    }

    // One change as the schedule makes it: a fresh object reads the stored round, takes the next
    // entry and stores the round again.
    int32_t Change(const std::vector<std::string> &paths)
    {
        ShuffleOrder order(Seeded(++seed));
        order.Load(file, "g.dat");
        const int32_t taken = order.Take(paths);
        order.Store(file, "g.dat");
        return taken;
    }

    ShuffleOrder Stored()
    {
        ShuffleOrder order(Seeded(0));
        order.Load(file, "g.dat");
        return order;
    }

    TempHome home;
    std::string file = ShuffleFilePath();
    std::mt19937 random;
    unsigned seed = 1;
};

bool IsPermutation(std::vector<int32_t> numbers, int count)
{
    std::sort(numbers.begin(), numbers.end());
    std::vector<int32_t> all(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        all[static_cast<size_t>(i)] = i;
    return numbers == all;
}

} // namespace

TEST_F(ShuffleTest, EveryRoundShowsEachEntryOnceAndDoesNotStartWithTheLastOne)
{
    const std::vector<std::string> paths = Pictures(7);
    std::vector<int32_t> shown;
    std::optional<ShuffleOrder> order;
    for (int i = 0; i < 1001; ++i) {
        // A restart every 37 changes, mostly in the middle of a round.
        if (i % 37 == 0) {
            if (order)
                order->Store(file, "g.dat");
            order.emplace(Seeded(++seed));
            order->Load(file, "g.dat");
        }
        shown.push_back(order->Take(paths));
    }
    size_t rounds = 0;
    for (size_t start = 0; start + 7 <= shown.size(); start += 7, ++rounds) {
        const std::vector<int32_t> round(shown.begin() + static_cast<long>(start),
                                         shown.begin() + static_cast<long>(start + 7));
        EXPECT_TRUE(IsPermutation(round, 7)) << "round " << rounds;
        if (start > 0) {
            EXPECT_NE(shown[start - 1], shown[start]) << "round " << rounds;
        }
    }
    EXPECT_EQ(143u, rounds);
    // The rounds are shuffled, not one order over and over.
    std::set<std::vector<int32_t>> orders;
    for (size_t start = 0; start + 7 <= shown.size(); start += 7)
        orders.insert({shown.begin() + static_cast<long>(start), shown.begin() + static_cast<long>(start + 7)});
    EXPECT_GT(orders.size(), 100u);
}

TEST_F(ShuffleTest, AGeneratorThatAlwaysSaysZeroStillAvoidsTheLastEntry)
{
    const std::vector<std::string> paths = Pictures(3);
    ShuffleOrder order([](int32_t) { return 0; });
    std::vector<int32_t> shown;
    shown.reserve(9);
    for (int i = 0; i < 9; ++i)
        shown.push_back(order.Take(paths));
    for (size_t start = 3; start < shown.size(); start += 3)
        EXPECT_NE(shown[start - 1], shown[start]);
}

TEST_F(ShuffleTest, ANewEntryCanComeNextInTheCurrentRound)
{
    ShuffleOrder order([](int32_t) { return 0; }); // every new entry goes to the front of the rest
    order.Take(Pictures(3));
    EXPECT_EQ(3, order.Take(Pictures(4)));
    EXPECT_EQ(4u, order.Round().size());
}

TEST_F(ShuffleTest, TheRoundSurvivesARestart)
{
    const std::vector<std::string> paths = Pictures(7);
    ShuffleOrder before(Seeded(7));
    std::vector<int32_t> shown;
    shown.reserve(7);
    for (int i = 0; i < 3; ++i)
        shown.push_back(before.Take(paths));
    before.Store(file, "g.dat");

    ShuffleOrder after = Stored();
    EXPECT_EQ(before.Round(), after.Round());
    EXPECT_EQ(3u, after.ShownCount());
    for (int i = 0; i < 4; ++i)
        shown.push_back(after.Take(paths));
    EXPECT_EQ(before.Round(), shown);
    // Another group's round is kept apart.
    ShuffleOrder other(Seeded(8));
    other.Load(file, "h.dat");
    EXPECT_TRUE(other.Round().empty());
}

TEST_F(ShuffleTest, ABrokenStoredRoundIsRebuiltWithoutError)
{
    const std::vector<std::string> paths = Pictures(5);
    ShuffleOrder good(Seeded(3));
    good.Take(paths);
    good.Store(file, "g.dat");
    const std::string valid = ReadFileBytes(file);
    ASSERT_NE(std::string::npos, valid.find("Entry4="));

    const std::string broken[] = {
        valid.substr(0, valid.find("Entry3=")),                           // cut short
        valid.substr(0, valid.find("Entry4=") + 12),                      // cut inside the last line
        "[g.dat]\r\nCount=abc\r\nShown=0\r\n",                            // not a number
        "[g.dat]\r\nCount=1\r\nShown=2\r\nEntry0=0,0123456789abcdef\r\n", // more shown than there are
        "[g.dat]\r\nCount=1\r\nShown=0\r\nEntry0=-1,0123456789abcdef\r\n",
        "[g.dat]\r\nCount=1\r\nShown=0\r\nEntry0=0,0123456789abcdeg\r\n",
        "[g.dat]\r\nCount=2000000000\r\nShown=0\r\n",
        std::string("\x00\xff\x1a[g.dat]", 8),
    };
    for (const std::string &bytes : broken) {
        WriteFileBytes(file, bytes);
        ShuffleOrder order = Stored();
        EXPECT_TRUE(order.Round().empty()) << bytes;
        order.Take(paths);
        EXPECT_TRUE(IsPermutation(order.Round(), 5)) << bytes;
        EXPECT_EQ(1u, order.ShownCount()) << bytes;
    }

    // A round stored for other pictures under the same name matches nothing: a fresh round.
    good.Store(file, "g.dat");
    ShuffleOrder mismatched = Stored();
    const std::vector<std::string> others = {"x.bmp", "y.bmp", "z.bmp"};
    mismatched.Take(others);
    EXPECT_TRUE(IsPermutation(mismatched.Round(), 3));
    EXPECT_EQ(1u, mismatched.ShownCount());

    // A folder in the file's place reads as no round; storing then fails with an error.
    std::remove(file.c_str());
    std::filesystem::create_directory(file);
    ShuffleOrder blocked = Stored();
    EXPECT_EQ(0, blocked.Take(Pictures(1)));
    EXPECT_THROW(blocked.Store(file, "g.dat"), EInOutError);
}

TEST_F(ShuffleTest, EditsBetweenChangesAreAbsorbedWithoutStartingOver)
{
    std::vector<std::string> paths = Pictures(7);
    ShuffleOrder order(Seeded(11));
    std::set<std::string> shown;
    for (int i = 0; i < 3; ++i)
        shown.insert(paths[static_cast<size_t>(order.Take(paths))]);
    const std::vector<int32_t> round = order.Round();
    const std::string shownRemoved = paths[static_cast<size_t>(round[1])];
    const std::string restRemoved = paths[static_cast<size_t>(round[5])];

    // The editor removes one shown and one waiting entry and inserts two pictures at the top,
    // so every remaining entry has a new number.
    std::vector<std::string> edited = {"new1.bmp", "new2.bmp"};
    for (const std::string &path : paths)
        if (path != shownRemoved && path != restRemoved)
            edited.push_back(path);
    std::vector<std::string> rest = {edited[static_cast<size_t>(order.Take(edited))]};
    EXPECT_EQ(3u, order.ShownCount()); // the two shown entries left, and this one
    EXPECT_EQ(7u, order.Round().size());
    while (order.ShownCount() < order.Round().size())
        rest.push_back(edited[static_cast<size_t>(order.Take(edited))]);
    // The rest of the round: the three waiting entries that are left and the two new ones.
    std::set<std::string> expected = {"new1.bmp", "new2.bmp"};
    for (const std::string &path : edited)
        if (!shown.count(path) && path.rfind("new", 0) != 0)
            expected.insert(path);
    EXPECT_EQ(5u, rest.size());
    EXPECT_EQ(expected, std::set<std::string>(rest.begin(), rest.end()));
    EXPECT_FALSE(std::set<std::string>(rest.begin(), rest.end()).count(restRemoved));

    // Shrinking the group below a stored number drops it; the round still covers the group.
    order.Take(edited);
    const std::vector<std::string> shorter(edited.begin(), edited.begin() + 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(order.Take(shorter), 2);
    EXPECT_TRUE(IsPermutation(order.Round(), 2));
}

TEST_F(ShuffleTest, AGroupOfOneAlwaysShowsEntryZero)
{
    const std::vector<std::string> paths = Pictures(1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(0, Change(paths));
    EXPECT_EQ((std::vector<int32_t>{0}), Stored().Round());
}

TEST_F(ShuffleTest, TheGroupsPathsAreReadAsEachEntryIsRead)
{
    const std::string group = home.File("g.dat");
    WriteFileBytes(group, "[Main]\r\nIdx=4\r\nFILE0=a.bmp,,,\r\nfile1=b.bmp\r\nfile1=dup.bmp,,,\r\n"
                          "file02=c.bmp,,,\r\nfile 3=d.bmp,,,\r\nfile3\r\n[Other]\r\nfile4=x.bmp,,,\r\n");
    TIniStoreEx ini(group);
    const std::vector<std::string> paths = GroupPicturePaths(ini, 4);
    std::vector<std::string> oneByOne;
    for (int32_t k = 0; k <= 4; ++k)
        oneByOne.push_back(ReadWallPaperEntry(ini, k).PicturePath);
    EXPECT_EQ(oneByOne, paths);
    EXPECT_EQ((std::vector<std::string>{"a.bmp", "", "", "", ""}), paths); // "b.bmp" has no comma
    // A count far beyond the file gives no more entries than the file has lines.
    EXPECT_EQ(7u, GroupPicturePaths(ini, 2000000000).size());
    EXPECT_EQ(0, ShuffleOrder([](int32_t) { return 0; }).Take({}));
}
