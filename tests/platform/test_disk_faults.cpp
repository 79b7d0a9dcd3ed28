#include "SmallDisk.h"
#include "TempHome.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The message of the EInOutError `action` raises; empty when it raises none.
template <typename Action> std::string InOutErrorOf(Action action)
{
    try {
        action();
    } catch (const EInOutError &e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(DiskFaults, FullDiskKeepsOldFileAndLeavesNoTemporary)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "Tapisto.ini";
    const std::string old(10000, 'o');
    ReplaceFileAtomically(path, old);
    disk.Fill();
    // In Japanese, naming the file: not the C library's "No space left on device".
    EXPECT_EQ(InOutErrorOf([&] { ReplaceFileAtomically(path, std::string(200000, 'n')); }),
              "ファイル " + path + " を書き込めません: ディスクに空きがありません");
    EXPECT_EQ(old, ReadFileBytes(path));
    EXPECT_EQ(2, CountFiles(disk.Path())); // the file and the filler
}

// The output bitmap's size is claimed before any row is made: a disk without room for it fails at
// once, and a write past the claimed size that finds the disk full fails too.
TEST(DiskFaults, ReservingOnAFullDiskFailsBeforeWritingAndKeepsTheOldFile)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "Tapisto_WallPaper.bmp";
    const std::string old(20000, 'o');
    ReplaceFileAtomically(path, old);
    {
        AtomicFileWriter writer(path);
        EXPECT_THROW(writer.Reserve(1024 * 1024), EInOutError);
        EXPECT_THROW(writer.WriteAt(0, "x", 1), EInOutError) << "a failed writer stays failed";
        EXPECT_THROW(writer.Commit(), EInOutError);
    }
    EXPECT_EQ(old, ReadFileBytes(path));
    EXPECT_EQ(1, CountFiles(disk.Path()));
    disk.Fill();
    {
        AtomicFileWriter writer(path);
        const std::string block(64 * 1024, 'n');
        const auto writeMegabyte = [&] {
            for (uint64_t at = 0; at < 1024 * 1024; at += block.size())
                writer.WriteAt(at, block.data(), block.size());
        };
        EXPECT_THROW(writeMegabyte(), EInOutError);
    }
    EXPECT_EQ(old, ReadFileBytes(path));
    EXPECT_EQ(2, CountFiles(disk.Path())); // the file and the filler
}

TEST(DiskFaults, ReadOnlyFileSystemReportsAndLosesNothing)
{
    SmallDisk disk(128);
    REQUIRE_SMALL_DISK(disk);
    const std::string path = disk.Path() + "group.dat";
    ReplaceFileAtomically(path, "[Main]\r\nIdx=0\r\n");
    ASSERT_TRUE(disk.MakeReadOnly());
    EXPECT_EQ(InOutErrorOf([&] { ReplaceFileAtomically(path, "changed"); }),
              "ファイル " + path + " を作成できません: 読み取り専用のファイル システムです");
    EXPECT_EQ(InOutErrorOf([&] { DeleteFileIfExists(path); }),
              "ファイル " + path + " を削除できません: 読み取り専用のファイル システムです");
    EXPECT_EQ("[Main]\r\nIdx=0\r\n", ReadFileBytes(path));
}

// A writer killed at any moment leaves either the old or the new contents, never a mixture.
TEST(DiskFaults, KilledWriterNeverLeavesTruncatedFile)
{
    TempHome home;
    const std::string path = home.File("list.dat");
    const std::string a(300000, 'a');
    const std::string b(120000, 'b');
    ReplaceFileAtomically(path, a);
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                ReplaceFileAtomically(path, i % 2 ? a : b);
        }
        ::usleep(1000 + random() % 20000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string now = ReadFileBytes(path);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    }
}
