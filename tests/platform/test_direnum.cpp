#include "TempHome.h"
#include "platform/DirEnum.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(DirEnum, CaseInsensitiveOrderAttributesAndMask)
{
    TempHome home;
    for (const char *name : {"b.DAT", "A.dat", "a_", "ab", ".hidden.dat", "c.txt"})
        WriteFileBytes(home.File(name), "");
    std::filesystem::create_directory(home.File("Folder.dat"));

    std::vector<std::string> names;
    for (const DirEntry &e : EnumerateDirectory(home.Path()))
        names.push_back(e.name);
    EXPECT_EQ((std::vector<std::string>{".hidden.dat", "A.dat", "ab", "a_", "b.DAT", "c.txt", "Folder.dat"}), names);

    auto dat = EnumerateDirectory(home.Path(), "*.dat");
    ASSERT_EQ(4u, dat.size());
    EXPECT_TRUE(dat[0].attributes & faHidden);
    EXPECT_EQ("Folder.dat", dat[3].name);
    EXPECT_TRUE(dat[3].attributes & faDirectory);
    EXPECT_FALSE(dat[1].attributes & faDirectory);
}

TEST(DirEnum, MissingFolderIsEmptyAndMaskRules)
{
    EXPECT_TRUE(EnumerateDirectory("/no/such/folder/").empty());
    EXPECT_TRUE(MatchesMask("X.SPI", "*.spi"));
    EXPECT_TRUE(MatchesMask("anything", "*.*"));
    EXPECT_TRUE(MatchesMask("a1c", "a?c"));
    EXPECT_FALSE(MatchesMask("a.spix", "*.spi"));
    EXPECT_FALSE(MatchesMask("ac", "a?c"));
}

TEST(DirEnum, EntriesTellWhichFolderALinkLeadsTo)
{
    TempHome home;
    std::filesystem::create_directory(home.File("real"));
    std::filesystem::create_directory_symlink(home.File("real"), home.File("link"));
    WriteFileBytes(home.File("file.bmp"), "");
    const DirListing listing = ListDirectory(home.Path());
    EXPECT_EQ(home.Path(), listing.nativeFolder);
    ASSERT_EQ(3u, listing.entries.size()); // file.bmp, link, real
    const DirEntry &link = listing.entries[1];
    const DirEntry &real = listing.entries[2];
    EXPECT_TRUE(link.attributes & faDirectory);
    EXPECT_EQ(real.identity, link.identity);
    EXPECT_NE(listing.entries[0].identity, real.identity);
    EXPECT_EQ(std::optional<FileIdentity>(real.identity), FolderIdentity(home.File("link")));
    EXPECT_EQ(std::nullopt, FolderIdentity(home.File("file.bmp")));
    EXPECT_EQ(std::nullopt, FolderIdentity(home.File("missing")));
}
