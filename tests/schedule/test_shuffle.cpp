#include "schedule/ShuffleOrder.h"

#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Exceptions.h"
#include "schedule/GroupFile.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <sys/stat.h>

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
        order.Load("g.dat");
        const int32_t taken = order.Take(paths);
        order.Store("g.dat");
        return taken;
    }

    ShuffleOrder Stored()
    {
        ShuffleOrder order(Seeded(0));
        order.Load("g.dat");
        return order;
    }

    TempHome home;
    std::string file = RoundFilePath("g.dat");
    std::mt19937 random;
    unsigned seed = 1;
};

// The hash that rounds of earlier versions kept of a path, as they wrote it.
std::string LegacyHash(const std::string &path)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : path) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

uint64_t ReadInode(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_ino) : 0;
}

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
                order->Store("g.dat");
            order.emplace(Seeded(++seed));
            order->Load("g.dat");
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
    before.Store("g.dat");

    ShuffleOrder after = Stored();
    EXPECT_EQ(before.Round(), after.Round());
    EXPECT_EQ(3u, after.ShownCount());
    for (int i = 0; i < 4; ++i)
        shown.push_back(after.Take(paths));
    EXPECT_EQ(before.Round(), shown);
    // Another group's round is kept apart.
    ShuffleOrder other(Seeded(8));
    other.Load("h.dat");
    EXPECT_TRUE(other.Round().empty());
}

TEST_F(ShuffleTest, ABrokenStoredRoundIsRebuiltWithoutError)
{
    const std::vector<std::string> paths = Pictures(5);
    ShuffleOrder good(Seeded(3));
    good.Take(paths);
    good.Store("g.dat");
    const std::string valid = ReadFileBytes(file);
    ShuffleOrder other(Seeded(4));
    other.Take(paths);
    other.Store("h.dat");

    auto flipped = [&](size_t at) {
        std::string bytes = valid;
        bytes[at] = char(bytes[at] ^ 0x40);
        return bytes;
    };
    std::string tornPosition = valid;
    tornPosition[8] = char(tornPosition[8] + 1); // the position written, its check not
    const std::string broken[] = {
        valid.substr(0, valid.size() - 9), // cut short
        valid.substr(0, 40),               // cut inside the header
        "",
        flipped(0),                 // not a round file
        flipped(56),                // the count
        flipped(76),                // the seal
        flipped(81),                // the group's name
        flipped(valid.size() - 30), // the round or the table
        tornPosition,
        ReadFileBytes(RoundFilePath("h.dat")), // another group's round under this name
        std::string("\x00\xff\x1a[g.dat]", 8),
    };
    for (const std::string &bytes : broken) {
        WriteFileBytes(file, bytes);
        ShuffleOrder order = Stored();
        EXPECT_TRUE(order.Round().empty()) << bytes.size();
        order.Take(paths);
        EXPECT_TRUE(IsPermutation(order.Round(), 5)) << bytes.size();
        EXPECT_EQ(1u, order.ShownCount()) << bytes.size();
    }

    // A round stored for other pictures under the same name matches nothing: a fresh round.
    WriteFileBytes(file, valid);
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
    EXPECT_THROW(blocked.Store("g.dat"), EInOutError);
}

TEST_F(ShuffleTest, WhileTheGroupIsTheSameAChangeWritesOnlyThePosition)
{
    const std::vector<std::string> paths = Pictures(5);
    FileStamp stamp{1, 2, 3, 4, 5};
    int reads = 0;
    auto change = [&] {
        ShuffleOrder order(Seeded(++seed));
        order.Load("g.dat");
        order.FitTo(stamp, [&] {
            ++reads;
            ShuffleOrder::NumberedPaths numbered;
            for (size_t k = 0; k < paths.size(); ++k)
                numbered.emplace_back(int32_t(k), paths[k]);
            return numbered;
        });
        const int32_t taken = order.Take();
        order.Store("g.dat");
        return taken;
    };
    auto inode = [&] { return ReadInode(file); };
    std::set<int32_t> round = {change()};
    EXPECT_EQ(1, reads); // the first change makes the round from the group's pictures
    std::string bytes = ReadFileBytes(file);
    const uint64_t firstInode = inode();
    for (int i = 1; i < 5; ++i) {
        round.insert(change());
        const std::string now = ReadFileBytes(file);
        EXPECT_EQ(bytes.substr(16), now.substr(16)) << i;
        EXPECT_NE(bytes.substr(8, 8), now.substr(8, 8)) << i;
        EXPECT_EQ(firstInode, inode()) << i; // written in place
        bytes = now;
    }
    EXPECT_EQ(5u, round.size());
    EXPECT_EQ(1, reads); // the group was the same: its pictures were not read again
    change();            // a new round: the file is written whole, replacing the old one
    EXPECT_NE(firstInode, inode());
    EXPECT_EQ(1, reads);
    stamp.changedNs = 6; // the group was written: its pictures are read again
    change();
    EXPECT_EQ(2, reads);
    change();
    EXPECT_EQ(2, reads);
}

TEST_F(ShuffleTest, TheRoundOfAnEarlierVersionIsTakenOver)
{
    WriteFileBytes(LegacyShuffleFilePath(), "[g.dat]\r\nCount=3\r\nShown=1\r\nEntry0=2," + LegacyHash("p2.bmp") +
                                                "\r\nEntry1=0," + LegacyHash("p0.bmp") + "\r\nEntry2=1," +
                                                LegacyHash("p1.bmp") + "\r\n\r\n[h.dat]\r\nCount=1\r\nShown=0\r\n" +
                                                "Entry0=0," + LegacyHash("p0.bmp") + "\r\n\r\n");
    ShuffleOrder g = Stored();
    EXPECT_EQ((std::vector<int32_t>{2, 0, 1}), g.Round());
    EXPECT_EQ(1u, g.ShownCount());
    EXPECT_EQ(0, g.Take(Pictures(3))); // the old round goes on
    g.Store("g.dat");
    EXPECT_EQ((std::vector<int32_t>{2, 0, 1}), Stored().Round());
    // The group's section is gone from the old file, and the file once no group is left in it.
    EXPECT_EQ(std::string::npos, ReadFileBytes(LegacyShuffleFilePath()).find("[g.dat]"));
    ShuffleOrder h(Seeded(1));
    h.Load("h.dat");
    EXPECT_EQ((std::vector<int32_t>{0}), h.Round());
    h.Take(Pictures(1));
    h.Store("h.dat");
    EXPECT_FALSE(std::filesystem::exists(LegacyShuffleFilePath()));
}

TEST_F(ShuffleTest, ABrokenRoundOfAnEarlierVersionGivesAFreshOne)
{
    const std::vector<std::string> paths = Pictures(5);
    std::string valid = "[g.dat]\r\nCount=5\r\nShown=1\r\n";
    for (int k = 0; k < 5; ++k)
        valid += "Entry" + std::to_string(k) + "=" + std::to_string(k) + "," + LegacyHash(paths[size_t(k)]) + "\r\n";
    const std::string broken[] = {
        valid.substr(0, valid.find("Entry3=")),                           // cut short
        valid.substr(0, valid.find("Entry4=") + 12),                      // cut inside the last line
        "[g.dat]\r\nCount=abc\r\nShown=0\r\n",                            // not a number
        "[g.dat]\r\nCount=1\r\nShown=2\r\nEntry0=0,0123456789abcdef\r\n", // more shown than there are
        "[g.dat]\r\nCount=1\r\nShown=0\r\nEntry0=-1,0123456789abcdef\r\n",
        "[g.dat]\r\nCount=1\r\nShown=0\r\nEntry0=0,0123456789abcdeg\r\n",
        "[g.dat]\r\nCount=2\r\nShown=0\r\nEntry0=0,0123456789abcdef\r\nEntry1=0,0123456789abcdef\r\n",
        "[g.dat]\r\nCount=2000000000\r\nShown=0\r\n",
        std::string("\x00\xff\x1a[g.dat]", 8),
    };
    for (const std::string &bytes : broken) {
        WriteFileBytes(LegacyShuffleFilePath(), bytes);
        ShuffleOrder order = Stored();
        EXPECT_TRUE(order.Round().empty()) << bytes;
        order.Take(paths);
        EXPECT_TRUE(IsPermutation(order.Round(), 5)) << bytes;
        EXPECT_EQ(1u, order.ShownCount()) << bytes;
    }
    // The whole one is taken over as it stands.
    WriteFileBytes(LegacyShuffleFilePath(), valid);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4}), Stored().Round());
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
    GroupFile file(group);
    file.SetLastIndex(4);
    ShuffleOrder::NumberedPaths oneByOne;
    std::vector<int32_t> present;
    for (int32_t k = 0; k <= 4; ++k) {
        if (ini.ReadString("Main", EntryKey(k), "-") == "-")
            continue;
        oneByOne.emplace_back(k, ReadWallPaperEntry(ini, k).PicturePath);
        present.push_back(k);
    }
    EXPECT_EQ(oneByOne, file.PicturePaths());
    EXPECT_EQ((ShuffleOrder::NumberedPaths{{0, "a.bmp"}, {1, ""}}), file.PicturePaths()); // "b.bmp" has no comma
    EXPECT_EQ(present, file.All());
    EXPECT_TRUE(file.Has(1));
    EXPECT_FALSE(file.Has(3));
    // Entries numbered beyond the section's line count are entries all the same; beyond Idx they are not.
    WriteFileBytes(group, "[Main]\r\nIdx=2000000000\r\nfile1999999999=z.bmp,,,\r\nfile2000000001=y.bmp,,,\r\n");
    GroupFile sparse(group);
    sparse.SetLastIndex(2000000000);
    EXPECT_EQ((ShuffleOrder::NumberedPaths{{1999999999, "z.bmp"}}), sparse.PicturePaths());
    EXPECT_EQ(0, ShuffleOrder([](int32_t) { return 0; }).Take({}));
}
