#include "TempHome.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(Files, ReplaceKeepsModeAndLeavesNoTemporaryFile)
{
    TempHome home;
    const std::string path = home.File("a.ini");
    WriteFileBytes(path, "old");
    ::chmod(path.c_str(), 0640);
    ReplaceFileAtomically(path, "new\r\n");
    EXPECT_EQ("new\r\n", ReadFileBytes(path));
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    int files = 0;
    for ([[maybe_unused]] auto &e : fs::directory_iterator(home.Path()))
        ++files;
    EXPECT_EQ(1, files);
}

TEST(Files, FailureLeavesOldFileAndRaises)
{
    TempHome home;
    const std::string path = home.File("missing-folder/a.ini");
    try {
        ReplaceFileAtomically(path, "x");
        ADD_FAILURE();
    } catch (const EInOutError &e) {
        EXPECT_EQ("ファイル " + path + " を作成できません: ファイルまたはフォルダーがありません", e.Message());
    }

    // An abandoned writer (an error between writes) leaves the old file whole.
    const std::string kept = home.File("kept.dat");
    WriteFileBytes(kept, "original");
    {
        AtomicFileWriter writer(kept);
        writer.Write("partial");
    }
    EXPECT_EQ("original", ReadFileBytes(kept));
}

TEST(Files, ReadMissingFileNamesIt)
{
    TempHome home;
    try {
        ReadWholeFile(home.File("nothing.bmp"));
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_EQ("ファイル " + home.File("nothing.bmp") + " は開けません", e.Message());
    }
    // Anything but a missing file gives its reason, in Japanese.
    try {
        ReadWholeFile(home.Path());
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_EQ("ファイル " + home.Path() + " は開けません: フォルダーです", e.Message());
    }
    EXPECT_EQ(ErrnoText(ENOSPC), "ディスクに空きがありません");
    EXPECT_EQ(ErrnoText(4000), "システム エラー (errno 4000)");
}

TEST(Files, DeleteIfExists)
{
    TempHome home;
    WriteFileBytes(home.File("x"), "1");
    DeleteFileIfExists(home.File("x"));
    EXPECT_FALSE(FileExists(home.File("x")));
    EXPECT_NO_THROW(DeleteFileIfExists(home.File("x")));
    EXPECT_TRUE(DirectoryExists(home.Path()));
}

// A reserved file written out of order at its final offsets, as the bitmap's rows are.
TEST(Files, PositionalWritesReplaceAtomicallyAndKeepTheMode)
{
    TempHome home;
    const std::string path = home.File("out.bmp");
    WriteFileBytes(path, "old");
    ::chmod(path.c_str(), 0604);
    {
        AtomicFileWriter writer(path);
        writer.Reserve(10);
        writer.WriteAt(6, "ghij", 4);
        writer.WriteAt(0, "abc", 3);
        writer.WriteAt(3, "def", 3);
        EXPECT_EQ("old", ReadFileBytes(path)) << "replaced only on Commit";
        writer.Commit();
    }
    EXPECT_EQ("abcdefghij", ReadFileBytes(path));
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0604u, st.st_mode & 07777);
    // A reserved part that was never written reads as zeros.
    {
        AtomicFileWriter writer(path);
        writer.Reserve(4);
        writer.WriteAt(1, "x", 1);
        writer.Commit();
    }
    EXPECT_EQ(std::string("\0x\0\0", 4), ReadFileBytes(path));
}
